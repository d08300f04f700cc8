#!/usr/bin/python3
"""Runs the shared end-to-end table (../cases.jsonl, see ../table.py) against vistrel.exe under Wine:
run_tests.py --exe PATH --driver PATH [--prefix DIR] [--standin DLL] [--release] [--only TEXT]. The driver starts
the program and reads its boxes and window; the runtime is the stand-in (standin/), registered where an installed
runtime registers its folder, which raises the row's steps and logs what the view showed and every fault it saw;
a recording handler takes what is handed over (http, https, vistrel-test). With --release the program's folder holds the
SDK's loader: rows alternate between it and a copy with no loader beside it. The prefix (DIR/prefix: a 1920x1080
virtual desktop, the handlers) is made once."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import table  # noqa: E402

PREFIX_SETUP = "vistrel-e2e table prefix 2"  # changed when the set-up changes
ROOT = "C:\\vistrel-e2e"
CASE, HANDED, DIRECT = ROOT + "\\case", ROOT + "\\handed.txt", ROOT + "\\direct\\vistrel.exe"
RUNTIME, BROKEN = ROOT + "\\runtime\\120.0.2210.91", ROOT + "\\broken runtime"  # named as an installation names it
ENGINE = "\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"
KEY = r"%s\Microsoft\EdgeUpdate\%s\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
MACHINE, USER = r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node", r"HKEY_CURRENT_USER\Software"
LANGS = {"en": "en_US.UTF-8", "ja": "ja_JP.UTF-8"}
KEYS = {"ctrl": 0x11, "alt": 0x12, "shift": 0x10, "home": 0x24, "end": 0x23, "left": 0x25, "right": 0x27}
STYLES = {0x00CF0000: "normal", 0x00CA0000: "fixed", 0x80000000: "popup"}  # by the frame's WS_ bits
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
read_lines = lambda path: open(path, encoding="utf-8").read().splitlines() if os.path.exists(path) else []  # noqa


class Wine:
    def __init__(self, options, display):
        self.options, self.state = options, None
        self.prefix = os.path.join(os.path.abspath(options.prefix), "prefix")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANG"}
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=display, WINEDLLOVERRIDES="mscoree=;mshtml=")

    def run(self, args, lang="en", timeout=300):
        # Through a file: Wine's services may inherit a pipe and hold it open.
        with tempfile.TemporaryFile() as out:
            code = subprocess.run(args, env=dict(self.env, LANG=LANGS[lang], LC_ALL=LANGS[lang]), stdout=out,
                                  stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=timeout).returncode
            return code, (out.seek(0), out.read().decode("utf-8", "replace"))[1]

    def driver(self, args, lang="en"):
        for _ in range(3):  # Wine now and then ends a start at once, before the driver runs
            code, output = self.run(["wine", self.options.driver] + args, lang)
            reports = [line for line in output.splitlines() if line.startswith("{")]
            if reports:
                return json.loads(reports[-1])
        raise RuntimeError(f"no report from the driver (exit {code}): {output[-500:]}")

    def path(self, windows):
        return os.path.join(self.prefix, "drive_c", *windows[3:].split("\\"))

    def registry(self, lines):
        with open(self.path(ROOT + "\\settings.reg"), "wb") as f:
            f.write("\r\n".join(["\ufeffWindows Registry Editor Version 5.00", ""] + lines + [""]).encode("utf-16-le"))
        for _ in range(3):  # a loaded machine now and then ends reg at once, with nothing said
            code, output = self.run(["wine", "reg", "import", ROOT + "\\settings.reg"])
            if code == 0:
                return
        raise RuntimeError(f"reg import failed: {output[-300:]}")

    def prepare(self):
        """Makes the prefix once; puts the stand-in, a broken engine and the loaderless copy in place."""
        marker = os.path.join(self.prefix, "vistrel-e2e-ready")
        made = not os.path.exists(marker) or open(marker).read() != PREFIX_SETUP
        if made:
            subprocess.run(["wineserver", "-k"], env=self.env, **QUIET)
            shutil.rmtree(self.prefix, ignore_errors=True)
            os.makedirs(self.prefix)
            if self.run(["wineboot", "-i"], timeout=900)[0] != 0:
                sys.exit("wineboot failed")
            os.makedirs(self.path(ROOT))
            record = f'"C:\\windows\\system32\\rundll32.exe" "{RUNTIME + ENGINE}",Record "{HANDED}" "%1"'
            record = record.replace("\\", "\\\\").replace('"', '\\"')
            # A virtual desktop: the same work area on every display, and no window manager to wait on.
            self.registry([r"[HKEY_CURRENT_USER\Software\Wine\Explorer]", '"Desktop"="Default"', "",
                           r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]", '"Default"="1920x1080"', ""] +
                          [line for scheme in ("http", "https", "vistrel-test") for line in (
                              rf"[-HKEY_CLASSES_ROOT\{scheme}]", rf"[HKEY_CLASSES_ROOT\{scheme}]", '"URL Protocol"=""',
                              rf"[HKEY_CLASSES_ROOT\{scheme}\shell\open\command]", f'@="{record}"', "")])
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
            open(marker, "w").write(PREFIX_SETUP)
        subprocess.run(["wineserver", "-p"], env=self.env, **QUIET)
        for windows, source in [(RUNTIME + ENGINE, self.options.standin), (DIRECT, self.options.exe)]:
            os.makedirs(os.path.dirname(self.path(windows)), exist_ok=True)
            shutil.copyfile(source, self.path(windows))
        os.makedirs(os.path.dirname(self.path(BROKEN + ENGINE)), exist_ok=True)
        open(self.path(BROKEN + ENGINE), "wb").write(b"MZ\x90\x00 no library")
        return made

    def register(self, state):
        """The runtime installed, "missing" (nothing registered), "broken" (an engine that is no library),
        "for the user" (registered for the user alone) or "version 0.0.0.0" (what an uninstall leaves)."""
        if state != self.state:
            lines = [f"[-{KEY % (root, key)}]" for root in (MACHINE, USER) for key in ("Clients", "ClientState")]
            if state != "missing":
                root = USER if state == "for the user" else MACHINE
                folder = (BROKEN if state == "broken" else RUNTIME).replace("\\", "\\\\")
                version = "0.0.0.0" if state == "version 0.0.0.0" else "120.0.2210.91"
                lines += [f"[{KEY % (root, 'Clients')}]", f'"pv"="{version}"', f"[{KEY % (root, 'ClientState')}]",
                          f'"EBWebView"="{folder}"']
            self.registry(lines)
            self.state = state


def step_line(step):
    """A step as the stand-in reads it: words separated by tabs, keys as virtual-key codes."""
    verb, _, rest = step.partition(" ")
    if verb == "key":
        *mods, key = rest.lower().split("+")
        return "\t".join([verb, f"{KEYS.get(key, ord(key.upper()[0])):x}"] + [f"{KEYS[m]:x}" for m in mods])
    if verb in ("crash", "move", "scale"):
        return "\t".join([verb] + rest.split())
    if verb == "script":
        return "\t".join([verb, *rest.split(" ", 1)])
    if verb in ("write", "restore", "delete"):
        name, _, text = rest.partition(" ")
        return "\t".join([verb, CASE + "\\" + name] + ([text] if verb != "delete" else []))
    return f"{verb}\t{rest}" if rest else verb


def check_boxes(boxes):
    """What every box must be, whichever row shows it."""
    for box in boxes:
        wrong = [what for what, bad in [("title", box["title"] != "vistrel"), ("buttons", len(box["buttons"]) > 2),
                                        ("owner", box["owner"] != ("main" if box["main"] else "none"))] if bad]
        if wrong:
            raise AssertionError(f"box {box['text']!r}: wrong {', '.join(wrong)}")


def run_row(wine, case, number):
    runtime = case.get("runtime", "installed")
    wine.register(runtime if isinstance(runtime, str) else "installed")
    folder = wine.path(CASE)
    shutil.rmtree(folder, ignore_errors=True)
    for sub in ("temp", "local"):
        os.makedirs(os.path.join(folder, sub))
    for name, text in case.get("files", {}).items():
        open(os.path.join(folder, name), "wb").write(table.icon_file() if text == "{icon}" else text.encode("utf-8"))
    if case.get("stale data"):  # what an earlier copy left in the folder this one uses: kept with /d, else scratch
        where = "local" if table.keeps_data(case) else "temp"
        os.makedirs(os.path.join(folder, where, "vistrel.exe.WebView2", "EBWebView"))
        open(os.path.join(folder, where, "vistrel.exe.WebView2", "EBWebView", "stale.txt"), "w").write("old")
    steps = [step for step in case.get("do", []) if step != "log off"]  # the session's end is the driver's
    open(os.path.join(folder, "steps.txt"), "w", encoding="utf-8").write("".join(
        step_line(step) + "\n" for step in steps))
    if os.path.exists(wine.path(HANDED)):
        os.remove(wine.path(HANDED))
    direct = not wine.options.release or number % 2 == 1
    env = {"TEMP": CASE + "\\temp", "TMP": CASE + "\\temp", "LOCALAPPDATA": CASE + "\\local",
           "VISTREL_STANDIN_LOG": CASE + "\\log.txt", "VISTREL_STANDIN_STEPS": CASE + "\\steps.txt",
           "VISTREL_STANDIN_RESULTS": ",".join(f"{k}={v}" for k, v in runtime.items()) if isinstance(runtime, dict)
           else ""}
    hexed = lambda text: "x" + text.encode("utf-8").hex()  # noqa: E731
    args = ["--exe", hexed(DIRECT if direct else "Z:" + os.path.abspath(wine.options.exe).replace("/", "\\"))]
    args += [word for name, value in env.items() for word in ("--env", hexed(f"{name}={value}"))]
    args += [word for arg in case["args"] for word in ("--arg", hexed(arg))]
    args += ["--show", hexed("3")] if case.get("started maximized") else []  # SW_SHOWMAXIMIZED
    args += ["--end-session", hexed("1")] if "log off" in case.get("do", []) else []
    if case.get("in use"):  # another copy's browser process holds the lock of the scratch data folder
        os.makedirs(os.path.join(folder, "temp", "vistrel.exe.WebView2", "EBWebView"))
        args += ["--lock", hexed(CASE + "\\temp\\vistrel.exe.WebView2\\EBWebView\\lockfile")]
    args += ["--hold", hexed(CASE + "\\" + case["open elsewhere"])] if "open elsewhere" in case else []
    report = wine.driver(args, case.get("lang", "en"))
    log = read_lines(os.path.join(folder, "log.txt"))
    faults = [line[6:] for line in log if line.startswith("fault ")]
    via = "vistrel.exe" if direct else "WebView2Loader.dll"
    callers = {line[7:] for line in log if line.startswith("caller ")} - {via}
    if faults or callers:
        raise AssertionError(f"the runtime saw faults {faults} or was called by {sorted(callers)}")
    check_boxes(report["boxes"])
    left = [where for where in ("temp", "local") if os.path.exists(os.path.join(folder, where, "vistrel.exe.WebView2"))]
    pages = [name for name in case.get("files", {}) if name.endswith(".html")]
    facts = {"exit": report["exit"], "boxes": [box["text"] for box in report["boxes"]],
             "warns": [box["icon"] for box in report["boxes"]],
             "closed by itself": report["closed by itself"], "handed": read_lines(wine.path(HANDED)),
             "followed": [line[9:] for line in log if line.startswith("followed ") and line != "followed about:blank"],
             "data": {(): "gone", ("local",): "kept", ("temp",): "left" if case.get("in use") else "left in temp"}.get(
                 tuple(left), f"left in {left}"),
             "file": "kept" if pages and os.path.exists(os.path.join(folder, pages[0])) else "gone"}
    calls = lambda name: [line.split(" ")[2] if line.count(" ") >= 2 else "" for line in log  # noqa: E731
                          if line.startswith(f"call {name}")]
    facts.update({"keyboard": [line == "keyboard 1" for line in log if line.startswith("keyboard ")],
                  "visible": [value == "1" for value in calls("put_IsVisible")],
                  "moves told": bool(calls("NotifyParentWindowPositionChanged")),
                  "zoom": (calls("put_ZoomFactor") or [None])[-1], "leftovers seen": "leftovers" in log,
                  "log-off allowed": report.get("log-off allowed"),
                  "private": calls("put_IsInPrivateModeEnabled") == ["1"]})
    menus = [line.split("\t")[1:] for line in log if line.split("\t")[0] == "menu"]
    facts.update({"menu": menus[-1]} if menus else {})
    if report["window"]:
        window = report["window"]
        facts["title"] = window["title"]
        facts["window"] = dict(window, style=STYLES.get(window["style"] & 0xC0CF0000, hex(window["style"])),
                               icon="icon 1 1" in log)
    return facts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--exe", "--driver", "--standin", "--only", "--prefix", "--release"):
        parser.add_argument(name, **{"action": "store_true"} if name == "--release" else {})
    options = parser.parse_args()
    options.prefix = options.prefix or os.path.join(tempfile.gettempdir(), "vistrel-wine")
    options.standin = options.standin or os.path.join(os.path.dirname(options.driver or ""), "standin", ENGINE[15:])
    for path in (options.exe, options.driver, options.standin):
        if not os.path.isfile(path or ""):
            sys.exit(f"not found: {path}")
    display, xvfb = os.environ.get("DISPLAY"), None
    if not display:  # a free display of our own, waited for
        display = next(f":{n}" for n in range(90, 400) if not os.path.exists(f"/tmp/.X11-unix/X{n}"))
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"])
        while not os.path.exists(f"/tmp/.X11-unix/X{display[1:]}"):
            time.sleep(0.1)
    wine = Wine(options, display)
    try:
        print(f"prefix {'made' if wine.prepare() else 'reused'}", flush=True)
        probe, rows = wine.driver(["--probe"]), iter(range(1000))
        places = {"site": "https://site.example", "other": "https://other.example",
                  "file": lambda name: CASE + "\\" + name, "workarea-width+1": probe["workarea"][2] + 1}
        return table.run_table("windows", places, lambda case: run_row(wine, case, next(rows)),
                               {"workarea": probe["workarea"], "screen": probe["screen"]}, options.only)
    finally:
        subprocess.run(["wineserver", "-k"], env=wine.env, **QUIET)
        if xvfb:
            xvfb.terminate()


if __name__ == "__main__":
    sys.exit(main())
