"""Runs the real Tavrin.exe under Wine on an Xvfb display, with the Win32
helper programs that watch and poke it. Used by the end-to-end tests
(tests/e2e/conftest.py) and by scripts/run.sh. Standard library only.

Tavrin broadcasts UDP once a second: everything here expects to run in a
private network namespace (scripts/in-netns.sh); `namespace_problem()` says
why the current one is not.
"""

import os
import re
import shutil
import socket
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BUILD = ROOT / "build"
PORT = 1978
ALLOWED_INTERFACES = {"lo", "v0", "v1"}

WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_APP = 0x8000
EXIT_COMMAND = 105  # the tray menu's "E&xit"

# The sentinel key: F12, which nothing else sends.
SENTINEL = "F12"
SENTINEL_UP = "key 7b up"
SENTINEL_LINES = ("key 7b down", "key 7b up")
# The scan code in an observer's key line.
SCAN_CODE = re.compile(r"^(key [0-9a-f]{2} (?:down|up)) sc [0-9a-f]+")


def without_scan_code(line):
    return SCAN_CODE.sub(r"\1", line)


class HarnessError(Exception):
    pass


def wait_until(predicate, timeout, what, interval=0.01):
    """Polls `predicate` until it returns something true; returns that."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# --------------------------------------------------------------------------
# Safety.

def interfaces():
    # /proc/self/net follows the reader's namespace; /sys/class/net follows
    # the namespace of whoever mounted /sys.
    with open("/proc/self/net/dev") as table:
        return {line.split(":")[0].strip() for line in table.readlines()[2:]}


def namespace_problem():
    """Why this is not a private network namespace, or None when it is."""
    try:
        own = os.readlink("/proc/self/ns/net")
    except OSError as error:
        return "cannot read this process's network namespace: %s" % error
    proofs = 0
    host = os.environ.get("TAVRIN_HOST_NETNS")  # left by scripts/in-netns.sh
    if host:
        if host == own:
            return "this is the host's network namespace (%s)" % own
        proofs += 1
    try:
        init = os.readlink("/proc/1/ns/net")
    except OSError:
        init = None  # not readable without ptrace rights on process 1
    if init:
        if init == own:
            return "this is the network namespace of process 1 (%s)" % own
        proofs += 1
    if not proofs:
        return "cannot tell whether this network namespace is private"
    foreign = interfaces() - ALLOWED_INTERFACES
    if foreign:
        return "network interfaces that lead out are visible: %s" % ", ".join(sorted(foreign))
    return None


def port_accepts(port=PORT, host="127.0.0.1"):
    try:
        with socket.create_connection((host, port), timeout=0.2):
            return True
    except OSError:
        return False


# --------------------------------------------------------------------------
# Xvfb, the Wine prefix and its wineserver.

def start_xvfb(log):
    """Starts Xvfb on a free display; returns (process, ":N")."""
    if not shutil.which("Xvfb"):
        raise HarnessError("Xvfb is missing: run scripts/setup.sh")
    read_end, write_end = os.pipe()
    with open(log, "wb") as out:
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        process.kill()
        process.wait()
        raise HarnessError("Xvfb did not start; see %s" % log)
    return process, ":" + number.decode().strip()


def stop_process(process, timeout=10):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class WineDesktop:
    """A Wine prefix of the project's own on one X display.

    With a launcher (launch.exe), boot() also opens the Wine desktop "shell"
    (the only kind with a taskbar and notification area) and start() runs
    every program in it. Low-level hooks see only the input injected in their
    own desktop, so the observer, the program and postmsg all live there."""

    SHELL = "shell"

    def __init__(self, prefix, display, logs, launcher=None):
        if not shutil.which("wine"):
            raise HarnessError("wine is missing: run scripts/setup.sh")
        self.prefix = Path(prefix)
        self.logs = Path(logs)
        self.launcher = launcher
        self.shell = None
        self.env = dict(os.environ)
        self.env.update({
            "DISPLAY": display,
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": "win64",
            "WINEDEBUG": os.environ.get("TAVRIN_WINEDEBUG", "-all"),
            # No Mono or Gecko installer dialogs: nothing here needs them.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })
        self.env.pop("WAYLAND_DISPLAY", None)

    def wine(self, *args, log=None, cwd=None, env=None):
        """Starts `wine ARGS`; returns the Popen. Output is appended to `log`.
        The launcher execs the program, so the exit status is its exit code."""
        out = open(log, "ab") if log else subprocess.DEVNULL
        try:
            return subprocess.Popen(["wine", *map(str, args)], env=env or self.env, cwd=cwd,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        finally:
            if log:
                out.close()

    def start(self, program, *args, log=None, cwd=None, env=None, status=None):
        """Starts a Windows program (a Linux path) in the desktop; returns the
        Popen of the launcher, whose exit status is the program's exit code.
        `status` names a file that gets "started PID" and "exit CODE"."""
        if not self.launcher:
            return self.wine(program, *args, log=log, cwd=cwd, env=env)
        options = ["--desktop", self.SHELL]
        if status:
            options += ["--status", self.winpath(status)]
        return self.wine(self.launcher, *options, self.winpath(program), *args, log=log, cwd=cwd, env=env)

    def run_program(self, program, *args, log=None, timeout=30):
        """Runs a Windows program in the desktop to its end; returns its exit code."""
        return self._finish(self.start(program, *args, log=log), timeout, program)

    def run(self, *args, log=None, timeout=30, cwd=None):
        """Runs `wine ARGS` to its end; returns the exit code."""
        return self._finish(self.wine(*args, log=log, cwd=cwd), timeout, args[0])

    def _finish(self, process, timeout, what):
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise AssertionError("%s did not end within %d s" % (what, timeout))

    def winpath(self, path):
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")

    def wineserver_outside(self):
        """The pid of this prefix's wine server when it runs in another
        network namespace, else None. Wine's sockets are made by its server:
        a server started outside the private namespace (a wineboot run by
        hand a moment before) would open the program's ports and send its
        broadcasts on the real network, whatever namespace the program is
        started in."""
        own = os.readlink("/proc/self/ns/net")
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    if not f.read().split(b"\0")[0].endswith(b"wineserver"):
                        continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environ = f.read().split(b"\0")
                if ("WINEPREFIX=%s" % self.prefix).encode() not in environ:
                    continue
                if os.readlink("/proc/%s/ns/net" % entry) != own:
                    return int(entry)
            except OSError:
                continue
        return None

    def boot(self):
        """Creates or updates the prefix and makes crashes end the process."""
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        outside = self.wineserver_outside()
        if outside:
            raise HarnessError("the wine server of %s (pid %d) runs outside this network namespace: wait for it to "
                               "end (or stop it there with WINEPREFIX=%s wineserver -k) and start again"
                               % (self.prefix, outside, self.prefix))
        log = self.logs / "wineboot.log"
        code = self.run("wineboot", "-i", log=log, timeout=180)
        if code != 0:
            raise HarnessError("wineboot -i failed with %d; see %s" % (code, log))
        # A crash must end the program, not start Wine's debugger and wait.
        aedebug = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"
        self.run("reg", "delete", aedebug, "/v", "Debugger", "/f", log=log)
        self.run("reg", "add", aedebug, "/v", "Auto", "/t", "REG_SZ", "/d", "0", "/f", log=log)
        # TAVRIN_DPI=144: the display's scale as Windows would set it at
        # 150 %, for screenshots of how the program looks there.
        dpi = os.environ.get("TAVRIN_DPI")
        if dpi:
            self.run("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", dpi,
                     "/f", log=log)
        if self.launcher:
            # Stays until wineserver -k; launch.exe waits for its taskbar.
            self.shell = self.wine("explorer", "/desktop=%s,1024x768" % self.SHELL, log=self.logs / "explorer.log")

    def reg_query(self, key, value):
        """The (type, data) of a registry value as `wine reg query` shows it,
        or None when the value does not exist."""
        result = subprocess.run(["wine", "reg", "query", key, "/v", value], env=self.env,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        if result.returncode != 0:
            return None
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == value.lower() and parts[1].startswith("REG_"):
                return parts[1], parts[2] if len(parts) > 2 else ""
        return None

    def reg_delete(self, key, value):
        self.run("reg", "delete", key, "/v", value, "/f", log=self.logs / "reg.log")

    def drive_c(self):
        return self.prefix / "drive_c"

    def taskkill(self, pid):
        return self.run("taskkill", "/f", "/pid", str(pid), log=self.logs / "taskkill.log")

    def wait_or_kill(self, process, windows_pid, timeout):
        """Waits for a program asked to end; past the timeout ends it by its
        Windows process id (a callable, read only then), then by the Linux one.
        Returns its exit status, or None when it had to be killed."""
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            pid = windows_pid()
            if pid:
                self.taskkill(pid)
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            return None

    def shutdown(self):
        """Ends every process of this prefix (and only of this prefix)."""
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)


def started_pid(status):
    """The Windows process id that launch.exe wrote to a status file, or None
    before the program has started."""
    try:
        for line in Path(status).read_text().splitlines():
            if line.startswith("started "):
                return int(line.split()[1])
    except FileNotFoundError:
        pass
    return None


# --------------------------------------------------------------------------
# Built programs.

class Build:
    """Where the windows build put Tavrin.exe, Extension.dll and the helpers."""

    def __init__(self, folder=None):
        self.folder = Path(folder or os.environ.get("TAVRIN_WIN_BUILD", BUILD / "e2e-win"))
        self.helpers = self.folder / "e2e"

    def _products(self, name):
        return sorted(p for p in self.folder.glob("**/" + name) if "CMakeFiles" not in p.parts)

    def tavrin(self):
        if os.environ.get("TAVRIN_EXE"):
            return Path(os.environ["TAVRIN_EXE"])
        found = self._products("Tavrin.exe")
        return found[0] if found else None

    def extension_dirs(self):
        return sorted({p.parent for p in self._products("Extension.dll")})

    def launcher(self):
        return self.helper("launch.exe")

    def helper(self, name):
        path = self.helpers / name
        if not path.exists():
            raise HarnessError("%s is not built: cmake --preset windows -B %s && cmake --build %s"
                               % (path, self.folder, self.folder))
        return path


class Tavrin:
    """One Tavrin.exe, started through the wine launcher."""

    def __init__(self, desktop, build, log, args=(), exe=None):
        self.desktop = desktop
        self.build = build
        self.log = Path(log)
        self.exe = Path(exe or build.tavrin() or "")
        if not self.exe.is_file():
            raise HarnessError("Tavrin.exe not found under %s (build the windows preset or set TAVRIN_EXE)"
                               % build.folder)
        env = dict(desktop.env)
        dll_dirs = build.extension_dirs()
        if dll_dirs:  # Extension.dll is found in the program's folder or on WINEPATH
            env["WINEPATH"] = ";".join(desktop.winpath(d) for d in dll_dirs)
        self.status = self.log.with_suffix(".status")
        if self.status.exists():
            self.status.unlink()
        self.process = desktop.start(self.exe, *args, log=self.log, cwd=str(self.exe.parent), env=env,
                                     status=self.status)

    def pid(self):
        """The Windows process id, once the program has started."""
        return started_pid(self.status)

    def wait_serving(self, timeout=30):
        def ready():
            if self.process.poll() is not None:
                raise AssertionError("Tavrin.exe ended with %s before serving; see %s"
                                     % (self.process.returncode, self.log))
            return port_accepts()
        wait_until(ready, timeout, "port %d to accept" % PORT, interval=0.05)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("Tavrin.exe still running after %.1f s" % timeout)

    def post(self, message, wparam=0, lparam=0):
        """Posts a message to the main window (class TAVRIN) with postmsg.exe."""
        return self.desktop.run_program(self.build.helper("postmsg.exe"), message, wparam, lparam, log=self.log)

    def stop(self, timeout=10):
        """Asks the program to exit as the tray menu does; kills it if it won't."""
        if not self.running():
            return self.process.returncode
        self.post(WM_COMMAND, EXIT_COMMAND, 0)
        return self.desktop.wait_or_kill(self.process, self.pid, timeout)


