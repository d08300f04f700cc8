#!/usr/bin/python3
"""Benchmark of the Linux program against a minimal GTK + WebKitGTK program.

One run measures, side by side and interleaved round by round:

  start   time from just before the process is started to the page's load
          event, for vistrel showing a local file, vistrel showing the same
          file's HTML with /l, and the floor program (bench/floor.cpp), which
          only opens a window and loads the file;
  memory  the proportional set size (PSS) of the whole process tree (the
          program, its WebKitWebProcess and WebKitNetworkProcess and whatever
          else descends from it) once the page has loaded and settled;
  /ls     for one vistrel /ls run, the time from saving new content to the
          file to that content's load event.

"Loaded" is seen from outside the same way for every program: the page's
load event asks a loopback HTTP server of this script for an image whose
address carries the run's token (and for /ls the content's sequence number).
Everything runs under a private Xvfb and D-Bus session, each program run
with fresh HOME, XDG and TMPDIR folders of its own.

    /usr/bin/python3 bench/bench.py --vistrel build/linux/vistrel --floor build/bench/vistrel-bench-floor

Standard library only (Debian 12's Python 3).
"""

import argparse
import datetime
import http.server
import os
import platform
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

# The end-to-end tests' X session and libX11 access serve here too.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e", "linux"))
import run_tests as e2e  # noqa: E402

LOAD_TIMEOUT = 30.0   # until a started program's page must have loaded
EXIT_TIMEOUT = 15.0   # until a closed program must have ended
SHOW_TIMEOUT = 5.0    # until a saved /ls file's new content must have loaded
SCREEN = (1920, 1080)  # the screen of the end-to-end tests' Xvfb
# The size vistrel gives its window on SCREEN without /s (1400 wide, the
# work area's height less 20), which the floor program is given too.
WINDOW = (1400, SCREEN[1] - 20)

PAGE = """<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>vistrel benchmark</title>
<style>
  body {{ font: 16px/1.5 sans-serif; margin: 2em auto; max-width: 46em; color: #222; }}
  h1 {{ font-size: 1.6em; }}
  table {{ border-collapse: collapse; }}
  td, th {{ border: 1px solid #999; padding: .2em .6em; }}
</style>
</head>
<body>
<h1>Benchmark page {label}</h1>
<p>A small local page: some text, a table, a picture drawn by the engine and a script that reports the
page's load event to the benchmark.</p>
<table><tr><th>one</th><th>two</th><th>three</th></tr><tr><td>1</td><td>2</td><td>3</td></tr></table>
<svg width="120" height="60"><rect width="120" height="60" rx="8" fill="#4a8"/></svg>
<script>
  // The load event, reported to the benchmark's loopback server, with when
  // (wall clock, ms) the page's navigation started, to split the time.
  window.addEventListener('load', () => {{
    new Image().src = '{beacon}&o=' + Math.round(performance.timeOrigin);
  }});
</script>
</body>
</html>
"""


# ---- The loopback server that hears the pages' load events --------------------------------

class Beacons:
    """Load events by token, each with the monotonic time it arrived."""

    def __init__(self):
        self._arrived = {}
        self._origins = {}  # when each page's navigation started, wall clock
        self._changed = threading.Condition()
        beacons = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                now = time.monotonic()
                query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
                token = query.get("t", [None])[0]
                if token is not None:
                    origin = query.get("o", [None])[0]
                    with beacons._changed:
                        beacons._arrived.setdefault(token, now)
                        if origin is not None and origin.isdigit():
                            beacons._origins.setdefault(token, int(origin) / 1000)
                        beacons._changed.notify_all()
                self.send_response(204)
                self.send_header("Cache-Control", "no-store")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def address(self, token):
        return "http://127.0.0.1:%d/loaded?t=%s" % (self.port, urllib.parse.quote(token))

    def wait(self, token, timeout, process=None):
        """The arrival time of token's load event, or None when none came in time (or the process ended)."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while token not in self._arrived:
                left = deadline - time.monotonic()
                if left <= 0 or (process is not None and process.poll() is not None):
                    return None
                self._changed.wait(min(left, 0.2))
            return self._arrived[token]

    def origin(self, token):
        with self._changed:
            return self._origins.get(token)

    def close(self):
        self.server.shutdown()
        self.server.server_close()


# ---- X display, D-Bus session, closing windows --------------------------------------------

class Session(e2e.Session):
    """The end-to-end tests' private Xvfb and D-Bus session, on a display of our own whatever $DISPLAY says (the
    floor's window size assumes SCREEN), with an X connection to close windows through."""

    def __init__(self):
        os.environ.pop("DISPLAY", None)
        super().__init__()
        try:
            self.xserver = e2e.XServer(self.display)
        except BaseException:
            self.close()
            raise

    def windows_of(self, pid):
        """The top-level windows whose _NET_WM_PID is pid (there is no window manager to reparent them)."""
        return [window for window in self.xserver.top_levels()
                if (self.xserver.property(window, "_NET_WM_PID") or [None])[0] == pid]

    def close(self):
        if getattr(self, "xserver", None):
            self.xserver.close()
        super().close()


