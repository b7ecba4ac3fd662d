"""The built result page in a real browser: scripts/serve-result-page on a free
port, headless Chromium (Debian's chromium) on a fresh profile, and a small DOM
read from its --dump-dom output. Used by the browser and end-to-end tests, by
scripts/system-test-run (screenshot) and scripts/benchmark-run (timing).

    python3 pagetools.py screenshot ADDRESS OUTPUT.png [--page DIR] [--language CODE]
    python3 pagetools.py benchmark RUNS [--page DIR]
"""
import argparse
import gzip
import contextlib
import html.parser
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SERVE = os.path.join(ROOT, "scripts", "serve-result-page")
DEFAULT_PAGE = os.path.join(ROOT, "build", "resultpage", "quillet-systemtest")
PAGE_PATH = "/quillet-systemtest"


@contextlib.contextmanager
def served(page_dir):
    """scripts/serve-result-page on a free port; yields the page's address
    (http://127.0.0.1:PORT/quillet-systemtest)."""
    server = subprocess.Popen([sys.executable, SERVE, "0", page_dir], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    try:
        line = server.stdout.readline().strip()
        if not line.startswith("http://127.0.0.1:"):
            raise RuntimeError("serve-result-page did not start: %r" % line)
        yield line
    finally:
        server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        server.stdout.close()


OLD_BROWSER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "old_browser.js")
PAGE_SCRIPT = '<script src="%s/result.js"></script>' % PAGE_PATH


LANGUAGE_RUNS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "language_runs.js")


def page_files(page_dir):
    """The built page's files: index.html, its styles, its script and one
    script per language beside it."""
    return ["index.html", "result.css", "result.js"] + language_files(page_dir)


def language_files(page_dir):
    return sorted(n for n in os.listdir(page_dir) if n.startswith("language-") and n.endswith(".js"))


@contextlib.contextmanager
def page_copy(page_dir, old_browser=False, extra=None, user_language=None, language_runs=False):
    """A temporary copy of the built page folder; with `old_browser`, the page
    loads tests/resultpage/old_browser.js before its own script, and with
    `user_language` sets navigator.userLanguage to it as Internet Explorer
    does; with `language_runs`, every language's table comes with the page
    and tests/resultpage/language_runs.js runs after it; `extra` maps further
    file names to their text."""
    with tempfile.TemporaryDirectory(prefix="vidrake-page.") as folder:
        for name in page_files(page_dir):
            shutil.copy(os.path.join(page_dir, name), folder)
        before, after = [], []
        if old_browser:
            shutil.copy(OLD_BROWSER, os.path.join(folder, "old-browser.js"))
            before.append("old-browser.js")
        if user_language:
            with open(os.path.join(folder, "user-language.js"), "w", encoding="utf-8") as f:
                f.write("Object.defineProperty(navigator, 'userLanguage', { value: %s });\n" % json.dumps(user_language))
            before.append("user-language.js")
        if language_runs:
            before.extend(language_files(page_dir))
            shutil.copy(LANGUAGE_RUNS, os.path.join(folder, "language-runs.js"))
            after.append("language-runs.js")
        if before or after:
            index = os.path.join(folder, "index.html")
            with open(index, encoding="utf-8") as f:
                text = f.read()
            if PAGE_SCRIPT not in text:
                raise RuntimeError("the page does not load %s" % PAGE_SCRIPT)
            tag = '<script src="%s/%s" charset="utf-8"></script>\n'
            scripts = "".join(tag % (PAGE_PATH, n) for n in before) + PAGE_SCRIPT + "".join("\n" + tag.strip() % (PAGE_PATH, n) for n in after)
            with open(index, "w", encoding="utf-8") as f:
                f.write(text.replace(PAGE_SCRIPT, scripts))
        for name, text in (extra or {}).items():
            with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
                f.write(text)
        yield folder


