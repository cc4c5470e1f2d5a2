# The real Server, run as root with no display in tests/in_namespace.sh, survives queries, junk
# and clients leaving early, keeps its memory, holds no privilege; then docs/clients.md's recipes.
#     real_server.py <Server> [--no-memory-check]
import contextlib, os, re, socket, struct, subprocess, sys, tempfile, time

HERE = os.path.dirname(__file__)
MASTER, UNIT = open(f"{HERE}/default_records.txt", "rb").read().splitlines()
QUERIES = [b"KOLVAM?"] + [b"KOLVAM%02d?" % n for n in range(1, 17)]
RECORDS = [MASTER] + [UNIT.replace(b"Kolva01", b"Kolva%02d" % n) for n in range(1, 17)]
failed, rss = [], []


def check(what, got, expected, stop=0):  # a soak failure would repeat
    if got != expected:
        print(f"FAIL {what}\n  expected {expected!r}\n  got      {got!r}")
        sys.exit(1) if stop else failed.append(what)


def retry(attempt, tries=60):  # as the page says
    for _ in range(tries):
        with contextlib.suppress(ConnectionError):
            if got := attempt():
                return got
        time.sleep(0.05)


def connect():
    return retry(lambda: socket.create_connection(("127.0.0.1", 23), 5), 100) or sys.exit("refused")


def ask(sock, query):
    got = b""
    sock.sendall(query)
    while b"\r" not in got and (chunk := sock.recv(65536)):
        got += chunk
    return got


def queries(count):
    with connect() as sock:
        for i in range(count):
            q = QUERIES[i % 17]
            spelled = [q, b"  " + q.lower() + b"\r\n", q + b"\r\n  "][i // 17 % 3]
            check(spelled, ask(sock, spelled), RECORDS[i % 17] + b"\r", 1)


def junk(count):
    with connect() as sock:
        sock.sendall(bytes(range(256)).replace(b"?", b"") * 257 * count)
        sock.shutdown(socket.SHUT_WR)
        crs = b"".join(iter(lambda: sock.recv(65536), b""))
    check("junk gets lone CRs", crs, b"\r" * (len(crs) or 1), 1)


def clients(count):
    for n in range(count):
        with connect() as early:
            early.sendall(QUERIES[n] if n % 4 < 2 else b"")
            early.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", n % 2, 0))
        check(QUERIES[n], retry(lambda: ask(connect(), QUERIES[n] + b"\r\n")), RECORDS[n] + b"\r")


def run(command):
    done = subprocess.run(["bash", "-c", command], capture_output=True, timeout=10)
    return done.returncode, done.stdout


if run("[ -x /usr/lib/nagios/plugins/check_tcp ] && socat -V && nc -h 2>&1 | grep -- -N")[0]:
    sys.exit(print("SKIPPED: no check_tcp, socat or nc -N") or 77)
open("/proc/sys/net/ipv6/bindv6only", "w").write("1")  # IPv4 clients must reach it all the same
err = tempfile.TemporaryFile()  # VmRSS without glibc's kept heap
server = subprocess.Popen(["env", *"-u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "
                           "MALLOC_MMAP_THRESHOLD_=65536".split(), sys.argv[1]], stderr=err)
try:
    for phase, count in ((queries, 1000), (queries, 5000), (junk, 4), (clients, 4)):
        phase(count)
        check(f"alive after {phase.__name__}", server.poll(), None, 1)
        rss += map(int, re.findall(r"VmRSS:\s*(\d+)", open(f"/proc/{server.pid}/status").read()))
    print("VmRSS, KiB:", rss)
    status = open(f"/proc/{server.pid}/status").read()
    check("no capability held, none to regain", re.findall(
        r"(?:Cap(?:Inh|Prm|Eff|Amb)|NoNewPrivs):\s*(\w+)", status), ["0" * 16] * 4 + ["1"])
    check("VmRSS grows <= 4 MiB", rss[-1] - rss[0] <= 4096 or "--no-memory-check" in sys.argv, True)
    err.seek(0)
    check("standard error lacks", {
        "Kolva Simulator: no display found; running headless on Qt's offscreen platform",
        "Kolva Simulator: Nonauthoritative host not found, or server failure."}
        - set(err.read().decode().splitlines()), set())
    page = open(f"{HERE}/../docs/clients.md").read()  # its recipes, back to back
    _, units, nagios, netcat, _, socat = re.findall(r"```sh\n(.*?)```", page, re.S)[:6]
    check("all units: OK, then the records", run(units)[1], b"\n".join(
        [b"OK - 17 records from 127.0.0.1 port 23", *RECORDS, b""]))
    got = re.sub(rb" - .*?port 23|\|.*", b"", run(nagios)[1])  # timings aside
    check("check_tcp: OK and the record", got, b"TCP OK [%s]\n" % RECORDS[7])
    check("nc -N: the record, its CR", run(netcat)[1], RECORDS[7] + b"\r\n")
    check("socat: two queries, one connection", run(socat)[1], b"%s\r%s\r\n" % (MASTER, RECORDS[7]))
    bare = "nc -z 127.0.0.1 23 && ! nc -z 127.0.0.1 23 && echo refused"
    check("nc -z uses up the slot", retry(lambda: run(bare)[1]), b"refused\n")
    exec(page.split("```python\n")[1].split("```")[0], recipe := {})
    check("Python: the last of three unknown", recipe["poll"](["KOLVAM07?", "kolvam16?",
          "KOLVAM17?"]), [RECORDS[7].decode(), RECORDS[16].decode(), ""])
finally:
    server.kill()
sys.exit(bool(failed))
