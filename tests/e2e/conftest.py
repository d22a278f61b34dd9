"""End-to-end fixtures: the real Tavrin.exe under Wine, on an Xvfb display,
inside a private network namespace, with Win32 helper programs standing in
for the rest of the desktop.

Run through scripts/test.sh or scripts/in-netns.sh; the session refuses to
start in the host's network namespace, because Tavrin broadcasts UDP.

Environment:
  TAVRIN_WIN_BUILD   windows build folder (default build/e2e-win)
  TAVRIN_EXE         Tavrin.exe to test (default: found in the build folder)
  TAVRIN_WINEPREFIX  Wine prefix (default build/wineprefix)
  TAVRIN_E2E_LOGS    log folder (default build/e2e-logs)
"""

import os
import shutil
import socket
import subprocess
import sys
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import quillo_sim  # noqa: E402

BUILD = ROOT / "build"
WIN_BUILD = Path(os.environ.get("TAVRIN_WIN_BUILD", BUILD / "e2e-win"))
HELPERS = WIN_BUILD / "e2e"
PREFIX = Path(os.environ.get("TAVRIN_WINEPREFIX", BUILD / "wineprefix"))
LOGS = Path(os.environ.get("TAVRIN_E2E_LOGS", BUILD / "e2e-logs"))
PORT = 1978
ALLOWED_INTERFACES = {"lo", "v0", "v1"}

# The sentinel key: F12, which no test uses otherwise.
SENTINEL = "F12"
SENTINEL_UP = "key 7b up"
SENTINEL_LINES = ("key 7b down", "key 7b up")


# --------------------------------------------------------------------------
# Safety: never in the host's network namespace.

def _interfaces():
    # /proc/self/net follows the reader's namespace; /sys/class/net follows
    # the namespace of whoever mounted /sys.
    with open("/proc/self/net/dev") as table:
        return {line.split(":")[0].strip() for line in table.readlines()[2:]}


def _namespace_problem():
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
    foreign = _interfaces() - ALLOWED_INTERFACES
    if foreign:
        return "network interfaces that lead out are visible: %s" % ", ".join(sorted(foreign))
    return None


def pytest_sessionstart(session):
    problem = _namespace_problem()
    if problem:
        pytest.exit("refusing to run the end-to-end tests: %s.\n"
                    "Run them in a private network namespace: scripts/in-netns.sh --veth "
                    "/usr/bin/python3 -m pytest tests/e2e" % problem, returncode=3)


# --------------------------------------------------------------------------
# Logs that a failing test shows.

def _attach_log(request, path):
    request.node.stash.setdefault(_LOGS_KEY, []).append(Path(path))


_LOGS_KEY = pytest.StashKey[list]()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.failed:
        for path in item.stash.get(_LOGS_KEY, []):
            try:
                text = path.read_text(errors="replace")
            except OSError as error:
                text = "(cannot read: %s)" % error
            if len(text) > 8000:
                text = "...\n" + text[-8000:]
            report.sections.append(("log %s" % path.name, text or "(empty)"))


def _test_log_dir(request):
    folder = LOGS / request.node.name.replace("/", "_").replace("[", "-").replace("]", "")
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def wait_until(predicate, timeout, what, interval=0.01):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# --------------------------------------------------------------------------
# The desktop: Xvfb, the Wine prefix and its wineserver.

class Desktop:
    def __init__(self, env):
        self.env = env

    def wine(self, *args, log=None, cwd=None, **kwargs):
        """Starts `wine ARGS` and returns the Popen; output goes to `log`."""
        out = open(log, "ab") if log else subprocess.DEVNULL
        try:
            return subprocess.Popen(["wine", *map(str, args)], env=self.env, cwd=cwd,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, **kwargs)
        finally:
            if log:
                out.close()

    def run(self, *args, log=None, timeout=30, cwd=None):
        """Runs `wine ARGS` to its end; returns the exit code."""
        process = self.wine(*args, log=log, cwd=cwd)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise AssertionError("wine %s did not end within %d s" % (" ".join(map(str, args)), timeout))

    def reg(self, *args, log=None):
        return self.run("reg", *args, log=log)

    def winpath(self, path):
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def _start_xvfb(log):
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
        raise RuntimeError("Xvfb did not start; see %s" % log)
    return process, ":" + number.decode().strip()


