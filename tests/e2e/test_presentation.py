"""The phone as a presenter's remote, against stand-ins for PowerPoint: a
window whose executable is named powerpnt.exe (helpers/powerpnt.c), and an
in-process automation server registered as "PowerPoint.Application" that logs
every call it gets (helpers/fakeppt.cpp). Also: the program's load-time bond
with Extension.dll, and that library's export table."""

import re
import shutil
import subprocess
import time

import pytest

import conftest
import tavrin_harness as harness

WM_CLOSE = 0x0010

# A class identifier of our own for the stand-in server.
FAKE_CLSID = "{6D1F3A52-7C0B-4E43-9A61-2B5F0E7D4C19}"
PROG_ID_KEY = r"HKLM\Software\Classes\PowerPoint.Application"
CLSID_KEY = r"HKLM\Software\Classes\CLSID" + "\\" + FAKE_CLSID

# What Extension.dll must ask of PowerPoint's Application object, as the
# stand-in logs it: put it into its running state (OleRun), put Visible (2030)
# to the 4-byte integer 1 as the named argument DISPID_PROPERTYPUT (-3), call
# Activate (2033), call Quit (2021); no interface id, locale 0, no result
# wanted.
PUT_VISIBLE = "invoke {n} dispid 2030 flags 4 lcid 0 iid null result no args [I4 1] named [-3]"
ACTIVATE = "invoke {n} dispid 2033 flags 1 lcid 0 iid null result no args [] named []"
QUIT = "invoke {n} dispid 2021 flags 1 lcid 0 iid null result no args [] named []"
RUN = "run {n}"


def send(phone, observer, *items):
    """Sends each item in its own write and returns every injected event they
    caused (the sentinel proves they were all handled)."""
    for item in items:
        phone.send_item(item)
    observer.sync(phone)
    return observer.events()


# --------------------------------------------------------------------------
# Windows that stand in for PowerPoint and for other programs.

class PresenterWindow:
    """powerpnt.c, run from an executable of any name; its window takes the
    foreground."""

    def __init__(self, desktop, build, folder, name, window_class):
        self.desktop, self.build, self.window_class = desktop, build, window_class
        self.exe = folder / name
        self.exe.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build.helper("powerpnt.exe"), self.exe)
        self.status = folder / (window_class + ".status")
        if self.status.exists():
            self.status.unlink()
        self.process = desktop.start(self.exe, desktop.winpath(self.status), window_class,
                                     log=folder / (window_class + ".wine.log"))
        harness.wait_until(lambda: "ready" in self.lines() or self.process.poll() is not None, 20,
                           "%s to take the foreground" % name)
        if self.process.poll() is not None:
            raise AssertionError("%s ended with %s before its window was in front"
                                 % (name, self.process.returncode))

    def lines(self):
        try:
            return self.status.read_text().splitlines()
        except FileNotFoundError:
            return []

    def close(self):
        if self.process.poll() is None:
            self.desktop.run_program(self.build.helper("postmsg.exe"), "--class", self.window_class,
                                     WM_CLOSE, 0, 0)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


@pytest.fixture
def front_window(desktop, build, request):
    """Factory: front_window(name) starts the stand-in under that executable
    name (a relative path under this test's folder) and waits until its window
    is in front."""
    folder = conftest.test_log_dir(request) / "programs"
    windows = []

    def start(name):
        window = PresenterWindow(desktop, build, folder, name, "TavrinFront%d" % (len(windows) + 1))
        windows.append(window)
        conftest.attach_log(request, window.status)
        return window

    yield start
    for window in reversed(windows):
        window.close()


KEY_COMMANDS = [
    ("ppt pgdn", ["key 22 down ext", "key 22 up ext"]),
    ("ppt pgup", ["key 21 down ext", "key 21 up ext"]),
    ("ppt play", ["key 74 down", "key 74 up"]),
    ("ppt stop", ["key 1b down", "key 1b up"]),
]


def test_key_commands_reach_powerpoint_only_while_it_is_in_front(phone, observer, front_window):
    presenter = front_window("powerpnt.exe")
    for command, keys in KEY_COMMANDS:
        start = len(observer.events())
        assert send(phone, observer, command)[start:] == keys, command

    # Another program in front: nothing at all, though PowerPoint still runs.
    front_window("mypowerpnt.exe")
    harness.wait_until(lambda: "background" in presenter.lines(), 10, "powerpnt.exe to lose the foreground")
    start = len(observer.events())
    assert send(phone, observer, *[command for command, _ in KEY_COMMANDS])[start:] == []


@pytest.mark.parametrize("name, counts", [
    ("Office/POWERPNT.EXE", True),
    ("powerpnt.exe.bak", False),
    ("powerpnt.com", False),
], ids=["upper-case-elsewhere", "bak", "com"])
def test_powerpoint_is_known_by_its_executable_name(phone, observer, front_window, name, counts):
    front_window(name)
    assert send(phone, observer, "ppt pgdn") == (["key 22 down ext", "key 22 up ext"] if counts else [])


