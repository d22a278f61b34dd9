"""Start, greeting, single instance and exit of the real Tavrin.exe."""

import re
import time

GREETING = re.compile(rb"system windows \d+\.\d+\nversion 1\. 5\. 0\. 0\n")


def test_phone_gets_exactly_the_two_greeting_lines(tavrin, phones):
    phone = phones()
    received = phone.read_greeting(idle=0.5)
    assert GREETING.fullmatch(received), received


def test_every_phone_is_greeted_and_nothing_else_is_ever_sent(tavrin, phones):
    first, second = phones(), phones()
    assert GREETING.fullmatch(first.read_greeting(idle=0.05))
    assert GREETING.fullmatch(second.read_greeting(idle=0.05))
    # Commands are one-way: nothing comes back for them.
    first.send(b"mos006m 1 -1key001aUNKNOWN COMMAND\n")
    assert first.read_available(idle=0.5) == b""


def test_second_instance_ends_at_once_and_the_first_keeps_serving(start_tavrin, phones):
    first = start_tavrin()
    started = time.monotonic()
    second = start_tavrin(wait=False)
    assert second.wait_exit(timeout=15) == 0
    # Wine needs a few hundred milliseconds to start and end any program.
    assert time.monotonic() - started < 5
    assert first.running()
    assert GREETING.fullmatch(phones().read_greeting(idle=0.05))


def test_exit_command_ends_the_program_with_code_0(tavrin, phones):
    phone = phones()
    phone.read_greeting(idle=0.05)
    assert tavrin.post(0x0111, 105, 0) == 0  # WM_COMMAND, the tray menu's exit
    posted = time.monotonic()
    assert tavrin.wait_exit(timeout=5) == 0
    assert time.monotonic() - posted < 1.0
    # The connection went with the program.
    assert phone.read_available(idle=1.0) == b""
