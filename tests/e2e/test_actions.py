"""Text entry, window commands, the window switcher, show-desktop and the
shutdown confirmation, as a foreground application and the user see them.

testwin.exe stands in for the foreground application and logs what it is
sent or posted; the observer logs the injected input. Window commands reach
the window through SendMessage, SetWindowPos or ShowWindow, which return only
once the window's thread has handled them, so a sentinel key sent after a
command is logged only after the window logged what the command did."""

import time
from pathlib import Path

import pytest

import tavrin_harness as harness
from conftest import attach_log, test_log_dir

WM_CLOSE = 0x0010
ALT_DOWN, ALT_UP, TAB = "key 12 down", "key 12 up", ["key 09 down", "key 09 up"]
SHIFT_DOWN, SHIFT_UP = "key 10 down", "key 10 up"


class ForegroundWindow:
    """One testwin.exe, in front of everything once started."""

    def __init__(self, desktop, build, folder, number, flags):
        self.desktop = desktop
        self.build = build
        self.path = Path(folder) / ("testwin-%d.log" % number)
        self.status = self.path.with_suffix(".status")
        for old in (self.path, self.status):
            if old.exists():
                old.unlink()
        self.process = desktop.start(build.helper("testwin.exe"), desktop.winpath(self.path), *flags,
                                     log=self.path.with_suffix(".wine.log"), status=self.status)
        harness.wait_until(lambda: "ready" in self.lines() or self.process.poll() is not None, 20,
                           "the test window to come to the front")
        if self.process.poll() is not None:
            raise AssertionError("testwin.exe ended with %s; lines: %s" % (self.process.returncode, self.lines()))
        self.mark = len(self.lines())

    def lines(self):
        try:
            return self.path.read_text(errors="replace").splitlines()
        except FileNotFoundError:
            return []

    def new_lines(self):
        """What the window logged since it was ready (or since `since()`)."""
        return self.lines()[self.mark:]

    def since(self):
        self.mark = len(self.lines())

    def wait_line(self, line, timeout=5):
        harness.wait_until(lambda: line in self.new_lines(), timeout,
                           "%r in the test window's log (has %s)" % (line, self.new_lines()))

    def rect(self):
        """The window rectangle it last reported: (left, top, width, height)."""
        rects = [line for line in self.lines() if line.startswith("rect ")]
        left, top, right, bottom = map(int, rects[-1].split()[1:])
        return left, top, right - left, bottom - top

    def assert_in_front(self):
        # A command for the foreground window must not reach anything else.
        assert "activate 0" not in self.lines(), "the test window lost the foreground: %s" % self.lines()

    def stop(self):
        if self.process.poll() is None:
            self.desktop.run_program(self.build.helper("postmsg.exe"), "--class", "TavrinTestWindow",
                                     "--wait", "0", WM_CLOSE, 0, 0)
            self.desktop.wait_or_kill(self.process, self.pid, 5)

    def pid(self):
        return harness.started_pid(self.status)


@pytest.fixture
def testwin(tavrin, desktop, build, request):
    """Factory: testwin(*flags) starts a test window in front of everything
    (after Tavrin, so that nothing of the program's start-up covers it)."""
    started = []
    folder = test_log_dir(request)

    def start(*flags):
        window = ForegroundWindow(desktop, build, folder, len(started) + 1, flags)
        started.append(window)
        attach_log(request, window.path)
        return window

    yield start
    for window in reversed(started):
        window.stop()


def run(phone, observer, *items):
    """Sends each item in its own write; returns the injected events once
    the sentinel shows that all of them were handled."""
    for item in items:
        phone.send_item(item)
    observer.sync(phone, rounds=1)
    return observer.events()


# --------------------------------------------------------------------------
# Text entry.

def test_text_reaches_a_unicode_window_as_unicode_presses_only(phone, observer, testwin):
    window = testwin()
    for text, units in [("abc", ["0061", "0062", "0063"]), ("\u00e9\u0416\u00ff", ["00e9", "0416", "00ff"])]:
        seen = len(observer.events())
        # Presses only, no releases.
        assert run(phone, observer, "utf8 " + text)[seen:] == ["unicode " + unit for unit in units], text
        for unit in units:  # and the window gets the characters
            window.wait_line("char " + unit)
    assert not [line for line in window.new_lines() if line.startswith("langrequest")]


