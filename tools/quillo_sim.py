#!/usr/bin/env python3
"""Phone simulator: finds Tavrin and talks to it the way the Quillo app does.

It can listen for the discovery datagrams that Tavrin broadcasts on UDP port
2008 (--list, --find), connects to TCP port 1978, prints the two greeting
lines and then sends commands: given on the command line, read from a script
(--script FILE), or typed at the "tavrin>" prompt of the interactive mode.

Commands are friendly names for the wire messages ("type héllo",
"combo CTRL+w", "scroll down 2", "ppt next"); the wire forms themselves
("mos m 5 -3", "key CTRL[+]w", "MUTE", "utf8 hi") are accepted too. Type
"help" at the prompt for the list. Every command goes out in its own write.

Only the standard library is used, so the end-to-end tests import this module
as it is.
"""

import argparse
import select
import socket
import struct
import sys
import time

DEFAULT_HOST = "127.0.0.1"
DEFAULT_PORT = 1978
DISCOVERY_PORT = 2008
MAX_PAYLOAD = 999
MAX_LINE = 4095      # bytes of a text line before its newline
MAX_TEXT_UNITS = 1000  # characters per "utf8 " line (the server types at most 1023)
FRAME_TAGS = ("mos", "key")
PROMPT = "tavrin> "

EXAMPLES = """\
examples:
  %(prog)s                                 greeting, then the tavrin> prompt (type help)
  %(prog)s --find                          listen for Tavrin's broadcasts, connect to the first
  %(prog)s --find --name OFFICE7           ... to the computer named OFFICE7
  %(prog)s --list                          only show who broadcasts, for a few seconds
  %(prog)s "type héllo" "press enter"      type text, then the Enter key
  %(prog)s "move 5 -3" click "scroll down 2" "combo CTRL+SHIFT+s"
  %(prog)s "media play" "volume up" "window maximize" "ppt next"
  %(prog)s --script demo.txt               commands from a file, one per line (# comments)
  %(prog)s "mos m 5 -3" "key CTRL[+]a" MUTE   wire forms are accepted as they are
  %(prog)s --raw 'mos006m 5 -3' 'MUTE\\n'    bytes exactly as given (escapes allowed)
  %(prog)s --host 10.77.0.1 --delay 200 "scroll up" "scroll down"

At the prompt: "help" lists the commands, "quit" or Ctrl-D ends.
"""

COMMAND_HELP = """\
commands (one per line; a wire message is sent for each):
  type TEXT                 type TEXT (any script, up to U+FFFF)
  press KEY [KEY ...]       tap keys: a A 5 ! enter esc tab space backspace delete
                            up down left right home end pageup pagedown f1..f12 ...
  combo MOD+KEY [...]       keys together: CTRL+w, ALT+TAB, CTRL+SHIFT+s
  hold KEY / release KEY    press a key and leave it down / let it go
  move DX DY                move the pointer (right and down are positive)
  click / double / right / middle    mouse clicks
  button left|right|middle down|up   press or release a mouse button
  drag start | drag DX DY | drag end
  scroll up|down [N]        N wheel notches (default 1)
  media play|next|prev      media keys      volume up|down|mute
  browser back|forward|home|search|refresh|stop|favorite|newtab|closetab|nexttab
  window close|minimize|maximize         zoom in|out
  switch next|prev|end|begin|up|down     the window switcher (Alt+Tab)
  ppt next|prev|play|stop|run|exit|switch   presenter commands
  message TITLE [|| TARGET] a balloon on the computer
  shutdown                  ask the computer's user to shut down
  mos PAYLOAD / key PAYLOAD a mouse or keyboard frame as it is
  raw BYTES                 bytes as given, escapes allowed: raw MUTE\\n
  wait MS                   pause (useful in scripts)
  help                      this list;  quit  ends (so does Ctrl-D)
The server's own text commands (MUTE, VOLUMEUP, slideleft, zoomin, utf8 ...,
Msg||...) are sent as they are."""


class SimulatorError(Exception):
    """A mistake in what the user asked for, or a connection that failed."""


# --------------------------------------------------------------------------
# Wire encoding.

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
    """Turns one wire item ("mos ...", "key ...", or a text command) into bytes."""
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


# --------------------------------------------------------------------------
# Friendly commands.

