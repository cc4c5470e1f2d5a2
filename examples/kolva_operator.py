"""Drive the Kolva Simulator's operator window from a test, headless, over AT-SPI.

The simulator has no control port and takes no arguments: a test plays the operator instead,
through the desktop accessibility bus, and checks the effect as a client sees it, on port 23.

    from kolva_operator import Simulator, query

    with Simulator("build/app/Server") as sim:      # or Simulator() for kolva-simulator
        sim.set_reading("Master", 3, "85.0")
        sim.accept_changes("Master")
        assert " T3=85.0," in query("KOLVAM?")

Each action returns once the window has taken it in, so a query right after it sees the new
records. Needs Debian's python3-pyatspi, Xvfb and at-spi2-core; run it with /usr/bin/python3.
One Simulator per process: the accessibility library keeps its bus for the life of the process.
"""

import difflib
import importlib.util
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time

__all__ = ["Simulator", "OperatorError", "Unavailable", "query", "wait_for_record"]

BANKS = ("Master", "Slave")
FAULTS = ("OPEN", "COMER")
UNITS = ("Celsius", "Fahrenheit")


class OperatorError(RuntimeError):
    """The simulator, or the desktop around it, did not do what was asked."""


class Unavailable(OperatorError):
    """No virtual display or accessibility bus can be had on this machine."""


# --- The client's side: port 23 -------------------------------------------------------------


def _connect(host, port, timeout):
    # One client at a time: after a client leaves, the simulator listens again at its next
    # status poll, within about a second, and refuses connections until then.
    deadline = time.monotonic() + timeout
    while True:
        try:
            return socket.create_connection((host, port), timeout=timeout)
        except ConnectionRefusedError:
            if time.monotonic() > deadline:
                raise OperatorError(f"nothing accepted a connection on {host}:{port} "
                                    f"within {timeout:g} s") from None
            time.sleep(0.05)


def _ask(conn, command, timeout):
    conn.settimeout(timeout)
    conn.sendall(command.encode() + b"\r\n")
    reply = b""
    try:
        while not reply.endswith(b"\r"):
            chunk = conn.recv(4096)
            if not chunk:
                raise OperatorError(f"the simulator closed the connection before answering "
                                    f"{command!r}")
            reply += chunk
    except socket.timeout:
        raise OperatorError(f"no reply to {command!r} within {timeout:g} s") from None
    return reply[:-1].decode("utf-8")


def query(command, host="127.0.0.1", port=23, timeout=5.0):
    """Connects, sends one query ("KOLVAM?", "KOLVAM07?"), returns the record without its CR."""
    with _connect(host, port, timeout) as conn:
        return _ask(conn, command, timeout)


def wait_for_record(command, wanted, timeout=10.0, host="127.0.0.1", port=23):
    """Asks again and again on one connection until the record contains `wanted` (a text) or
    `wanted(record)` is true, and returns that record."""
    test = wanted if callable(wanted) else (lambda record: wanted in record)
    deadline = time.monotonic() + timeout
    with _connect(host, port, timeout) as conn:
        while True:
            record = _ask(conn, command, timeout)
            if test(record):
                return record
            if time.monotonic() > deadline:
                what = "the awaited change" if callable(wanted) else repr(wanted)
                raise OperatorError(f"waited {timeout:g} s for {command} to show {what}; "
                                    f"its last record: {record}")
            time.sleep(0.05)


# --- The operator's side: the window over AT-SPI ---------------------------------------------


def _bank(bank):
    if bank not in BANKS:
        raise ValueError(f"bank must be one of {BANKS}, not {bank!r}")
    return bank


