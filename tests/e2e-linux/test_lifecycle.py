"""Start and end of tavrin on an X desktop: the keyboard map it leaves, one
copy per display, no display at all, and its place in the tray: the tray
host that comes and goes, the menu through dbusmenu."""

import re
import signal
import socket
import subprocess
import time
from pathlib import Path

import pytest
import dbus
from Xlib import display

from conftest import BUILD, ROOT, Tavrin, calls, harness, quillo_sim
from test_session import activate, press, window_named

CYRILLIC = "Жёлтый чайник"
XK_F13 = 0xFFCA


def type_text(recorder, text):
    with quillo_sim.Phone() as phone:
        phone.read_greeting()
        mark = recorder.mark()
        phone.send(("utf8 %s\n" % text).encode())
        records = recorder.since(mark, phone)
    return "".join(r["text"] for r in records if r["event"] == "key" and r["down"])


def changed(before, after):
    return {code: (before.get(code), row) for code, row in after.items() if before.get(code) != row}


def test_keyboard_map_is_restored_at_exit_and_leftovers_cleared_at_start(desktop, recorder):
    before = desktop.keymap()
    program = Tavrin(desktop, "tavrin-keymap")
    assert type_text(recorder, CYRILLIC) == CYRILLIC
    bound = changed(before, desktop.keymap())  # the bindings stand while it runs
    # The user binds one of its keys meanwhile: that key is the user's now.
    taken = sorted(bound)[0]
    x = display.Display(desktop.display)
    x.change_keyboard_mapping(int(taken), [(XK_F13,) * len(bound[taken][1])])
    x.sync()
    assert type_text(recorder, CYRILLIC + CYRILLIC.upper()) == CYRILLIC + CYRILLIC.upper()
    assert program.stop() == 0
    left = changed(before, desktop.keymap())
    assert list(left) == [taken] and left[taken][1][0] == XK_F13
    x.change_keyboard_mapping(int(taken), [tuple(before[taken])])
    x.sync()

    # A run that ends without undoing them leaves its bindings; the next
    # start clears them before anything else.
    program = Tavrin(desktop, "tavrin-crash")
    assert type_text(recorder, CYRILLIC) == CYRILLIC
    program.process.send_signal(signal.SIGKILL)
    program.process.wait()
    assert desktop.keymap() != before
    program = Tavrin(desktop, "tavrin-after-crash")
    assert desktop.keymap() == before
    assert type_text(recorder, CYRILLIC) == CYRILLIC
    assert program.stop() == 0
    assert desktop.keymap() == before


def test_one_copy_per_display_in_a_wayland_session_said_once(desktop, recorder):
    wayland = dict(desktop.env, XDG_SESSION_TYPE="wayland", WAYLAND_DISPLAY="wayland-9", QT_QPA_PLATFORM="xcb")
    start = len(desktop.tavrin_log.read_text()) if desktop.tavrin_log.exists() else 0
    first = Tavrin(desktop, "tavrin-first", env=wayland)
    try:
        second = subprocess.run([str(BUILD / "tavrin")], env=wayland, capture_output=True, text=True, timeout=10)
        assert (second.returncode, second.stderr) == (0, "")
        log = first.log.read_text()[start:]
        assert "another copy runs" in log
        assert log.count("Wayland session (WAYLAND_DISPLAY is set): only X programs can be controlled") == 1
        assert type_text(recorder, "still here") == "still here"
    finally:
        assert first.stop() == 0


def test_without_an_x_display_it_says_so_and_ends(desktop):
    env = dict(desktop.env)
    env["DISPLAY"] = ":9999"
    result = subprocess.run([str(BUILD / "tavrin")], env=env, capture_output=True, text=True, timeout=10)
    assert result.returncode == 1
    assert "cannot open the X display \":9999\"" in result.stderr


