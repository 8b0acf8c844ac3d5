#!/usr/bin/python3
"""The served line against a hostile client on the network, with raw sockets on loopback only:
what a request may cost is decided from its headers (token, Host, Origin, declared size), HTTP is
parsed strictly, connections are capped and timed out, the live channel's handshake and frames
are bounded, bodies are bounded in depth and refuse a key twice, and no answer names the
server's private folder. Every loop is bounded in count and time.

Usage: test_hostile.py --program PATH/zd4270 --examples DIR
"""
import argparse
import base64
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
SERVER = None
# Each group of cases comes from a loopback address of its own, so that one group's requests do
# not spend another's share of the rate limit.
SOURCES = iter(f"127.0.0.{n}" for n in range(10, 250))


class Server:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="zd4270-hostile-")
        self.tmp = os.path.join(self.dir, "tmp")
        os.mkdir(self.tmp)
        # A folder a killed server left behind: its owner file names a process, unlocked.
        self.abandoned = os.path.join(self.tmp, "zd4270-serve-Dead01")
        os.mkdir(self.abandoned)
        with open(os.path.join(self.abandoned, ".owner"), "w") as owner:
            owner.write("999999\n")
        with open(os.path.join(self.abandoned, "backup-3.json"), "w") as body:
            body.write("{}")
        self.line = os.path.join(self.dir, "line.json")
        shutil.copy(os.path.join(ARGS.examples, "lines", "three-addressed.json"), self.line)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=self.dir, TMPDIR=self.tmp)
        env.pop("ZD4270_SERVE_TOKEN", None)
        self.process = subprocess.Popen(
            [ARGS.program, "serve", "--virtual-time", "--listen", "127.0.0.1:0", "--line",
             self.line, "--registry", os.path.join(self.dir, "registry.ini"),
             "--allow-host", "zd4270.site.example"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        first = self.process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]+)", first)
        if not match:
            self.process.kill()
            raise RuntimeError("serve printed no address: " + first + self.process.stderr.read())
        self.port, self.token = int(match.group(1)), match.group(2)
        self.host = f"127.0.0.1:{self.port}"

    def alive(self):
        return self.process.poll() is None

    def close(self):
        if self.alive():
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def connect(source, timeout=5):
    raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    raw.settimeout(timeout)
    raw.bind((source, 0))
    raw.connect(("127.0.0.1", SERVER.port))
    return raw


def read_all(raw, limit=1 << 20):
    """What the server sends until it closes (or the socket's time-out)."""
    data = b""
    try:
        while len(data) < limit:
            chunk = raw.recv(65536)
            if not chunk:
                break
            data += chunk
    except (socket.timeout, ConnectionError):
        pass
    return data


def exchange(source, head, body=b"", token=True, host=None, extra=()):
    """Sends a request as written and returns (status, everything the server sent)."""
    lines = [head, "Host: " + (host or SERVER.host)]
    if token:
        lines.append("Authorization: Bearer " + SERVER.token)
    lines += list(extra)
    if not any(line.lower().startswith("connection:") for line in lines):
        lines.append("Connection: close")
    raw = connect(source)
    try:
        raw.sendall(("\r\n".join(lines) + "\r\n\r\n").encode() + body)
        data = read_all(raw)
    finally:
        raw.close()
    match = re.match(rb"HTTP/1\.1 (\d+)", data)
    return (int(match.group(1)) if match else None), data


def post(source, command, body, extra=(), **kwargs):
    data = body.encode() if isinstance(body, str) else body
    return exchange(source, f"POST /api/{command} HTTP/1.1", data,
                    extra=[f"Content-Length: {len(data)}", *extra], **kwargs)


def state(source):
    status, data = exchange(source, "GET /api/state HTTP/1.1")
    return json.loads(data.split(b"\r\n\r\n", 1)[1])


