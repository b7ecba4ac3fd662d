"""End to end: QuilletVidrake.exe runs under Wine (inside the test run's Wine
session) on the emulated default machine and on a failing one (32 MB of video
memory); the address it hands its browser (the recording_browser fixture) is
opened in headless Chromium against the served page, which must show the
verdict that the mask means and the very values that the program measured.

    python3 end_to_end_test.py --dist DIR --fixtures DIR --page DIR
"""
import argparse
import os
import shutil
import subprocess
import sys
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pagetools  # noqa: E402

KEYS = ["result", "mem", "card", "pslevel", "dxver", "hdspace", "ram", "osver", "driver", "vendorID", "deviceID",
        "alternates"]
BROWSER_KEY = r"HKCR\HTTP\shell\open\command"
DIRECT3D_KEY = r"HKCU\Software\Wine\Direct3D"
FOLDER = "ResultPageEndToEnd"


def wine(*arguments, check=True):
    done = subprocess.run(["wine"] + list(arguments), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=120)
    if check and done.returncode != 0:
        raise RuntimeError("wine %s failed with %d" % (" ".join(arguments), done.returncode))
    return done.stdout.decode("utf-8", "replace").replace("\r", "")


def read_value(key, name):
    """A registry value's text, or None when it does not exist."""
    out = wine("reg", "query", key, *(["/ve"] if name is None else ["/v", name]), check=False)
    for line in out.splitlines():
        for kind in ("REG_SZ", "REG_EXPAND_SZ"):
            marker = "    %s    " % kind
            if marker in line:
                return line.split(marker, 1)[1]
            if line.rstrip().endswith("    " + kind):
                return ""
    return None


class RegistryValue:
    """Sets a text value while the block runs and puts back what was there."""

    def __init__(self, key, name, text):
        self.key, self.name, self.text = key, name, text

    def __enter__(self):
        self.before = read_value(self.key, self.name)
        wine("reg", "add", self.key, *self.which(), "/t", "REG_SZ", "/d", self.text, "/f")
        return self

    def __exit__(self, *_):
        if self.before is None:
            wine("reg", "delete", self.key, *self.which(), "/f", check=False)
        else:
            wine("reg", "add", self.key, *self.which(), "/t", "REG_SZ", "/d", self.before, "/f")

    def which(self):
        return ["/ve"] if self.name is None else ["/v", self.name]


def program_items(address):
    """The items of the program's address by its fixed order of keys (the
    values of a real run hold no "&")."""
    found, at = {}, address.index("?result=") + 1
    for i, key in enumerate(KEYS):
        marker = ("" if i == 0 else "&") + key + "="
        if not address.startswith(marker, at):
            break
        start = at + len(marker)
        end = address.find("&" + KEYS[i + 1] + "=", start) if i + 1 < len(KEYS) else -1
        end = len(address) if end < 0 else end
        found[key] = address[start:end]
        at = end
    return found


