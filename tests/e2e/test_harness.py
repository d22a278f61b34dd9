"""The harness itself: the observer must report exactly what a known source
injects, or every other end-to-end test measures nothing."""

import quillo_sim
import pytest


def test_observer_reports_injected_input_as_the_fakes_name_it(desktop, build, observer):
    code = desktop.run_program(build.helper("inject.exe"), "k41", "k41^", "u00e9", "u00e9^", "m", "7", "-3",
                       "l", "l^", "r", "r^", "c", "c^", "w", "120", "w", "-240", "k7b", "k7b^")
    assert code == 0
    observer.wait_count("key 7b up", 1)
    assert observer.events() == [
        "key 41 down", "key 41 up", "unicode 00e9", "unicode 00e9 up",
        "move 7 -3",  # not accelerated
        "left down", "left up", "right down", "right up", "middle down", "middle up",
        "wheel 120", "wheel -240"]


@pytest.mark.parametrize("item, wire", [
    ("mos m 5 -3", b"mos006m 5 -3"),
    ("key CTRL[+]w", b"key008CTRL[+]w"),
    ("mos", b"mos000"),
    ("MUTE", b"MUTE\n"),
    ("utf8 h\u00e9", b"utf8 h\xc3\xa9\n"),
    ("mosaic", b"mosaic\n"),
])
def test_simulator_encodes_items(item, wire):
    assert quillo_sim.encode_item(item) == wire


def test_simulator_refuses_payloads_that_do_not_fit_a_frame():
    assert len(quillo_sim.frame("key", "a" * 999)) == 1005
    with pytest.raises(quillo_sim.SimulatorError, match="1000 bytes"):
        quillo_sim.frame("key", "a" * 1000)



def test_observer_deltas_stay_exact_after_long_moves(desktop, build, session_observer):
    # Without centring, a move that ends past the screen's edge is clipped
    # and the next delta seen by the hook is wrong.
    inject = build.helper("inject.exe")
    assert desktop.run_program(inject, "m", "900", "700", "k7b", "k7b^") == 0
    view = session_observer.view()
    assert desktop.run_program(inject, "m", "5", "-3", "k7b", "k7b^") == 0
    view.wait_count("key 7b up", 1)
    assert view.events() == ["move 5 -3"]


def test_simulator_command_line_sends_items_in_order_and_reports_refusal(capsys):
    import socket
    import threading

    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    port = server.getsockname()[1]
    received = []

    def serve():
        connection, _ = server.accept()
        connection.sendall(b"system windows 6.1\nversion 1. 5. 0. 0\n")
        while True:
            chunk = connection.recv(4096)
            if not chunk:
                break
            received.append(chunk)
        connection.close()

    thread = threading.Thread(target=serve)
    thread.start()
    code = quillo_sim.main(["--port", str(port), "--linger", "0", "mos m 5 -3", "MUTE", "key a"])
    thread.join(timeout=5)
    server.close()
    assert code == 0
    assert b"".join(received) == b"mos006m 5 -3MUTE\nkey001a"
    assert "< system windows 6.1" in capsys.readouterr().out

    assert quillo_sim.main(["--port", str(port), "MUTE"]) == 2
    assert "refused" in capsys.readouterr().err
