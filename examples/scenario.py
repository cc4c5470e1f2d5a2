#!/usr/bin/python3
"""A worked scenario: play the operator and check each step as a client sees it on port 23.

    /usr/bin/python3 examples/scenario.py [PATH-TO-Server]     (default: kolva-simulator)

Port 23 must be free and bindable: run as root, with the installed package, or in a private
network namespace (`unshare -rn`, then `ip link set lo up`). Exits 0 when every step holds,
1 when one does not, 77 when this machine has no virtual display or accessibility bus.
Where a step says "your software", a client's own suite would check its own program.
"""

import re
import sys
import time

from kolva_operator import OperatorError, Simulator, Unavailable, query, wait_for_record


def unit_record(unit, suffix, values):
    """A whole record; values are the sixteen channels and Amb."""
    pieces = [f" T{i}={v}," for i, v in enumerate(values[:16], 1)] + [f" Amb={values[16]}"]
    return f"REZU DOZURUZ UNIT, {unit}, {suffix}" + "".join(pieces)


class Steps:
    def __init__(self):
        self.started = time.monotonic()

    def check(self, what, ok, record):
        took = time.monotonic() - self.started
        if not ok:
            raise OperatorError(f"{what}: not so; the record was\n  {record}")
        print(f"ok   {what}  ({took:.2f} s)", flush=True)
        self.started = time.monotonic()


def run(server):
    steps = Steps()
    with Simulator(server) as sim:
        steps.check(f"started, status {sim.status()}, host {sim.host_address()}",
                    sim.status() == "Listening", "")

        sim.set_reading("Master", 3, "85.0")
        sim.accept_changes("Master")
        record = query("KOLVAM?")
        steps.check("master T3 set to 85.0 and accepted", " T3=85.0," in record, record)
        # Here your software should raise its over-temperature alarm.

        sim.inject_fault("Slave", "COMER")
        sim.accept_changes("Slave")
        record = query("KOLVAM07?")
        # A commit publishes each reading by its leading number: a fault word reads 0.0.
        steps.check("COMER on the slave bank and accepted",
                    record == unit_record("Kolva07", "C,", ["0.0"] * 17), record)

        sim.set_unit("Fahrenheit")
        record = query("KOLVAM?")
        steps.check("switched to Fahrenheit",
                    "Kolva0_Master, F, T1=77.0, T2=77.2, T3=185.0," in record, record)

        sim.set_ramp(seconds=0, amount=1, enabled=True)
        # A ramp step carries fault words as they stand; it comes with the next one-second tick.
        record = wait_for_record("KOLVAM07?", "ComEr")
        sim.set_ramp(enabled=False)
        steps.check("ramp stepped the slave bank, faults as they stand",
                    record == unit_record("Kolva07", "F,", ["ComEr"] * 17), record)
        record = query("KOLVAM?")
        # However many steps came before it stopped, T1 and T3 moved alike, without a ".0".
        found = re.search(r" T1=(\d+), T2=[\d.]+, T3=(\d+),", record)
        steps.check("ramp stepped the master bank",
                    found and int(found[1]) > 77 and int(found[2]) - int(found[1]) == 108,
                    record)

        sim.set_all_sensors("Master", "20")
        sim.pick_increment("Master", "5")
        sim.accept_changes("Master")
        record = query("KOLVAM?")
        steps.check("master filled from 20 by a picked increment of 5",
                    record == unit_record("Kolva0_Master", "F,",
                                          [f"{20 + 5 * i}.0" for i in range(17)]), record)

        status = sim.exit()
        steps.check("File > Exit ended the simulator", status == 0,
                    f"exit status {status}, standard error: {sim.stderr()}")


def main():
    server = sys.argv[1] if len(sys.argv) > 1 else "kolva-simulator"
    try:
        run(server)
    except Unavailable as error:
        print(f"SKIPPED: {error}")
        return 77
    except OperatorError as error:
        print(f"FAIL {error}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
