"""The built result page in headless Chromium, served by scripts/serve-result-page:
for a table of addresses, unencoded as the program writes them, the rendered
DOM (--dump-dom) states the verdict and each requirement in data- attributes,
shows every value as text, and runs none of the markup an address carries.

    python3 browser_test.py --page build/resultpage/quillet-systemtest --directx-url URL
"""
import argparse
import concurrent.futures
import os
import re
import sys
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pagetools  # noqa: E402

KEYS = ["result", "mem", "card", "pslevel", "dxver", "hdspace", "ram", "osver", "driver", "vendorID", "deviceID",
        "alternates"]
DEFAULTS = {"result": "0", "mem": "256 MB", "card": "NVIDIA GeForce GTX 470", "pslevel": "3.0",
            "dxver": "DirectX 9.0c installed", "hdspace": "51234 MB", "ram": "2047 MB", "osver": "6.1 SP 1.0",
            "driver": "8.21.0013.9135", "vendorID": "4318", "deviceID": "1741", "alternates": ""}
REQUIREMENTS = ["directx", "device", "memory", "shader", "driver", "ram", "disk", "windows"]

# Markup that, if it ever ran, would leave its mark on the document.
MARK = "document.body.setAttribute('data-injected','1');document.title='INJECTED'"
INJECTIONS = {
    "img": "<img src=x onerror=alert(1)>",
    "img marking": '<img src=x onerror="%s">' % MARK,
    "script": "<script>%s</script>" % MARK,
    "svg": "<svg onload=%s>" % MARK.replace("'", "`"),
    "attribute breakout": "\"'><img src=x onerror=\"%s\">" % MARK,
}


def items(values):
    merged = dict(DEFAULTS)
    merged.update(values)
    return merged


def query(values, with_alternates=False):
    """The query exactly as the program writes it: fixed order, no encoding."""
    all_items = items(values)
    try:
        mask = int(all_items["result"])
    except ValueError:
        mask = 0
    parts = []
    for key in KEYS:
        if key == "alternates" and not (with_alternates or mask & 0x400):
            continue
        parts.append("%s=%s" % (key, all_items[key]))
    return "&".join(parts)


MEETS = {r: "meets" for r in REQUIREMENTS}
EARLY_EXIT = {"mem": "", "card": "", "pslevel": "", "driver": "", "vendorID": "0", "deviceID": "0"}


def states(**differ):
    merged = dict(MEETS)
    merged.update(differ)
    return merged


# name, item values, verdict, row states.
CASES = [
    ("meets", {}, "meets", states()),
    ("memory low", {"result": "16", "mem": "29 MB"}, "below", states(memory="below")),
    ("DirectX missing", dict(EARLY_EXIT, result="1"), "below",
     states(directx="below", device="unknown", memory="unknown", shader="unknown", driver="unknown")),
    ("no device", dict(EARLY_EXIT, result="2"), "below",
     states(device="below", memory="unknown", shader="unknown", driver="unknown")),
    ("memory undetermined", {"result": "4", "mem": ""}, "incomplete", states(memory="unknown")),
    ("shader undetermined with 0x200", {"result": "520", "pslevel": "?"}, "incomplete", states(shader="unknown")),
    ("shader low", {"result": "32", "pslevel": "1.4"}, "below", states(shader="below")),
    ("RAM, disk and Windows", {"result": "448", "ram": "255 MB", "hdspace": "100 MB", "osver": "5.0 SP 4.0"},
     "below", states(ram="below", disk="below", windows="below")),
    ("driver rejected with alternates", {"result": "1024", "alternates": "6.14.0010.7164, 6.14.0010.8185"},
     "below", states(driver="below")),
    ("driver rejected without alternates", {"result": "1024", "alternates": ""}, "below", states(driver="below")),
    ("no library", dict(EARLY_EXIT, result="-1", alternates=""), "not-run",
     states(device="unknown", memory="unknown", shader="unknown", driver="unknown")),
    ("result not a number", {"result": "abc"}, "incomplete", states(device="unknown", driver="unknown")),
    ("ampersand, equals and a key name in the card", {"card": "Tom & Jerry=1&pslevel=0.1"}, "meets", states()),
    ("hash in the card", {"card": "Radeon #1 #2 Edition"}, "meets", states()),
    ("plus and bare percent", {"card": "GeForce 100% AGP8X+ %zz %4"}, "meets", states()),
    ("non-ASCII card", {"card": "Carte \u00c9clair \u2122 \u65e5\u672c"}, "meets", states()),
    ("quotes and backslashes", {"card": "Say \"hi\" \\ 'there' `x`"}, "meets", states()),
    ("10,000-character values", {"result": "1024", "card": "C" * 10000, "driver": "1." * 5000,
                                 "alternates": "A, " * 3333 + "A"}, "below", states(driver="below", )),
    ("Windows 8 or later", {"osver": "6.2 SP 0.0"}, "meets", states()),
]
CASES += [("injected %s in the card" % name, {"card": text}, "meets", states()) for name, text in INJECTIONS.items()]
CASES += [("injected %s in the alternates" % name, {"result": "1024", "alternates": text + ", 1.0"}, "below",
           states(driver="below")) for name, text in INJECTIONS.items()]