# --------------------------------------------------------------------------
# The observer.

class Observer:
    """observer.exe, writing one line per injected event to its log."""

    def __init__(self, desktop, build, log):
        self.desktop = desktop
        self.build = build
        self.path = Path(log)
        self.centred_at = 0
        if self.path.exists():
            self.path.unlink()
        self.process = desktop.start(build.helper("observer.exe"), desktop.winpath(self.path),
                                     log=self.path.with_suffix(".wine.log"))
        wait_until(lambda: self.all_lines()[:1] == ["ready"] or self.process.poll() is not None,
                   30, "the observer's hooks")
        if self.process.poll() is not None:
            raise HarnessError("observer.exe ended with %s; lines: %s" % (self.process.returncode, self.all_lines()))

    def all_lines(self, scan_codes=False):
        """The log's lines; key lines without their scan code unless asked
        for, since it depends on the keyboard layout ("key 26 down sc 48 ext"
        reads "key 26 down ext")."""
        try:
            lines = self.path.read_text(errors="replace").splitlines()
        except FileNotFoundError:
            return []
        return lines if scan_codes else [without_scan_code(line) for line in lines]

    def view(self):
        """A view from now on; puts the cursor back in the middle first when
        the moves so far took it near an edge of the 1024x768 screen."""
        lines = self.all_lines()
        x = y = 0
        for line in lines[self.centred_at:]:
            if line.startswith("move "):
                dx, dy = line.split()[1:3]
                x, y = x + int(dx), y + int(dy)
        if abs(x) > 400 or abs(y) > 280:
            self.centre()
        return ObserverView(self)

    def centre(self):
        """Puts the cursor in the middle of the screen (moves near an edge are
        clipped by the system, and the deltas seen by the hook with them)."""
        self.desktop.run_program(self.build.helper("postmsg.exe"), "--send", "--class", "TavrinObserver",
                                 WM_APP + 1, 0, 0)
        self.centred_at = len(self.all_lines())

    def stop(self):
        if self.process.poll() is None:
            self.desktop.run_program(self.build.helper("postmsg.exe"), "--class", "TavrinObserver", WM_CLOSE, 0, 0)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class ObserverView:
    """The observer's lines from the moment the view was made."""

    def __init__(self, observer):
        self.observer = observer
        self.start = len(observer.all_lines())

    def lines(self, scan_codes=False):
        return self.observer.all_lines(scan_codes)[self.start:]

    def events(self, scan_codes=False):
        """Everything seen since the view began, sentinels left out."""
        return [line for line in self.lines(scan_codes) if without_scan_code(line) not in SENTINEL_LINES]

    def wait_for(self, predicate, timeout=10, what="observer lines"):
        return wait_until(lambda: predicate(self.lines()), timeout, what)

    def wait_count(self, line, count, timeout=10):
        return self.wait_for(lambda lines: lines.count(line) >= count, timeout,
                             "%d x %r in the observer log" % (count, line))

    def sync(self, phone, rounds=2):
        """Sends the sentinel key `rounds` times, each in its own write after
        the previous one was seen. The program handles a connection's messages
        in order and SendInput returns once the hooks have seen the event, so
        every event caused by bytes sent earlier on this connection is logged
        once the sentinel is. The second round covers the wheel, which is
        flushed at the end of each receive: the second sentinel's receive
        starts after that flush."""
        seen = self.lines().count(SENTINEL_UP)
        for _ in range(rounds):
            phone.key(SENTINEL)
            seen += 1
            self.wait_count(SENTINEL_UP, seen)
