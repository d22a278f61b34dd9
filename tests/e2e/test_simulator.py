"""The phone simulator (tools/quillo_sim.py) as its users meet it: the
interactive mode in a real terminal (a pseudo-terminal), scripts, finding a
server by its broadcasts, and the errors it gives. A small Python server on
loopback stands in for Tavrin and records every byte; no Wine is needed."""

import os
import select
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import quillo_sim
import tavrin_harness as harness

SIMULATOR = Path(quillo_sim.__file__).resolve()
GREETING = b"system windows 6.2\nversion 1. 5. 0. 0\n"


class FakeTavrin:
    """Accepts connections on 127.0.0.1, greets each and records its bytes."""

    def __init__(self):
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(4)
        self.port = self.server.getsockname()[1]
        self.connections = []
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            received, done = bytearray(), threading.Event()
            self.connections.append((received, done))
            connection.sendall(GREETING)
            while True:
                chunk = connection.recv(65536)
                if not chunk:
                    break
                received += chunk
            connection.close()
            done.set()

    def received(self, timeout=5):
        """Every byte of the first connection, once the simulator closed it."""
        end = time.monotonic() + timeout
        while not self.connections and time.monotonic() < end:
            time.sleep(0.02)
        assert self.connections, "the simulator never connected"
        received, done = self.connections[0]
        assert done.wait(max(0, end - time.monotonic())), "the simulator kept the connection open"
        return bytes(received)

    def close(self):
        self.server.shutdown(socket.SHUT_RDWR)  # wakes the accept() on Linux
        self.server.close()
        self.thread.join(timeout=5)


@pytest.fixture
def fake():
    server = FakeTavrin()
    yield server
    server.close()


def run_simulator(*args, timeout=20):
    return subprocess.run([sys.executable, str(SIMULATOR), *map(str, args)], capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=timeout, text=True)


class Terminal:
    """The simulator with a pseudo-terminal as its stdin, stdout and stderr."""

    def __init__(self, *args):
        self.master, slave = os.openpty()
        env = dict(os.environ, TERM="dumb")
        self.process = subprocess.Popen([sys.executable, str(SIMULATOR), *map(str, args)],
                                        stdin=slave, stdout=slave, stderr=slave, env=env, close_fds=True)
        os.close(slave)
        self.output = b""

    def read_until(self, marker, timeout=10):
        end = time.monotonic() + timeout
        while marker not in self.output:
            left = end - time.monotonic()
            assert left > 0, "no %r from the simulator; it wrote:\n%s" % (marker, self.text())
            ready, _, _ = select.select([self.master], [], [], left)
            if ready:
                try:
                    chunk = os.read(self.master, 4096)
                except OSError:  # the other side is gone
                    chunk = b""
                if not chunk:
                    raise AssertionError("the simulator ended before %r:\n%s" % (marker, self.text()))
                self.output += chunk
        found = self.output
        self.output = b""
        return found.decode("utf-8", "replace")

    def command(self, line):
        """Types a line at the prompt; returns what was shown until the next prompt."""
        os.write(self.master, line.encode("utf-8") + b"\n")
        return self.read_until(quillo_sim.PROMPT.encode())

    def finish(self, timeout=10):
        code = self.process.wait(timeout=timeout)
        while True:
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                break
            if not chunk:
                break
            self.output += chunk
        os.close(self.master)
        return code

    def text(self):
        return self.output.decode("utf-8", "replace")


def test_interactive_mode_in_a_terminal_sends_what_each_command_names(fake):
    term = Terminal("--port", fake.port, "--linger", "0")
    try:
        shown = term.read_until(quillo_sim.PROMPT.encode())
        assert "< system windows 6.2" in shown and "< version 1. 5. 0. 0" in shown
        typed = [
            ("type h\u00e9llo w\u00f6rld", b"utf8 h\xc3\xa9llo w\xc3\xb6rld\n"),
            ("press enter A f5 down", b"key011RTN A F5 DW"),
            ("combo CTRL+w", b"key008CTRL[+]w"),
            ("combo ctrl+shift+s", b"key047[R] CTRL d [R] SHIFT d s [R] SHIFT u [R] CTRL u"),
            ("move 5 -3", b"mos006m 5 -3"),
            ("click", b"mos001c"),
            ("right", b"mos011R r d R r u"),
            ("scroll down", b"mos039" + b" ".join([b"w 0"] * 10)),
            ("media next", b"media next\n"),
            ("volume up", b"VOLUMEUP\n"),
            ("window minimize", b"window minimize\n"),
            ("ppt next", b"ppt pgdn\n"),
            ("switch prev", b"slideleft\n"),
            ("mos m 1 1", b"mos005m 1 1"),
            ("MUTE", b"MUTE\n"),
            ("raw key001a", b"key001a"),
        ]
        for line, wire in typed:
            shown = term.command(line)
            assert "> " in shown, "%r showed %r" % (line, shown)
        shown = term.command("bogus 1 2")
        assert "error: unknown command 'bogus'" in shown
        shown = term.command("press hyper")
        assert "error: unknown key 'hyper'" in shown
        assert "scroll up|down" in term.command("help")
        os.write(term.master, b"\x04")  # Ctrl-D ends like "quit"
        assert term.finish() == 0
    finally:
        if term.process.poll() is None:
            term.process.kill()
            term.process.wait()
    assert fake.received() == b"".join(wire for _, wire in typed)


