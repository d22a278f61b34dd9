"""An X11 desktop of its own for tavrin, the Linux build, and the X client
that records what reaches it: Xvfb with openbox, private D-Bus session and
system buses with stand-ins for the notification daemon and logind (never
the machine's own: a real logind powers off), and HOME and the XDG folders
in a scratch folder. Used by the Linux end-to-end tests
(tests/e2e-linux/conftest.py) and by `scripts/run.sh --linux`; both run it
in a private network namespace with a /tmp/.X11-unix of its own
(scripts/in-netns.sh --own-x-sockets).
"""

import json
import os
import signal
import subprocess
import threading
import time
from pathlib import Path

import dbus
from Xlib import X, display

import tavrin_harness as harness

ROOT = Path(__file__).resolve().parents[1]
HELPERS = ROOT / "tests" / "e2e-linux" / "helpers"
PYTHON = "/usr/bin/python3"
BUILD_ROOT = Path(os.environ.get("TAVRIN_BUILD_ROOT", ROOT / "build"))
BUILD = Path(os.environ.get("TAVRIN_LINUX_BUILD", BUILD_ROOT / "native"))
SENTINEL_KEYSYM = 0xFFC9  # F12
MOCK_INTERFACE = "org.freedesktop.DBus.Mock"


def session_problem():
    """Why tavrin must not start here, or None."""
    problem = harness.namespace_problem()
    # X clients that connect through the socket file would reach another
    # namespace's X server of the same display number.
    if not problem and os.stat("/tmp/.X11-unix").st_dev == os.stat("/tmp").st_dev:
        problem = "/tmp/.X11-unix is shared with the machine (mount a tmpfs there in a mount namespace)"
    return problem


def calls(mock, method):
    """The arguments of each call of `method` a D-Bus stand-in received."""
    return [list(arguments) for _, name, arguments in mock.GetCalls(dbus_interface=MOCK_INTERFACE)
            if name == method]


BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>{kind}</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
"""


class Desktop:
    """Xvfb, openbox, two private buses with their stand-ins; the
    environment every program of the session gets."""

    def __init__(self, folder):
        self.folder = folder
        self.processes = []
        home = folder / "home"
        # xdg-open stands in for the desktop's opener: it notes what it was
        # asked to open.
        tools = folder / "bin"
        tools.mkdir()
        self.opened = folder / "opened"
        opener = tools / "xdg-open"
        opener.write_text("#!/bin/sh\nprintf '%%s\\n' \"$@\" >> %s\n" % self.opened)
        opener.chmod(0o755)
        self.env = {
            "PATH": "%s:%s" % (tools, os.environ.get("PATH", "/usr/bin:/bin")),
            "HOME": str(home),
            "XDG_CONFIG_HOME": str(home / ".config"),
            "XDG_STATE_HOME": str(home / ".local" / "state"),
            "XDG_RUNTIME_DIR": str(folder / "runtime"),
            "LANG": "C.UTF-8",
        }
        # A sanitizer build of tavrin reads its options from here.
        self.env.update({k: v for k, v in os.environ.items() if k in ("ASAN_OPTIONS", "UBSAN_OPTIONS")})
        for key in ("XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"):
            Path(self.env[key]).mkdir(parents=True, exist_ok=True, mode=0o700)
        xvfb, self.display = harness.start_xvfb(folder / "xvfb.log")
        self.processes.append(xvfb)
        self.env["DISPLAY"] = self.display
        for kind, variable in (("session", "DBUS_SESSION_BUS_ADDRESS"), ("system", "DBUS_SYSTEM_BUS_ADDRESS")):
            self.env[variable] = self.start_bus(kind)
        self.start("openbox", ["openbox", "--sm-disable", "--config-file", str(HELPERS / "openbox-rc.xml")])
        self.start("logind", [PYTHON, "-m", "dbusmock", "--system", "--template", "logind"])
        self.system_bus = dbus.bus.BusConnection(self.env["DBUS_SYSTEM_BUS_ADDRESS"])
        self.session_bus = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])
        self.start_notifications()
        harness.wait_until(lambda: self.system_bus.name_has_owner("org.freedesktop.login1"), 30,
                           "org.freedesktop.login1 on its private bus")
        # The session the programs run in, as logind's stand-in knows it.
        self.logind = self.system_bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        self.logind.AddSession("t1", "seat0", dbus.UInt32(os.getuid()), "tester", True,
                               dbus_interface=MOCK_INTERFACE)
        self.env["XDG_SESSION_ID"] = "t1"
        self.session = self.system_bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1/session/t1")
        # Windows mapped before the window manager runs are never framed.
        x = display.Display(self.display)
        wm_check = x.intern_atom("_NET_SUPPORTING_WM_CHECK")
        harness.wait_until(lambda: x.screen().root.get_full_property(wm_check, X.AnyPropertyType), 30,
                           "openbox to manage the screen")
        x.close()
        for process in self.processes:
            if process.poll() is not None:
                raise harness.HarnessError("%s ended at start; see %s" % (process.args[0], folder))

    def start_stand_in(self, name, template, bus_name, path):
        """Starts a stand-in on the session bus from a dbusmock template;
        returns its process and its main object once it owns its name."""
        process = self.start(name, [PYTHON, "-m", "dbusmock", "--template", template])
        harness.wait_until(lambda: self.session_bus.name_has_owner(bus_name) or process.poll() is not None, 30,
                           "%s on its private bus" % bus_name)
        if process.poll() is not None:
            raise harness.HarnessError("the stand-in for %s ended at start; see %s" % (bus_name, self.folder))
        return process, self.session_bus.get_object(bus_name, path)

    def start_notifications(self):
        """Starts the notification daemon's stand-in (again)."""
        self.notifications_process, self.notifications = self.start_stand_in(
            "notifications", "notification_daemon", "org.freedesktop.Notifications", "/org/freedesktop/Notifications")

    def start_tray_watcher(self):
        """A tray host's StatusNotifierWatcher; returns its process and object."""
        return self.start_stand_in("tray-watcher", str(HELPERS / "status_notifier_watcher.py"),
                                   "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")

    def start_bus(self, kind):
        config = self.folder / ("%s-bus.conf" % kind)
        socket_path = self.folder / ("%s-bus.socket" % kind)
        config.write_text(BUS_CONFIG.format(kind=kind, socket=socket_path))
        process = self.start("%s-bus" % kind, ["dbus-daemon", "--nofork", "--config-file=%s" % config,
                                               "--print-address=1"], stdout=subprocess.PIPE)
        address = process.stdout.readline().decode().strip()
        if not address.startswith("unix:path=" + str(socket_path)):
            raise harness.HarnessError("the private %s bus did not start (%r)" % (kind, address))
        return address

    def start(self, name, argv, stdout=None, env=None, bufsize=-1):
        log = open(self.folder / ("%s.log" % name), "ab")
        process = subprocess.Popen(argv, env=env or self.env, stdin=subprocess.DEVNULL, bufsize=bufsize,
                                   stdout=stdout or log, stderr=log)
        self.processes.append(process)
        return process

    def opened_links(self):
        """What xdg-open was asked to open so far, one a line."""
        return self.opened.read_text().splitlines() if self.opened.exists() else []

    @property
    def tavrin_log(self):
        return Path(self.env["XDG_STATE_HOME"]) / "tavrin" / "tavrin.log"

    def run(self, argv, **kwargs):
        return subprocess.run(argv, env=self.env, check=True, capture_output=True, **kwargs)

    def keymap(self):
        output = self.run([PYTHON, str(HELPERS / "x_keymap.py")]).stdout
        return json.loads(output)

    def stop(self):
        for process in reversed(self.processes):
            harness.stop_process(process)


