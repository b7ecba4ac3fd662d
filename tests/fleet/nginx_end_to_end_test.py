"""End to end through a real web server: QuilletVidrake.exe runs under Wine
on the emulated default machine and on one with 32 MB of video memory (as the
result page's end-to-end test runs it); the addresses it opened are opened in
headless Chromium against Debian's nginx, started on a free loopback port
with a configuration of its own, serving the built result page and writing
its access log; `vidrake-fleet ingest` reads that log, and the report counts
those two machines (one of them ran twice) with the verdicts that the program
gave.

    python3 nginx_end_to_end_test.py --dist DIR --fixtures DIR --page DIR
"""
import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "resultpage"))
import end_to_end_test as program  # noqa: E402
import pagetools  # noqa: E402

FLEET = os.path.join(ROOT, "scripts", "vidrake-fleet")
NGINX_CONF = """
worker_processes 1;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
events {{ worker_connections 64; }}
http {{
  types {{ text/html html; text/css css; application/javascript js; }}
  access_log {dir}/access.log combined;
  client_body_temp_path {dir}/body;
  proxy_temp_path {dir}/proxy;
  fastcgi_temp_path {dir}/fastcgi;
  uwsgi_temp_path {dir}/uwsgi;
  scgi_temp_path {dir}/scgi;
  server {{
    listen 127.0.0.1:{port};
    root {dir}/www;
    # The one address the program opens answers with the page itself.
    location = /quillet-systemtest {{ try_files /quillet-systemtest/index.html =404; }}
  }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def nginx():
    for path in (shutil.which("nginx"), "/usr/sbin/nginx"):
        if path and os.access(path, os.X_OK):
            return path
    raise RuntimeError("nginx is not installed (scripts/install-deps installs it)")


class Nginx:
    """nginx as an ordinary process in a folder of its own, serving `page_dir`
    at /quillet-systemtest; stopped (and waited for) on exit."""

    def __init__(self, page_dir):
        self.dir = tempfile.mkdtemp(prefix="vidrake-nginx.")
        os.chmod(self.dir, 0o755)  # nginx's worker runs as another user
        shutil.copytree(page_dir, os.path.join(self.dir, "www", "quillet-systemtest"))
        self.port = free_port()
        self.conf = os.path.join(self.dir, "nginx.conf")
        with open(self.conf, "w") as f:
            f.write(NGINX_CONF.format(dir=self.dir, port=self.port))
        self.log = os.path.join(self.dir, "access.log")

    def __enter__(self):
        self.process = subprocess.Popen([nginx(), "-p", self.dir, "-c", self.conf, "-g", "daemon off;"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("nginx stopped: %s" % self.process.stderr.read().decode("utf-8", "replace"))
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return self
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("nginx did not listen on port %d" % self.port)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGQUIT)  # graceful: the log is complete
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stderr.close()

    def __exit__(self, *_):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


# Two computers: by the machine rule, runs from one address and one browser
# on the same adapter, driver, RAM and Windows are one machine, so each
# emulated machine's browser names itself.
AGENTS = ["Mozilla/5.0 (Windows NT 6.1) VidrakeFleetTest/default", "Mozilla/5.0 (Windows NT 6.1) VidrakeFleetTest/low-memory"]


def page_verdict(url, agent):
    out, err = pagetools.run_chromium(["--user-agent=" + agent, "--dump-dom", url])
    if "<html" not in out:
        raise RuntimeError("chromium printed no DOM for %s:\n%s" % (url, err[-2000:]))
    return pagetools.parse(out).one("body").attrs.get("data-verdict")


def fleet(*arguments):
    done = subprocess.run([FLEET] + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if done.returncode != 0:
        raise AssertionError("vidrake-fleet %s failed: %s" % (" ".join(arguments), done.stderr.decode("utf-8", "replace")))
    return done.stdout.decode("utf-8")


class ResultsThroughNginx(unittest.TestCase):
    dist = fixtures = page_dir = None

    @classmethod
    def setUpClass(cls):
        prefix = os.environ.get("WINEPREFIX")
        if not prefix or not os.environ.get("DISPLAY"):
            raise RuntimeError("run inside the test run's Wine session (scripts/with-wine)")
        runs = program.ProgramAddressInChromium
        # The page's test runs the program from its own folder name.
        runs.folder = os.path.join(prefix, "drive_c", program.FOLDER)
        shutil.rmtree(runs.folder, ignore_errors=True)
        os.makedirs(runs.folder)
        for name in os.listdir(cls.dist):
            if os.path.isfile(os.path.join(cls.dist, name)):
                shutil.copy(os.path.join(cls.dist, name), runs.folder)
        shutil.copy(os.path.join(cls.fixtures, "recording_browser.exe"), runs.folder)
        browser = '"C:\\%s\\recording_browser.exe" "%%1"' % program.FOLDER
        try:
            with program.RegistryValue(program.BROWSER_KEY, None, browser):
                cls.default = runs.run_program()
                with program.RegistryValue(program.DIRECT3D_KEY, "VideoMemorySize", "32"):
                    cls.low_memory = runs.run_program()
        finally:
            shutil.rmtree(runs.folder, ignore_errors=True)
        cls.work = tempfile.mkdtemp(prefix="vidrake-fleet-e2e.")
        with Nginx(cls.page_dir) as server:
            page_url = "http://127.0.0.1:%d/quillet-systemtest" % server.port
            cls.verdicts = [page_verdict(pagetools.swap_host(address, page_url), agent)
                            for (_, address), agent in zip((cls.default, cls.low_memory), AGENTS)]
            # The default machine runs the test again: one machine still.
            page_verdict(pagetools.swap_host(cls.default[1], page_url), AGENTS[0])
            server.stop()
            cls.log = os.path.join(cls.work, "access.log")
            shutil.copy(server.log, cls.log)
        cls.store = os.path.join(cls.work, "fleet.duckdb")
        cls.ingested = fleet("ingest", cls.store, cls.log)
        cls.report_file = os.path.join(cls.work, "report.json")
        fleet("report", cls.store, "--min-machines", "1", "--json", cls.report_file)
        with open(cls.report_file, encoding="utf-8") as f:
            cls.report = json.load(f)

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "work", None):
            shutil.rmtree(cls.work, ignore_errors=True)

    def test_the_page_showed_the_programs_verdicts(self):
        masks = [int(program.program_items(a)["result"]) for _, a in (self.default, self.low_memory)]
        self.assertEqual(masks[0], 0)
        self.assertTrue(masks[1] & 0x010)
        self.assertEqual(self.verdicts, ["meets", "below"])

    def test_ingest_reads_nginx_own_log(self):
        self.assertIn("format combined (detected)", self.ingested)
        with open(self.log, "rb") as f:
            lines = f.read().count(b"\n")
        # The three results; the page's script, styles and Chromium's favicon
        # request are other requests.
        self.assertRegex(self.ingested, r"ingested %d lines: 3 results \(0 cut by \"#\"\), %d other requests, 0 rejected"
                         % (lines, lines - 3))

    def test_the_store_holds_no_client_address_or_user_agent(self):
        with open(self.store, "rb") as f:
            data = f.read()
        for secret in AGENTS + ["127.0.0.1", "VidrakeFleetTest"]:
            self.assertNotIn(secret.encode(), data)

    def test_the_report_counts_both_machines_with_their_verdicts(self):
        report = self.report
        self.assertEqual(report["results"], 3)
        self.assertEqual(report["machines"], 2)
        self.assertEqual(report["lines"]["results"], 3)
        self.assertEqual(report["verdicts"]["meets"]["machines"], 1)
        self.assertEqual(report["verdicts"]["below"]["machines"], 1)
        memory = [r for r in report["requirements"] if r["id"] == "memory"][0]
        self.assertEqual(memory["below"]["machines"], 1)
        # The card the program measured, by the ids it reported.
        recorded = program.program_items(self.default[1])
        adapters = [(a["vendorId"], a["deviceId"]) for a in report["adapters"]]
        self.assertIn((int(recorded["vendorID"]), int(recorded["deviceID"])), adapters)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--page", required=True)
    options, rest = parser.parse_known_args()
    ResultsThroughNginx.dist = os.path.abspath(options.dist)
    ResultsThroughNginx.fixtures = os.path.abspath(options.fixtures)
    ResultsThroughNginx.page_dir = os.path.abspath(options.page)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