# What old_browser.js must have taken away for the second run to count.
IE6_LACKS = ["Array.prototype.map", "Array.prototype.forEach", "Array.prototype.filter", "Array.prototype.indexOf",
             "String.prototype.trim", "Object.keys", "Function.prototype.bind", "Date.now", "window.JSON",
             "window.performance", "Node.prototype.textContent", "EventTarget.prototype.addEventListener",
             "Document.prototype.querySelector", "Element.prototype.classList", "HTMLElement.prototype.dataset",
             "Navigator.prototype.language", "Navigator.prototype.languages"]
LONG_ADDRESS = 2000000


def statement(document):
    """What the page states in its DOM: the verdict, each requirement's state,
    the items shown and those missing."""
    body = document.one("body")
    return (body.attrs.get("data-verdict"),
            [(tr.attrs["data-requirement"], tr.attrs["data-state"]) for tr in document.all("tr") if "data-requirement" in tr.attrs],
            [(dd.attrs["data-key"], dd.text()) for dd in document.all("dd") if "data-key" in dd.attrs],
            [dd.attrs["data-missing"] for dd in document.all("dd") if "data-missing" in dd.attrs])


# The address the browser's own preferred languages are tried with.
PREFERRED_CASE = CASES[1]

# Product names, units and numbers: the same in every language.
PRODUCT_WORDS = re.compile(r"Tarvold|Quillet(Vidrake\.exe)?|Vidrake\w*\.dll|VideoCardDB\.xml|DirectX|Direct3D|Windows|"
                           r"Server|Vista|XP|NT|Me|R2|x64|SP\d|Service Pack|NVIDIA|MB|0x[0-9A-F]+|\d+|[^\w]|_")


def own_words(text, address_values):
    """Whether a text the page shows is its own words: not a value from the
    address, a key of it, or product names and numbers alone."""
    if text in KEYS or any(text in value for value in address_values):
        return False
    return PRODUCT_WORDS.sub("", text) != ""


def language_runs(document):
    """What language_runs.js wrote down: for each language, {"lang": [...],
    "data": [...], "text": [...]}."""
    runs = {}
    for run in document.one("div", id="language-runs").all("ol"):
        found = runs.setdefault(run.attrs["title"], {"lang": [], "data": [], "text": []})
        for li in run.all("li"):
            found[li.attrs["class"]].append(li.text())
    return runs


