#!/usr/bin/python3
"""Benchmark of the Linux program against a minimal GTK + WebKitGTK program.

One run measures, interleaved round by round, vistrel showing a local file,
vistrel showing the same file's HTML with /l, the floor program
(bench/floor.cpp, which only opens a window and loads the file) and any
--variant builds: the time from starting the process to the page's load
event, and the PSS of the whole process tree once loaded. Then, with the page
loaded and left alone, the CPU time and wake-ups of the tree, vistrel /ls on
an unchanged file included; last, for one vistrel /ls run, the time from
saving new content to the file (plain writes and atomic saves) to its load
event. bench/README.md says how.

"Loaded" is seen from outside the same way for every program: the page's
load event asks a loopback HTTP server of this script for an image whose
address carries the run's token (and for /ls the content's sequence number).
Everything runs under a private Xvfb and D-Bus session, each program run
with fresh HOME, XDG and TMPDIR folders of its own.

    /usr/bin/python3 bench/bench.py --vistrel build/linux/vistrel --floor build/bench/vistrel-bench-floor

Standard library only (Debian 12's Python 3).
"""

import argparse
import array
import datetime
import http.server
import os
import platform
import random
import shlex
import shutil
import signal
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
nan = float("nan")

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


# ---- Processes: memory, CPU time, wake-ups --------------------------------------------------

TICK = os.sysconf("SC_CLK_TCK")  # the unit of CPU times in /proc/<pid>/stat
PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")
PFN_MASK = (1 << 55) - 1  # the page frame number's bits of a /proc/<pid>/pagemap entry


def process_table():
    """pid -> (parent pid, process group, name, CPU seconds of all its threads) for every process now."""
    table = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        # "pid (name) state ppid pgrp ... utime stime ...": the name may hold any character.
        open_, close = stat.find("("), stat.rfind(")")
        fields = stat[close + 2:].split()
        table[int(entry)] = (int(fields[1]), int(fields[2]), stat[open_ + 1:close],
                             (int(fields[11]) + int(fields[12])) / TICK)
    return table


def tree_of(pid, table):
    """pid and all its descendants."""
    children = {}
    for child, (parent, *_) in table.items():
        children.setdefault(parent, []).append(child)
    found, todo = [], [pid]
    while todo:
        current = todo.pop()
        if current in table:
            found.append(current)
        todo.extend(children.get(current, ()))
    return found


def read_fields(path, names):
    """The named "Name: number" fields of a /proc file, 0 for those it lacks (or when it has gone)."""
    values = dict.fromkeys(names, 0)
    try:
        with open(path) as f:
            for line in f:
                name, _, rest = line.partition(":")
                if name in values:
                    values[name] = int(rest.split()[0])
    except OSError:
        pass
    return values


def tree_memory(pid):
    """(total PSS in KiB, {process name: PSS in KiB}) of pid's process tree."""
    table = process_table()
    shares = {}
    for member in tree_of(pid, table):
        name = table[member][2]
        shares[name] = shares.get(name, 0) + read_fields("/proc/%d/smaps_rollup" % member, ["Pss"])["Pss"]
    return sum(shares.values()), shares


