"""Start and end of tavrin on an X desktop: the keyboard map it leaves, one
copy per display, and no display at all."""

import signal
import subprocess

from conftest import BUILD, Tavrin, quillo_sim

CYRILLIC = "Жёлтый чайник"


def type_text(recorder, text):
    with quillo_sim.Phone() as phone:
        phone.read_greeting()
        mark = recorder.mark()
        phone.send(("utf8 %s\n" % text).encode())
        records = recorder.since(mark, phone)
    return "".join(r["text"] for r in records if r["event"] == "key" and r["down"])


def test_keyboard_map_is_restored_at_exit_and_leftovers_cleared_at_start(desktop, recorder):
    before = desktop.keymap()
    program = Tavrin(desktop, "tavrin-keymap")
    assert type_text(recorder, CYRILLIC) == CYRILLIC
    assert desktop.keymap() != before  # the bindings stand while it runs
    assert program.stop() == 0
    assert desktop.keymap() == before

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


def test_one_copy_per_display(desktop, recorder):
    first = Tavrin(desktop, "tavrin-first")
    try:
        second = subprocess.run([str(BUILD / "tavrin")], env=desktop.env, capture_output=True, timeout=10)
        assert second.returncode == 0
        assert "another copy runs" in first.log.read_text()
        assert type_text(recorder, "still here") == "still here"
    finally:
        assert first.stop() == 0


def test_without_an_x_display_it_says_so_and_ends(desktop):
    env = dict(desktop.env)
    env["DISPLAY"] = ":9999"
    result = subprocess.run([str(BUILD / "tavrin")], env=env, capture_output=True, text=True, timeout=10)
    assert result.returncode == 1
    assert "cannot open the X display \":9999\"" in result.stderr
