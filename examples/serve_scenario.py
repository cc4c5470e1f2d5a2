#!/usr/bin/python3
"""The operator inside a container: starts the simulator on a virtual display, plays a few
operator steps, then keeps serving port 23 to other containers until SIGTERM.

    podman run -d --name kolva-op --network kolva kolva-simulator:operator
    podman run -d ... -v ./my_scenario.py:/scenario.py:ro kolva-simulator:operator /scenario.py

It is the operator image's command; copy it to write your own. Every step returns once the
window has taken it in, so the line "serving" on standard output means clients now read the
changed records. Exits 143 on SIGTERM (having ended the simulator, the display and the
buses), 1 when a step fails, 77 when no display or bus can be had.
"""

import signal
import sys

from kolva_operator import OperatorError, Simulator, Unavailable, query


def play(sim):
    # Your software should raise an over-temperature alarm for the master and a communication
    # fault for every slave unit.
    sim.set_reading("Master", 3, "85.0")
    sim.accept_changes("Master")
    sim.inject_fault("Slave", "COMER")
    sim.accept_changes("Slave")


def main():
    try:
        # Leaving the with block on SIGTERM ends the simulator, the display and the buses.
        with Simulator() as sim:
            play(sim)
            print("serving; the master reads:", query("KOLVAM?"), flush=True)
            while True:
                signal.pause()
    except Unavailable as error:
        print(f"SKIPPED: {error}", file=sys.stderr)
        return 77
    except OperatorError as error:
        print(f"FAIL {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