# ---- Processes and their memory ----------------------------------------------------------

def process_table():
    """pid -> (parent pid, process group, name) for every process now."""
    table = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        # "pid (name) state ppid pgrp ...": the name may hold any character.
        open_, close = stat.find("("), stat.rfind(")")
        fields = stat[close + 2:].split()
        table[int(entry)] = (int(fields[1]), int(fields[2]), stat[open_ + 1:close])
    return table


def tree_of(pid, table):
    """pid and all its descendants."""
    children = {}
    for child, (parent, _, _) in table.items():
        children.setdefault(parent, []).append(child)
    found, todo = [], [pid]
    while todo:
        current = todo.pop()
        if current in table:
            found.append(current)
        todo.extend(children.get(current, ()))
    return found


def pss_kib(pid):
    try:
        with open("/proc/%d/smaps_rollup" % pid) as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def tree_memory(pid):
    """(total PSS in KiB, {process name: PSS in KiB}) of pid's process tree."""
    table = process_table()
    shares = {}
    for member in tree_of(pid, table):
        name = table[member][2]
        shares[name] = shares.get(name, 0) + pss_kib(member)
    return sum(shares.values()), shares


def group_members(pgid):
    return [pid for pid, (_, group, _) in process_table().items() if group == pgid]


# ---- Running one program -------------------------------------------------------------------

