"""The application shell of the real Tavrin.exe and what it leaves in the
system around it: the tray icon, its menu and the about box, the Run-key
entry ("--install" and "Auto &Run"), the configuration file it removes, the
balloon of a phone's "Msg||" lines, and the discovery datagrams it broadcasts
on every local network.

The program's windows live in Wine's "shell" desktop, drawn inside one X
window, so wininfo.exe (started in that desktop) reports them. With
TAVRIN_SCREENSHOTS=1 the tray, menu and about box tests also save pictures to
docs/screenshots/.
"""

import os
import re
import shutil
import subprocess
import threading
import time
from pathlib import Path

import pytest

import tavrin_harness as harness
from conftest import test_log_dir

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"


@pytest.fixture
def no_run_entry(desktop):
    desktop.reg_delete(RUN_KEY, "Tavrin")
    yield
    desktop.reg_delete(RUN_KEY, "Tavrin")


def test_install_writes_the_run_entry_even_when_another_instance_runs(
        start_tavrin, desktop, no_run_entry):
    first = start_tavrin()
    assert desktop.reg_query(RUN_KEY, "Tavrin") is None
    second = start_tavrin("--install", wait=False)
    assert second.wait_exit(timeout=15) == 0
    assert first.running()
    kind, data = desktop.reg_query(RUN_KEY, "Tavrin")
    assert kind == "REG_SZ"
    assert data.lower() == ('"%s"' % desktop.winpath(first.exe)).lower()


@pytest.mark.parametrize("args", [("--install ",), ("--INSTALL",), ("--install", "now")],
                         ids=["trailing-space", "upper-case", "second-argument"])
def test_anything_but_the_exact_option_starts_normally_without_the_run_entry(
        start_tavrin, desktop, no_run_entry, args):
    tavrin = start_tavrin(*args)
    assert tavrin.running()
    assert desktop.reg_query(RUN_KEY, "Tavrin") is None


def test_leftover_configuration_file_is_removed_at_start(start_tavrin, desktop):
    leftover = desktop.drive_c() / "ProgramData" / "Tavrin.cfg"
    leftover.parent.mkdir(parents=True, exist_ok=True)
    leftover.write_text("left by an older version\n")
    start_tavrin()
    assert not leftover.exists()


# --------------------------------------------------------------------------
# Tray icon, menu and about box, autorun command and peer messages.

ROOT = Path(__file__).resolve().parents[2]
SCREENSHOTS = ROOT / "docs" / "screenshots"

WM_KEYDOWN = 0x0100
WM_COMMAND = 0x0111
WM_LBUTTONDOWN = 0x0201
WM_LBUTTONUP = 0x0202
WM_RBUTTONDOWN = 0x0204
WM_RBUTTONUP = 0x0205
VK_ESCAPE = 0x1B
IDCANCEL = 2
TRAY_CALLBACK = 1041
TRAY_ICON = 1
NIN_BALLOONSHOW, NIN_BALLOONUSERCLICK = 0x0402, 0x0405
IDM_RECENT_FIRST = 33300
AUTO_RUN = 32772
ABOUT = 32773
EXIT = 105


# --------------------------------------------------------------------------
# Windows of the shell desktop.

