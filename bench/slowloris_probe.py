#!/usr/bin/env python3
"""How long a normal GET to kivo-site takes while N slow clients dribble
their request heads into it, one byte at a time.

usage: slowloris_probe.py [--hold SECONDS] PATH/TO/kivo-site [N ...]
       (default N: 0 8 16 200)

For each N a fresh kivo-site is started on a free loopback port. N clients
connect and send "GET / HTTP/1.1..." a byte every 200 ms (a head that never
finishes within the probe). Once they are all connected and have sent their
first bytes, ten normal GETs go out one after another, each on its own
connection; their times are printed. A GET that gets no answer within
GET_TIMEOUT seconds counts as "none". With --hold, the slow clients keep
dribbling for that long after the GETs, and the probe says how many of them
the server has closed by then.
"""
import socket
import subprocess
import sys
import threading
import time

GET_TIMEOUT = 10.0
GETS = 10
BYTE_INTERVAL = 0.2
SLOW_HEAD = b"GET /tv/ HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: slow\r\n" + b"X-Pad: " + b"p" * 4000


def start_site(binary):
    proc = subprocess.Popen([binary, "--host", "127.0.0.1", "--port", "0"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    # "kivo-site listening on http://127.0.0.1:PORT/"
    port = int(line.rsplit(":", 1)[1].strip().rstrip("/"))
    return proc, port


def slow_clients(port, count, stop, connected, hold_until):
    socks = []
    for _ in range(count):
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            s.setblocking(False)
            socks.append(s)
        except OSError:
            pass
    connected.append(len(socks))
    pos = 0
    while (not stop.is_set() or time.monotonic() < hold_until[0]) and pos < len(SLOW_HEAD):
        for s in socks:
            try:
                s.send(SLOW_HEAD[pos:pos + 1])
            except OSError:
                pass
        pos += 1
        time.sleep(BYTE_INTERVAL)
    # Count how many the server has closed meanwhile (a 408 comes first).
    closed = 0
    for s in socks:
        try:
            data = s.recv(1 << 16)
            if data == b"" or data.startswith(b"HTTP/1.1 408"):
                closed += 1
        except BlockingIOError:
            pass
        except OSError:
            closed += 1
        s.close()
    connected.append(closed)


def timed_get(port):
    start = time.monotonic()
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=GET_TIMEOUT)
        s.settimeout(max(0.1, GET_TIMEOUT - (time.monotonic() - start)))
        s.sendall(b"GET /tv/ HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        data = s.recv(64)
        s.close()
        if not data.startswith(b"HTTP/1.1 200"):
            return None
        return time.monotonic() - start
    except OSError:
        return None


def probe(binary, count, hold):
    proc, port = start_site(binary)
    try:
        stop = threading.Event()
        connected = []
        hold_until = [0.0]
        worker = threading.Thread(target=slow_clients,
                                  args=(port, count, stop, connected, hold_until))
        worker.start()
        while not connected:
            time.sleep(0.01)
        time.sleep(3 * BYTE_INTERVAL)
        times = [timed_get(port) for _ in range(GETS)]
        hold_until[0] = time.monotonic() + hold
        stop.set()
        worker.join()
        answered = sorted(t for t in times if t is not None)
        shown = " ".join("none" if t is None else f"{t * 1000:.1f}" for t in times)
        worst = "none" if len(answered) < len(times) else f"{answered[-1] * 1000:.1f} ms"
        median = f"{answered[len(answered) // 2] * 1000:.1f} ms" if answered else "none"
        print(f"N={count:4d} slow clients ({connected[0]} connected): "
              f"{len(answered)}/{len(times)} GETs answered, median {median}, worst {worst}")
        print(f"        each GET in ms: {shown}")
        if hold > 0:
            print(f"        after {hold:g} s more: {connected[1]} of {connected[0]} slow clients "
                  "closed by the server")
    finally:
        proc.terminate()
        proc.wait(timeout=10)


def main():
    args = sys.argv[1:]
    hold = 0.0
    if len(args) >= 2 and args[0] == "--hold":
        hold = float(args[1])
        args = args[2:]
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    counts = [int(a) for a in args[1:]] or [0, 8, 16, 200]
    for count in counts:
        probe(args[0], count, hold)
    return 0


if __name__ == "__main__":
    sys.exit(main())