class Run:
    """One program started in a scratch folder of its own, with its own HOME, XDG and TMPDIR folders."""

    def __init__(self, bench, argv_for, page_label, token, page_name="page.html"):
        self.bench = bench
        self.folder = tempfile.mkdtemp(prefix="run-", dir=bench.workdir)
        env = dict(bench.base_env)
        for name, sub in (("HOME", "home"), ("TMPDIR", "tmp"), ("XDG_DATA_HOME", "data"),
                          ("XDG_CACHE_HOME", "cache"), ("XDG_CONFIG_HOME", "config")):
            path = os.path.join(self.folder, sub)
            os.mkdir(path)
            env[name] = path
        self.env = env
        self.page = os.path.join(self.folder, page_name)
        write_page(self.page, page_label, bench.beacons.address(token))
        self.argv = argv_for(self)
        self.process = None
        self.leaked = []

    def start(self):
        self.started_wall = time.time()
        self.started = time.monotonic()
        # A group of its own, so that whatever is left of it can be found.
        self.process = subprocess.Popen(self.argv, cwd=self.folder, env=self.env, start_new_session=True,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
        # Read stderr all along so that a chatty program never blocks on it.
        self.stderr = []
        self._reader = threading.Thread(target=lambda: self.stderr.extend(self.process.stderr), daemon=True)
        self._reader.start()

    def close(self):
        """Closes the window as a window manager would, then makes sure the whole group has ended; returns
        what went amiss."""
        process, session = self.process, self.bench.session
        clean = False
        if process.poll() is None:
            for window in session.windows_of(process.pid):
                session.xserver.ask_to_close(window)
            try:
                process.wait(timeout=EXIT_TIMEOUT)
                clean = True
            except subprocess.TimeoutExpired:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        # The web engine's processes end with their program; any that do not are counted and ended.
        deadline = time.monotonic() + 5
        while group_members(process.pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.leaked = [process_table().get(pid, (0, 0, "?"))[2] for pid in group_members(process.pid)]
        if self.leaked:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._reader.join(timeout=5)
        process.stderr.close()
        self.exit_code = process.returncode
        self.clean = clean
        # What vistrel leaves of its scratch data folder; it deletes it when it ends without /d.
        self.scratch_left = os.path.exists(os.path.join(self.env["TMPDIR"], "vistrel.webkit"))
        shutil.rmtree(self.folder, ignore_errors=True)
        notes = []
        if not self.clean:
            notes.append("did not end when its window was closed")
        if self.leaked:
            notes.append("left processes: " + ", ".join(self.leaked))
        if self.scratch_left:
            notes.append("left its scratch data folder")
        return notes


def write_page(path, label, beacon):
    # A new file put in place in one step, as an editor that saves safely does.
    part = path + ".part"
    with open(part, "w", encoding="utf-8") as f:
        f.write(PAGE.format(label=label, beacon=beacon))
    os.replace(part, path)


class Bench:
    def __init__(self, args, session, beacons, workdir):
        self.args, self.session, self.beacons, self.workdir = args, session, beacons, workdir
        dropped = ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY", "GDK_BACKEND",
                   "GDK_SCALE", "GTK_MODULES", "NO_AT_BRIDGE", "LC_ALL", "LC_MESSAGES", "LANGUAGE",
                   "http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY")
        env = {k: v for k, v in os.environ.items() if k not in dropped}
        env.update(DISPLAY=session.display, DBUS_SESSION_BUS_ADDRESS=session.bus_address, LANG="C.UTF-8",
                   # The same engine settings for every program: Xvfb has no GL worth compositing with.
                   WEBKIT_DISABLE_COMPOSITING_MODE="1")
        self.base_env = env
        self.sequence = 0

    def token(self, kind):
        self.sequence += 1
        return "%s-%d" % (kind, self.sequence)


# The programs whose start-up and memory are compared, each as argv for a run.
def programs(args):
    return {
        "vistrel": lambda run: [args.vistrel, "Benchmark", os.path.basename(run.page)],
        "vistrel /l": lambda run: [args.vistrel, "/l", "Benchmark", os.path.basename(run.page)],
        "floor": lambda run: [args.floor, str(WINDOW[0]), str(WINDOW[1]), "file://" + run.page],
    }


def start_round(bench, name, argv_for):
    """One start-up: (seconds to the load event, of them until the navigation started, PSS KiB,
    PSS by process, notes)."""
    token = bench.token("start")
    run = Run(bench, argv_for, name, token)
    notes = []
    try:
        run.start()
        arrived = bench.beacons.wait(token, LOAD_TIMEOUT, run.process)
        if arrived is None:
            notes.append("no load event (exit code %s)" % run.process.poll())
            return None, None, None, {}, notes
        origin = bench.beacons.origin(token)
        to_navigation = origin - run.started_wall if origin is not None else None
        time.sleep(bench.args.settle)
        total, shares = tree_memory(run.process.pid)
        return arrived - run.started, to_navigation, total, shares, notes
    finally:
        notes.extend(run.close())
        for line in run.stderr:
            text = line.decode(errors="replace").strip()
            if "CRITICAL" in text or "-WARNING" in text:
                notes.append("stderr: " + text)
                break


def reload_rounds(bench, saves):
    """vistrel /ls on a file saved `saves` times: seconds from each save to its content's load event."""
    first = "ls-0"
    run = Run(bench, lambda r: [bench.args.vistrel, "/ls", os.path.basename(r.page)], "0", first,
              page_name="live.html")
    delays, missed, notes = [], 0, []
    # Pauses of a random length sample every phase of the program's polling.
    pauses = random.Random(20)
    try:
        run.start()
        if bench.beacons.wait(first, LOAD_TIMEOUT, run.process) is None:
            notes.append("first content never loaded")
            return delays, saves, notes
        for number in range(1, saves + 1):
            time.sleep(pauses.uniform(0.2, 0.4))
            token = "ls-%d" % number
            saved = time.monotonic()
            write_page(run.page, str(number), bench.beacons.address(token))
            arrived = bench.beacons.wait(token, SHOW_TIMEOUT, run.process)
            if arrived is None:
                missed += 1
                if run.process.poll() is not None:
                    notes.append("vistrel ended during the saves (exit code %s)" % run.process.returncode)
                    missed += saves - number
                    break
                continue
            delays.append(arrived - saved)
    finally:
        notes.extend(run.close())
    return delays, missed, notes


# ---- Figures -------------------------------------------------------------------------------

def percentile(values, fraction):
    """The value at fraction of the sorted values, by linear interpolation."""
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    place = (len(ordered) - 1) * fraction
    low = int(place)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (place - low)


def describe(values):
    values = [v for v in values if v is not None]
    return {
        "n": len(values),
        "median": statistics.median(values) if values else float("nan"),
        "p25": percentile(values, 0.25),
        "p75": percentile(values, 0.75),
        "p95": percentile(values, 0.95),
        "min": min(values) if values else float("nan"),
        "max": max(values) if values else float("nan"),
    }


def load_average():
    try:
        with open("/proc/loadavg") as f:
            return " ".join(f.read().split()[:3])
    except OSError:
        return "?"


def engine_version():
    probe = subprocess.run(["pkg-config", "--modversion", "webkit2gtk-4.1"], capture_output=True, text=True)
    return probe.stdout.strip() or "?"


def report(args, starts, navigations, memory, shares, reload_delays, reload_missed, notes, begun, took, loads):
    names = list(starts)
    lines = []
    out = lines.append
    out("# Benchmark results")
    out("")
    out("Measured %s UTC by `bench/run.sh` in %.0f s: %d rounds of each program, interleaved (the order turned "
        "round by round), after one warm-up round each; %d `/ls` saves. Machine: %d CPUs, Linux %s, WebKitGTK %s, "
        "Xvfb %dx%d, `WEBKIT_DISABLE_COMPOSITING_MODE=1`. Load average at the start %s, at the end %s."
        % (begun.strftime("%Y-%m-%d %H:%M"), took, args.rounds, args.saves, os.cpu_count(), platform.release(),
           engine_version(), SCREEN[0], SCREEN[1], loads[0], loads[1]))
    out("")
    out("## Start to first completed load (ms)")
    out("")
    out("| program | median | p25 | p75 | min | max | n | median / floor | median of per-round ratios "
        "| median until navigation start |")
    out("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    floor = starts.get("floor", [])
    floor_median = describe(floor)["median"]
    for name in names:
        d = describe(starts[name])
        paired = [a / b for a, b in zip(starts[name], floor) if a is not None and b is not None]
        out("| %s | %.0f | %.0f | %.0f | %.0f | %.0f | %d | %.3f | %.3f | %.0f |"
            % (name, d["median"] * 1000, d["p25"] * 1000, d["p75"] * 1000, d["min"] * 1000, d["max"] * 1000,
               d["n"], d["median"] / floor_median, statistics.median(paired) if paired else float("nan"),
               describe(navigations[name])["median"] * 1000))
    out("")
    out("## Memory of the process tree once loaded (PSS, MiB, %.1f s after the load event)" % args.settle)
    out("")
    out("| program | median | p25 | p75 | min | max | n | median / floor | median by process |")
    out("|---|---:|---:|---:|---:|---:|---:|---:|---|")
    floor_memory = describe(memory.get("floor", []))["median"]
    for name in names:
        d = describe(memory[name])
        by_process = {}
        for sample in shares[name]:
            for process, kib in sample.items():
                by_process.setdefault(process, []).append(kib)
        split = ", ".join("%s %.1f" % (process, statistics.median(values) / 1024)
                          for process, values in sorted(by_process.items(), key=lambda item: -max(item[1])))
        out("| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %d | %.3f | %s |"
            % (name, d["median"] / 1024, d["p25"] / 1024, d["p75"] / 1024, d["min"] / 1024, d["max"] / 1024,
               d["n"], d["median"] / floor_memory, split))
    out("")
    out("## `/ls`: save to new content loaded (ms)")
    out("")
    d = describe(reload_delays)
    out("| saves | shown | missed | median | p95 | p25 | p75 | min | max |")
    out("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    out("| %d | %d | %d | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f |"
        % (args.saves, d["n"], reload_missed, d["median"] * 1000, d["p95"] * 1000, d["p25"] * 1000,
           d["p75"] * 1000, d["min"] * 1000, d["max"] * 1000))
    out("")
    out("## Samples")
    out("")
    for name in names:
        out("- start %s (ms): %s" % (name, " ".join("%.0f" % (v * 1000) if v is not None else "-"
                                                      for v in starts[name])))
    for name in names:
        out("- PSS %s (MiB): %s" % (name, " ".join("%.1f" % (v / 1024) if v is not None else "-"
                                                    for v in memory[name])))
    for name in names:
        out("- until navigation start %s (ms): %s" % (name, " ".join("%.0f" % (v * 1000) if v is not None else "-"
                                                                     for v in navigations[name])))
    out("- /ls (ms): %s" % " ".join("%.0f" % (v * 1000) for v in reload_delays))
    out("")
    out("## Notes")
    out("")
    if notes:
        for note in notes:
            out("- " + note)
    else:
        out("- Every run loaded its page, ended when its window was closed and left no process behind; "
            "vistrel deleted its scratch data folder every time.")
    return "\n".join(lines) + "\n"


def interrupt(*_):
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--vistrel", default="build/linux/vistrel")
    parser.add_argument("--floor", default="build/bench/vistrel-bench-floor")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--saves", type=int, default=50)
    parser.add_argument("--settle", type=float, default=1.0, help="seconds from the load event to reading memory")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "results.md"))
    args = parser.parse_args()
    args.vistrel, args.floor = os.path.abspath(args.vistrel), os.path.abspath(args.floor)
    for program in (args.vistrel, args.floor):
        if not os.access(program, os.X_OK):
            sys.exit("bench: %s is not built (bench/run.sh builds it)" % program)

    # SIGTERM ends the run through the same clean-up as Ctrl-C.
    signal.signal(signal.SIGTERM, interrupt)
    begun = datetime.datetime.now(datetime.timezone.utc)
    clock = time.monotonic()
    loads = [load_average()]
    workdir = tempfile.mkdtemp(prefix="vistrel-bench-")
    session = beacons = None
    try:
        session = Session()
        beacons = Beacons()
        bench = Bench(args, session, beacons, workdir)
        table = programs(args)
        names = list(table)
        starts = {name: [] for name in names}
        navigations = {name: [] for name in names}
        memory = {name: [] for name in names}
        shares = {name: [] for name in names}
        notes = []

        for round_number in range(args.rounds + 1):
            warm_up = round_number == 0
            # Each round in another order, so that no program always follows the same one.
            turn = round_number % len(names)
            order = names[turn:] + names[:turn]
            if round_number % 2:
                order.reverse()
            shown = []
            for name in order:
                seconds, to_navigation, kib, split, run_notes = start_round(bench, name, table[name])
                notes.extend("%s, round %d: %s" % (name, round_number, n) for n in run_notes)
                # Failed rounds stay as None, so that rounds stay paired.
                if not warm_up:
                    starts[name].append(seconds)
                    navigations[name].append(to_navigation)
                    memory[name].append(kib)
                    shares[name].append(split)
                shown.append("%s %s" % (name, "%.0f ms (nav %.0f) %.0f MiB" % (seconds * 1000, (to_navigation or 0) * 1000,
                                                                              kib / 1024)
                                        if seconds is not None else "failed"))
            print("%s %s" % ("warm-up " if warm_up else "round %2d" % round_number, " | ".join(shown)), flush=True)

        reload_delays, reload_missed, reload_notes = reload_rounds(bench, args.saves)
        notes.extend("vistrel /ls: " + n for n in reload_notes)
        print("/ls: %d of %d saves shown" % (len(reload_delays), args.saves), flush=True)
        loads.append(load_average())

        text = report(args, starts, navigations, memory, shares, reload_delays, reload_missed, notes, begun,
                      time.monotonic() - clock, loads)
        with open(args.out, "w", encoding="utf-8") as f:
            f.write(text)
        print()
        print(text)
        print("bench: written to %s" % args.out)
    except KeyboardInterrupt:
        print("bench: interrupted", file=sys.stderr)
        return 130
    finally:
        if beacons:
            beacons.close()
        if session:
            session.close()
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