# Key names the server knows, exactly as it spells them.
KEY_NAMES = (
    set("0123456789abcdefghijklmnopqrstuvwxyz")
    | {"F%d" % n for n in range(1, 13)}
    | {"ESC", "RTN", "BAS", "TAB", "PRN", "CTRL", "ALT", "SHIFT", "CAP", "INS", "DEL", "HOME", "END",
       "PGUP", "PGDN", "UP", "DW", "LF", "RT", "WIN", "MENU", "SPC"}
    | set("-=`[];'\\,./")
    | set("ABCDEFGHIJKLMNOPQRSTUVWXYZ")
    | set(")!@#$%^&*(_+~{}:\"|<>?")
)

# Names people type, matched without regard to case, and the server's name.
KEY_ALIASES = {
    "enter": "RTN", "return": "RTN", "esc": "ESC", "escape": "ESC",
    "backspace": "BAS", "bs": "BAS", "tab": "TAB", "space": "SPC", "spc": "SPC",
    "up": "UP", "down": "DW", "left": "LF", "right": "RT",
    "home": "HOME", "end": "END", "pageup": "PGUP", "pgup": "PGUP", "pagedown": "PGDN", "pgdn": "PGDN",
    "insert": "INS", "ins": "INS", "delete": "DEL", "del": "DEL",
    "ctrl": "CTRL", "control": "CTRL", "alt": "ALT", "shift": "SHIFT",
    "win": "WIN", "windows": "WIN", "super": "WIN", "menu": "MENU", "apps": "MENU",
    "capslock": "CAP", "caps": "CAP", "printscreen": "PRN", "print": "PRN", "prn": "PRN",
}
KEY_ALIASES.update({"f%d" % n: "F%d" % n for n in range(1, 13)})

TEXT_COMMANDS = {  # friendly word -> {argument: the server's text command}
    "media": {"play": "media play", "pause": "media play", "next": "media next", "prev": "media prev",
              "previous": "media prev", "volumeup": "media volumeup", "volumedown": "media volumedown"},
    "volume": {"up": "VOLUMEUP", "down": "VOLUMEDN", "mute": "MUTE"},
    "browser": {w: "browser " + w for w in ("back", "forward", "home", "search", "refresh", "stop",
                                             "favorite", "newtab", "closetab", "nexttab")},
    "window": {"close": "window close", "minimize": "window minimize", "maximize": "window maximize",
               "restore": "window maximize"},
    "zoom": {"in": "zoomin", "out": "zoomout"},
    "switch": {"next": "slideright", "prev": "slideleft", "end": "slide end", "begin": "slide begin",
               "up": "slideup", "down": "slidedown"},
    "ppt": {"next": "ppt pgdn", "prev": "ppt pgup", "pgdn": "ppt pgdn", "pgup": "ppt pgup", "play": "ppt play",
            "stop": "ppt stop", "run": "ppt run", "exit": "ppt exit", "switch": "ppt switch"},
}

# The server's own text command words, sent as they are (the server matches
# the start of the line, case-sensitively).
SERVER_WORDS = ("zoomin", "zoomout", "slide begin", "slide end", "slideleft", "slideright", "slideup",
                "slidedown", "utf8 ", "Msg||", "MUTE", "VOLUMEUP", "VOLUMEDN")

MOUSE_CLICKS = {"click": "c", "double": "c c", "doubleclick": "c c",
                "right": "R r d R r u", "rightclick": "R r d R r u", "middle": "R m d R m u"}
BUTTONS = {"left": "l", "right": "r", "middle": "m"}
STEPS_PER_NOTCH = 10
MAX_NOTCHES = 100


def key_name(word):
    """The server's name for a key the user wrote, or a SimulatorError."""
    if word in KEY_NAMES:
        return word
    alias = KEY_ALIASES.get(word.lower())
    if alias:
        return alias
    raise SimulatorError("unknown key %r (try: a A 5 ! enter esc tab space up down left right f5 ctrl alt shift win)"
                         % word)


def combo_keys(text):
    """CTRL+SHIFT+s -> ["CTRL", "SHIFT", "s"]; a final "++" is the + key."""
    last = []
    if text.endswith("++"):
        text, last = text[:-2], ["+"]
    parts = (text.split("+") if text else []) + last
    if len(parts) < 2 or "" in parts:
        raise SimulatorError("a combination is keys joined by +, such as CTRL+w or CTRL+SHIFT+s (got %r)" % text)
    return [key_name(p) for p in parts]


def combo_payload(keys):
    if len(keys) == 2:
        return "%s[+]%s" % tuple(keys)
    # The server combines two keys per token; longer chords hold the
    # modifiers down around the last key.
    holds = keys[:-1]
    return " ".join(["[R] %s d" % k for k in holds] + [keys[-1]] + ["[R] %s u" % k for k in reversed(holds)])


