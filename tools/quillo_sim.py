#!/usr/bin/env python3
"""Phone simulator: talks to Tavrin the way the Quillo app does.

Connects to Tavrin's TCP port, prints the two greeting lines and sends the
items given on the command line (or typed, one per line, when none are
given):

  mos PAYLOAD   a framed mouse message:    mos + 3-digit length + PAYLOAD
  key PAYLOAD   a framed keyboard message: key + 3-digit length + PAYLOAD
  anything else a text command, sent with a newline ("MUTE", "utf8 hello")

Every item goes out in its own write. Only the standard library is used, so
the end-to-end tests import this module as it is.
"""

import argparse
import socket
import struct
import sys
import time

DEFAULT_HOST = "127.0.0.1"
DEFAULT_PORT = 1978
MAX_PAYLOAD = 999
FRAME_TAGS = ("mos", "key")

EXAMPLES = """\
examples:
  %(prog)s                                 greeting, then type items; end with Ctrl-D
  %(prog)s "mos m 5 -3"                    move the pointer 5 right and 3 up
  %(prog)s "mos c" "key CTRL[+]a"          click, then Ctrl+A
  %(prog)s "key [R] SHIFT d" "key a" "key [R] SHIFT u"
  %(prog)s MUTE "utf8 héllo" "drag 10 -4"  text commands
  %(prog)s --raw 'mos006m 5 -3' 'MUTE\\n'    bytes exactly as given (escapes allowed)
  %(prog)s --host 10.77.0.1 --delay 200 "mos w 1" "mos w 1"
"""


class SimulatorError(Exception):
    """A mistake in what the user asked for, or a connection that failed."""


def frame(tag, payload):
    """Returns one framed message: tag, 3-digit length, payload (bytes)."""
    if isinstance(tag, str):
        tag = tag.encode("ascii")
    if isinstance(payload, str):
        payload = payload.encode("utf-8")
    if tag.decode("ascii", "replace") not in FRAME_TAGS:
        raise SimulatorError("unknown frame tag %r (use mos or key)" % tag)
    if len(payload) > MAX_PAYLOAD:
        raise SimulatorError("payload of %d bytes does not fit a frame (at most %d)"
                             % (len(payload), MAX_PAYLOAD))
    return tag + b"%03d" % len(payload) + payload


def encode_item(item):
    """Turns one item ("mos ...", "key ...", or a text command) into bytes."""
    for tag in FRAME_TAGS:
        if item == tag:
            return frame(tag, b"")
        if item.startswith(tag + " "):
            return frame(tag, item[len(tag) + 1:])
    return item.encode("utf-8") + b"\n"


def decode_raw(item):
    """Bytes of a --raw item: Python string escapes (\\n, \\x00, \\\\) are honoured."""
    try:
        return item.encode("latin-1", "backslashreplace").decode("unicode_escape").encode("latin-1")
    except (UnicodeDecodeError, UnicodeEncodeError) as error:
        raise SimulatorError("cannot read raw item %r: %s" % (item, error))


