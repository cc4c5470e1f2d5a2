#!/usr/bin/python3
# The real Server, headless where its host name resolves nowhere (run it through
# tests/in_namespace.sh), lives through queries, junk, and clients that leave early or reset,
# and keeps its memory (ASan's own aside):   server_soak.py <Server> [--no-memory-check]

import contextlib, os, re, socket, struct, subprocess, sys, time  # noqa: E401

with open(os.path.join(os.path.dirname(__file__), "default_records.txt"), "rb") as f:
    MASTER, UNIT = f.read().splitlines()
QUERIES = [b"KOLVAM?"] + [b"KOLVAM%02d?" % n for n in range(1, 17)]
REPLIES = [MASTER + b"\r"] + [UNIT.replace(b"Kolva01", b"Kolva%02d" % n) + b"\r"
                              for n in range(1, 17)]


def check(what, got, expected):
    if got != expected:
        sys.exit(f"FAIL: {what!r} got {got!r}, expected {expected!r}")


def connect():  # retried while refused (starting, or until the next poll) or turned away
    for _ in range(500):
        with contextlib.suppress(ConnectionRefusedError, ConnectionResetError):
            return socket.create_connection(("127.0.0.1", 23), timeout=5)
        time.sleep(0.01)
    sys.exit("FAIL: nothing listens on 127.0.0.1:23")


def ask(sock, query):  # up to the first CR, or less where the connection ends
    got = b""
    sock.sendall(query)
    while b"\r" not in got and (chunk := sock.recv(65536)):
        got += chunk
    return got


def queries(count):  # one connection, three spellings of each query
    with connect() as sock:
        for i in range(count):
            query = QUERIES[i % 17]
            spelled = [query, b"  " + query.lower() + b"\r\n", query + b"\r\n  "][i // 17 % 3]
            check(spelled, ask(sock, spelled), REPLIES[i % 17])


def junk(count):  # 64 KiB pieces of every byte but '?': lone CRs only, until all is read
    with connect() as sock, contextlib.suppress(socket.timeout):
        sock.settimeout(0.5)
        crs = b""
        for _ in range(count):
            sock.sendall((bytes(range(0x40, 0x100)) + bytes(range(0x3F))) * 257)
            while chunk := sock.recv(65536):
                crs += chunk
    check("64 KiB of junk", crs, b"\r" * len(crs))


def clients(count):  # each after one that left early, with or without a query, or reset
    for n in range(count):
        with connect() as early:
            if n % 4 < 2:
                early.sendall(QUERIES[n])
            early.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", n % 2, 0))
        for _ in range(5):  # one that came while the last was being dropped is reset: retry
            with connect() as sock, contextlib.suppress(ConnectionResetError):
                if got := ask(sock, QUERIES[n] + b"\r\n"):
                    break
        check(QUERIES[n], got, REPLIES[n])


# A fixed mmap threshold keeps glibc from holding the heap grown for the junk: VmRSS is Server's.
server = subprocess.Popen([sys.argv[1]], env=dict(
    os.environ, QT_QPA_PLATFORM="offscreen", MALLOC_MMAP_THRESHOLD_="65536"))
try:
    rss = []
    for phase, count in ((queries, 1000), (queries, 20000), (junk, 4), (clients, 8)):
        phase(count)
        check(f"Server after {phase.__name__}", server.poll(), None)
        with open(f"/proc/{server.pid}/status") as status:
            rss.append(int(re.search(r"VmRSS:\s*(\d+)", status.read())[1]))
    print("VmRSS after each phase, KiB:", rss)
    check("VmRSS growth", rss[-1] - rss[0] <= 4096 or "--no-memory-check" in sys.argv, True)
finally:
    server.kill()
