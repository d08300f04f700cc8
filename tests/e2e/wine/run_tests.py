#!/usr/bin/python3
"""Runs the shared end-to-end table (../cases.jsonl, see ../table.py) against vistrel.exe under Wine.

    run_tests.py --exe PATH --driver PATH [--prefix DIR] [--standin DLL] [--release] [--webview2-sdk DIR] [--only TEXT]

Each row starts the program through vistrel-test-driver.exe, which answers and
reads back its message boxes and its window. The web runtime is the stand-in
(standin/, EmbeddedBrowserWebView.dll), registered where an installed runtime
registers its folder; it raises the row's steps and logs what the view showed,
its menus and the faults it saw. Addresses handed to the default handler reach
a recording handler registered for http, https and mailto. With --release the
program's folder holds the SDK's loader: rows alternate between that program
and a copy with no loader beside it, which reaches the engine itself.
--webview2-sdk is accepted for the callers and not needed.

The prefix (DIR/prefix, a 1920x1080 virtual desktop and the handlers) is made
once and reused. Ends with "N passed, M failed"; exits non-zero on a failure.
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import table  # noqa: E402

PREFIX_SETUP = "vistrel-e2e table prefix 1"  # changed when the set-up changes
ROOT = "C:\\vistrel-e2e"
CASE = ROOT + "\\case"
HANDED = ROOT + "\\handed.txt"
RUNTIME = ROOT + "\\runtime\\120.0.2210.91"  # named after the version, as an installation's folder is
BROKEN = ROOT + "\\broken runtime"
ENGINE = "\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"
DIRECT = ROOT + "\\direct\\vistrel.exe"  # a copy with no loader beside it
CLIENT = "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
VERSION_KEY = rf"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\EdgeUpdate\Clients\{CLIENT}"
FOLDER_KEY = rf"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\EdgeUpdate\ClientState\{CLIENT}"
SITES = {"site": "https://site.example", "other": "https://other.example"}
LANGS = {"en": "en_US.UTF-8", "ja": "ja_JP.UTF-8"}
KEYS = {"ctrl": 0x11, "alt": 0x12, "shift": 0x10, "home": 0x24, "end": 0x23, "left": 0x25, "right": 0x27,
        "escape": 0x1B, **{f"f{n}": 0x6F + n for n in range(1, 13)}}
STYLES = {0x00CF0000: "normal", 0x00CA0000: "fixed", 0x80000000: "popup"}  # frame bits as WS_ values make them


class Wine:
    def __init__(self, options, display):
        self.options = options
        self.prefix = os.path.join(os.path.abspath(options.prefix), "prefix")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k not in ("LANG", "WINEDEBUG")}
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=display, WINEDLLOVERRIDES="mscoree=;mshtml=")
        self.state = None

    def run(self, args, lang="en", timeout=300):
        env = dict(self.env, LANG=LANGS[lang], LC_ALL=LANGS[lang])
        # Output goes through a file: Wine's services may inherit a pipe and hold it open.
        with tempfile.TemporaryFile() as out:
            code = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace")

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
            f.write(b"\xff\xfe" + "\r\n".join(["Windows Registry Editor Version 5.00", ""] + lines + [""]).encode("utf-16-le"))
        code, output = self.run(["wine", "reg", "import", ROOT + "\\settings.reg"])
        if code != 0:
            raise RuntimeError(f"reg import failed: {output[-300:]}")

    def prepare(self):
        """Makes the prefix once; puts the stand-in, the broken engine and the loaderless copy in place."""
        marker = os.path.join(self.prefix, "vistrel-e2e-ready")
        made = not os.path.exists(marker) or open(marker).read() != PREFIX_SETUP
        if made:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(self.prefix, ignore_errors=True)
            os.makedirs(self.prefix)
            code, output = self.run(["wineboot", "-i"], timeout=900)
            if code != 0:
                sys.exit(f"wineboot failed: {output[-2000:]}")
            os.makedirs(self.path(ROOT), exist_ok=True)
            record = f'"C:\\windows\\system32\\rundll32.exe" "{RUNTIME + ENGINE}",Record "{HANDED}" "%1"'
            record = record.replace("\\", "\\\\").replace('"', '\\"')
            handlers = []
            for scheme in ("http", "https", "mailto"):
                handlers += [rf"[-HKEY_CLASSES_ROOT\{scheme}]", "", rf"[HKEY_CLASSES_ROOT\{scheme}]",
                             '"URL Protocol"=""', "", rf"[HKEY_CLASSES_ROOT\{scheme}\shell\open\command]",
                             f'@="{record}"', ""]
            # A virtual desktop: the work area is the same on every display, and no window manager is waited on.
            self.registry([r"[HKEY_CURRENT_USER\Software\Wine\Explorer]", '"Desktop"="Default"', "",
                           r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]", '"Default"="1920x1080"', ""] + handlers)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
            with open(marker, "w") as f:
                f.write(PREFIX_SETUP)
        subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for windows, source in [(RUNTIME + ENGINE, self.options.standin), (DIRECT, self.options.exe)]:
            os.makedirs(os.path.dirname(self.path(windows)), exist_ok=True)
            shutil.copyfile(source, self.path(windows))
        os.makedirs(os.path.dirname(self.path(BROKEN + ENGINE)), exist_ok=True)
        with open(self.path(BROKEN + ENGINE), "wb") as f:
            f.write(b"MZ\x90\x00 no library")
        return made

    def register(self, state):
        """The runtime as installed ("installed"), not at all ("missing"), or with an engine that is no library."""
        if state != self.state:
            lines = [f"[-{VERSION_KEY}]", "", f"[-{FOLDER_KEY}]", ""]
            if state != "missing":
                folder = (BROKEN if state == "broken" else RUNTIME).replace("\\", "\\\\")
                lines += [f"[{VERSION_KEY}]", '"pv"="120.0.2210.91"', "", f"[{FOLDER_KEY}]", f'"EBWebView"="{folder}"', ""]
            self.registry(lines)
            self.state = state


def icon_file():
    """A 32x32 icon file of one opaque 32-bit image."""
    image = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 32, 0, 0, 0, 0, 0, 0) + b"\x20\x80\xe0\xff" * 1024 + bytes(128)
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, 32, 32, 0, 0, 1, 32, len(image), 22) + image


def steps(case):
    """The row's steps as the stand-in reads them: words separated by tabs."""
    lines = []
    for step in case.get("do", []):
        verb, _, rest = step.partition(" ")
        if verb == "key":
            *mods, key = rest.lower().split("+")
            code = KEYS.get(key, ord(key.upper()[0]))
            lines.append("\t".join(["key", f"{code:x}"] + [f"{KEYS[m]:x}" for m in mods]))
        elif verb in ("write", "delete"):
            name, _, text = rest.partition(" ")
            lines.append("\t".join([verb, CASE + "\\" + name] + ([text] if verb == "write" else [])))
        else:
            lines.append(f"{verb}\t{rest}" if rest else verb)
    return "".join(line + "\n" for line in lines)


