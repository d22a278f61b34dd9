#!/usr/bin/env python3
"""Runs Tavrin.exe under Wine and drives it as a phone would, showing what
each message did as the desktop saw it (scripts/run.sh calls this inside a
private network namespace).

    tavrin_demo.py [ITEM ...]        items as for quillo_sim.py; a tour if none
    tavrin_demo.py --serve-lan       serve the real network until Ctrl-C

The program runs in the Wine desktop "shell" (which has a notification
area) on a private Xvfb display; the observer's low-level hooks report
every injected event.
"""

import argparse
import os
import signal
import sys
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
        greeting = phone.read_greeting(idle=0.3)
        say("phone received the greeting:")
        quillo_sim.show(greeting)
        for item in items:
            view = observer.view()
            data = quillo_sim.encode_item(item)
            phone.send(data)
            view.sync(phone)
            events = view.events()
            print("> %-34s %s" % (repr(data)[2:-1], ", ".join(events) if events else "(no injected input)"),
                  flush=True)
        late = phone.read_available(idle=0.1, deadline=0.2)
        if late:
            say("unexpected bytes from the server after the greeting: %r" % late)
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
    parser.add_argument("--logs", default=str(harness.BUILD / "run-logs"))
    parser.add_argument("--prefix", default=os.environ.get("TAVRIN_WINEPREFIX", str(harness.BUILD / "wineprefix")))
    args = parser.parse_args()
    build = harness.Build()
    try:
        if args.serve_lan:
            return serve_lan(Path(args.logs), Path(args.prefix), build)
        return drive(args.items or TOUR, Path(args.logs), Path(args.prefix), build)
    except (harness.HarnessError, quillo_sim.SimulatorError, AssertionError) as error:
        print("[run] ERROR: %s" % error, file=sys.stderr)
        print("[run] logs are in %s" % args.logs, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