WIRE_TEXT = [
    (b"utf8 ab\xf0\x9f\x98\x80cd\n", ["0061", "0062"]),  # above U+FFFF: the text ends there
    (b"utf8 ab\xe2\x82\n", ["0061", "0062"]),  # cut-off sequence at the end
    (b"utf8 ab\r\n", ["0061", "0062", "000d"]),  # a carriage return is text
    (b"utf8 " + b"a" * 2000 + b"\n", ["0061"] * 1023),  # the unit buffer's limit
]


def test_text_lines_from_the_wire_are_decoded_up_to_the_first_fault(phone, observer, testwin):
    testwin()
    seen = 0
    for line, units in WIRE_TEXT:
        phone.send(line)
        observer.sync(phone, rounds=1)
        assert observer.events()[seen:] == ["unicode " + unit for unit in units], line[:40]
        seen = len(observer.events())


def test_ansi_window_gets_units_above_254_posted_and_the_rest_through_sendinput(phone, observer, testwin):
    # Without a child the window itself has the focus; with an edit control
    # the characters go to the control, which holds the caret.
    for flags, suffix in [(("--ansi",), ""), (("--ansi", "--edit"), " edit")]:
        window = testwin(*flags)
        assert "unicode 0" in window.lines()
        seen = len(observer.events())
        # U+00E9 fits a key event; U+0416 and U+00FF would turn into '?' on
        # the way to an ANSI window, so they are posted as characters instead.
        assert run(phone, observer, "utf8 \u00e9\u0416\u00ff")[seen:] == ["unicode 00e9"], flags
        for unit in ("00e9", "0416", "00ff"):
            window.wait_line("char " + unit + suffix)
        chars = [line for line in window.new_lines() if line.startswith("char ")]
        posted = [line for line in chars if not line.startswith("char 00e9")]
        assert posted == ["char 0416" + suffix, "char 00ff" + suffix], flags
        # Wine lists only the US English layout, which is never switched to.
        assert not [line for line in window.new_lines() if line.startswith("langrequest")]
        window.stop()


# --------------------------------------------------------------------------
# Window commands.

def test_maximize_restore_and_minimize_reach_the_foreground_window(phone, observer, testwin):
    window = testwin("--rect", "100", "100", "300", "200")
    window.assert_in_front()
    assert window.rect() == (100, 100, 300, 200)

    run(phone, observer, "window maximize")
    assert [l for l in window.new_lines() if l.startswith("syscommand")] == ["syscommand f030"]
    maximized = window.rect()
    assert maximized[2] > 300 and maximized[3] > 200

    # Zooming out of a maximized window restores it instead of shrinking it.
    window.since()
    run(phone, observer, "zoomout")
    assert window.rect() == (100, 100, 300, 200)
    assert not [l for l in window.new_lines() if l.startswith("syscommand")]

    window.since()
    run(phone, observer, "window maximize", "window maximize")
    assert [l for l in window.new_lines() if l.startswith("syscommand")] == ["syscommand f030", "syscommand f120"]
    assert window.rect() == (100, 100, 300, 200)

    window.since()
    window.assert_in_front()
    run(phone, observer, "window minimize")
    assert [l for l in window.new_lines() if l.startswith("syscommand")] == ["syscommand f020"]


def test_close_ends_the_foreground_window(phone, observer, testwin):
    window = testwin()
    window.assert_in_front()
    run(phone, observer, "window close")
    assert [l for l in window.new_lines() if l.startswith("syscommand")] == ["syscommand f060"]
    window.wait_line("destroyed")
    assert window.process.wait(timeout=10) == 0