class Windows:
    """wininfo.exe in the shell desktop, its report read back."""

    def __init__(self, desktop, build, folder):
        self.desktop, self.build, self.folder = desktop, build, folder
        self.calls = 0

    def _run(self, *args, timeout=30):
        self.calls += 1
        out = self.folder / ("wininfo-%d.txt" % self.calls)
        code = self.desktop.run_program(self.build.helper("wininfo.exe"), "--out", self.desktop.winpath(out),
                                        *map(str, args), log=self.folder / "wininfo.log", timeout=timeout)
        try:
            lines = out.read_text(encoding="utf-8").splitlines()
        except FileNotFoundError:
            lines = []
        return code, lines

    def find(self, *selector, wait_ms=5000, post=None):
        """The window's own line (class, text, visible, rect) and its children
        as (id, class, text); fails when it does not show up in time."""
        extra = ["--post", *post] if post else []
        code, lines = self._run("--wait", wait_ms, *selector, *extra)
        assert code == 0, "no visible window %s within %d ms; visible: %s" % (selector, wait_ms, self.visible())
        own = parse_window(lines[0])
        children = [tuple(line[len("child "):].split("|", 2)) for line in lines[1:]]
        return own, [(int(ident), cls, unescape(text)) for ident, cls, text in children]

    def gone(self, *selector, wait_ms=5000):
        code, _ = self._run("--wait", wait_ms, "--gone", *selector)
        assert code == 0, "window %s still visible after %d ms" % (selector, wait_ms)

    def visible(self):
        _, lines = self._run("--all")
        return [parse_window(line) for line in lines]


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)), text)


def parse_window(line):
    assert line.startswith("window "), line
    cls, rest = line[len("window "):].split("|", 1)
    text, visible, rect = rest.rsplit("|", 2)
    return {"class": cls, "text": unescape(text), "visible": visible == "1",
            "rect": tuple(map(int, rect.split(",")))}


@pytest.fixture
def windows(desktop, build, request):
    return Windows(desktop, build, test_log_dir(request))


def balloons(windows, text_start):
    return [w for w in windows.visible() if w["class"] == "tooltips_class32" and w["text"].startswith(text_start)]


def wait_balloon(windows, text_start, timeout=10):
    return harness.wait_until(lambda: balloons(windows, text_start), timeout,
                              "a balloon reading %r" % text_start, interval=0.2)[0]


# --------------------------------------------------------------------------
# Screenshots, made only when asked for, so that test runs leave docs alone.
# The pictures in docs/screenshots were made with Wine's own fonts (Debian's
# fonts-wine: tahoma, marlett) and a CJK font (fonts-wqy-microhei) copied to
# the prefix's windows/Fonts, the latter linked to Tahoma under
# HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink;
# without them Wine draws the about box's full-width comma as a box.

def screenshots_wanted():
    return os.environ.get("TAVRIN_SCREENSHOTS") == "1"


def screenshot(desktop, name, box):
    """Saves the (left, top, right, bottom) part of the X display as
    docs/screenshots/NAME; the shell desktop's window sits at 0,0."""
    if os.environ.get("TAVRIN_DPI"):  # phone-prompt.png -> phone-prompt-144dpi.png
        name = name.replace(".png", "-%sdpi.png" % os.environ["TAVRIN_DPI"])
    left, top, right, bottom = box
    left, top = max(left, 0), max(top, 0)
    right, bottom = min(right, 1024), min(bottom, 768)
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    whole = subprocess.run(["/usr/bin/import", "-window", "root", "-display", desktop.env["DISPLAY"], "png:-"],
                           check=True, capture_output=True, timeout=30).stdout
    subprocess.run(["/usr/bin/convert", "png:-", "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                    "+repage", "-strip", "-define", "png:exclude-chunks=date,time", str(SCREENSHOTS / name)],
                   input=whole, check=True, timeout=30)


def move_pointer(desktop, x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], env=desktop.env, check=True, timeout=10)


def grow(rect, margin):
    left, top, right, bottom = rect
    return left - margin, top - margin, right + margin, bottom + margin


# --------------------------------------------------------------------------
# The Run-key entry.

def run_entry(desktop):
    """The data of the "Tavrin" Run value, or None when there is none."""
    found = desktop.reg_query(RUN_KEY, "Tavrin")
    if found is None:
        return None
    assert found[0] == "REG_SZ", found
    return found[1]


def set_run_entry(desktop, data):
    desktop.run("reg", "add", RUN_KEY, "/v", "Tavrin", "/t", "REG_SZ", "/d", data, "/f",
                log=desktop.logs / "reg.log")
    assert run_entry(desktop) == data


def wait_run_entry(desktop, expected, timeout=10):
    harness.wait_until(lambda: run_entry(desktop) == expected, timeout,
                       "the Run value to become %r (it is %r)" % (expected, run_entry(desktop)), interval=0.1)


