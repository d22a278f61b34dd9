"""Window commands on an X desktop: what a phone's "window ..." and zoom
commands ask of the window manager (openbox), seen in the window's state."""

import select
import subprocess
import time

import pytest
from Xlib import X, Xatom, display

from conftest import HERE, PYTHON, harness
from test_session import activate, notified, window_named


class Window:
    def __init__(self, desktop, *wm_class):
        # Unbuffered: a line read leaves the next in the pipe, where select sees it.
        self.process = desktop.start("x-window", [PYTHON, "-u", str(HERE / "helpers" / "x_window.py"), *wm_class],
                                     stdout=subprocess.PIPE, bufsize=0)
        line = self.line().split()
        assert line[:1] == ["ready"], line
        self.id = int(line[1])
        self.x = display.Display(desktop.display)
        self.window = self.x.create_resource_object("window", self.id)
        # Ready means focused; the manager names it active a moment later.
        harness.wait_until(lambda: self.active() == self.id, 30, "the test window to be active")

    def line(self, timeout=30):
        """The helper's next line; it stops the test instead of waiting forever."""
        ready, _, _ = select.select([self.process.stdout], [], [], timeout)
        assert ready, "the test window said nothing for %d s" % timeout
        return self.process.stdout.readline().decode().strip()

    def atoms(self, name, window=None):
        reply = (window or self.window).get_full_property(self.x.intern_atom(name), X.AnyPropertyType)
        return list(reply.value) if reply else []

    def states(self):
        return {self.x.get_atom_name(a) for a in self.atoms("_NET_WM_STATE")}

    def active(self):
        value = self.atoms("_NET_ACTIVE_WINDOW", self.x.screen().root)
        return value[0] if value else 0

    def frame(self):
        geometry = self.window.get_geometry()
        origin = self.window.translate_coords(self.x.screen().root, 0, 0)
        left, right, top, bottom = self.atoms("_NET_FRAME_EXTENTS") or [0, 0, 0, 0]
        x, y = -origin.x, -origin.y
        return (x - left, y - top, x + geometry.width + right, y + geometry.height + bottom)

    def wait(self, predicate, what):
        return harness.wait_until(lambda: predicate(), 30, what)

    def end(self):
        harness.stop_process(self.process)


@pytest.fixture
def window(desktop, tavrin):
    w = Window(desktop)
    yield w
    w.end()


MAXIMIZED = {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"}


def test_maximize_toggles_and_minimize_hides(window, phone):
    phone.send("window maximize\n")
    window.wait(lambda: MAXIMIZED <= window.states(), "the window maximized")
    phone.send("window maximize\n")
    window.wait(lambda: not MAXIMIZED & window.states(), "the window restored")
    phone.send("window minimize\n")
    window.wait(lambda: "_NET_WM_STATE_HIDDEN" in window.states(), "the window minimized")


def test_zoom_steps_the_frame_by_30_within_the_work_area(window, phone):
    before = window.frame()
    phone.send("zoomout\n")
    window.wait(lambda: window.frame() == (before[0] + 30, before[1] + 30, before[2] - 30, before[3] - 30),
                "the frame 30 smaller on each side (it is %s, was %s)" % (window.frame(), before))
    phone.send("zoomin\n")
    window.wait(lambda: window.frame() == before, "the frame back as it was")
    # Grown past the work area, it is maximized instead.
    for _ in range(30):
        phone.send("zoomin\n")
    window.wait(lambda: MAXIMIZED <= window.states(), "the window maximized at the work area's size")


def test_close_asks_the_window_and_show_desktop_toggles(window, phone):
    root = window.x.screen().root
    phone.send("window close\n")
    assert window.line() == "close asked"
    for expected in (1, 0):
        phone.send("slidedown\n")
        window.wait(lambda: window.atoms("_NET_SHOWING_DESKTOP", root) == [expected],
                    "showing the desktop to be %d" % expected)


def test_slides_open_the_window_managers_switcher_and_let_it_go(window, phone):
    def switching():
        # While openbox walks its windows, it holds the keyboard.
        taken = window.x.screen().root.grab_keyboard(False, X.GrabModeAsync, X.GrabModeAsync, X.CurrentTime)
        if taken == X.GrabSuccess:
            window.x.ungrab_keyboard(X.CurrentTime)
            window.x.sync()
        return taken == X.AlreadyGrabbed

    phone.send("slide begin\nslideright\nslideleft\n")
    # A grab of ours before openbox's would take the Tab from it: first Alt
    # held, then a moment for the keys after it.
    alt = window.x.keysym_to_keycode(0xFFE9)
    window.wait(lambda: window.x.query_keymap()[alt // 8] >> (alt % 8) & 1, "Alt held")
    time.sleep(0.3)
    assert switching()
    phone.send("slide end\n")
    window.wait(lambda: not switching(), "the switcher to close when Alt is let go")


def presenter_keys(window, phone):
    """The keys the presenter commands bring to `window`, in front."""
    for command in ("ppt pgdn", "ppt pgup", "ppt play", "ppt stop"):
        phone.send(command + "\n")
    phone.key("F12")  # a sentinel: the commands before it are done
    keys = []
    while keys[-1:] != ["ffc9"]:
        line = window.line()
        if line.startswith("key "):
            keys.append(line.split()[1])
    return keys[:-1]


def test_presenter_keys_go_to_libreoffice_impress_only(desktop, window, phone):
    assert presenter_keys(window, phone) == []
    impress = Window(desktop, "libreoffice", "libreoffice-impress")
    try:
        # Page Down, Page Up, F5, Escape.
        assert presenter_keys(impress, phone) == ["ff56", "ff55", "ffc2", "ff1b"]
    finally:
        impress.end()


def test_its_own_window_is_never_a_target(desktop, tavrin, phone):
    x = display.Display(desktop.display)
    own = harness.wait_until(lambda: window_named(x, "Tavrin", "_NET_WM_WINDOW_TYPE_NORMAL"), 30, "tavrin's window")
    activate(x, own)
    phone.send("window minimize\n")
    phone.send("window maximize\n")
    phone.send("Msg||own window handled||\n")  # a sentinel: the commands before it are done
    notified(desktop, "own window handled")
    state = own.get_full_property(x.intern_atom("_NET_WM_STATE"), X.AnyPropertyType)
    assert not {x.get_atom_name(a) for a in (state.value if state else [])} & (MAXIMIZED | {"_NET_WM_STATE_HIDDEN"})
