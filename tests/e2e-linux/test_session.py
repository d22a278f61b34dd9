"""tavrin and the session around it: a locked session takes no input from
phones, a phone's shutdown waits for the user's yes, a phone's message
becomes a desktop notification."""

import time

import dbus
from Xlib import X, XK, display
from Xlib.protocol import event
from Xlib.error import XError
from Xlib.ext import xtest

from conftest import MOCK_INTERFACE, calls, harness

XK_Shift_L = 0xFFE1
SESSION = "org.freedesktop.login1.Session"


def notified(desktop, title):
    """Waits for the notification of a phone message titled `title`: what
    the phone sent before it has been handled by then."""
    return harness.wait_until(
        lambda: [c for c in calls(desktop.notifications, "Notify") if c[4] == title], 30,
        "the notification %r" % title)


def test_a_locked_session_takes_no_input_and_lets_held_keys_go(desktop, recorder, tavrin, phone):
    mark = recorder.mark()
    phone.key("[R] SHIFT d")
    assert [(r["keysym"], r["down"]) for r in recorder.since(mark, phone) if r["event"] == "key"] == [
        (XK_Shift_L, True)]

    mark = recorder.mark()
    desktop.session.SetLockedHint(True, dbus_interface=SESSION)
    harness.wait_until(lambda: recorder.find(lambda r: r["event"] == "key" and r["keysym"] == XK_Shift_L
                                             and not r["down"], mark), 30, "Shift let go at the lock")
    try:
        mark = recorder.mark()
        phone.key("a [R] CTRL d")
        phone.send("utf8 Привет\n")
        phone.mos("m 5 5 c R r d")
        phone.send("Msg||handled while locked||\n")
        notified(desktop, "handled while locked")
        time.sleep(0.2)  # anything that did get through would have arrived
        assert recorder.records[mark:] == []
    finally:
        desktop.session.SetLockedHint(False, dbus_interface=SESSION)
    harness.wait_until(lambda: "the session is unlocked" in tavrin.log.read_text().split("the session is locked")[-1],
                       30, "tavrin to see the unlock")
    mark = recorder.mark()
    phone.key("b")
    assert [r["text"] for r in recorder.since(mark, phone) if r["event"] == "key" and r["down"]] == ["b"]


def test_phone_messages_become_notifications_and_a_click_opens_only_links(desktop, phone):
    before = len(desktop.opened_links())
    phone.send("Msg||<b>Hi</b> & <a href='x'>you</a>||http://example.org/a?b=1&c\n")
    phone.send("Msg||a program||/usr/bin/xterm\n")
    link = notified(desktop, "&lt;b&gt;Hi&lt;/b&gt; &amp; &lt;a href='x'&gt;you&lt;/a&gt;")[0]
    program = notified(desktop, "a program")[0]
    assert link[3] == "Message from Quillo"
    assert (link[5], program[5]) == (["default", "Open"], [])
    # Notification ids count up from 1 in the stand-in.
    ids = {call[4]: index + 1 for index, call in enumerate(calls(desktop.notifications, "Notify"))}
    for title in ("a program", link[4]):
        desktop.notifications.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us",
                                         [dbus.UInt32(ids[title]), "default"], dbus_interface=MOCK_INTERFACE)
    harness.wait_until(lambda: len(desktop.opened_links()) > before, 30, "xdg-open")
    time.sleep(0.2)
    assert desktop.opened_links()[before:] == ["http://example.org/a?b=1&c"]


def test_a_notification_daemon_that_comes_back_is_used_again(desktop, phone):
    before = len(desktop.opened_links())
    # Each daemon counts its ids from 1: the old daemon's link and the new
    # daemon's plain message have the same id.
    for messages in (["old link||http://example.org/old"], ["plain after||", "new link||http://example.org/new"]):
        harness.stop_process(desktop.notifications_process)
        desktop.start_notifications()
        for message in messages:
            phone.send("Msg||%s\n" % message)
        notified(desktop, messages[-1].split("||")[0])
    for id in (1, 2):
        desktop.notifications.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us",
                                         [dbus.UInt32(id), "default"], dbus_interface=MOCK_INTERFACE)
    harness.wait_until(lambda: len(desktop.opened_links()) > before, 30, "xdg-open")
    time.sleep(0.2)
    assert desktop.opened_links()[before:] == ["http://example.org/new"]


def window_named(x, name, kind="_NET_WM_WINDOW_TYPE_DIALOG"):
    """A managed window of that name and type, or None."""
    clients = x.screen().root.get_full_property(x.intern_atom("_NET_CLIENT_LIST"), X.AnyPropertyType)
    for id in clients.value if clients else []:
        window = x.create_resource_object("window", id)
        try:
            types = window.get_full_property(x.intern_atom("_NET_WM_WINDOW_TYPE"), X.AnyPropertyType)
            if types and x.intern_atom(kind) in types.value and window.get_wm_name() == name:
                return window
        except XError:  # the window went in the meantime
            pass
    return None


def activate(x, window):
    """Asks the window manager to give `window` the focus, as a click would."""
    root = x.screen().root
    message = event.ClientMessage(window=window, client_type=x.intern_atom("_NET_ACTIVE_WINDOW"),
                                  data=(32, [2, X.CurrentTime, 0, 0, 0]))
    root.send_event(message, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
    x.sync()

    def active():
        value = root.get_full_property(x.intern_atom("_NET_ACTIVE_WINDOW"), X.AnyPropertyType)
        return value and value.value[0] == window.id
    harness.wait_until(active, 30, "%s to have the focus" % window.get_wm_name())


def dialog(x):
    """The shutdown question."""
    return window_named(x, "Tavrin")


def answer(x, window, *keys):
    """Presses keys in the question once it has the focus."""
    activate(x, window)
    for key in keys:
        press(x, key)


def press(x, *names):
    codes = [x.keysym_to_keycode(XK.string_to_keysym(name)) for name in names]
    for code in codes:
        xtest.fake_input(x, X.KeyPress, code)
    for code in reversed(codes):
        xtest.fake_input(x, X.KeyRelease, code)
    x.sync()


def test_shutdown_waits_for_the_users_yes_and_cancel_is_the_default(desktop, phone):
    x = display.Display(desktop.display)
    phone.send("shutdown\n")
    answer(x, harness.wait_until(lambda: dialog(x), 30, "the shutdown question", interval=0.1), "Return")
    harness.wait_until(lambda: not dialog(x), 30, "the question to go", interval=0.1)
    phone.send("shutdown\n")
    question = harness.wait_until(lambda: dialog(x), 30, "the shutdown question again", interval=0.1)
    assert calls(desktop.logind, "PowerOff") == []
    answer(x, question, "Tab", "space")  # from Cancel, which has the focus, to OK
    harness.wait_until(lambda: calls(desktop.logind, "PowerOff"), 30, "logind's PowerOff")
    assert calls(desktop.logind, "PowerOff") == [[dbus.Boolean(True)]]