class Simulator:
    """Starts the simulator on a virtual display with its own session and accessibility bus
    (or, with headless=False, on this desktop), and plays its operator."""

    def __init__(self, server="kolva-simulator", *, headless=True, timeout=30.0):
        self.server = server
        self.headless = headless
        self.timeout = timeout
        self.messages = []        # start-up message boxes, dismissed with OK
        self.process = None
        self._children = []       # (what, Popen, stderr file), in the order started
        self._controls = {}
        self._app = None
        self._window = None
        self._saved_env = {}
        self._runtime_dir = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()

    # Starting and stopping

    def start(self):
        if self._children:
            raise OperatorError("this Simulator is running already")
        path = shutil.which(self.server)
        if not path:
            raise OperatorError(f"cannot start the simulator: {self.server!r} is neither an "
                                f"executable file nor a command on PATH")
        if importlib.util.find_spec("pyatspi") is None:
            raise Unavailable(f"{sys.executable} cannot import pyatspi: install python3-pyatspi "
                              f"and run this with /usr/bin/python3")
        try:
            if self.headless:
                # The accessibility bus's socket is named after the display, and runs in
                # separate network namespaces may share one display number: a private runtime
                # directory keeps each run's bus its own.
                self._runtime_dir = tempfile.mkdtemp(prefix="kolva-operator-")
                self._set_env("XDG_RUNTIME_DIR", self._runtime_dir)
                self._start_display()
                self._start_buses()
            self._start_simulator(path)
            self._wait_for_window()
            self._wait_until(self._listening, "the status to read Listening",
                             lambda: f"it reads {self.status()!r}{self._said()}")
        except BaseException:
            self.close()
            raise

    def close(self):
        """Ends every process this object started, the simulator first; safe to call twice."""
        for what, proc, err in reversed(self._children):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
            err.close()
        self._children.clear()
        for name, value in self._saved_env.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        self._saved_env.clear()
        # The accessibility bus goes down after the session bus, on its own time: retry.
        deadline = time.monotonic() + 5
        while self._runtime_dir and os.path.exists(self._runtime_dir) \
                and time.monotonic() < deadline:
            shutil.rmtree(self._runtime_dir, ignore_errors=True)
            time.sleep(0.05)
        self._runtime_dir = None

    def _spawn(self, what, argv, **options):
        # Should this process die before close(), its children follow it.
        if shutil.which("setpriv"):
            argv = ["setpriv", "--pdeathsig", "TERM", "--", *argv]
        err = tempfile.TemporaryFile()
        try:
            proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=err, **options)
        except OSError as error:
            err.close()
            raise Unavailable(f"cannot start {what} ({argv[0]}): {error.strerror}") from None
        self._children.append((what, proc, err))
        return proc

    def _output(self, proc):
        for _, child, err in self._children:
            if child is proc:
                err.seek(0)  # shared with the child, and left at the end again
                return err.read().decode(errors="replace").strip()
        return ""

    def _stderr(self, proc):
        text = self._output(proc)
        return f"; its standard error:\n{text}" if text else "; it wrote nothing"

    def stderr(self):
        """What the simulator has written to its standard error so far."""
        return self._output(self.process)

    def _set_env(self, name, value):
        self._saved_env.setdefault(name, os.environ.get(name))
        os.environ[name] = value

    def _read_line(self, what, proc, fd):
        # The display number and the bus address come back on a pipe, one line each.
        deadline = time.monotonic() + self.timeout
        data = b""
        with os.fdopen(fd, "rb", buffering=0) as pipe:
            while not data.endswith(b"\n"):
                if not select.select([pipe], [], [], max(0, deadline - time.monotonic()))[0]:
                    raise Unavailable(f"waited {self.timeout:g} s for {what}")
                chunk = pipe.read(256)
                if not chunk:
                    proc.wait(5)
                    raise Unavailable(f"{what} failed: it exited with status {proc.returncode}"
                                      + self._stderr(proc))
                data += chunk
        return data.decode().strip()

    def _start_display(self):
        xvfb = shutil.which("Xvfb")
        if not xvfb:
            raise Unavailable("Xvfb is not on PATH: install the xvfb package, or pass "
                              "headless=False to use this desktop")
        # -displayfd picks a free display number. Only the abstract socket: in a private network
        # namespace every display number is free, and a socket file in /tmp would replace
        # that of a display outside it.
        read_fd, write_fd = os.pipe()
        proc = self._spawn("Xvfb", [xvfb, "-displayfd", str(write_fd), "-nolisten", "tcp",
                                    "-nolisten", "unix", "-screen", "0", "1280x1024x24"],
                           pass_fds=(write_fd,))
        os.close(write_fd)
        self._set_env("DISPLAY", ":" + self._read_line("Xvfb to start", proc, read_fd))

    def _start_buses(self):
        daemon = shutil.which("dbus-daemon")
        if not daemon:
            raise Unavailable("dbus-daemon is not on PATH: install the dbus package")
        read_fd, write_fd = os.pipe()
        proc = self._spawn("the session bus", [daemon, "--session", "--nofork",
                                               f"--print-address={write_fd}"],
                           pass_fds=(write_fd,))
        os.close(write_fd)
        address = self._read_line("the session bus to start", proc, read_fd)
        self._set_env("DBUS_SESSION_BUS_ADDRESS", address)
        # The session bus starts the accessibility bus on demand, and that bus the registry.
        # Both are started here, before the simulator: an application that finds no registry
        # when it comes up is never listed. A missing piece is reported as such.
        from gi.repository import Gio, GLib
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                 | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)

        def call(address, *request):
            bus = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
            try:
                return bus.call_sync(*request, Gio.DBusCallFlags.NONE, int(self.timeout * 1000),
                                     None).unpack()[0]
            finally:
                bus.close_sync(None)
        try:
            a11y = call(address, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                        None, GLib.VariantType("(s)"))
            call(a11y, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                 "StartServiceByName", GLib.Variant("(su)", ("org.a11y.atspi.Registry", 0)),
                 GLib.VariantType("(u)"))
        except GLib.Error as error:
            raise Unavailable(f"the accessibility bus did not start (at-spi2-core installed?): "
                              f"{error.message}" + self._stderr(proc)) from None

    def _start_simulator(self, path):
        # Qt offers its widgets to the accessibility bus only on a real X display and, without
        # a screen reader running, only when told to.
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        # Given the accessibility bus's address outright, Qt 6.4 connects but never registers.
        env.pop("AT_SPI_BUS_ADDRESS", None)
        self.process = self._spawn("the simulator", [path], env=env)

    def _wait_until(self, done, what, why=lambda: ""):
        deadline = time.monotonic() + self.timeout
        while not done():
            if self.process.poll() is not None:
                raise OperatorError(f"the simulator exited with status {self.process.returncode} "
                                    f"while waiting for {what}" + self._stderr(self.process))
            if time.monotonic() > deadline:
                raise OperatorError(f"waited {self.timeout:g} s for {what}: {why()}")
            time.sleep(0.05)

    def _listening(self):
        status = self.status()
        if status == "Error":
            raise OperatorError(f"the simulator is not listening, its status reads Error"
                                f"{self._said()} (port 23 needs root, the installed package, "
                                f"or a private network namespace)")
        return status == "Listening"

    def _said(self):
        return f"; it said: {' / '.join(self.messages)}" if self.messages else ""

    def _wait_for_window(self):
        import pyatspi
        self._pyatspi = pyatspi

        def found():
            desktop = pyatspi.Registry.getDesktop(0)
            for app in desktop:
                if app is not None and app.get_process_id() == self.process.pid:
                    self._app = app
                    self._dismiss_messages()
                    self._window = next((w for w in app if w is not None and
                                         w.name == "TCP Server"), None)
                    return self._window is not None and self._has(self._window,
                                                                  pyatspi.STATE_SHOWING)
            return False
        self._wait_until(found, "its window on the accessibility bus",
                         lambda: "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 was set; is this Qt built "
                                 "with its AT-SPI bridge?" if self._app is None else
                                 f"the application is there, its window is not{self._said()}")

    def _dismiss_messages(self):
        # A start-up failure (port refused, host name unknown) shows a message box that holds
        # the window back until someone presses OK: note its text and press it.
        for window in self._app:
            if window is None or window.getRole() not in (self._pyatspi.ROLE_ALERT,
                                                          self._pyatspi.ROLE_DIALOG):
                continue
            texts = [a.name for a in self._pyatspi.findAllDescendants(
                window, lambda a: a.getRole() == self._pyatspi.ROLE_LABEL and a.name)]
            self.messages.append(" ".join(texts))
            ok = self._pyatspi.findDescendant(window, lambda a: a.name == "OK")
            if ok is not None:
                self._do(ok, "Press")
                self._wait_until(lambda: not self._has(window, self._pyatspi.STATE_SHOWING),
                                 f"the message {self.messages[-1]!r} to close")

    # Finding and driving controls

    def control(self, name):
        """The accessible object of the control with this accessible name. Labels are found by
        their accessible description ("Status", "Host IP Address")."""
        if name not in self._controls:
            self._controls.clear()
            for acc in self._pyatspi.findAllDescendants(self._app, lambda a: True):
                label = acc.getRole() == self._pyatspi.ROLE_LABEL
                key = acc.description if label else acc.name
                # An editable combo box is named after its text; its line edit holds the name.
                if key and acc.getRole() != self._pyatspi.ROLE_COMBO_BOX:
                    self._controls.setdefault(key, acc)
        if name not in self._controls:
            near = difflib.get_close_matches(name, self._controls, 3)
            hint = f" (did you mean {', '.join(map(repr, near))}?)" if near else ""
            raise OperatorError(f"no control named {name!r} in the simulator's windows{hint}")
        return self._controls[name]

    def _do(self, acc, action):
        actions = acc.queryAction()
        for i in range(actions.nActions):
            if actions.getName(i) == action:
                actions.doAction(i)
                return
        raise OperatorError(f"{acc.name!r} offers no {action!r} action")

    def _has(self, acc, state):
        return acc.getState().contains(state)

    def press(self, name):
        """Presses a button and returns once its click has been handled."""
        acc = self.control(name)
        self._do(acc, "Press")
        # The press is an animated click: the button stays down ~100 ms, then clicks.
        self._wait_until(lambda: not self._has(acc, self._pyatspi.STATE_PRESSED),
                         f"{name!r} to come back up")

    def type_text(self, name, text):
        """Replaces the text of a field, as the operator typing it would."""
        self.control(name).queryEditableText().setTextContents(text)

    def text(self, name):
        acc = self.control(name)
        return acc.queryText().getText(0, -1) if "Text" in acc.get_interfaces() else acc.name

    def set_checked(self, name, checked=True):
        acc = self.control(name)
        if self._has(acc, self._pyatspi.STATE_CHECKED) != checked:
            self._do(acc, "Toggle")
            self._wait_until(lambda: self._has(acc, self._pyatspi.STATE_CHECKED) == checked,
                             f"{name!r} to become {'checked' if checked else 'unchecked'}")

    # One call per operator action

    def set_reading(self, bank, channel, text):
        """Types into a reading field: channel 1 to 16, or "Amb"."""
        if channel != "Amb" and channel not in range(1, 17):
            raise ValueError(f"channel must be 1 to 16 or 'Amb', not {channel!r}")
        self.type_text(f"{_bank(bank)} {'Amb' if channel == 'Amb' else f'T{channel}'}", text)

    def reading(self, bank, channel):
        return self.text(f"{_bank(bank)} {'Amb' if channel == 'Amb' else f'T{channel}'}")

    def set_all_sensors(self, bank, text):
        self.type_text(f"{_bank(bank)} Set All Sensors", text)

    def set_increment(self, bank, text):
        """Types into the Increment box."""
        self.type_text(f"{_bank(bank)} Increment", text)

    def pick_increment(self, bank, item):
        """Picks an item ("0", ".1", ".5", "1", "5", "10") from the Increment list."""
        edit = self.control(f"{_bank(bank)} Increment")
        combo = edit.parent
        items = next((a for a in combo if a.getRole() == self._pyatspi.ROLE_LIST), None)
        entry = next((a for a in items if a.name == item), None) if items else None
        if entry is None:
            raise OperatorError(f"{bank} Increment has no item {item!r}")
        self._do(combo, "ShowMenu")
        self._wait_until(lambda: self._has(items, self._pyatspi.STATE_SHOWING),
                         f"the {bank} Increment list to open")
        # Only a click picks: selecting an item over the bus does not.
        box = entry.queryComponent().getExtents(self._pyatspi.DESKTOP_COORDS)
        self._pyatspi.Registry.generateMouseEvent(box.x + box.width // 2,
                                                  box.y + box.height // 2, "b1c")
        self._wait_until(lambda: not self._has(items, self._pyatspi.STATE_SHOWING)
                         and self.text(f"{bank} Increment") == item,
                         f"{item!r} to be picked in {bank} Increment")

    def accept_changes(self, bank):
        self.press(f"{_bank(bank)} Accept Changes")

    def inject_fault(self, bank, fault):
        if fault not in FAULTS:
            raise ValueError(f"fault must be one of {FAULTS}, not {fault!r}")
        self.press(f"{_bank(bank)} {fault}")

    def set_ramp(self, seconds=None, amount=None, enabled=None):
        if seconds is not None:
            self.type_text("Ramp Seconds", str(seconds))
        if amount is not None:
            self.type_text("Ramp Amount", str(amount))
        if enabled is not None:
            self.set_checked("Ramp Enabled", enabled)

    def set_unit(self, unit):
        if unit not in UNITS:
            raise ValueError(f"unit must be one of {UNITS}, not {unit!r}")
        self.set_checked(unit)

    def status(self):
        return self.text("Status")

    def host_address(self):
        return self.text("Host IP Address")

    def _about(self):
        return next((w for w in self._app if w is not None and w.name.startswith("About")), None)

    def open_about(self):
        """Opens the About window and returns its lines. Nothing over the bus closes it again."""
        self._do(self.control("About"), "Press")
        self._wait_until(lambda: self._about() is not None, "the About window")
        return [a.name for a in self._pyatspi.findAllDescendants(
            self._about(), lambda a: a.getRole() == self._pyatspi.ROLE_LABEL)]

    def exit(self):
        """File > Exit. Returns the simulator's exit status once it has ended, or None when an
        open About window keeps it running after its main window has closed."""
        about = self._about() is not None
        self._do(self.control("Exit"), "Press")
        if about:
            self._wait_until(lambda: not self._has(self._window, self._pyatspi.STATE_SHOWING),
                             "the main window to close")
            return None
        try:
            return self.process.wait(self.timeout)
        except subprocess.TimeoutExpired:
            raise OperatorError(f"waited {self.timeout:g} s for the simulator to end after "
                                f"File > Exit") from None