def test_the_x_server_going_away_ends_it_in_order(desktop):
    xvfb, name = harness.start_xvfb(desktop.folder / "xvfb-going.log")
    program = subprocess.Popen([str(BUILD / "tavrin")], env=dict(desktop.env, DISPLAY=name),
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        harness.wait_until(lambda: harness.port_accepts() or program.poll() is not None, 30, "tavrin's port")
        with quillo_sim.Phone() as phone:
            phone.read_greeting()
            phone.key("[R] SHIFT d")  # held: let go on a display that is gone
            phone.send("utf8 Жёлтый\n")  # bound keys: the map went with the server
            phone.key("F12")
            time.sleep(0.2)
            harness.stop_process(xvfb)
            assert program.wait(timeout=20) == 1
    finally:
        harness.stop_process(program)
        harness.stop_process(xvfb)
    assert "the X server of display %s went away; ending" % name in program.stderr.read()
    tail = desktop.tavrin_log.read_text().splitlines()[-2:]
    assert tail[0].endswith("the X server of display %s went away; ending" % name), tail
    assert tail[1].endswith("Tavrin ended"), tail


def test_ask_first_prompts_with_deny_as_default_and_remembers_always_allow(desktop, recorder):
    settings = Path(desktop.env["XDG_CONFIG_HOME"]) / "tavrin"
    settings.mkdir(parents=True, exist_ok=True)
    (settings / "ask-first").write_text("on\n")
    x = display.Display(desktop.display)
    program = Tavrin(desktop, "tavrin-ask")
    try:
        with quillo_sim.Phone() as allowed:
            allowed.read_greeting()
            prompt = harness.wait_until(lambda: window_named(x, "Tavrin - New Phone"), 30, "the prompt")
            time.sleep(1.2)  # the allowing buttons wait a second
            activate(x, prompt)
            for key in ("Tab", "Tab", "space"):  # from Deny past Allow to Always Allow
                press(x, key)
            harness.wait_until(lambda: "phone 127.0.0.1 allowed" in program.log.read_text(), 30, "the phone allowed")
        # Another address: the first is on the allow list now.
        with socket.socket() as denied:
            denied.bind(("127.0.0.2", 0))
            denied.connect(("127.0.0.1", 1978))
            prompt = harness.wait_until(lambda: window_named(x, "Tavrin - New Phone"), 30, "the prompt again")
            activate(x, prompt)
            press(x, "Return")
            denied.settimeout(30)
            assert denied.recv(4096).startswith(b"system windows")
            while denied.recv(4096):  # until the server closes it
                pass
        harness.wait_until(lambda: "phone 127.0.0.2 denied" in program.log.read_text(), 30, "the phone denied")
        assert (settings / "allowed-phones").read_text() == "ip:127.0.0.1\n"
    finally:
        (settings / "ask-first").unlink()
        (settings / "allowed-phones").unlink(missing_ok=True)
        assert program.stop() == 0


DBUSMENU = "com.canonical.dbusmenu"


def menu_items(desktop, item):
    """The icon's menu as a tray host finds it, and its items' ids by their
    labels' path ("Quillo/iPhone/Quillo Pro"), in menu order."""
    path = desktop.session_bus.get_object(item, "/StatusNotifierItem").Get(
        "org.kde.StatusNotifierItem", "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
    menu = desktop.session_bus.get_object(item, path)
    ids = {}

    def walk(node, parent):
        for child in node[2]:
            label = parent + str(child[1].get("label", "")).replace("_", "")
            ids[label] = int(child[0])
            walk(child, label + "/")
    walk(menu.GetLayout(0, -1, [], dbus_interface=DBUSMENU)[1], "")
    # No waiting for the answer: About answers once its box is closed.
    return lambda id: menu.Event(id, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                                 dbus_interface=DBUSMENU, ignore_reply=True), ids


def test_the_tray_menu_through_dbusmenu_and_a_tray_host_that_comes_back(desktop):
    x = display.Display(desktop.display)
    program = Tavrin(desktop, "tavrin-tray", args=["--install"])
    autostart = Path(desktop.env["XDG_CONFIG_HOME"]) / "autostart" / "tavrin.desktop"
    small_window = lambda: window_named(x, "Tavrin", "_NET_WM_WINDOW_TYPE_NORMAL")
    watcher = None
    try:
        assert "\nExec=%s\n" % program.program in autostart.read_text()
        # Started before the panel, as at logon: the small window until then.
        harness.wait_until(small_window, 30, "the small window")
        watcher = desktop.start_tray_watcher()
        item = harness.wait_until(lambda: calls(watcher[1], "RegisterStatusNotifierItem"), 30, "the icon registered")
        harness.wait_until(lambda: not small_window(), 30, "the small window to go")
        click, ids = menu_items(desktop, item[0][0])
        click(ids["Auto Run"])
        harness.wait_until(lambda: not autostart.exists(), 30, "Auto Run to be turned off")
        # The store pages, in menu order as links.h lists them.
        before = len(desktop.opened_links())
        stores = re.findall(r'TAVRIN_STORE_\w+_URL "([^"]*)"', (ROOT / "shell" / "links.h").read_text())
        for link in [id for label, id in ids.items() if label.count("/") == 2 and label.startswith("Quillo/")]:
            click(link)
            harness.wait_until(lambda: len(desktop.opened_links()) > before, 30, "xdg-open")
            before += 1
        assert desktop.opened_links()[-len(stores):] == stores
        click(ids["About"])
        activate(x, harness.wait_until(lambda: window_named(x, "About Tavrin"), 30, "the about box"))
        press(x, "Return")
        harness.wait_until(lambda: not window_named(x, "About Tavrin"), 30, "the about box to close")

        # The host goes: the small window stands in until it is back.
        harness.stop_process(watcher[0])
        harness.wait_until(small_window, 30, "the small window")
        watcher = desktop.start_tray_watcher()
        assert harness.wait_until(lambda: calls(watcher[1], "RegisterStatusNotifierItem"), 30, "again") == item
        harness.wait_until(lambda: not small_window(), 30, "it to go")
        click(ids["Exit"])
        assert program.process.wait(timeout=10) == 0
    finally:
        harness.stop_process(program.process)
        if watcher:
            harness.stop_process(watcher[0])
