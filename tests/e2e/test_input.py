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
    (["key RTN UP"], ["key 0d down", "key 0d up", "key 26 down", "key 26 up"]),
    (["key CTRL[+]w"], ["key 11 down", "key 57 down", "key 57 up", "key 11 up"]),
    (["key [R] SHIFT d", "key a", "key [R] SHIFT u"],
     ["key 10 down", "key 41 down", "key 41 up", "key 10 up"]),
    (["key esc Ctrl word"], []),  # not key names
], ids=["letter", "shifted", "two-spaces", "named", "combination", "hold-release", "not-names"])
def test_key_messages(phone, observer, writes, expected):
    assert run(phone, observer, *writes) == expected


@pytest.mark.parametrize("writes, expected", [
    (["MUTE"], ["key ad down", "key ad up"]),
    (["media play", "browser back"], ["key b3 down", "key b3 up", "key a6 down", "key a6 up"]),
    (["browser closetab"], ["key 11 down", "key 57 down", "key 57 up", "key 11 up"]),
    (["Mute", "media"], []),  # wrong case, no such word
    ([b"MUTE\r\nMUTEX\n"], ["key ad down", "key ad up", "key ad down", "key ad up"]),  # prefixes match
], ids=["media-key", "media-browser", "browser-tab", "ignored", "prefix"])
def test_text_commands(phone, observer, writes, expected):
    assert run(phone, observer, *writes) == expected


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
