"""What a phone's messages do on an X desktop: the greeting, the pointer,
keys and text in several scripts, as an X client receives them."""

import re

from conftest import ROOT, harness, quillo_sim

XK_Shift_L, XK_Control_L = 0xFFE1, 0xFFE3
XF86_AudioMute, XF86_AudioRaiseVolume, XF86_Back = 0x1008FF12, 0x1008FF13, 0x1008FF26


def project_version():
    found = re.search(r"project\(Tavrin VERSION (\d+)\.(\d+)\.(\d+)\.(\d+)", (ROOT / "CMakeLists.txt").read_text())
    return ". ".join(found.groups())


def typed(records):
    return "".join(r["text"] for r in records if r["event"] == "key" and r["down"])


def keys(records):
    return [(r["keysym"], r["down"]) for r in records if r["event"] == "key"]


def buttons(records):
    return [(r["button"], r["down"]) for r in records if r["event"] == "button"]


def test_greets_as_the_windows_build_with_the_one_version(tavrin):
    with quillo_sim.Phone() as phone:
        greeting = phone.read_greeting()
    assert greeting == ("system windows 6.2\nversion %s\n" % project_version()).encode()


def test_pointer_moves_relatively_and_buttons_and_wheel_click(recorder, phone):
    mark = recorder.mark()
    phone.mos("m 10 10")
    phone.mos("m 3 -2")
    phone.mos("m -5 4")
    records = recorder.since(mark, phone, pointer=True)
    points = [(r["x"], r["y"]) for r in records if r["event"] == "motion"]
    assert len(points) == 3, records
    assert [(b[0] - a[0], b[1] - a[1]) for a, b in zip(points, points[1:])] == [(3, -2), (-5, 4)]

    mark = recorder.mark()
    phone.mos("c")
    phone.mos("R r d")
    phone.mos("R r u")
    phone.mos("R m d R m u")
    assert buttons(recorder.since(mark, phone, pointer=True)) == [(1, True), (1, False), (3, True), (3, False),
                                                    (2, True), (2, False)]

    # Ten steps make one notch (120), one click of button 4; 25 back steps
    # (-300) two clicks of button 5; nine steps are not yet a notch.
    mark = recorder.mark()
    phone.mos(" ".join(["w 1"] * 10))
    assert buttons(recorder.since(mark, phone, pointer=True)) == [(4, True), (4, False)]
    mark = recorder.mark()
    phone.mos(" ".join(["w 0"] * 25))
    assert buttons(recorder.since(mark, phone, pointer=True)) == [(5, True), (5, False)] * 2
    mark = recorder.mark()
    phone.mos(" ".join(["w 1"] * 9))
    assert buttons(recorder.since(mark, phone, pointer=True)) == []


def test_keys_by_name_with_shift_combinations_and_held_keys(recorder, phone):
    mark = recorder.mark()
    phone.key("a A ! 1 F5 RTN ESC SPC")
    records = recorder.since(mark, phone)
    assert typed(records) == "aA!1\n "
    shift_downs = [r for r in records if r["event"] == "key" and r["keysym"] == XK_Shift_L and r["down"]]
    assert len(shift_downs) == 2  # around "A" and "!" only

    mark = recorder.mark()
    phone.key("CTRL[+]a")
    records = recorder.since(mark, phone)
    assert keys(records) == [(XK_Control_L, True), (ord("a"), True), (ord("a"), False), (XK_Control_L, False)]
    assert records[1]["state"] & 0x4  # Control held when "a" arrives

    mark = recorder.mark()
    phone.key("[R] SHIFT d")
    phone.key("b")
    phone.send("utf8 cD\n")  # text is typed as it is, whatever the phone holds
    phone.key("[R] SHIFT u")
    assert typed(recorder.since(mark, phone)) == "BcD"

    # A phone that leaves while holding Shift has it let go for it.
    mark = recorder.mark()
    with quillo_sim.Phone() as leaving:
        leaving.read_greeting()
        leaving.key("[R] SHIFT d")
    shift_up = lambda r: r["event"] == "key" and r["keysym"] == XK_Shift_L and not r["down"]
    harness.wait_until(lambda: recorder.find(shift_up, mark), 30, "Shift let go when the phone left")

    mark = recorder.mark()
    phone.key("CAP")
    try:
        phone.send("utf8 aB1!é\n")
    finally:
        phone.key("CAP")
    records = recorder.since(mark, phone)
    assert typed(records) == "aB1!é"
    # Caps Lock is off while the text is typed (tavrin taps it twice besides
    # the phone's two taps), and on again after.
    assert len([r for r in records if r["event"] == "key" and r["down"] and r["keysym"] == 0xFFE5]) == 4
    assert all(not r["state"] & 0x2 for r in records if r["event"] == "key" and r["text"])


def test_media_and_browser_keys_arrive_as_xf86_keys(recorder, phone):
    # A bare X server's map has none of them: they are bound to spare keys.
    mark = recorder.mark()
    phone.send("MUTE\n")
    phone.send("VOLUMEUP\n")
    phone.send("browser back\n")
    assert keys(recorder.since(mark, phone)) == [(XF86_AudioMute, True), (XF86_AudioMute, False),
                                                 (XF86_AudioRaiseVolume, True), (XF86_AudioRaiseVolume, False),
                                                 (XF86_Back, True), (XF86_Back, False)]


TEXTS = [
    "Grüße, café déjà vu ÿ",
    "Съешь же ещё этих мягких французских булок",
    "Ελληνικά γράμματα",
    "中文输入法测试，日本語のテキスト",
    "مرحبا بالعالم",
]


def test_text_in_several_scripts(recorder, phone):
    for text in TEXTS:
        mark = recorder.mark()
        phone.send(("utf8 %s\n" % text).encode())
        assert typed(recorder.since(mark, phone)) == text


def test_text_with_more_characters_than_spare_keys(recorder, desktop, phone):
    # Every character of a long run of CJK is new to the map; the run is typed
    # a batch of spare keys at a time, each batch bound before it is typed.
    spares = sum(1 for row in desktop.keymap().values() if not any(row))
    text = "".join(chr(0x4E00 + i) for i in range(spares * 2 + 7))
    mark = recorder.mark()
    phone.send(("utf8 %s\n" % text).encode())
    assert typed(recorder.since(mark, phone, timeout=30)) == text