ZOOM = [
    ((10, 10, 300, 200), "zoomin", (0, 0, 340, 240)),  # left and top stop at 0
    ((200, 200, 300, 200), "zoomin", (170, 170, 360, 260)),
    ((200, 200, 150, 100), "zoomout", (230, 230, 100, 80)),  # never below 100 by 80
    ((200, 200, 50, 50), "zoomout", (200, 200, 100, 80)),  # a tiny window grows
]


def test_zoom_resizes_the_foreground_window(phone, observer, testwin):
    for rect, command, expected in ZOOM:
        window = testwin("--rect", *map(str, rect))
        assert window.rect() == rect
        window.assert_in_front()
        run(phone, observer, command)
        assert window.rect() == expected, (rect, command)
        window.stop()


def work_area(window):
    line = next(line for line in window.lines() if line.startswith("workarea "))
    return tuple(map(int, line.split()[1:]))


def test_zoomin_maximizes_a_window_only_when_it_fills_the_work_area_both_ways(phone, observer, testwin):
    window = testwin("--below-work-area", "10", "200")
    left, top, right, bottom = work_area(window)
    run(phone, observer, "zoomin")
    assert window.rect() == (left, top, right - left, bottom - top - 170)
    assert "size 2" not in " ".join(window.new_lines())
    window.stop()

    window = testwin("--below-work-area", "10", "10")
    assert window.rect() == (left, top, right - left - 10, bottom - top - 10)
    run(phone, observer, "zoomin")
    assert "size 2" in " ".join(window.new_lines()), window.new_lines()  # SIZE_MAXIMIZED
    assert not [l for l in window.new_lines() if l.startswith("syscommand")]


def test_window_commands_leave_an_invisible_foreground_window_alone(phone, observer, testwin):
    window = testwin("--hidden")
    assert run(phone, observer, "window maximize", "window minimize", "window close") == []
    assert not [l for l in window.new_lines() if l.startswith(("syscommand", "destroyed"))]
    assert window.process.poll() is None


STYLE_CASES = [
    (("--dialog",), ["zoomin", "zoomout", "slideup", "window maximize", "window minimize"]),
    (("--no-frame",), ["zoomin", "zoomout", "slideup"]),
    (("--no-boxes",), ["window maximize", "window minimize"]),
]


def test_window_commands_leave_windows_without_the_needed_style_alone(phone, observer, testwin):
    for flags, commands in STYLE_CASES:
        window = testwin("--rect", "100", "100", "300", "200", *flags)
        window.assert_in_front()
        assert run(phone, observer, *commands) == []
        assert not [l for l in window.new_lines() if l.startswith(("syscommand", "rect", "size"))], flags
        assert window.rect() == (100, 100, 300, 200)
        window.stop()


def test_slideup_releases_the_switcher_then_maximizes_and_restores(phone, observer, testwin):
    window = testwin("--rect", "100", "100", "300", "200")
    assert run(phone, observer, "slideright", "slideup") == [ALT_DOWN] + TAB + [ALT_UP]
    maximized = window.rect()
    assert maximized[2] > 300 and maximized[3] > 200
    assert run(phone, observer, "slideup") == [ALT_DOWN] + TAB + [ALT_UP]  # nothing more to release
    assert window.rect() == (100, 100, 300, 200)


# --------------------------------------------------------------------------
# The window switcher and show-desktop.


SWITCHER = [
    (["slideright"] * 3 + ["slide end"], [ALT_DOWN] + TAB * 3 + [ALT_UP]),
    (["slideleft", "slideright", "slide end"], [ALT_DOWN, SHIFT_DOWN] + TAB + [SHIFT_UP] + TAB + [ALT_UP]),
    (["slide end"], []),  # no switcher open: nothing to release
    # "slide begin" forgets the open switcher without releasing Alt; the next
    # slide opens it again and "slide end" releases Alt once.
    (["slideright", "slide begin", "slideright", "slide end"], [ALT_DOWN] + TAB + [ALT_DOWN] + TAB + [ALT_UP]),
]


def sequences(phone, observer, table):
    for commands, expected in table:
        seen = len(observer.events())
        assert run(phone, observer, *commands)[seen:] == expected, commands


