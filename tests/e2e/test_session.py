"""The Windows session around the program, as Windows tells it to the main
window (posted or sent here, as Windows would): the taskbar announced again,
the icon reached from the keyboard, lock, sleep, log-off, and another
session taking the screen."""

import pytest

import tavrin_harness as harness
from conftest import test_log_dir
from test_control import closed, phone_with_greeting, program_log
from test_shell import VK_ESCAPE, WM_KEYDOWN, Windows, tray, wait_balloon

WM_WTSSESSION_CHANGE = 0x02B1
WTS_CONSOLE_CONNECT, WTS_CONSOLE_DISCONNECT, WTS_SESSION_LOCK = 1, 2, 7
WM_POWERBROADCAST, PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC = 0x0218, 4, 0x12
WM_QUERYENDSESSION, WM_ENDSESSION = 0x0011, 0x0016
WM_CONTEXTMENU = 0x007B


@pytest.fixture
def windows(desktop, build, request):
    return Windows(desktop, build, test_log_dir(request))


def send(desktop, build, folder, *message):
    """Sends (not posts) a message to the main window; returns its result."""
    out = folder / "sent.txt"
    code = desktop.run_program(build.helper("postmsg.exe"), "--send", *message, log=out)
    assert code == 0, "postmsg exit %d" % code
    return out.read_text(errors="replace").split()[-1]


def test_the_taskbar_announced_again_keeps_balloons_and_the_keyboard_reaches_the_menu(
        tavrin, phone, observer, windows, desktop):
    # Explorer says "TaskbarCreated" while the icon is still there (display
    # and scaling changes do): the icon is kept and balloons still show.
    assert tavrin.post("TaskbarCreated", 0, 0) == 0
    phone.send_item("Msg||After the taskbar came back||")
    observer.sync(phone, rounds=1)
    wait_balloon(windows, "After the taskbar came back\nClick for details...", timeout=30)
    assert b"tray icon" not in program_log(desktop), "the taskbar's icon was taken for missing"

    # Win+B, the arrows and Shift+F10 on the icon: the menu opens.
    assert tray(tavrin, WM_CONTEXTMENU, at=(200, 200)) == 0
    windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
    windows.gone("--class", "#32768")


def test_lock_sleep_and_log_off_release_what_phones_hold(start_tavrin, phones, observer, desktop, build, request):
    tavrin = start_tavrin()
    phone = phone_with_greeting(phones)
    held = 0
    for notice in ((WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, "session"), (WM_POWERBROADCAST, PBT_APMSUSPEND, 0)):
        phone.send_item("key [R] CTRL d")
        phone.send_item("mos R l d")
        observer.sync(phone, rounds=1)
        held += 1
        assert tavrin.post(*notice) == 0
        observer.wait_count("key 11 up", held)
        observer.wait_count("left up", held)
    # Phones are served as before once the session is back.
    assert tavrin.post(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0) == 0
    phone.send_item("mos m 1 2")
    observer.sync(phone, rounds=1)
    assert observer.events()[-1] == "move 1 2"

    phone.send_item("key [R] CTRL d")
    phone.send_item("mos R l d")
    observer.sync(phone, rounds=1)
    folder = test_log_dir(request)
    assert send(desktop, build, folder, WM_QUERYENDSESSION, 0, 0) == "1"
    send(desktop, build, folder, WM_ENDSESSION, 1, 0)
    observer.wait_count("key 11 up", held + 1)
    observer.wait_count("left up", held + 1)
    assert tavrin.wait_exit(timeout=10) == 0
    closed(phone)


def test_another_session_on_the_screen_frees_the_ports_until_this_one_is_back(tavrin, phones, observer, desktop):
    phone = phone_with_greeting(phones)
    before = len(program_log(desktop))
    # Another session's notice is not this one's.
    assert tavrin.post(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 4242) == 0
    observer.sync(phone, rounds=1)

    assert tavrin.post(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, "session") == 0
    closed(phone)
    harness.wait_until(lambda: not harness.port_accepts(), 10, "port 1978 to be free for the other session")
    assert tavrin.post(WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, "session") == 0
    harness.wait_until(harness.port_accepts, 10, "port 1978 to be taken again")
    again = phone_with_greeting(phones)
    again.send_item("mos m 2 1")
    observer.sync(again, rounds=1)
    assert observer.events()[-1] == "move 2 1"
    # Ports given up on purpose are not a port another program holds.
    assert b"trying again" not in program_log(desktop)[before:]
