"""tavrin and the session around it: a locked session takes no input from
phones, a phone's shutdown waits for the user's yes, a phone's message
becomes a desktop notification."""

import time

import dbus
from Xlib import X, XK, display
from Xlib.error import XError
from Xlib.ext import xtest

from conftest import calls, harness

XK_Shift_L = 0xFFE1
SESSION = "org.freedesktop.login1.Session"


def notified(desktop, title):
    """Waits for the notification of a phone message titled `title`: what
    the phone sent before it has been handled by then."""
    return harness.wait_until(
        lambda: [c for c in calls(desktop.notifications, "Notify") if c[4] == title], 10,
        "the notification %r" % title)


def test_a_locked_session_takes_no_input_and_lets_held_keys_go(desktop, recorder, tavrin, phone):
    mark = recorder.mark()
    phone.key("[R] SHIFT d")
    assert [(r["keysym"], r["down"]) for r in recorder.since(mark, phone) if r["event"] == "key"] == [
        (XK_Shift_L, True)]

    mark = recorder.mark()
    desktop.session.SetLockedHint(True, dbus_interface=SESSION)
    harness.wait_until(lambda: recorder.find(lambda r: r["event"] == "key" and r["keysym"] == XK_Shift_L
                                             and not r["down"], mark), 10, "Shift let go at the lock")
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
    harness.wait_until(lambda: "the session is unlocked" in tavrin.log.read_text(), 10, "tavrin to see the unlock")
    mark = recorder.mark()
    phone.key("b")
    assert [r["text"] for r in recorder.since(mark, phone) if r["event"] == "key" and r["down"]] == ["b"]


def test_phone_messages_become_notifications_with_markup_escaped(desktop, phone):
    phone.send("Msg||<b>Hi</b> & <a href='x'>you</a>||http://example.org/\n")
    call = notified(desktop, "&lt;b&gt;Hi&lt;/b&gt; &amp; &lt;a href='x'&gt;you&lt;/a&gt;")[0]
    assert call[3] == "Message from Quillo"


def dialog(x):
    """The shutdown question once it is the active window."""
    root = x.screen().root
    active = root.get_full_property(x.intern_atom("_NET_ACTIVE_WINDOW"), X.AnyPropertyType)
    if not active or not active.value[0]:
        return None
    window = x.create_resource_object("window", active.value[0])
    try:
        kind = window.get_full_property(x.intern_atom("_NET_WM_WINDOW_TYPE"), X.AnyPropertyType)
        if kind and x.intern_atom("_NET_WM_WINDOW_TYPE_DIALOG") in kind.value and window.get_wm_name() == "Tavrin":
            return window
    except XError:  # the window went in the meantime
        pass
    return None


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
    harness.wait_until(lambda: dialog(x), 10, "the shutdown question")
    press(x, "Return")
    harness.wait_until(lambda: not dialog(x), 10, "the question to go")
    phone.send("shutdown\n")
    harness.wait_until(lambda: dialog(x), 10, "the shutdown question again")
    assert calls(desktop.logind, "PowerOff") == []
    press(x, "Tab")  # from Cancel, which has the focus, to OK
    press(x, "space")
    harness.wait_until(lambda: calls(desktop.logind, "PowerOff"), 10, "logind's PowerOff")
    assert calls(desktop.logind, "PowerOff") == [[dbus.Boolean(True)]]