def test_switcher_holds_alt_until_slide_end(phone, observer, testwin):
    # Composition is off on the default (Windows 7) prefix, so Alt holds the
    # switcher open.
    testwin()
    sequences(phone, observer, SWITCHER)


@pytest.fixture
def tavrin_as_windows_10(desktop, request):
    """Makes Wine report Windows 10 to Tavrin.exe alone (request it before
    `tavrin`): desktop composition is then on."""
    key = r"HKCU\Software\Wine\AppDefaults\Tavrin.exe"
    log = test_log_dir(request) / "reg.log"
    assert desktop.run("reg", "add", key, "/v", "Version", "/d", "win10", "/f", log=log) == 0
    yield
    desktop.run("reg", "delete", key, "/f", log=log)


LWIN_DOWN, LWIN_UP = "key 5b down ext", "key 5b up ext"


def test_with_composition_the_left_windows_key_holds_the_switcher(
        tavrin_as_windows_10, tavrin, phone, observer, testwin):
    assert phone.greeting.startswith(b"system windows 6.2\n"), phone.greeting
    testwin()
    sequences(phone, observer, [
        (["slideright"] * 2 + ["slide end"], [LWIN_DOWN] + TAB * 2 + [LWIN_UP]),
        (["slideleft", "slide end"], [LWIN_DOWN] + TAB + [SHIFT_DOWN] + TAB + [SHIFT_UP, LWIN_UP]),
    ])


@pytest.fixture
def shell_stubs_reported(desktop, request):
    """Makes Wine report calls of its unimplemented shell methods in the log
    of every program started while this is in place (request it before
    `tavrin`, whose log it empties first)."""
    (test_log_dir(request) / "tavrin-1.log").unlink(missing_ok=True)
    old = desktop.env["WINEDEBUG"]
    desktop.env["WINEDEBUG"] = "-all,fixme+shell"
    yield
    desktop.env["WINEDEBUG"] = old


def test_slidedown_closes_the_switcher_and_survives_a_shell_without_toggledesktop(
        shell_stubs_reported, tavrin, phone, observer, testwin):
    testwin()
    # Wine's shell object answers E_NOTIMPL; the command must simply end.
    assert run(phone, observer, "slideright", "slidedown") == [ALT_DOWN] + TAB + [ALT_UP]
    assert run(phone, observer, "slidedown", "mos m 3 2") == [ALT_DOWN] + TAB + [ALT_UP, "move 3 2"]
    assert tavrin.running()
    # Both commands reached the shell object's ToggleDesktop.
    calls = tavrin.log.read_text(errors="replace").count("ToggleDesktop")
    assert calls == 2, tavrin.log.read_text(errors="replace")


# --------------------------------------------------------------------------
# Shutdown: the confirmation box is cancelled, never confirmed.

def find_box(desktop, build, folder, *options):
    """Runs findbox.exe for the "Tavrin" message box; returns (exit code, lines)."""
    out = Path(folder) / "findbox.txt"
    code = desktop.run_program(build.helper("findbox.exe"), desktop.winpath(out), "Tavrin", *options,
                               log=Path(folder) / "findbox.log")
    lines = out.read_text(errors="replace").splitlines() if out.exists() else []
    return code, lines


