"""Who controls the computer, as the person at it sees it: the "Phones"
submenu with each phone's Disconnect, Pause Phones, and the prompt of "Ask
Before a New Phone Connects". The menu is driven by its command identifiers;
the prompt is answered with findbox.exe, as a click on its buttons.

TAVRIN_SCREENSHOTS=1 also saves the Phones submenu and the prompt to
docs/screenshots/."""

import time
from pathlib import Path

import pytest

import tavrin_harness as harness
from conftest import test_log_dir
from test_shell import (VK_ESCAPE, WM_KEYDOWN, WM_RBUTTONDOWN, Windows, grow,
                        screenshot, screenshots_wanted, tray)

WM_COMMAND = 0x0111
IDM_PAUSE_PHONES, IDM_ASK_FIRST, IDM_DISCONNECT_FIRST = 32801, 32802, 33000
ALLOW, ALWAYS_ALLOW, DENY = 1002, 1003, 1004
PROMPT = "Tavrin - New Phone"
SETTINGS_KEY = r"HKCU\Software\Tavrin"


@pytest.fixture
def windows(desktop, build, request):
    return Windows(desktop, build, test_log_dir(request))


@pytest.fixture
def clean_settings(desktop, request):
    """No "Ask" setting and no allowed phones, before and after the test."""
    log = test_log_dir(request) / "reg.log"
    desktop.run("reg", "delete", SETTINGS_KEY, "/f", log=log)
    yield
    desktop.run("reg", "delete", SETTINGS_KEY, "/f", log=log)


class Prompt:
    """The prompt before a new phone, through findbox.exe."""

    def __init__(self, desktop, build, folder):
        self.desktop, self.build, self.folder = desktop, build, Path(folder)
        self.calls = 0

    def find(self, *options, wait_ms=10000):
        return self.start_find(*options, wait_ms=wait_ms)()

    def start_find(self, *options, wait_ms=10000):
        """Starts looking before what is looked for happens (a program may
        take longer than the prompt's first second to start on a busy
        machine); the call returned waits for the answer."""
        self.calls += 1
        out = self.folder / ("prompt-%d.txt" % self.calls)
        out.unlink(missing_ok=True)
        process = self.desktop.start(self.build.helper("findbox.exe"), self.desktop.winpath(out), PROMPT,
                                     "--wait", wait_ms, *options, log=self.folder / "findbox.log")

        def answer():
            code = self.desktop._finish(process, wait_ms / 1000 + 30, "findbox.exe")
            return code, out.read_text(errors="replace").splitlines() if out.exists() else []
        # findbox opens its output file before it starts looking.
        harness.wait_until(out.exists, 30, "findbox.exe to start", interval=0.05)
        return answer

    def press(self, button):
        """Clicks `button` once it can be clicked: the allow buttons are
        disabled for a second after the prompt shows a phone."""
        harness.wait_until(lambda: not self.disabled(self.find()[1], button), 10, "button %d to be enabled" % button,
                           interval=0.1)
        code, lines = self.find("--press", button)
        assert code == 0, "no prompt to answer (findbox exit %d)" % code
        return lines

    @staticmethod
    def disabled(lines, button):
        return any(line.startswith("button %d " % button) and line.endswith("(disabled)") for line in lines)

    def gone(self):
        harness.wait_until(lambda: self.find(wait_ms=0)[0] == 2, 10, "the prompt to close")


@pytest.fixture
def prompt(desktop, build, request):
    return Prompt(desktop, build, test_log_dir(request))


def phone_with_greeting(phones):
    phone = phones()
    phone.read_greeting(idle=0.05)
    return phone


def closed(phone, timeout=10):
    harness.wait_until(lambda: phone.closed_by_server(), timeout, "the server to close the phone's connection")


def test_ask_holds_a_new_phone_until_allowed_and_deny_closes_it(clean_settings, start_tavrin, phones, observer,
                                                                 prompt, desktop, windows):
    tavrin = start_tavrin()
    assert tavrin.post(WM_COMMAND, IDM_ASK_FIRST, 0) == 0
    first = phone_with_greeting(phones)  # greeted as usual
    first.send_item("mos m 3 2")         # no effect: nobody has allowed it yet
    code, lines = prompt.find()
    assert code == 0, "no prompt for the new phone"
    assert any("127.0.0.1" in line for line in lines), lines
    assert "default %d" % DENY in lines, lines
    if screenshots_wanted():
        own, _ = windows.find("--title", PROMPT)
        screenshot(desktop, "phone-prompt.png", grow(own["rect"], 8))

    # A second new phone waits without a prompt of its own.
    second = phone_with_greeting(phones)
    assert prompt.find(wait_ms=0)[1][0] == "count 1"

    assert "clicked Allow" in prompt.press(ALLOW)
    observer.sync(first, rounds=1)
    first.send_item("mos m 1 1")
    observer.sync(first, rounds=1)
    assert observer.events() == ["move 1 1"], "input from before the answer had an effect"

    # The prompt moves on to the second phone; Deny closes its connection.
    prompt.press(DENY)
    closed(second)
    prompt.gone()
    assert not first.closed_by_server()
    # A phone that leaves while it is asked about takes its prompt with it.
    # (From the test network's address: 127.0.0.1 is denied until a restart.)
    third = phones(host="10.77.0.1")
    third.read_greeting(idle=0.05)
    assert prompt.find()[0] == 0
    third.close()
    prompt.gone()


