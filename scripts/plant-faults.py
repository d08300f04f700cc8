#!/usr/bin/env python3
"""Plants each fault of a list, alone, into a copy of the tree and runs the
suites that can see it, cheapest first, until one turns red. A fault that no
suite notices is MISSED: a gap in the tests. Ends with "caught C of N (S stale)".

    scripts/plant-faults.py [--list FILE] [--only TEXT] [--jobs N] [--check]

The list (default scripts/faults.txt) holds records separated by blank lines;
a line starting with "#" is a comment:

    file src/web/site.cpp
    from   return host.ends_with(scope);
    to   return host.starts_with(scope);
    why the site test compares the wrong end of the host

"from" is a piece of one line; "to" may be empty (the piece is deleted). When
the file has moved, the piece is used where it occurs exactly once in src/.
The copy lives in build/faults/tree with build folders of its own; each
fault's output goes to build/faults/logs/<n>.log.
"""
import argparse
import filecmp
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build", "faults")
TREE = os.path.join(WORK, "tree")
LOGS = os.path.join(WORK, "logs")
COPIED = ["CMakeLists.txt", "LICENSE", "cmake", "packaging", "src", "tests"]  # what the builds and the suites read
SUITE_TIMEOUT = 15 * 60
PY = "/usr/bin/python3"
KEYWORDS = ("file", "from", "to", "why")

# Every build and suite, cheapest first. A build has cmake options, a suite a
# command run at the top of the tree; {jobs}, {tree} and {sdk} are filled in.
# "side" says which program the step builds or runs: a fault in
# src/platform/gtk is seen only by "linux" steps, one in src/platform/win32
# only by "windows" steps, any other by all of them.
STEPS = [
    dict(name="linux build", side="linux", folder="build/linux",
         cmake=["-DVISTREL_TESTS=ON", "-DVISTREL_PROGRAM=ON"]),
    dict(name="unit", side="linux",
         command=["ctest", "--test-dir", "build/linux", "--output-on-failure", "-j", "{jobs}"]),
    dict(name="e2e-linux", side="linux",
         command=[PY, "tests/e2e/linux/run_tests.py", "--exe", "build/linux/vistrel"]),
    dict(name="windows build", side="windows", folder="build/windows",
         cmake=["-DCMAKE_TOOLCHAIN_FILE={tree}/cmake/mingw-w64-x86_64.cmake", "-DVISTREL_PROGRAM=ON",
                "-DVISTREL_WEBVIEW2_SDK=ON"]),
    dict(name="wine", side="windows",
         command=[PY, "tests/e2e/wine/run_tests.py", "--exe", "build/windows/release/vistrel.exe", "--release",
                  "--driver", "build/windows/vistrel-test-driver.exe",
                  "--prefix", "{tree}/build/wine"]),
]


def sides_of(path):
    return ({"windows"} if path.startswith("src/platform/win32/") else
            {"linux"} if path.startswith("src/platform/gtk/") else {"linux", "windows"})


def read_list(path):
    """The records of the list, each a dict with file, from, to, why and n (from 1)."""
    faults, record = [], {}
    with open(path, encoding="utf-8") as f:  # universal newlines: CRLF reads as LF
        lines = f.read().split("\n") + [""]
    for number, line in enumerate(lines, 1):
        line = line.rstrip()
        if line and not line.lstrip().startswith("#"):
            keyword, value = re.match(r"(\S*)[ \t]*(.*)$", line).groups()
            if keyword not in KEYWORDS or keyword in record:
                sys.exit(f"{path}:{number}: expected file, from, to or why once each, not {line!r}")
            record[keyword] = value
        elif not line and record:
            if len(record) < len(KEYWORDS):
                sys.exit(f"{path}: the record ending at line {number} lacks {set(KEYWORDS) - set(record)}")
            faults.append(dict(record, n=len(faults) + 1))
            record = {}
    return faults


def piece_pattern(piece):
    # A blank in the piece matches any run of blanks and tabs in the source.
    return re.compile(r"[ \t]+".join(re.escape(word) for word in piece.split()))