class ResultPageInChromium(unittest.TestCase):
    page_dir = None
    directx_url = None

    @classmethod
    def setUpClass(cls):
        cls._contexts = []
        cls.page_url = cls.enter(pagetools.served(cls.page_dir))
        # The same page with what Internet Explorer 6 lacks taken away, and
        # the way to an address longer than a command line holds.
        old_dir = cls.enter(pagetools.page_copy(cls.page_dir, old_browser=True,
                                                extra=pagetools.navigation(pagetools.long_address(LONG_ADDRESS))))
        cls.old_url = cls.enter(pagetools.served(old_dir))
        # The old browser once per language, which only navigator.userLanguage
        # names, as in Internet Explorer; each such page also shows itself in
        # every language (language_runs.js). The table's addresses take the
        # languages in turn.
        cls.languages = ["en"] + [n[len("language-"):-len(".js")] for n in pagetools.language_files(cls.page_dir)]
        cls.case_languages = [cls.languages[i % len(cls.languages)] for i in range(len(CASES))]
        old_urls = {}
        for code in cls.languages:
            folder = cls.enter(pagetools.page_copy(cls.page_dir, old_browser=True, user_language=code + "-XX",
                                                   language_runs=True))
            old_urls[code] = cls.enter(pagetools.served(folder))
        preferred = [(cls.page_url + "?" + query(PREFERRED_CASE[1]), code) for code in cls.languages]
        # Two browsers at a time: each run is mostly start-up.
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            cls.doms = list(pool.map(pagetools.dump_dom, [cls.page_url + "?" + query(v) for _, v, _, _ in CASES]))
            cls.old_doms = list(pool.map(pagetools.dump_dom, [old_urls[code] + "?" + query(v)
                                                              for (_, v, _, _), code in zip(CASES, cls.case_languages)]))
            cls.preferred_doms = list(pool.map(lambda run: pagetools.dump_dom(run[0], accept_language=run[1]), preferred))
            cls.intro_dom = pagetools.dump_dom(old_urls[cls.languages[0]])

    @classmethod
    def enter(cls, context):
        value = context.__enter__()
        cls._contexts.append(context)
        return value

    @classmethod
    def tearDownClass(cls):
        for context in reversed(cls._contexts):
            context.__exit__(None, None, None)

    def assert_nothing_ran(self, document, body):
        self.assertNotIn("data-injected", body.attrs)
        self.assertNotEqual(document.one("title").text(), "INJECTED")
        result = document.one("div", id="result")
        for tag in ("img", "script", "svg", "b", "i"):
            self.assertEqual(result.all(tag), [], "no <%s> came from the address" % tag)
        # The only scripts are the page's own.
        scripts = document.all("script")
        self.assertEqual([s.attrs.get("src") for s in scripts], ["/quillet-systemtest/result.js"])

    def test_table_of_addresses(self):
        for (name, values, verdict, row_states), dom in zip(CASES, self.doms):
            with self.subTest(name):
                document = pagetools.parse(dom)
                body = document.one("body")
                self.assertEqual(body.attrs.get("data-view"), "result")
                self.assertEqual(body.attrs.get("data-verdict"), verdict)
                rows = {r.attrs["data-requirement"]: r for r in document.all("tr") if "data-requirement" in r.attrs}
                self.assertEqual(list(rows), REQUIREMENTS)
                self.assertEqual({k: r.attrs["data-state"] for k, r in rows.items()}, row_states)
                for requirement, row in rows.items():
                    # The state in words beside the colour.
                    words = {"meets": "Meets", "below": "Below minimum", "unknown": "Unknown"}[row.attrs["data-state"]]
                    self.assertIn(words, row.one("span", **{"class": "badge"}).text())
                # Every item of the address, shown as text, exactly as written.
                expected = items(values)
                shown = {dd.attrs["data-key"]: dd.text() for dd in document.all("dd") if "data-key" in dd.attrs}
                for key in KEYS:
                    if key == "alternates" and not (int(expected["result"]) & 0x400 if expected["result"].lstrip("-").isdigit() else 0):
                        self.assertNotIn(key, shown)
                        continue
                    self.assertEqual(shown.get(key), expected[key], key)
                card = document.one("dd", data_adapter="card").text()
                self.assertEqual(card, expected["card"] or "not reported")
                self.assertIn(expected["card"], document.one("textarea", id="summary").text())
                self.assert_nothing_ran(document, body)
                if verdict != "meets":
                    self.assertTrue(document.all("div", **{"class": "advice"}), "what to do is shown")

    def test_without_what_internet_explorer_6_lacks_the_page_says_the_same(self):
        for (name, _, verdict, _), dom, old_dom in zip(CASES, self.doms, self.old_doms):
            with self.subTest(name):
                old = pagetools.parse(old_dom)
                removed = old.one("html").attrs.get("data-removed", "").split()
                for feature in IE6_LACKS:
                    self.assertIn(feature, removed)
                self.assertEqual(statement(old), statement(pagetools.parse(dom)))
                self.assertEqual(statement(old)[0], verdict)
                body = old.one("body")
                self.assertNotIn("data-injected", body.attrs)
                self.assertGreaterEqual(float(body.attrs["data-render-ms"]), 0)  # timed by Date

    def test_old_browser_shows_the_language_that_userlanguage_names(self):
        for (name, _, _, _), code, old_dom in zip(CASES, self.case_languages, self.old_doms):
            with self.subTest(name, language=code):
                self.assertEqual(pagetools.parse(old_dom).one("html").attrs.get("lang"), code)

    def test_every_language_states_the_same_as_english(self):
        for (name, _, _, _), old_dom in zip(CASES + [("intro", None, None, None)], self.old_doms + [self.intro_dom]):
            runs = language_runs(pagetools.parse(old_dom))
            self.assertEqual(sorted(runs), sorted(self.languages))
            for code, run in runs.items():
                with self.subTest(name, language=code):
                    self.assertEqual(run["lang"], [code])
                    self.assertEqual(run["data"], runs["en"]["data"])

    def test_no_english_words_of_the_page_in_another_language(self):
        cases = CASES + [("intro", {}, None, None)]
        for (name, values, _, _), old_dom in zip(cases, self.old_doms + [self.intro_dom]):
            runs = language_runs(pagetools.parse(old_dom))
            address_values = list(items(values).values()) if name != "intro" else []
            english = {t for t in runs["en"]["text"] if own_words(t, address_values)}
            self.assertTrue(english)
            for code, run in runs.items():
                if code == "en":
                    continue
                with self.subTest(name, language=code):
                    self.assertEqual(sorted(english.intersection(run["text"])), [])

    def test_the_browsers_preferred_language_is_loaded_and_states_the_same(self):
        english = statement(pagetools.parse(self.doms[[c[0] for c in CASES].index(PREFERRED_CASE[0])]))
        for code, dom in zip(self.languages, self.preferred_doms):
            with self.subTest(code):
                document = pagetools.parse(dom)
                self.assertEqual(document.one("html").attrs.get("lang"), code)
                self.assertEqual(statement(document), english)
                shown = document.one("p", id="languages")
                self.assertEqual([s.attrs["lang"] for s in shown.all("strong")], [code])
                self.assertEqual(len(shown.all("button")), len(self.languages) - 1)
                # The language's script is gone once read: only the page's own.
                self.assertEqual([s.attrs.get("src") for s in document.all("script")], ["/quillet-systemtest/result.js"])

    def test_a_2_mb_address_after_a_hash_is_read_from_any_host(self):
        # Navigated to by a page: no command line holds it, no server sees
        # what follows the "#".
        document = pagetools.parse(pagetools.dump_dom(self.old_url + "/go.html", timeout=600))
        body = document.one("body")
        self.assertEqual(body.attrs.get("data-verdict"), "below")
        self.assertEqual(document.one("tr", data_requirement="memory").attrs["data-state"], "below")
        length = len(self.old_url) - len(pagetools.PAGE_PATH) + LONG_ADDRESS
        self.assertIn("%d characters long, longer than the test can ever write" % length,
                      document.one("ul", **{"class": "notes"}).text())
        # What follows the last key shown up to the longest address the test writes.
        self.assertTrue(document.one("dd", data_key="alternates").text().endswith(" more characters not shown)"))
        # Linear reading (docs/benchmarks.md has what a quadratic one took).
        self.assertLess(float(body.attrs["data-render-ms"]), 10000)

    def test_alternates_are_listed_as_what_to_do(self):
        dom = self.doms[[c[0] for c in CASES].index("driver rejected with alternates")]
        driver = pagetools.parse(dom).one("tr", data_requirement="driver")
        self.assertEqual([li.text() for li in driver.all("li")], ["6.14.0010.7164", "6.14.0010.8185"])

    def test_directx_download_link_is_the_build_setting(self):
        dom = self.doms[[c[0] for c in CASES].index("DirectX missing")]
        links = pagetools.parse(dom).one("tr", data_requirement="directx").all("a")
        self.assertEqual([a.attrs["href"] for a in links], [self.directx_url])

    def test_adapter_ids_in_hexadecimal(self):
        adapter = pagetools.parse(self.doms[0]).one("dl", **{"class": "adapter"})
        self.assertIn("0x10DE", adapter.one("dd", data_adapter="vendor").text())
        self.assertIn("NVIDIA", adapter.one("dd", data_adapter="vendor").text())
        self.assertIn("0x06CD", adapter.one("dd", data_adapter="device").text())

    def test_windows_8_or_later(self):
        dom = self.doms[[c[0] for c in CASES].index("Windows 8 or later")]
        found = pagetools.parse(dom).one("tr", data_requirement="windows").one("td", **{"class": "found"}).text()
        self.assertTrue(found.startswith("Windows 8 or later"), found)

    def test_page_without_result_address(self):
        for suffix in ("", "/", "?", "/index.html"):
            with self.subTest(suffix):
                document = pagetools.parse(pagetools.dump_dom(self.page_url + suffix))
                body = document.one("body")
                self.assertEqual(body.attrs.get("data-view"), "intro")
                self.assertNotIn("data-verdict", body.attrs)
                intro = document.one("div", id="intro").text()
                self.assertIn("How to run the test", intro)
                self.assertIn("QuilletVidrake.exe", intro)

    def test_the_folder_form_of_the_path_reads_the_same(self):
        document = pagetools.parse(pagetools.dump_dom(self.page_url + "/?" + query({"result": "16", "mem": "8 MB"})))
        self.assertEqual(document.one("body").attrs.get("data-verdict"), "below")

    def test_page_size_and_no_outside_resources(self):
        self.assertLess(pagetools.page_bytes(self.page_dir), 64 * 1024)
        self.assertLess(pagetools.all_languages_compressed_bytes(self.page_dir), 64 * 1024)
        with open(os.path.join(self.page_dir, "index.html"), encoding="utf-8") as f:
            page = f.read()
        self.assertIn('data-directx-download="%s"' % self.directx_url.replace("&", "&amp;"), page)
        for attribute in ("src=\"http", "href=\"http", "src=\"//", "href=\"//", "@import", "url("):
            self.assertNotIn(attribute, page)
        with open(os.path.join(self.page_dir, "result.css"), encoding="utf-8") as f:
            self.assertNotIn("url(", f.read())
        with open(os.path.join(self.page_dir, "result.js"), encoding="utf-8") as f:
            script = f.read()
        for call in ("innerHTML", "outerHTML", "insertAdjacentHTML", "document.write", "eval(", "fetch(",
                     "XMLHttpRequest"):
            self.assertNotIn(call, script)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", default=pagetools.DEFAULT_PAGE)
    parser.add_argument("--directx-url", required=True)
    options, rest = parser.parse_known_args()
    ResultPageInChromium.page_dir = os.path.abspath(options.page)
    ResultPageInChromium.directx_url = options.directx_url
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
