#!/usr/bin/python3
"""Measures what a hostile client costs `zd4270 serve`, on loopback only, every loop bounded:

- the server's memory (RSS) while a 600 MB body without the token is streamed at it, declared
  and chunked;
- a real user's request while 1,100 half-open connections (a byte now and then) hold on, with
  the server under `ulimit -n 1024`;
- a restore body nested 60,000 deep, with the token.

Usage: serve_hostile.py --program PATH/zd4270 --examples DIR
"""
import argparse
import os
import re
import resource
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def start(args, folder):
    line = os.path.join(folder, "line.json")
    shutil.copy(os.path.join(args.examples, "lines", "three-addressed.json"), line)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=folder)
    env.pop("ZD4270_SERVE_TOKEN", None)

    def limit():
        resource.setrlimit(resource.RLIMIT_NOFILE, (1024, 1024))
    process = subprocess.Popen(
        [args.program, "serve", "--virtual-time", "--listen", "127.0.0.1:0", "--line", line,
         "--registry", os.path.join(folder, "registry.ini")],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env, preexec_fn=limit)
    match = re.search(r":(\d+)/\?token=([0-9a-f]+)", process.stdout.readline())
    return process, int(match.group(1)), match.group(2)


def stream(port, chunked, total, seconds):
    """Sends a body of `total` bytes without the token; returns the bytes the server took."""
    raw = socket.create_connection(("127.0.0.1", port), timeout=5)
    head = f"POST /api/scan HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
    head += "Transfer-Encoding: chunked\r\n\r\n" if chunked else f"Content-Length: {total}\r\n\r\n"
    raw.sendall(head.encode())
    block = b"x" * (1 << 20)
    if chunked:
        block = b"%x\r\n" % len(block) + block + b"\r\n"
    sent, deadline = 0, time.monotonic() + seconds
    try:
        while sent < total and time.monotonic() < deadline:
            raw.sendall(block)
            sent += 1 << 20
    except (ConnectionError, socket.timeout):
        pass
    raw.close()
    return sent


def user_request(port, token):
    started = time.monotonic()
    raw = socket.create_connection(("127.0.0.1", port), timeout=60)
    raw.sendall(f"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nAuthorization: Bearer "
                f"{token}\r\nConnection: close\r\n\r\n".encode())
    first = raw.recv(64)
    raw.close()
    return first.split(b"\r\n")[0].decode(), time.monotonic() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--examples", required=True)
    args = parser.parse_args()
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
    folder = tempfile.mkdtemp(prefix="zd4270-bench-hostile-")
    process, port, token = start(args, folder)
    try:
        time.sleep(0.5)
        for chunked in (False, True):
            before, peak = rss_mb(process.pid), 0.0
            result = {}
            sender = threading.Thread(
                target=lambda: result.update(sent=stream(port, chunked, 600 << 20, 60)))
            sender.start()
            while sender.is_alive():
                peak = max(peak, rss_mb(process.pid))
                time.sleep(0.01)
            print(f"600 MB body without the token ({'chunked' if chunked else 'declared'}): "
                  f"RSS {before:.1f} MB before, peak +{peak - before:.1f} MB; the client sent "
                  f"{result['sent'] >> 20} MB before the server closed")

        crowd, stop = [], threading.Event()
        for n in range(1100):
            try:
                raw = socket.socket()
                raw.bind((f"127.0.0.{2 + n % 40}", 0))
                raw.settimeout(2)
                raw.connect(("127.0.0.1", port))
                raw.sendall(b"GET / HTTP/1.1\r\n")
                crowd.append(raw)
            except OSError:
                pass

        def trickle():
            for _ in range(60):
                if stop.wait(1):
                    return
                for raw in crowd:
                    try:
                        raw.send(b"X")
                    except OSError:
                        pass
        dripper = threading.Thread(target=trickle)
        dripper.start()
        time.sleep(1)
        times = []
        for _ in range(5):
            status, seconds = user_request(port, token)
            times.append(seconds)
        stop.set()
        dripper.join()
        for raw in crowd:
            raw.close()
        print(f"a user's request during {len(crowd)} half-open connections (server under "
              f"ulimit -n 1024): {status}, {max(times) * 1000:.1f} ms at most of 5")

        deep = ('{"backup": ' + "[" * 60000 + "]" * 60000 + "}").encode()
        raw = socket.create_connection(("127.0.0.1", port), timeout=30)
        raw.sendall(f"POST /api/restore HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nAuthorization: "
                    f"Bearer {token}\r\nContent-Length: {len(deep)}\r\nConnection: close\r\n\r\n"
                    .encode() + deep)
        answer = raw.recv(65536).decode(errors="replace")
        raw.close()
        time.sleep(0.2)
        print(f"restore body nested 60,000 deep: {answer.splitlines()[0]}; "
              f"server {'running' if process.poll() is None else 'ended: ' + str(process.returncode)}")
    finally:
        process.send_signal(signal.SIGINT)
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
