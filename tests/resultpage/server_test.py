"""scripts/serve-result-page on request lines of every length: up to Python's
limit of 64 KB it serves the page; past it the client gets a clean 414, the
server keeps serving, and its log holds no query and no traceback.

    python3 server_test.py --page build/resultpage/quillet-systemtest
"""
import argparse
import http.client
import os
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pagetools  # noqa: E402


class ServerOnLongRequestLines(unittest.TestCase):
    page_dir = None

    def setUp(self):
        self.log = tempfile.TemporaryFile(mode="w+")
        self.server = subprocess.Popen([sys.executable, pagetools.SERVE, "0", self.page_dir], stdout=subprocess.PIPE,
                                       stderr=self.log, text=True)
        url = self.server.stdout.readline().strip()
        self.port = int(url.split(":")[2].split("/")[0])

    def tearDown(self):
        self.server.terminate()
        self.server.wait(10)
        self.server.stdout.close()
        self.log.close()

    def get(self, target):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        try:
            connection.request("GET", target)
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def test_request_lines_short_and_long(self):
        query = pagetools.PAGE_PATH + "?result=0&card="
        for length, status in ((60000, 200), (65536 - len("GET  HTTP/1.1\r\n") + 1, 414), (100000, 414),
                               (3 * 1024 * 1024, 414)):
            with self.subTest(length=length):
                answered, body = self.get(query + "x" * (length - len(query)))
                self.assertEqual(answered, status)
                if status == 200:
                    self.assertIn(b'id="result"', body)
        # Still serving after the refusals.
        self.assertEqual(self.get(pagetools.PAGE_PATH + "?result=16")[0], 200)
        self.log.seek(0)
        log = self.log.read()
        self.assertNotIn("Traceback", log)
        self.assertNotIn("result=", log)
        self.assertIn("- (refused request)", log)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", default=pagetools.DEFAULT_PAGE)
    options, rest = parser.parse_known_args()
    ServerOnLongRequestLines.page_dir = os.path.abspath(options.page)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
