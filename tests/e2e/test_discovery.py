"""The discovery broadcast as phones on the namespace's networks receive it:
listeners bound to each broadcast address tell the destinations apart, and
datagrams sent to the program's own port 2008 must change nothing."""

import select
import socket
import subprocess
import time

import pytest

import tavrin_harness as harness

DISCOVERY_PORT = 2008
LIMITED = "255.255.255.255"
VETH_BROADCAST = "10.77.0.255"  # v0 10.77.0.1/24 and v1 10.77.0.2/24 (scripts/in-netns.sh --veth)
LOOPBACK_BROADCAST = "127.255.255.255"
IP_PKTINFO = 8  # Linux; Python does not name it


@pytest.fixture(autouse=True)
def veth():
    if "v0" not in harness.interfaces():
        pytest.skip("needs the namespace's veth pair (scripts/in-netns.sh --veth)")


def listener(address):
    """A UDP socket on port 2008, shared the way the program shares it."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    sock.bind((address, DISCOVERY_PORT))
    sock.setblocking(False)
    return sock


def collect(sockets, seconds):
    """Everything the sockets receive in `seconds`: a list per socket of
    (arrival time, header destination, payload)."""
    received = {sock: [] for sock in sockets}
    end = time.monotonic() + seconds
    while True:
        left = end - time.monotonic()
        if left <= 0:
            return received
        readable, _, _ = select.select(sockets, [], [], left)
        for sock in readable:
            data, ancillary, _, _ = sock.recvmsg(2048, 256)
            destination = None
            for level, kind, value in ancillary:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                    destination = socket.inet_ntoa(value[8:12])
            received[sock].append((time.monotonic(), destination, data))


def rounds(arrivals):
    """Arrival times of the sends: copies that arrive together count once."""
    times = []
    for moment, _, _ in arrivals:
        if not times or moment - times[-1] > 0.5:
            times.append(moment)
    return times


def computer_name():
    # Wine's GetComputerNameA: the host name up to its first dot, upper
    # case, at most 15 characters. Wine reads it once per session, so the
    # session's host name decides (scripts/test.sh sets a long dotted one).
    return socket.gethostname().split(".")[0].upper()[:15].encode()


def test_datagrams_reach_the_limited_and_the_subnet_broadcast_about_once_a_second(start_tavrin):
    everything = listener("0.0.0.0")
    limited, subnet, loopback = listener(LIMITED), listener(VETH_BROADCAST), listener(LOOPBACK_BROADCAST)
    sockets = [everything, limited, subnet, loopback]
    try:
        start_tavrin()
        received = collect(sockets, 3.3)
    finally:
        for sock in sockets:
            sock.close()

    name = computer_name()
    datagram = b"BC%3d%s" % (len(name), name)
    assert received[everything], "no discovery datagram within 3.3 s"
    assert {data for _, _, data in received[everything]} == {datagram}
    # Every datagram is addressed to one of the two broadcast addresses;
    # nothing goes to the loopback network.
    assert {d for _, d, _ in received[everything]} == {LIMITED, VETH_BROADCAST}
    assert received[loopback] == []
    assert {d for _, d, _ in received[limited]} == {LIMITED}
    assert {d for _, d, _ in received[subnet]} == {VETH_BROADCAST}

    # About once a second, to both destinations in the same round.
    for sock in (limited, subnet):
        times = rounds(received[sock])
        gaps = [later - earlier for earlier, later in zip(times, times[1:])]
        assert 3 <= len(times) <= 4, times
        assert all(0.8 < gap < 1.8 for gap in gaps), gaps  # a loaded machine delays a pass
    for a, b in zip(rounds(received[limited]), rounds(received[subnet])):
        assert abs(a - b) < 0.2


def test_datagrams_sent_to_port_2008_are_left_unread_and_change_nothing(start_tavrin, phones, observer):
    start_tavrin()
    phone = phones()
    phone.read_greeting(idle=0.05)
    junk = [b"BC  4JUNK", b"mos006m 5 -3", b"MUTE\n", b"\x00" * 512, b"x" * 60000]
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        sender.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        # Enough to fill the unread socket's buffer several times over.
        for _ in range(40):
            for data in junk:
                for address in ("127.0.0.1", "10.77.0.1", LIMITED, VETH_BROADCAST):
                    sender.sendto(data, (address, DISCOVERY_PORT))
    # None of it was taken for a phone's message, and the phone is served.
    phone.send_item("mos m 2 1")
    observer.sync(phone, rounds=1)
    assert observer.events() == ["move 2 1"]
    # The broadcast goes on.
    sock = listener(LIMITED)
    try:
        received = collect([sock], 1.3)[sock]
    finally:
        sock.close()
    assert received, "no discovery datagram after the junk"


def ip(*args):
    subprocess.run(["ip", *args], check=True, timeout=10)


def test_broadcast_resumes_when_the_network_comes_back(start_tavrin, phones, observer):
    start_tavrin()
    phone = phones()
    phone.read_greeting(idle=0.05)
    # Both ends down: the table holds only the loopback row, and sending to
    # 255.255.255.255 fails for want of a route. Nothing to report; the next
    # send comes a second later.
    ip("link", "set", "v0", "down")
    ip("link", "set", "v1", "down")
    try:
        time.sleep(2.2)
    finally:
        ip("link", "set", "v0", "up")
        ip("link", "set", "v1", "up")
        ip("route", "replace", "255.255.255.255/32", "dev", "v0")
    sock = listener("0.0.0.0")
    try:
        received = collect([sock], 2.3)[sock]
    finally:
        sock.close()
    assert {d for _, d, _ in received} == {LIMITED, VETH_BROADCAST}
    phone.send_item("mos m 1 2")
    observer.sync(phone, rounds=1)
    assert observer.events() == ["move 1 2"]