class Limits(unittest.TestCase):
    def test_refused_from_the_headers_before_the_body(self):
        source = next(SOURCES)
        for token, status in [(False, 401), (True, 413)]:
            raw = connect(source)
            lines = ["POST /api/scan HTTP/1.1", "Host: " + SERVER.host,
                     "Content-Length: 629145600"]
            if token:
                lines.append("Authorization: Bearer " + SERVER.token)
            started = time.monotonic()
            raw.sendall(("\r\n".join(lines) + "\r\n\r\n").encode() + b"x" * 65536)
            data = read_all(raw)
            raw.close()
            self.assertTrue(data.startswith(f"HTTP/1.1 {status}".encode()), data[:80])
            self.assertLess(time.monotonic() - started, 4)

    def test_chunked_body_counted_as_it_comes(self):
        raw = connect(next(SOURCES))
        raw.sendall(("POST /api/scan HTTP/1.1\r\nHost: " + SERVER.host + "\r\nAuthorization: "
                     "Bearer " + SERVER.token + "\r\nTransfer-Encoding: chunked\r\n\r\n").encode())
        chunk = b"%x\r\n" % (256 * 1024) + b" " * (256 * 1024) + b"\r\n"
        try:
            for _ in range(12):  # 3 MiB, over the 2 MiB limit
                raw.sendall(chunk)
        except ConnectionError:
            pass
        data = read_all(raw)
        raw.close()
        self.assertTrue(data.startswith(b"HTTP/1.1 413"), data[:80])

    def test_connections_capped_per_address_and_a_user_still_answered(self):
        crowd = []
        try:
            for _ in range(100):  # over the cap of 64 per address
                raw = connect("127.0.0.2")
                raw.sendall(b"GET / HTTP/1.1\r\n")
                crowd.append(raw)
            started = time.monotonic()
            status, _ = exchange(next(SOURCES), "GET /api/state HTTP/1.1")
            self.assertEqual(status, 200)
            self.assertLess(time.monotonic() - started, 1)
            closed = 0
            for raw in crowd:
                raw.settimeout(0.05)
                try:
                    closed += raw.recv(1) == b""
                except socket.timeout:
                    pass
                except ConnectionError:
                    closed += 1
            self.assertGreaterEqual(closed, 30)
            self.assertLessEqual(closed, 40)
        finally:
            for raw in crowd:
                raw.close()

    def test_all_places_taken_by_idle_connections_a_user_still_answered(self):
        crowd = []
        try:
            for n in range(560):  # over the cap of 512 in all, from 10 addresses
                raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                raw.settimeout(5)
                raw.bind((f"127.0.1.{1 + n % 10}", 0))
                raw.connect(("127.0.0.1", SERVER.port))
                raw.sendall(b"GET / HTTP/1.1\r\n")
                crowd.append(raw)
            started = time.monotonic()
            status, _ = exchange(next(SOURCES), "GET /api/state HTTP/1.1")
            self.assertEqual(status, 200)
            self.assertLess(time.monotonic() - started, 1)
        finally:
            for raw in crowd:
                raw.close()

    def test_z_silent_and_half_requests_time_out(self):
        silent, half = connect(next(SOURCES), timeout=20), connect(next(SOURCES), timeout=20)
        half.sendall(b"GET /api/state HTTP/1.1\r\nHost: " + SERVER.host.encode() + b"\r\n")
        started = time.monotonic()
        for raw in (silent, half):
            self.assertEqual(read_all(raw), b"")
            raw.close()
        self.assertLess(time.monotonic() - started, 15)


