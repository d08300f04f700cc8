#!/usr/bin/python3
"""End-to-end tests of vistrel.exe's start-up paths and window under Wine.

    run_tests.py --exe PATH --driver PATH [--prefix DIR] [--platform-check PATH] [--jobs N] [--only TEXT]
                 [--release] [--webview2-sdk DIR] [--standin PATH]

Each case starts vistrel.exe through vistrel-test-driver.exe, which reads
back every message box the program shows (title, text, icon, buttons),
answers it, reads back the main window (title, rectangle, style, maximised,
icon), closes it or waits for it to go, and reports the exit code. The cases
cover the refusals of the command line in English and Japanese, the special
forms /ver, /void and /?, the check for the WebView2 runtime's registered
version, the window's placement, style, title and icon, the HTML file of /l,
the user data folder left or deleted at exit, and the web runtime's libraries:
the SDK's loader beside the program (or none, or a broken one) and engine
libraries registered where an installed runtime registers its folder. No web
engine runs here, so in those cases the window stays empty.
The web view's whole run is driven against a stand-in runtime (--standin, by
default standin/EmbeddedBrowserWebView.dll beside the driver; see
standin/script.md): it logs every call the program makes and raises the
events a script names, and the cases check the calls, boxes, window title,
hand-overs to the default handler and the user data folder. A program built
without the WebView2 SDK has no web view, and these cases are left out.
The program file's version resource and manifest are read back as Windows
reads them. With --release the program's folder must be the release folder:
the program and the SDK's x64 loader alone; --webview2-sdk names the SDK's
native folder (build/native of the NuGet package), whose loaders are compared
with the one shipped and placed beside copies of the program.
vistrel-platform-check.exe (found beside the driver unless named) calls the
Win32 side of the platform seam directly, for what no window or box shows.

The Wine prefix lives in DIR/prefix and is made once (wineboot, a 1920x1080
virtual desktop so that the work area does not depend on the display); later
runs reuse it. Without $DISPLAY an Xvfb server of our own is started and
stopped at the end. Prints one line per case and ends with "N passed, M failed".
"""

import argparse
import dataclasses
import datetime
import itertools
import json
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree
from concurrent.futures import ThreadPoolExecutor
from typing import Callable, Optional

# Bump when the prefix set-up changes, so that old prefixes are made anew.
PREFIX_SETUP = "vistrel-e2e prefix 1"
DESKTOP_SIZE = (1920, 1080)
ENGLISH_US = 1033
JAPANESE = 1041
CHINESE_PRC = 2052

CLIENT = "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
# name: (key, value, the driver's probe field)
REGISTRY_KEYS = {
    # The two places the program reads the version, and the 64-bit location it must not.
    "machine": (rf"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\EdgeUpdate\Clients\{CLIENT}", "pv", "machinePv"),
    "user": (rf"HKEY_CURRENT_USER\Software\Microsoft\EdgeUpdate\Clients\{CLIENT}", "pv", "userPv"),
    "machineNative": (rf"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\EdgeUpdate\Clients\{CLIENT}", "pv",
                      "machineNativePv"),
    # The runtime's folder, as an installation registers it in the 32-bit view.
    "engineMachine": (rf"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\EdgeUpdate\ClientState\{CLIENT}",
                      "EBWebView", "engineMachineEBWebView"),
    "engineUser": (rf"HKEY_CURRENT_USER\Software\Microsoft\EdgeUpdate\ClientState\{CLIENT}", "EBWebView",
                   "engineUserEBWebView"),
}
RUNTIME_VERSION = "120.0.2210.91"
# Runtime folders registered for the cases: one whose engine is no library, one that does not exist.
BROKEN_RUNTIME = "C:\\vistrel-e2e\\broken runtime"
MISSING_RUNTIME = "C:\\vistrel-e2e\\no runtime"

# The runtime's registration in each state the cases run under: per key,
# None (no key), a string (REG_SZ) or an int (REG_DWORD).
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
    "engine that is no library": {"machine": RUNTIME_VERSION, "engineMachine": BROKEN_RUNTIME},
    "engine folder missing": {"machine": RUNTIME_VERSION, "engineUser": MISSING_RUNTIME},
}

# Copies of the program, each in a folder of its own with what lies beside it:
# name -> {file name: bytes, or the SDK loader's architecture as a string}.
PROGRAMS = "C:\\vistrel-e2e\\programs"
PROGRAM_VARIANTS = {
    "no loader": {},
    "a loader that is no library": {"WebView2Loader.dll": b"MZ\x90\x00 this is no library"},
    "a loader of no bytes": {"WebView2Loader.dll": b""},
    "the 32-bit loader": {"WebView2Loader.dll": "x86"},
    "the x64 loader": {"WebView2Loader.dll": "x64"},
}
LOADER_EXPORT = "CreateCoreWebView2EnvironmentWithOptions"
IMAGE_FILE_MACHINE_AMD64 = 0x8664



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
    "FileOpenFailed": (" - File was not able to open.", " - ファイルを開けませんでした。"),
    "IconUnavailable": (" - Unable to retreave the icon.", " - アイコンを取得できませんでした。"),
    "DataDeleteFailed": ("Could not delete user data.", "ユーザーデータを削除できませんでした。"),
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

# A folder in the prefix's C: drive for the /l and /i cases.
HTML_FOLDER = "vistrel-e2e"
HTML_PRESENT = "C:\\vistrel-e2e\\page.html"
HTML_ABSENT = "C:\\vistrel-e2e\\absent.html"
E2E = "C:\\vistrel-e2e"
# Icons of one opaque colour each, so that the caption shows which one the window has.
ICON_COLOURS = {"orange": (0xE0, 0x80, 0x20), "blue": (0x20, 0x40, 0xC0)}
ICON_FILE = E2E + "\\two sizes.ico"  # orange, 16 and 32 pixels
BLUE_ICON_FILE = E2E + "\\blue.ico"

# Window styles, with the bits that decide a window's frame.
WS_POPUP = 0x80000000
WS_VISIBLE = 0x10000000
STYLE_NORMAL = 0x00CF0000  # WS_OVERLAPPEDWINDOW
STYLE_FIXED = 0x00CA0000   # caption, system menu, minimise box
STYLE_FRAME_BITS = 0xC0CF0000  # popup, child, caption, system menu, sizing frame, boxes
SW_SHOWNORMAL = 1
SW_SHOWMAXIMIZED = 3

# The user data folder's name inside TEMP or LOCALAPPDATA.
DATA_FOLDER = "vistrel.exe.WebView2"
# Where a run without TEMP must put it (TMP names it) and where it must not.
OS_TEMP = E2E + "\\os temp"
MARKED_TEMP = E2E + "\\temp ü"  # a TEMP of a case's own
DRIVE_ROOT_DATA = "C:\\" + DATA_FOLDER
# Shell shortcuts to the program, made once per run.
SHORTCUT_WITH_ICON = E2E + "\\with icon.lnk"
SHORTCUT_WITHOUT_ICON = E2E + "\\without icon.lnk"


def text_of(message: str, lang: str) -> str:
    english, japanese = MESSAGES[message]
    return japanese if LANGUAGES[lang].texts == "ja" else english


@dataclasses.dataclass
class Window:
    """The main window as it must be when shown."""
    title: str
    rect: Optional[tuple] = None  # x, y, width, height (GetWindowRect); None: not checked
    maximized: bool = False
    style: int = STYLE_NORMAL     # compared on STYLE_FRAME_BITS
    icon: Optional[str] = None    # which of ICON_COLOURS the caption shows, "" none; None: not checked


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
    window: Optional[Window] = None  # None: no window may appear
    action: str = "close"            # or "wait": the window must go by itself
    outlives: bool = False           # with "wait": still open when the timeout ends
    env: dict = dataclasses.field(default_factory=dict)  # name -> value; None unsets
    shortcut: Optional[str] = None   # started as from this shell shortcut
    show: Optional[int] = None       # the start-up show command (SW_ value)
    lock: Optional[str] = None       # a file held open, shared with nobody
    files: tuple = ()                # files made (with their folders) before the run
    watch: tuple = ()                # (path, exists while the window is shown)
    delete: tuple = ()               # files deleted once the window is shown
    after: tuple = ()                # (path, exists after the run)
    serial: bool = False             # runs alone: it shares the data folders or looks at the screen
    program: Optional[str] = None    # a copy of the program from PROGRAM_VARIANTS; None: the one tested


def refusal(name, args, subject, message, langs=("en", "ja"), state="installed", **more):
    """A command line refused with subject + message, once per language."""
    return [Case(f"{name} [{lang}]", list(args), lang, state, "warning", subject + text_of(message, lang), **more)
            for lang in langs]


def accepted(name, args, title, state="installed", lang="en", **window):
    """A command line that opens the window, which is then closed."""
    return Case(f"{name} [{lang}]", list(args), lang, state, timeout_ms=5000, window=Window(title, **window),
                serial=window.get("icon") is not None)