def read_lines(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().splitlines()
    except OSError:
        return []


def check_boxes(case, boxes):
    """What every box must be, whichever row shows it: raised as a failure."""
    for number, box in enumerate(boxes):
        question = len(box["buttons"]) == 2
        # Plain boxes: the question, its answer, the usage and the version; every other one warns.
        plain = question or (number > 0 and len(boxes[number - 1]["buttons"]) == 2) or case["args"] in (["/?"], ["/ver"])
        wrong = [what for what, bad in [
            ("its title is not vistrel", box["title"] != "vistrel"),
            ("it has neither one button nor Yes and No", len(box["buttons"]) not in (1, 2)),
            ("its icon is wrong", box["icon"] == plain),
            ("it is not owned by the window shown", box["owner"] != ("main" if box["main"] else "none"))] if bad]
        if wrong:
            raise AssertionError(f"box {box['text']!r}: {', '.join(wrong)}")


def run_row(wine, case, number):
    runtime = case.get("runtime", "installed")
    wine.register(runtime if runtime in ("missing", "broken") else "installed")
    folder = wine.path(CASE)
    shutil.rmtree(folder, ignore_errors=True)
    for sub in ("temp", "local"):
        os.makedirs(os.path.join(folder, sub))
    for name, text in case.get("files", {}).items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(icon_file() if text == "{icon}" else text.encode("utf-8"))
    with open(os.path.join(folder, "steps.txt"), "w", encoding="utf-8") as f:
        f.write(steps(case))
    if os.path.exists(wine.path(HANDED)):
        os.remove(wine.path(HANDED))
    direct = not wine.options.release or number % 2 == 1
    results = ",".join(f"{k}={v}" for k, v in runtime.items()) if isinstance(runtime, dict) else ""
    env = {"TEMP": CASE + "\\temp", "TMP": CASE + "\\temp", "LOCALAPPDATA": CASE + "\\local",
           "VISTREL_STANDIN_LOG": CASE + "\\log.txt", "VISTREL_STANDIN_STEPS": CASE + "\\steps.txt",
           "VISTREL_STANDIN_RESULTS": results}
    hexed = lambda text: "x" + text.encode("utf-8").hex()  # noqa: E731
    args = ["--exe", hexed(DIRECT if direct else "Z:" + os.path.abspath(wine.options.exe).replace("/", "\\")),
            "--cwd", hexed(CASE)] + (["--idle"] if runtime in ("missing", "broken") else [])
    args += [word for name, value in env.items() for word in ("--env", hexed(f"{name}={value}"))]
    args += [word for arg in case["args"] for word in ("--arg", hexed(arg))]
    report = wine.driver(args, case.get("lang", "en"))
    log = read_lines(os.path.join(folder, "log.txt"))
    faults = [line[6:] for line in log if line.startswith("fault ")]
    callers = {line[7:] for line in log if line.startswith("caller ")}
    want = "vistrel.exe" if direct else "WebView2Loader.dll"
    if faults or callers - {want}:
        raise AssertionError(f"the runtime saw faults {faults} or was called by {sorted(callers)}, not {want}")
    check_boxes(case, report["boxes"])
    facts = {"exit": report["exit"], "boxes": [box["text"] for box in report["boxes"]],
             "closed by itself": report["closed by itself"],
             "followed": [line[9:] for line in log if line.startswith("followed ") and line != "followed about:blank"],
             "handed": [line[7:] for line in read_lines(wine.path(HANDED))]}
    menus = [line.split("\t")[1:] for line in log if line.split("\t")[0] == "menu"]
    if menus:
        facts["menu"] = menus[-1]
    if report["window"]:
        window = report["window"]
        facts["title"] = window["title"]
        facts["window"] = dict(window, style=STYLES.get(window["style"] & 0xC0CF0000, hex(window["style"])),
                               icon="icon 1 1" in log)
    left = [where for where in ("temp", "local") if os.path.exists(os.path.join(folder, where, "vistrel.exe.WebView2"))]
    facts["data"] = {(): "gone", ("local",): "kept"}.get(tuple(left), f"left in {left}")
    pages = [name for name in case.get("files", {}) if name.endswith(".html")]
    if pages:
        facts["file"] = "kept" if os.path.exists(os.path.join(folder, pages[0])) else "gone"
    return facts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--prefix", default=os.path.join(tempfile.gettempdir(), "vistrel-wine"))
    parser.add_argument("--standin", help="default: standin/EmbeddedBrowserWebView.dll beside the driver")
    parser.add_argument("--release", action="store_true", help="the program's folder holds the SDK's loader")
    parser.add_argument("--webview2-sdk")
    parser.add_argument("--only")
    options = parser.parse_args()
    options.standin = options.standin or os.path.join(os.path.dirname(os.path.abspath(options.driver)), "standin",
                                                      "EmbeddedBrowserWebView.dll")
    for path in (options.exe, options.driver, options.standin):
        if not os.path.isfile(path):
            sys.exit(f"not found: {path}")
    xvfb = None
    display = os.environ.get("DISPLAY")
    if not display:
        display = ":" + str(90 + os.getpid() % 100)
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"])
    wine = Wine(options, display)
    try:
        print(f"prefix {'made' if wine.prepare() else 'reused'}", flush=True)
        probe = wine.driver(["--probe"])
        places = dict(SITES, file=lambda name: CASE + "\\" + name,
                      **{"workarea-width+1": probe["workarea"][2] + 1})
        rows = iter(range(10000))
        return table.run_table("windows", places, lambda case: run_row(wine, case, next(rows)),
                               {"workarea": probe["workarea"], "screen": probe["screen"]}, options.only)
    finally:
        subprocess.run(["wineserver", "-k"], env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if xvfb:
            xvfb.terminate()


if __name__ == "__main__":
    sys.exit(main())