def own_entry(tavrin):
    return '"%s"' % tavrin.desktop.winpath(tavrin.exe)


# --------------------------------------------------------------------------
# Tray icon, menu and about box.

def test_tray_icon_menu_and_about_box(start_tavrin, desktop, build, windows, no_run_entry):
    shots = screenshots_wanted()
    set_run_entry(desktop, '"%s"' % desktop.winpath(build.tavrin()))  # "Auto Run" checked
    tavrin = start_tavrin()
    taskbar = windows.find("--class", "Shell_TrayWnd")[0]["rect"]
    # The icon sits at the taskbar's right end; the pointer goes just left of
    # it, where Wine shows no tip over the menu.
    pointer = (taskbar[2] - 40, taskbar[1] + 9)
    start_balloon = wait_balloon(windows, "IP Address : ")
    listed = start_balloon["text"][len("IP Address : "):].split()
    assert "127.0.0.1" not in listed
    if "v0" in harness.interfaces():
        assert sorted(listed) == ["10.77.0.1", "10.77.0.2"], start_balloon
    if shots:
        screenshot(desktop, "tray-balloon.png", (start_balloon["rect"][0] - 8, start_balloon["rect"][1] - 8,
                                                 taskbar[2], taskbar[3]))
        # The start-up balloon stays about 10 s; the icon alone comes next.
        harness.wait_until(lambda: not balloons(windows, "IP Address : "), 20, "the start-up balloon to go",
                           interval=0.5)
        screenshot(desktop, "tray-icon.png", (taskbar[2] - 200, taskbar[1] - 40, taskbar[2], taskbar[3]))

    # The menu opens where the pointer is, its lower right corner at the pointer.
    move_pointer(desktop, *pointer)
    try:
        assert tray(tavrin, WM_RBUTTONDOWN) == 0
        menu, _ = windows.find("--class", "#32768")
    finally:
        # With the pointer left resting on the tray icon, Wine's explorer
        # stopped answering a few starts later, and every program started
        # in the desktop after that hung: keep it off the taskbar.
        move_pointer(desktop, 8, 8)
    left, top, right, bottom = menu["rect"]
    assert right - left > 100 and bottom - top > 100, menu
    # (Wine keeps it off the taskbar, so it may end a little higher.)
    assert abs(right - pointer[0]) <= 2 and taskbar[1] - 2 <= bottom <= pointer[1] + 2, menu
    if shots:
        screenshot(desktop, "tray-menu.png", (left - 16, top - 16, taskbar[2], taskbar[3]))
    windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
    windows.gone("--class", "#32768")

    assert tavrin.post(WM_COMMAND, ABOUT, 0) == 0
    about, controls = windows.find("--title", "About Tavrin")
    texts = {text for _, _, text in controls}
    assert "Tavrin\uff0cV1.5.0.0" in texts, controls
    assert (1, "Button", "OK") in controls
    assert [text for ident, _, text in controls if ident == 1000][0].startswith("mailto:"), controls
    if shots:
        screenshot(desktop, "about-box.png", grow(about["rect"], 8))
    # Esc (IDCANCEL) closes it, and the program runs on.
    windows.find("--title", "About Tavrin", post=[WM_COMMAND, IDCANCEL, 0])
    windows.gone("--title", "About Tavrin")
    assert tavrin.running()


# --------------------------------------------------------------------------
# The Run-key entry from "--install" and from the "Auto &Run" command.

def test_install_writes_the_quoted_path_and_the_program_runs_on(start_tavrin, desktop, no_run_entry):
    tavrin = start_tavrin("--install")
    assert (run_entry(desktop) or "").lower() == own_entry(tavrin).lower()
    assert tavrin.running()


OTHER_COPY = r'"C:\Program Files\Tavrin\Tavrin.exe"'
# Does not fit the 512 bytes the program reads the value into: counts as absent.
TOO_LONG = '"C:\\%s\\Tavrin.exe"' % ("x" * 300)


