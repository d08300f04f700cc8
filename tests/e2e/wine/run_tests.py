#!/usr/bin/python3
"""End-to-end tests of vistrel.exe's start-up paths under Wine.

    run_tests.py --exe PATH --driver PATH [--prefix DIR] [--platform-check PATH] [--jobs N]

Each case starts vistrel.exe through vistrel-test-driver.exe, which reads
back every message box the program shows (title, text, icon, buttons),
answers it and reports the exit code. The cases cover the refusals of the
command line in English and Japanese, the special forms /ver, /void and /?,
and the check for the WebView2 runtime's registered version.
vistrel-platform-check.exe (found beside the driver unless named) calls the
Win32 side of the platform seam directly: full paths, existence, registry.

The Wine prefix lives in DIR/prefix and is made once (wineboot, a 1920x1080
virtual desktop so that the work area does not depend on the display); later
runs reuse it. Without $DISPLAY an Xvfb server of our own is started and
stopped at the end. Prints one line per case and ends with "N passed, M failed".
"""

import argparse
import dataclasses
import datetime
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from typing import Callable, Optional

# Bump when the prefix set-up changes, so that old prefixes are made anew.
PREFIX_SETUP = "vistrel-e2e prefix 1"
DESKTOP_SIZE = (1920, 1080)
ENGLISH_US = 1033
JAPANESE = 1041
CHINESE_PRC = 2052

CLIENT = "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
REGISTRY_KEYS = {
    # The two places the program reads, and the 64-bit location it must not.
    "machine": rf"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\EdgeUpdate\Clients\{CLIENT}",
    "user": rf"HKEY_CURRENT_USER\Software\Microsoft\EdgeUpdate\Clients\{CLIENT}",
    "machineNative": rf"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\EdgeUpdate\Clients\{CLIENT}",
}
RUNTIME_VERSION = "120.0.2210.91"

# The runtime's registration in each state the cases run under: per key,
# None (no key), a string (REG_SZ "pv") or an int (REG_DWORD "pv").
REGISTRY_STATES = {
    "installed": {"machine": RUNTIME_VERSION},
    "absent": {},
    "zero version": {"machine": "0.0.0.0"},
    "empty version": {"machine": ""},
    "user only": {"user": RUNTIME_VERSION},
    "zero machine, good user": {"machine": "0.0.0.0", "user": RUNTIME_VERSION},
    "64-bit key only": {"machineNative": RUNTIME_VERSION},
    "dword machine": {"machine": 1},
    "dword machine, good user": {"machine": 1, "user": RUNTIME_VERSION},
}



@dataclasses.dataclass(frozen=True)
class Language:
    env: dict            # the locale variables the case runs under
    ui: int              # the interface language Wine must report
    system_ui: Optional[int]  # the system's, where it must differ
    texts: str           # which half of the texts is expected