def test_shutdown_asks_on_the_main_thread_while_the_worker_goes_on_and_cancel_keeps_serving(
        tavrin, phone, phones, observer, desktop, build, request):
    folder = test_log_dir(request)
    cancelled = False
    # Eight requests: one question, whose default answer is Cancel, so that
    # someone typing when it takes the focus cannot confirm it by accident.
    for _ in range(8):
        phone.send_item("shutdown")
    try:
        code, lines = find_box(desktop, build, folder, "--wait", "10000")
        assert code == 0, "no message box captioned Tavrin after \"shutdown\""
        assert "text Are you sure to shutdown Windows?" in lines
        assert {"button 1 OK", "button 2 Cancel", "default 2"} <= set(lines), lines
        observer.sync(phone, rounds=1)  # every request has been posted
        assert find_box(desktop, build, folder)[1][0] == "count 1"

        # The box is open and modal on the main thread; the worker still
        # injects the phone's input. (Moves only: a click or Enter could
        # confirm the box.)
        assert run(phone, observer, "mos m 3 2 m -2 1")[-2:] == ["move 3 2", "move -2 1"]
        assert find_box(desktop, build, folder)[0] == 0, "the box closed by itself"

        code, lines = find_box(desktop, build, folder, "--cancel")
        assert code == 0 and "clicked Cancel" in lines, (code, lines)
        cancelled = True
    finally:
        if not cancelled:
            find_box(desktop, build, folder, "--cancel")
    harness.wait_until(lambda: find_box(desktop, build, folder)[0] == 2, 10, "the box to close")

    # Cancel left the program running, serving the same and new phones.
    assert tavrin.running()
    assert run(phone, observer, "mos m 1 1")[-3:] == ["move 3 2", "move -2 1", "move 1 1"]
    other = phones()
    assert other.read_greeting(idle=0.05).startswith(b"system windows ")
    # And the main thread is free again: a second request asks again.
    other.send_item("shutdown")
    code, lines = find_box(desktop, build, folder, "--wait", "10000", "--cancel")
    assert code == 0 and "clicked Cancel" in lines, (code, lines)
    harness.wait_until(lambda: find_box(desktop, build, folder)[0] == 2, 10, "the box to close")
    assert tavrin.running()


def test_exit_from_the_tray_while_the_box_is_open_ends_the_program_and_shuts_nothing_down(
        tavrin, phone, session_observer, desktop, build, request):
    # The box's modal loop ends on the quit message that the exit posts and
    # then reports OK. Were that taken as the user's answer, Wine would end
    # every process of this prefix, the observer and the shell desktop among
    # them, and every later test of the session would fail.
    folder = test_log_dir(request)
    phone.send_item("shutdown")
    code, _ = find_box(desktop, build, folder, "--wait", "10000")
    assert code == 0, "no message box captioned Tavrin after \"shutdown\""
    assert tavrin.post(0x0111, 105, 0) == 0  # WM_COMMAND, the tray menu's exit
    assert tavrin.wait_exit(timeout=10) == 0
    # Wine's shutdown would take a moment to reach the other processes.
    end = time.monotonic() + 1.5
    while time.monotonic() < end:
        survivors = [session_observer.process.poll() is None, desktop.shell.poll() is None]
        assert all(survivors), "the exit was taken as a confirmed shutdown: the prefix's processes ended"
        time.sleep(0.05)
    assert find_box(desktop, build, folder)[0] == 2


# --------------------------------------------------------------------------
# Programs that do not answer never hold up the phones or the exit.

def test_a_window_that_stops_answering_close_holds_up_no_phone_and_no_exit(tavrin, phone, phones, observer,
                                                                          testwin):
    # As a program that hangs, or that answers "close" with a save question.
    window = testwin("--hang", "30000")
    phone.send_item("window close")
    window.wait_line("syscommand f060")
    other = phones()
    assert other.read_greeting(idle=0.05, deadline=5).startswith(b"system windows ")
    other.key(harness.SENTINEL)
    observer.wait_count(harness.SENTINEL_UP, observer.lines().count(harness.SENTINEL_UP) + 1, timeout=5)
    assert tavrin.post(harness.WM_COMMAND, harness.EXIT_COMMAND, 0) == 0
    assert tavrin.wait_exit(timeout=5) == 0
    assert "answering again" not in window.new_lines()


def test_exit_while_a_long_line_is_typed_into_an_ansi_window_ends_at_once(tavrin, phone, testwin):
    # Each character above 254 takes 20 ms: these lines would take a minute.
    window = testwin("--ansi")
    for _ in range(3):
        phone.send_item("utf8 " + "\u0416" * 1000)
    window.wait_line("char 0416")
    assert tavrin.post(harness.WM_COMMAND, harness.EXIT_COMMAND, 0) == 0
    assert tavrin.wait_exit(timeout=5) == 0
    assert window.new_lines().count("char 0416") < 1000
