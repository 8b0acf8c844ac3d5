#!/usr/bin/python3
"""The served line, as a browser and a script meet it: `zd4270 serve` on a simulated line, the
access token and its refusals, the JSON commands, one procedure at a time, and the page itself in
headless Chromium at phone and desktop size, in English and German.

Usage: test_serve.py --program PATH/zd4270 --examples DIR --out DIR
"""
import argparse
import base64
import http.client
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = None


class Server:
    """One `zd4270 serve` on its own copy of a line file, store and state."""

    def __init__(self, line, *extra, scheme="http"):
        self.dir = tempfile.mkdtemp(prefix="zd4270-serve-test-")
        self.line = os.path.join(self.dir, "line.json")
        shutil.copy(os.path.join(ARGS.examples, "lines", line), self.line)
        self.saved = os.path.join(self.dir, "saved.json")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=self.dir)
        env.pop("ZD4270_SERVE_TOKEN", None)
        self.process = subprocess.Popen(
            [ARGS.program, "serve", "--lang", "en", "--listen", "127.0.0.1:0", "--line", self.line,
             "--registry", os.path.join(self.dir, "registry.ini"), "--save-line", self.saved,
             *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        first = self.process.stdout.readline()
        match = re.search(scheme + r"(://127\.0\.0\.1:(\d+)/)\?token=([0-9a-f]+)", first)
        if not match:
            self.process.kill()
            raise RuntimeError("serve printed no address: " + first + self.process.stderr.read())
        self.base = scheme + match.group(1)
        self.port, self.token = int(match.group(2)), match.group(3)
        self.url = self.base + "?token=" + self.token

    def request(self, method, path, body=None, headers=None, token=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=300)
        all_headers = dict(headers or {})
        if token:
            all_headers.setdefault("Authorization", "Bearer " + self.token)
        if isinstance(body, (dict, list)):
            body = json.dumps(body)
        connection.request(method, path, body=body, headers=all_headers)
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response, data

    def api(self, command, options=None, **kwargs):
        response, data = self.request("POST", "/api/" + command.replace(" ", "/"),
                                      options if options is not None else {}, **kwargs)
        return response.status, (json.loads(data) if data else None)

    def stop(self):
        """Ctrl-C, as a user stops it; returns the exit code."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode

    def close(self):
        self.stop()
        self.process.stdout.close()
        self.process.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def websocket_open(server, cookie=None, token_in_url=None, origin=None):
    """The live channel's opening handshake, by hand; returns the socket and the status line."""
    raw = socket.create_connection(("127.0.0.1", server.port), timeout=10)
    key = base64.b64encode(os.urandom(16)).decode()
    path = "/live" + ("?token=" + token_in_url if token_in_url else "")
    lines = [f"GET {path} HTTP/1.1", f"Host: 127.0.0.1:{server.port}", "Upgrade: websocket",
             "Connection: Upgrade", f"Sec-WebSocket-Key: {key}", "Sec-WebSocket-Version: 13"]
    if cookie:
        lines.append("Cookie: zd4270_token=" + cookie)
    if origin:
        lines.append("Origin: " + origin)
    raw.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
    head = b""
    while b"\r\n\r\n" not in head:
        chunk = raw.recv(1)
        if not chunk:
            break
        head += chunk
    return raw, head.split(b"\r\n", 1)[0].decode()


def websocket_frame(raw):
    """The next frame from the server: (opcode, payload)."""
    def exactly(n):
        data = b""
        while len(data) < n:
            chunk = raw.recv(n - len(data))
            if not chunk:
                raise ConnectionError("closed")
            data += chunk
        return data
    first, second = exactly(2)
    length = second & 0x7F
    if length == 126:
        length = int.from_bytes(exactly(2), "big")
    elif length == 127:
        length = int.from_bytes(exactly(8), "big")
    return first & 0x0F, exactly(length)


class AccessAndApi(unittest.TestCase):
    """What a script and a stranger get, without a browser."""

    @classmethod
    def setUpClass(cls):
        cls.server = Server("three-addressed.json", "--virtual-time")

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def test_token_is_needed_for_everything(self):
        s = self.server
        for path in ["/", "/app.js", "/api/state", "/download/backup-1.json"]:
            response, _ = s.request("GET", path, token=False)
            self.assertEqual(response.status, 401, path)
        # A person without the token is told where to find it, and sees nothing of the line.
        response, data = s.request("GET", "/", headers={"Accept": "text/html"}, token=False)
        self.assertEqual(response.status, 401)
        self.assertIn(b"?token=", data)
        self.assertNotIn(b"app.js", data)
        response, _ = s.request("GET", "/api/state", headers={"Authorization": "Bearer " + "0" * 32})
        self.assertEqual(response.status, 401)
        response, _ = s.request("GET", "/?token=" + "f" * 32, token=False)
        self.assertEqual(response.status, 401)
        status, document = s.api("scan", token=False)
        self.assertEqual(status, 401)
        # The first visit with the token sets a cookie that only this site sends, and leaves the
        # token out of the address bar.
        response, _ = s.request("GET", "/?token=" + s.token, token=False)
        self.assertEqual(response.status, 303)
        self.assertEqual(response.getheader("Location"), "/")
        cookie = response.getheader("Set-Cookie")
        self.assertIn("HttpOnly", cookie)
        self.assertIn("SameSite=Strict", cookie)
        response, data = s.request("GET", "/", headers={"Cookie": "zd4270_token=" + s.token},
                                   token=False)
        self.assertEqual(response.status, 200)
        self.assertIn(b"/app.js", data)

    def test_changes_come_from_the_page_itself(self):
        s = self.server
        cookie = {"Cookie": "zd4270_token=" + s.token}
        # A page of another site that the browser holds the cookie for.
        status, _ = s.api("scan", headers=dict(cookie, Origin="http://evil.example"), token=False)
        self.assertEqual(status, 403)
        # A cookie without an Origin is no browser's page.
        status, _ = s.api("scan", headers=cookie, token=False)
        self.assertEqual(status, 403)
        status, document = s.api("scan", headers=dict(cookie, Origin=s.base.rstrip("/")),
                                 token=False)
        self.assertEqual(status, 200)
        self.assertEqual(document["exitCode"], 0)

    def test_only_the_page_files_are_served(self):
        s = self.server
        for path in ["/../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/app.js/../../x",
                     "/serve/index.html", "/CMakeLists.txt"]:
            response, data = s.request("GET", path)
            self.assertEqual(response.status, 404, path)
            self.assertNotIn(b"root:", data)
        response, _ = s.request("GET", "/app.css")
        self.assertEqual(response.status, 200)

    def test_commands_answer_their_documents(self):
        s = self.server
        status, document = s.api("scan")
        self.assertEqual(status, 200)
        self.assertEqual(document["command"], "scan")
        self.assertEqual(document["exitCode"], 0)
        self.assertEqual([d["shortAddress"] for d in document["devices"]], [0, 5, 63])
        status, document = s.api("query", {"words": ["query actual level"], "short": 5})
        self.assertEqual((status, document["exitCode"]), (200, 0))
        # What the command refuses is its document with exit code 2, as on the command line.
        status, document = s.api("address single", {"words": ["5"]})
        self.assertEqual((status, document["exitCode"]), (200, 2))
        self.assertIn("--yes", document["error"])
        status, document = s.api("status")
        self.assertEqual(status, 200)
        self.assertEqual(len(document["devices"]), 3)
        self.assertTrue(all(d["answered"] for d in document["devices"]))
        # A backup is made on the server and offered for download.
        status, document = s.api("backup")
        self.assertEqual((status, document["exitCode"]), (200, 0))
        response, data = s.request("GET", document["downloads"][0])
        self.assertEqual(response.status, 200)
        self.assertEqual(len(json.loads(data)["devices"]), 3)

    def test_bad_requests(self):
        s = self.server
        cases = [("scan", "{not json"), ("scan", "[1,2]"), ("scan", {"ask-twice": "yes"}),
                 ("scan", {"no-such-option": True}), ("send", {"words": "off"}),
                 ("backup", {"words": ["/etc/x.json"]}), ("replace", {"backup": None, "short": 1, "words": 3})]
        for command, body in cases:
            status, _ = s.api(command, body) if not isinstance(body, str) else \
                (lambda r: (r[0].status, None))(s.request("POST", "/api/" + command, body))
            self.assertEqual(status, 400, (command, body))
        status, _ = s.api("no/such/command")
        self.assertEqual(status, 404)
        response, _ = s.request("POST", "/api/scan", body="x" * (3 * 1024 * 1024))
        self.assertEqual(response.status, 413)
        response, _ = s.request("DELETE", "/api/scan")
        self.assertEqual(response.status, 405)

    def test_live_channel_needs_the_token(self):
        s = self.server
        for kwargs in [{}, {"cookie": "0" * 32}, {"token_in_url": "1" * 32},
                       {"cookie": s.token, "origin": "http://evil.example"}]:
            raw, status_line = websocket_open(s, **kwargs)
            raw.close()
            # Refused in the handshake, before a word about the line.
            self.assertRegex(status_line, r"^HTTP/1\.1 40[13] ", kwargs)
        raw, status_line = websocket_open(s, cookie=s.token, origin=s.base.rstrip("/"))
        self.assertIn("101", status_line)
        opcode, payload = websocket_frame(raw)
        raw.close()
        self.assertEqual(opcode, 0x1)
        hello = json.loads(payload)
        self.assertEqual(hello["type"], "hello")
        self.assertIn("scan", hello["commands"])

    def test_z_request_rate_is_bounded(self):
        s = self.server
        statuses = set()
        for _ in range(400):
            response, _ = s.request("GET", "/api/state")
            statuses.add(response.status)
            if 429 in statuses:
                break
        self.assertIn(429, statuses)
        time.sleep(3)
        response, _ = s.request("GET", "/api/state")
        self.assertEqual(response.status, 200)


class Https(unittest.TestCase):
    """With a certificate the line is served over TLS, and the cookie is sent over TLS only."""

    def test_tls(self):
        import ssl
        folder = tempfile.mkdtemp(prefix="zd4270-tls-")
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        s = Server("three-addressed.json", "--virtual-time", "--tls-cert", cert, "--tls-key", key,
                   scheme="https")
        try:
            context = ssl.create_default_context(cafile=cert)
            context.check_hostname = False
            def get(path, headers=None):
                connection = http.client.HTTPSConnection("127.0.0.1", s.port, timeout=30,
                                                         context=context)
                connection.request("GET", path, headers=headers or {})
                response = connection.getresponse()
                response.read()
                connection.close()
                return response
            self.assertEqual(get("/").status, 401)
            response = get("/?token=" + s.token)
            self.assertEqual(response.status, 303)
            self.assertIn("Secure", response.getheader("Set-Cookie"))
            self.assertEqual(get("/app.js", {"Cookie": "zd4270_token=" + s.token}).status, 200)
        finally:
            s.close()
            shutil.rmtree(folder, ignore_errors=True)


class OneRunAtATime(unittest.TestCase):
    """A second start while a procedure runs; Ctrl-C ends the run, then the server."""

    def test_second_start_conflicts_and_cancel_ends_the_run(self):
        s = Server("sixteen-unaddressed.json")
        try:
            import threading
            result = {}
            first = threading.Thread(target=lambda: result.update(
                zip(("status", "document"), s.api("address random", {"new-installation": True,
                                                                     "yes": True}))))
            first.start()
            # The run has begun once the server says so; a request before it would be the first.
            deadline = time.time() + 30
            while time.time() < deadline:
                state = json.loads(s.request("GET", "/api/state")[1])
                if state["run"]:
                    break
                time.sleep(0.1)
            status, document = s.api("scan")
            self.assertEqual(status, 409)
            self.assertEqual(document["running"], "address random")
            status, _ = s.api("cancel")
            self.assertEqual(status, 200)
            first.join(timeout=120)
            self.assertFalse(first.is_alive())
            self.assertEqual(result["status"], 200)
            self.assertTrue(result["document"].get("interrupted"), result["document"])
            self.assertEqual(result["document"]["exitCode"], 130)
            status, document = s.api("scan")
            self.assertEqual(status, 200)
            # Ctrl-C during a run: the run ends as a command's does, then the server.
            first = threading.Thread(target=lambda: result.update(
                zip(("status", "document"), s.api("address random", {"new-installation": True,
                                                                     "yes": True}))))
            first.start()
            deadline = time.time() + 30
            while time.time() < deadline and not json.loads(s.request("GET", "/api/state")[1])["run"]:
                time.sleep(0.1)
            self.assertEqual(s.stop(), 0)
            first.join(timeout=60)
            self.assertTrue(result["document"].get("interrupted"), result["document"])
            self.assertTrue(os.path.exists(s.saved))
        finally:
            s.close()


class Page(unittest.TestCase):
    """The page in a real browser."""

    @classmethod
    def setUpClass(cls):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        # A terminal that leaves the search to the control: the lamps come one by one.
        cls.server = Server("sixteen-unaddressed-1L.json")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage"]:
            options.add_argument(flag)
        cls.profile = tempfile.mkdtemp(prefix="zd4270-chromium-")
        options.add_argument("--user-data-dir=" + cls.profile)
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.driver.set_window_size(360, 740)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        shutil.rmtree(cls.profile, ignore_errors=True)
        cls.server.close()

    def wait(self, condition, timeout=60, what="the page"):
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = condition()
            if value:
                return value
            time.sleep(0.1)
        self.fail("waited in vain for " + what)

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def shot(self, name):
        self.driver.save_screenshot(os.path.join(ARGS.out, f"serve-{name}.png"))

    def click(self, selector):
        self.js("document.querySelector(arguments[0]).click()", selector)

    def test_the_commissioning_round(self):
        s, d = self.server, self.driver
        d.get(s.url)
        self.wait(lambda: self.js("return window.__zdEvents > 0"), what="the live channel")
        self.assertEqual(d.current_url, s.base)
        self.js("localStorage.setItem('zd4270.lang', 'en')")
        d.refresh()
        self.wait(lambda: self.js("return window.__zdEvents > 0"), what="the live channel")
        self.shot("phone-en-empty")

        # Random addressing: the page asks before it wipes, then shows the run as it goes.
        self.click("nav button[data-tab=address]")
        self.click("#form-random button[type=submit]")
        self.wait(lambda: self.js("return document.querySelector('#confirm').open"),
                  what="the confirmation")
        self.assertIn("removes the short addresses", self.js(
            "return document.querySelector('#confirm-text').textContent"))
        self.shot("phone-en-confirm")
        self.click("#confirm button[value=yes]")
        self.wait(lambda: self.js("return !document.querySelector('#run').hidden"),
                  what="the run panel")
        self.wait(lambda: self.js("return document.querySelector('#run-text').textContent"),
                  what="progress")
        self.wait(lambda: self.js("return document.querySelectorAll('#run-lamps span').length") >= 2,
                  what="the lamps as they are addressed")
        # A second browser sees the same run; one that comes back sees it where it is.
        second = s.request("GET", "/api/state")[1]
        self.assertEqual(json.loads(second)["run"]["command"], "address random")
        d.refresh()
        self.wait(lambda: self.js("return window.__zdEvents > 0"), what="the live channel")
        self.assertFalse(self.js("return document.querySelector('#run').hidden"))
        self.shot("phone-en-running")
        self.wait(lambda: self.js("return document.querySelector('#run').hidden"), timeout=240,
                  what="the end of the addressing")
        count = self.wait(lambda: self.js("return document.querySelectorAll('#line-devices li').length"),
                          what="the devices")
        self.assertEqual(count, 16)
        # A quick scan from the page finds the same line, in less time than the usual pace's
        # 64 times 101 ms.
        self.click("#scan-quick")
        self.click("#scan")
        self.wait(lambda: '"command": "scan"' in self.js(
            "return document.querySelector('#last').textContent"), what="the scan")
        self.assertEqual(self.js("return document.querySelectorAll('#line-devices li').length"), 16)
        last = json.loads(self.js("return document.querySelector('#last').textContent"))
        self.assertLess(last["lineTimeMs"], 6000)
        self.shot("phone-en-line")

        # A device: on, dimmed.
        self.click("#line-devices li:nth-child(4)")
        self.assertEqual(self.js("return document.querySelector('#device-address').value"), "3")
        self.click("#switch-off")
        self.wait(lambda: "send" in self.js("return document.querySelector('#last').textContent"),
                  what="the switch")
        self.js("const r = document.querySelector('#dim'); r.value = 100;"
                "r.dispatchEvent(new Event('input')); r.dispatchEvent(new Event('change'));")
        self.wait(lambda: '"data": 100' in self.js(
            "return document.querySelector('#last').textContent") or
            '"direct arc power"' in self.js("return document.querySelector('#last').textContent"),
            what="the dimming")
        # The luminaire shows itself, and every level is back afterwards; then it gets its name.
        self.click("#identify")
        self.wait(lambda: '"command": "identify"' in self.js(
            "return document.querySelector('#last').textContent"), timeout=60, what="identify")
        self.assertIn('"exitCode": 0', self.js("return document.querySelector('#last').textContent"))
        self.js("const f = document.querySelector('#naming'); f.elements.name.value = 'Desk left';"
                "f.elements.room.value = '2.14'; f.requestSubmit();")
        self.wait(lambda: "Desk left" in self.js(
            "return document.querySelector('#line-devices').textContent"), what="the name")
        self.click("#read-variables")
        self.wait(lambda: self.js("return document.querySelectorAll('#device-view tr').length") > 5,
                  what="the variables")
        self.shot("phone-en-device")

        d.set_window_size(1280, 800)
        self.click("nav button[data-tab=line]")
        # The line at a glance: each device's level, status and device type.
        self.click("#read-levels")
        self.wait(lambda: "lamp on" in self.js("return document.querySelector('#line-devices').textContent"),
                  what="the levels")
        rows = self.js("return [...document.querySelectorAll('#line-devices li')].map(li => li.textContent)")
        self.assertIn("type 6", rows[3])
        self.assertTrue(rows[3].startswith("A3"))
        self.shot("desktop-en-line")
        self.click("#lang")
        self.shot("desktop-de-line")
        self.click("nav button[data-tab=address]")
        self.shot("desktop-de-address")
        d.set_window_size(360, 740)
        self.click("nav button[data-tab=bus]")
        self.wait(lambda: self.js("return document.querySelectorAll('#bus tbody tr').length") > 0,
                  what="the bus monitor")
        self.shot("phone-de-bus")
        self.click("nav button[data-tab=device]")
        self.shot("phone-de-device")

        # The simulated line holds what the page did: the server keeps it when it stops.
        self.assertEqual(s.stop(), 0)
        with open(s.saved) as file:
            gear = json.load(file)["gear"]
        by_address = {g.get("shortAddress"): g for g in gear}
        self.assertEqual(sorted(a for a in by_address if a is not None), list(range(16)))
        self.assertEqual(by_address[3].get("level", by_address[3].get("actualLevel")), 100)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--out", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