def number(word, what):
    try:
        return int(word)
    except ValueError:
        raise SimulatorError("%s must be a whole number, not %r" % (what, word))


def split_text(text):
    """`utf8 ` lines for a text, each short enough for the server."""
    for ch in text:
        if ord(ch) > 0xFFFF:
            raise SimulatorError("%r is above U+FFFF: Tavrin stops typing at such a character" % ch)
    lines = []
    while text:
        piece = text[:MAX_TEXT_UNITS]
        while len(("utf8 " + piece).encode("utf-8")) > MAX_LINE:
            piece = piece[:len(piece) // 2]
        lines.append(("utf8 " + piece).encode("utf-8") + b"\n")
        text = text[len(piece):]
    return lines


def translate(line):
    """Turns one command into a list of (bytes to send, or a pause in
    seconds as a float). Raises SimulatorError for anything unknown."""
    stripped = line.strip()
    if not stripped:
        return []
    word, _, rest = stripped.partition(" ")
    name = word.lower()
    args = rest.split()

    def need(count, usage):
        if len(args) != count:
            raise SimulatorError("usage: %s" % usage)

    def text_line(command):
        return [command.encode("utf-8") + b"\n"]

    if name == "type":
        text = line.lstrip()[len(word) + 1:] if line.lstrip() != word else ""
        text = text.rstrip("\r\n")
        if not text:
            raise SimulatorError("usage: type TEXT")
        return split_text(text)
    if name == "press":
        if not args:
            raise SimulatorError("usage: press KEY [KEY ...]")
        return [frame("key", " ".join(key_name(a) for a in args))]
    if name == "combo":
        if not args:
            raise SimulatorError("usage: combo MOD+KEY [...], e.g. combo CTRL+w")
        return [frame("key", " ".join(combo_payload(combo_keys(a)) for a in args))]
    if name in ("hold", "release"):
        need(1, "%s KEY" % name)
        return [frame("key", "[R] %s %s" % (key_name(args[0]), "d" if name == "hold" else "u"))]
    if name == "move":
        need(2, "move DX DY")
        return [frame("mos", "m %d %d" % (number(args[0], "dx"), number(args[1], "dy")))]
    if name in MOUSE_CLICKS and stripped == word:
        return [frame("mos", MOUSE_CLICKS[name])]
    if name == "button":
        if len(args) != 2 or args[0].lower() not in BUTTONS or args[1].lower() not in ("down", "up"):
            raise SimulatorError("usage: button left|right|middle down|up")
        return [frame("mos", "R %s %s" % (BUTTONS[args[0].lower()], args[1][0].lower()))]
    if name == "scroll":
        if not args or args[0].lower() not in ("up", "down") or len(args) > 2:
            raise SimulatorError("usage: scroll up|down [NOTCHES]")
        notches = number(args[1], "the number of notches") if len(args) == 2 else 1
        if not 1 <= notches <= MAX_NOTCHES:
            raise SimulatorError("scroll between 1 and %d notches" % MAX_NOTCHES)
        # Ten steps make a notch; the server counts the steps of a whole
        # write, so the frames go out together.
        step = "w 1" if args[0].lower() == "up" else "w 0"
        steps = notches * STEPS_PER_NOTCH
        per_frame = (MAX_PAYLOAD + 1) // (len(step) + 1)
        frames = b""
        while steps:
            count = min(steps, per_frame)
            frames += frame("mos", " ".join([step] * count))
            steps -= count
        return [frames]
    if name == "drag":
        if len(args) == 1 and args[0].lower() in ("start", "end"):
            return text_line("drag " + args[0].lower())
        if len(args) == 2:
            return text_line("drag %d %d" % (number(args[0], "dx"), number(args[1], "dy")))
        raise SimulatorError("usage: drag start | drag DX DY | drag end")
    if name == "mute" and not args:
        return text_line("MUTE")
    if name in TEXT_COMMANDS:
        choices = TEXT_COMMANDS[name]
        if len(args) != 1 or args[0].lower() not in choices:
            raise SimulatorError("usage: %s %s" % (name, "|".join(choices)))
        return text_line(choices[args[0].lower()])
    if name == "message":
        title, _, target = rest.partition("||")
        if not title.strip():
            raise SimulatorError("usage: message TITLE [|| TARGET]")
        return text_line("Msg||%s||%s" % (title.strip(), target.strip()))
    if name == "shutdown" and not args:
        return text_line("shutdown")
    if name == "raw":
        if not rest:
            raise SimulatorError("usage: raw BYTES (escapes such as \\n and \\x41 allowed)")
        return [decode_raw(rest)]
    if name == "wait":
        need(1, "wait MILLISECONDS")
        return [number(args[0], "the pause") / 1000.0]
    if word in FRAME_TAGS:
        return [encode_item(line.lstrip().rstrip("\r\n"))]
    if stripped.startswith(SERVER_WORDS):
        return [encode_item(line.lstrip().rstrip("\r\n"))]
    raise SimulatorError("unknown command %r (type help for the list)" % word)


# --------------------------------------------------------------------------
# Finding Tavrin.

def parse_discovery(data):
    """The computer name in a discovery datagram ("BC" + 3-character length +
    name), or None when the datagram is not one."""
    if len(data) < 5 or data[:2] != b"BC":
        return None
    try:
        length = int(data[2:5].decode("ascii"))
    except ValueError:
        return None
    name = data[5:]
    if length != len(name):
        return None
    return name.decode("latin-1")


def listen_for_servers(seconds, port=DISCOVERY_PORT, wanted=None, report=print):
    """Listens for discovery datagrams for `seconds` (less when `wanted`, a
    computer name, shows up) and returns [(name, address)] in the order heard."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            listener.bind(("", port))
        except OSError as error:
            raise SimulatorError("cannot listen on UDP port %d: %s" % (port, error.strerror or error))
        found = []
        end = time.monotonic() + seconds
        while True:
            left = end - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([listener], [], [], left)
            if not ready:
                break
            data, (address, _) = listener.recvfrom(2048)
            name = parse_discovery(data)
            if name is None:
                report("  ignored a datagram from %s that is not Tavrin's: %r" % (address, data[:40]))
                continue
            if (name, address) not in found:
                found.append((name, address))
                report("  found %s at %s" % (name or "(no name)", address))
            if wanted is not None and name.lower() == wanted.lower():
                break
        return found
    finally:
        listener.close()


def choose_server(found, wanted, seconds, port):
    if not found:
        raise SimulatorError("no Tavrin heard on UDP port %d within %.1f s: is one running on this network?"
                             % (port, seconds))
    if wanted is None:
        return found[0]
    for name, address in found:
        if name.lower() == wanted.lower():
            return name, address
    raise SimulatorError("no computer named %s answered; heard: %s"
                         % (wanted, ", ".join("%s (%s)" % f for f in found)))


# --------------------------------------------------------------------------
# The connection.

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

    def closed_by_server(self):
        """True when the server has ended the connection. It sends nothing
        after the greeting, so anything readable is the end (or a surprise,
        which is returned as bytes)."""
        ready, _, _ = select.select([self.sock], [], [], 0)
        if not ready:
            return False
        timeout = self.sock.gettimeout()
        try:
            self.sock.settimeout(0.05)
            chunk = self.sock.recv(4096)
        except (socket.timeout, BlockingIOError):
            return False
        except OSError:
            return True
        finally:
            self.sock.settimeout(timeout)
        return True if not chunk else chunk

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


def escaped(data, limit=None):
    """Bytes as readable text: printable characters as they are, the rest
    escaped (\\n, \\xNN); with `limit`, long data is shortened."""
    text = data.decode("utf-8", "backslashreplace")
    shown = "".join(ch if ch.isprintable() else ch.encode("unicode_escape").decode("ascii") for ch in text)
    if limit and len(shown) > limit:
        shown = "%s ... (%d bytes)" % (shown[:limit - 8].rstrip(), len(data))
    return shown


def show(data):
    """Prints received bytes readably: printable text as is, the rest escaped."""
    lines = data.split(b"\n")
    for index, line in enumerate(lines):
        ended = index < len(lines) - 1
        if ended or line:
            print("< %s%s" % (escaped(line), "" if ended else "   (no newline)"))


class ServerClosed(Exception):
    pass


def perform(phone, steps):
    """Sends what translate() returned; pauses where it asked for one."""
    for step in steps:
        if isinstance(step, float):
            time.sleep(step)
            continue
        gone = phone.closed_by_server()
        if gone is True:
            raise ServerClosed("the server closed the connection")
        if gone:
            print("unexpected bytes from the server:")
            show(gone)
        try:
            phone.send(step)
        except OSError as error:
            raise ServerClosed("the server closed the connection (%s)" % (error.strerror or error))
        print("> %s" % escaped(step, limit=72), flush=True)


def read_script(path):
    """[(line number, steps)] for a script file; every mistake in it is
    reported at once, before anything is sent."""
    try:
        with open(path, encoding="utf-8") as script:
            lines = script.read().splitlines()
    except OSError as error:
        raise SimulatorError("cannot read script %s: %s" % (path, error.strerror or error))
    except UnicodeDecodeError as error:
        raise SimulatorError("script %s is not UTF-8 text: %s" % (path, error))
    commands, problems = [], []
    for number_, line in enumerate(lines, 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        try:
            commands.append((number_, translate(line)))
        except SimulatorError as error:
            problems.append("%s:%d: %s" % (path, number_, error))
    if problems:
        raise SimulatorError("nothing sent, the script has mistakes:\n  " + "\n  ".join(problems))
    return commands


def interact(phone, stream):
    """Reads commands from `stream` until its end or "quit"; shows a prompt
    and keeps a history when it is a terminal."""
    terminal = stream.isatty() and stream is sys.stdin
    if terminal:
        try:
            import readline  # noqa: F401  (line editing and history for input())
        except ImportError:
            pass
        print('type commands ("help" lists them, "quit" or Ctrl-D ends)')
    while True:
        try:
            line = input(PROMPT) if terminal else stream.readline()
        except EOFError:
            print()
            break
        except KeyboardInterrupt:
            print("^C")
            continue
        if not terminal and not line:
            break
        command = line.strip()
        if command.lower() in ("quit", "exit", "q"):
            break
        if command.lower() in ("help", "?"):
            print(COMMAND_HELP)
            continue
        if command.startswith("#"):
            continue
        try:
            steps = translate(line.rstrip("\r\n"))
        except SimulatorError as error:
            print("error: %s" % error, file=sys.stderr, flush=True)
            continue
        perform(phone, steps)


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Find Tavrin and send it mouse, keyboard and remote-control commands as the Quillo "
                    "phone app does.",
        epilog=COMMAND_HELP + "\n\n" + EXAMPLES, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("items", nargs="*", help="commands to send, in order, one write each")
    parser.add_argument("--host", default=DEFAULT_HOST, help="server address (default %(default)s)")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT, help="TCP port (default %(default)s)")
    parser.add_argument("--find", action="store_true",
                        help="find the server by its discovery broadcasts instead of --host")
    parser.add_argument("--list", action="store_true", help="only list the servers heard, then end")
    parser.add_argument("--name", help="with --find: connect to the computer of this name")
    parser.add_argument("--wait", type=float, default=3.0, metavar="S",
                        help="seconds to listen for broadcasts (default %(default)s)")
    parser.add_argument("--discovery-port", type=int, default=DISCOVERY_PORT, metavar="PORT",
                        help="UDP port of the broadcasts (default %(default)s)")
    parser.add_argument("--script", metavar="FILE", help="send the commands in FILE, one per line")
    parser.add_argument("--raw", action="store_true", help="send each item's bytes exactly as given, no framing or newline")
    parser.add_argument("--delay", type=int, default=0, metavar="MS", help="pause between items in milliseconds")
    parser.add_argument("--linger", type=float, default=0.2, metavar="S",
                        help="seconds to keep the connection open after the last item (default %(default)s)")
    parser.add_argument("--reset", action="store_true", help="end with a connection reset instead of a close")
    args = parser.parse_args(argv)
    if args.script and args.items:
        parser.error("give commands on the command line or in --script, not both")

    try:
        if args.raw:
            steps = [[decode_raw(i)] for i in args.items]
        else:
            steps = [translate(i) for i in args.items]
        if args.script:
            steps = [s for _, s in read_script(args.script)]
        host = args.host
        if args.find or args.list:
            wanted = args.name if not args.list else None
            print("listening for Tavrin on UDP port %d for %.1f s ..." % (args.discovery_port, args.wait),
                  flush=True)
            found = listen_for_servers(args.wait, args.discovery_port, wanted)
            if args.list:
                return 0 if found else 1
            name, host = choose_server(found, wanted, args.wait, args.discovery_port)
            print("connecting to %s at %s" % (name, host))
        phone = Phone(host, args.port)
        print("connected to %s:%d" % (host, args.port))
        show(phone.read_greeting(idle=0.3))
        sys.stdout.flush()
        if args.items or args.script:
            for index, step in enumerate(steps):
                if index and args.delay:
                    time.sleep(args.delay / 1000.0)
                perform(phone, step)
        else:
            interact(phone, sys.stdin)
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
    except ServerClosed as error:
        print("error: %s" % error, file=sys.stderr)
        return 3
    except KeyboardInterrupt:
        print("\ninterrupted", file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main())
