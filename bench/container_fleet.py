#!/usr/bin/env python3
"""A fleet of containerized installations on one machine: how soon they all answer when started
together, the memory each added one takes, and how long one client takes to poll them all.

    bench/container_fleet.py [--count 50] [--image kolva-simulator] [--engine podman]

Needs the image (docs/containers.md) and root for podman's bridge network. Starts the
containers on a network of its own and polls them from this machine at their addresses there;
nothing else is contacted. Removes everything it made, also when interrupted. Prints figures,
judges nothing.
"""

import argparse
import concurrent.futures
import os
import socket
import statistics
import subprocess
import sys
import time

MASTER = b"REZU DOZURUZ UNIT, Kolva0_Master, "
QUERIES = [b"KOLVAM?"] + [b"KOLVAM%02d?" % n for n in range(1, 17)]


def engine(*args, check=True):
    done = subprocess.run([OPTIONS.engine, *args], capture_output=True, text=True, timeout=120)
    if check and done.returncode:
        sys.exit(f"{OPTIONS.engine} {' '.join(args)} failed: {done.stderr.strip()}")
    return done.stdout


def mem_available_kib():
    with open("/proc/meminfo") as info:
        return next(int(line.split()[1]) for line in info if line.startswith("MemAvailable:"))


def pss_kib(pid):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as rollup:
            return next(int(line.split()[1]) for line in rollup if line.startswith("Pss:"))
    except (OSError, StopIteration):
        return 0


def children(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as listing:
            return [int(child) for child in listing.read().split()]
    except OSError:
        return []


def ask(conn, query):
    conn.sendall(query + b"\r\n")
    reply = b""
    while not reply.endswith(b"\r"):
        chunk = conn.recv(4096)
        if not chunk:
            raise ConnectionResetError
        reply += chunk
    return reply


def connect(address, bridge, timeout):
    """A connection that can leave only through the fleet's bridge: until the engine has made
    the bridge, a fleet address would follow the default route off this machine."""
    conn = socket.socket()
    try:
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, bridge.encode())
        conn.settimeout(timeout)
        conn.connect((address, 23))
    except OSError:
        conn.close()
        raise
    return conn


def first_answer(address, bridge, start, limit=120):
    """Seconds from start until the installation at address answers, or None."""
    while time.monotonic() - start < limit:
        try:
            with connect(address, bridge, 1) as conn:
                if ask(conn, b"KOLVAM?").startswith(MASTER):
                    return time.monotonic() - start
        except OSError:  # not up yet: no bridge, no address, nothing listening, slot taken
            pass
        time.sleep(0.05)
    return None


def poll_all(addresses, bridge):
    """One client, one connection per installation, all seventeen units each; retries a
    refused connection, as a poller must."""
    for address in addresses:
        deadline = time.monotonic() + 5
        while True:
            try:
                with connect(address, bridge, 2) as conn:
                    for n, query in enumerate(QUERIES):
                        unit = b"Kolva0_Master" if n == 0 else b"Kolva%02d" % n
                        if b", %s, " % unit not in ask(conn, query):
                            sys.exit(f"{address}: wrong record for {query!r}")
                break
            except (ConnectionRefusedError, ConnectionResetError):
                if time.monotonic() > deadline:
                    sys.exit(f"{address}: refused for 5 s")
                time.sleep(0.05)


def main():
    names = [f"kolva-bench-{os.getpid()}-{n}" for n in range(OPTIONS.count)]
    network = f"kolva-bench-{os.getpid()}"
    engine("image", "exists", OPTIONS.image)
    engine("network", "create", *OPTIONS.network_option, network)
    started = []
    try:
        # Addresses fixed at creation, so finding them costs the engine nothing while it starts.
        subnet = engine("network", "inspect", "--format",
                        "{{range .Subnets}}{{.Subnet}}{{end}}", network).strip()
        if not subnet.endswith(".0/24") or not 0 < OPTIONS.count <= 240:
            sys.exit(f"addresses .10 to .249 of a /24 network, for 1 to 240 installations; "
                     f"the network is {subnet}")
        prefix = subnet.rsplit(".", 1)[0]
        bridge = engine("network", "inspect", "--format", "{{.NetworkInterface}}",
                        network).strip()
        address = {name: f"{prefix}.{10 + n}" for n, name in enumerate(names)}
        begin = time.monotonic()
        for name in names:
            engine("create", "--name", name, "--network", network, "--ip", address[name],
                   OPTIONS.image)
            started.append(name)
        created = time.monotonic() - begin
        time.sleep(2)
        before = mem_available_kib()
        # A single start command starts its containers one after another.
        batches = [names[k::OPTIONS.starters] for k in range(OPTIONS.starters)]
        start = time.monotonic()
        runs = [subprocess.Popen([OPTIONS.engine, "start", *batch], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL) for batch in batches]
        # A waiting client per installation: one that asked them in turn would wait out
        # the connection attempts to those not up yet.
        with concurrent.futures.ThreadPoolExecutor(len(names)) as pool:
            times = list(pool.map(lambda name: first_answer(address[name], bridge, start),
                                  names))
        runs_done = [run.wait() for run in runs]
        if None in times:
            sys.exit(f"only {len(times) - times.count(None)} of {len(names)} answered within "
                     f"120 s (start commands' statuses {runs_done})")
        times.sort()
        time.sleep(3)  # let start-up transients settle before memory is read
        after = mem_available_kib()
        pids = engine("inspect", "--format", "{{.State.Pid}} {{.State.ConmonPid}}", *names)
        server_pss = conmon_pss = 0
        for line in pids.splitlines():
            init, conmon = map(int, line.split())
            server_pss += pss_kib(init) + sum(pss_kib(child) for child in children(init))
            conmon_pss += pss_kib(conmon)
        polls = []
        for _ in range(3):
            # Each installation listens again within a second of its last client leaving; a
            # poll sooner than that would measure the wait.
            time.sleep(1.5)
            begin = time.monotonic()
            poll_all([address[name] for name in names], bridge)
            polls.append(time.monotonic() - begin)
        count = len(names)
        print(f"{time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}; {os.cpu_count()} cores; "
              f"{OPTIONS.engine} {engine('version', '--format', '{{.Client.Version}}').strip()}; "
              f"image {OPTIONS.image}; load {open('/proc/loadavg').read().split()[0]}")
        print(f"{count} installations created one after another in {created:.1f} s, then "
              f"started together by {len(batches)} start commands")
        print(f"  first answered {times[0]:.1f} s, half {times[count // 2]:.1f} s, "
              f"all {times[-1]:.1f} s after the start")
        print(f"  memory per added installation: {(before - after) / count / 1024:.1f} MiB of "
              f"the machine's available memory; PSS {server_pss / count / 1024:.1f} MiB in the "
              f"container, {conmon_pss / count / 1024:.1f} MiB in its conmon")
        print(f"  one client polling {count} x 17 units: "
              f"{statistics.median(polls):.2f} s median of 3 ({min(polls):.2f} to "
              f"{max(polls):.2f} s)")
    finally:
        if started:
            engine("rm", "--force", "--time", "0", *started, check=False)
        engine("network", "rm", network, check=False)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--count", type=int, default=50)
    parser.add_argument("--image", default="kolva-simulator")
    parser.add_argument("--engine", default="podman")
    parser.add_argument("--starters", type=int, default=os.cpu_count(),
                        help="start commands run together (default: one per core)")
    parser.add_argument("--network-option", action="append", default=[],
                        help="passed to network create, e.g. --network-option=--disable-dns")
    OPTIONS = parser.parse_args()
    main()