class Phone:
    """One connection to Tavrin, as a phone makes it."""

    def __init__(self, host=DEFAULT_HOST, port=DEFAULT_PORT, timeout=5.0):
        self.host, self.port = host, port
        try:
            self.sock = socket.create_connection((host, port), timeout=timeout)
        except ConnectionRefusedError:
            raise SimulatorError("connection to %s:%d refused: is Tavrin running there?" % (host, port))
        except socket.timeout:
            raise SimulatorError("no answer from %s:%d within %.1f s" % (host, port, timeout))
        except OSError as error:
            raise SimulatorError("cannot connect to %s:%d: %s" % (host, port, error.strerror or error))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def read_available(self, idle=0.3, limit=4096, deadline=5.0):
        """Reads until nothing more arrives for `idle` seconds, the peer closes,
        `limit` bytes arrived or `deadline` seconds passed. Returns the bytes."""
        received = b""
        end = time.monotonic() + deadline
        while len(received) < limit:
            left = end - time.monotonic()
            if left <= 0:
                break
            self.sock.settimeout(min(idle, left))
            try:
                chunk = self.sock.recv(limit - len(received))
            except socket.timeout:
                break
            if not chunk:
                break
            received += chunk
        return received

    def read_greeting(self, idle=0.5, deadline=5.0):
        """Waits for the two greeting lines, then reads on until the server has
        been quiet for `idle` seconds, so that anything sent after the greeting
        shows up too. Returns every byte received."""
        data = b""
        end = time.monotonic() + deadline
        while True:
            left = end - time.monotonic()
            if left <= 0:
                break
            complete = data.count(b"\n") >= 2
            self.sock.settimeout(min(idle, left) if complete else left)
            try:
                chunk = self.sock.recv(4096)
            except socket.timeout:
                if complete:
                    break
                continue
            if not chunk:
                break
            data += chunk
        return data

    def send(self, data):
        if isinstance(data, str):
            data = data.encode("utf-8")
        self.sock.sendall(data)

    def send_item(self, item):
        self.send(encode_item(item))

    def mos(self, payload):
        self.send(frame("mos", payload))

    def key(self, payload):
        self.send(frame("key", payload))

    def close(self):
        self.sock.close()

    def reset(self):
        """Ends the connection with a reset (RST) instead of an orderly close."""
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def show(data):
    """Prints received bytes readably: printable text as is, the rest escaped."""
    text = data.decode("utf-8", "backslashreplace")
    for line in text.splitlines(keepends=True):
        shown = line[:-1] if line.endswith("\n") else line
        print("< %s%s" % (shown.encode("unicode_escape").decode("ascii").replace("\\\\", "\\"),
                          "" if line.endswith("\n") else "   (no newline)"))


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Send mouse, keyboard and text messages to Tavrin as the Quillo phone app does.",
        epilog=EXAMPLES, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("items", nargs="*", help="items to send, in order, one write each")
    parser.add_argument("--host", default=DEFAULT_HOST, help="server address (default %(default)s)")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT, help="TCP port (default %(default)s)")
    parser.add_argument("--raw", action="store_true", help="send each item's bytes exactly as given, no framing or newline")
    parser.add_argument("--delay", type=int, default=0, metavar="MS", help="pause between items in milliseconds")
    parser.add_argument("--linger", type=float, default=0.2, metavar="S",
                        help="seconds to keep the connection open after the last item (default %(default)s)")
    parser.add_argument("--reset", action="store_true", help="end with a connection reset instead of a close")
    args = parser.parse_args(argv)

    try:
        encoded = [decode_raw(i) if args.raw else encode_item(i) for i in args.items]
        phone = Phone(args.host, args.port)
        print("connected to %s:%d" % (args.host, args.port))
        show(phone.read_greeting(idle=0.3))
        if args.items:
            for index, data in enumerate(encoded):
                if index and args.delay:
                    time.sleep(args.delay / 1000.0)
                phone.send(data)
                print("> %r" % data)
        else:
            interactive = sys.stdin.isatty()
            while True:
                if interactive:
                    print("item> ", end="", flush=True)
                line = sys.stdin.readline()
                if not line:
                    break
                line = line.rstrip("\n")
                try:
                    data = decode_raw(line) if args.raw else encode_item(line)
                except SimulatorError as error:
                    print("error: %s" % error, file=sys.stderr)
                    continue
                phone.send(data)
                print("> %r" % data)
        time.sleep(args.linger)
        late = phone.read_available(idle=0.05, deadline=0.1)
        if late:
            print("unexpected bytes from the server:")
            show(late)
        phone.reset() if args.reset else phone.close()
        return 0
    except SimulatorError as error:
        print("error: %s" % error, file=sys.stderr)
        return 2
    except (BrokenPipeError, ConnectionResetError) as error:
        print("error: the server closed the connection (%s)" % error, file=sys.stderr)
        return 3


if __name__ == "__main__":
    sys.exit(main())