def read_source(path):
    # CRLF stays as it is; bytes that are not UTF-8 come back unchanged.
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
        return f.read()


def resolve(fault, tree):
    """Where the fault goes: (path, count in that file) or (None, why it is stale)."""
    pattern = piece_pattern(fault["from"])
    if os.path.isfile(os.path.join(tree, fault["file"])):
        count = len(pattern.findall(read_source(os.path.join(tree, fault["file"]))))
        return (fault["file"], count) if count else (None, f"not in {fault['file']}")
    found = []
    for relative in sorted(files_under(tree, "src")):
        found += [relative] * len(pattern.findall(read_source(os.path.join(tree, relative))))
    if len(found) == 1:
        return found[0], 1
    if not found:
        return None, f"{fault['file']} is gone and the piece is nowhere in src/"
    return None, f"{fault['file']} is gone and the piece is in src/ {len(found)} times: {', '.join(sorted(set(found)))}"


def write_source(path, text):
    with open(path, "w", encoding="utf-8", errors="surrogateescape", newline="") as f:
        f.write(text)


def files_under(top, entry):
    """The files of entry (a file or a folder) below top, relative to top."""
    start = os.path.join(top, entry)
    if os.path.isfile(start):
        return [entry]
    found = []
    for folder, subdirs, names in os.walk(start):
        subdirs[:] = [s for s in subdirs if s != "__pycache__"]
        found += [os.path.relpath(os.path.join(folder, n), top) for n in names]
    return found


def refresh_tree():
    """Makes the copy equal to the repository, touching only files that differ,
    so that the builds inside it stay incremental."""
    wanted = {f for entry in COPIED for f in files_under(ROOT, entry)}
    for relative in wanted:
        source, target = os.path.join(ROOT, relative), os.path.join(TREE, relative)
        if not (os.path.isfile(target) and filecmp.cmp(source, target, shallow=False)):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(source, target)
    for entry in COPIED:
        for relative in set(files_under(TREE, entry)) - wanted:
            os.remove(os.path.join(TREE, relative))


def fill(words, jobs):
    cache = os.path.join(TREE, "build", "windows", "CMakeCache.txt")
    match = os.path.isfile(cache) and re.search(r"^VISTREL_WEBVIEW2_NATIVE:INTERNAL=(.*)$", read_source(cache), re.M)
    sdk = match.group(1) if match else ""
    return [w.replace("{jobs}", str(jobs)).replace("{tree}", TREE).replace("{sdk}", sdk) for w in words]


def run_step(step, jobs, log):
    """Runs one build or suite; returns "pass", "fail" or "timeout"."""
    commands = ([["cmake", "-S", ".", "-B", step["folder"], "-G", "Ninja"] + step["cmake"],
                 ["ninja", "-C", step["folder"], "-j", "{jobs}"]] if "cmake" in step else [step["command"]])
    timeout = None if "cmake" in step else SUITE_TIMEOUT
    for command in (fill(c, jobs) for c in commands):
        log.write(f"\n$ {' '.join(command)}\n")
        log.flush()
        # A session of its own, so that a suite that hangs goes with all it started.
        process = subprocess.Popen(command, cwd=TREE, stdout=log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            log.write(f"\n*** no result after {timeout} s\n")
            return "timeout"
        if code != 0:
            return "fail"
    return "pass"


def start_display():
    """An Xvfb of our own where there is no display; its process or None."""
    # The accessibility bus's socket goes in XDG_RUNTIME_DIR, else in
    # ~/.cache/at-spi, one path for every run on the machine: with a folder of
    # our own, another run of the Linux suite cannot take over the bus of ours.
    os.makedirs(os.path.join(WORK, "runtime"), mode=0o700, exist_ok=True)
    os.environ["XDG_RUNTIME_DIR"] = os.path.join(WORK, "runtime")
    if os.environ.get("DISPLAY"):
        return None
    for n in range(90, 121):
        if os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
            continue
        server = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while not os.path.exists(f"/tmp/.X11-unix/X{n}") and time.monotonic() < deadline:
            time.sleep(0.1)
        os.environ["DISPLAY"] = f":{n}"
        return server
    sys.exit("plant-faults: no free display number for Xvfb")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", default=os.path.join(ROOT, "scripts", "faults.txt"),
                        help="the list of faults (default scripts/faults.txt)")
    parser.add_argument("--only", action="append", help="only the faults whose file or why holds this text "
                        "(given more than once: any of the texts)")
    parser.add_argument("--jobs", type=int, default=2, help="build and unit test jobs (default 2)")
    parser.add_argument("--check", action="store_true", help="only resolve every fault and report stale ones")
    options = parser.parse_args()
    faults = [f for f in read_list(options.list)
              if not options.only or any(text in f["file"] or text in f["why"] for text in options.only)]
    return check(faults) if options.check else plant_all(faults, options.jobs)