APPROVED_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"


@pytest.mark.parametrize("before, approved, after_first, after_second", [
    (None, None, "own", None),
    (OTHER_COPY, None, None, "own"),  # another copy's entry counts as present
    (TOO_LONG, None, "own", None),
    # Turned off in Task Manager's Startup tab while Tavrin runs: shown
    # unchecked, so the first choice turns it on again.
    (OTHER_COPY, "030000005e1f3a6b9c2dda01", "own", None),
], ids=["absent", "other-copy", "too-long", "disabled-in-task-manager"])
def test_auto_run_command_twice_writes_and_removes_the_entry(start_tavrin, desktop, no_run_entry,
                                                              before, approved, after_first, after_second):
    if before is not None:
        set_run_entry(desktop, before)
    desktop.run("reg", "delete", APPROVED_KEY, "/v", "Tavrin", "/f", log=desktop.logs / "reg.log")
    tavrin = start_tavrin()
    if approved:
        desktop.run("reg", "add", APPROVED_KEY, "/v", "Tavrin", "/t", "REG_BINARY", "/d", approved, "/f",
                    log=desktop.logs / "reg.log")
    for expected in (after_first, after_second):
        assert tavrin.post(WM_COMMAND, AUTO_RUN, 0) == 0
        wait_run_entry(desktop, own_entry(tavrin) if expected == "own" else expected)
        if approved and expected == "own":
            assert desktop.reg_query(APPROVED_KEY, "Tavrin")[1].startswith("02"), "still off in Task Manager"
    desktop.run("reg", "delete", APPROVED_KEY, "/v", "Tavrin", "/f", log=desktop.logs / "reg.log")


# --------------------------------------------------------------------------
# Peer messages: the balloon and its click.

@pytest.fixture
def markers(build, request):
    """Factory: markers("first") is a copy of marker.exe that appends a line
    to first.exe.ran each time it starts; returns (exe, ran-file)."""
    folder = test_log_dir(request) / "markers"
    folder.mkdir(exist_ok=True)

    def make(name):
        exe = folder / (name + ".exe")
        shutil.copyfile(build.helper("marker.exe"), exe)
        ran = folder / (name + ".exe.ran")
        if ran.exists():
            ran.unlink()
        return exe, ran
    return make


def tray(tavrin, event, icon=TRAY_ICON, at=(0, 0)):
    """Posts what the taskbar sends the icon, in the form of its fourth
    version: wParam the anchor point, lParam the event and the icon's id."""
    return tavrin.post(TRAY_CALLBACK, (at[1] << 16) | at[0], (icon << 16) | event)


def click_balloon(tavrin):
    assert tray(tavrin, NIN_BALLOONUSERCLICK) == 0


HTTPS_COMMAND_KEY = r"HKLM\Software\Classes\https\shell\open\command"


@pytest.fixture
def web(desktop, markers, request):
    """A copy of marker.exe registered as the prefix's https handler;
    opened(url) counts the times it was started with that link."""
    exe, ran = markers("web")
    # The prefix is the test run's own: the handler stays registered after.
    log = test_log_dir(request) / "reg.log"
    assert desktop.run("reg", "add", HTTPS_COMMAND_KEY, "/ve", "/d", '"%s" "%%1"' % desktop.winpath(exe), "/f",
                       log=log) == 0

    class Web:
        path = exe

        @staticmethod
        def opened(url=""):
            try:
                return sum(1 for line in ran.read_text().splitlines() if url in line)
            except FileNotFoundError:
                return 0
    return Web


FIRST, SECOND, THIRD = "https://first.example/a?b=c", "https://second.example/", "https://third.example/"