class Recorder:
    """The recording X client, read on a thread of its own."""

    def __init__(self, desktop):
        self.records = []
        self.lock = threading.Lock()
        self.process = desktop.start("recorder", [PYTHON, "-u", str(HELPERS / "x_recorder.py")],
                                     stdout=subprocess.PIPE)
        threading.Thread(target=self.read, daemon=True).start()
        harness.wait_until(lambda: self.find(lambda r: r["event"] == "ready"), 30, "the X recorder")

    def read(self):
        for line in self.process.stdout:
            with self.lock:
                self.records.append(json.loads(line))

    def find(self, predicate, start=0):
        with self.lock:
            for index in range(start, len(self.records)):
                if predicate(self.records[index]):
                    return index + 1
        return 0

    def mark(self):
        with self.lock:
            return len(self.records)

    def since(self, mark, phone, timeout=30, pointer=False):
        """Everything recorded after `mark` until the phone's sentinel, which
        it sends now: tavrin handles one connection's messages in order, and
        the X server one client's requests, so all that the phone sent before
        is recorded before the sentinel. The sentinel of keys is the F12 key.
        A window manager may hold pointer events back (it takes a button
        press first, then lets the window have it) while keys go on, so the
        sentinel of pointer events is a move there and back."""
        if pointer:
            # The wheel is flushed once per receive: the sentinel must come
            # in a receive of its own, after the wheel's.
            time.sleep(0.1)
            phone.mos("m 1 0")
            phone.mos("m -1 0")

            def back(record, before):
                return (record["event"] == "motion" and before["event"] == "motion"
                        and (record["x"], record["y"]) == (before["x"] - 1, before["y"]))

            def sentinel():
                with self.lock:
                    for index in range(mark + 1, len(self.records)):
                        if back(self.records[index], self.records[index - 1]):
                            return index - 1
                return 0

            end = harness.wait_until(sentinel, timeout, "the pointer's sentinel")
            with self.lock:
                return self.records[mark:end]
        phone.key("F12")
        end = harness.wait_until(
            lambda: self.find(lambda r: r["event"] == "key" and not r["down"] and r["keysym"] == SENTINEL_KEYSYM,
                              mark), timeout, "the sentinel key")
        with self.lock:
            records = self.records[mark:end]
        return [r for r in records if not (r["event"] == "key" and r["keysym"] == SENTINEL_KEYSYM)]


class Tavrin:
    def __init__(self, desktop, name, env=None, args=()):
        self.desktop = desktop
        self.program = BUILD / "tavrin"
        if not self.program.exists():
            raise harness.HarnessError("no %s: build the native preset first" % self.program)
        self.process = desktop.start(name, [str(self.program), *args], env=env)
        harness.wait_until(lambda: harness.port_accepts() or self.process.poll() is not None, 30, "tavrin's port")
        if self.process.poll() is not None:
            raise harness.HarnessError("tavrin ended at start with %s" % self.process.returncode)

    @property
    def log(self):
        return self.desktop.tavrin_log

    def stop(self):
        """Ends tavrin as a session's end would; returns its exit code."""
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(timeout=10)
