#!/usr/bin/env python3
"""End-to-end benchmark of Tavrin.exe under Wine, beside a floor program.

    scripts/in-netns.sh --veth /usr/bin/python3 bench/e2e/latency.py

It builds nothing: it uses the windows build (TAVRIN_WIN_BUILD, default
build/e2e-win), which holds Tavrin.exe and, in e2e/, probe.exe and floor.exe.
It makes its own Wine prefix (default build/bench-prefix) and Xvfb display.

What it measures, all in one run:
  latency     from the phone's send() of one "mos" frame to the injected move
              seen by a low-level mouse hook, both stamped with
              QueryPerformanceCounter inside probe.exe; p50/p90/p99 over
              --messages messages, for Tavrin.exe and for floor.exe (a blocking
              recv and one SendInput per frame, nothing else), one message to
              each in turn so that all see the same load
  floor+select the floor with a select (50 ms timeout) before each recv, as
              Tavrin's loop waits: what that wait costs under Wine
  floor+event  the floor waiting for the socket's event or a window message
              in one call (WSAEventSelect, MsgWaitForMultipleObjectsEx)
  throughput  --phones phones each writing --frames frames back to back; every
              move seen, in each phone's order; moves per second. Also one
              phone writing phones*frames frames, to Tavrin and to the floor
              (the floor serves one connection at a time), one frame per send
              and --batch frames per send
  idle        CPU time (utime+stime of the Linux process that runs Tavrin.exe,
              and of the prefix's wineserver) over --idle-seconds with no phone
              and with --phones idle phones connected
  exit        time from posting WM_COMMAND 105 to the end of the process

Prints a Markdown report; the raw figures go to LOGS/bench.json.
"""

import argparse
import json
import os
import socket
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import tavrin_harness as harness  # noqa: E402

FLOOR_PORT = 1979
SELECT_FLOOR_PORT = 1980
EVENT_FLOOR_PORT = 1981
# Each floor's port and the way it waits before a recv.
FLOORS = {"floor": (FLOOR_PORT, None), "floor+select": (SELECT_FLOOR_PORT, "select"),
          "floor+event": (EVENT_FLOOR_PORT, "event")}
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def percentile(values, fraction):
    ordered = sorted(values)
    index = min(len(ordered) - 1, max(0, int(round(fraction * (len(ordered) - 1)))))
    return ordered[index]