def test_balloon_click_opens_the_first_target_and_a_repeated_title_changes_nothing(
        tavrin, phone, phones, observer, desktop, web, windows):
    phone.send_item("Msg||Hello||" + FIRST)
    observer.sync(phone, rounds=1)  # the balloon request has been answered
    shown = wait_balloon(windows, "Hello\nClick for details...")
    if screenshots_wanted():
        taskbar = windows.find("--class", "Shell_TrayWnd")[0]["rect"]
        screenshot(desktop, "peer-balloon.png", (shown["rect"][0] - 8, shown["rect"][1] - 8, taskbar[2], taskbar[3]))
    click_balloon(tavrin)
    harness.wait_until(lambda: web.opened(FIRST) == 1, 10, "the first link to open")

    # The same title from another phone, with another target: nothing new is
    # shown, and a click opens the stored first target again.
    other = phones()
    other.read_greeting(idle=0.05)
    other.send_item("Msg||Hello||" + SECOND)
    observer.sync(other, rounds=1)
    click_balloon(tavrin)
    harness.wait_until(lambda: web.opened() == 2, 10, "a link to open")
    assert web.opened(FIRST) == 2, "the repeated title replaced the stored target"


def test_a_click_on_a_queued_balloon_and_the_recent_messages_open_their_own_targets(
        tavrin, phone, observer, windows, web):
    for title, url in (("One", FIRST), ("Two", SECOND), ("Three", THIRD)):
        phone.send_item("Msg||%s||%s" % (title, url))
    observer.sync(phone, rounds=1)
    # Balloons queue behind the start-up one; the shell says when each shows.
    assert tray(tavrin, NIN_BALLOONSHOW) == 0  # the start-up balloon
    assert tray(tavrin, NIN_BALLOONSHOW) == 0  # "One"
    click_balloon(tavrin)
    harness.wait_until(lambda: web.opened(FIRST) == 1, 10, "the shown balloon's link to open")
    # Recent Messages, newest first: the second item is "Two".
    assert tray(tavrin, WM_RBUTTONDOWN) == 0
    windows.find("--class", "#32768")
    assert tavrin.post(WM_COMMAND, IDM_RECENT_FIRST + 1, 0) == 0
    windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
    windows.gone("--class", "#32768")
    harness.wait_until(lambda: web.opened(SECOND) == 1, 10, "the chosen message's link to open")
    assert web.opened(THIRD) == 0


def test_a_click_never_starts_a_program_or_reaches_another_computer(tavrin, phone, observer, desktop, markers,
                                                                    web, windows):
    program, program_ran = markers("program")
    forward = desktop.winpath(program).replace("\\", "/")
    refused = [desktop.winpath(program), "file:///" + forward, "\\\\10.77.0.2\\share\\program.exe",
               "file://10.77.0.2/share/notes.txt", "C:\\windows\\system32\\cmd.exe.", "cmd"]
    for number, target in enumerate(refused):
        phone.send_item("Msg||Refused %d||%s" % (number, target))
        observer.sync(phone, rounds=1)
        click_balloon(tavrin)
    wait_balloon(windows, "A message from a phone may open a web or mail link")
    # Clicks are handled in order: once this link has opened, the refused
    # targets before it have had their chance to start something.
    phone.send_item("Msg||Allowed||" + THIRD)
    observer.sync(phone, rounds=1)
    click_balloon(tavrin)
    harness.wait_until(lambda: web.opened(THIRD) == 1, 10, "the link to open")
    assert not program_ran.exists()
    assert web.opened() == 1
    assert tavrin.running()


def running_markers(desktop, exe):
    """Processes started from the marker copies beside `exe` (Wine shows
    their Windows paths in the Linux process list)."""
    folder = desktop.winpath(exe.parent).lower()
    listing = subprocess.run(["ps", "-eo", "args"], capture_output=True, text=True, timeout=10).stdout
    return [line for line in listing.splitlines() if folder in line.lower() and "ps -eo" not in line]


