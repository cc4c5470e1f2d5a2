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

import atexit
import contextlib
import difflib
import importlib.util
import os
import secrets
import signal
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

__all__ = ["Simulator", "Client", "OperatorError", "Unavailable", "query", "wait_for_record"]

BANKS = ("Master", "Slave")
FAULTS = ("OPEN", "COMER")
UNITS = ("Celsius", "Fahrenheit")


class OperatorError(RuntimeError):
    """The simulator, or the desktop around it, did not do what was asked."""


class Unavailable(OperatorError):
    """No virtual display or accessibility bus can be had on this machine."""


# --- The client's side: port 23 -------------------------------------------------------------


class _Dropped(Exception):
    """The connection was refused, reset or closed before any reply: ask again."""


def _ask(conn, command, timeout):
    conn.settimeout(timeout)
    reply = b""
    try:
        conn.sendall(command.encode() + b"\r\n")
        while not reply.endswith(b"\r"):
            chunk = conn.recv(4096)
            if not chunk:
                raise ConnectionResetError
            reply += chunk
    except socket.timeout:
        raise OperatorError(f"no reply to {command!r} within {timeout:g} s") from None
    except (ConnectionResetError, BrokenPipeError):
        if reply:
            raise OperatorError(f"the simulator closed the connection in the middle of its reply "
                                f"to {command!r}") from None
        raise _Dropped from None
    return reply[:-1].decode("utf-8")


class Client:
    """One connection to port 23 for a series of queries, the way a monitoring poller keeps it:

        with Client() as client:
            master, unit7 = client.query("KOLVAM?"), client.query("KOLVAM07?")

    Connects at the first query. One client at a time: after any client leaves, the simulator
    listens again at its next status poll, within about a second, and refuses connections until
    then, so a refused or reset connection is retried for up to `timeout` seconds (queries have
    no side effects). While a Client is open no other client gets in, also not `query()`."""

    def __init__(self, host="127.0.0.1", port=23, timeout=5.0):
        self.host, self.port, self.timeout = host, port, timeout
        self._conn = None
        self._closed = False

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Ends the connection, and lets the next client in at the simulator's next poll."""
        if self._conn is not None:
            self._conn.close()
            self._conn = None
        self._closed = True

    def query(self, command):
        """Sends one query ("KOLVAM?", "KOLVAM07?") and CR LF; returns the record without its
        CR, or "" for an unknown query."""
        if self._closed:
            raise OperatorError(f"cannot ask {command!r}: this Client is closed")
        deadline = time.monotonic() + self.timeout
        while True:
            try:
                if self._conn is None:
                    self._conn = socket.create_connection((self.host, self.port), self.timeout)
                return _ask(self._conn, command, self.timeout)
            except (_Dropped, ConnectionRefusedError):
                pass
            except OSError as error:
                raise OperatorError(f"cannot ask {command!r} on {self.host}:{self.port}: "
                                    f"{error.strerror or error}") from None
            if self._conn is not None:
                self._conn.close()
                self._conn = None
            if time.monotonic() > deadline:
                raise OperatorError(f"nothing on {self.host}:{self.port} took {command!r} within "
                                    f"{self.timeout:g} s: refused (another client connected?)")
            time.sleep(0.05)


def query(command, host="127.0.0.1", port=23, timeout=5.0):
    """Connects, sends one query ("KOLVAM?", "KOLVAM07?"), returns the record without its CR,
    and closes."""
    with Client(host, port, timeout) as client:
        return client.query(command)


def wait_for_record(command, wanted, timeout=10.0, host="127.0.0.1", port=23):
    """Asks again every 50 ms on one connection until the record contains `wanted` (a text) or
    `wanted(record)` is true, and returns that record."""
    test = wanted if callable(wanted) else (lambda record: wanted in record)
    deadline = time.monotonic() + timeout
    with Client(host, port, min(timeout, 5.0)) as client:
        while True:
            record = client.query(command)
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
        raise OperatorError(f"no bank {bank!r}: the banks are {BANKS}")
    return bank


def _display_reachable(display):
    # A local X display listens on an abstract socket or a socket file; others are Qt's to try.
    host, _, screen = display.rpartition(":")
    number = screen.split(".")[0]
    if host not in ("", "unix") or not number.isdigit():
        return True
    for address in ("\0/tmp/.X11-unix/X" + number, "/tmp/.X11-unix/X" + number):
        with socket.socket(socket.AF_UNIX) as probe:
            try:
                probe.connect(address)
                return True
            except OSError:
                pass
    return False


