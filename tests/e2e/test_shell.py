"""What the program leaves in the system around it: the Run-key entry of
"--install", the configuration file it removes, and the discovery
datagrams it broadcasts on every local network."""

import socket
import struct
import time

import pytest

import tavrin_harness as harness

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
IP_PKTINFO = 8  # Linux; Python does not name it


@pytest.fixture
def no_run_entry(desktop):
    desktop.reg_delete(RUN_KEY, "Tavrin")
    yield
    desktop.reg_delete(RUN_KEY, "Tavrin")


def test_install_writes_the_run_entry_even_when_another_instance_runs(
        start_tavrin, desktop, no_run_entry):
    first = start_tavrin()
    assert desktop.reg_query(RUN_KEY, "Tavrin") is None
    second = start_tavrin("--install", wait=False)
    assert second.wait_exit(timeout=15) == 0
    assert first.running()
    kind, data = desktop.reg_query(RUN_KEY, "Tavrin")
    assert kind == "REG_SZ"
    assert data.lower() == ('"%s"' % desktop.winpath(first.exe)).lower()


@pytest.mark.parametrize("args", [("--install ",), ("--INSTALL",), ("--install", "now")],
                         ids=["trailing-space", "upper-case", "second-argument"])
def test_anything_but_the_exact_option_starts_normally_without_the_run_entry(
        start_tavrin, desktop, no_run_entry, args):
    tavrin = start_tavrin(*args)
    assert tavrin.running()
    assert desktop.reg_query(RUN_KEY, "Tavrin") is None


def test_leftover_configuration_file_is_removed_at_start(start_tavrin, desktop):
    leftover = desktop.drive_c() / "ProgramData" / "Tavrin.cfg"
    leftover.parent.mkdir(parents=True, exist_ok=True)
    leftover.write_text("left by an older version\n")
    start_tavrin()
    assert not leftover.exists()


def expected_computer_name():
    # Wine's GetComputerNameA: the host name up to its first dot, upper case,
    # at most 15 characters.
    return socket.gethostname().split(".")[0].upper()[:15].encode()


def test_discovery_datagrams_reach_every_local_network_once_a_second(start_tavrin):
    if "v0" not in harness.interfaces():
        pytest.skip("needs the namespace's veth pair (scripts/in-netns.sh --veth)")
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    listener.bind(("0.0.0.0", 2008))
    try:
        start_tavrin()
        received = []  # (arrival time, destination address, payload)
        end = time.monotonic() + 3.5
        while time.monotonic() < end:
            listener.settimeout(max(0.01, end - time.monotonic()))
            try:
                data, ancillary, _, _ = listener.recvmsg(256, 256)
            except socket.timeout:
                break
            destination = None
            for level, kind, value in ancillary:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                    destination = socket.inet_ntoa(value[8:12])
            received.append((time.monotonic(), destination, data))
    finally:
        listener.close()

    name = expected_computer_name()
    assert received, "no discovery datagram within 3.5 s"
    assert {data for _, _, data in received} == {b"BC%3d%s" % (len(name), name)}
    destinations = {destination for _, destination, _ in received}
    # The limited broadcast and v0's subnet; the loopback row gets nothing.
    assert {"255.255.255.255", "10.77.0.255"} <= destinations
    assert not any(d.startswith("127.") for d in destinations)
    # About once a second: in 3.5 s, three or four rounds to 255.255.255.255
    # (each arrives once through v0's loopback copy and may arrive again on v1).
    rounds = [t for t, d, _ in received if d == "255.255.255.255"]
    gaps = [b - a for a, b in zip(rounds, rounds[1:]) if b - a > 0.5]
    assert 2 <= len(gaps) + 1 <= 4, rounds
    assert all(0.8 < gap < 1.3 for gap in gaps), gaps
