#!/usr/bin/env python3
"""The served line's session, measured as a page meets it: zd4270 serve over Modbus TCP in front of
zd4270-sim (both programs of their own, loopback only, real time), on the emergency example with
its LED gear at 4 dimming on fade time 8. Prints the answer time of a direct arc power to that
gear, the TCP connections the server opened for 20 requests, and what switching a lamp off
answers while a duration test runs in the gear.

    bench/serve_session.py [--program build/zd4270] [--sim build/zd4270-sim]
"""

import argparse
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOKEN = "benchbenchbenchbenchbenchbench00"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def post(port, name, body=None, timeout=60):
    request = urllib.request.Request(
        f"http://127.0.0.1:{port}/api/{name}", data=json.dumps(body or {}).encode(),
        headers={"Authorization": "Bearer " + TOKEN, "Content-Type": "application/json"},
        method="POST")
    start = time.monotonic()
    try:
        with urllib.request.urlopen(request, timeout=timeout) as answer:
            return answer.status, json.loads(answer.read()), time.monotonic() - start
    except urllib.error.HTTPError as error:
        return error.code, json.loads(error.read() or b"{}"), time.monotonic() - start


def dim_times(port):
    """Seconds each of five direct arc powers to the fading gear takes to be answered."""
    times = []
    for level in (100, 200, 120, 254, 150):
        status, document, took = post(port, "send", {"words": ["direct arc power"], "short": 4,
                                                     "data": level})
        assert status == 200 and document.get("exitCode") == 0, document
        times.append(took)
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default=os.path.join(ROOT, "build", "zd4270"))
    parser.add_argument("--sim", default=os.path.join(ROOT, "build", "zd4270-sim"))
    arguments = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="zd_bench_session_")
    with open(os.path.join(ROOT, "examples", "lines", "emergency.json")) as source:
        line = json.load(source)
    for gear in line["gear"]:
        if gear.get("shortAddress") == 4:
            gear["fadeTime"] = 8
    line_file = os.path.join(folder, "line.json")
    with open(line_file, "w") as target:
        json.dump(line, target)

    modbus_port, http_port = free_port(), free_port()
    sim_log = open(os.path.join(folder, "sim.log"), "w")
    sim = subprocess.Popen([arguments.sim, "--line", line_file, "--station",
                            os.path.join(ROOT, "examples", "stations", "packed-intel.xml"),
                            "--listen", f"127.0.0.1:{modbus_port}"],
                           stdout=sim_log, stderr=subprocess.STDOUT)
    environment = dict(os.environ, ZD4270_SERVE_TOKEN=TOKEN, QT_QPA_PLATFORM="offscreen",
                       HOME=folder)
    server = None
    try:
        if not wait_for_port(modbus_port):
            sys.exit("zd4270-sim did not listen")
        server = subprocess.Popen([arguments.program, "serve", "--lang", "en", "--listen",
                                   f"127.0.0.1:{http_port}", "--modbus",
                                   f"127.0.0.1:{modbus_port}", "--registry",
                                   os.path.join(folder, "store.ini")],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  env=environment)
        if not wait_for_port(http_port):
            sys.exit("zd4270 serve did not listen")

        # The probe that waited for the simulator was a connection too.
        time.sleep(0.2)
        probes = open(sim_log.name).read().count(" connected")
        # The first request opens the terminal; what follows finds it open.
        post(http_port, "status")
        times = dim_times(http_port)
        print(f"direct arc power to a gear with fade time 8: median {statistics.median(times):.3f} s,"
              f" worst {max(times):.3f} s over {len(times)} requests")

        for _ in range(14):
            post(http_port, "query", {"words": ["query actual level"], "short": 4})
        time.sleep(0.2)
        connects = open(sim_log.name).read().count(" connected") - probes
        print(f"TCP connections zd4270-sim saw for the first 20 served requests over Modbus:"
              f" {connects}")

        status, document, took = post(http_port, "emergency/test",
                                      {"words": ["duration"], "short": 1})
        print(f"duration test started: HTTP {status}, started={document.get('started')},"
              f" answered in {took:.3f} s, limit {document.get('limitMs', 0) / 60000:.0f} min")
        status, document, took = post(http_port, "send", {"words": ["off"], "short": 4})
        print(f"a lamp switched off during the running duration test: HTTP {status},"
              f" exit code {document.get('exitCode')}, answered in {took:.3f} s")
        server.send_signal(2)
        server.wait(timeout=20)

        # The same on the simulated line inside the server, in real time.
        server = subprocess.Popen([arguments.program, "serve", "--lang", "en", "--listen",
                                   f"127.0.0.1:{http_port}", "--line", line_file, "--registry",
                                   os.path.join(folder, "store.ini"), "--save-line",
                                   os.path.join(folder, "saved.json")],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  env=environment)
        if not wait_for_port(http_port):
            sys.exit("zd4270 serve did not listen")
        times = dim_times(http_port)
        print(f"the same on the simulated line, --save-line written after each: median"
              f" {statistics.median(times):.3f} s, worst {max(times):.3f} s")
    finally:
        if server:
            server.send_signal(2)
            try:
                server.wait(timeout=20)
            except subprocess.TimeoutExpired:
                server.kill()
        sim.terminate()
        sim.wait(timeout=10)
        sim_log.close()


if __name__ == "__main__":
    main()