@pytest.fixture(scope="session")
def desktop():
    if not shutil.which("wine") or not shutil.which("Xvfb"):
        pytest.fail("wine or Xvfb missing: run scripts/setup.sh")
    LOGS.mkdir(parents=True, exist_ok=True)
    PREFIX.parent.mkdir(parents=True, exist_ok=True)
    xvfb, display = _start_xvfb(LOGS / "xvfb.log")
    env = dict(os.environ)
    env.update({
        "DISPLAY": display,
        "WINEPREFIX": str(PREFIX),
        "WINEARCH": "win64",
        "WINEDEBUG": "-all",
        # No Mono or Gecko installer dialogs: nothing here needs them.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
    })
    env.pop("WAYLAND_DISPLAY", None)
    desk = Desktop(env)
    try:
        start = time.monotonic()
        code = desk.run("wineboot", "-i", log=LOGS / "wineboot.log", timeout=180)
        if code != 0:
            pytest.fail("wineboot -i failed with %d; see %s" % (code, LOGS / "wineboot.log"))
        # A crash must end the test, not start Wine's debugger and wait for it.
        desk.reg("delete", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
                 "/v", "Debugger", "/f", log=LOGS / "wineboot.log")
        desk.reg("add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
                 "/v", "Auto", "/t", "REG_SZ", "/d", "0", "/f", log=LOGS / "wineboot.log")
        desk.boot_seconds = time.monotonic() - start
        yield desk
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        subprocess.run(["wineserver", "-w"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        xvfb.terminate()
        try:
            xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()


# --------------------------------------------------------------------------
# The program under test.

def _find_tavrin():
    if os.environ.get("TAVRIN_EXE"):
        return Path(os.environ["TAVRIN_EXE"])
    for candidate in (WIN_BUILD / "Tavrin.exe", WIN_BUILD / "app" / "Tavrin.exe"):
        if candidate.exists():
            return candidate
    found = sorted(p for p in WIN_BUILD.glob("**/Tavrin.exe") if "CMakeFiles" not in p.parts)
    return found[0] if found else None


def _helper(name):
    path = HELPERS / name
    if not path.exists():
        pytest.fail("%s is not built: cmake --preset windows -B %s && cmake --build %s"
                    % (path, WIN_BUILD, WIN_BUILD))
    return path


def port_accepts(port=PORT, host="127.0.0.1"):
    try:
        with socket.create_connection((host, port), timeout=0.2):
            return True
    except OSError:
        return False


class Tavrin:
    """One running Tavrin.exe, started through the wine launcher, whose exit
    status is the program's exit code."""

    def __init__(self, desktop, exe, log, args=()):
        self.desktop = desktop
        self.exe = exe
        self.log = log
        # Extension.dll is loaded from the program's folder or from WINEPATH.
        dll_dirs = sorted({p.parent for p in WIN_BUILD.glob("**/Extension.dll") if "CMakeFiles" not in p.parts})
        env = dict(desktop.env)
        if dll_dirs:
            env["WINEPATH"] = ";".join(desktop.winpath(d) for d in dll_dirs)
        out = open(log, "ab")
        self.process = subprocess.Popen(["wine", str(exe), *args], env=env, cwd=str(exe.parent),
                                        stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        out.close()

    def wait_serving(self, timeout=30):
        def ready():
            if self.process.poll() is not None:
                raise AssertionError("Tavrin.exe ended with %s before serving" % self.process.returncode)
            return port_accepts()
        wait_until(ready, timeout, "port %d to accept" % PORT, interval=0.05)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("Tavrin.exe still running after %.1f s" % timeout)

    def post(self, message, wparam=0, lparam=0, log=None):
        """Posts a message to the main window (class TAVRIN) through postmsg.exe."""
        return self.desktop.run(_helper("postmsg.exe"), message, wparam, lparam, log=log or self.log)

    def stop(self):
        if not self.running():
            return
        self.post(0x0111, 105, 0)  # WM_COMMAND with the tray menu's exit command
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def tavrin_exe():
    exe = _find_tavrin()
    if exe is None or not exe.exists():
        pytest.fail("Tavrin.exe not found under %s (set TAVRIN_EXE or build the windows preset)" % WIN_BUILD)
    return exe


@pytest.fixture
def start_tavrin(desktop, tavrin_exe, request):
    """Factory: start_tavrin(*args, wait=True) starts one more Tavrin.exe."""
    started = []
    folder = _test_log_dir(request)

    def start(*args, wait=True):
        log = folder / ("tavrin-%d.log" % (len(started) + 1))
        _attach_log(request, log)
        instance = Tavrin(desktop, tavrin_exe, log, args)
        started.append(instance)
        if wait:
            instance.wait_serving()
        return instance

    yield start
    for instance in reversed(started):
        instance.stop()
    # Nothing of ours may outlive the test and disturb the next one.
    wait_until(lambda: not port_accepts(), 10, "port %d to close" % PORT, interval=0.05)


@pytest.fixture
def tavrin(start_tavrin):
    """A running Tavrin.exe that serves port 1978."""
    return start_tavrin()


# --------------------------------------------------------------------------
# The observer: what injected input the desktop sees.

class ObserverLog:
    def __init__(self, path):
        self.path = path

    def all_lines(self):
        try:
            return self.path.read_text(errors="replace").splitlines()
        except FileNotFoundError:
            return []


class ObserverView:
    """The observer's lines from the moment the view was made."""

    def __init__(self, log):
        self.log = log
        self.start = len(log.all_lines())

    def lines(self):
        return self.log.all_lines()[self.start:]

    def events(self):
        """Everything seen since the view began, sentinels left out."""
        return [line for line in self.lines() if line not in SENTINEL_LINES]

    def wait_for(self, predicate, timeout=10, what="observer lines"):
        return wait_until(lambda: predicate(self.lines()), timeout, what)

    def wait_count(self, line, count, timeout=10):
        self.wait_for(lambda lines: lines.count(line) >= count, timeout,
                      "%d x %r in the observer log (have: %s)" % (count, line, self.lines()[-12:]))

    def sync(self, phone, rounds=2):
        """Sends the sentinel key `rounds` times, each in its own write after the
        previous one was seen. The program handles a connection's messages in
        order and SendInput returns once the hooks have seen the event, so every
        event caused by bytes sent earlier on this connection is logged once the
        sentinel is. Two rounds also cover the wheel, which is flushed at the end
        of each receive: the second sentinel's receive starts after that flush."""
        seen = self.lines().count(SENTINEL_UP)
        for _ in range(rounds):
            phone.key(SENTINEL)
            seen += 1
            self.wait_count(SENTINEL_UP, seen)


@pytest.fixture(scope="session")
def observer_log(desktop):
    log = LOGS / "observer.log"
    if log.exists():
        log.unlink()
    process = desktop.wine(_helper("observer.exe"), desktop.winpath(log), log=LOGS / "observer-wine.log")
    try:
        observed = ObserverLog(log)
        wait_until(lambda: observed.all_lines()[:1] == ["ready"] or process.poll() is not None,
                   30, "the observer's hooks")
        if process.poll() is not None:
            pytest.fail("observer.exe ended with %s; lines: %s" % (process.returncode, observed.all_lines()))
        yield observed
    finally:
        if process.poll() is None:
            desktop.run(_helper("postmsg.exe"), "--class", "TavrinObserver", 0x0010, 0, 0)
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


@pytest.fixture
def observer(observer_log, request):
    _attach_log(request, observer_log.path)
    return ObserverView(observer_log)


# --------------------------------------------------------------------------
# Phones.

@pytest.fixture
def phones():
    """Factory: phones() opens one more phone connection to 127.0.0.1:1978."""
    opened = []

    def connect(host="127.0.0.1", port=PORT):
        phone = quillo_sim.Phone(host, port)
        opened.append(phone)
        return phone

    yield connect
    for phone in opened:
        phone.close()


@pytest.fixture
def phone(tavrin, phones):
    """A phone connected to a running Tavrin, greeting already read."""
    connected = phones()
    connected.greeting = connected.read_greeting(idle=0.05)
    return connected