class StrictHttp(unittest.TestCase):
    def test_malformed_requests_answered_400_class_and_nothing_run(self):
        source = next(SOURCES)
        last = state(source)["last"]
        cases = [
            ("POST /api/scan HTTP/1.1", ["Content-Length: -1"], b"", 400),
            ("POST /api/scan HTTP/1.1", ["Content-Length: 2x"], b"{}", 400),
            ("POST /api/scan HTTP/1.1", ["Content-Length: 2", "Content-Length: 3"], b"{}", 400),
            ("POST /api/scan HTTP/1.1", ["Content-Length: 2", "Transfer-Encoding: chunked"],
             b"{}", 400),
            ("POST /api/scan HTTP/1.1", ["Transfer-Encoding: gzip"], b"", 400),
            ("POST /api/scan HTTP/2.0", ["Content-Length: 2"], b"{}", 400),
            ("POST /api/scan HTTP/x", ["Content-Length: 2"], b"{}", 400),
            ("GET /api/state HTTP/1.1", ["X-Big: " + "a" * (1 << 20)], b"", 431),
            ("GET /api/state HTTP/1.1", [f"X-{n}: y" for n in range(10000)], b"", 431),
        ]
        for head, extra, body, expected in cases:
            status, _ = exchange(source, head, body, extra=extra)
            self.assertEqual(status, expected, (head, extra[:2]))
        self.assertEqual(state(source)["last"], last)

    def test_pipelined_requests_answered_in_order(self):
        one = ("GET /api/state HTTP/1.1\r\nHost: " + SERVER.host + "\r\nAuthorization: Bearer " +
               SERVER.token + "\r\n\r\n")
        last = "GET /nowhere HTTP/1.1\r\nHost: " + SERVER.host + "\r\nAuthorization: Bearer " + \
            SERVER.token + "\r\nConnection: close\r\n\r\n"
        raw = connect(next(SOURCES))
        raw.sendall((one * 30 + last).encode())
        data = read_all(raw, 1 << 24)
        raw.close()
        statuses = re.findall(rb"HTTP/1\.1 (\d+)", data)
        self.assertEqual(statuses, [b"200"] * 30 + [b"404"])

    def test_host_and_origin(self):
        source = next(SOURCES)
        get = "GET /api/state HTTP/1.1"
        for host, expected in [("evil.example", 421), (f"evil.example:{SERVER.port}", 421),
                               ("127.0.0.1:1", 421), (f"localhost:{SERVER.port}", 200),
                               (f"zd4270.site.example:{SERVER.port}", 200), (SERVER.host, 200)]:
            self.assertEqual(exchange(source, get, host=host)[0], expected, host)
        two_hosts = exchange(source, get, extra=["Host: evil.example"])[0]
        self.assertEqual(two_hosts, 421)
        for origin, expected in [(f"https://{SERVER.host}", 403), ("null", 403),
                                 (f"http://127.0.0.1:{SERVER.port + 1}", 403),
                                 (f"http://evil.example:{SERVER.port}", 403),
                                 (f"http://{SERVER.host}", 200)]:
            status, _ = post(source, "status", "{}", extra=["Origin: " + origin], token=True)
            self.assertEqual(status, expected, origin)

    def test_token_and_paths(self):
        source = next(SOURCES)
        get = "GET /api/state HTTP/1.1"
        for extra in [[], ["Authorization: Bearer " + "0" * 32], ["Cookie: zd4270_token=x"],
                      ["Authorization: Basic " + base64.b64encode(b"a:b").decode()]]:
            self.assertEqual(exchange(source, get, token=False, extra=extra)[0], 401, extra)
        for path in ["/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/download/../line-0.json",
                     "/download/%2e%2e%2fline-0.json", "//etc/passwd", "/app.js/../../x",
                     "/download/line-0.json", "/download/.owner", "http://evil.example/"]:
            status, data = exchange(source, f"GET {path} HTTP/1.1")
            self.assertEqual(status, 404, path)
            self.assertNotIn(b"root:", data)


class Bodies(unittest.TestCase):
    def test_depth_and_duplicate_keys_refused(self):
        source = next(SOURCES)
        last = state(source)["last"]
        deep = '{"backup": ' + "[" * 60000 + "]" * 60000 + "}"
        for command, body in [("restore", deep), ("archive/download", '{"archive": ' + deep + "}"),
                              ("restore", '{"backup": ' + "[" * 41 + "]" * 41 + "}"),
                              ("scan", '{"ask-twice": true, "ask-twice": false}'),
                              ("restore", '{"backup": {"a": 1, "a": 2}}')]:
            status, data = post(source, command, body)
            self.assertEqual(status, 400, (command, body[:40]))
        self.assertTrue(SERVER.alive())
        self.assertEqual(state(source)["last"], last)

    def test_answers_name_no_private_folder(self):
        status, data = post(next(SOURCES), "restore", '{"backup": "not json at all", "yes": true}')
        self.assertEqual(status, 200, data)
        self.assertNotIn(b"zd4270-serve-", data)
        self.assertIn(b"the request's \\\"backup\\\"", data)

    def test_abandoned_folder_removed_and_own_kept(self):
        self.assertFalse(os.path.exists(SERVER.abandoned))
        own = [n for n in os.listdir(SERVER.tmp) if n.startswith("zd4270-serve-")]
        self.assertEqual(len(own), 1)