def navigation(address):
    """A page and its script that open `address` (a path and query from the
    served host): the way to an address longer than a command line holds
    (Linux passes at most 128 KB of one argument; Chromium opens up to 2 MB).
    Serve both with page_copy(extra=...) and open PAGE_PATH + "/go.html"."""
    return {"go.html": '<!DOCTYPE html>\n<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8">'
                       '<title>Opening the result page</title></head>\n<body><script src="%s/go.js"></script></body></html>\n'
                       % PAGE_PATH,
            "go.js": "location.replace(%s);\n" % json.dumps(address)}


def long_address(length):
    """A crafted address of `length` characters that no browser encodes
    further: a result, then after a "#" (which no server sees) every key over
    and over, as a link made to stall a reader would be."""
    head = PAGE_PATH + "?result=16&mem=30MB#"
    unit = "&card=x&mem=1MB&pslevel=1.1&dxver=DirectX&deviceID=7&alternates=1"
    return head + (unit * (length // len(unit) + 1))[:length - len(head)]


def swap_host(address, page_url):
    """The program's address with its scheme, host and path replaced by the
    local server's page (the query and anything after it kept as they are)."""
    at = address.find(PAGE_PATH)
    if not address.startswith("http://") or at < 0:
        raise ValueError("not a result page address: %r" % address)
    return page_url + address[at + len(PAGE_PATH):]


def chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    raise RuntimeError("chromium is not installed (scripts/install-deps installs it)")


def isolated():
    """Whether Chromium can run at real-time priority (root and chrt), so that
    a timing counts the page's own work and not other work on the machine."""
    return os.geteuid() == 0 and shutil.which("chrt") is not None


def run_chromium(arguments, timeout=90, priority=False):
    """Headless Chromium on a fresh profile, nothing fetched beside the page;
    with `priority`, at the lowest real-time priority where isolated()."""
    with tempfile.TemporaryDirectory(prefix="vidrake-chromium.") as profile:
        command = (["chrt", "-f", "1"] if priority and isolated() else []) + [chromium(), "--headless", "--disable-gpu", "--disable-quic", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync",
                   "--disable-extensions", "--disable-dev-shm-usage", "--user-data-dir=" + profile]
        if os.geteuid() == 0:
            command.append("--no-sandbox")  # Chromium's sandbox refuses to run as root
        done = subprocess.run(command + arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout)
        return done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def dump_dom(url, priority=False, timeout=90, accept_language=None):
    """The DOM after the page's load; with `accept_language`, the browser's
    preferred languages (navigator.languages) are those."""
    options = ["--accept-lang=" + accept_language] if accept_language else []
    out, err = run_chromium(options + ["--dump-dom", url], priority=priority, timeout=timeout)
    if "<html" not in out:
        raise RuntimeError("chromium printed no DOM for %s:\n%s" % (url, err[-2000:]))
    return out


def screenshot(url, path, width=1000, height=1800, accept_language=None):
    path = os.path.abspath(path)
    if os.path.exists(path):
        os.remove(path)
    options = ["--accept-lang=" + accept_language] if accept_language else []
    _, err = run_chromium(options + ["--hide-scrollbars", "--window-size=%d,%d" % (width, height),
                                     "--screenshot=" + path, url])
    if not os.path.isfile(path):
        raise RuntimeError("chromium saved no screenshot of %s:\n%s" % (url, err[-2000:]))
    return path


# --- a small DOM from the dumped HTML -----------------------------------------

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}


class Element:
    def __init__(self, tag, attrs, parent):
        self.tag, self.attrs, self.parent, self.children = tag, dict(attrs), parent, []

    def text(self):
        return "".join(c if isinstance(c, str) else c.text() for c in self.children)

    def all(self, tag=None, **attrs):
        """Every element below this one with the tag and attribute values
        given (attribute names with "_" for "-")."""
        found = []
        for child in self.children:
            if isinstance(child, Element):
                if (tag is None or child.tag == tag) and all(
                        child.attrs.get(k.replace("_", "-")) == v for k, v in attrs.items()):
                    found.append(child)
                found.extend(child.all(tag, **attrs))
        return found

    def one(self, tag=None, **attrs):
        found = self.all(tag, **attrs)
        if len(found) != 1:
            raise AssertionError("expected one <%s %s>, found %d" % (tag, attrs, len(found)))
        return found[0]


class _Builder(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Element("#document", {}, None)
        self.current = self.root

    def handle_starttag(self, tag, attrs):
        element = Element(tag, [(k, v if v is not None else "") for k, v in attrs], self.current)
        self.current.children.append(element)
        if tag not in VOID:
            self.current = element

    def handle_startendtag(self, tag, attrs):
        self.current.children.append(Element(tag, [(k, v or "") for k, v in attrs], self.current))

    def handle_endtag(self, tag):
        node = self.current
        while node is not None and node.tag != tag:
            node = node.parent
        if node is not None and node.parent is not None:
            self.current = node.parent

    def handle_data(self, data):
        self.current.children.append(data)


def parse(html_text):
    builder = _Builder()
    builder.feed(html_text)
    builder.close()
    return builder.root


# --- commands -------------------------------------------------------------------

ORDINARY = ("result=16&mem=30 MB&card=NVIDIA GeForce GTX 470&pslevel=3.0&dxver=DirectX 9.0c installed"
            "&hdspace=51234 MB&ram=2047 MB&osver=6.1 SP 1.0&driver=8.21.0013.9135&vendorID=4318&deviceID=1741")
HUGE = ("result=1040&mem=256 MB&card=" + "Radeon X" * 1250 + "&pslevel=2.0&dxver=DirectX 9.0c installed"
        "&hdspace=" + "9" * 10000 + "&ram=1024 MB&osver=5.1 SP 3.0&driver=" + "6.14.0010.6681 " * 667 +
        "&vendorID=4098&deviceID=20803&alternates=" + ", ".join(["6.14.0010.%04d" % n for n in range(625)]))


def render_ms(url, runs, timeout=90):
    """Median of the page's own figure for reading and rendering (performance.now()
    around both, in body's data-render-ms) over fresh browser runs, isolated
    from other work on the machine where it can be."""
    figures = []
    for _ in range(runs):
        body = parse(dump_dom(url, priority=True, timeout=timeout)).one("body")
        figures.append(float(body.attrs["data-render-ms"]))
    return statistics.median(figures)


def page_bytes(page_dir):
    """What the page loads in its largest language: the HTML, the styles, the
    script with the English words, and that language's words."""
    languages = [os.path.getsize(os.path.join(page_dir, n)) for n in language_files(page_dir)]
    return sum(os.path.getsize(os.path.join(page_dir, n)) for n in ("index.html", "result.js", "result.css")) + max(languages + [0])


def all_languages_compressed_bytes(page_dir):
    """Every file of the page, all languages included, each compressed as a
    server that compresses its answers sends it."""
    names = ["index.html", "result.js", "result.css"] + list(language_files(page_dir))
    total = 0
    for name in names:
        with open(os.path.join(page_dir, name), "rb") as f:
            total += len(gzip.compress(f.read(), 9))
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["screenshot", "benchmark"])
    parser.add_argument("arguments", nargs="*")
    parser.add_argument("--page", default=DEFAULT_PAGE)
    parser.add_argument("--language", help="the browser's preferred language, as in de-DE")
    options = parser.parse_args()
    if options.command == "screenshot":
        with served(options.page) as page_url:
            address, output = options.arguments
            print(screenshot(swap_host(address, page_url), output, accept_language=options.language))
        return
    runs = int(options.arguments[0]) if options.arguments else 5
    # The 2 MB address is opened by a page that navigates to it (no command
    # line holds it); such a browser run is slow (docs/benchmarks.md), so
    # three runs at most.
    with page_copy(options.page, extra=navigation(long_address(2000000))) as folder, served(folder) as page_url:
        ordinary = render_ms(page_url + "?" + ORDINARY, runs)
        huge = render_ms(page_url + "?" + HUGE, runs)
        long = render_ms(page_url + "/go.html", min(runs, 3), timeout=600)
    print("ordinary=%.2f huge=%.2f long=%.2f bytes=%d isolated=%d" % (ordinary, huge, long, page_bytes(options.page),
                                                                    isolated()))


if __name__ == "__main__":
    main()