class ProgramAddressInChromium(unittest.TestCase):
    dist = fixtures = page_dir = None

    @classmethod
    def setUpClass(cls):
        prefix = os.environ.get("WINEPREFIX")
        if not prefix or not os.environ.get("DISPLAY"):
            raise RuntimeError("run inside the test run's Wine session (scripts/with-wine)")
        cls.folder = os.path.join(prefix, "drive_c", FOLDER)
        shutil.rmtree(cls.folder, ignore_errors=True)
        os.makedirs(cls.folder)
        for name in os.listdir(cls.dist):
            if os.path.isfile(os.path.join(cls.dist, name)):
                shutil.copy(os.path.join(cls.dist, name), cls.folder)
        shutil.copy(os.path.join(cls.fixtures, "recording_browser.exe"), cls.folder)
        browser = '"C:\\%s\\recording_browser.exe" "%%1"' % FOLDER
        with RegistryValue(BROWSER_KEY, None, browser):
            cls.default = cls.run_program()
            with RegistryValue(DIRECT3D_KEY, "VideoMemorySize", "32"):
                cls.low_memory = cls.run_program()
        cls._server = pagetools.served(cls.page_dir)
        page_url = cls._server.__enter__()
        cls.default_dom = pagetools.parse(pagetools.dump_dom(pagetools.swap_host(cls.default[1], page_url)))
        cls.low_memory_dom = pagetools.parse(pagetools.dump_dom(pagetools.swap_host(cls.low_memory[1], page_url)))

    @classmethod
    def tearDownClass(cls):
        if hasattr(cls, "_server"):
            cls._server.__exit__(None, None, None)
        shutil.rmtree(cls.folder, ignore_errors=True)

    @classmethod
    def run_program(cls):
        """One run: (exit code, the address the browser received)."""
        log = os.path.join(cls.folder, "browser.log")
        if os.path.exists(log):
            os.remove(log)
        done = subprocess.run(["wine", "C:\\%s\\QuilletVidrake.exe" % FOLDER], cwd=cls.folder,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=180)
        deadline = time.time() + 30
        while time.time() < deadline:
            if os.path.exists(log):
                with open(log, "rb") as f:
                    line = f.read().decode("utf-8")
                if line.endswith("\r\n"):
                    break
            time.sleep(0.1)
        else:
            raise AssertionError("the program started no browser")
        line = line.split("\r\n")[0]
        start = line.index('"http://')
        if not line.endswith('"'):
            raise AssertionError("no quoted address: %r" % line)
        return done.returncode, line[start + 1:-1]

    def check_page_shows_the_run(self, run, dom):
        code, address = run
        recorded = program_items(address)
        mask = int(recorded["result"])
        self.assertEqual(code, mask & 0xFF, "exit code is the mask's low byte")
        self.assertEqual(list(recorded), KEYS[:11] + (["alternates"] if mask & 0x400 else []))
        body = dom.one("body")
        self.assertEqual(body.attrs.get("data-view"), "result")
        # Every item as the program wrote it, shown as text.
        shown = {dd.attrs["data-key"]: dd.text() for dd in dom.all("dd") if "data-key" in dd.attrs}
        self.assertEqual(shown, recorded)
        rows = {r.attrs["data-requirement"]: r for r in dom.all("tr") if "data-requirement" in r.attrs}
        for requirement, key in (("directx", "dxver"), ("memory", "mem"), ("shader", "pslevel"),
                                 ("driver", "driver"), ("ram", "ram"), ("disk", "hdspace")):
            self.assertEqual(rows[requirement].one("td", **{"class": "found"}).text(), recorded[key], requirement)
        self.assertEqual(dom.one("dd", data_adapter="card").text(), recorded["card"])
        vendor = int(recorded["vendorID"])
        self.assertIn("0x%04X" % (vendor & 0xFFFFFFFF), dom.one("dd", data_adapter="vendor").text())
        return mask, body.attrs.get("data-verdict"), {k: r.attrs["data-state"] for k, r in rows.items()}

    def test_default_machine_meets(self):
        mask, verdict, states = self.check_page_shows_the_run(self.default, self.default_dom)
        self.assertEqual(mask, 0, self.default[1])
        self.assertEqual(verdict, "meets")
        self.assertEqual(set(states.values()), {"meets"})
        self.assertIn("meets the minimum requirements", self.default_dom.one("div", id="verdict").text())

    def test_32_mb_of_video_memory_is_below(self):
        mask, verdict, states = self.check_page_shows_the_run(self.low_memory, self.low_memory_dom)
        self.assertTrue(mask & 0x010, self.low_memory[1])
        self.assertEqual(verdict, "below")
        self.assertEqual(states["memory"], "below")
        memory = program_items(self.low_memory[1])["mem"]
        self.assertTrue(memory.endswith(" MB") and 0 < int(memory[:-3]) < 64, memory)
        self.assertIn("Video memory", self.low_memory_dom.one("div", id="verdict").text())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--page", required=True)
    options, rest = parser.parse_known_args()
    ProgramAddressInChromium.dist = os.path.abspath(options.dist)
    ProgramAddressInChromium.fixtures = os.path.abspath(options.fixtures)
    ProgramAddressInChromium.page_dir = os.path.abspath(options.page)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