def tree_pages(pid):
    """KiB of the distinct physical pages resident in pid's process tree, each counted once however many of its
    processes map it, or None without the right to read page frame numbers (root). Unlike PSS this does not
    shrink when other programs on the machine map the same libraries."""
    table, frames = process_table(), set()
    for member in tree_of(pid, table):
        try:
            with open("/proc/%d/smaps" % member) as f:
                spans, span = [], None
                for line in f:
                    first = line.split(None, 1)[0]
                    if "-" in first and not first.endswith(":"):
                        span = [int(end, 16) // PAGE_SIZE for end in first.split("-")]
                    elif first == "Rss:" and int(line.split()[1]) > 0:
                        spans.append(span)
            with open("/proc/%d/pagemap" % member, "rb") as pagemap:
                for start, end in spans:
                    for at in range(start, end, 1 << 16):  # 64 Ki entries at a time: reserved ranges are huge
                        pagemap.seek(at * 8)
                        entries = array.array("Q")
                        entries.frombytes(pagemap.read(min(end - at, 1 << 16) * 8))
                        frames.update(e & PFN_MASK for e in set(entries) if e >> 63)  # present pages only
        except OSError:
            continue
    frames.discard(0)  # what non-root readers get for every page
    return len(frames) * PAGE_SIZE // 1024 if frames else None


def tree_activity(pid):
    """pid -> (name, CPU seconds, {thread id: context switches}) over pid's process tree."""
    table = process_table()
    activity = {}
    for member in tree_of(pid, table):
        try:
            threads = os.listdir("/proc/%d/task" % member)
        except OSError:
            continue
        switches = {}
        for thread in threads:
            counts = read_fields("/proc/%d/task/%s/status" % (member, thread),
                                 ["voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"])
            switches[thread] = sum(counts.values())
        activity[member] = (table[member][2], table[member][3], switches)
    return activity


def idle_cost(before, after):
    """{process name: [CPU seconds, wake-ups]} between two tree_activity samples, and how many threads ended
    between them (their wake-ups since the first sample are lost; their CPU time stays in their process's)."""
    cost, ended = {}, 0
    for pid, (name, cpu, switches) in after.items():
        _, cpu_before, switches_before = before.get(pid, (name, 0.0, {}))
        share = cost.setdefault(name, [0.0, 0])
        share[0] += cpu - cpu_before
        share[1] += sum(count - switches_before.get(thread, 0) for thread, count in switches.items())
        ended += len(set(switches_before) - set(switches))
    ended += sum(len(switches) for pid, (_, _, switches) in before.items() if pid not in after)
    return cost, ended


def group_members(pgid):
    return [pid for pid, (_, group, *_) in process_table().items() if group == pgid]


# ---- Running one program -------------------------------------------------------------------

class Run:
    """One program started in a scratch folder of its own, with its own HOME, XDG and TMPDIR folders."""

    def __init__(self, bench, program, page_label, token, page_name="page.html"):
        self.bench = bench
        self.folder = tempfile.mkdtemp(prefix="run-", dir=bench.workdir)
        argv_for, extra_env = program
        env = dict(bench.base_env, **extra_env)
        for name, sub in (("HOME", "home"), ("TMPDIR", "tmp"), ("XDG_DATA_HOME", "data"),
                          ("XDG_CACHE_HOME", "cache"), ("XDG_CONFIG_HOME", "config")):
            path = os.path.join(self.folder, sub)
            os.mkdir(path)
            env[name] = path
        self.env = env
        self.page = os.path.join(self.folder, page_name)
        write_page(self.page, page_label, bench.beacons.address(token))
        self.argv = argv_for(self)
        self.token = token

    def start(self):
        """Starts the program; the seconds until its page's load event, or None when none came."""
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
        arrived = self.bench.beacons.wait(self.token, LOAD_TIMEOUT, self.process)
        return arrived - self.started if arrived is not None else None

    def close(self):
        """Closes the window as a window manager would, then makes sure the whole group has ended; returns
        what went amiss."""
        process, session = self.process, self.bench.session
        notes = [] if self.bench.beacons.wait(self.token, 0) else ["no load event (exit code %s)" % process.poll()]
        if process.poll() is not None:
            notes.append("ended before its window was closed (exit code %s)" % process.returncode)
        else:
            for window in session.windows_of(process.pid):
                session.xserver.ask_to_close(window)
            try:
                process.wait(timeout=EXIT_TIMEOUT)
            except subprocess.TimeoutExpired:
                notes.append("did not end when its window was closed")
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
        leaked = [process_table().get(pid, (0, 0, "?"))[2] for pid in group_members(process.pid)]
        if leaked:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._reader.join(timeout=5)
        process.stderr.close()
        if leaked:
            notes.append("left processes: " + ", ".join(leaked))
        # vistrel deletes its scratch data folder when it ends without /d.
        if os.path.exists(os.path.join(self.env["TMPDIR"], "vistrel.webkit")):
            notes.append("left its scratch data folder")
        warnings = [text for text in (line.decode(errors="replace").strip() for line in self.stderr)
                    if "CRITICAL" in text or "-WARNING" in text]
        notes.extend("stderr: " + text for text in warnings[:1])
        shutil.rmtree(self.folder, ignore_errors=True)
        return notes


def write_page(path, label, beacon, atomic=True):
    text = PAGE.format(label=label, beacon=beacon)
    if not atomic:  # open, write, close, as a plain editor or a script does
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return
    # A new file put in place in one step, as an editor that saves safely does.
    part = path + ".part"
    with open(part, "w", encoding="utf-8") as f:
        f.write(text)
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


def programs(args):
    """The programs compared, each as (argv for a run, environment added to the common one), and which of them
    take part in the start-up and memory rounds and in the idle windows."""
    page = lambda run: os.path.basename(run.page)  # noqa: E731
    table = {
        "vistrel": (lambda run: [args.vistrel, "Benchmark", page(run)], {}),
        "vistrel /l": (lambda run: [args.vistrel, "/l", "Benchmark", page(run)], {}),
        "vistrel /ls": (lambda run: [args.vistrel, "/ls", page(run)], {}),
        "floor": (lambda run: [args.floor, str(WINDOW[0]), str(WINDOW[1]), "file://" + run.page], {}),
    }
    for label, path, env in args.variant:
        table[label] = (lambda run, path=path: [path, "Benchmark", page(run)], env)
    starting = [name for name in table if name != "vistrel /ls"]
    # /l differs from vistrel's file page only in how the page comes in: left out of the idle windows.
    idling = [name for name in table if name != "vistrel /l"]
    return table, starting, idling


def start_round(bench, name, program):
    """One start-up: (seconds to the load event, of them until the navigation started, PSS KiB,
    PSS by process, KiB of distinct resident pages, notes)."""
    run = Run(bench, program, name, bench.token("start"))
    total = shares = to_navigation = pages = None
    try:
        seconds = run.start()
        if seconds is not None:
            origin = bench.beacons.origin(run.token)
            to_navigation = origin - run.started_wall if origin is not None else None
            time.sleep(bench.args.settle)
            total, shares = tree_memory(run.process.pid)
            pages = tree_pages(run.process.pid)
    finally:
        notes = run.close()
    return seconds, to_navigation, total, shares or {}, pages, notes


def idle_window(bench, name, program, seconds):
    """The program's tree with its page loaded and left alone for `seconds`: ({process name: [CPU ms, wake-ups]},
    a minute's worth, notes)."""
    run = Run(bench, program, name, bench.token("idle"))
    cost, ended = {}, 0
    try:
        if run.start() is not None:
            time.sleep(bench.args.settle)
            before, began = tree_activity(run.process.pid), time.monotonic()
            time.sleep(seconds)
            after, lasted = tree_activity(run.process.pid), time.monotonic() - began
            cost, ended = idle_cost(before, after)
            cost = {process: [cpu * 60000 / lasted, woke * 60 / lasted] for process, (cpu, woke) in cost.items()}
    finally:
        notes = run.close()
    if ended:
        notes.append("threads that ended in the window, whose wake-ups are not counted: %d" % ended)
    return cost, notes


def reload_rounds(bench, saves):
    """vistrel /ls on a file saved `saves` times each way, plain writes and atomic saves in a shuffled order:
    {way: seconds from each save to its content's load event, for those shown}, notes."""
    run = Run(bench, programs(bench.args)[0]["vistrel /ls"], "0", "ls-0", page_name="live.html")
    delays = {"plain": [], "atomic": []}
    # Pauses of a random length sample every phase of the program's 100 ms fallback timer.
    chance = random.Random(20)
    ways = list(delays) * saves
    chance.shuffle(ways)
    try:
        if run.start() is not None:
            for number, way in enumerate(ways, 1):
                if run.process.poll() is not None:
                    break
                time.sleep(chance.uniform(0.2, 0.4))
                token = "ls-%d" % number
                saved = time.monotonic()
                write_page(run.page, str(number), bench.beacons.address(token), atomic=way == "atomic")
                arrived = bench.beacons.wait(token, SHOW_TIMEOUT, run.process)
                if arrived is not None:
                    delays[way].append(arrived - saved)
    finally:
        notes = run.close()
    return delays, notes


# ---- Figures -------------------------------------------------------------------------------

def percentile(values, fraction):
    """The value at fraction of the sorted values, by linear interpolation."""
    ordered = sorted(values)
    if not ordered:
        return nan
    place = (len(ordered) - 1) * fraction
    low = int(place)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (place - low)


def describe(values):
    values = [v for v in values if v is not None]
    fractions = {"min": 0, "p25": 0.25, "median": 0.5, "p75": 0.75, "p95": 0.95, "max": 1}
    return dict({name: percentile(values, fraction) for name, fraction in fractions.items()}, n=len(values))


def load_average():
    try:
        with open("/proc/loadavg") as f:
            return " ".join(f.read().split()[:3])
    except OSError:
        return "?"


def engine_version():
    probe = subprocess.run(["pkg-config", "--modversion", "webkit2gtk-4.1"], capture_output=True, text=True)
    return probe.stdout.strip() or "?"


def split_by_process(samples, unit, scale):
    """"name figure, ..." from {process name: figure} samples, the median of each, largest first."""
    by_process = {}
    for sample in samples:
        for process, value in sample.items():
            by_process.setdefault(process, []).append(value)
    medians = sorted(((percentile(values, 0.5), process) for process, values in by_process.items()), reverse=True)
    return ", ".join("%s %s" % (process, unit % (value * scale)) for value, process in medians)


def report(args, figures, notes, begun, took, loads):
    starts, navigations, memory, shares, pages, idle, delays = (
        figures[key] for key in ("starts", "navigations", "memory", "shares", "pages", "idle", "delays"))
    lines = []
    out = lines.append
    out("# Benchmark results")
    out("")
    out("Measured %s UTC by `bench/run.sh` in %.0f s: %d rounds of each program, interleaved (the order turned "
        "round by round), after one warm-up round each; %.0f s idle per program, in two windows; %d `/ls` "
        "saves of each kind. Machine: %d CPUs, Linux %s, WebKitGTK %s, Xvfb %dx%d, "
        "`WEBKIT_DISABLE_COMPOSITING_MODE=1`. Load average at the start %s, at the end %s."
        % (begun.strftime("%Y-%m-%d %H:%M"), took, args.rounds, args.idle, args.saves, os.cpu_count(),
           platform.release(), engine_version(), SCREEN[0], SCREEN[1], loads[0], loads[1]))
    if args.variant:
        out("")
        out("Variants, each started as vistrel is: %s." % "; ".join("`%s` is `%s`%s" % (label, path, "".join(
            " with `%s=%s`" % item for item in env.items())) for label, path, env in args.variant))
    median = lambda values: describe(values)["median"]  # noqa: E731
    ratio = lambda value, floor: value / floor if floor else nan  # noqa: E731

    def spread(values, scale, form, keys=("median", "p25", "p75", "min", "max")):
        d = describe(values)
        return " | ".join([form % (d[key] * scale) for key in keys] + ["%d" % d["n"]])

    out("")
    out("## Start to first completed load (ms)")
    out("")
    out("| program | median | p25 | p75 | min | max | n | median / floor | median of per-round ratios "
        "| median until navigation start |")
    out("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    floor = starts["floor"]
    for name, values in starts.items():
        paired = [a / b for a, b in zip(values, floor) if a is not None and b is not None]
        out("| %s | %s | %.3f | %.3f | %.0f |" % (name, spread(values, 1000, "%.0f"), ratio(
            median(values), median(floor)), percentile(paired, 0.5), median(navigations[name]) * 1000))
    out("")
    out("## Memory of the process tree once loaded (PSS, MiB, %.1f s after the load event)" % args.settle)
    out("")
    out("| program | median | p25 | p75 | min | max | n | median / floor | median by process |")
    out("|---|---:|---:|---:|---:|---:|---:|---:|---|")
    for name, values in memory.items():
        out("| %s | %s | %.3f | %s |" % (name, spread(values, 1 / 1024, "%.1f"), ratio(median(values), median(
            memory["floor"])), split_by_process(shares[name], "%.1f", 1 / 1024)))
    if any(value is not None for values in pages.values() for value in values):
        out("")
        out("## Memory of the process tree once loaded (distinct resident pages, MiB, the same moment)")
        out("")
        out("Every physical page the tree maps, counted once: unlike PSS, this does not fall when other programs "
            "on the machine map the same libraries meanwhile.")
        out("")
        out("| program | median | p25 | p75 | min | max | n | median / floor | median of per-round ratios |")
        out("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for name, values in pages.items():
            paired = [a / b for a, b in zip(values, pages["floor"]) if a is not None and b is not None]
            out("| %s | %s | %.3f | %.3f |" % (name, spread(values, 1 / 1024, "%.1f"), ratio(
                median(values), median(pages["floor"])), percentile(paired, 0.5)))
    out("")
    out("## Idle: the page loaded and left alone, whole process tree, every thread (per minute)")
    out("")
    out("| program | CPU time (ms) | / floor | wake-ups | / floor | windows | CPU ms by process "
        "| wake-ups by process |")
    out("|---|---:|---:|---:|---:|---:|---|---|")
    def per_minute(windows, index):  # the mean of the windows that ran (all of one length)
        totals = [sum(share[index] for share in cost.values()) for cost in windows if cost]
        return sum(totals) / len(totals) if totals else nan

    for name, windows in idle.items():
        cpu, woke = per_minute(windows, 0), per_minute(windows, 1)
        splits = [split_by_process([{process: share[index] for process, share in cost.items()}
                                    for cost in windows], "%.0f", 1) for index in (0, 1)]
        out("| %s | %.0f | %.2f | %.0f | %.2f | %d | %s | %s |" % (
            name, cpu, ratio(cpu, per_minute(idle["floor"], 0)), woke, ratio(woke, per_minute(idle["floor"], 1)),
            sum(1 for cost in windows if cost), splits[0], splits[1]))
    out("")
    out("## `/ls`: save to new content loaded (ms)")
    out("")
    out("| save | median | p95 | max | p25 | p75 | min | shown | missed |")
    out("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for way, shown in delays.items():
        out("| %s | %s | %d |" % ({"plain": "plain write (open, write, close)",
                                    "atomic": "atomic (a new file renamed over)"}[way],
                                   spread(shown, 1000, "%.0f", ("median", "p95", "max", "p25", "p75", "min")),
                                   args.saves - len(shown)))
    out("")
    out("## Samples")
    out("")
    listed = lambda values, form, scale: " ".join(  # noqa: E731
        form % (v * scale) if v is not None else "-" for v in values)
    for name in starts:
        out("- start %s (ms): %s" % (name, listed(starts[name], "%.0f", 1000)))
    for name in memory:
        out("- PSS %s (MiB): %s" % (name, listed(memory[name], "%.1f", 1 / 1024)))
    for name in pages:
        if any(value is not None for value in pages[name]):
            out("- distinct resident pages %s (MiB): %s" % (name, listed(pages[name], "%.1f", 1 / 1024)))
    for name in navigations:
        out("- until navigation start %s (ms): %s" % (name, listed(navigations[name], "%.0f", 1000)))
    for name, windows in idle.items():
        out("- idle %s, each window, per minute (CPU ms, wake-ups): %s" % (name, ", ".join(
            "%.0f %.0f" % tuple(sum(share[index] for share in cost.values()) for index in (0, 1))
            for cost in windows)))
    for way, shown in delays.items():
        out("- /ls %s (ms): %s" % (way, listed(shown, "%.0f", 1000)))
    out("")
    out("## Notes")
    out("")
    for note in notes:
        out("- " + note)
    if not notes:
        out("- Every run loaded its page, ended when its window was closed and left no process behind; "
            "vistrel deleted its scratch data folder every time.")
    return "\n".join(lines) + "\n"


def variant(text):
    """--variant LABEL=[NAME=VALUE ...] PROGRAM: (label, program's absolute path, {name: value})."""
    label, _, rest = text.partition("=")
    words = shlex.split(rest)
    if not label or not words or any("=" not in word for word in words[:-1]):
        raise argparse.ArgumentTypeError("expected LABEL=PROGRAM or LABEL='NAME=VALUE ... PROGRAM', got %r" % text)
    return label, os.path.abspath(words[-1]), dict(word.split("=", 1) for word in words[:-1])


def interrupt(*_):
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--vistrel", default="build/linux/vistrel")
    parser.add_argument("--floor", default="build/bench/vistrel-bench-floor")
    parser.add_argument("--variant", type=variant, action="append", default=[], metavar="LABEL=PROGRAM",
                        help="one more vistrel to compare, also as LABEL='NAME=VALUE ... PROGRAM' to run it "
                             "with those environment variables (repeatable)")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--saves", type=int, default=50, help="/ls saves of each kind")
    parser.add_argument("--idle", type=float, default=60.0, help="seconds each program is watched idle")
    parser.add_argument("--settle", type=float, default=1.0,
                        help="seconds from the load event to reading memory or starting to watch it idle")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "results.md"))
    args = parser.parse_args()
    args.vistrel, args.floor = os.path.abspath(args.vistrel), os.path.abspath(args.floor)
    if len(programs(args)[0]) < 4 + len(args.variant):  # a label used twice, or one of the four's
        sys.exit("bench: each --variant needs a label of its own")
    for program in [args.vistrel, args.floor] + [path for _, path, _ in args.variant]:
        if not os.access(program, os.X_OK):
            sys.exit("bench: %s is not built (bench/run.sh builds vistrel and the floor)" % program)

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
        table, starting, idling = programs(args)
        figures = {key: {name: [] for name in starting}
                   for key in ("starts", "navigations", "memory", "shares", "pages")}
        figures["idle"] = {name: [] for name in idling}
        notes = []

        for round_number in range(args.rounds + 1):
            warm_up = round_number == 0
            # Each round in another order, so that no program always follows the same one.
            turn = round_number % len(starting)
            order = starting[turn:] + starting[:turn]
            if round_number % 2:
                order.reverse()
            shown = []
            for name in order:
                seconds, to_navigation, kib, split, pages, run_notes = start_round(bench, name, table[name])
                notes.extend("%s, round %d: %s" % (name, round_number, n) for n in run_notes)
                # Failed rounds stay as None, so that rounds stay paired.
                if not warm_up:
                    for key, value in zip(("starts", "navigations", "memory", "shares", "pages"),
                                          (seconds, to_navigation, kib, split, pages)):
                        figures[key][name].append(value)
                shown.append("%s %s" % (name, "%.0f ms (nav %.0f) %.0f MiB (pages %.0f)" % (
                    seconds * 1000, (to_navigation or 0) * 1000, kib / 1024, (pages or 0) / 1024)
                    if seconds is not None else "failed"))
            print("%s %s" % ("warm-up " if warm_up else "round %2d" % round_number, " | ".join(shown)), flush=True)

        # Two halves, the second in the reverse order, so that a drift in the machine's load falls on all alike.
        for half, order in enumerate((idling, idling[::-1]), 1):
            shown = []
            for name in order:
                cost, run_notes = idle_window(bench, name, table[name], args.idle / 2)
                notes.extend("%s, idle half %d: %s" % (name, half, n) for n in run_notes)
                figures["idle"][name].append(cost)
                shown.append("%s %.0f ms CPU %.0f wake-ups a minute" % (
                    name, sum(s[0] for s in cost.values()), sum(s[1] for s in cost.values())))
            print("idle %d   %s" % (half, " | ".join(shown)), flush=True)

        figures["delays"], reload_notes = reload_rounds(bench, args.saves)
        notes.extend("vistrel /ls: " + n for n in reload_notes)
        print("/ls: %s" % ", ".join("%s %d of %d shown" % (way, len(shown), args.saves)
                                    for way, shown in figures["delays"].items()), flush=True)
        loads.append(load_average())

        text = report(args, figures, notes, begun, time.monotonic() - clock, loads)
        # A section marked as kept by hand (figures from other runs) stays below the tables written here.
        old = open(args.out, encoding="utf-8").read() if os.path.exists(args.out) else ""
        mark = old.find("kept here by hand")
        kept = "\n" + old[old.rfind("\n## ", 0, mark) + 1:] if mark >= 0 else ""
        with open(args.out, "w", encoding="utf-8") as f:
            f.write(text + kept)
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