def _xauthority(path):
    # One MIT-MAGIC-COOKIE-1 for any address and display number (family FamilyWild, empty
    # display number), in the file format of libXau. The X server takes it with -auth, the
    # clients through XAUTHORITY; nobody without the file can open the display.
    def field(data):
        return len(data).to_bytes(2, "big") + data
    with open(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "wb") as f:
        f.write(b"\xff\xff" + field(b"") + field(b"") + field(b"MIT-MAGIC-COOKIE-1")
                + field(secrets.token_bytes(16)))


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
        self._watch = None        # removes the runtime folder should this process be killed
        self._old_sigterm = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()

    # Starting and stopping

    def start(self):
        """Starts Xvfb and the buses (headless), then the simulator, and returns once it
        listens. Everything this machine lacks is reported as Unavailable before anything
        starts."""
        if self._children:
            raise OperatorError("cannot start the simulator: this Simulator is running already")
        path = self._preflight()
        self._catch_sigterm()
        atexit.register(self.close)
        try:
            if self.headless:
                # The accessibility bus's socket is named after the display, and runs in
                # separate network namespaces may share one display number: a private runtime
                # directory keeps each run's bus its own.
                self._runtime_dir = tempfile.mkdtemp(prefix="kolva-operator-")
                self._watch_runtime_dir()
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

    def _preflight(self):
        path = shutil.which(self.server)
        if not path:
            raise OperatorError(f"cannot start the simulator: {self.server!r} is neither an "
                                f"executable file nor a command on PATH")
        for module in ("gi", "pyatspi"):
            if importlib.util.find_spec(module) is None:
                raise Unavailable(f"{sys.executable} cannot import {module}: install "
                                  f"python3-pyatspi and run this with /usr/bin/python3")
        if self.headless:
            for tool, package in (("Xvfb", "xvfb"), ("dbus-daemon", "dbus")):
                if not shutil.which(tool):
                    raise Unavailable(f"{tool} is not on PATH: install the {package} package, "
                                      f"or pass headless=False to use this desktop")
            if not any(os.path.exists(os.path.join(d, "dbus-1/services/org.a11y.Bus.service"))
                       for d in ("/usr/share", "/usr/local/share")):
                raise Unavailable("no accessibility bus to start: install the at-spi2-core "
                                  "package")
        else:
            display = os.environ.get("DISPLAY")
            if not display:
                raise Unavailable("headless=False uses this desktop, but there is none: DISPLAY "
                                  "is not set" + (" (the window needs X11 or XWayland)"
                                                  if os.environ.get("WAYLAND_DISPLAY") else ""))
            if not _display_reachable(display):
                raise Unavailable(f"headless=False uses this desktop, but its display "
                                  f"{display} does not answer")
            self._probe_accessibility_bus()
        return path

    def _probe_accessibility_bus(self):
        # Without an accessibility bus, the accessibility library ends this whole process as
        # it loads: ask the desktop for the bus before loading it.
        from gi.repository import Gio, GLib
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                 | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        address = os.environ.get("AT_SPI_BUS_ADDRESS")
        session = os.environ.get("DBUS_SESSION_BUS_ADDRESS")
        runtime = os.environ.get("XDG_RUNTIME_DIR")
        if not session and runtime and os.path.exists(os.path.join(runtime, "bus")):
            session = "unix:path=" + os.path.join(runtime, "bus")
        if not address and not session:
            raise Unavailable("headless=False needs this desktop's session bus, and there is "
                              "none: DBUS_SESSION_BUS_ADDRESS is not set")
        try:
            if not address:
                bus = Gio.DBusConnection.new_for_address_sync(session, flags, None, None)
                address = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                        "GetAddress", None, GLib.VariantType("(s)"),
                                        Gio.DBusCallFlags.NONE, int(self.timeout * 1000),
                                        None).unpack()[0]
                bus.close_sync(None)
            Gio.DBusConnection.new_for_address_sync(address, flags, None, None).close_sync(None)
        except GLib.Error as error:
            raise Unavailable(f"this desktop has no accessibility bus (at-spi2-core installed "
                              f"and running?): {error.message}") from None

    def _catch_sigterm(self):
        # SIGTERM ends the driving process as leaving the with block does: SystemExit runs the
        # with blocks and finally clauses on the way out, then atexit.
        if threading.current_thread() is threading.main_thread() \
                and signal.getsignal(signal.SIGTERM) == signal.SIG_DFL:
            self._old_sigterm = signal.signal(signal.SIGTERM,
                                              lambda *_: sys.exit(128 + signal.SIGTERM))

    def _watch_runtime_dir(self):
        # Should this process be killed outright, a watcher removes the runtime folder once the
        # process is gone (the children follow it through --pdeathsig, see _spawn).
        self._watch = subprocess.Popen(
            ["sh", "-c", 'trap "" INT TERM HUP; while kill -0 "$1" 2>/dev/null; do sleep 0.5; '
                         'done; sleep 1; rm -rf -- "$0"', self._runtime_dir, str(os.getpid())],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)

    def close(self):
        """Ends every process this object started, the simulator first, and removes its
        runtime folder; safe to call twice. Leaving the with block calls it."""
        self._app = self._window = None
        self._controls.clear()
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
        if self._watch is not None:
            self._watch.kill()
            self._watch.wait()
            self._watch = None
        if self._old_sigterm is not None:
            signal.signal(signal.SIGTERM, self._old_sigterm)
            self._old_sigterm = None

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
        # The cookie lives in the private runtime folder: another account cannot open it.
        auth = os.path.join(self._runtime_dir, "Xauthority")
        _xauthority(auth)
        self._set_env("XAUTHORITY", auth)
        read_fd, write_fd = os.pipe()
        # -noreset: an X server resets, and reads its cookies anew, whenever its last client
        # leaves, which the buses' clients may do before the simulator has connected.
        proc = self._spawn("Xvfb", [xvfb, "-displayfd", str(write_fd), "-auth", auth, "-noreset",
                                    "-nolisten", "tcp", "-nolisten", "unix",
                                    "-screen", "0", "1280x1024x24"], pass_fds=(write_fd,))
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
                self._do(ok, "Press", f"press OK on {self.messages[-1]!r}")
                self._wait_until(lambda: not self._has(window, self._pyatspi.STATE_SHOWING),
                                 f"the message {self.messages[-1]!r} to close")

    # Finding and driving controls

    @contextlib.contextmanager
    def _acting(self, what):
        # Every failure on the way, the accessibility library's own included, becomes an
        # OperatorError that says what was being done.
        if self._app is None:
            raise OperatorError(f"cannot {what}: the simulator is not running (closed, or not "
                                f"started: use the Simulator inside its with block)")
        if self.process.poll() is not None:
            raise OperatorError(f"cannot {what}: the simulator has exited with status "
                                f"{self.process.returncode}")
        try:
            yield
        except OperatorError:
            raise
        except Exception as error:
            if self.process.poll() is not None:
                raise OperatorError(f"cannot {what}: the simulator exited with status "
                                    f"{self.process.returncode}" + self._stderr(self.process)) \
                    from None
            raise OperatorError(f"cannot {what}: {type(error).__name__}: {error}") from None

    def control(self, name):
        """The accessible object of the control with this accessible name. Labels are found by
        their accessible description ("Status", "Host IP Address")."""
        with self._acting(f"find the control {name!r}"):
            if name not in self._controls:
                self._controls.clear()
                for acc in self._pyatspi.findAllDescendants(self._app, lambda a: True):
                    label = acc.getRole() == self._pyatspi.ROLE_LABEL
                    key = acc.description if label else acc.name
                    # An editable combo box is named after its text; its line edit holds the
                    # name.
                    if key and acc.getRole() != self._pyatspi.ROLE_COMBO_BOX:
                        self._controls.setdefault(key, acc)
            if name not in self._controls:
                lower = {key.lower(): key for key in self._controls}
                near = difflib.get_close_matches(name.lower(), lower, 3)
                hint = f" (did you mean {', '.join(repr(lower[n]) for n in near)}?)" \
                    if near else ""
                raise OperatorError(f"no control named {name!r} in the simulator's windows"
                                    f"{hint}")
            return self._controls[name]

    def _do(self, acc, action, what):
        actions = acc.queryAction() if "Action" in acc.get_interfaces() else None
        for i in range(actions.nActions if actions else 0):
            if actions.getName(i) == action:
                actions.doAction(i)
                return
        raise OperatorError(f"cannot {what}: it is a {acc.getRoleName()} and offers no "
                            f"{action!r} action")

    def _has(self, acc, state):
        return acc.getState().contains(state)

    def press(self, name):
        """Presses a button and returns once its click has been handled."""
        what = f"press {name!r}"
        with self._acting(what):
            acc = self.control(name)
            self._do(acc, "Press", what)
            # The press is an animated click: the button stays down ~100 ms, then clicks.
            self._wait_until(lambda: not self._has(acc, self._pyatspi.STATE_PRESSED),
                             f"{name!r} to come back up")

    def type_text(self, name, text):
        """Replaces the text of a field, as the operator typing it would."""
        what = f"type {text!r} into {name!r}"
        with self._acting(what):
            acc = self.control(name)
            if "EditableText" not in acc.get_interfaces() or \
                    not self._has(acc, self._pyatspi.STATE_EDITABLE):
                raise OperatorError(f"cannot {what}: it is a {acc.getRoleName()} that takes no "
                                    f"typing")
            acc.queryEditableText().setTextContents(text)

    def text(self, name):
        """The text of a field, or the text of a label."""
        with self._acting(f"read {name!r}"):
            acc = self.control(name)
            return acc.queryText().getText(0, -1) if "Text" in acc.get_interfaces() \
                else acc.name

    def set_checked(self, name, checked=True):
        """Ticks or clears a check box, or picks a radio button (checked=True)."""
        what = f"{'tick' if checked else 'clear'} {name!r}"
        with self._acting(what):
            acc = self.control(name)
            if self._has(acc, self._pyatspi.STATE_CHECKED) != checked:
                self._do(acc, "Toggle", what)
                self._wait_until(lambda: self._has(acc, self._pyatspi.STATE_CHECKED) == checked,
                                 f"{name!r} to become {'checked' if checked else 'unchecked'}")

    # One call per operator action

    def set_reading(self, bank, channel, text):
        """Types into a reading field: channel 1 to 16, or "Amb"."""
        if channel != "Amb" and channel not in range(1, 17):
            raise OperatorError(f"no channel {channel!r}: the channels are 1 to 16 and 'Amb'")
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
        what = f"pick {item!r} from '{_bank(bank)} Increment'"
        with self._acting(what):
            combo = self.control(f"{bank} Increment").parent
            items = next((a for a in combo if a.getRole() == self._pyatspi.ROLE_LIST), None)
            entry = next((a for a in items if a.name == item), None) if items else None
            if entry is None:
                raise OperatorError(f"cannot {what}: it has no such item")
            self._do(combo, "ShowMenu", what)
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
            raise OperatorError(f"no fault button {fault!r}: the faults are {FAULTS}")
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
            raise OperatorError(f"no unit {unit!r}: the units are {UNITS}")
        self.set_checked(unit)

    def status(self):
        return self.text("Status")

    def host_address(self):
        return self.text("Host IP Address")

    def _about(self):
        return next((w for w in self._app if w is not None and w.name.startswith("About")), None)

    def open_about(self):
        """Opens the About window and returns its lines. Nothing over the bus closes it again."""
        with self._acting("open About"):
            self._do(self.control("About"), "Press", "open About")
            self._wait_until(lambda: self._about() is not None, "the About window")
            return [a.name for a in self._pyatspi.findAllDescendants(
                self._about(), lambda a: a.getRole() == self._pyatspi.ROLE_LABEL)]

    def exit(self):
        """File > Exit. Returns the simulator's exit status once it has ended, or None when an
        open About window keeps it running after its main window has closed."""
        with self._acting("press File > Exit"):
            about = self._about() is not None
            self._do(self.control("Exit"), "Press", "press File > Exit")
        if about:
            self._wait_until(lambda: not self._has(self._window, self._pyatspi.STATE_SHOWING),
                             "the main window to close")
            return None
        try:
            return self.process.wait(self.timeout)
        except subprocess.TimeoutExpired:
            raise OperatorError(f"waited {self.timeout:g} s for the simulator to end after "
                                f"File > Exit") from None
