#!/usr/bin/python3
# The real Server, headless in a private namespace whose host name resolves nowhere (run it
# through tests/in_namespace.sh): queries byte for byte against a fresh start's records, junk,
# and clients that misbehave, a client after a client. It must live through them, keep its
# memory and say on standard error why it has no host address. A sanitized server's memory is
# the sanitizer's to keep: --no-memory-check.
#     server_soak.py <Server> [--no-memory-check]

import contextlib
import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import time

# The protocol as a client spells it, independently of the simulator's own code.
QUERIES = [b"KOLVAM?"] + [b"KOLVAM%02d?" % n for n in range(1, 17)]
with open(os.path.join(os.path.dirname(__file__), "default_records.txt"), "rb") as f:
    REPLIES = [record + b"\r" for record in f.read().splitlines()]


def check(what, got, expected):
    if got != expected:
        sys.exit(f"FAIL: {what!r} got {got!r}, expected {expected!r}")


# Retried while refused: the service is starting, or between clients until its next poll.
def connect(quiet=5.0):
    for _ in range(500):
        with contextlib.suppress(ConnectionRefusedError):
            return socket.create_connection(("127.0.0.1", 23), timeout=quiet)
        time.sleep(0.01)
    check("connect", "refused", "a listener on 127.0.0.1:23")


# Everything up to the first CR, or all until the line stays quiet; less where the service
# ends the connection.
def ask(sock, query, to_cr=True):
    got = b""
    sock.sendall(query)
    with contextlib.suppress(socket.timeout, ConnectionResetError):
        while not (to_cr and b"\r" in got) and (chunk := sock.recv(65536)):
            got += chunk
    return got


def queries(count):  # one connection, three spellings selecting the same record
    with connect() as sock:
        for i in range(count):
            query = QUERIES[i % 17]
            spelled = [query, b"  " + query.lower() + b"\r\n", query + b"\r\n  "][i // 17 % 3]
            check(spelled, ask(sock, spelled), REPLIES[i % 17])


def junk(chunks):  # 64 KiB pieces without a query in them: lone CRs only
    with connect(quiet=0.5) as sock:
        piece = (bytes(range(0x40, 0x100)) + bytes(range(0x3F))) * 257  # every byte but '?'
        crs = b"".join(ask(sock, piece, to_cr=False) for _ in range(chunks))
        check("64 KiB of junk", crs, b"\r" * len(crs))
        sock.settimeout(5)
        check(QUERIES[16], ask(sock, QUERIES[16]), REPLIES[16])


def clients(cycles):  # each after one that leaves early, resets or says nothing
    for cycle in range(cycles):
        with connect() as early:
            if cycle % 4 < 2:
                early.sendall(QUERIES[cycle % 17])
            # On: the close sends a reset.
            early.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", cycle % 2, 0))
        # One that connected while the service was still taking the previous client is reset
        # with the listener: like any client, it tries again.
        for _ in range(5):
            with connect() as sock:
                if got := ask(sock, QUERIES[cycle % 17] + b"\r\n"):
                    break
        check(QUERIES[cycle % 17], got, REPLIES[cycle % 17])


# glibc would otherwise keep the heap it grew for the 64 KiB junk arrivals (about 3 MiB, a
# high-water mark, not growth): with a fixed mmap threshold VmRSS shows what Server holds.
errors = tempfile.TemporaryFile()
server = subprocess.Popen([sys.argv[1]], stderr=errors, env=dict(
    os.environ, QT_QPA_PLATFORM="offscreen", MALLOC_MMAP_THRESHOLD_="65536"))
try:
    rss = []
    for phase, count in ((queries, 1000), (queries, 20000), (junk, 4), (clients, 4)):
        started = time.monotonic()
        phase(count)
        check(f"the server after {count} {phase.__name__}", server.poll(), None)
        with open(f"/proc/{server.pid}/status") as status:
            rss.append(int(re.search(r"VmRSS:\s*(\d+)", status.read())[1]))
        print(f"{count} {phase.__name__}: {time.monotonic() - started:.1f} s, VmRSS {rss[-1]} KiB")
    print(f"VmRSS {rss[-1] - rss[0]} KiB more than after the first 1000 queries")
    check("VmRSS growth", rss[-1] - rss[0] <= 4096 or "--no-memory-check" in sys.argv, True)
    server.terminate()
    server.wait()
    errors.seek(0)
    said = errors.read().decode(errors="replace")
    # The host name resolves nowhere here, and no box can be clicked: standard error says why.
    check("standard error", said, said if re.search("^Kolva Simulator: ", said, re.M) else "why")
finally:
    server.kill()
