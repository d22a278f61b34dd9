"""End-to-end fixtures: the real Tavrin.exe under Wine, on an Xvfb display,
inside a private network namespace, with Win32 helper programs standing in
for the rest of the desktop (tools/tavrin_harness.py does the work).

Run through scripts/test.sh, or:
    scripts/in-netns.sh --veth /usr/bin/python3 -m pytest tests/e2e
The session refuses to start in the host's network namespace, because
Tavrin broadcasts UDP.

Environment:
  TAVRIN_WIN_BUILD   windows build folder (default build/e2e-win)
  TAVRIN_EXE         Tavrin.exe to test (default: found in the build folder)
  TAVRIN_WINEPREFIX  Wine prefix (default build/wineprefix)
  TAVRIN_E2E_LOGS    log folder (default build/e2e-logs)
"""

import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import quillo_sim  # noqa: E402
import tavrin_harness as harness  # noqa: E402

PREFIX = Path(os.environ.get("TAVRIN_WINEPREFIX", harness.BUILD / "wineprefix"))
LOGS = Path(os.environ.get("TAVRIN_E2E_LOGS", harness.BUILD / "e2e-logs"))
PORT = harness.PORT


def pytest_sessionstart(session):
    problem = harness.namespace_problem()
    if problem:
        pytest.exit("refusing to run the end-to-end tests: %s.\n"
                    "Run them in a private network namespace: scripts/in-netns.sh --veth "
                    "/usr/bin/python3 -m pytest tests/e2e" % problem, returncode=3)


# --------------------------------------------------------------------------
# Logs that a failing test shows.

_LOGS_KEY = pytest.StashKey[list]()


def attach_log(request, path):
    request.node.stash.setdefault(_LOGS_KEY, []).append(Path(path))


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
            if len(text) > 6000:
                text = "...\n" + text[-6000:]
            report.sections.append(("log %s" % path, text or "(empty)"))


def test_log_dir(request):
    name = request.node.name
    for bad in "/[]":
        name = name.replace(bad, "_")
    folder = LOGS / name
    folder.mkdir(parents=True, exist_ok=True)
    return folder


test_log_dir.__test__ = False


# --------------------------------------------------------------------------
# Session: one display, one prefix, one observer.

@pytest.fixture(scope="session")
def build():
    return harness.Build()


@pytest.fixture(scope="session")
def desktop(build):
    LOGS.mkdir(parents=True, exist_ok=True)
    xvfb, display = harness.start_xvfb(LOGS / "xvfb.log")
    desk = None
    try:
        desk = harness.WineDesktop(PREFIX, display, LOGS, launcher=build.launcher())
        desk.boot()
        yield desk
    except harness.HarnessError as error:
        pytest.fail(str(error))
    finally:
        if desk:
            desk.shutdown()
        harness.stop_process(xvfb)


@pytest.fixture(scope="session")
def session_observer(desktop, build):
    try:
        watcher = harness.Observer(desktop, build, LOGS / "observer.log")
    except harness.HarnessError as error:
        pytest.fail(str(error))
    yield watcher
    watcher.stop()


@pytest.fixture
def observer(session_observer, request):
    """What injected input the desktop sees from now on (ObserverView)."""
    attach_log(request, session_observer.path)
    return session_observer.view()


# --------------------------------------------------------------------------
# The program under test.

@pytest.fixture
def start_tavrin(desktop, build, request):
    """Factory: start_tavrin(*args, wait=True) starts one more Tavrin.exe."""
    started = []
    folder = test_log_dir(request)

    def start(*args, wait=True):
        log = folder / ("tavrin-%d.log" % (len(started) + 1))
        attach_log(request, log)
        try:
            instance = harness.Tavrin(desktop, build, log, args)
        except harness.HarnessError as error:
            pytest.fail(str(error))
        started.append(instance)
        if wait:
            instance.wait_serving()
        return instance

    yield start
    for instance in reversed(started):
        instance.stop()
    # Nothing of this test may outlive it and disturb the next one.
    harness.wait_until(lambda: not harness.port_accepts(), 10, "port %d to close" % PORT, interval=0.05)


@pytest.fixture
def tavrin(start_tavrin):
    """A running Tavrin.exe that serves port 1978."""
    return start_tavrin()


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