# --------------------------------------------------------------------------
# The automation server.

class FakePowerPoint:
    """fakeppt.dll, copied into a folder of its own with its fakeppt.cfg and
    registered under HKLM (Wine ignores classes registered under HKCU)."""

    def __init__(self, desktop, build, folder):
        self.desktop = desktop
        self.folder = folder
        self.folder.mkdir(parents=True, exist_ok=True)
        self.dll = folder / "fakeppt.dll"
        shutil.copyfile(build.helper("fakeppt.dll"), self.dll)
        self.log = folder / "calls.log"
        self.log.write_text("")
        self.regfile_log = folder / "reg.log"
        self.set_mode("normal")

    def set_mode(self, mode):
        (self.folder / "fakeppt.cfg").write_text("%s\n%s\n" % (self.desktop.winpath(self.log), mode))

    def lines(self):
        return self.log.read_text().splitlines()

    def register(self):
        reg = self.folder / "register.reg"
        path = self.desktop.winpath(self.dll).replace("\\", "\\\\")
        reg.write_text("\r\n".join([
            "Windows Registry Editor Version 5.00", "",
            "[%s]" % PROG_ID_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"),
            '@="PowerPoint stand-in"', "",
            "[%s\\CLSID]" % PROG_ID_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"),
            '@="%s"' % FAKE_CLSID, "",
            "[%s]" % CLSID_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"),
            '@="PowerPoint stand-in"', "",
            "[%s\\InprocServer32]" % CLSID_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"),
            '@="%s"' % path,
            '"ThreadingModel"="Apartment"', "", ""]))
        assert self.desktop.run("reg", "import", self.desktop.winpath(reg), log=self.regfile_log) == 0
        assert registered(self.desktop, self.regfile_log)


def registered(desktop, log):
    return desktop.run("reg", "query", PROG_ID_KEY + r"\CLSID", log=log) == 0


def unregister(desktop, log):
    for key in (PROG_ID_KEY, CLSID_KEY):
        desktop.run("reg", "delete", key, "/f", log=log)
    assert not registered(desktop, log)


@pytest.fixture
def fake_powerpoint(desktop, build, request):
    folder = conftest.test_log_dir(request) / "fakeppt"
    fake = FakePowerPoint(desktop, build, folder)
    conftest.attach_log(request, fake.log)
    fake.register()
    yield fake
    unregister(desktop, fake.regfile_log)


def connections(lines):
    """Splits the stand-in's log into one list per object it made, each
    checked to begin with its creation and end with its final release."""
    groups, current = [], None
    for line in lines:
        match = re.fullmatch(r"new (\d+)", line)
        if match:
            assert current is None, "a second object was made while %s was held: %s" % (current, lines)
            current = match.group(1)
            groups.append([])
            continue
        assert current is not None, "a call outside any object: %r in %s" % (line, lines)
        if line == "release " + current:
            current = None
            continue
        groups[-1].append(re.sub(r"^(\w+) %s(?= |$)" % current, r"\1 {n}", line))
    assert current is None, "object %s was never released: %s" % (current, lines)
    return groups


def test_run_shows_and_activates_and_exit_quits_each_over_a_connection_of_its_own(
        fake_powerpoint, phone, observer):
    # Whatever window is in front: these two do not look.
    assert send(phone, observer, "ppt run") == []
    assert connections(fake_powerpoint.lines()) == [[RUN, PUT_VISIBLE, ACTIVATE]]
    assert send(phone, observer, "ppt exit", "ppt run") == []
    assert connections(fake_powerpoint.lines()) == [
        [RUN, PUT_VISIBLE, ACTIVATE], [RUN, QUIT], [RUN, PUT_VISIBLE, ACTIVATE]]


@pytest.mark.parametrize("mode", ["exception", "fail"])
def test_a_failing_automation_call_is_absorbed_and_the_object_released(
        fake_powerpoint, tavrin, phone, observer, mode):
    fake_powerpoint.set_mode(mode)
    assert send(phone, observer, "ppt run", "ppt exit", "mos m 3 -2") == ["move 3 -2"]
    groups = connections(fake_powerpoint.lines())
    assert len(groups) == 2, groups
    # Visible is tried first; whether Activate follows a refused Visible is
    # the library's choice.
    assert groups[0][:2] == [RUN, PUT_VISIBLE] and set(groups[0][2:]) <= {ACTIVATE}, groups
    assert groups[1] == [RUN, QUIT]
    assert tavrin.running()


