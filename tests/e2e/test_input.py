"""Mouse and keyboard messages from a phone, as the rest of the desktop sees
them: each test sends its bytes, then sentinel keys (see ObserverView.sync),
and compares every injected event that the observer logged in between."""

import pytest


def run(phone, observer, *writes):
    """Sends each write on its own, waits until all their events are logged
    and returns them."""
    for data in writes:
        phone.send_item(data) if isinstance(data, str) else phone.send(data)
    observer.sync(phone)
    return observer.events()


@pytest.mark.parametrize("writes, expected", [
    (["mos m 5 -3"], ["move 5 -3"]),
    (["mos m 4 -2 m 3 0 m -1 5"], ["move 4 -2", "move 3 0", "move -1 5"]),
    (["mos m 5"], []),  # a move cut off at the end of its message is dropped
    (["mos c c"], ["left down", "left up", "left down", "left up"]),
    (["mos R r d R r u R m d R m u"], ["right down", "right up", "middle down", "middle up"]),
    (["drag start", "drag 12 -3", "drag -4 7", "drag end"],
     ["left down", "move 12 -3", "move -4 7", "left up"]),
], ids=["move", "moves", "cut-move", "clicks", "buttons", "drag"])
def test_mouse_messages(phone, observer, writes, expected):
    assert run(phone, observer, *writes) == expected


@pytest.mark.parametrize("writes, expected", [
    (["key a"], ["key 41 down", "key 41 up"]),
    (["key A"], ["key 10 down", "key 41 down", "key 41 up", "key 10 up"]),
    (["key a  b"], ["key 41 down", "key 41 up", "key 20 down", "key 20 up", "key 42 down", "key 42 up"]),
    (["key RTN UP"], ["key 0d down", "key 0d up", "key 26 down ext", "key 26 up ext"]),
    (["key @ /"], ["key 10 down", "key 32 down", "key 32 up", "key 10 up", "key bf down", "key bf up"]),
    (["key CTRL[+]w"], ["key 11 down", "key 57 down", "key 57 up", "key 11 up"]),
    (["key [R] SHIFT d", "key a", "key [R] SHIFT u"],
     ["key 10 down", "key 41 down", "key 41 up", "key 10 up"]),
    (["key esc Ctrl word"], []),  # not key names
], ids=["letter", "shifted", "two-spaces", "named", "punctuation", "combination", "hold-release", "not-names"])
def test_key_messages(phone, observer, writes, expected):
    assert run(phone, observer, *writes) == expected


@pytest.mark.parametrize("writes, expected", [
    (["MUTE"], ["key ad down ext", "key ad up ext"]),
    (["media play", "browser back"], ["key b3 down ext", "key b3 up ext", "key a6 down ext", "key a6 up ext"]),
    (["browser closetab"], ["key 11 down", "key 57 down", "key 57 up", "key 11 up"]),
    (["Mute", "media"], []),  # wrong case, no such word
    ([b"MUTE\r\nMUTEX\n"], ["key ad down ext", "key ad up ext", "key ad down ext", "key ad up ext"]),  # prefixes match
], ids=["media-key", "media-browser", "browser-tab", "ignored", "prefix"])
def test_text_commands(phone, observer, writes, expected):
    assert run(phone, observer, *writes) == expected


def test_keys_carry_the_layouts_scan_code_and_the_extended_flag(phone, observer):
    # Scan codes from Wine's US layout; the extended flag from the program's
    # own table, since Wine's layout never reports the E0 prefix.
    keys = [("41", "1e", ""), ("5a", "2c", ""), ("26", "48", " ext"), ("28", "50", " ext"), ("25", "4b", " ext"),
            ("27", "4d", " ext"), ("24", "47", " ext"), ("23", "4f", " ext"), ("2d", "52", " ext"),
            ("2e", "53", " ext"), ("21", "49", " ext"), ("22", "51", " ext")]
    run(phone, observer, "key a z UP DW LF RT HOME END INS DEL PGUP PGDN")
    assert observer.events(scan_codes=True) == [
        "key %s %s sc %s%s" % (vk, edge, scan, ext) for vk, scan, ext in keys for edge in ("down", "up")]


def test_wheel_steps_are_batched_into_one_notch(phone, observer):
    # Nine steps stay in the accumulator; the tenth, in a later receive, makes
    # that receive's flush inject one notch.
    assert run(phone, observer, "mos " + " ".join(["w 1"] * 9)) == []
    assert run(phone, observer, "mos w 1") == ["wheel 120"]


def test_a_frame_split_over_writes_waits_for_its_payload(phone, observer):
    assert run(phone, observer, b"mo", b"s006m 5", b" -3") == ["move 5 -3"]


def test_held_key_and_button_are_released_newest_first_when_the_phone_resets(phone, phones, observer):
    run(phone, observer, "key [R] CTRL d", "mos R l d")
    assert observer.events() == ["key 11 down", "left down"]
    phone.reset()
    observer.wait_count("key 11 up", 1)
    # A second phone's sentinel shows that nothing else followed.
    other = phones()
    other.read_greeting(idle=0.05)
    observer.sync(other)
    assert observer.events() == ["key 11 down", "left down", "left up", "key 11 up"]