def test_script_sends_its_commands_in_order_and_skips_comments(fake, tmp_path):
    script = tmp_path / "demo.txt"
    script.write_text("# a tour\nmove 5 -3\n\n  click\ntype hi\nwait 10\ncombo ALT+TAB\nvolume mute\n")
    result = run_simulator("--port", fake.port, "--linger", "0", "--script", script)
    assert result.returncode == 0, result.stderr
    assert fake.received() == b"mos006m 5 -3mos001cutf8 hi\nkey009ALT[+]TABMUTE\n"
    assert "< system windows 6.2" in result.stdout


def test_mistakes_are_reported_before_anything_is_sent(fake, tmp_path):
    script = tmp_path / "bad.txt"
    script.write_text("move 5 -3\nfly away\nscroll sideways\npress enter\n")
    result = run_simulator("--port", fake.port, "--script", script)
    assert result.returncode == 2
    assert "bad.txt:2: unknown command 'fly'" in result.stderr
    assert "bad.txt:3: usage: scroll up|down" in result.stderr
    result = run_simulator("--port", fake.port, "click", "dance")
    assert result.returncode == 2
    assert "unknown command 'dance'" in result.stderr
    assert fake.connections == []


def test_refused_connection_and_help(fake):
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    closed_port = probe.getsockname()[1]
    probe.close()
    result = run_simulator("--port", closed_port, "click")
    assert result.returncode == 2
    assert "connection to 127.0.0.1:%d refused: is Tavrin running there?" % closed_port in result.stderr
    result = run_simulator("--help")
    assert result.returncode == 0
    assert "examples:" in result.stdout and "--find" in result.stdout and "type héllo" in result.stdout


def free_udp_port():
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def broadcaster(port, senders, stop):
    """Sends each (source address, datagram) to 127.0.0.1:port every 50 ms."""
    sockets = []
    for source, _ in senders:
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((source, 0))
        sockets.append(sock)
    while not stop.is_set():
        for sock, (_, datagram) in zip(sockets, senders):
            sock.sendto(datagram, ("127.0.0.1", port))
        stop.wait(0.05)
    for sock in sockets:
        sock.close()


@pytest.mark.parametrize("name", [None, "desk", "NOBODY"])
def test_find_connects_to_the_computer_heard_first_or_named(fake, name):
    udp = free_udp_port()
    stop = threading.Event()
    # A stranger's datagram, and two computers: the first heard is OTHER at
    # 127.0.0.2, where nothing listens; DESK at 127.0.0.1 is the fake server.
    senders = [("127.0.0.3", b"hello"), ("127.0.0.2", b"BC  5OTHER"), ("127.0.0.1", b"BC  4DESK")]
    thread = threading.Thread(target=broadcaster, args=(udp, senders[:2], stop))
    late = threading.Thread(target=lambda: (time.sleep(0.2), broadcaster(udp, senders[2:], stop)))
    thread.start()
    late.start()
    try:
        args = ["--find", "--discovery-port", udp, "--wait", 0.8, "--port", fake.port, "--linger", "0", "click"]
        if name:
            args += ["--name", name]
        result = run_simulator(*args)
    finally:
        stop.set()
        thread.join()
        late.join()
    assert "found OTHER at 127.0.0.2" in result.stdout
    assert "not Tavrin's" in result.stdout
    if name is None:
        assert result.returncode == 2  # the first heard refuses
        assert "connecting to OTHER at 127.0.0.2" in result.stdout
        assert "127.0.0.2:%d refused" % fake.port in result.stderr
    elif name == "desk":
        assert result.returncode == 0, result.stderr
        assert "connecting to DESK at 127.0.0.1" in result.stdout
        assert fake.received() == b"mos001c"
    else:
        assert result.returncode == 2
        assert "no computer named NOBODY answered; heard: OTHER (127.0.0.2), DESK (127.0.0.1)" in result.stderr
    assert len(fake.connections) == (1 if name == "desk" else 0)


def test_list_shows_who_broadcasts_and_says_when_nobody_does():
    udp = free_udp_port()
    result = run_simulator("--list", "--discovery-port", udp, "--wait", 0.3)
    assert result.returncode == 1
    stop = threading.Event()
    thread = threading.Thread(target=broadcaster, args=(udp, [("127.0.0.1", b"BC 15QUILLO-DESK-MAC")], stop))
    thread.start()
    try:
        result = run_simulator("--list", "--discovery-port", udp, "--wait", 0.5)
    finally:
        stop.set()
        thread.join()
    assert result.returncode == 0
    assert result.stdout.count("found QUILLO-DESK-MAC at 127.0.0.1") == 1


def test_find_reaches_the_real_tavrin_by_its_broadcasts(tavrin, observer):
    if "v0" not in harness.interfaces():
        pytest.skip("needs the namespace's veth pair (scripts/in-netns.sh --veth)")
    name = socket.gethostname().split(".")[0].upper()[:15]  # Wine's computer name
    result = run_simulator("--find", "--name", name.lower(), "--wait", 5, "--linger", "0",
                           "press a", "press " + harness.SENTINEL)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "connecting to %s at 10.77.0." % name in result.stdout
    observer.wait_count(harness.SENTINEL_UP, 1)
    assert observer.events() == ["key 41 down", "key 41 up"]