def test_a_click_after_a_message_without_target_opens_nothing(tavrin, phone, observer, desktop, web):
    for title, target in (("One", FIRST), ("Two", ""), ("Three", THIRD)):
        phone.send_item("Msg||%s||%s" % (title, target))
        observer.sync(phone, rounds=1)
        click_balloon(tavrin)
    harness.wait_until(lambda: web.opened(THIRD) == 1, 10, "the third link to open")
    # The clicks open in order, so whatever the second click started was
    # started before the third link was; once none of them runs, every
    # start has left its line.
    harness.wait_until(lambda: not running_markers(desktop, web.path), 10, "the started links to end")
    assert web.opened(FIRST) == 1, "the click after the message without target opened the previous one"


def test_a_long_title_is_cut_to_what_the_balloon_holds(tavrin, phone, observer, windows):
    # 255 units: 234 of title, then the 21 of the click hint.
    phone.send_item("Msg||" + "L" * 1500 + "||")
    observer.sync(phone, rounds=1)
    shown = wait_balloon(windows, "LLLL")
    assert shown["text"] == "L" * 234 + "\nClick for details..."


# --------------------------------------------------------------------------
# Stopping while the worker waits for the main window.

def test_exit_while_a_phone_floods_peer_messages_ends_within_a_second(tavrin, phones):
    phone = phones()
    phone.read_greeting(idle=0.05)
    sent = [0]
    stop = threading.Event()

    def flood():
        # Every title is new, so every line is a synchronous balloon request
        # to the main window.
        try:
            while not stop.is_set():
                n = sent[0]
                phone.send(b"".join(b"Msg||flood %d||\n" % i for i in range(n, n + 20)))
                sent[0] = n + 20
        except OSError:
            pass  # the program went, and its connections with it

    thread = threading.Thread(target=flood, daemon=True)
    thread.start()
    try:
        harness.wait_until(lambda: sent[0] >= 2000, 10, "the flood to get going")
        time.sleep(0.5)
        assert tavrin.running()
        assert tavrin.post(WM_COMMAND, EXIT, 0) == 0
        posted = time.monotonic()
        assert tavrin.wait_exit(timeout=10) == 0
        took = time.monotonic() - posted
    finally:
        stop.set()
        thread.join(timeout=10)
    print("exit took %.3f s; %d lines sent" % (took, sent[0]))
    assert took < 1.0, "exit took %.2f s" % took


# --------------------------------------------------------------------------
# Nothing in a "Msg||" line upsets the program.

HIGH = bytes(range(0x80, 0x100))
HOSTILE_LINES = [
    b"Msg||" + b"T" * 233 + HIGH[:4] + b"||" + HIGH,          # cut inside the high bytes
    b"Msg||" + b"A" * 1023 + b"||" + b"a" * 2047,
    b"Msg||" + b"B" * 1024 + b"||" + b"b" * 2048,
    b"Msg||" + b"C" * 3000 + b"||" + b"c" * 1000,             # longer than both buffers
    b"Msg||" + b"D" * 10 + b"||" + b"d" * 4070,               # as long as a line may be
    b"Msg||" + b"E" * 6000 + b"||" + b"e" * 2000,             # longer than a line may be
    b"Msg||" + HIGH * 4 + b"||" + HIGH * 8,
    b"Msg||" + HIGH + b"||" + b"||" * 900,
    b"Msg||" + b"|" * 3000,
    b"Msg||\xff||\xfe\x01\x02\x7f",
    b"Msg||||",
    b"Msg||",
    b"Msg||" + b"%s%n%x" * 100 + b"||" + b"%s" * 100,
]


def test_hostile_peer_messages_from_many_phones_leave_it_serving(tavrin, phones, observer):
    # The listen backlog is 5: phones connect a few at a time.
    crowd = []
    for group in range(8):
        batch = [phones() for _ in range(4)]
        for index, phone in enumerate(batch):
            phone.read_greeting(idle=0.02)
            number = group * 4 + index
            lines = [line.replace(b"Msg||", b"Msg||%d " % number, 1) if number % 2 else line
                     for line in HOSTILE_LINES]
            phone.send(b"\n".join(lines) + b"\n")
        crowd += batch
    # Half of them leave with a reset, half with a close, the rest stay.
    for index, phone in enumerate(crowd[:16]):
        phone.reset() if index % 2 else phone.close()
    for phone in crowd[16:]:
        observer.sync(phone, rounds=1)
    assert tavrin.running()

    fresh = phones()
    assert fresh.read_greeting(idle=0.05).startswith(b"system windows ")
    observer.sync(fresh, rounds=1)