def test_always_allow_survives_a_restart(clean_settings, start_tavrin, phones, observer, prompt, desktop):
    tavrin = start_tavrin()
    assert tavrin.post(WM_COMMAND, IDM_ASK_FIRST, 0) == 0
    phone = phone_with_greeting(phones)
    prompt.press(ALWAYS_ALLOW)
    observer.sync(phone, rounds=1)
    stored = desktop.reg_query(SETTINGS_KEY, "AllowedPhones")
    assert stored and stored[0] == "REG_MULTI_SZ" and "127.0.0.1" in stored[1], stored
    tavrin.stop()

    start_tavrin()  # "Ask" is still on, read from the user's settings
    again = phone_with_greeting(phones)
    again.send_item("mos m 2 3")
    observer.sync(again, rounds=1)
    assert "move 2 3" in observer.events()
    assert prompt.find(wait_ms=0)[0] == 2, "a remembered phone was asked about again"


def test_pause_drops_input_and_releases_what_phones_hold(clean_settings, tavrin, phones, observer):
    phone = phone_with_greeting(phones)
    phone.send_item("key [R] CTRL d")
    observer.sync(phone, rounds=1)
    assert tavrin.post(WM_COMMAND, IDM_PAUSE_PHONES, 0) == 0
    observer.wait_for(lambda lines: "key 11 up" in lines, what="Ctrl released by the pause")
    phone.send_item("mos m 4 1")
    # Nothing can confirm that dropped input was handled; give the worker
    # time to read it before input counts again.
    time.sleep(1)
    assert not phone.closed_by_server(), "pausing closed the connection"
    assert tavrin.post(WM_COMMAND, IDM_PAUSE_PHONES, 0) == 0
    phone.send_item("mos m 1 2")
    observer.sync(phone, rounds=1)
    events = observer.events()
    assert "move 4 1" not in events and events[-1] == "move 1 2", events


def test_disconnect_from_the_menu_closes_the_connection_and_releases_it(clean_settings, tavrin, phones, observer,
                                                                        desktop, windows):
    first = phone_with_greeting(phones)
    second = phone_with_greeting(phones)
    second.send_item("mos R l d")
    observer.sync(second, rounds=1)
    if screenshots_wanted():
        assert tray(tavrin, WM_RBUTTONDOWN) == 0
        menu, _ = windows.find("--class", "#32768", post=[WM_KEYDOWN, ord("P"), 0])
        harness.wait_until(lambda: len([w for w in windows.visible() if w["class"] == "#32768"]) == 2, 5,
                           "the Phones submenu to open")
        menus = [w["rect"] for w in windows.visible() if w["class"] == "#32768"]
        box = (min(r[0] for r in menus), min(r[1] for r in menus), max(r[2] for r in menus),
               max(r[3] for r in menus))
        screenshot(desktop, "phones-menu.png", grow(box, 8))
        for _ in menus:
            windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
        windows.gone("--class", "#32768")
    # Without a menu open, a Disconnect command names no phone.
    assert tavrin.post(WM_COMMAND, IDM_DISCONNECT_FIRST + 1, 0) == 0
    observer.sync(second, rounds=1)
    assert not second.closed_by_server()
    # The second phone of the menu that is open.
    assert tray(tavrin, WM_RBUTTONDOWN) == 0
    windows.find("--class", "#32768")
    assert tavrin.post(WM_COMMAND, IDM_DISCONNECT_FIRST + 1, 0) == 0
    closed(second)
    windows.find("--class", "#32768", post=[WM_KEYDOWN, VK_ESCAPE, 0])
    windows.gone("--class", "#32768")
    observer.wait_for(lambda lines: "left up" in lines, what="the button released")
    assert not first.closed_by_server()
    observer.sync(first, rounds=1)


def program_log(desktop):
    found = sorted(desktop.drive_c().glob("users/*/AppData/Local/Tavrin/tavrin.log"))
    return found[0].read_bytes() if found else b""