# Wine takes a program's interface language from LC_MESSAGES as the C library
# resolves it (LC_ALL, LC_MESSAGES, LANG), and the raw LC_ALL when that names
# no locale generated here; the system's comes from LC_CTYPE.
LANGUAGES = {
    "en": Language({"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"}, ENGLISH_US, None, "en"),
    "ja": Language({"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}, JAPANESE, None, "ja"),
    "zh": Language({"LANG": "zh_CN.UTF-8", "LC_ALL": "zh_CN.UTF-8"}, CHINESE_PRC, None, "en"),
    # The interface language decides, not the system's.
    "ja messages": Language({"LANG": "en_US.UTF-8", "LC_MESSAGES": "ja_JP.UTF-8"}, JAPANESE, ENGLISH_US, "ja"),
    "en messages": Language({"LANG": "ja_JP.UTF-8", "LC_MESSAGES": "en_US.UTF-8"}, ENGLISH_US, JAPANESE, "en"),
}

# The texts as the user must see them: (English, Japanese).
MESSAGES = {
    "ParameterInvalid": (" - Parameter is invalid.", " - パラメータが正しくありません。"),
    "EmptyParameter": ("Empty parameter is specified.", "空のパラメータが指定されています。"),
    "ParameterAlreadySpecified": (" - Parameter is already specified.", " - パラメータはすでに指定されています。"),
    "ParametersConflict": (" - Parameter is not able to use together.", " - パラメータは一緒に使うことはできません。"),
    "IconFileMissing": ("Icon file is not specified.", "アイコンファイルが指定されていません。"),
    "SizeMissing": ("Width or height is not specified.", "幅または高さが指定されていません。"),
    "PositionMissing": ("X or Y is not specified.", "X または Y が指定されていません。"),
    "AddressMissing": ("Address is not specified.", "アドレスまたはファイルが指定されていません。"),
    "ProfileNameMissing": ("Profile name is not specified.", "プロファイル名が指定されていません。"),
    "IconParameterInvalid": (" - Parameter of icon file is invalid.", " - アイコンファイルのパラメータが正しくありません。"),
    "IconIndexInvalid": (" - Index of icon file is invalid.", " - アイコンファイルのインデックスが正しくありません。"),
    "WidthInvalid": (" - Value of window width is invalid.", " - ウィンドウ幅の値が正しくありません。"),
    "HeightInvalid": (" - Value of window height is invalid.", " - ウィンドウ高の値が正しくありません。"),
    "XInvalid": (" - Value of X is invalid.", " - X の値が正しくありません。"),
    "YInvalid": (" - Value of Y is invalid.", " - Y の値が正しくありません。"),
    "ProfileNameTooLong": (" - Profile name is too long.", " - プロファイル名の文字数が多すぎます。"),
    "ProfileNameBadChar": (" - Invalid character is used in profile name.",
                           " - プロファイル名に使用できない文字が含まれています。"),
    "ProfileNameBadEnd": (" - Profile name is not able to end with space or period.",
                          " - プロファイル名はスペースまたはピリオドで終了することは出来ません。"),
    "WidthTooLarge": (" - Value of window width is too large.", " - ウィンドウ幅の値が大きすぎます。"),
    "HeightTooLarge": (" - Value of window height is too large.", " - ウィンドウ高の値が大きすぎます。"),
    "XTooLarge": (" - Value of X is too large.", " - X の値が大きすぎます。"),
    "YTooLarge": (" - Value of Y is too large.", " - Y の値が大きすぎます。"),
    "FileNotFound": (" - File was not found.", " - ファイルが見つかりませんでした。"),
    "FileNameInvalid": (" - File name or folder name is invalid.", " - ファイル名またはフォルダ名が正しくありません。"),
    "RuntimeMissing": ("WebView2 is not installed.", "WebView2 がインストールされていません。"),
}

# The usage text line by line; "\t" marks where the program puts its blanks.
USAGE = {
    "en": [
        "Display web page.",
        "",
        "vistrel [/s[p] width height [X Y] | /k] [/f] [/u] [/a] [/d[:profile-name] | /p] [/m] [/z] "
        "[/i icon-file] [/l[u][ds]] [title] address | file",
        "\t/s Specify window size",
        "\t    p Specify window position",
        "\t/k Full screen mode",
        "\t/f Fixed window size",
        "\t/u Limit UI",
        "\t/a No browsing limit",
        "\t/d Keep data",
        "\t/p Private mode",
        "\t/m Mute sound",
        "\t/z Adjust zoom",
        "\t/i Set icon",
        "\t/l Load html string from file",
        "\t    u Use Unicode file",
        "\t    d Delete file",
        "\t    s Reflect file update",
    ],
    "ja": [
        "Web ページを表示します。",
        "",
        "vistrel [/s[p] 幅 高さ [X Y] | /k] [/f] [/u] [/a] [/d[:プロファイル名] | /p] [/m] [/z] "
        "[/i アイコンファイル] [/l[u][ds]] [タイトル] アドレス | ファイル",
        "\t/s ウィンドウサイズを指定する",
        "\t    p ウィンドウ位置を指定する",
        "\t/k 全画面モード",
        "\t/f ウィンドウサイズを固定する",
        "\t/u UI を制限する",
        "\t/a 閲覧を制限しない",
        "\t/d データを残す",
        "\t/p プライベートモード",
        "\t/m 音をミュートする",
        "\t/z ズームの調整をする",
        "\t/i アイコンを設定する",
        "\t/l ファイルの html 文字列を読み込む",
        "\t    u Unicode のファイルを使用する",
        "\t    d ファイルを削除する",
        "\t    s ファイルの更新を反映する",
    ],
}
USAGE_PIECE = "vistrel "

BANNER = re.compile(
    r"^ vistrel 2\.20 64bit - (?P<date>(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\d \d{4}) "
    r"(?P<time>[0-2]\d:[0-5]\d:[0-5]\d) $")

# A folder in the prefix's C: drive for the /l cases.
HTML_FOLDER = "vistrel-e2e"
HTML_PRESENT = "C:\\vistrel-e2e\\page.html"
HTML_ABSENT = "C:\\vistrel-e2e\\absent.html"


def text_of(message: str, lang: str) -> str:
    english, japanese = MESSAGES[message]
    return japanese if LANGUAGES[lang].texts == "ja" else english


@dataclasses.dataclass
class Case:
    name: str
    args: list
    lang: str = "en"
    state: str = "installed"
    # What must be shown: None (no box), "warning", "banner" or "usage".
    box: Optional[str] = None
    text: Optional[str] = None
    exit_code: int = 0
    timeout_ms: int = 10000


def refusal(name, args, subject, message, langs=("en", "ja"), state="installed"):
    """A command line refused with subject + message, once per language."""
    return [Case(f"{name} [{lang}]", list(args), lang, state, "warning", subject + text_of(message, lang))
            for lang in langs]


def accepted(name, args, state="installed", lang="en"):
    return Case(f"{name} [{lang}]", list(args), lang, state, None, None, 0, timeout_ms=5000)


def build_cases(work_area, languages):
    """The table of cases; sizes at the edges come from the work area."""
    left, top, right, bottom = work_area
    width, height = right - left, bottom - top
    wide_langs = tuple(l for l in ("en", "ja") if l in languages)
    long_name = "p" * 65
    cases = []

    # Refusals of the command line, in the order the parser checks them.
    for name, args, subject, message in [
        ("unknown switch", ["/x"], "/x", "ParameterInvalid"),
        ("unknown switch keeps its case", ["/Q", "site"], "/Q", "ParameterInvalid"),
        ("unknown switch with non-ASCII", ["/x日本語"], "/x日本語", "ParameterInvalid"),
        ("empty argument", [""], "", "EmptyParameter"),
        ("empty argument after an address", ["about:blank", ""], "", "EmptyParameter"),
        ("second /d", ["/d", "/D:x", "site"], "/d", "ParameterAlreadySpecified"),
        ("/d without colon", ["/dx", "site"], "/dx", "ParameterInvalid"),
        ("/d: without name", ["/d:", "site"], "", "ProfileNameMissing"),
        ("profile name of 65", ["/d:" + long_name, "site"], long_name, "ProfileNameTooLong"),
        ("profile name of 65 slashes", ["/d:" + "/" * 65, "site"], "/" * 65, "ProfileNameTooLong"),
        ("profile name with slash", ["/d:a/b", "site"], "a/b", "ProfileNameBadChar"),
        ("profile name ending in period", ["/d:work.", "site"], "work.", "ProfileNameBadEnd"),
        ("profile name ending in blank", ["/d:a b ", "site"], "a b ", "ProfileNameBadEnd"),
        ("second /i", ["/i", "a.ico", "/i", "b.ico", "site"], "/i", "ParameterAlreadySpecified"),
        ("/i last", ["site", "/i"], "", "IconFileMissing"),
        ("/i comma first", ["/i", ",3", "site"], ",3", "IconParameterInvalid"),
        ("/i two commas", ["/i", "a,b,c", "site"], "a,b,c", "IconParameterInvalid"),
        ("/i two blanks after comma", ["/i", "app.ico,  3", "site"], "app.ico,  3", "IconIndexInvalid"),
        ("/i index -1", ["/i", "app.ico,-1", "site"], "app.ico,-1", "IconIndexInvalid"),
        ("/i index +3", ["/i", "app.ico,+3", "site"], "app.ico,+3", "IconIndexInvalid"),
        ("second /l", ["/l", "/LU", "page.html"], "/l", "ParameterAlreadySpecified"),
        ("/lds", ["/lds", "page.html"], "/lds", "ParameterInvalid"),
        ("/luds", ["/luds", "page.html"], "/luds", "ParameterInvalid"),
        ("second size switch", ["/s", "800", "600", "/SP", "800", "600", "0", "0", "site"], "/s",
         "ParameterAlreadySpecified"),
        ("/s with one value", ["/s", "800"], "", "SizeMissing"),
        ("/sp with one value", ["/sp", "800"], "", "SizeMissing"),
        ("/sp with three values", ["/sp", "800", "600", "0"], "", "PositionMissing"),
        ("width below 100", ["/s", "50", "600", "site"], "50", "WidthInvalid"),
        ("width with letters", ["/s", "8o0", "600", "site"], "8o0", "WidthInvalid"),
        ("switch taken as width", ["/s", "/k", "300"], "/k", "WidthInvalid"),
        ("height below 100", ["/s", "800", "99", "site"], "99", "HeightInvalid"),
        ("negative width leaving 99", ["/s", str(-(width - 99)), "600", "site"], str(-(width - 99)),
         "WidthInvalid"),
        ("negative width with /sp", ["/sp", "-100", "600", "0", "0", "site"], "-100", "WidthInvalid"),
        ("width over the work area with /sp", ["/sp", str(width + 1), "600", "0", "0", "site"], str(width + 1),
         "WidthTooLarge"),
        ("height over the work area with /sp", ["/sp", "800", str(height + 1), "0", "0", "site"],
         str(height + 1), "HeightTooLarge"),
        ("X with two minus signs", ["/sp", "800", "600", "--5", "0", "site"], "--5", "XInvalid"),
        ("Y with a trailing minus", ["/sp", "800", "600", "0", "5-", "site"], "5-", "YInvalid"),
        ("X one past the edge", ["/sp", "800", "600", str(width - 800 + 1), "0", "site"], str(width - 800 + 1),
         "XTooLarge"),
        ("Y one past the edge", ["/sp", "800", "600", "0", str(height - 600 + 1), "site"],
         str(height - 600 + 1), "YTooLarge"),
        ("third positional argument", ["one", "two", "three"], "three", "ParameterInvalid"),
        ("third positional with quotes and backslash", ["one", "two", 'say "hi"\\'], 'say "hi"\\',
         "ParameterInvalid"),
        ("third positional with blank and backslash", ["one", "two", "C:\\a folder\\"], "C:\\a folder\\",
         "ParameterInvalid"),
        ("no arguments", [], "", "AddressMissing"),
        ("switches without address", ["/a", "/m"], "", "AddressMissing"),
        ("/l file name with slash", ["/l", "dir/page.html"], "", "FileNameInvalid"),
        ("/k with /s", ["/k", "/s", "800", "600", "site"], "/k /s", "ParametersConflict"),
        ("/k with /f", ["/f", "/k", "site"], "/k /f", "ParametersConflict"),
        ("/d:x with /p", ["/p", "/d:x", "site"], "/d /p", "ParametersConflict"),
        ("/l file absent", ["/l", HTML_ABSENT], HTML_ABSENT, "FileNotFound"),
        ("/ver with another argument", ["/ver", "site"], "/ver", "ParameterInvalid"),
        ("/? with another argument", ["/?", "site"], "/?", "ParameterInvalid"),
        ("/void with another argument", ["site", "/void"], "/void", "ParameterInvalid"),
    ]:
        cases += refusal(name, args, subject, message, wide_langs)

    # Command lines the parser accepts: no box, exit code 0.
    for name, args in [
        ("address only", ["about:blank"]),
        ("title and address", ["Hello World", "about:blank"]),
        ("minus address", ["-x"]),
        ("every flag", ["/a", "/F", "/u", "/m", "/z", "/d:Work 1", "/lus", HTML_PRESENT]),
        ("repeated flags", ["/a", "/a", "/m", "/m", "about:blank"]),
        ("size and icon", ["/s", "800", "600", "/i", "app.ico, 3", "title", "about:blank"]),
        ("empty width", ["/s", "", "600", "about:blank"]),
        ("negative width leaving 100", ["/s", str(-(width - 100)), "600", "about:blank"]),
        ("size over the work area without /sp", ["/s", str(width + 500), "600", "about:blank"]),
        ("position at the far edges", ["/sp", "800", "600", str(width - 800), str(height - 600), "about:blank"]),
        ("position from the far edges", ["/sp", "800", "600", "-0", "-0", "about:blank"]),
        ("profile name of 64", ["/d:" + "q" * 64, "about:blank"]),
        ("existing folder", ["C:\\windows"]),
        ("html file present", ["/l", HTML_PRESENT]),
    ]:
        cases.append(accepted(name, args))

    # The special one-argument forms.
    for lang in wide_langs:
        cases.append(Case(f"/ver banner [{lang}]", ["/ver"], lang, box="banner"))
        cases.append(Case(f"/? usage [{lang}]", ["/?"], lang, box="usage"))
    cases.append(Case("/VER in capitals [en]", ["/VER"], box="banner"))
    cases.append(Case("/void with the runtime [en]", ["/void"], exit_code=0))
    cases.append(Case("/Void with the runtime [en]", ["/Void"], exit_code=0))

    # The runtime check.
    missing = "RuntimeMissing"
    for state in ("absent", "zero version", "empty version", "zero machine, good user", "64-bit key only",
                  "dword machine"):
        cases.append(Case(f"/void, runtime {state} [en]", ["/void"], state=state, exit_code=1))
    for state in ("user only", "dword machine, good user"):
        cases.append(Case(f"/void, runtime {state} [en]", ["/void"], state=state, exit_code=0))
        cases.append(accepted(f"address, runtime {state}", ["about:blank"], state=state))
    cases.append(Case("/VOID, runtime absent [en]", ["/VOID"], state="absent", exit_code=1))
    cases.append(Case("/ver, runtime absent [en]", ["/ver"], state="absent", box="banner"))
    cases += refusal("refusal, runtime user only", ["/x"], "/x", "ParameterInvalid", ("en",), "user only")
    for lang in wide_langs:
        for name, args in [("address", ["about:blank"]), ("/?", ["/?"]), ("no arguments", []),
                           ("bad switch", ["/x"])]:
            cases.append(Case(f"{name}, runtime absent [{lang}]", args, lang, "absent", "warning",
                              text_of(missing, lang)))
    lang = "ja" if "ja" in languages else "en"
    for state in ("zero version", "empty version", "zero machine, good user", "64-bit key only"):
        cases.append(Case(f"address, runtime {state} [{lang}]", ["about:blank"], lang, state, "warning",
                          text_of(missing, lang)))

    # Only Japanese (1041) gets Japanese; other languages get English.
    for lang in ("zh", "ja messages", "en messages"):
        if lang in languages:
            cases += refusal("unknown switch", ["/x"], "/x", "ParameterInvalid", (lang,))
            cases.append(Case(f"runtime absent [{lang}]", ["site"], lang, "absent", "warning", text_of(missing, lang)))
    return cases


# ------------------------------------------------------------------ checks

def check_box_frame(box, icon):
    problems = []
    if box["title"] != "vistrel":
        problems.append(f"title {box['title']!r}")
    if box["icon"] != icon:
        problems.append("warning icon " + ("missing" if icon else "shown"))
    names = [b["name"] for b in box["buttons"]]
    if names != ["OK"]:
        problems.append(f"buttons {names}")
    if box["owned"]:
        problems.append("box has an owner window")
    return problems


def check_usage(text, lang, measure):
    """The usage text with every tab widened to the measured blanks."""
    problems = []
    k = measure.get("spaces", -1) if measure else -1
    if k <= 0:
        return [f"no usable measurement of {USAGE_PIECE!r}: {measure}"]
    # The driver's own figures must agree with its count.
    if not (k * measure["spaceWidth"] <= measure["pieceWidth"] < (k + 1) * measure["spaceWidth"]):
        problems.append(f"measurement inconsistent: {measure}")
    if "\t" in text:
        problems.append("a tab is left")
    if not text.endswith("\n"):
        problems.append("text does not end with a line feed")
    lines = text.split("\n")[:-1]
    expected = [line.replace("\t", " " * k) for line in USAGE[LANGUAGES[lang].texts]]
    if len(lines) != len(expected):
        problems.append(f"{len(lines)} lines, expected {len(expected)}")
    for number, (got, want) in enumerate(zip(lines, expected), start=1):
        if got != want:
            problems.append(f"line {number}: {got!r}, expected {want!r}")
    for number, line in enumerate(lines[3:], start=4):
        stripped = line.lstrip(" ")
        indent = len(line) - len(stripped)
        wanted = k if stripped.startswith("/") else k + 4
        if stripped[:1] not in ("/", "p", "u", "d", "s") or indent != wanted:
            problems.append(f"line {number} starts with {indent} blanks, expected {wanted}")
    return problems


def check_banner(text):
    match = BANNER.match(text)
    if not match:
        return [f"banner {text!r}"]
    try:
        datetime.datetime.strptime(match["date"].replace("  ", " 0") + " " + match["time"], "%b %d %Y %H:%M:%S")
    except ValueError:
        return [f"banner date {match['date']!r} {match['time']!r} is no date"]
    return []


def check(case, report):
    if "error" in report:
        return [f"driver: {report['error']}"]
    problems = []
    boxes = report["boxes"]
    if report["timedOut"] or report["terminated"]:
        problems.append("still running at the timeout")
    elif report["exitCode"] != case.exit_code:
        problems.append(f"exit code {report['exitCode']}, expected {case.exit_code}")
    if report["otherWindows"]:
        problems.append(f"other windows {report['otherWindows']}")
    if case.box is None:
        if boxes:
            problems.append(f"unexpected box {boxes[0]['text']!r}")
        return problems
    if len(boxes) != 1:
        return problems + [f"{len(boxes)} boxes, expected 1"]
    box = boxes[0]
    problems += check_box_frame(box, icon=case.box == "warning")
    if case.box == "warning" and box["text"] != case.text:
        problems.append(f"text {box['text']!r}, expected {case.text!r}")
    elif case.box == "banner":
        problems += check_banner(box["text"])
    elif case.box == "usage":
        problems += check_usage(box["text"], case.lang, report.get("measure"))
    return problems


# ---------------------------------------------------------------- running

def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def hex_argument(text):
    return "x" + text.encode("utf-8").hex()


class Wine:
    def __init__(self, prefix, display, driver, exe):
        self.prefix = prefix
        self.driver = driver
        self.exe = exe
        env = {k: v for k, v in os.environ.items()
               if not (k.startswith("LC_") or k in ("LANG", "LANGUAGE", "WINEDEBUG", "WINEPREFIX"))}
        env.update(WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY=display,
                   # No prompt to install Mono or Gecko: the program needs neither.
                   WINEDLLOVERRIDES="mscoree=;mshtml=")
        self.env = env

    def env_for(self, lang):
        env = dict(self.env)
        env.update(LANGUAGES[lang].env)
        return env

    def run(self, args, lang="en", timeout=120):
        """Runs a Wine command; output goes through a file, since Wine's
        background services may inherit a pipe and hold it open."""
        with tempfile.TemporaryFile() as out:
            done = subprocess.run(args, env=self.env_for(lang), stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.STDOUT, timeout=timeout)
            out.seek(0)
            return done.returncode, out.read().decode("utf-8", "replace")

    def driver_json(self, driver_args, lang="en", timeout=120):
        try:
            code, output = self.run(["wine", self.driver] + driver_args, lang, timeout)
        except subprocess.TimeoutExpired:
            return {"error": f"the driver did not finish within {timeout} s"}
        for line in reversed(output.splitlines()):
            if line.startswith("{"):
                return json.loads(line)
        return {"error": f"no report (exit {code}): {output[-500:]}"}

    def probe(self, lang="en"):
        return self.driver_json(["--probe"], lang)

    def run_case(self, case):
        args = ["--exe", windows_path(self.exe), "--timeout", str(case.timeout_ms)]
        for a in case.args:
            args += ["--arg", hex_argument(a)]
        if case.box == "usage":
            args += ["--measure", hex_argument(USAGE_PIECE)]
        return self.driver_json(args, case.lang, timeout=case.timeout_ms / 1000 + 60)

    def import_registry(self, entries):
        """entries: list of (key, value) with value None to delete the key."""
        lines = ["Windows Registry Editor Version 5.00", ""]
        for key, value in entries:
            lines += [f"[-{key}]", ""]
            if value is None:
                continue
            if isinstance(value, int):
                data = f"dword:{value:08x}"
            else:
                data = '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
            lines += [f"[{key}]", f'"pv"={data}', ""]
        return self.import_text("\r\n".join(lines) + "\r\n")

    def import_text(self, text):
        path = os.path.join(self.prefix, "drive_c", HTML_FOLDER, "settings.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))
        code, output = self.run(["wine", "reg", "import", f"C:\\{HTML_FOLDER}\\settings.reg"])
        return code == 0, output


def prepare_prefix(base, wine):
    """Makes the prefix once; a finished one carries a marker and is reused."""
    marker = os.path.join(wine.prefix, "vistrel-e2e-ready")
    try:
        with open(marker, encoding="utf-8") as f:
            if f.read() == PREFIX_SETUP:
                return True
    except OSError:
        pass
    print(f"preparing the Wine prefix in {wine.prefix}", flush=True)
    subprocess.run(["wineserver", "-k"], env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(wine.prefix, ignore_errors=True)
    os.makedirs(base, exist_ok=True)
    code, output = wine.run(["wineboot", "-i"], timeout=600)
    if code != 0:
        sys.exit(f"wineboot failed ({code}): {output[-2000:]}")
    os.makedirs(os.path.join(wine.prefix, "drive_c", HTML_FOLDER), exist_ok=True)
    # A virtual desktop: Wine manages the windows itself, so nothing waits on
    # a window manager and the work area is the same on every display.
    ok, output = wine.import_text("\r\n".join([
        "Windows Registry Editor Version 5.00", "",
        r"[HKEY_CURRENT_USER\Software\Wine\Explorer]", '"Desktop"="Default"', "",
        r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]",
        f'"Default"="{DESKTOP_SIZE[0]}x{DESKTOP_SIZE[1]}"', ""]) + "\r\n")
    if not ok:
        sys.exit(f"setting up the virtual desktop failed: {output[-2000:]}")
    subprocess.run(["wineserver", "-w"], env=wine.env, timeout=120)
    with open(marker, "w", encoding="utf-8") as f:
        f.write(PREFIX_SETUP)
    return False


def start_xvfb():
    """Starts Xvfb on a free display; returns (process, ":N")."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([read_end], [], [], 1)
        if ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip().isdigit():
        process.kill()
        sys.exit("Xvfb did not start")
    return process, ":" + number.decode().strip()


def registry_matches(probe, state):
    """Whether the probe read back exactly the registration of the state."""
    for name in REGISTRY_KEYS:
        want = REGISTRY_STATES[state].get(name)
        got = probe.get(name + "Pv")
        if want is None:
            if got is not None:
                return False
        elif got is None:
            return False
        elif isinstance(want, int):
            if got["type"] != 4 or got["text"] != str(want):
                return False
        elif got["type"] != 1 or got["text"] != want:
            return False
    return True


def run_platform_checks(wine, program):
    """Yields (ok, line) for each check the program reports."""
    if not os.path.isfile(program):
        yield False, f"FAIL platform checks: {program} not found"
        return
    try:
        code, output = wine.run(["wine", program])
    except subprocess.TimeoutExpired:
        yield False, "FAIL platform checks: did not finish"
        return
    report = next((json.loads(line) for line in output.splitlines() if line.startswith("{")), None)
    if report is None or not report.get("checks"):
        yield False, f"FAIL platform checks: no report (exit {code}): {output[-500:]}"
        return
    for check in report["checks"]:
        name = "platform: " + check["name"]
        yield check["ok"], f"ok  {name}" if check["ok"] else f"FAIL {name}: {check['detail']}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="vistrel.exe")
    parser.add_argument("--driver", required=True, help="vistrel-test-driver.exe")
    parser.add_argument("--prefix", default=os.path.join(tempfile.gettempdir(), "vistrel-wine"),
                        help="folder for the Wine prefix (kept between runs)")
    parser.add_argument("--platform-check", help="vistrel-platform-check.exe (default: beside the driver)")
    parser.add_argument("--jobs", type=int, default=3, help="cases run at once")
    options = parser.parse_args()
    for path in (options.exe, options.driver):
        if not os.path.isfile(path):
            sys.exit(f"not found: {path}")
    platform_check = options.platform_check or os.path.join(os.path.dirname(os.path.abspath(options.driver)),
                                                            "vistrel-platform-check.exe")

    started = time.monotonic()
    xvfb = None
    display = os.environ.get("DISPLAY", "")
    if not display:
        xvfb, display = start_xvfb()
    base = os.path.abspath(options.prefix)
    wine = Wine(os.path.join(base, "prefix"), display, options.driver, options.exe)
    passed = failed = 0
    try:
        reused = prepare_prefix(base, wine)
        subprocess.run(["wineserver", "-p"], env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        folder = os.path.join(wine.prefix, "drive_c", HTML_FOLDER)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "page.html"), "w", encoding="utf-8") as f:
            f.write("<p>vistrel</p>\n")
        if os.path.exists(os.path.join(folder, "absent.html")):
            os.remove(os.path.join(folder, "absent.html"))
        print(f"prefix {'reused' if reused else 'made'} in {time.monotonic() - started:.1f} s", flush=True)

        # Each language must come out of Wine as intended before its cases count.
        languages = {}
        for lang, language in LANGUAGES.items():
            probe = wine.probe(lang)
            ui = probe.get("userDefaultUILanguage")
            system_ui = probe.get("systemDefaultUILanguage")
            if ui == language.ui and language.system_ui in (None, system_ui):
                languages[lang] = probe
            else:
                failed += 1
                print(f"FAIL language {lang}: under {language.env} Wine reports interface language {ui} and "
                      f"system language {system_ui}, expected {language.ui} and {language.system_ui or 'any'}",
                      flush=True)
        if "en" not in languages:
            return 1
        work_area = languages["en"].get("workArea")
        if not work_area:
            print("FAIL work area: the driver could not read it", flush=True)
            return 1

        # The seam's Win32 side on its own, for what no box shows.
        for ok, line in run_platform_checks(wine, platform_check):
            passed, failed = passed + ok, failed + (not ok)
            print(line, flush=True)

        cases = build_cases(work_area, languages)
        by_state = {}
        for case in cases:
            by_state.setdefault(case.state, []).append(case)
        with ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
            for state, group in by_state.items():
                entries = [(REGISTRY_KEYS[name], REGISTRY_STATES[state].get(name)) for name in REGISTRY_KEYS]
                ok, output = wine.import_registry(entries)
                probe = wine.probe()
                if not ok or not registry_matches(probe, state):
                    for case in group:
                        failed += 1
                        print(f"FAIL {case.name}: registry state {state!r} not set ({output.strip()[-300:]}; "
                              f"read back {probe})", flush=True)
                    continue
                for case, report in zip(group, pool.map(wine.run_case, group)):
                    problems = check(case, report)
                    if problems:
                        failed += 1
                        print(f"FAIL {case.name}: {'; '.join(problems)}", flush=True)
                    else:
                        passed += 1
                        print(f"ok  {case.name}", flush=True)
    finally:
        subprocess.run(["wineserver", "-k"], env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if xvfb is not None:
            xvfb.terminate()
            try:
                xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                xvfb.kill()
    print(f"ran in {time.monotonic() - started:.1f} s", flush=True)
    print(f"{passed} passed, {failed} failed", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