def test_exit_while_the_about_box_is_open_ends_with_code_0(tavrin, windows):
    # The tray menu stays reachable while the modal box is open.
    assert tavrin.post(WM_COMMAND, ABOUT, 0) == 0
    windows.find("--title", "About Tavrin")
    assert tavrin.post(WM_COMMAND, EXIT, 0) == 0
    assert tavrin.wait_exit(timeout=5) == 0
    assert not harness.port_accepts()


def test_peer_messages_get_through_while_the_menu_or_the_about_box_is_open(
        tavrin, phone, observer, desktop, windows, web):
    # The worker waits for the main window; the modal loops must answer it.
    assert tray(tavrin, WM_LBUTTONDOWN) == 0  # either button opens it
    windows.find("--class", "#32768")
    phone.send_item("Msg||While the menu is open||")
    observer.sync(phone, rounds=1)
    windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
    windows.gone("--class", "#32768")

    assert tavrin.post(WM_COMMAND, ABOUT, 0) == 0
    windows.find("--title", "About Tavrin")
    phone.send_item("Msg||While the about box is open||" + FIRST)
    observer.sync(phone, rounds=1)
    wait_balloon(windows, "While the about box is open\nClick for details...")
    click_balloon(tavrin)
    harness.wait_until(lambda: web.opened(FIRST) == 1, 10, "the link to open")
    windows.find("--title", "About Tavrin", post=[WM_COMMAND, IDCANCEL, 0])
    windows.gone("--title", "About Tavrin")


def test_with_the_tray_menu_open_window_commands_leave_the_hidden_window_alone(tavrin, phone, observer, windows):
    # Opening the menu makes the hidden main window the foreground window.
    assert tray(tavrin, WM_RBUTTONDOWN) == 0
    windows.find("--class", "#32768")
    for command in ("slideup", "zoomin", "window maximize", "window minimize", "window close"):
        phone.send_item(command)
    observer.sync(phone, rounds=1)
    assert tavrin.running()
    assert not [w for w in windows.visible() if w["class"] == "TAVRIN"]
    windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
    windows.gone("--class", "#32768")
    observer.sync(phone, rounds=1)
    assert tavrin.post(WM_COMMAND, EXIT, 0) == 0
    assert tavrin.wait_exit(timeout=5) == 0


def test_a_second_about_command_opens_no_second_box(tavrin, windows):
    assert tavrin.post(WM_COMMAND, ABOUT, 0) == 0
    windows.find("--title", "About Tavrin")
    assert tavrin.post(WM_COMMAND, ABOUT, 0) == 0
    # Posted after the second command, so handled after it: once the menu
    # shows, the second command has had its effect.
    assert tray(tavrin, WM_RBUTTONDOWN) == 0
    windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
    boxes = [w for w in windows.visible() if w["text"] == "About Tavrin"]
    assert len(boxes) == 1, boxes
    windows.gone("--class", "#32768")
    windows.find("--title", "About Tavrin", post=[WM_COMMAND, IDCANCEL, 0])
    windows.gone("--title", "About Tavrin")
    assert tavrin.running()


def test_only_a_button_press_on_icon_1_opens_the_menu(tavrin, windows):
    for icon, event in ((TRAY_ICON, WM_RBUTTONUP), (TRAY_ICON, WM_LBUTTONUP), (2, WM_RBUTTONDOWN)):
        assert tray(tavrin, event, icon) == 0
    # A menu opened by any of them would still be open when this box shows.
    assert tavrin.post(WM_COMMAND, ABOUT, 0) == 0
    windows.find("--title", "About Tavrin", post=[WM_COMMAND, IDCANCEL, 0])
    assert not [w for w in windows.visible() if w["class"] == "#32768"]