def check(faults):
    stale = 0
    for fault in faults:
        path, detail = resolve(fault, ROOT)
        if path is None:
            stale += 1
            print(f"stale   {fault['file']}: {fault['why']} ({detail})")
        elif path != fault["file"]:
            print(f"moved   {path}: {fault['why']} (was {fault['file']})")
        elif detail > 1:
            print(f"note    {path}: {fault['why']} (the piece is there {detail} times; the first is used)")
    print(f"{len(faults) - stale} of {len(faults)} faults apply ({stale} stale)")
    return 1 if stale else 0


def plant_all(faults, jobs):
    refresh_tree()
    os.makedirs(LOGS, exist_ok=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # so that our Xvfb goes too
    resolved = [(fault, *resolve(fault, TREE)) for fault in faults]
    sides = set().union(*(sides_of(path) for _, path, _ in resolved if path)) if resolved else set()
    server = start_display()
    try:
        # A suite that is red without a fault catches nothing honestly.
        started = time.monotonic()
        with open(os.path.join(LOGS, "baseline.log"), "w") as log:
            for step in STEPS:
                if step["side"] in sides and run_step(step, jobs, log) != "pass":
                    print(f"plant-faults: {step['name']} fails without any fault (see {log.name}); nothing planted")
                    return 2
        print(f"baseline: every suite passes ({time.monotonic() - started:.0f} s)", flush=True)

        caught = applied = stale = 0
        for fault, path, detail in resolved:
            if path is None:
                stale += 1
                print(f"stale   {fault['file']}: {fault['why']} ({detail})", flush=True)
                continue
            started = time.monotonic()
            verdict, where = try_fault(fault, path, jobs)
            applied += 1
            caught += verdict != "MISSED"
            print(f"{verdict}  {path}: {fault['why']}{where}  (logs/{fault['n']}.log, "
                  f"{time.monotonic() - started:.0f} s)", flush=True)
        print(f"caught {caught} of {applied} ({stale} stale)")
        return 0 if caught == applied else 1
    finally:
        if server:
            server.terminate()
            server.wait()


def try_fault(fault, path, jobs):
    """Plants the fault, runs the steps that see it until one fails and takes
    the fault out again; the verdict and the step that caught it."""
    full = os.path.join(TREE, path)
    original = read_source(full)
    write_source(full, piece_pattern(fault["from"]).sub(lambda _: fault["to"], original, count=1))
    try:
        with open(os.path.join(LOGS, f"{fault['n']}.log"), "w") as log:
            log.write(f"fault {fault['n']} in {path}: {fault['why']}\n")
            for step in (s for s in STEPS if s["side"] in sides_of(path)):
                result = run_step(step, jobs, log)
                if result != "pass":
                    how = " (does not build)" if "cmake" in step else " (timeout)" if result == "timeout" else ""
                    return "caught" + how, f"  [{step['name']}]"
        return "MISSED", ""
    finally:
        write_source(full, original)


if __name__ == "__main__":
    sys.exit(main())