def linux_processes(prefix, exe_name):
    """Linux PIDs of this prefix's processes whose Windows image is exe_name
    (or, for "wineserver", the prefix's wineserver)."""
    found = []
    wanted = ("WINEPREFIX=%s" % prefix).encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            argv0 = (entry / "cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
            environ = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if wanted not in environ:
            continue
        name = argv0.replace("\\", "/").rsplit("/", 1)[-1].lower()
        if name == exe_name.lower() or (exe_name == "wineserver" and name.startswith("wineserver")):
            found.append(int(entry.name))
    return found


def cpu_seconds(pid):
    """utime + stime of a process, in seconds."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


class Probe:
    def __init__(self, desktop, build, logs):
        self.desktop = desktop
        self.exe = build.helper("probe.exe")
        self.logs = logs
        self.runs = 0

    def run(self, *args, timeout=600):
        self.runs += 1
        out = self.logs / ("probe-%d-%s.txt" % (self.runs, args[0]))
        code = self.desktop.run_program(self.exe, self.desktop.winpath(out), *args,
                                        log=self.logs / "probe.wine.log", timeout=timeout)
        lines = out.read_text().splitlines() if out.exists() else []
        if code != 0 or not lines or lines[-1] != "done":
            raise harness.HarnessError("probe %s failed (exit %s): %s" % (" ".join(map(str, args)), code, lines[-3:]))
        result = {}
        for line in lines[:-1]:
            name, _, value = line.partition(" ")
            result.setdefault(name, []).append(value)
        return result


def latency(probe, count, targets):
    """targets: (port, greeting) pairs, sent to in turn. A summary per target."""
    args = [value for port, greeting in targets for value in (port, int(greeting))]
    seen = [[] for _ in targets]
    for line in probe.run("latency", count, *args)["latency_us"]:
        target, value = line.split()
        seen[int(target)].append(float(value))
    return [{"n": len(values), "p50": percentile(values, 0.5), "p90": percentile(values, 0.9),
             "p99": percentile(values, 0.99), "mean": statistics.fmean(values), "max": max(values)}
            for values in seen]


def throughput(probe, port, phones, frames, greeting, batch=1):
    result = probe.run("throughput", port, phones, frames, int(greeting), batch)
    events, expected = int(result["events"][0]), int(result["expected"][0])
    errors = int(result["order_errors"][0])
    seconds = float(result["seconds"][0])
    if events != expected or errors:
        raise harness.HarnessError("throughput run lost or reordered moves: %s" % result)
    return {"phones": phones, "frames": frames, "batch": batch, "events": events, "order_errors": errors,
            "seconds": seconds, "per_second": events / seconds}


def start_floor(desktop, build, logs, name):
    port, wait = FLOORS[name]
    return desktop.start(build.helper("floor.exe"), port, 1, *([wait] if wait else []), log=logs / "floor.log")


def idle_cpu(pid, server_pid, seconds):
    before, server_before, start = cpu_seconds(pid), cpu_seconds(server_pid), time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - start
    return {"seconds": elapsed, "tavrin_cpu_s": cpu_seconds(pid) - before,
            "wineserver_cpu_s": cpu_seconds(server_pid) - server_before}


def load():
    with open("/proc/loadavg") as average:
        return " ".join(average.read().split()[:3])


def report(results, args):
    lines = ["Date %s, load average before/after: %s / %s" % (results["date"], results["load_before"],
                                                             results["load_after"]), ""]
    lines += ["| Latency, us | n | p50 | p90 | p99 | mean | max |", "|---|---|---|---|---|---|---|"]
    for name in ("tavrin",) + tuple(FLOORS):
        for i, r in enumerate(results["latency"][name]):
            lines.append("| %s (round %d) | %d | %.0f | %.0f | %.0f | %.0f | %.0f |"
                         % (name, i + 1, r["n"], r["p50"], r["p90"], r["p99"], r["mean"], r["max"]))
    t, f = results["latency"]["tavrin"], results["latency"]["floor"]
    lines.append("")
    lines.append("Ratio Tavrin/floor of the medians of p50: %.2f, p90: %.2f, p99: %.2f" % tuple(
        statistics.median(r[k] for r in t) / statistics.median(r[k] for r in f) for k in ("p50", "p90", "p99")))
    lines += ["", "| Throughput | phones x frames | moves per run | moves/s, median | lowest, highest |",
              "|---|---|---|---|---|"]
    for name, runs in results["throughput"].items():
        rates = [r["per_second"] for r in runs]
        lines.append("| %s | %d x %d | %d | %.0f | %.0f, %.0f |" % (
            name, runs[0]["phones"], runs[0]["frames"], runs[0]["events"], statistics.median(rates),
            min(rates), max(rates)))
    if "idle" in results:
        lines += ["", "| Idle | seconds | Tavrin.exe CPU s | wineserver CPU s |", "|---|---|---|---|"]
        for name, r in results["idle"].items():
            lines.append("| %s | %.1f | %.3f | %.3f |" % (name, r["seconds"], r["tavrin_cpu_s"], r["wineserver_cpu_s"]))
    if "exit_ms" in results:
        lines += ["", "WM_COMMAND 105 to process exit: %.1f ms (%s)" % (
            statistics.median(results["exit_ms"]), ", ".join("%.1f" % v for v in results["exit_ms"]))]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--messages", type=int, default=2000, help="messages per latency run (default %(default)s)")
    parser.add_argument("--rounds", type=int, default=2, help="latency runs (default %(default)s)")
    parser.add_argument("--phones", type=int, default=10, help="phones in the throughput and idle runs")
    parser.add_argument("--frames", type=int, default=2000, help="frames per phone in the throughput run")
    parser.add_argument("--throughput-rounds", type=int, default=3,
                        help="throughput runs of each kind, in turn (default %(default)s)")
    parser.add_argument("--batch", type=int, default=100,
                        help="frames per send in the batched single-phone runs (default %(default)s)")
    parser.add_argument("--idle-seconds", type=float, default=30.0, help="length of each idle measurement; 0 skips it")
    parser.add_argument("--exits", type=int, default=3, help="how many times to time the exit (default %(default)s)")
    parser.add_argument("--prefix", default=str(harness.BUILD / "bench-prefix"), help="Wine prefix (default %(default)s)")
    parser.add_argument("--logs", default=str(harness.BUILD / "bench-logs"), help="log folder (default %(default)s)")
    args = parser.parse_args()

    problem = harness.namespace_problem()
    if problem:
        sys.exit("refusing to run: %s. Use scripts/in-netns.sh --veth /usr/bin/python3 %s" % (problem, sys.argv[0]))
    logs = Path(args.logs)
    logs.mkdir(parents=True, exist_ok=True)
    build = harness.Build()
    prefix = Path(args.prefix).resolve()
    results = {"date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), "load_before": load(),
               "latency": {name: [] for name in ("tavrin",) + tuple(FLOORS)}, "throughput": {}, "args": vars(args)}

    xvfb, display = harness.start_xvfb(logs / "xvfb.log")
    desktop = harness.WineDesktop(prefix, display, logs, launcher=build.launcher())
    try:
        desktop.boot()
        probe = Probe(desktop, build, logs)
        tavrin = harness.Tavrin(desktop, build, logs / "tavrin.log")
        tavrin.wait_serving()

        total = args.phones * args.frames
        for _ in range(args.rounds):
            floors = [start_floor(desktop, build, logs, name) for name in FLOORS]
            runs = latency(probe, args.messages,
                           [(harness.PORT, True)] + [(port, False) for port, _ in FLOORS.values()])
            for name, run in zip(("tavrin",) + tuple(FLOORS), runs):
                results["latency"][name].append(run)
            for floor in floors:
                floor.wait(timeout=30)
        # Rounds of every kind in turn, so that a busy spell of the machine
        # does not fall on one kind only.
        for _ in range(args.throughput_rounds):
            add = lambda name, run: results["throughput"].setdefault(name, []).append(run)  # noqa: E731
            add("tavrin, %d phones, 1 per send" % args.phones,
                throughput(probe, harness.PORT, args.phones, args.frames, True))
            for batch in (1, args.batch):
                add("tavrin, 1 phone, %d per send" % batch, throughput(probe, harness.PORT, 1, total, True, batch))
                for name in ("floor", "floor+select"):
                    floor = start_floor(desktop, build, logs, name)
                    add("%s, 1 phone, %d per send" % (name, batch),
                        throughput(probe, FLOORS[name][0], 1, total, False, batch))
                    floor.wait(timeout=30)

        if args.idle_seconds > 0:
            pids = linux_processes(prefix, "Tavrin.exe")
            servers = linux_processes(prefix, "wineserver")
            if len(pids) != 1 or len(servers) != 1:
                raise harness.HarnessError("cannot tell Tavrin's process (%s) or the wineserver (%s)" % (pids, servers))
            results["idle"] = {"no phone": idle_cpu(pids[0], servers[0], args.idle_seconds)}
            idle_phones = []
            for _ in range(args.phones):
                phone = socket.create_connection(("127.0.0.1", harness.PORT), timeout=5)
                idle_phones.append(phone)
                received = b""
                while received.count(b"\n") < 2:
                    received += phone.recv(64)
            results["idle"]["%d idle phones" % args.phones] = idle_cpu(pids[0], servers[0], args.idle_seconds)
            for phone in idle_phones:
                phone.close()

        results["exit_ms"] = []
        for i in range(args.exits):
            if i:
                tavrin = harness.Tavrin(desktop, build, logs / ("tavrin-%d.log" % (i + 1)))
                tavrin.wait_serving()
            results["exit_ms"].append(float(probe.run("exit")["exit_ms"][0]))
            tavrin.wait_exit(10)
        harness.wait_until(lambda: not harness.port_accepts(), 10, "port %d to close" % harness.PORT, interval=0.05)
    finally:
        desktop.shutdown()
        harness.stop_process(xvfb)
    results["load_after"] = load()
    (logs / "bench.json").write_text(json.dumps(results, indent=2))
    print(report(results, args))


if __name__ == "__main__":
    main()