@pytest.mark.parametrize("mode", ["refuse", "norun", "nodispatch"])
def test_a_server_that_cannot_be_created_run_or_dispatched_gets_no_calls(
        fake_powerpoint, tavrin, phone, observer, mode):
    fake_powerpoint.set_mode(mode)
    assert send(phone, observer, "ppt run", "ppt exit", "mos m -2 4") == ["move -2 4"]
    lines = fake_powerpoint.lines()
    if mode == "refuse":
        assert lines and set(lines) == {"refused"}, lines
    else:  # made, then let go of without a single member call
        assert connections(lines) == [[RUN], [RUN]]
    assert tavrin.running()


def test_without_powerpoint_run_and_exit_return_at_once(desktop, tavrin, phone, observer, request):
    unregister(desktop, conftest.test_log_dir(request) / "reg.log")
    started = time.monotonic()
    assert send(phone, observer, "ppt run", "ppt exit", "ppt run", "mos m 2 1") == ["move 2 1"]
    assert time.monotonic() - started < 3.0
    assert tavrin.running()


# --------------------------------------------------------------------------
# Display switching with a single display.

def desktop_geometry(desktop):
    """The size of the Wine desktop's X window, e.g. "1024x768"."""
    out = subprocess.run(["xdotool", "search", "--name", "^%s - Wine desktop$" % desktop.SHELL,
                          "getwindowgeometry"], env=desktop.env, capture_output=True, text=True, timeout=10).stdout
    match = re.search(r"Geometry: (\d+x\d+)", out)
    assert match, "no Wine desktop window: %r" % out
    return match.group(1)


def test_switch_with_one_display_does_nothing_and_the_server_goes_on(desktop, tavrin, phone, observer):
    before = desktop_geometry(desktop)
    assert send(phone, observer, "ppt switch", "ppt switch", "mos m 1 -1") == ["move 1 -1"]
    assert tavrin.running()
    # A display change would show as a new size of the Wine desktop.
    assert desktop_geometry(desktop) == before


# --------------------------------------------------------------------------
# The program and its library.

STATUS_DLL_NOT_FOUND = 0xC0000135


def test_tavrin_does_not_start_without_extension_dll(desktop, build, request):
    folder = desktop.prefix / "drive_c" / "tavrin-alone"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    exe = folder / "Tavrin.exe"
    shutil.copyfile(build.tavrin(), exe)
    logs = conftest.test_log_dir(request)
    status = logs / "alone.status"
    if status.exists():
        status.unlink()
    conftest.attach_log(request, logs / "alone.log")
    env = dict(desktop.env)
    env.pop("WINEPATH", None)  # the library must not be found anywhere
    assert not harness.port_accepts(), "another Tavrin serves port %d" % harness.PORT
    process = desktop.start(exe, log=logs / "alone.log", cwd=str(folder), env=env, status=status)
    try:
        end = time.monotonic() + 20
        while process.poll() is None and time.monotonic() < end:
            assert not harness.port_accepts(), "Tavrin.exe serves without Extension.dll"
            time.sleep(0.05)
    finally:
        still_running = process.poll() is None
        if still_running:
            process.kill()
            process.wait()
        shutil.rmtree(folder, ignore_errors=True)
    assert not still_running, "Tavrin.exe without Extension.dll was still running after 20 s"
    assert not harness.port_accepts()
    lines = status.read_text().splitlines()
    # Either the loader refused it, or the process could not even be made.
    assert lines and (lines[-1] == "exit %d" % STATUS_DLL_NOT_FOUND or lines[-1].startswith("failed")), lines
    assert process.returncode != 0


def export_names(dll):
    """The names in a PE file's export table, as objdump lists them."""
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(dll)], check=True,
                          capture_output=True, text=True).stdout
    section = dump.split("[Ordinal/Name Pointer] Table", 1)
    assert len(section) == 2, "no export name table in %s" % dll
    names = []
    for line in section[1].splitlines()[1:]:
        match = re.match(r"\s*\[\s*\d+\]\s+(\S+)$", line)
        if not match:
            break
        names.append(match.group(1))
    return names


def imports_from(exe, library):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)], check=True,
                          capture_output=True, text=True).stdout
    block = dump.split("DLL Name: %s" % library, 1)
    assert len(block) == 2, "%s does not import %s" % (exe, library)
    names = []
    for line in block[1].splitlines()[2:]:
        match = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if not match:
            break
        names.append(match.group(1))
    return names


def test_extension_exports_exactly_the_two_functions_and_tavrin_imports_them_by_name(build):
    if not shutil.which("x86_64-w64-mingw32-objdump"):
        pytest.fail("x86_64-w64-mingw32-objdump is missing: run scripts/setup.sh")
    dirs = build.extension_dirs()
    assert dirs, "Extension.dll is not built under %s" % build.folder
    assert export_names(dirs[0] / "Extension.dll") == ["StartPowerPointProgram", "StopPowerPointProgram"]
    assert sorted(imports_from(build.tavrin(), "Extension.dll")) == ["StartPowerPointProgram",
                                                                    "StopPowerPointProgram"]
