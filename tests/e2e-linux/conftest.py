"""Fixtures of tavrin's end-to-end tests: the desktop of its own that
tools/linux_desktop.py makes (Xvfb with openbox, private D-Bus buses with
stand-ins, an X client recording what arrives), inside a private network
namespace (it broadcasts UDP). Run through `scripts/test.sh linux`
(TAVRIN_LINUX_BUILD: the folder with tavrin).
"""

import os
import sys
import tempfile
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(ROOT / "tools"))
import quillo_sim  # noqa: E402
import tavrin_harness as harness  # noqa: E402
from linux_desktop import (BUILD, BUILD_ROOT, MOCK_INTERFACE, PYTHON, Desktop, Recorder, Tavrin,  # noqa: E402,F401
                           calls, session_problem)

LOGS = Path(os.environ.get("TAVRIN_E2E_LOGS", BUILD_ROOT / "e2e-logs")) / "linux"


def pytest_sessionstart(session):
    problem = session_problem()
    if problem:
        pytest.exit("refusing to run the Linux end-to-end tests: %s.\n"
                    "Run them in a private network namespace: scripts/in-netns.sh --veth --own-x-sockets -- "
                    "/usr/bin/python3 -m pytest tests/e2e-linux" % problem, returncode=3)


@pytest.fixture(scope="session")
def desktop():
    LOGS.mkdir(parents=True, exist_ok=True)
    folder = Path(tempfile.mkdtemp(prefix="session-", dir=LOGS))
    session = Desktop(folder)
    yield session
    session.stop()


@pytest.fixture(scope="session")
def recorder(desktop):
    return Recorder(desktop)


@pytest.fixture(scope="module")
def tavrin(desktop, recorder):
    program = Tavrin(desktop, "tavrin")
    yield program
    if program.process.poll() is None:
        assert program.stop() == 0


@pytest.fixture
def phone(tavrin):
    with quillo_sim.Phone() as p:
        p.read_greeting()
        yield p