def build_cases(probe, languages, programs):
    """The table of cases; sizes at the edges come from the work area."""
    work_area = probe["workArea"]
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

    # Command lines the parser accepts: the window opens and is closed, no box, exit code 0.
    for name, args, title, window in [
        ("address only", ["about:blank"], "about:blank", {}),
        ("title and address", ["Hello World", "about:blank"], "Hello World", {}),
        ("minus address", ["-x"], "-x", {}),
        ("every flag", ["/a", "/F", "/u", "/m", "/z", "/d:Work 1", "/lus", HTML_PRESENT], HTML_PRESENT,
         {"style": STYLE_FIXED}),
        ("repeated flags", ["/a", "/a", "/m", "/m", "about:blank"], "about:blank", {}),
        ("size and icon", ["/s", "800", "600", "/i", ICON_FILE + ", 0", "title", "about:blank"], "title",
         {"rect": ((width - 800) // 2, (height - 600) // 2, 800, 600), "icon": "orange"}),
        ("empty width", ["/s", "", "600", "about:blank"], "about:blank",
         {"rect": (0, (height - 600) // 2, width, 600)}),
        # The system widens a window to the least its caption needs.
        ("negative width leaving 100", ["/s", str(-(width - 100)), "600", "about:blank"], "about:blank",
         {"rect": ((width - 100) // 2, (height - 600) // 2, max(100, probe["minTrack"][0]), 600)}),
        ("size over the work area without /sp", ["/s", str(width + 500), "600", "about:blank"], "about:blank",
         {"maximized": True}),
        ("position at the far edges", ["/sp", "800", "600", str(width - 800), str(height - 600), "about:blank"],
         "about:blank", {"rect": (width - 800, height - 600, 800, 600)}),
        ("position from the far edges", ["/sp", "800", "600", "-0", "-0", "about:blank"], "about:blank",
         {"rect": (right - 800, bottom - 600, 800, 600)}),
        ("profile name of 64", ["/d:" + "q" * 64, "about:blank"], "about:blank", {}),
        ("existing folder", ["C:\\windows"], "C:\\windows", {}),
        ("html file present", ["/l", HTML_PRESENT], HTML_PRESENT, {}),
    ]:
        cases.append(accepted(name, args, title, **window))
    cases += refusal("size and a missing icon", ["/s", "800", "600", "/i", "app.ico, 3", "title", "about:blank"],
                     "app.ico", "FileNotFound", wide_langs)
    cases += window_cases(probe, wide_langs)

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
        cases.append(accepted(f"address, runtime {state}", ["about:blank"], "about:blank", state=state))
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

    # The web runtime's libraries: whatever lies beside the program or is
    # registered, a library that is missing or unusable never stops it. No
    # runtime exists here, so the window opens empty and closes.
    for variant in programs:
        case = accepted(f"beside the program: {variant}", ["about:blank"], "about:blank")
        case.program = variant
        cases.append(case)
    for state in ("engine that is no library", "engine folder missing"):
        cases.append(accepted(f"registered runtime: {state}", ["Title", "about:blank"], "Title", state=state))
        case = accepted(f"registered runtime: {state}, no loader", ["about:blank"], "about:blank", state=state)
        case.program = "no loader"
        cases.append(case)
    return cases


def window_cases(probe, langs):
    """The window: placement, style, title, icon, the HTML file and the data folder."""
    left, top, right, bottom = probe["workArea"]
    width, height = right - left, bottom - top
    screen_width, screen_height = probe["screen"]
    maximized = {style: tuple(rect) for style, rect in probe["maximized"].items()}
    temp, local = probe["temp"], probe["localAppData"]
    cases = []

    def window(name, args, title="about:blank", lang="en", case=None, **expected):
        # The icon is looked for on the screen, where no other window may cover it.
        serial = expected.get("icon") is not None
        return Case(f"{name} [{lang}]", list(args), lang, window=Window(title, **expected),
                    **{"timeout_ms": 5000, "serial": serial, **(case or {})})

    # Placement: centred on a rectangle of the work area's size at the screen origin.
    centre = (width - 1400) // 2
    for name, args, expected in [
        ("default placement", [], {"rect": (centre, 10, 1400, height - 20)}),
        ("/s 800 600 centred", ["/s", "800", "600"],
         {"rect": ((width - 800) // 2, (height - 600) // 2, 800, 600)}),
        ("/s with odd differences", ["/s", "799", "601"],
         {"rect": ((width - 799) // 2, (height - 601) // 2, 799, 601)}),
        ("/s -200 -100", ["/s", "-200", "-100"], {"rect": (100, 50, width - 200, height - 100)}),
        ("/s 0 0 is the work area", ["/s", "0", "0"], {"rect": (0, 0, width, height), "maximized": False}),
        ("/s exactly as wide as the work area", ["/s", str(width), "600"],
         {"rect": (0, (height - 600) // 2, width, 600)}),
        ("/s one wider than the work area", ["/s", str(width + 1), "600"],
         {"maximized": True, "rect": maximized["normal"]}),
        ("/s 3000 500 is maximised", ["/s", "3000", "500"], {"maximized": True, "rect": maximized["normal"]}),
        ("/s exactly as high as the work area", ["/s", "800", str(height)],
         {"rect": ((width - 800) // 2, 0, 800, height)}),
        ("/s one higher than the work area", ["/s", "800", str(height + 1)],
         {"rect": ((width - 800) // 2, 10, 800, height - 20)}),
        ("/s 800 5000", ["/s", "800", "5000"], {"rect": ((width - 800) // 2, 10, 800, height - 20)}),
        ("/sp 800 600 100 50", ["/sp", "800", "600", "100", "50"], {"rect": (100, 50, 800, 600)}),
        ("/sp flush right and bottom", ["/sp", "800", "600", "-0", "-0"],
         {"rect": (right - 800, bottom - 600, 800, 600)}),
        ("/sp 10 from the right", ["/sp", "800", "600", "-10", "0"], {"rect": (right - 810, 0, 800, 600)}),
        ("/sp 10 from the bottom", ["/sp", "800", "600", "0", "-10"], {"rect": (0, bottom - 610, 800, 600)}),
        ("/sp 0 0 100 100 reaches past the work area", ["/sp", "0", "0", "100", "100"],
         {"rect": (100, 100, width, height)}),
        ("/k covers the screen", ["/k"], {"rect": (0, 0, screen_width, screen_height), "style": WS_POPUP}),
        ("/f keeps the default placement", ["/f"],
         {"rect": (centre, 10, 1400, height - 20), "style": STYLE_FIXED}),
        ("/f /s 800 600", ["/f", "/s", "800", "600"],
         {"rect": ((width - 800) // 2, (height - 600) // 2, 800, 600), "style": STYLE_FIXED}),
        # A fixed window shown maximised may be 16 pixels higher than the work
        # area, within what the system lets any window grow to.
        ("/f /s 3000 500 is maximised within its height limit", ["/f", "/s", "3000", "500"],
         {"maximized": True, "style": STYLE_FIXED,
          "rect": maximized["fixed"][:3] + (min(height + 16, probe["maxTrack"][1]),)}),
    ]:
        cases.append(window(name, args + ["about:blank"], **expected))
    # The start-up show command (a shortcut's "Run: Maximised") applies unless the size did not fit.
    for name, args, show, expected in [
        ("start-up command maximises", [], SW_SHOWMAXIMIZED, {"maximized": True, "rect": maximized["normal"]}),
        ("start-up command maximises /k", ["/k"], SW_SHOWMAXIMIZED, {"maximized": True, "style": WS_POPUP}),
        ("start-up command shows normally", ["/s", "800", "600"], SW_SHOWNORMAL,
         {"rect": ((width - 800) // 2, (height - 600) // 2, 800, 600)}),
        ("a size that does not fit maximises whatever the command", ["/s", "3000", "500"], SW_SHOWNORMAL,
         {"maximized": True, "rect": maximized["normal"]}),
    ]:
        cases.append(window(name, args + ["about:blank"], case={"show": show}, **expected))

    # Title: the one given, else the address or file name as typed.
    page_jp = E2E + "\\ページ 1.html"
    for lang in langs:
        for name, args, title in [
            ("title given", ["Hello", "about:blank"], "Hello"),
            ("non-ASCII title", ["日本語のタイトル – ünïcode", "about:blank"], "日本語のタイトル – ünïcode"),
            ("address as typed", ["Example.COM/a?b=c"], "Example.COM/a?b=c"),
            ("non-ASCII address as typed", ["https://例え.テスト/パス"], "https://例え.テスト/パス"),
            ("folder as typed, not resolved", ["c:\\WINDOWS\\"], "c:\\WINDOWS\\"),
            ("/l file name as typed", ["/l", HTML_PRESENT], HTML_PRESENT),
            ("/l non-ASCII file name", ["/l", page_jp], page_jp),
            ("/l with a title", ["/l", "Page", HTML_PRESENT], "Page"),
        ]:
            cases.append(window(name, args, title, lang))

    # Icons: /i, a start-up shortcut's, or the default one (which Wine's shell32 may lack).
    shell32 = probe["defaultIcon"]
    count = probe["defaultIconCount"]
    for name, args, icon in [
        ("/i icon file", ["/i", ICON_FILE], "orange"),
        ("/i icon file, index 0", ["/i", ICON_FILE + ",0"], "orange"),
        ("/i another icon file", ["/i", BLUE_ICON_FILE], "blue"),
        # Icons of Wine's own library are not told apart on the screen: no box is enough.
        ("/i library, last index", ["/i", f"%SystemRoot%\\System32\\shell32.dll,{count - 1}"], None),
        ("/i with a variable of its own", ["/i", "%VISTREL_E2E_ICONS%\\blue.ico"], "blue"),
        ("no /i: the default icon", [], None if probe["defaultIconPresent"] else ""),
    ]:
        cases.append(window(name, args + ["about:blank"], icon=icon, case={"env": {"VISTREL_E2E_ICONS": E2E}}))
    for name, shortcut, args, icon in [
        ("shortcut with an icon", SHORTCUT_WITH_ICON, [], "orange"),
        ("shortcut without an icon", SHORTCUT_WITHOUT_ICON, [], ""),
        ("shortcut that cannot be read", E2E + "\\absent.lnk", [], ""),
        ("/i wins over the shortcut", SHORTCUT_WITH_ICON, ["/i", BLUE_ICON_FILE], "blue"),
    ]:
        cases.append(window(name, args + ["about:blank"], icon=icon, case={"shortcut": shortcut}))
    cases += refusal("/i index past the last icon", ["/i", f"{shell32},{count}", "about:blank"], shell32,
                     "IconUnavailable", langs)
    cases += refusal("/i second image of an icon file", ["/i", ICON_FILE + ",1", "about:blank"], ICON_FILE,
                     "IconUnavailable", langs)
    cases += refusal("/i file holding no icon", ["/i", HTML_PRESENT, "about:blank"], HTML_PRESENT,
                     "IconUnavailable", langs)
    cases += refusal("/i missing file shows the expanded path", ["/i", "%TEMP%\\no such icon.ico", "about:blank"],
                     temp + "\\no such icon.ico", "FileNotFound", langs)
    cases += refusal("/i missing, started from a shortcut", ["/i", E2E + "\\absent.ico", "about:blank"],
                     E2E + "\\absent.ico", "FileNotFound", ("en",), shortcut=SHORTCUT_WITH_ICON)

    # The HTML file of /l.
    cases += refusal("/l of a folder", ["/l", E2E], E2E, "FileOpenFailed", langs)
    # Each case holds a file of its own open, since the cases run side by side.
    for switch, lang in [("/l", l) for l in langs] + [("/ls", "en"), ("/lu", "en")]:
        locked = E2E + f"\\locked for {switch[1:]} {lang}.html"
        cases += refusal(f"{switch} of a file open elsewhere", [switch, locked], locked, "FileOpenFailed", (lang,),
                         files=(locked,), lock=locked)
    for name, switch in [("/l", "/l"), ("/lu", "/lu"), ("/ls", "/ls")]:
        cases.append(window(f"{name} shows the window", [switch, HTML_PRESENT], HTML_PRESENT))
    for name, switch in [("/ld", "/ld"), ("/lud", "/lud")]:
        doomed = E2E + f"\\deleted by {switch[1:]}.html"
        cases.append(window(f"{name} deletes the file before showing", [switch, doomed], doomed,
                            case={"files": (doomed,), "watch": ((doomed, False),), "after": ((doomed, False),)}))
    kept = E2E + "\\kept by l.html"
    cases.append(window("/l keeps the file", ["/l", kept], kept,
                        case={"files": (kept,), "watch": ((kept, True),), "after": ((kept, True),)}))
    for name, switch in [("/ls", "/ls"), ("/lus", "/lus")]:
        watched = E2E + f"\\watched by {switch[1:]}.html"
        cases.append(window(f"{name} closes when the file is deleted", [switch, watched], watched,
                            case={"files": (watched,), "delete": (watched,), "action": "wait"}))
    unwatched = E2E + "\\left alone.html"
    cases.append(window("/ls stays while the file stays", ["/ls", unwatched], unwatched,
                        case={"files": (unwatched,), "action": "wait", "outlives": True, "timeout_ms": 2000}))

    # The user data folder: the scratch one goes at exit, a kept or busy one stays.
    scratch, kept_data = temp + "\\" + DATA_FOLDER, local + "\\" + DATA_FOLDER
    os_scratch = OS_TEMP + "\\" + DATA_FOLDER
    marked_scratch = MARKED_TEMP + "\\" + DATA_FOLDER
    both = (scratch + "\\EBWebView\\Default\\Cache\\data_0", kept_data + "\\EBWebView\\Local State")
    for name, args, files, env, after in [
        ("scratch folder deleted at close", [], both, {}, ((scratch, False), (kept_data, True))),
        ("/p deletes the scratch folder", ["/p"], both, {}, ((scratch, False), (kept_data, True))),
        ("/d keeps both folders", ["/d"], both, {}, ((scratch, True), (kept_data, True))),
        ("/d:name keeps both folders", ["/d:Work"], both, {}, ((scratch, True), (kept_data, True))),
        ("lock file keeps the scratch folder", [], (scratch + "\\EBWebView\\lockfile",), {}, ((scratch, True),)),
        ("no scratch folder to delete", [], (), {}, ((scratch, False),)),
        ("TEMP elsewhere than TMP", [], (marked_scratch + "\\x", os_scratch + "\\x"),
         {"TEMP": MARKED_TEMP, "TMP": OS_TEMP}, ((marked_scratch, False), (os_scratch, True))),
        ("TEMP unset: the system's temporary folder", [],
         (scratch + "\\x", os_scratch + "\\x", DRIVE_ROOT_DATA + "\\x"), {"TEMP": None, "TMP": OS_TEMP},
         ((os_scratch, False), (scratch, True), (DRIVE_ROOT_DATA, True))),
        ("TEMP empty: the system's temporary folder", [],
         (scratch + "\\x", os_scratch + "\\x", DRIVE_ROOT_DATA + "\\x"), {"TEMP": "", "TMP": OS_TEMP},
         ((os_scratch, False), (scratch, True), (DRIVE_ROOT_DATA, True))),
    ]:
        cases.append(window(name, args + ["about:blank"],
                            case={"files": files, "env": env, "after": after, "serial": True}))
    busy = scratch + "\\EBWebView\\busy"
    cases.append(Case("scratch folder that cannot be deleted [en]", ["about:blank"], "en", box="warning",
                      text=text_of("DataDeleteFailed", "en"), timeout_ms=15000, window=Window("about:blank"),
                      files=(busy,), lock=busy, after=((busy, True),), serial=True))
    return cases


# ---------------------------------------------------------- the web view run
#
# These runs drive the program's whole web-view run against the stand-in
# runtime (tests/e2e/wine/standin): an engine library registered where an
# installed runtime registers its folder. The stand-in logs every call the
# program makes, one line each (see standin/script.md), and raises the events
# its script names; the checks read the log, the boxes, the window and the
# files. A run gives one result line per check.

# The real loader takes the runtime's version from the registered folder's name.
STANDIN_RUNTIME = E2E + "\\standin runtime\\" + RUNTIME_VERSION
STANDIN_ENGINE = STANDIN_RUNTIME + "\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"
REGISTRY_STATES["stand-in runtime"] = {"machine": RUNTIME_VERSION, "engineMachine": STANDIN_RUNTIME}
WEB_RUNS = E2E + "\\web"          # a folder per run: script, log, TEMP, LOCALAPPDATA, pages
HANDED = E2E + "\\handed"         # a file per address handed to the default handler
HANDED_FILES = E2E + "\\handed-files"
RECORD_SCHEME = "vistrel-rec"     # an address scheme whose handler records the address
RECORD_TYPE = ".vistrelrec"       # a file type whose handler records the file
# Script lines that set the stand-in up rather than act.
SCRIPT_SETTINGS = ("result", "clear-status", "browser-process", "navigations", "hold-controller")
E_INVALIDARG = "0x80070057"
E_FAIL = "0x80004005"
BOX_WARNING, BOX_YESNO, BOX_PLAIN = "warning", "yes/no", "plain"
# The loader asks for the environment's first version before the program does.
LOADER_LINES = ("QueryInterface ICoreWebView2Environment",)


def q(text):
    """A string argument as the stand-in logs it ("{run}" stays a placeholder)."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n").replace("\r", "\\r") \
        .replace("\t", "\\t").replace("{run}", "{qrun}") + '"'


def file_address(path):
    """A local path as the runtime turns it into an address."""
    out = "file:///"
    for byte in path.encode("utf-8"):
        c = chr(byte)
        if c == "\\":
            out += "/"
        elif byte <= 0x20 or byte >= 0x7F or c in '%#?"':
            out += f"%{byte:02X}"
        else:
            out += c
    return out.replace("{run}", "{urun}")


@dataclasses.dataclass
class WebRun:
    name: str
    args: list                     # "{run}" and "{tag}" are replaced
    script: list = dataclasses.field(default_factory=list)   # lines; words are separated by tabs
    checks: list = dataclasses.field(default_factory=list)   # (name, function(result) -> problems)
    lang: str = "en"
    presses: tuple = ()            # the answers to the boxes, in order
    via: str = "engine"            # "engine": nothing beside the program; "loader": the SDK's loader beside it
    files: dict = dataclasses.field(default_factory=dict)    # name in the run folder -> text
    records: tuple = ()            # addresses that must be handed over ("{tag}" replaced)
    timeout_ms: int = 15000
    applied_dpi: Optional[int] = None  # the display's AppliedDPI for this run (runs alone); None: no value
    action: str = "wait"           # or "close": the driver closes the window as soon as it is shown


@dataclasses.dataclass
class WebResult:
    run: str        # the run's folder (Windows path)
    tag: str        # marks the run's addresses among all hand-overs
    report: dict
    log: list
    records: list
    wine: object

    @property
    def temp(self):
        return self.run + "\\temp"

    @property
    def local(self):
        return self.run + "\\local"

    def exists(self, path):
        return os.path.exists(self.wine.unix_path(path))

    def calls(self):
        """The program's calls: the log without the stand-in's own lines."""
        return [line for line in self.log if not line.startswith(("> ", "< ", "= "))]

    def after(self, marker, occurrence=1):
        """The lines of the occurrence-th event whose first line starts with marker, up to its end."""
        seen = 0
        for i, line in enumerate(self.log):
            if line.startswith("> " + marker):
                seen += 1
                if seen == occurrence:
                    end = next((j for j in range(i + 1, len(self.log)) if self.log[j].startswith("< " + marker)),
                               len(self.log))
                    return self.log[i + 1:end + 1]
        return None


def fill(value, run, tag):
    """The run's folder and tag in place of "{run}" (quoted as the log quotes: "{qrun}"; in
    an address: "{urun}") and "{tag}"."""
    return value.replace("{qrun}", run.replace("\\", "\\\\")).replace("{urun}", run.replace("\\", "/")) \
        .replace("{run}", run).replace("{tag}", tag)


def subsequence_problems(lines, wanted, what):
    """wanted must appear in lines in this order (others may lie between)."""
    i = 0
    for line in lines:
        if i < len(wanted) and line == wanted[i]:
            i += 1
    return [] if i == len(wanted) else [f"{what}: {wanted[i]!r} missing (in order) in {lines}"]


def lines_problems(got, want, what):
    if got == want:
        return []
    for i, (g, w) in enumerate(zip(got, want)):
        if g != w:
            return [f"{what}: line {i + 1} is {g!r}, expected {w!r} (got {got[max(0, i - 2):i + 3]})"]
    return [f"{what}: {len(got)} lines, expected {len(want)}; got {got}, expected {want}"]


def boxes_problems(r, want):
    """want: (text, kind) per box; kind is BOX_WARNING, BOX_YESNO or BOX_PLAIN. Every box
    belongs to the main window and is titled vistrel."""
    boxes = r.report.get("boxes", [])
    problems = []
    if len(boxes) != len(want):
        return [f"{len(boxes)} boxes {[b['text'] for b in boxes]}, expected {[w[0] for w in want]}"]
    for box, (text, kind) in zip(boxes, want):
        if box["text"] != text:
            problems.append(f"box text {box['text']!r}, expected {text!r}")
        if box["title"] != "vistrel":
            problems.append(f"box title {box['title']!r}")
        if box["icon"] != (kind == BOX_WARNING):
            problems.append(f"box {box['text']!r}: warning icon {'shown' if box['icon'] else 'missing'}")
        names = [b["name"] for b in box["buttons"]]
        if names != (["YES", "NO"] if kind == BOX_YESNO else ["OK"]):
            problems.append(f"box {box['text']!r}: buttons {names}")
        if box.get("ownerClass") != "vistrel":
            problems.append(f"box {box['text']!r} owned by {box.get('ownerClass')!r}, not the main window")
    return problems


def ended_problems(r):
    report = r.report
    if report.get("timedOut") or report.get("terminated"):
        return ["still running at the timeout"]
    if report.get("exitCode") != 0:
        return [f"exit code {report.get('exitCode')}"]
    return []


def stray_problems(r):
    """What the program must never cause: calls the stand-in does not answer, interfaces it
    lacks, or a script that did not run to its end."""
    problems = [line for line in r.log if line.startswith(("unimplemented", "no ", "unknown", "menu item", "the "))
                or "E_NOINTERFACE" in line or "does not exist" in line or line.startswith("browser process:")]
    if any(line.startswith("CreateWebViewEnvironment") for line in r.log) and "= user data folder filled" not in r.log:
        problems.append("the user data folder was not filled")
    return [f"stand-in: {line}" for line in problems]


# --------------------------------------------------------------- expectations

def setup_lines(r, first, profile=None, private=False, keep=False, limit=False, mute=False, zoom=None):
    """The calls from the environment's creation to the first navigation, in order."""
    folder = (r.local if keep else r.temp) + "\\" + DATA_FOLDER
    lines = [f"CreateWebViewEnvironmentWithOptionsInternal 1 0 {q(folder)} null",
             "QueryInterface ICoreWebView2Environment10", "CreateCoreWebView2ControllerOptions"]
    if profile is not None:
        lines.append(f"put_ProfileName {q(profile)}")
    if private:
        lines.append("put_IsInPrivateModeEnabled 1")
    lines += ["CreateCoreWebView2ControllerWithOptions window options",
              "get_CoreWebView2", "QueryInterface ICoreWebView2_13",
              "get_Profile", "QueryInterface ICoreWebView2Profile2",
              "get_Settings", "QueryInterface ICoreWebView2Settings3", "QueryInterface ICoreWebView2Settings4",
              "put_AreDevToolsEnabled 0",
              "put_IsPasswordAutosaveEnabled 1" if keep else "put_IsGeneralAutofillEnabled 0"]
    if limit:
        lines += ["put_AreDefaultContextMenusEnabled 0", "put_IsStatusBarEnabled 0",
                  "put_AreBrowserAcceleratorKeysEnabled 0"]
    client = next((line[len("= client area "):] for line in r.log if line.startswith("= client area ")), "?")
    lines.append(f"put_Bounds {client}")
    if zoom is not None:
        lines.append(f"put_ZoomFactor {zoom}")
    lines += ["add_NavigationCompleted", "add_NavigationStarting", "add_NewWindowRequested", "add_DocumentTitleChanged",
              "QueryInterface ICoreWebView2_4", "add_DownloadStarting",
              "QueryInterface ICoreWebView2_8", f"put_IsMuted {1 if mute else 0}",
              "QueryInterface ICoreWebView2_11", "QueryInterface ICoreWebView2Environment9",
              "add_ContextMenuRequested", "add_AcceleratorKeyPressed", "get_BrowserProcessId -> 0", first]
    return lines


def setup_check(first, **flags):
    def check_setup(r):
        end = next((i for i, line in enumerate(r.log) if line == "< controller created"), None)
        if end is None:
            return ["the controller was never created"]
        got = [line for line in r.log[:end] if not line.startswith(("> ", "< ", "= "))]
        client = next((line.split()[-2:] for line in r.log if line.startswith("= client area ")), ["0", "0"])
        problems = [] if min(int(v) for v in client) > 0 else [f"empty client area {client}"]
        return problems + lines_problems(got, setup_lines(r, fill(first, r.run, r.tag), **flags), "set-up calls")
    return check_setup


def bounds_follow(count):
    """At least count put_Bounds calls, each with the window's client area at that moment."""
    def check_bounds(r):
        problems = []
        calls = 0
        for i, line in enumerate(r.log):
            if line.startswith("put_Bounds "):
                calls += 1
                seen = r.log[i - 1] if i else ""
                if not seen.startswith("= client area ") or seen[len("= client area "):] != line[len("put_Bounds "):]:
                    problems.append(f"{line!r} after {seen!r}")
        sizes = {line for line in r.log if line.startswith("put_Bounds ")}
        if calls < count or len(sizes) < count:
            problems.append(f"{calls} put_Bounds calls of {len(sizes)} sizes, expected {count}")
        return problems
    return check_bounds


def in_order(*wanted):
    def check_order(r):
        return subsequence_problems(r.log, [fill(w, r.run, r.tag) for w in wanted], "log")
    return check_order


def absent(*prefixes):
    def check_absent(r):
        found = [line for line in r.log if line.startswith(prefixes)]
        return [f"unexpected {found}"] if found else []
    return check_absent


def event(marker, want, occurrence=1):
    """The lines of one event, from its raising to its end, exactly."""
    def check_event(r):
        got = r.after(marker, occurrence)
        if got is None:
            return [f"event {marker} #{occurrence} never raised"]
        return lines_problems(got, [fill(w, r.run, r.tag) for w in want], f"{marker} #{occurrence}")
    return check_event


def boxes(*want):
    def check_boxes(r):
        return boxes_problems(r, [(fill(text, r.run, r.tag), kind) for text, kind in want])
    check_boxes.about_boxes = True
    return check_boxes


def folder_state(keep_exists, scratch_exists):
    def check_folders(r):
        problems = []
        for folder, want in ((r.local + "\\" + DATA_FOLDER, keep_exists),
                             (r.temp + "\\" + DATA_FOLDER, scratch_exists)):
            if r.exists(folder) != want:
                problems.append(f"{folder} {'missing' if want else 'still there'} after the run")
        return problems
    return check_folders


def handed(*addresses):
    """Exactly these addresses were handed to the default handler."""
    def check_handed(r):
        want = sorted(fill(a, r.run, r.tag) for a in addresses)
        got = sorted(r.records)
        return [] if got == want else [f"handed over {got}, expected {want}"]
    return check_handed


def msg(name, lang):
    return WEB_MESSAGES[name][0 if LANGUAGES[lang].texts == "en" else 1]


WEB_MESSAGES = {
    "ProfileNameInvalid": (" - Profile name is invalid.", " - プロファイル名が正しくありません。"),
    "AddressInvalid": (" - Address or file name is invalid.", " - アドレスまたはファイル名が正しくありません。"),
    "FileNotSupported": (" - File is not supported.", " - 対応されていないファイルです。"),
    "ClearDataConfirm": ("Clear all data?", "すべてのデータをクリアしますか？"),
    "DataCleared": ("All data is cleared.", "すべてのデータをクリアしました。"),
    "Mute": ("Mute", "ミュート"),
    "Unmute": ("Unmute", "ミュート解除"),
    "ClearData": ("Clear Data", "データクリア"),
    "Home": ("Home", "ホーム"),
}


def build_web_runs(langs):
    runs = []
    site = "https://site.test/a"
    page = "{run}\\page.html"
    page_text = "<p>stand-in page</p>\n"
    close = ["close-window"]

    # Set-up: environment, controller, settings, subscriptions, first navigation.
    for name, args, first, flags, files in [
        ("no options", [site], f"Navigate {q(site)}", {}, {}),
        ("/d:name", ["/d:Work 1", site], f"Navigate {q(site)}", {"profile": "Work 1", "keep": True}, {}),
        ("/p", ["/p", site], f"Navigate {q(site)}", {"private": True}, {}),
        ("/d", ["/d", site], f"Navigate {q(site)}", {"keep": True}, {}),
        ("/u", ["/u", site], f"Navigate {q(site)}", {"limit": True}, {}),
        ("/u /d /m", ["/u", "/d", "/m", site], f"Navigate {q(site)}", {"limit": True, "keep": True, "mute": True}, {}),
        ("/m", ["/m", site], f"Navigate {q(site)}", {"mute": True}, {}),
        # Without an AppliedDPI value the zoom factor stays the runtime's own.
        ("/z without a display scale", ["/z", site], f"Navigate {q(site)}", {}, {}),
        ("address as typed", ["Title", "https://example.test/x?y=1"], 'Navigate "https://example.test/x?y=1"', {}, {}),
        ("relative file name", ["page.html"], f"Navigate {q(page)}", {}, {"page.html": page_text}),
        ("/l", ["/l", "page.html"], f"NavigateToString {q(page_text)}", {}, {"page.html": page_text}),
        ("/l with a title and /m", ["/l", "/m", "Shown", page], f"NavigateToString {q(page_text)}", {"mute": True},
         {"page.html": page_text}),
        ("/ld shows the text of the file it deleted", ["/ld", "page.html"], f"NavigateToString {q(page_text)}", {},
         {"page.html": page_text}),
        ("/d:name of the other characters", ["/d:#@$()+-_~. z", site], f"Navigate {q(site)}",
         {"profile": "#@$()+-_~. z", "keep": True}, {}),
    ]:
        checks = [("call sequence", setup_check(first, **flags)),
                  ("no zoom factor, no plain controller", absent("put_ZoomFactor", "CreateCoreWebView2Controller "))]
        if any(a.startswith("/l") for a in args):
            checks.append(("no Navigate", absent("Navigate ")))
        runs.append(WebRun(f"set-up: {name}", args, close, checks, files=files))
    next(r for r in runs if r.name.startswith("set-up: /ld")).checks.append(
        ("the file is gone", lambda r: ["page.html still there"] if r.exists(r.run + "\\page.html") else []))
    # A window closed before the runtime has handed over its controller still closes.
    for name, args, folders in [("scratch data", [site], folder_state(False, False)),
                                ("/d", ["/d", site], folder_state(True, False))]:
        runs.append(WebRun(f"set-up: closed before the view exists, {name}", args, ["hold-controller"],
                           [("nothing to close or clear", absent("Close", "ClearBrowsingData", "get_CoreWebView2")),
                            ("folders", folders)], action="close"))
    # The zoom factor: 96 / AppliedDPI with /z when that is not 1.
    for name, args, dpi, zoom in [
        ("/z at 96 DPI", ["/z", site], 96, None),
        ("/z at 120 DPI", ["/z", site], 120, "0.800000"),
        ("/z at 144 DPI", ["/z", site], 144, "0.666667"),
        ("no /z at 144 DPI", [site], 144, None),
    ]:
        runs.append(WebRun(f"set-up: {name}", args, close, [("call sequence", setup_check(f"Navigate {q(site)}",
                                                                                          zoom=zoom))],
                           applied_dpi=dpi))
    # The view follows the window's size.
    runs.append(WebRun("set-up: the view follows the window's size", [site],
                       ["resize\t900\t700", "resize\t640\t480"] + close,
                       [("bounds", bounds_follow(3))]))

    # The real loader beside the program reaches the registered runtime the same way.
    runs.append(WebRun("set-up through the SDK loader: /d:name", ["/d:Work", site], close,
                       [("call sequence", setup_check(f"Navigate {q(site)}", profile="Work", keep=True))],
                       via="loader"))
    runs.append(WebRun("set-up through the SDK loader: /l /p", ["/l", "/p", page], close,
                       [("call sequence", setup_check(f"NavigateToString {q(page_text)}", private=True))],
                       via="loader", files={"page.html": page_text}))

    # Refusals by the runtime: a box owned by the window, then the window goes.
    for lang in langs:
        runs.append(WebRun(f"profile name refused [{lang}]", ["/d:Bad Name", site],
                           [f"result\tput_ProfileName\t{E_INVALIDARG}"],
                           [("box", boxes(("Bad Name" + msg("ProfileNameInvalid", lang), BOX_WARNING))),
                            ("refused call logged", in_order(f"put_ProfileName {q('Bad Name')} -> {E_INVALIDARG}")),
                            ("no controller for the window that is gone",
                             absent("CreateCoreWebView2ControllerWithOptions", "put_IsInPrivateModeEnabled"))],
                           lang=lang))
        runs.append(WebRun(f"file name refused shows it as typed [{lang}]", ["page.html"],
                           [f"result\tNavigate\t{E_INVALIDARG}"],
                           [("box", boxes(("page.html" + msg("AddressInvalid", lang), BOX_WARNING))),
                            ("full path navigated", in_order(f"Navigate {q(page)} -> {E_INVALIDARG}")),
                            ("no navigation events", absent("> NavigationStarting"))],
                           lang=lang, files={"page.html": page_text}))
    # The start address again (Alt+Home, the Home item), refused this time.
    runs.append(WebRun("Alt+Home refused [en]", [site],
                       [f"set-result\tNavigate\t{E_INVALIDARG}", "key\tsysdown\t24\talt"],
                       [("box", boxes((site + msg("AddressInvalid", "en"), BOX_WARNING))),
                        ("refused", event("AcceleratorKeyPressed",
                                          ["get_KeyEventKind -> 2", "get_VirtualKey -> 36",
                                           "get_PhysicalKeyStatus -> WasKeyDown 0", "put_Handled 1",
                                           f"Navigate {q(site)} -> {E_INVALIDARG}",
                                           "< AcceleratorKeyPressed handled 1"]))]))
    runs.append(WebRun("Home item refused shows the file as typed [en]", ["page.html"],
                       [f"set-result\tNavigate\t{E_INVALIDARG}", "menu\tpage\t0", "select\tHome"],
                       [("box", boxes(("page.html" + msg("AddressInvalid", "en"), BOX_WARNING))),
                        ("refused", in_order('> CustomItemSelected "Home"',
                                             f"Navigate {q(page)} -> {E_INVALIDARG}"))],
                       files={"page.html": page_text}))
    runs.append(WebRun("address refused [en]", ["https://bad.test/ x"], [f"result\tNavigate\t{E_INVALIDARG}"],
                       [("box", boxes(("https://bad.test/ x" + msg("AddressInvalid", "en"), BOX_WARNING)))]))
    return runs + policy_runs(site, page, page_text) + event_runs(site, page, page_text, langs)


def policy_runs(site, page, page_text):
    """Which addresses stay in the view, which go to the default handler, and which are dropped."""
    runs = []
    rec = RECORD_SCHEME + "://other.test/{tag}/"
    sentinel = ["shell-open\t" + RECORD_SCHEME + "://sentinel.test/{tag}/"]
    inside, outside = "https://sub.site.test/b", rec + "1"
    stays = ["get_Uri", "< NavigationStarting cancel 0"]
    cancelled = ["get_Uri", "put_Cancel 1", "< NavigationStarting cancel 1"]
    for name, args, script, checks, records in [
        ("inside stays, outside is handed over", [site],
         [f"navigate-starting\t{inside}", f"navigate-starting\t{outside}", f"new-window\thttps://site.test/c",
          f"new-window\t{rec}2"],
         [("inside navigation", event("NavigationStarting", stays, 2)),
          ("outside navigation cancelled", event("NavigationStarting", cancelled, 3)),
          ("new window inside shown in the view",
           event("NewWindowRequested", ["get_Uri", "put_Handled 1", 'Navigate "https://site.test/c"',
                                        "< NewWindowRequested handled 1"], 1)),
          ("new window outside handed over", event("NewWindowRequested", ["get_Uri", "put_Handled 1",
                                                                          "< NewWindowRequested handled 1"], 2))],
         (rec + "1", rec + "2")),
        ("a first page that failed sets the site too", [site],
         ["navigations\tfail", f"navigate-starting\t{inside}", f"navigate-starting\t{outside}"],
         [("failure not consulted", absent("get_IsSuccess", "get_WebErrorStatus")),
          ("inside navigation", event("NavigationStarting", stays, 2)),
          ("outside navigation cancelled", event("NavigationStarting", cancelled, 3))],
         (rec + "1",)),
        ("a three-label domain", ["https://www.name.ab.cd/x"],
         ["navigate-starting\thttps://sub.name.ab.cd/y",
          "navigate-starting\t" + RECORD_SCHEME + "://other.ab.cd/{tag}/1"],
         [("same domain stays", event("NavigationStarting", stays, 2)),
          ("sibling domain cancelled", event("NavigationStarting", cancelled, 3))],
         (RECORD_SCHEME + "://other.ab.cd/{tag}/1",)),
        ("/a follows everything", ["/a", site],
         [f"navigate-starting\t{outside}", f"new-window\t{rec}2"],
         [("outside navigation allowed", event("NavigationStarting", stays, 2)),
          ("new window outside shown in the view",
           event("NewWindowRequested", ["get_Uri", "put_Handled 1", f"Navigate {q(rec + '2')}",
                                        "< NewWindowRequested handled 1"], 1))],
         ()),
        ("/p drops what is outside", ["/p", site],
         [f"navigate-starting\t{outside}", f"new-window\t{inside}", f"new-window\t{rec}2"],
         [("outside navigation cancelled", event("NavigationStarting", cancelled, 2)),
          ("new window inside dropped", event("NewWindowRequested", ["get_Uri", "put_Handled 1",
                                                                     "< NewWindowRequested handled 1"], 1)),
          ("new window outside dropped", event("NewWindowRequested", ["get_Uri", "put_Handled 1",
                                                                      "< NewWindowRequested handled 1"], 2))],
         ()),
        ("a web page never hands over a local file", [site],
         ["navigate-starting\t" + file_address(HANDED_FILES + "\\{tag}" + RECORD_TYPE)],
         [("local file cancelled", event("NavigationStarting", cancelled, 2))],
         ()),
        ("a local page hands over what lies outside its folder", [page],
         ["navigate-starting\t" + file_address("{run}\\sub\\b.html"),
          "navigate-starting\t" + file_address(HANDED_FILES + "\\{tag}" + RECORD_TYPE),
          f"navigate-starting\t{outside}"],
         [("first page from the disk", in_order(f"Navigate {q(page)}", "get_Source -> " + q(file_address(page)))),
          ("file in the folder stays", event("NavigationStarting", stays, 2)),
          ("file elsewhere cancelled", event("NavigationStarting", cancelled, 3)),
          ("web address cancelled", event("NavigationStarting", cancelled, 4))],
         (HANDED_FILES + "\\{tag}" + RECORD_TYPE, rec + "1")),
        ("/l admits data addresses only", ["/l", page],
         ["navigate-starting\tdata:text/html,<p>x</p>", "navigate-starting\tabout:blank",
          f"navigate-starting\t{outside}"],
         [("scope from the string's source", in_order('get_Source -> "about:blank"')),
          ("data address stays", event("NavigationStarting", stays, 2)),
          ("about:blank cancelled", event("NavigationStarting", cancelled, 3)),
          ("web address cancelled", event("NavigationStarting", cancelled, 4))],
         (rec + "1",)),
    ]:
        checks.append(("hand-overs", handed(*records)))
        settings = [line for line in script if line.split("\t")[0] in SCRIPT_SETTINGS]
        commands = [line for line in script if line not in settings]
        runs.append(WebRun(f"site: {name}", args, settings + commands + sentinel + ["close-window"], checks,
                           files={"page.html": page_text}, records=records))
    return runs


def event_runs(site, page, page_text, langs):
    runs = []
    close = ["close-window"]

    # The window's title follows the page's unless the command line gave one.
    runs.append(WebRun("title follows the page", [site],
                       ["title\tHello – page", "window-title", "title\t", "window-title", "title\t日本語のページ",
                        "window-title"] + close,
                       [("title", in_order('get_DocumentTitle -> "Hello – page"', 'window-title "Hello – page"')),
                        ("empty title", in_order('get_DocumentTitle -> ""', 'window-title ""')),
                        ("Japanese title", in_order('window-title "日本語のページ"'))]))
    runs.append(WebRun("a title given stays", ["Fixed", site], ["title\tHello page", "window-title"] + close,
                       [("title", in_order('window-title "Fixed"')),
                        ("page title not read", absent("get_DocumentTitle"))]))

    # Downloads: refused only while a page from an HTML string is shown.
    for lang in langs:
        runs.append(WebRun(f"download refused for an HTML string [{lang}]", ["/l", "page.html"],
                           ["download\thttps://site.test/file.zip"],
                           [("cancelled", event("DownloadStarting", ["put_Cancel 1", "< DownloadStarting cancel 1"])),
                            ("box", boxes(("page.html" + msg("FileNotSupported", lang), BOX_WARNING))),
                            ("no close of the view", absent("Close"))],
                           lang=lang, files={"page.html": page_text}))
    for name, args in [("web page", [site]), ("local page", [page])]:
        runs.append(WebRun(f"download allowed from a {name}", args, ["download\thttps://site.test/file.zip"] + close,
                           [("left to the runtime", event("DownloadStarting", ["< DownloadStarting cancel 0"])),
                            ("no box", boxes())], files={"page.html": page_text}))

    # Context menu: the program's items after the runtime's.
    def menu(count, *labels, occurrence=1):
        return event("ContextMenuRequested",
                     ["get_MenuItems", f"get_Count -> {count}", "get_ContextMenuTarget", "get_Kind -> 0",
                      "get_HasLinkUri -> 0"] +
                     sum(([f"CreateContextMenuItem {q(label)} null 0", f"add_CustomItemSelected {q(label)}",
                           f"InsertValueAtIndex {count + i} {q(label)}"] for i, label in enumerate(labels)), []) +
                     ["< ContextMenuRequested" + "".join(f' "default {i + 1}"' for i in range(count)) +
                      "".join(" " + q(label) for label in labels)], occurrence)

    for name, args, script, checks, presses, lang in [
        ("items of a page", [site], ["menu\tpage\t3"], [("items", menu(3, "Home", "Mute"))], (), "en"),
        ("/l has no Home", ["/l", page], ["menu\tpage\t0"], [("items", menu(0, "Mute"))], (), "en"),
        ("/d adds Clear Data", ["/d", site], ["menu\tpage\t1"], [("items", menu(1, "Home", "Mute", "Clear Data"))], (),
         "en"),
        ("/m shows Unmute", ["/m", site], ["menu\tpage\t2"], [("items", menu(2, "Home", "Unmute"))], (), "en"),
        ("Japanese labels", ["/d", "/m", site], ["menu\tpage\t1"],
         [("items", menu(1, msg("Home", "ja"), msg("Unmute", "ja"), msg("ClearData", "ja")))], (), "ja"),
        ("images and selections keep their menu", [site], ["menu\timage\t2", "menu\ttext\t1"],
         [("image", event("ContextMenuRequested", ["get_MenuItems", "get_Count -> 2", "get_ContextMenuTarget",
                                                   "get_Kind -> 1", '< ContextMenuRequested "default 1" "default 2"'])),
          ("selection", event("ContextMenuRequested", ["get_MenuItems", "get_Count -> 1", "get_ContextMenuTarget",
                                                       "get_Kind -> 2", '< ContextMenuRequested "default 1"'], 2))],
         (), "en"),
        # The runtime reports a link as a page target that has a link.
        ("links keep their menu", ["/d", site], ["menu\tlink\t2"],
         [("link", event("ContextMenuRequested", ["get_MenuItems", "get_Count -> 2", "get_ContextMenuTarget",
                                                  "get_Kind -> 0", "get_HasLinkUri -> 1",
                                                  '< ContextMenuRequested "default 1" "default 2"'])),
          ("nothing made", absent("CreateContextMenuItem"))], (), "en"),
        ("Mute flips the next menu's label", [site],
         ["menu\tpage\t0", "select\tMute", "menu\tpage\t0", "select\tUnmute", "menu\tpage\t0"],
         [("mute", event("CustomItemSelected", ["put_IsMuted 1", "< CustomItemSelected"], 1)),
          ("then Unmute", menu(0, "Home", "Unmute", occurrence=2)),
          ("unmute", event("CustomItemSelected", ["put_IsMuted 0", "< CustomItemSelected"], 2)),
          ("then Mute", menu(0, "Home", "Mute", occurrence=3))], (), "en"),
        ("Home goes to the start address", [site], ["navigate-starting\thttps://site.test/other", "menu\tpage\t0",
                                                    "select\tHome"],
         [("home", event("CustomItemSelected", [f"Navigate {q(site)}", "< CustomItemSelected"]))], (), "en"),
        ("Clear Data, Yes", ["/d", site], ["menu\tpage\t0", "select\tClear Data"],
         [("cleared", in_order("> CustomItemSelected \"Clear Data\"", "ClearBrowsingDataAll", "< CustomItemSelected",
                               "> ClearBrowsingDataAll completed 0x00000000", "< ClearBrowsingDataAll completed")),
          ("boxes", boxes((msg("ClearDataConfirm", "en"), BOX_YESNO), (msg("DataCleared", "en"), BOX_PLAIN)))],
         ("YES", "OK"), "en"),
        ("Clear Data reported failed", ["/d", site], [f"clear-status\t{E_FAIL}", "menu\tpage\t0", "select\tClear Data"],
         [("cleared", in_order("ClearBrowsingDataAll", f"> ClearBrowsingDataAll completed {E_FAIL}")),
          ("boxes", boxes((msg("ClearDataConfirm", "en"), BOX_YESNO), (msg("DataCleared", "en"), BOX_PLAIN)))],
         ("YES", "OK"), "en"),
        ("Clear Data, No", ["/d", site], ["menu\tpage\t0", "select\tClear Data"],
         [("not cleared", absent("ClearBrowsingDataAll")),
          ("one box", boxes((msg("ClearDataConfirm", "en"), BOX_YESNO)))], ("NO",), "en"),
        ("Clear Data in Japanese", ["/d", site], ["menu\tpage\t0", "select\t" + msg("ClearData", "ja")],
         [("boxes", boxes((msg("ClearDataConfirm", "ja"), BOX_YESNO), (msg("DataCleared", "ja"), BOX_PLAIN)))],
         ("YES", "OK"), "ja"),
    ]:
        if lang in langs:
            runs.append(WebRun(f"menu: {name} [{lang}]", args, script + close, checks, lang=lang, presses=presses,
                               files={"page.html": page_text}))

    # Accelerator keys: (key line, what the handler does) per row, one run per option set.
    kind = ["get_KeyEventKind -> 0"]
    sys_kind = ["get_KeyEventKind -> 2"]

    def seen(key, repeat=False):
        return [f"get_VirtualKey -> {key}", f"get_PhysicalKeyStatus -> WasKeyDown {1 if repeat else 0}"]

    def taken(*action):
        return ["put_Handled 1"] + list(action)

    m, u, home = 0x4D, 0x55, 0x24
    toggle_on, toggle_off = "put_IsMuted 1", "put_IsMuted 0"
    key_table = {
        "keys": ([site], [
            ("Ctrl+M toggles", "key\tdown\t4D\tctrl", kind + seen(m) + taken(toggle_on), 1),
            ("held Ctrl+M only marked", "key\tdown\t4D\tctrl\trepeat", kind + seen(m, True) + taken(), 1),
            ("key-up ignored", "key\tup\t4D\tctrl", ["get_KeyEventKind -> 1"], 0),
            ("Ctrl+Shift+M toggles", "key\tdown\t4D\tctrl\tshift", kind + seen(m) + taken(toggle_off), 1),
            ("Ctrl+Alt+M toggles", "key\tsysdown\t4D\tctrl\talt", sys_kind + seen(m) + taken(toggle_on), 1),
            ("Ctrl+U swallowed", "key\tdown\t55\tctrl", kind + seen(u) + taken(), 1),
            ("M alone left", "key\tdown\t4D", kind + seen(m), 0),
            ("Alt+Home goes home", "key\tsysdown\t24\talt", sys_kind + seen(home) + taken(f"Navigate {q(site)}"), 1),
            ("held Alt+Home only marked", "key\tsysdown\t24\talt\trepeat", sys_kind + seen(home, True) + taken(), 1),
            ("Ctrl+Alt+Home left", "key\tsysdown\t24\tctrl\talt", sys_kind + seen(home), 0),
            ("system key-up ignored", "key\tsysup\t24\talt", ["get_KeyEventKind -> 3"], 0),
        ]),
        "keys with /l": (["/l", page], [
            ("Alt+Home left", "key\tsysdown\t24\talt", sys_kind + seen(home), 0),
            ("Ctrl+M toggles", "key\tdown\t4D\tctrl", kind + seen(m) + taken(toggle_on), 1),
        ]),
        "keys with /u": (["/u", site], [
            ("Ctrl+M left", "key\tdown\t4D\tctrl", [], 0),
            ("Ctrl+U left", "key\tdown\t55\tctrl", [], 0),
            ("Alt+Home left", "key\tsysdown\t24\talt", [], 0),
        ]),
    }
    key_table["keys with /l through the SDK loader"] = key_table["keys with /l"]
    for name, (args, rows) in key_table.items():
        checks = [(row, event("AcceleratorKeyPressed", lines + [f"< AcceleratorKeyPressed handled {handled}"], i + 1))
                  for i, (row, _, lines, handled) in enumerate(rows)]
        runs.append(WebRun(name, args, [line for _, line, _, _ in rows] + close, checks,
                           files={"page.html": page_text}, via="loader" if "loader" in name else "engine"))

    # /ls: each change of the file is shown; its deletion ends the program.
    for name, switch, second, third in [
        ("/ls", "/ls", "<p>second</p>\n", "<p>third</p>\n"),
        ("/lus", "/lus", "\ufeff<p>二番目</p>\n", "\ufeff<p>三番目</p>\n"),
    ]:
        runs.append(WebRun(f"{name} shows each change and ends with the file", [switch, "watched.html"],
                           [f"write-file\t{{run}}\\watched.html\t{second}".replace("\n", ""),
                            "await\tNavigateToString",
                            f"write-file\t{{run}}\\watched.html\t{third}".replace("\n", ""),
                            "await\tNavigateToString",
                            "delete-file\t{run}\\watched.html"],
                           [("reloads", lambda r, s=second, t=third: lines_problems(
                               [line for line in r.calls() if line.startswith("NavigateToString")],
                               [f"NavigateToString {q(text.lstrip(chr(0xFEFF)))}"
                                for text in ("<p>first</p>\n", s.replace("\n", ""), t.replace("\n", ""))],
                               "NavigateToString calls")),
                            ("the window went without closing the view", absent("Close"))],
                           files={"watched.html": ("\ufeff" if "u" in switch else "") + "<p>first</p>\n"}))

    # Changes while a reload is still loading wait for it; the last of them is shown then.
    runs.append(WebRun("/ls waits for the page to load before the next change", ["/ls", "watched.html"],
                       ["hold-completions", "write-file\t{run}\\watched.html\t<p>2</p>", "await\tNavigateToString",
                        "write-file\t{run}\\watched.html\t<p>3</p>", "pause\t600",
                        "write-file\t{run}\\watched.html\t<p>4</p>", "pause\t600",
                        "release-completions", "await\tNavigateToString", "close-window"],
                       [("reloads", lambda r: lines_problems(
                           [line for line in r.calls() if line.startswith("NavigateToString")],
                           [f"NavigateToString {q(text)}" for text in ("<p>1</p>", "<p>2</p>", "<p>4</p>")],
                           "NavigateToString calls")),
                        ("the last change after the load", in_order('= navigation held: "about:blank"',
                                                                    '> NavigationCompleted "about:blank" ok',
                                                                    'NavigateToString "<p>4</p>"'))],
                       files={"watched.html": "<p>1</p>"}))

    # Closing: the data folder kept with /d, else deleted once the browser process has gone.
    for name, args, script, checks in [
        ("scratch data goes after the browser process", [site], ["browser-process\t1500"],
         [("closed", in_order("Close", "browser process ends")), ("no clearing", absent("ClearBrowsingData")),
          ("folders", folder_state(False, False))]),
        ("/p scratch data goes too", ["/p", site], ["browser-process\t300"],
         [("closed", in_order("Close", "browser process ends")), ("folders", folder_state(False, False))]),
        ("/d clears the cache, then closes", ["/d", site], ["browser-process\t300"],
         [("cleared then closed", in_order("ClearBrowsingData 256", "> ClearBrowsingData completed 0x00000000",
                                           "Close", "< ClearBrowsingData completed", "browser process ends")),
          ("folders", folder_state(True, False))]),
        ("/d:name closes after a failed clearing", ["/d:Work", site],
         ["browser-process\t300", f"clear-status\t{E_FAIL}"],
         [("cleared then closed",
           in_order("ClearBrowsingData 256", f"> ClearBrowsingData completed {E_FAIL}", "Close")),
          ("folders", folder_state(True, False))]),
        ("/d closes at once when clearing cannot start", ["/d", site], [f"result\tClearBrowsingData\t{E_FAIL}"],
         [("closed", in_order(f"ClearBrowsingData 256 -> {E_FAIL}", "Close")),
          ("no completion", absent("> ClearBrowsingData completed"))]),
    ]:
        runs.append(WebRun(f"closing: {name}", args, script + ["close-window"], checks + [("no box", boxes())]))
    # A browser process that outlives the wait keeps its lock file, and so the folder.
    runs.append(WebRun("closing: a browser process that stays keeps the scratch folder", [site],
                       ["browser-process\t9000", "close-window"],
                       [("closed", in_order("Close")), ("folders", folder_state(False, True)), ("no box", boxes())],
                       timeout_ms=30000))
    return runs


def run_web(wine, web, index):
    """Runs one web run; returns its WebResult."""
    run = f"{WEB_RUNS}\\{index}"
    tag = f"run{index}"
    folder = wine.unix_path(run)
    shutil.rmtree(folder, ignore_errors=True)
    for sub in ("temp", "local"):
        os.makedirs(os.path.join(folder, sub))
    for name, text in web.files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="") as f:
            f.write(text)
    # The file a page may try to hand over: the handler opens existing files only.
    open(wine.unix_path(HANDED_FILES + "\\" + tag + RECORD_TYPE), "w").close()
    with open(os.path.join(folder, "script.txt"), "w", encoding="utf-8", newline="\n") as f:
        f.write("".join(fill(line, run, tag) + "\n" for line in web.script))
    exe = wine.programs["no loader" if web.via == "engine" else "the x64 loader"]
    args = ["--exe", exe, "--timeout", str(web.timeout_ms), "--window", web.action, "--cwd", hex_argument(run)]
    for a in web.args:
        args += ["--arg", hex_argument(fill(a, run, tag))]
    for press in web.presses:
        args += ["--press", press]
    for name, value in [("TEMP", run + "\\temp"), ("TMP", run + "\\temp"), ("LOCALAPPDATA", run + "\\local"),
                        ("VISTREL_STANDIN_LOG", run + "\\log.txt"), ("VISTREL_STANDIN_SCRIPT", run + "\\script.txt")]:
        args += ["--env", hex_argument(f"{name}={value}")]
    report = wine.driver_json(args, web.lang, timeout=web.timeout_ms / 1000 + 60)
    # The handler runs on its own: wait for the hand-overs that must come and for
    # the stand-in's own last one, which follows every hand-over of the program.
    wanted = {fill(r, run, tag) for r in web.records}
    if any(line.startswith("shell-open") for line in web.script):
        wanted.add(f"{RECORD_SCHEME}://sentinel.test/{tag}/")
    records = []
    deadline = time.monotonic() + 20
    while True:
        records = read_records(wine, tag)
        if wanted <= set(records) or time.monotonic() > deadline:
            break
        time.sleep(0.1)
    records = [r for r in records if "sentinel.test" not in r]
    try:
        with open(os.path.join(folder, "log.txt"), encoding="utf-8") as f:
            log = f.read().splitlines()
    except OSError:
        log = []
    if web.via == "loader":
        log = [line for line in log if line not in LOADER_LINES]
    return WebResult(run, tag, report, log, records, wine)


def set_applied_dpi(wine, dpi):
    """The display scale as Windows records it; None removes the value."""
    data = "-" if dpi is None else f"dword:{dpi:08x}"
    return wine.import_text("\r\n".join(["Windows Registry Editor Version 5.00", "",
                                          r"[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]",
                                          f'"AppliedDPI"={data}', ""]) + "\r\n")


def read_records(wine, tag):
    folder = wine.unix_path(HANDED)
    records = []
    for name in os.listdir(folder) if os.path.isdir(folder) else []:
        if name.endswith(".txt"):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                text = f.read()
            if tag + "/" in text or tag + RECORD_TYPE in text:
                records.append(text)
    return records


def web_checks(web, result):
    """Yields (name, problems) per check of the run, after the ones every run has."""
    if "error" in result.report:
        yield "run", [f"driver: {result.report['error']}"]
        return
    common = ended_problems(result) + stray_problems(result)
    commands = [line for line in web.script if line.split("\t")[0] not in SCRIPT_SETTINGS]
    if commands and "= script finished" not in result.log:
        common.append("the script did not run to its end")
    if len(result.report.get("windows", [])) > 1:
        common.append(f"{len(result.report['windows'])} main windows")
    if not any(getattr(check, "about_boxes", False) for _, check in web.checks):
        common += boxes_problems(result, [])
    yield "run", common
    for name, check in web.checks:
        yield name, check(result)


def prepare_standin(wine, standin):
    """The stand-in in the registered runtime folder and the recording handlers in the registry."""
    engine = wine.unix_path(STANDIN_ENGINE)
    os.makedirs(os.path.dirname(engine), exist_ok=True)
    shutil.copyfile(standin, engine)
    for folder in (WEB_RUNS, HANDED, HANDED_FILES):
        shutil.rmtree(wine.unix_path(folder), ignore_errors=True)
        os.makedirs(wine.unix_path(folder))
    command = f'"C:\\windows\\system32\\rundll32.exe" "{STANDIN_ENGINE}",Record "{HANDED}" "%1"'
    command = command.replace("\\", "\\\\").replace('"', '\\"')
    return wine.import_text("\r\n".join([
        "Windows Registry Editor Version 5.00", "",
        rf"[HKEY_CLASSES_ROOT\{RECORD_SCHEME}]", '"URL Protocol"=""', "",
        rf"[HKEY_CLASSES_ROOT\{RECORD_SCHEME}\shell\open\command]", f'@="{command}"', "",
        rf"[HKEY_CLASSES_ROOT\{RECORD_TYPE}]", '@="vistrel.recorded"', "",
        r"[HKEY_CLASSES_ROOT\vistrel.recorded\shell\open\command]", f'@="{command}"', ""]) + "\r\n")


def run_web_runs(wine, pool, runs):
    """Yields (ok, line) per check of every run."""
    entries = [(key, value, REGISTRY_STATES["stand-in runtime"].get(name))
               for name, (key, value, _) in REGISTRY_KEYS.items()]
    ok, output = wine.import_registry(entries)
    if not ok or not registry_matches(wine.probe(), "stand-in runtime"):
        yield False, f"FAIL web view: the stand-in runtime's registration not set ({output.strip()[-300:]})"
        return
    ok, output = set_applied_dpi(wine, None)
    if not ok:
        yield False, f"FAIL web view: removing AppliedDPI failed: {output[-300:]}"
    together = [(i, r) for i, r in enumerate(runs) if r.applied_dpi is None]
    alone = [(i, r) for i, r in enumerate(runs) if r.applied_dpi is not None]

    def with_dpi(item):
        index, web = item
        ok, output = set_applied_dpi(wine, web.applied_dpi)
        return web, run_web(wine, web, index) if ok else WebResult("", "", {"error": f"AppliedDPI not set: {output}"},
                                                                    [], [], wine)

    # The display scale is the prefix's: those runs go one at a time, and the value goes afterwards.
    results = itertools.chain(pool.map(lambda item: (item[1], run_web(wine, item[1], item[0])), together),
                              map(with_dpi, alone))
    for web, result in results:
        for name, problems in web_checks(web, result):
            label = f"{web.name}: {name}"
            yield (not problems), (f"ok  {label}" if not problems else f"FAIL {label}: {'; '.join(problems)}")
    if alone:
        ok, output = set_applied_dpi(wine, None)
        if not ok:
            yield False, f"FAIL web view: removing AppliedDPI failed: {output[-300:]}"


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


def check_window(want, got):
    problems = []
    if got["class"] != "vistrel":
        problems.append(f"class {got['class']!r}")
    if got["title"] != want.title:
        problems.append(f"title {got['title']!r}, expected {want.title!r}")
    if want.rect is not None and tuple(got["rect"]) != tuple(want.rect):
        problems.append(f"rectangle {tuple(got['rect'])}, expected {tuple(want.rect)}")
    if got["maximized"] != want.maximized:
        problems.append("maximised" if got["maximized"] else "not maximised")
    style = got["style"]
    if style & STYLE_FRAME_BITS != want.style:
        problems.append(f"style {style:#010x}, expected {want.style:#010x} in {STYLE_FRAME_BITS:#010x}")
    if not style & WS_VISIBLE:
        problems.append("not visible")
    if want.icon is not None:
        for name, rgb in ICON_COLOURS.items():
            pixels = got["iconColours"].get(bytes(rgb).hex(), 0)
            # A 16-pixel icon drawn whole is 256 pixels; stray pixels of exactly that colour are none.
            if name == want.icon and pixels < 64:
                problems.append(f"no {name} icon in the caption ({pixels} pixels)")
            elif name != want.icon and pixels:
                problems.append(f"{name} icon in the caption ({pixels} pixels)")
    return problems


def check(case, report, after=()):
    """after: (path, expected, found) for the paths looked at once the run ended."""
    if "error" in report:
        return [f"driver: {report['error']}"]
    problems = []
    boxes = report["boxes"]
    windows = report["windows"]
    if case.outlives:
        if not report["terminated"]:
            problems.append(f"ended by itself (exit code {report['exitCode']}) while it should stay")
    elif report["timedOut"] or report["terminated"]:
        problems.append("still running at the timeout")
    elif report["exitCode"] != case.exit_code:
        problems.append(f"exit code {report['exitCode']}, expected {case.exit_code}")
    # A window with no class name left was being torn down as it was listed.
    others = [w for w in report["otherWindows"] if w.get("class")]
    if others:
        problems.append(f"other windows {others}")
    if case.window is None:
        if windows:
            problems.append(f"unexpected window {windows[0]['title']!r}")
    elif len(windows) != 1:
        problems.append(f"{len(windows)} windows of class 'vistrel', expected 1")
    else:
        problems += check_window(case.window, windows[0])
        watched = {p["path"]: p["exists"] for p in windows[0]["paths"]}
        for path, exists in case.watch:
            if watched.get(path) != exists:
                problems.append(f"{path} {'missing' if exists else 'still there'} while the window is shown")
    for path, expected, found in after:
        if found != expected:
            problems.append(f"{path} {'gone' if expected else 'still there'} after the run")
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


def icon_file(sizes, rgb):
    """An .ico file holding one opaque 32-bit image of each size (one icon to the shell)."""
    images = []
    for size in sizes:
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        colour = bytes([rgb[2], rgb[1], rgb[0], 0xFF]) * (size * size)   # BGRA
        mask = bytes(((size + 31) // 32) * 4 * size)             # nothing transparent
        images.append(header + colour + mask)
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return data + b"".join(images)


class Wine:
    def __init__(self, prefix, display, driver, exe):
        self.prefix = prefix
        self.driver = driver
        self.exe = exe
        self.programs = {}  # variant name -> the copy's Windows path
        env = {k: v for k, v in os.environ.items()
               if not (k.startswith("LC_") or k in ("LANG", "LANGUAGE", "WINEDEBUG", "WINEPREFIX"))}
        env.update(WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY=display,
                   # No prompt to install Mono or Gecko: the program needs neither.
                   WINEDLLOVERRIDES="mscoree=;mshtml=")
        self.env = env
        self.data_folders = [DRIVE_ROOT_DATA, OS_TEMP + "\\" + DATA_FOLDER, MARKED_TEMP + "\\" + DATA_FOLDER]

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
        # Now and then, with many programs starting at once, Wine ends a start
        # with exit code 1 before the driver runs and without a word; such a
        # start is made once more. A driver that ran always says something.
        for attempt in range(2):
            try:
                code, output = self.run(["wine", self.driver] + driver_args, lang, timeout)
            except subprocess.TimeoutExpired:
                return {"error": f"the driver did not finish within {timeout} s"}
            for line in reversed(output.splitlines()):
                if line.startswith("{"):
                    return json.loads(line)
            if output.strip():
                break
        return {"error": f"no report (exit {code}): {output[-500:]}"}

    def probe(self, lang="en"):
        return self.driver_json(["--probe"], lang)

    def make_shortcut(self, path, icon):
        """A shell shortcut to the program with the icon location (path, index)."""
        args = ["--make-shortcut", hex_argument(path)]
        for value in (windows_path(self.exe), icon[0], str(icon[1])):
            args += ["--arg", hex_argument(value)]
        return self.driver_json(args)

    def run_case(self, case):
        """Runs one case; returns the driver's report and what was found after it."""
        if case.serial:
            self.remove_data_folders()
        for path in case.files:
            made = self.unix_path(path)
            os.makedirs(os.path.dirname(made), exist_ok=True)
            with open(made, "w", encoding="utf-8") as f:
                f.write("<p>vistrel</p>\n")
        exe = self.programs[case.program] if case.program else windows_path(self.exe)
        args = ["--exe", exe, "--timeout", str(case.timeout_ms),
                "--window", case.action]
        for a in case.args:
            args += ["--arg", hex_argument(a)]
        if case.box == "usage":
            args += ["--measure", hex_argument(USAGE_PIECE)]
        for name, value in case.env.items():
            args += ["--unset", name] if value is None else ["--env", hex_argument(f"{name}={value}")]
        if case.shortcut:
            args += ["--shortcut", hex_argument(case.shortcut)]
        if case.show is not None:
            args += ["--show", str(case.show)]
        if case.lock:
            args += ["--lock", hex_argument(case.lock)]
        for path, _ in case.watch:
            args += ["--watch", hex_argument(path)]
        for path in case.delete:
            args += ["--delete", hex_argument(path)]
        if case.window and case.window.icon is not None:
            for rgb in ICON_COLOURS.values():
                args += ["--icon-colour", bytes(rgb).hex()]
        report = self.driver_json(args, case.lang, timeout=case.timeout_ms / 1000 + 60)
        after = [(path, expected, os.path.exists(self.unix_path(path))) for path, expected in case.after]
        if case.serial:
            self.remove_data_folders()
        return report, after

    def unix_path(self, path):
        """Where a C: or Z: path of the prefix lies for this side."""
        drive, rest = path[:2].upper(), path[2:].strip("\\")
        root = {"C:": os.path.join(self.prefix, "drive_c"), "Z:": "/"}[drive]
        return os.path.join(root, *[part for part in rest.split("\\") if part])

    def remove_data_folders(self):
        for folder in self.data_folders:
            shutil.rmtree(self.unix_path(folder), ignore_errors=True)

    def import_registry(self, entries):
        """entries: list of (key, value name, data) with data None to delete the key."""
        lines = ["Windows Registry Editor Version 5.00", ""]
        for key, name, value in entries:
            lines += [f"[-{key}]", ""]
            if value is None:
                continue
            if isinstance(value, int):
                data = f"dword:{value:08x}"
            else:
                data = '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
            lines += [f"[{key}]", f'"{name}"={data}', ""]
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
    for name, (_, _, field) in REGISTRY_KEYS.items():
        want = REGISTRY_STATES[state].get(name)
        got = probe.get(field)
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


def read_version():
    """The program's version, "major.minor", from its own header."""
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "src", "base", "version.h")
    with open(header, encoding="utf-8") as f:
        match = re.search(r'^#define VISTREL_VERSION_TEXT "(\d+)\.(\d+)"', f.read(), re.M)
    return (int(match[1]), int(match[2])) if match else None


def pe_machine(path):
    """The machine a PE file is built for, from its file header; None for no PE file."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
        offset = struct.unpack_from("<I", head, 0x3C)[0]
        if head[:2] != b"MZ" or head[offset:offset + 4] != b"PE\0\0":
            return None
        return struct.unpack_from("<H", head, offset + 4)[0]
    except (OSError, struct.error):
        return None


def sdk_loader(sdk, architecture):
    return os.path.join(sdk, architecture, "WebView2Loader.dll") if sdk else None


def prepare_programs(wine, exe, sdk):
    """Copies of the program with each library of PROGRAM_VARIANTS beside it;
    returns variant -> Windows path. The SDK's loaders are used when given."""
    programs = {}
    for variant, files in PROGRAM_VARIANTS.items():
        if any(isinstance(content, str) for content in files.values()) and not sdk:
            continue
        folder = wine.unix_path(PROGRAMS + "\\" + variant)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copyfile(exe, os.path.join(folder, "vistrel.exe"))
        for name, content in files.items():
            if isinstance(content, str):
                shutil.copyfile(sdk_loader(sdk, content), os.path.join(folder, name))
            else:
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(content)
        programs[variant] = PROGRAMS + "\\" + variant + "\\vistrel.exe"
    return programs


def check_version_resource(info, version):
    """The version resource as GetFileVersionInfoW and VerQueryValueW give it."""
    if not info:
        return ["no version resource"]
    if version is None:
        return ["no version in src/base/version.h"]
    text = f"{version[0]}.{version[1]}"
    numbers = [version[0], version[1], 0, 0]
    problems = []
    for name, want in [("signature", 0xFEEF04BD), ("fileVersion", numbers), ("productVersion", numbers),
                       ("fileFlags", 0), ("fileType", 1), ("translations", [[1033, 1200]])]:
        if info.get(name) != want:
            problems.append(f"{name} {info.get(name)!r}, expected {want!r}")
    for name, want in [("ProductName", "vistrel"), ("ProductVersion", text), ("FileVersion", text),
                       ("FileDescription", "vistrel"), ("OriginalFilename", "vistrel.exe")]:
        if info["strings"].get(name) != want:
            problems.append(f"{name} {info['strings'].get(name)!r}, expected {want!r}")
    return problems


def check_manifest(text, version):
    """The application manifest: per-monitor DPI awareness (v2 where Windows
    knows it), common controls 6 for the message boxes, asInvoker."""
    if not text:
        return ["no manifest"]
    ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
          "ws2005": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
          "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}
    try:
        root = ElementTree.fromstring(text.encode("utf-8"))
    except ElementTree.ParseError as e:
        return [f"manifest is no well-formed XML: {e}"]
    problems = []
    if root.tag != "{urn:schemas-microsoft-com:asm.v1}assembly" or root.get("manifestVersion") != "1.0":
        problems.append(f"root {root.tag} {root.attrib}")
    identity = root.find("v1:assemblyIdentity", ns)
    want_version = f"{version[0]}.{version[1]}.0.0" if version else None
    if identity is None or identity.get("version") != want_version or identity.get("processorArchitecture") != "amd64":
        problems.append(f"assembly identity {None if identity is None else identity.attrib}")
    controls = [a for a in root.findall("v1:dependency/v1:dependentAssembly/v1:assemblyIdentity", ns)
                if a.get("name") == "Microsoft.Windows.Common-Controls"]
    if len(controls) != 1 or controls[0].get("version") != "6.0.0.0" or \
            controls[0].get("publicKeyToken") != "6595b64144ccf1df" or controls[0].get("type") != "win32" or \
            controls[0].get("processorArchitecture") not in ("*", "amd64"):
        problems.append(f"common controls {[a.attrib for a in controls]}")
    settings = root.find("v3:application/v3:windowsSettings", ns)
    awareness = settings.find("ws2016:dpiAwareness", ns) if settings is not None else None
    # Windows takes the first entry of the list that it knows.
    first = (awareness.text or "").split(",")[0].strip().lower() if awareness is not None else None
    if first != "permonitorv2":
        problems.append(f"dpiAwareness {None if awareness is None else awareness.text!r}, expected PerMonitorV2 first")
    aware = settings.find("ws2005:dpiAware", ns) if settings is not None else None
    if aware is None or (aware.text or "").strip().lower() != "true/pm":
        problems.append(f"dpiAware {None if aware is None else aware.text!r}, expected true/pm for older systems")
    level = root.find("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel", ns)
    if level is None or level.get("level") != "asInvoker":
        problems.append(f"execution level {None if level is None else level.attrib}")
    return problems


def run_file_checks(wine, options):
    """Yields (ok, line) for the program's file and the folder it lies in."""
    version = read_version()

    def inspect(path, exports=()):
        args = ["--inspect", hex_argument(windows_path(path))]
        for name in exports:
            args += ["--export", name]
        return wine.driver_json(args)

    def result(name, problems):
        return (not problems, f"ok  file: {name}" if not problems else f"FAIL file: {name}: {'; '.join(problems)}")

    program = inspect(options.exe)
    if "error" in program:
        yield False, f"FAIL file: reading {options.exe}: {program['error']}"
        return
    yield result("the program is built for x64", [] if pe_machine(options.exe) == IMAGE_FILE_MACHINE_AMD64 else
                 [f"machine {pe_machine(options.exe)}"])
    yield result("version resource", check_version_resource(program.get("version"), version))
    yield result("manifest", check_manifest(program.get("manifest"), version))
    # Without an icon of its own Windows shows its default application icon.
    yield result("no icon resource", [] if program.get("icons") == 0 else [f"{program.get('icons')} icons"])
    if not options.release:
        return
    folder = os.path.dirname(os.path.abspath(options.exe))
    loader = os.path.join(folder, "WebView2Loader.dll")
    names = sorted(os.listdir(folder))
    yield result("release folder holds the program and the loader alone",
                 [] if names == ["WebView2Loader.dll", "vistrel.exe"] else [f"it holds {names}"])
    shipped = inspect(loader, [LOADER_EXPORT])
    problems = [] if pe_machine(loader) == IMAGE_FILE_MACHINE_AMD64 else [f"machine {pe_machine(loader)}"]
    if not shipped.get("exports", {}).get(LOADER_EXPORT):
        problems.append(f"no {LOADER_EXPORT} export: {shipped}")
    if options.webview2_sdk:
        with open(loader, "rb") as a, open(sdk_loader(options.webview2_sdk, "x64"), "rb") as b:
            if a.read() != b.read():
                problems.append("not the SDK's x64 loader")
    yield result("release loader is the SDK's x64 WebView2Loader.dll", problems)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="vistrel.exe")
    parser.add_argument("--driver", required=True, help="vistrel-test-driver.exe")
    parser.add_argument("--prefix", default=os.path.join(tempfile.gettempdir(), "vistrel-wine"),
                        help="folder for the Wine prefix (kept between runs)")
    parser.add_argument("--platform-check", help="vistrel-platform-check.exe (default: beside the driver)")
    parser.add_argument("--jobs", type=int, default=3, help="cases run at once")
    parser.add_argument("--only", help="run only the cases whose name holds this text (no platform checks)")
    parser.add_argument("--release", action="store_true",
                        help="the program's folder is the release folder: it holds the program and the loader alone")
    parser.add_argument("--webview2-sdk", help="the WebView2 SDK's native folder (its x64 and x86 loaders)")
    parser.add_argument("--standin", help="the stand-in runtime's EmbeddedBrowserWebView.dll "
                                          "(default: standin/ beside the driver)")
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
        for name in ("absent.html", "absent.ico", "absent.lnk"):
            if os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))
        with open(os.path.join(folder, "ページ 1.html"), "w", encoding="utf-8") as f:
            f.write("<p>ページ</p>\n")
        with open(wine.unix_path(ICON_FILE), "wb") as f:
            f.write(icon_file((16, 32), ICON_COLOURS["orange"]))
        with open(wine.unix_path(BLUE_ICON_FILE), "wb") as f:
            f.write(icon_file((32,), ICON_COLOURS["blue"]))
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
        probe = languages["en"]
        if not probe.get("workArea"):
            print("FAIL work area: the driver could not read it", flush=True)
            return 1
        wine.data_folders += [probe["temp"] + "\\" + DATA_FOLDER, probe["localAppData"] + "\\" + DATA_FOLDER]
        wine.remove_data_folders()
        for shortcut, icon in [(SHORTCUT_WITH_ICON, (ICON_FILE, 0)), (SHORTCUT_WITHOUT_ICON, ("", 0))]:
            made = wine.make_shortcut(shortcut, icon)
            if made.get("iconPath") != icon[0] or made.get("iconIndex") != icon[1]:
                failed += 1
                print(f"FAIL shortcut {shortcut}: made as {made}", flush=True)

        # The seam's Win32 side on its own, for what no box shows.
        for ok, line in [] if options.only else run_platform_checks(wine, platform_check):
            passed, failed = passed + ok, failed + (not ok)
            print(line, flush=True)

        # The program and its libraries as files, read back as Windows reads them.
        for ok, line in [] if options.only else run_file_checks(wine, options):
            passed, failed = passed + ok, failed + (not ok)
            print(line, flush=True)
        programs = prepare_programs(wine, options.exe, options.webview2_sdk)
        for variant, path in programs.items():
            wine.programs[variant] = path
        engine = os.path.join(wine.unix_path(BROKEN_RUNTIME), "EBWebView", "x64")
        os.makedirs(engine, exist_ok=True)
        with open(os.path.join(engine, "EmbeddedBrowserWebView.dll"), "wb") as f:
            f.write(b"MZ\x90\x00 this is no library either")
        shutil.rmtree(wine.unix_path(MISSING_RUNTIME), ignore_errors=True)

        cases = [c for c in build_cases(probe, languages, programs) if not options.only or options.only in c.name]
        by_state = {}
        for case in cases:
            by_state.setdefault(case.state, []).append(case)
        with ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
            for state, group in by_state.items():
                entries = [(key, value, REGISTRY_STATES[state].get(name))
                           for name, (key, value, _) in REGISTRY_KEYS.items()]
                ok, output = wine.import_registry(entries)
                probe = wine.probe()
                if not ok or not registry_matches(probe, state):
                    for case in group:
                        failed += 1
                        print(f"FAIL {case.name}: registry state {state!r} not set ({output.strip()[-300:]}; "
                              f"read back {probe})", flush=True)
                    continue
                # Cases that share the data folders run one at a time, after the others.
                together = [c for c in group if not c.serial]
                alone = [c for c in group if c.serial]
                results = itertools.chain(zip(together, pool.map(wine.run_case, together)),
                                          ((case, wine.run_case(case)) for case in alone))
                for case, (report, after) in results:
                    problems = check(case, report, after)
                    if problems:
                        failed += 1
                        print(f"FAIL {case.name}: {'; '.join(problems)}", flush=True)
                    else:
                        passed += 1
                        print(f"ok  {case.name}", flush=True)

            # The web view's whole run, against the stand-in runtime.
            standin = options.standin or os.path.join(os.path.dirname(os.path.abspath(options.driver)), "standin",
                                                      "EmbeddedBrowserWebView.dll")
            runs = [r for r in build_web_runs(tuple(l for l in ("en", "ja") if l in languages))
                    if not options.only or options.only in r.name]
            if not os.path.isfile(standin):
                if options.webview2_sdk:
                    failed += 1
                    print(f"FAIL web view: no stand-in runtime at {standin}", flush=True)
                else:
                    print(f"web view: not tested, no stand-in runtime at {standin} "
                          "(a build without the WebView2 SDK makes none)", flush=True)
                runs = []
            elif runs:
                ok, output = prepare_standin(wine, standin)
                if not ok:
                    failed += 1
                    print(f"FAIL web view: registering the hand-over recorder failed: {output[-300:]}", flush=True)
                    runs = []
            if "the x64 loader" not in wine.programs:
                runs = [r for r in runs if r.via != "loader"]
            for ok, line in run_web_runs(wine, pool, runs) if runs else []:
                passed, failed = passed + ok, failed + (not ok)
                print(line, flush=True)
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
