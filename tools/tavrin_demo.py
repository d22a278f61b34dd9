#!/usr/bin/env python3
"""Runs Tavrin.exe under Wine, or tavrin on an X desktop of its own, and
drives it as a phone would, showing what each message did as the desktop saw
it (scripts/run.sh calls this inside a private network namespace).

    tavrin_demo.py [ITEM ...]          items as for quillo_sim.py; a tour if none
    tavrin_demo.py --linux [ITEM ...]  the same with tavrin, the X11 build
    tavrin_demo.py --serve-lan         serve the real network until Ctrl-C

Tavrin.exe runs in the Wine desktop "shell" (which has a notification
area) on a private Xvfb display; the observer's low-level hooks report
every injected event. tavrin runs on a private Xvfb display with openbox
and private D-Bus buses (tools/linux_desktop.py); an X client's window,
which fills the screen and has the focus, reports what reaches it.
"""

import argparse
import os
import signal
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import quillo_sim  # noqa: E402
import tavrin_harness as harness  # noqa: E402

TOUR = [
    "mos m 5 -3",
    "mos c",
    "mos R r d R r u",
    "mos " + " ".join(["w 1"] * 10),
    "drag start", "drag 12 -3", "drag end",
    "key a",
    "key A",
    "key CTRL[+]w",
    "key [R] SHIFT d", "key h", "key [R] SHIFT u",
    "MUTE",
    "utf8 h\u00e9",
]


def say(text):
    print("[run] %s" % text, flush=True)


def tour(phone, items, events_of, nothing):
    """The greeting, then each item with what the desktop saw of it:
    events_of(send) sends the item and returns those events."""
    greeting = phone.read_greeting(idle=0.3)
    say("phone received the greeting:")
    quillo_sim.show(greeting)
    for item in items:
        data = quillo_sim.encode_item(item)
        events = events_of(lambda: phone.send(data))
        print("> %-34s %s" % (repr(data)[2:-1], ", ".join(events) if events else nothing), flush=True)
    late = phone.read_available(idle=0.1, deadline=0.2)
    if late:
        say("unexpected bytes from the server after the greeting: %r" % late)


def drive(items, logs, prefix, build):
    problem = harness.namespace_problem()
    if problem:
        sys.exit("[run] refusing to start Tavrin.exe: %s. Use scripts/run.sh." % problem)
    logs.mkdir(parents=True, exist_ok=True)
    xvfb, display = harness.start_xvfb(logs / "xvfb.log")
    desktop = None
    try:
        desktop = harness.WineDesktop(prefix, display, logs, launcher=build.launcher())
        say("Wine prefix %s on Xvfb %s (first boot takes a while)" % (prefix, display))
        desktop.boot()
        observer = harness.Observer(desktop, build, logs / "observer.log")
        say("starting %s" % build.tavrin())
        tavrin = harness.Tavrin(desktop, build, logs / "tavrin.log")
        tavrin.wait_serving()
        say("Tavrin.exe serves 127.0.0.1:%d" % harness.PORT)

        phone = quillo_sim.Phone()

        def injected(send):
            view = observer.view()
            send()
            view.sync(phone)
            return view.events()
        tour(phone, items, injected, "(no injected input)")
        phone.close()

        say("asking Tavrin.exe to exit (tray menu command 105)")
        code = tavrin.stop()
        say("Tavrin.exe exited with code %s" % code)
        observer.stop()
        return 0 if code == 0 else 1
    finally:
        if desktop:
            desktop.shutdown()
        harness.stop_process(xvfb)


def describe_x_events(records, position):
    """The recorder's events as one line's worth of text, moves as the
    distance from the pointer's last position (a list holding x, y)."""
    from Xlib import XK
    XK.load_keysym_group("xf86")
    names = {}
    for name, value in vars(XK).items():
        if name.startswith("XK_"):
            names.setdefault(value, name[3:])
    events = []
    for record in records:
        if record["event"] == "motion":
            events.append("move %d %d" % (record["x"] - position[0], record["y"] - position[1]))
            position[:] = [record["x"], record["y"]]
        elif record["event"] == "button":
            events.append("button %d %s" % (record["button"], "down" if record["down"] else "up"))
        elif record["event"] == "key":
            keysym = record["keysym"]
            name = names.get(keysym) or ("U+%04X %s" % (keysym - 0x01000000, record["text"])
                                         if keysym >= 0x01000000 else "0x%x" % keysym)
            events.append("key %s %s" % (name, "down" if record["down"] else "up"))
    return events


def drive_linux(items, logs):
    import linux_desktop
    problem = linux_desktop.session_problem()
    if problem:
        sys.exit("[run] refusing to start tavrin: %s. Use scripts/run.sh --linux." % problem)
    logs.mkdir(parents=True, exist_ok=True)
    desktop = linux_desktop.Desktop(Path(tempfile.mkdtemp(prefix="linux-", dir=logs)))
    try:
        say("Xvfb %s with openbox, private D-Bus buses with stand-ins for logind and the notification daemon"
            % desktop.display)
        recorder = linux_desktop.Recorder(desktop)
        from Xlib import display
        x = display.Display(desktop.display)
        pointer = x.screen().root.query_pointer()
        position = [pointer.root_x, pointer.root_y]
        x.close()
        tavrin = linux_desktop.Tavrin(desktop, "tavrin")
        say("%s serves 127.0.0.1:%d" % (tavrin.program, harness.PORT))
        with quillo_sim.Phone() as phone:
            def arrived(send):
                mark = recorder.mark()
                send()
                return describe_x_events(recorder.since(mark, phone, pointer=True), position)
            tour(phone, items, arrived, "(no input arrived)")
        say("asking tavrin to stop (SIGTERM, as the session's end does)")
        code = tavrin.stop()
        say("tavrin exited with code %s; its log: %s" % (code, tavrin.log))
        return 0 if code == 0 else 1
    finally:
        desktop.stop()


def serve_lan(logs, prefix, build):
    display = os.environ.get("DISPLAY")
    if not display:
        sys.exit("[run] --lan needs your X display (DISPLAY is not set)")
    logs.mkdir(parents=True, exist_ok=True)
    desktop = harness.WineDesktop(prefix, display, logs)
    desktop.boot()
    tavrin = harness.Tavrin(desktop, build, logs / "tavrin-lan.log")
    tavrin.wait_serving()
    say("Tavrin.exe serves port %d on every local address; Ctrl-C stops it" % harness.PORT)
    stop = []
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    while not stop and tavrin.running():
        time.sleep(0.2)
    say("stopping Tavrin.exe")
    code = tavrin.stop()
    desktop.shutdown()
    say("Tavrin.exe exited with code %s" % code)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("items", nargs="*", help="items to send (default: a short tour)")
    parser.add_argument("--serve-lan", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--linux", action="store_true", help="drive tavrin, the X11 build, instead of Tavrin.exe")
    parser.add_argument("--logs", default=str(harness.BUILD / "run-logs"))
    parser.add_argument("--prefix", default=os.environ.get("TAVRIN_WINEPREFIX", str(harness.BUILD / "wineprefix")))
    args = parser.parse_args()
    try:
        if args.linux:
            return drive_linux(args.items or TOUR, Path(args.logs))
        build = harness.Build()
        if args.serve_lan:
            return serve_lan(Path(args.logs), Path(args.prefix), build)
        return drive(args.items or TOUR, Path(args.logs), Path(args.prefix), build)
    except (harness.HarnessError, quillo_sim.SimulatorError, AssertionError) as error:
        print("[run] ERROR: %s" % error, file=sys.stderr)
        print("[run] logs are in %s" % args.logs, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