def test_no_keystroke_or_early_click_answers_the_prompt(clean_settings, start_tavrin, phones, observer, prompt,
                                                        desktop, build):
    tavrin = start_tavrin()
    assert tavrin.post(WM_COMMAND, IDM_ASK_FIRST, 0) == 0
    # A click in the prompt's first moments is not taken: it was aimed at
    # whatever was there before.
    pressed = prompt.start_find("--press", ALLOW)
    phone = phone_with_greeting(phones)
    code, lines = pressed()
    assert code == 0 and prompt.disabled(lines, ALLOW) and prompt.disabled(lines, ALWAYS_ALLOW), lines
    assert not prompt.disabled(lines, DENY), lines
    # It came up without taking the keyboard from the window in front.
    assert "foreground 0" in lines, lines

    # Someone typing in the prompt, its buttons live: letters of the old
    # access keys ("a" Allow, "l" Always Allow) and a word answer nothing.
    harness.wait_until(lambda: not prompt.disabled(prompt.find()[1], ALLOW), 10, "Allow to be enabled")
    code, lines = prompt.find("--activate")
    assert code == 0 and "foreground 1" in lines, lines
    keys = []
    for letter in "alwhello":
        keys += ["k%02X" % ord(letter.upper()), "k%02X^" % ord(letter.upper())]
    assert desktop.run_program(build.helper("inject.exe"), *keys) == 0
    code, lines = prompt.find(wait_ms=0)
    assert code == 0 and lines[0] == "count 1", lines
    assert desktop.reg_query(SETTINGS_KEY, "AllowedPhones") is None
    phone.send_item("mos m 3 2")  # still waiting: dropped

    prompt.press(ALLOW)
    phone.send_item("mos m 1 2")
    observer.sync(phone, rounds=1)
    events = observer.events()
    assert "move 1 2" in events and "move 3 2" not in events, "a keystroke let the phone in"


def test_waiting_phones_are_bounded_per_address_and_in_time(clean_settings, start_tavrin, phones, prompt, desktop,
                                                            request):
    desktop.run("reg", "add", SETTINGS_KEY, "/v", "AskTimeoutSeconds", "/t", "REG_DWORD", "/d", "8", "/f",
                log=test_log_dir(request) / "reg.log")
    tavrin = start_tavrin()
    assert tavrin.post(WM_COMMAND, IDM_ASK_FIRST, 0) == 0
    first = phones(host="10.77.0.1")
    first.read_greeting(idle=0.05)
    assert prompt.find()[0] == 0
    second = phones(host="10.77.0.1")
    second.read_greeting(idle=0.05)
    third = phones(host="10.77.0.1")
    third.read_greeting(idle=0.05)
    closed(third, timeout=5)  # a third from one address does not wait
    assert not first.closed_by_server() and not second.closed_by_server()

    # The phone asked about leaves: the same window asks about the next one,
    # says so, and its allow buttons wait again.
    harness.wait_until(lambda: not prompt.disabled(prompt.find()[1], ALLOW), 10, "Allow to be enabled")
    changed = prompt.start_find("--until", "another phone")
    first.close()
    code, lines = changed()
    assert code == 0 and prompt.disabled(lines, ALLOW) and prompt.disabled(lines, ALWAYS_ALLOW), lines

    # Nobody answers: the phone is closed when its time is up, the prompt too.
    closed(second, timeout=15)
    prompt.gone()
    text = program_log(desktop)
    assert b"refused: this address already waits" in text and b"not answered" in text, text[-2000:]
    # Every line ends in CRLF, written as such, never doubled.
    assert b"\r\r\n" not in text and text.count(b"\r\n") == text.count(b"\n"), text[-400:]

    # A flood of phones that each wait a moment and leave: the prompt's own
    # line is counted with their connections, not written for each.
    before = len(program_log(desktop))
    for _ in range(150):
        phones().close()
    phones().read_greeting(idle=0.5)
    asked = program_log(desktop)[before:].count(b"asking the user about the phone at 127.0.0.1")
    assert asked <= 10, asked


def test_a_large_allow_list_is_read_and_its_first_entries_count(clean_settings, start_tavrin, phones, observer,
                                                                prompt, desktop, request):
    # Written by another program: 5,001 entries, far more than the 64 kept.
    entries = ["ip:127.0.0.1"] + ["ip:10.9.%d.%d" % (i // 250, i % 250 + 1) for i in range(5000)]
    data = ("\0".join(entries) + "\0\0").encode("ascii")  # a REGEDIT4 file's multi-strings are 8-bit
    reg = test_log_dir(request) / "allowed.reg"
    reg.write_text("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavrin]\r\n\"AskBeforeNewPhone\"=dword:00000001\r\n"
                   "\"AllowedPhones\"=hex(7):%s\r\n" % ",".join("%02x" % b for b in data))
    assert desktop.run("reg", "import", desktop.winpath(reg), log=test_log_dir(request) / "reg.log") == 0
    start_tavrin()
    phone = phone_with_greeting(phones)
    phone.send_item("mos m 2 1")
    observer.sync(phone, rounds=1)
    assert "move 2 1" in observer.events(), "the first entry of a large list did not count"
    assert prompt.find(wait_ms=0)[0] == 2