def handshake(source, token=True, origin=None):
    raw = connect(source)
    key = base64.b64encode(os.urandom(16)).decode()
    lines = ["GET /live HTTP/1.1", "Host: " + SERVER.host, "Upgrade: websocket",
             "Connection: Upgrade", "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
    if token:
        lines.append("Cookie: zd4270_token=" + SERVER.token)
    if origin:
        lines.append("Origin: " + origin)
    raw.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
    head = b""
    while b"\r\n\r\n" not in head and len(head) < 65536:
        chunk = raw.recv(1)
        if not chunk:
            break
        head += chunk
    return raw, head


def frame(opcode, payload, masked=True, final=True):
    first = (0x80 if final else 0) | opcode
    length = len(payload)
    head = bytes([first]) + (bytes([(0x80 if masked else 0) | length]) if length < 126 else
                             bytes([(0x80 if masked else 0) | 126]) + length.to_bytes(2, "big"))
    if not masked:
        return head + payload
    mask = os.urandom(4)
    return head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload))


def close_code(raw):
    """Reads frames until the server's close; returns its code (None when it just hung up)."""
    data = read_all(raw)
    at = 0
    while at + 2 <= len(data):
        opcode, length = data[at] & 0x0F, data[at + 1] & 0x7F
        at += 2
        if length == 126:
            length = int.from_bytes(data[at:at + 2], "big")
            at += 2
        elif length == 127:
            length = int.from_bytes(data[at:at + 8], "big")
            at += 8
        if opcode == 0x8:
            return int.from_bytes(data[at:at + 2], "big")
        at += length
    return None


class LiveChannel(unittest.TestCase):
    def test_handshake_needs_token_origin_and_rate(self):
        source = next(SOURCES)
        for kwargs, status in [({"token": False}, b"401"),
                               ({"origin": "http://evil.example"}, b"403"),
                               ({"origin": f"https://{SERVER.host}"}, b"403")]:
            raw, head = handshake(source, **kwargs)
            raw.close()
            self.assertIn(b" " + status + b" ", head.split(b"\r\n")[0], kwargs)
        statuses = set()
        for _ in range(300):
            raw, head = handshake(source, token=False)
            raw.close()
            statuses.add(head.split(b" ")[1] if head else b"")
            if b"429" in statuses:
                break
        self.assertIn(b"429", statuses)

    def test_frames_as_rfc_6455_asks(self):
        for payload, masked, fragments, code in [(b"hello", False, 1, 1002),
                                                 (b"x" * 5000, True, 1, 1009),
                                                 (b"x" * 100, True, 60, 1009)]:
            raw, head = handshake(next(SOURCES))
            self.assertIn(b" 101 ", head)
            if fragments == 1:
                raw.sendall(frame(0x1, payload, masked))
            else:
                raw.sendall(frame(0x1, payload, masked, final=False))
                for _ in range(fragments - 1):
                    raw.sendall(frame(0x0, payload, masked, final=False))
            self.assertEqual(close_code(raw), code, (len(payload), masked, fragments))
            raw.close()


def main():
    global ARGS, SERVER
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--examples", required=True)
    ARGS, rest = parser.parse_known_args()
    SERVER = Server()
    try:
        result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
        alive = SERVER.alive()
    finally:
        SERVER.close()
    if not alive:
        print("the server ended during the tests")
    sys.exit(0 if result.wasSuccessful() and alive else 1)


if __name__ == "__main__":
    main()
