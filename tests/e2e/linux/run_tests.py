#!/usr/bin/python3
"""End-to-end tests of the Linux program's start-up paths and window.

Runs the real program once per case. A box it shows is read through the
accessibility interface (AT-SPI) the way a screen reader would, its button
pressed and the exit code checked. Its window is read from the X server
(title, place, size, size hints, decorations, requested states, icon), then
closed the way a window manager closes one (WM_DELETE_WINDOW), and what is
left of the data folders afterwards is checked. Needs an X display
($DISPLAY, or an Xvfb started here, which runs no window manager) and starts
its own private D-Bus session, whose accessibility bus the program and these
tests share.

vistrel-platform-probe (found beside the program unless named) calls the GTK
side of the platform seam directly, for what no window or box shows: icons
from files, environment expansion, file reads and times, text in the
locale's character set, the data folder, its lock and its deletion, waiting
for a process, how the runtime's terms map onto WebKitGTK's, and the web
runtime's objects built in a window of its own.

web_cases.py adds the cases with the real web engine: pages from a loopback
server of the tests' own, links, hand-overs, menus, keys, downloads, file
reloads and the data folder at the end.

Run with the system Python, which has the GObject bindings:
    /usr/bin/python3 tests/e2e/linux/run_tests.py --exe build/vistrel
"""

import argparse
import ctypes
import ctypes.util
import dataclasses
import fcntl
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

BOX_TIMEOUT = 15.0     # until a box must be on screen
EXIT_TIMEOUT = 15.0    # until the program must have ended
WINDOW_TIMEOUT = 15.0  # until the window must be on screen
PROBE_TIMEOUT = 30.0   # until a probe must have answered

# The data folder that the program names after itself, and the lock file in
# it that every running copy holds while its web engine uses the folder.
DATA_FOLDER = "vistrel.webkit"
LOCK_FILE = "lockfile"

EN = {"LANG": "en_US.UTF-8"}
JA = {"LANG": "ja_JP.UTF-8"}
LOCALE_VARIABLES = ("LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE")


# ---- What a case expects --------------------------------------------------------

@dataclasses.dataclass
class Box:
    """A box with exactly this text (or text matching pattern), then exit 0."""
    text: str = None
    pattern: str = None
    warning: bool = True


@dataclasses.dataclass
class FatalBox:
    """A warning box owned by the shown window (titled window_title), then the window goes and exit 0."""
    text: str
    window_title: str


@dataclasses.dataclass
class Usage:
    """The usage box of one language."""
    lines: tuple


@dataclasses.dataclass
class NoBox:
    """The program ends by itself with this exit code and shows nothing."""
    exit_code: int = 0


@dataclasses.dataclass
class Stderr:
    """Run without a display: the text on stderr instead of a box."""
    text: str


@dataclasses.dataclass
class Window:
    """The program's window as the X server has it, then what its end leaves.

    placement: a function of the display (see Display) giving the window's
    (x, y, width, height). states: the _NET_WM_STATE atoms asked for, which
    without a window manager stay as the program asked. ends: "closed" (a
    WM_DELETE_WINDOW is sent), or "file deleted" (the watched HTML file named
    first in the case's files is deleted, and the window must go by itself).
    scratch: what becomes of $TMPDIR/vistrel.webkit, "gone" or "stays".
    lock_held: these tests hold a shared lock on that folder's lock file.
    kept: a folder that must exist inside $XDG_DATA_HOME/vistrel.webkit at the end.
    """
    title: str
    placement: object
    resizable: bool = True
    decorated: bool = True
    states: tuple = ()
    icon: tuple = None            # (width, height, ARGB of the first pixel) of _NET_WM_ICON
    gone_while_shown: str = None  # a file that no longer exists once the window is shown
    ends: str = "closed"
    scratch: str = "gone"
    lock_held: bool = False
    kept: str = None


@dataclasses.dataclass
class Case:
    name: str
    args: list
    locale: dict
    expect: object
    display: bool = True
    files: tuple = ()  # HTML files (re)made in the working folder before the run


# The usage texts: (blanks after the tab's own, line text) per option line.
USAGE_EN = Usage((
    "Display web page.",
    "",
    "vistrel [/s[p] width height [X Y] | /k] [/f] [/u] [/a] [/d[:profile-name] | /p] [/m] [/z] "
    "[/i icon-file] [/l[u][ds]] [title] address | file",
    (0, "/s Specify window size"),
    (4, "p Specify window position"),
    (0, "/k Full screen mode"),
    (0, "/f Fixed window size"),
    (0, "/u Limit UI"),
    (0, "/a No browsing limit"),
    (0, "/d Keep data"),
    (0, "/p Private mode"),
    (0, "/m Mute sound"),
    (0, "/z Adjust zoom"),
    (0, "/i Set icon"),
    (0, "/l Load html string from file"),
    (4, "u Use Unicode file"),
    (4, "d Delete file"),
    (4, "s Reflect file update"),
))

USAGE_JA = Usage((
    "Web ページを表示します。",
    "",
    "vistrel [/s[p] 幅 高さ [X Y] | /k] [/f] [/u] [/a] [/d[:プロファイル名] | /p] [/m] [/z] "
    "[/i アイコンファイル] [/l[u][ds]] [タイトル] アドレス | ファイル",
    (0, "/s ウィンドウサイズを指定する"),
    (4, "p ウィンドウ位置を指定する"),
    (0, "/k 全画面モード"),
    (0, "/f ウィンドウサイズを固定する"),
    (0, "/u UI を制限する"),
    (0, "/a 閲覧を制限しない"),
    (0, "/d データを残す"),
    (0, "/p プライベートモード"),
    (0, "/m 音をミュートする"),
    (0, "/z ズームの調整をする"),
    (0, "/i アイコンを設定する"),
    (0, "/l ファイルの html 文字列を読み込む"),
    (4, "u Unicode のファイルを使用する"),
    (4, "d ファイルを削除する"),
    (4, "s ファイルの更新を反映する"),
))

BANNER = r"^ vistrel 2\.20 64bit - (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4} " \
         r"[0-2][0-9]:[0-5][0-9]:[0-5][0-9] $"

LONG_NAME = "p" * 65

# Files the cases refer to live in the scratch folder the program runs in.
EXISTING_FILE = "page.html"
FOLDER_NAMED_HTML = "folder.html"  # a folder: it exists, but opens as no file
HOME_MARK = "{home}"               # stands for the $HOME the program is given


# ---- Pictures the icon cases use --------------------------------------------------

def argb(red, green, blue):
    return 0xFF000000 | red << 16 | green << 8 | blue


# The images of ICON_FILE in directory order: width, height, colour, how stored.
ICON_FILE = "three sizes.ico"
ICON_IMAGES = (
    (16, 16, argb(255, 0, 0), "bmp32"),
    (32, 32, argb(0, 160, 0), "png"),
    (48, 48, argb(0, 0, 255), "bmp24"),
)
PICTURE_FILE = "picture.png"
PICTURE = (24, 20, argb(200, 200, 0))


def icon_of(index):
    width, height, colour, _ = ICON_IMAGES[index]
    return width, height, colour


def png_bytes(width, height, colour):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    pixel = bytes(((colour >> 16) & 255, (colour >> 8) & 255, colour & 255, colour >> 24))
    rows = b"".join(b"\0" + pixel * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bmp_icon_bytes(width, height, colour, bits):
    """An icon image as a bitmap: header of twice the height, colours bottom-up, then the AND mask."""
    blue, green, red = colour & 255, (colour >> 8) & 255, (colour >> 16) & 255
    pixel = bytes((blue, green, red, 255)) if bits == 32 else bytes((blue, green, red))
    row = pixel * width
    row += b"\0" * (-len(row) % 4)
    mask_row = b"\0" * (((width + 31) // 32) * 4)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    return header + row * height + mask_row * height


def ico_bytes(images):
    """An .ico file with these images, each (width, height, colour, "png" | "bmp32" | "bmp24")."""
    blobs = []
    for width, height, colour, kind in images:
        if kind == "png":
            blobs.append((32, png_bytes(width, height, colour)))
        else:
            bits = int(kind[3:])
            blobs.append((bits, bmp_icon_bytes(width, height, colour, bits)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (width, height, _, _), (bits, blob) in zip(images, blobs):
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    return directory + b"".join(blob for _, blob in blobs)


# ---- Where the window goes, from the display the program runs on -------------------

@dataclasses.dataclass
class Display:
    area: tuple    # the work area: left, top, right, bottom
    screen: tuple  # width, height

    @property
    def area_width(self):
        return self.area[2] - self.area[0]

    @property
    def area_height(self):
        return self.area[3] - self.area[1]


def half(number):
    return int(number / 2)  # toward zero, as the program divides


def centred(width, height):
    """Centred on a rectangle of the work area's size whose corner is the screen's origin."""
    def place(display):
        w = width(display) if callable(width) else width
        h = height(display) if callable(height) else height
        return half(display.area_width - w), half(display.area_height - h), w, h
    return place


DEFAULT_PLACEMENT = centred(1400, lambda d: d.area_height - 20)


def work_area_at_origin(display):
    return 0, 0, display.area_width, display.area_height


def whole_screen(display):
    return 0, 0, display.screen[0], display.screen[1]


MAXIMIZED = ("_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_STATE_MAXIMIZED_VERT")
FULLSCREEN = ("_NET_WM_STATE_FULLSCREEN",)

CASES = [
    # Refusals, English
    Case("no arguments", [], EN, Box("Address is not specified.")),
    Case("unknown switch", ["/x"], EN, Box("/x - Parameter is invalid.")),
    Case("empty argument", ["a", ""], EN, Box("Empty parameter is specified.")),
    Case("/d twice", ["/d", "/D:work", "a"], EN, Box("/d - Parameter is already specified.")),
    Case("/d without colon", ["/dx", "a"], EN, Box("/dx - Parameter is invalid.")),
    Case("profile name missing", ["/d:", "a"], EN, Box("Profile name is not specified.")),
    Case("profile name too long", ["/d:" + LONG_NAME, "a"], EN,
         Box(LONG_NAME + " - Profile name is too long.")),
    Case("profile name bad character", ["/d:a/b", "a"], EN,
         Box("a/b - Invalid character is used in profile name.")),
    Case("icon file missing", ["a", "/i"], EN, Box("Icon file is not specified.")),
    Case("icon comma first", ["/i", ",3", "a"], EN, Box(",3 - Parameter of icon file is invalid.")),
    Case("icon index -1", ["/i", "app.ico,-1", "a"], EN, Box("app.ico,-1 - Index of icon file is invalid.")),
    Case("/l letters", ["/lds", "a"], EN, Box("/lds - Parameter is invalid.")),
    Case("/l twice", ["/l", "/lu", "a"], EN, Box("/l - Parameter is already specified.")),
    Case("size missing", ["/s", "800"], EN, Box("Width or height is not specified.")),
    Case("position missing", ["/sp", "800", "600", "a"], EN, Box("X or Y is not specified.")),
    Case("width too small", ["/s", "50", "600", "a"], EN, Box("50 - Value of window width is invalid.")),
    Case("width too large with position", ["/sp", "100000", "600", "0", "0", "a"], EN,
         Box("100000 - Value of window width is too large.")),
    Case("x with two minus signs", ["/sp", "800", "600", "--5", "0", "a"], EN,
         Box("--5 - Value of X is invalid.")),
    Case("switch taken as width", ["/s", "/k", "300", "a"], EN, Box("/k - Value of window width is invalid.")),
    Case("/k with /s", ["/k", "/s", "800", "600", "a"], EN,
         Box("/k /s - Parameter is not able to use together.")),
    Case("third positional", ["t", "a", "c"], EN, Box("c - Parameter is invalid.")),
    # "/" separates folders here; "<", ">", "|" and '"' are refused in the name.
    Case("/l name with slash", ["/l", "a/b.html"], EN, Box("a/b.html - File was not found.")),
    Case("/l name with <", ["/l", "a<b.html"], EN, Box(" - File name or folder name is invalid.")),
    Case("/l absolute path", ["/l", "/no/such/page.html"], EN, Box("/no/such/page.html - Parameter is invalid.")),
    Case("/l file absent", ["/l", "missing.html"], EN, Box("missing.html - File was not found.")),
    Case("/ver with more", ["/ver", "a"], EN, Box("/ver - Parameter is invalid.")),
    Case("/? with more", ["/?", "a"], EN, Box("/? - Parameter is invalid.")),
    Case("argument not UTF-8", [b"/\xff"], EN, Box("/\ufffd - Parameter is invalid.")),
    Case("GTK options stay the user's", ["--display", ":99", "third"], EN, Box("third - Parameter is invalid.")),
    # Refusals, Japanese
    Case("ja no arguments", [], JA, Box("アドレスまたはファイルが指定されていません。")),
    Case("ja unknown switch", ["/Q"], JA, Box("/Q - パラメータが正しくありません。")),
    Case("ja empty argument", [""], JA, Box("空のパラメータが指定されています。")),
    Case("ja profile name bad end", ["/d:a ", "a"], JA,
         Box("a  - プロファイル名はスペースまたはピリオドで終了することは出来ません。")),
    Case("ja /d with /p", ["/d:x", "/p", "a"], JA, Box("/d /p - パラメータは一緒に使うことはできません。")),
    Case("ja /k with /f", ["/k", "/f", "a"], JA, Box("/k /f - パラメータは一緒に使うことはできません。")),
    Case("ja size twice", ["/s", "800", "600", "/sp", "1", "1", "1", "1", "a"], JA,
         Box("/s - パラメータはすでに指定されています。")),
    Case("ja height invalid", ["/s", "800", "6x0", "a"], JA, Box("6x0 - ウィンドウ高の値が正しくありません。")),
    Case("ja y too large", ["/sp", "800", "600", "0", "100000", "a"], JA, Box("100000 - Y の値が大きすぎます。")),
    Case("ja position missing", ["/sp", "800", "600", "0"], JA, Box("X または Y が指定されていません。")),
    Case("ja icon index two blanks", ["/i", "app.ico,  3", "a"], JA,
         Box("app.ico,  3 - アイコンファイルのインデックスが正しくありません。")),
    Case("ja /l file absent", ["/lu", "missing.html"], JA, Box("missing.html - ファイルが見つかりませんでした。")),
    Case("ja /l name with bar", ["/l", "a|b"], JA, Box(" - ファイル名またはフォルダ名が正しくありません。")),
    # Which locale variable decides
    Case("LC_ALL before LANG", [], {"LC_ALL": "en_US.UTF-8", "LANG": "ja_JP.UTF-8"},
         Box("Address is not specified.")),
    Case("LC_MESSAGES before LANG", [], {"LC_MESSAGES": "ja_JP.UTF-8", "LANG": "en_US.UTF-8"},
         Box("アドレスまたはファイルが指定されていません。")),
    Case("empty LC_ALL skipped", [], {"LC_ALL": "", "LANG": "ja_JP.UTF-8"},
         Box("アドレスまたはファイルが指定されていません。")),
    Case("C locale is English", ["/x"], {"LANG": "C"}, Box("/x - Parameter is invalid.")),
    # The one-argument forms
    Case("/ver", ["/ver"], EN, Box(pattern=BANNER, warning=False)),
    Case("/VER in Japanese", ["/VER"], JA, Box(pattern=BANNER, warning=False)),
    Case("/void", ["/void"], EN, NoBox(0)),
    Case("/Void", ["/Void"], JA, NoBox(0)),
    Case("/? English", ["/?"], EN, USAGE_EN),
    Case("/? Japanese", ["/?"], JA, USAGE_JA),
    # Accepted command lines: the window, then what its end leaves
    Case("address only", ["about:blank"], EN, Window("about:blank", DEFAULT_PLACEMENT)),
    Case("title and address with switches", ["/s", "800", "600", "/m", "/z", "/a", "/u", "Title",
                                             "https://example.com/"], EN, Window("Title", centred(800, 600))),
    Case("full screen, kept data in a named profile, icon",
         ["/k", "/d:Work 1", "/i", ICON_FILE + ", 2", "about:blank"], JA,
         Window("about:blank", whole_screen, decorated=False, states=FULLSCREEN, icon=icon_of(2), scratch="stays",
                kept="Profiles/work 1")),
    Case("existing file is an address", [EXISTING_FILE], EN, Window(EXISTING_FILE, DEFAULT_PLACEMENT)),
    Case("/l existing file", ["/lus", EXISTING_FILE], EN, Window(EXISTING_FILE, DEFAULT_PLACEMENT)),
    # Title: given, or the address or file name exactly as typed
    Case("title not ASCII", ["日本語のタイトル 𝄞", "about:blank"], EN, Window("日本語のタイトル 𝄞", DEFAULT_PLACEMENT)),
    # An address that is no absolute address: the runtime refuses it once the window is there.
    Case("address as typed, refused", ["Example.COM/Some Path?q=1"], EN,
         FatalBox("Example.COM/Some Path?q=1 - Address or file name is invalid.", "Example.COM/Some Path?q=1")),
    Case("ja address refused", ["/s", "800", "600", "a"], JA,
         FatalBox("a - アドレスまたはファイル名が正しくありません。", "a")),
    Case("/l file name not ASCII", ["/l", "ページ.html"], EN, Window("ページ.html", DEFAULT_PLACEMENT),
         files=("ページ.html",)),
    # Placement, size and style
    Case("/s centred", ["/s", "800", "600", "about:blank"], EN, Window("about:blank", centred(800, 600))),
    Case("/s less than the work area", ["/s", "-200", "-100", "about:blank"], EN,
         Window("about:blank", centred(lambda d: d.area_width - 200, lambda d: d.area_height - 100))),
    Case("/s 0 0 is the work area", ["/s", "0", "0", "about:blank"], EN, Window("about:blank", work_area_at_origin)),
    Case("/sp from the right and bottom", ["/sp", "800", "600", "-10", "-20", "about:blank"], EN,
         Window("about:blank", lambda d: (-10 + d.area[2] - 800, -20 + d.area[3] - 600, 800, 600))),
    Case("/sp 0 0 at 100 100", ["/sp", "0", "0", "100", "100", "about:blank"], EN,
         Window("about:blank", lambda d: (100, 100, d.area_width, d.area_height))),
    Case("too wide is maximised", ["/s", "3000", "500", "about:blank"], EN,
         Window("about:blank", work_area_at_origin, states=MAXIMIZED)),
    Case("/f fixed size", ["/f", "/s", "800", "600", "about:blank"], EN,
         Window("about:blank", centred(800, 600), resizable=False)),
    Case("/f default size", ["/f", "about:blank"], EN, Window("about:blank", DEFAULT_PLACEMENT, resizable=False)),
    Case("/f too wide is maximised", ["/f", "/s", "3000", "500", "about:blank"], EN,
         Window("about:blank", work_area_at_origin, resizable=False, states=MAXIMIZED)),
    Case("/k full screen", ["/k", "about:blank"], EN,
         Window("about:blank", whole_screen, decorated=False, states=FULLSCREEN)),
    # Icons
    Case("/i first image", ["/i", ICON_FILE, "about:blank"], EN,
         Window("about:blank", DEFAULT_PLACEMENT, icon=icon_of(0))),
    Case("/i image by index", ["/i", ICON_FILE + ",1", "about:blank"], EN,
         Window("about:blank", DEFAULT_PLACEMENT, icon=icon_of(1))),
    Case("/i picture", ["/i", PICTURE_FILE, "about:blank"], EN, Window("about:blank", DEFAULT_PLACEMENT, icon=PICTURE)),
    Case("/i file with no icon", ["/i", EXISTING_FILE, "about:blank"], EN,
         Box(EXISTING_FILE + " - Unable to retreave the icon.")),
    Case("/i index past the images", ["/i", ICON_FILE + ",3", "about:blank"], EN,
         Box(ICON_FILE + " - Unable to retreave the icon.")),
    Case("/i picture at index 1", ["/i", PICTURE_FILE + ",1", "about:blank"], EN,
         Box(PICTURE_FILE + " - Unable to retreave the icon.")),
    Case("/i missing, path expanded", ["/i", "%HOME%/no icon.ico,2", "about:blank"], EN,
         Box(HOME_MARK + "/no icon.ico - File was not found.")),
    Case("ja /i with no icon", ["/i", EXISTING_FILE, "about:blank"], JA,
         Box(EXISTING_FILE + " - アイコンを取得できませんでした。")),
    # The HTML file of /l
    Case("/l folder", ["/l", FOLDER_NAMED_HTML], EN, Box(FOLDER_NAMED_HTML + " - File was not able to open.")),
    Case("/ld deletes the file", ["/ld", "delete me.html"], EN,
         Window("delete me.html", DEFAULT_PLACEMENT, gone_while_shown="delete me.html"), files=("delete me.html",)),
    Case("/ls file deleted while shown", ["/ls", "watched.html"], EN,
         Window("watched.html", DEFAULT_PLACEMENT, ends="file deleted"), files=("watched.html",)),
    # The data folders at the end
    Case("scratch folder in use stays", ["about:blank"], EN,
         Window("about:blank", DEFAULT_PLACEMENT, scratch="stays", lock_held=True)),
    Case("/d keeps the data", ["/d", "about:blank"], EN,
         Window("about:blank", DEFAULT_PLACEMENT, scratch="stays", kept="Default")),
    Case("/p deletes the scratch folder", ["/p", "about:blank"], EN, Window("about:blank", DEFAULT_PLACEMENT)),
    # Without a display the text goes to stderr
    Case("no display", [], EN, Stderr("vistrel: Address is not specified.\n"), display=False),
    Case("no display, Japanese", ["/x"], JA, Stderr("vistrel: /x - パラメータが正しくありません。\n"), display=False),
    Case("no display, /void", ["/void"], EN, NoBox(0), display=False),
    Case("no display, accepted command line", ["about:blank"], EN, Stderr("vistrel: cannot open display\n"),
         display=False),
]


# ---- Display and accessibility bus -------------------------------------------------

class Session:
    """The X display and the private D-Bus session with its accessibility bus."""

    def __init__(self):
        self.processes = []
        try:
            self.display = os.environ.get("DISPLAY") or self._start_xvfb()
            self._check_display()
            self.bus_address = self._start_session_bus()
            self.a11y_address = self._accessibility_bus_address()
        except BaseException:
            self.close()
            raise

    def _spawn(self, argv, **kwargs):
        process = subprocess.Popen(argv, start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def _start_xvfb(self):
        # -displayfd lets the server pick a free display and tell us which.
        read_end, write_end = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                    pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        return ":" + number

    def _check_display(self):
        probe = subprocess.run(["xdotool", "getdisplaygeometry"], env=dict(os.environ, DISPLAY=self.display),
                               capture_output=True, text=True, timeout=10)
        if probe.returncode != 0:
            raise RuntimeError("cannot open display %s" % self.display)

    def _start_session_bus(self):
        # The bus and what it activates (the accessibility bus launcher) see
        # no display, so they leave the display's root window alone.
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        process = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
        address = process.stdout.readline().strip()
        if not address:
            raise RuntimeError("dbus-daemon did not start")
        return address

    def _accessibility_bus_address(self):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.bus_address)
        reply = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                                "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                               env=env, capture_output=True, text=True, timeout=20)
        address = reply.stdout.strip()
        if reply.returncode != 0 or not address:
            raise RuntimeError("no accessibility bus: " + reply.stderr.strip())
        return address

    def environment(self):
        """What both the program and these tests need to meet on the buses."""
        return {
            "DISPLAY": self.display,
            "DBUS_SESSION_BUS_ADDRESS": self.bus_address,
            "AT_SPI_BUS_ADDRESS": self.a11y_address,
        }

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
            if process.stdout:
                process.stdout.close()


# ---- Reading boxes through AT-SPI ------------------------------------------------------

class CaseFailure(Exception):
    pass


def descendants(accessible):
    for child in accessible:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def scan_for_box(pyatspi, pid):
    """The process's box if one is complete on screen now, else None."""
    try:
        for app in pyatspi.Registry.getDesktop(0):
            if app is None or app.get_process_id() != pid:
                continue
            for window in app:
                if window is None or not window.getState().contains(pyatspi.STATE_SHOWING):
                    continue
                # The main window holds the page, whose links and text are no box.
                if window.getRole() == pyatspi.ROLE_FRAME:
                    continue
                nodes = list(descendants(window))
                buttons = [n for n in nodes if n.getRole() == pyatspi.ROLE_PUSH_BUTTON]
                labels = [n for n in nodes if n.getRole() == pyatspi.ROLE_LABEL and n.name]
                if buttons and labels:
                    return window, nodes, buttons, labels
    except Exception:  # an object went away while it was read; the next scan sees the rest
        pass
    return None


def find_box(pyatspi, process):
    """The program's box once it is on screen; None if the program ended first."""
    deadline = time.monotonic() + BOX_TIMEOUT
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return None
        found = scan_for_box(pyatspi, process.pid)
        if found:
            return found
        time.sleep(0.05)
    raise CaseFailure("no box within %.0f s" % BOX_TIMEOUT)


def wait_without_box(pyatspi, process, watch_boxes):
    """The exit code of a program that must end by itself, failing early when it shows a box."""
    deadline = time.monotonic() + EXIT_TIMEOUT
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return process.returncode
        if watch_boxes:
            found = scan_for_box(pyatspi, process.pid)
            if found:
                raise CaseFailure("showed a box: %r" % found[3][0].name)
        time.sleep(0.05)
    raise CaseFailure("still running after %.0f s" % EXIT_TIMEOUT)


def x_window_titles(display, pid):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                            env=dict(os.environ, DISPLAY=display), capture_output=True, text=True, timeout=10)
    titles = []
    for window in result.stdout.split():
        name = subprocess.run(["xdotool", "getwindowname", window], env=dict(os.environ, DISPLAY=display),
                              capture_output=True, text=True, timeout=10)
        titles.append(name.stdout.rstrip("\n"))
    return titles


def read_box(pyatspi, session, process, owner_title=None):
    """The box's text and parts; owner_title: the title of the main window shown beside it."""
    found = find_box(pyatspi, process)
    if found is None:
        raise CaseFailure("ended with exit code %s without a box" % process.returncode)
    window, nodes, buttons, labels = found
    if window.getRole() != pyatspi.ROLE_ALERT:
        raise CaseFailure("box role is %s, not alert" % window.getRoleName())
    if window.name != "vistrel":
        raise CaseFailure("box accessible name %r" % window.name)
    titles = sorted(x_window_titles(session.display, process.pid))
    expected = sorted(["vistrel"] + ([owner_title] if owner_title is not None else []))
    if titles != expected:
        raise CaseFailure("window titles on the display: %r, expected %r" % (titles, expected))
    if len(labels) != 1:
        raise CaseFailure("%d labels with text: %r" % (len(labels), [label.name for label in labels]))
    label = labels[0]
    text_interface = label.queryText()
    text = text_interface.getText(0, -1)
    if text != label.name:
        raise CaseFailure("label text %r differs from its accessible name %r" % (text, label.name))
    # A label takes a selection only when it is selectable.
    if not text_interface.addSelection(0, 1) or text_interface.getNSelections() != 1:
        raise CaseFailure("the text cannot be selected")
    text_interface.removeSelection(0)
    icons = [n for n in nodes if n.getRole() == pyatspi.ROLE_ICON and n.getState().contains(pyatspi.STATE_SHOWING)]
    return text, text_interface, icons, buttons


def press(pyatspi, button):
    action = button.queryAction()
    for index in range(action.nActions):
        if action.getName(index) == "click":
            action.doAction(index)
            return
    raise CaseFailure("button %r has no click action" % button.name)


def check_usage(pyatspi, text, text_interface, usage):
    if "\t" in text:
        raise CaseFailure("a tab is left in the usage text")
    if not text.endswith("\n"):
        raise CaseFailure("usage text does not end with a line feed")
    lines = text[:-1].split("\n")
    if len(lines) != len(usage.lines):
        raise CaseFailure("usage has %d lines, not %d" % (len(lines), len(usage.lines)))
    for index in range(3):
        if lines[index] != usage.lines[index]:
            raise CaseFailure("usage line %d is %r" % (index + 1, lines[index]))
    first = lines[3]
    indent = len(first) - len(first.lstrip(" "))
    if indent < 1:
        raise CaseFailure("option lines are not indented")
    for index in range(3, len(lines)):
        extra, content = usage.lines[index]
        expected = " " * (indent + extra) + content
        if lines[index] != expected:
            raise CaseFailure("usage line %d is %r, expected %r" % (index + 1, lines[index], expected))

    # On screen, the first option line starts under the synopsis's first
    # option: the blanks fall short of it by less than one blank.
    def extents(offset):
        return text_interface.getCharacterExtents(offset, pyatspi.DESKTOP_COORDS)
    synopsis = len(lines[0]) + 1 + len(lines[1]) + 1
    first_option = synopsis + lines[2].index(" ") + 1
    option_line = synopsis + len(lines[2]) + 1
    option_x = extents(option_line + indent)[0]
    target_x = extents(first_option)[0]
    blank_width = extents(option_line)[2]
    if not (option_x <= target_x + 1 and target_x < option_x + blank_width + 1):
        raise CaseFailure("option lines start at x %d, the synopsis's first option at x %d (blank %d wide)"
                          % (option_x, target_x, blank_width))


# ---- Reading windows from the X server ----------------------------------------------------

class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessage), ("pad", ctypes.c_long * 24)]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
IS_VIEWABLE = 2
CLIENT_MESSAGE = 33


class XServer:
    """Windows and their properties as the X server holds them, through libX11 itself."""

    def __init__(self, display):
        x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        p, ulong, pointer = ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER
        signatures = {
            "XOpenDisplay": (p, [ctypes.c_char_p]),
            "XCloseDisplay": (ctypes.c_int, [p]),
            "XDefaultRootWindow": (ulong, [p]),
            "XInternAtom": (ulong, [p, ctypes.c_char_p, ctypes.c_int]),
            "XGetAtomName": (p, [p, ulong]),
            "XFree": (ctypes.c_int, [p]),
            "XQueryTree": (ctypes.c_int, [p, ulong, pointer(ulong), pointer(ulong), pointer(pointer(ulong)),
                                          pointer(ctypes.c_uint)]),
            "XGetWindowProperty": (ctypes.c_int, [p, ulong, ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int, ulong,
                                                  pointer(ulong), pointer(ctypes.c_int), pointer(ulong),
                                                  pointer(ulong), pointer(p)]),
            "XGetWindowAttributes": (ctypes.c_int, [p, ulong, pointer(XWindowAttributes)]),
            "XTranslateCoordinates": (ctypes.c_int, [p, ulong, ulong, ctypes.c_int, ctypes.c_int,
                                                     pointer(ctypes.c_int), pointer(ctypes.c_int), pointer(ulong)]),
            "XSendEvent": (ctypes.c_int, [p, ulong, ctypes.c_int, ctypes.c_long, pointer(XEvent)]),
            "XSync": (ctypes.c_int, [p, ctypes.c_int]),
            "XSetErrorHandler": (p, [X_ERROR_HANDLER]),
        }
        for name, (result, arguments) in signatures.items():
            function = getattr(x, name)
            function.restype, function.argtypes = result, arguments
        self.x = x
        # A window that goes while it is read is an X error, which would
        # otherwise end this process.
        self._on_error = X_ERROR_HANDLER(lambda display, event: 0)
        x.XSetErrorHandler(self._on_error)
        self.display = x.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("libX11 cannot open display %s" % display)
        self.root = x.XDefaultRootWindow(self.display)
        self._atoms = {}

    def close(self):
        self.x.XCloseDisplay(self.display)

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = self.x.XInternAtom(self.display, name.encode(), 0)
        return self._atoms[name]

    def atom_name(self, atom):
        text = self.x.XGetAtomName(self.display, atom)
        if not text:
            return None
        name = ctypes.string_at(text).decode()
        self.x.XFree(text)
        return name

    def top_levels(self):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(count)):
            return []
        windows = [children[i] for i in range(count.value)]
        if children:
            self.x.XFree(children)
        return windows

    def property(self, window, name):
        """The property's items (bytes for 8-bit data, else numbers), or None when the window has none."""
        kind, size, count, left = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        status = self.x.XGetWindowProperty(self.display, window, self.atom(name), 0, 1 << 24, 0, 0,
                                           ctypes.byref(kind), ctypes.byref(size), ctypes.byref(count),
                                           ctypes.byref(left), ctypes.byref(data))
        if status != 0 or kind.value == 0:
            if data:
                self.x.XFree(data)
            return None
        if size.value == 8:
            items = ctypes.string_at(data, count.value)
        elif size.value == 16:
            items = list(ctypes.cast(data, ctypes.POINTER(ctypes.c_ushort))[:count.value])
        else:  # 32-bit items arrive as C longs
            items = [value & 0xFFFFFFFF for value in ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[:count.value]]
        self.x.XFree(data)
        return items

    def viewable(self, window):
        attributes = XWindowAttributes()
        return (self.x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes)) != 0 and
                attributes.map_state == IS_VIEWABLE)

    def geometry(self, window):
        """x, y (on the screen), width and height."""
        attributes = XWindowAttributes()
        if not self.x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes)):
            return None
        x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        self.x.XTranslateCoordinates(self.display, window, self.root, 0, 0, ctypes.byref(x), ctypes.byref(y),
                                     ctypes.byref(child))
        return x.value, y.value, attributes.width, attributes.height

    def display_layout(self):
        _, _, width, height = self.geometry(self.root)
        area = self.property(self.root, "_NET_WORKAREA")
        # Without a window manager nothing reserves part of the screen.
        if area and len(area) >= 4:
            return Display((area[0], area[1], area[0] + area[2], area[1] + area[3]), (width, height))
        return Display((0, 0, width, height), (width, height))

    def ask_to_close(self, window):
        """What a window manager sends when the user closes a window."""
        event = XEvent()
        event.xclient.type = CLIENT_MESSAGE
        event.xclient.window = window
        event.xclient.message_type = self.atom("WM_PROTOCOLS")
        event.xclient.format = 32
        event.xclient.data[0] = self.atom("WM_DELETE_WINDOW")
        event.xclient.data[1] = 0  # CurrentTime
        self.x.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.x.XSync(self.display, 0)


def find_window(pyatspi, xserver, process):
    """The program's shown top-level window; fails when it ends or shows a box first."""
    deadline = time.monotonic() + WINDOW_TIMEOUT
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise CaseFailure("ended with exit code %d before its window was shown" % process.returncode)
        for window in xserver.top_levels():
            pid = xserver.property(window, "_NET_WM_PID")
            if not pid or pid[0] != process.pid or not xserver.viewable(window):
                continue
            kind = xserver.property(window, "_NET_WM_WINDOW_TYPE") or []
            if xserver.atom("_NET_WM_WINDOW_TYPE_DIALOG") in kind:
                found = scan_for_box(pyatspi, process.pid)
                raise CaseFailure("showed a box: %r" % (found[3][0].name if found else "(unread)"))
            return window
        time.sleep(0.05)
    raise CaseFailure("no window within %.0f s" % WINDOW_TIMEOUT)


P_MIN_SIZE, P_MAX_SIZE = 16, 32
MWM_HINTS_DECORATIONS = 2


def icons_of(items):
    """_NET_WM_ICON as (width, height, first pixel) per picture."""
    icons, at = [], 0
    while at + 2 <= len(items):
        width, height = items[at], items[at + 1]
        pixels = items[at + 2:at + 2 + width * height]
        icons.append((width, height, pixels[0] if pixels else None))
        at += 2 + width * height
    return icons


def check_window(xserver, window, want, display):
    name = xserver.property(window, "_NET_WM_NAME")
    title = name.decode("utf-8", "replace") if name is not None else None
    if title != want.title:
        raise CaseFailure("title %r, expected %r" % (title, want.title))

    placed = xserver.geometry(window)
    expected = tuple(want.placement(display))
    if placed != expected:
        raise CaseFailure("window at %r (x, y, width, height), expected %r" % (placed, expected))

    hints = xserver.property(window, "WM_NORMAL_HINTS") or [0] * 18
    flags, minimum, maximum = hints[0], tuple(hints[5:7]), tuple(hints[7:9])
    fixed = flags & P_MIN_SIZE and flags & P_MAX_SIZE and minimum == maximum
    if want.resizable and fixed:
        raise CaseFailure("size fixed at %r, expected resizable" % (minimum,))
    if not want.resizable and (not fixed or minimum != expected[2:]):
        raise CaseFailure("size hints min %r max %r (flags %#x), expected both %r" %
                          (minimum, maximum, flags, expected[2:]))

    motif = xserver.property(window, "_MOTIF_WM_HINTS")
    undecorated = bool(motif) and motif[0] & MWM_HINTS_DECORATIONS and motif[2] == 0
    if undecorated == want.decorated:
        raise CaseFailure("window %s, expected %s" % ("undecorated" if undecorated else "decorated",
                                                      "decorated" if want.decorated else "undecorated"))

    states = sorted(xserver.atom_name(atom) for atom in xserver.property(window, "_NET_WM_STATE") or [])
    if states != sorted(want.states):
        raise CaseFailure("states %r, expected %r" % (states, sorted(want.states)))

    icon_items = xserver.property(window, "_NET_WM_ICON")
    icons = icons_of(icon_items) if icon_items else []
    wanted_icons = [want.icon] if want.icon else []
    if icons != wanted_icons:
        raise CaseFailure("icons (width, height, first pixel) %r, expected %r" % (
            [(w, h, "%#010x" % p if p is not None else p) for w, h, p in icons],
            [(w, h, "%#010x" % p) for w, h, p in wanted_icons]))


# ---- Data folders around a window's run ------------------------------------------------------

class DataFolders:
    """A scratch and a kept data folder with something in them, made before the run,
    and links from the scratch folder to files that must outlive its deletion."""

    def __init__(self, case_dir):
        self.temp = os.path.join(case_dir, "tmp")
        self.data = os.path.join(case_dir, "data")
        self.scratch = os.path.join(self.temp, DATA_FOLDER)
        self.kept = os.path.join(self.data, DATA_FOLDER)
        outside = os.path.join(case_dir, "outside")
        self.survivors = [os.path.join(outside, "keep.txt"), os.path.join(outside, "folder", "inner.txt"),
                          os.path.join(self.kept, "Default", "Cookies")]
        self.scratch_marker = os.path.join(self.scratch, "Default", "Cache", "data_0")
        for path in self.survivors + [self.scratch_marker]:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as file:
                file.write("data\n")
        os.symlink(self.survivors[0], os.path.join(self.scratch, "link to a file"))
        os.symlink(os.path.dirname(self.survivors[1]), os.path.join(self.scratch, "Default", "link to a folder"))
        os.symlink(os.path.join(case_dir, "nothing"), os.path.join(self.scratch, "dangling link"))
        self.lock = None

    def hold_lock(self):
        """A shared lock on the scratch folder's lock file, as another running copy holds it."""
        self.lock = os.open(os.path.join(self.scratch, LOCK_FILE), os.O_RDWR | os.O_CREAT, 0o600)
        fcntl.flock(self.lock, fcntl.LOCK_SH)

    def release(self):
        if self.lock is not None:
            os.close(self.lock)
            self.lock = None

    def check(self, scratch, kept=None):
        if kept and not os.path.isdir(os.path.join(self.kept, kept)):
            raise CaseFailure("no folder %r in the kept data folder: %r" % (kept, sorted(os.listdir(self.kept))))
        for path in self.survivors:
            if not os.path.exists(path):
                raise CaseFailure("%s is gone" % path)
        if scratch == "gone" and os.path.lexists(self.scratch):
            raise CaseFailure("the scratch data folder is still there: %r" % sorted(os.listdir(self.scratch)))
        if scratch == "stays" and not os.path.exists(self.scratch_marker):
            raise CaseFailure("the scratch data folder was deleted")


# ---- Running one case ---------------------------------------------------------------------

@dataclasses.dataclass
class Run:
    """What every case of one run shares."""
    pyatspi: object
    session: Session
    xserver: XServer
    display: Display
    exe: str
    workdir: str
    home: str
    shots: str


def program_environment(run, locale, display=True):
    """What the program runs with: X11 only, where the tests look, and nothing that keeps the toolkit
    from speaking to the accessibility bus."""
    dropped = LOCALE_VARIABLES + ("NO_AT_BRIDGE", "GTK_MODULES", "WAYLAND_DISPLAY", "GDK_BACKEND",
                                  "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "GDK_SCALE")
    env = {k: v for k, v in os.environ.items() if k not in dropped}
    env.update(locale)
    # Xvfb has no GL worth compositing with.
    env["WEBKIT_DISABLE_COMPOSITING_MODE"] = "1"
    if display:
        env.update(run.session.environment())
    return env


def case_environment(run, case, folders):
    # The data folders are the case's own.
    env = program_environment(run, case.locale, case.display)
    env.update(HOME=run.home, TMPDIR=folders.temp, XDG_DATA_HOME=folders.data)
    return env


def check_stderr_clean(stderr):
    bad = [line for line in stderr.splitlines() if "CRITICAL" in line or "-WARNING" in line]
    if bad:
        raise CaseFailure("toolkit complained: " + bad[0])


def screenshot(run, case):
    if run.shots:
        shot = os.path.join(run.shots, re.sub(r"[^A-Za-z0-9]+", "-", case.name).strip("-") + ".png")
        subprocess.run(["import", "-display", run.session.display, "-window", "root", shot], check=False)


def run_window(run, case, process, folders):
    want = case.expect
    window = find_window(run.pyatspi, run.xserver, process)
    check_window(run.xserver, window, want, run.display)
    if want.gone_while_shown and os.path.lexists(os.path.join(run.workdir, want.gone_while_shown)):
        raise CaseFailure("%s still exists while the window is shown" % want.gone_while_shown)
    screenshot(run, case)
    if want.ends == "file deleted":
        os.remove(os.path.join(run.workdir, case.files[0]))
    else:
        run.xserver.ask_to_close(window)
    code = wait_without_box(run.pyatspi, process, watch_boxes=True)
    if code != 0:
        raise CaseFailure("exit code %d after the window went" % code)
    folders.check(want.scratch, want.kept)


def run_fatal_box(run, case, process):
    expect = case.expect
    text, _, icons, buttons = read_box(run.pyatspi, run.session, process, owner_title=expect.window_title)
    if text != expect.text:
        raise CaseFailure("text %r, expected %r" % (text, expect.text))
    if len(icons) != 1 or len(buttons) != 1:
        raise CaseFailure("%d icons and %d buttons, expected a warning box with one button" %
                          (len(icons), len(buttons)))
    screenshot(run, case)
    press(run.pyatspi, buttons[0])
    code = wait_without_box(run.pyatspi, process, watch_boxes=True)
    if code != 0:
        raise CaseFailure("exit code %d after OK" % code)


def run_box(run, case, process):
    expect = case.expect
    pyatspi = run.pyatspi
    text, text_interface, icons, buttons = read_box(pyatspi, run.session, process)
    if isinstance(expect, Usage):
        check_usage(pyatspi, text, text_interface, expect)
        warning = False
    else:
        if expect.pattern is not None:
            if not re.match(expect.pattern, text):
                raise CaseFailure("text %r does not match %r" % (text, expect.pattern))
        elif text != expect.text.replace(HOME_MARK, run.home):
            raise CaseFailure("text %r, expected %r" % (text, expect.text.replace(HOME_MARK, run.home)))
        warning = expect.warning
    if warning and (len(icons) != 1 or not icons[0].name):
        raise CaseFailure("warning box without a named icon")
    if not warning and icons:
        raise CaseFailure("plain box with an icon %r" % icons[0].name)
    if len(buttons) != 1:
        raise CaseFailure("%d buttons: %r" % (len(buttons), [b.name for b in buttons]))
    screenshot(run, case)
    press(pyatspi, buttons[0])
    try:
        code = process.wait(timeout=EXIT_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise CaseFailure("still running after OK was pressed")
    if code != 0:
        raise CaseFailure("exit code %d after OK" % code)


def run_case(run, case):
    for name in case.files:
        with open(os.path.join(run.workdir, name), "w", encoding="utf-8") as page:
            page.write("<p>%s</p>\n" % name)
    folders = DataFolders(tempfile.mkdtemp(prefix="case-", dir=run.workdir))
    if isinstance(case.expect, Window) and case.expect.lock_held:
        folders.hold_lock()
    env = case_environment(run, case, folders)
    stderr_file = tempfile.TemporaryFile(mode="w+", encoding="utf-8", errors="replace")
    process = subprocess.Popen([run.exe] + case.args, cwd=run.workdir, env=env,
                               stdout=subprocess.DEVNULL, stderr=stderr_file)
    try:
        expect = case.expect
        if isinstance(expect, (NoBox, Stderr)):
            code = wait_without_box(run.pyatspi, process, watch_boxes=case.display)
            wanted = expect.exit_code if isinstance(expect, NoBox) else 0
            if code != wanted:
                raise CaseFailure("exit code %d, expected %d" % (code, wanted))
        elif isinstance(expect, Window):
            run_window(run, case, process, folders)
        elif isinstance(expect, FatalBox):
            run_fatal_box(run, case, process)
        else:
            run_box(run, case, process)
        stderr_file.seek(0)
        stderr = stderr_file.read()
        if isinstance(expect, Stderr) and stderr != expect.text:
            raise CaseFailure("stderr %r, expected %r" % (stderr, expect.text))
        check_stderr_clean(stderr)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        stderr_file.close()
        folders.release()


# ---- The platform probe: what no window or box shows ---------------------------------------

FILETIME_OF_UNIX_EPOCH = 116444736000000000  # 1970-01-01 in 100 ns units since 1601


class Probe:
    """Runs vistrel-platform-probe and reads its one line of JSON."""

    def __init__(self, path, run):
        self.path = path
        self.run = run
        dropped = LOCALE_VARIABLES + ("GDK_SCALE", "XDG_DATA_HOME", "TMPDIR")
        self.base = {k: v for k, v in os.environ.items() if k not in dropped}
        self.base.update(run.session.environment())
        self.base.update(LANG="en_US.UTF-8", HOME=run.home)

    def start(self, *args, env=None, program=None):
        environment = dict(self.base)
        for name, value in (env or {}).items():
            if value is None:
                environment.pop(name, None)
            else:
                environment[name] = value
        return subprocess.Popen([program or self.path] + [str(a) for a in args], env=environment, text=True,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def __call__(self, *args, env=None, program=None):
        process = self.start(*args, env=env, program=program)
        try:
            out, err = process.communicate(timeout=PROBE_TIMEOUT)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise CaseFailure("the probe did not answer within %.0f s" % PROBE_TIMEOUT)
        if process.returncode != 0:
            raise CaseFailure("the probe failed (%d): %s" % (process.returncode, err.strip()))
        check_stderr_clean(err)
        return json.loads(out)


def expect_equal(got, wanted, what):
    if got != wanted:
        raise CaseFailure("%s: got %r, expected %r" % (what, got, wanted))


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(data)


def utf16_units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return list(struct.unpack("<%dH" % (len(data) // 2), data))


def rgba(colour):
    return [(colour >> 16) & 255, (colour >> 8) & 255, colour & 255, colour >> 24]


def icon_probe_cases(probe, folder):
    icon = ico_bytes(ICON_IMAGES)
    files = {
        "three sizes.ico": icon,
        "icon named as a picture.png": icon,
        "picture named as an icon.ico": png_bytes(*PICTURE[:2], PICTURE[2]),
        # The directory and the first image whole, the second image cut short.
        "cut short.ico": icon[:6 + 16 * 3 + len(bmp_icon_bytes(16, 16, 0, 32)) + 40],
        "header only.ico": struct.pack("<HHH", 0, 1, 3),
        "empty.ico": b"",
        "text.txt": b"<p>no picture</p>\n",
    }
    for name, data in files.items():
        write_file(os.path.join(folder, name), data)
    os.makedirs(os.path.join(folder, "a folder.ico"), exist_ok=True)

    def shape(width, height, colour):
        return {"width": width, "height": height, "pixel": rgba(colour)}

    table = [
        ("three sizes.ico", 0, shape(*icon_of(0))),
        ("three sizes.ico", 1, shape(*icon_of(1))),
        ("three sizes.ico", 2, shape(*icon_of(2))),
        ("three sizes.ico", 3, None),
        ("three sizes.ico", -1, None),
        ("icon named as a picture.png", 2, shape(*icon_of(2))),
        ("picture named as an icon.ico", 0, shape(*PICTURE)),
        ("picture named as an icon.ico", 1, None),
        ("cut short.ico", 0, shape(*icon_of(0))),
        ("cut short.ico", 1, None),
        ("header only.ico", 0, None),
        ("empty.ico", 0, None),
        ("text.txt", 0, None),
        ("a folder.ico", 0, None),
        ("missing.ico", 0, None),
    ]
    cases = []
    for name, index, wanted in table:
        def case(name=name, index=index, wanted=wanted):
            expect_equal(probe("icon", os.path.join(folder, name), index), wanted, "icon %s,%d" % (name, index))
        cases.append(("icon: %s, index %d" % (name, index), case))
    return cases


def expansion_probe_cases(probe):
    env = {"VISTREL_A": "alpha", "VISTREL_WIDE": "日本 𝄞", "VISTREL_EMPTY": "", "VISTREL_UNSET": None}
    table = [
        ("%VISTREL_A%", "alpha"),
        ("x%VISTREL_A%y", "xalphay"),
        ("%VISTREL_A%%VISTREL_A%", "alphaalpha"),
        ("%VISTREL_WIDE%\\icon.ico", "日本 𝄞\\icon.ico"),
        ("%VISTREL_EMPTY%|", "|"),
        ("%VISTREL_UNSET%", "%VISTREL_UNSET%"),
        # A name that is not set is copied with both signs; the next sign starts afresh.
        ("%VISTREL_UNSET%VISTREL_A%", "%VISTREL_UNSET%VISTREL_A%"),
        ("50% %VISTREL_A%", "50% %VISTREL_A%"),
        ("%vistrel_a%", "%vistrel_a%"),
        ("100%", "100%"),
        ("%%", "%%"),
        ("%HOME%/icon.ico", probe.run.home + "/icon.ico"),
        ("", ""),
    ]
    cases = []
    for text, wanted in table:
        def case(text=text, wanted=wanted):
            expect_equal(probe("expand", text, env=env), wanted, "expansion of %r" % text)
        cases.append(("expand %r" % text, case))
    return cases


def registry_probe_cases(probe):
    metrics = "Control Panel\\Desktop\\WindowMetrics"
    table = [
        ("AppliedDPI at scale 1", ("HKCU", metrics, "AppliedDPI"), {}, 96),
        ("AppliedDPI at scale 2", ("HKCU", metrics, "AppliedDPI"), {"GDK_SCALE": "2"}, 2 * 96),
        ("AppliedDPI in other case", ("HKCU", metrics.upper(), "applieddpi"), {}, 96),
        ("AppliedDPI without a display", ("HKCU", metrics, "AppliedDPI"), {"DISPLAY": None}, None),
        ("AppliedDPI under HKLM", ("HKLM", metrics, "AppliedDPI"), {}, None),
        ("another value", ("HKCU", metrics, "AppliedDPIs"), {}, None),
        ("another key", ("HKCU", "Control Panel\\Desktop", "AppliedDPI"), {}, None),
    ]
    cases = []
    for name, where, env, wanted in table:
        def case(where=where, env=env, wanted=wanted):
            expect_equal(probe("dword", *where, env=env), wanted, "value")
        cases.append(("registry: " + name, case))

    def screen():
        display = probe.run.display
        expect_equal(probe("screen"), {"screen": list(display.screen), "workArea": list(display.area)},
                     "screen and work area")
    cases.append(("primary screen and work area", screen))
    return cases


def file_probe_cases(probe, folder):
    pieces = {
        "line ends and a NUL.bin": b"a\r\nb\x00c\xff\n",
        "empty.bin": b"",
        "several reads.bin": bytes(range(256)) * 1000,
    }
    for name, data in pieces.items():
        write_file(os.path.join(folder, name), data)
    os.makedirs(os.path.join(folder, "a folder"), exist_ok=True)
    cases = []
    for name, data in pieces.items():
        def case(name=name, data=data):
            expect_equal(probe("read", os.path.join(folder, name)), {"status": "Read", "hex": data.hex()}, name)
        cases.append(("read: " + name, case))
    for name, status in (("missing.bin", "OpenFailed"), ("a folder", "ReadFailed")):
        def case(name=name, status=status):
            expect_equal(probe("read", os.path.join(folder, name)), {"status": status, "hex": ""}, name)
        cases.append(("read: %s is %s" % (name, status), case))

    times = {
        "a time with nanoseconds": 1_700_000_000_123_456_789,
        "100 ns later": 1_700_000_000_123_456_889,
        "before 1970": -86_400_000_000_000,
    }
    for name, nanoseconds in times.items():
        def case(name=name, nanoseconds=nanoseconds):
            path = os.path.join(folder, "time " + name)
            write_file(path, b"x")
            os.utime(path, ns=(nanoseconds, nanoseconds))
            expect_equal(probe("write-time", path), FILETIME_OF_UNIX_EPOCH + nanoseconds // 100, name)
        cases.append(("write time: " + name, case))

    def missing_time():
        expect_equal(probe("write-time", os.path.join(folder, "missing.bin")), None, "time of a missing file")
    cases.append(("write time: missing file", missing_time))
    return cases


def ansi_probe_cases(probe, workdir):
    locales = os.path.join(workdir, "locales")
    eucjp = {"LC_ALL": "ja_JP.EUC-JP", "LOCPATH": locales}
    table = [
        ({"LC_ALL": "en_US.UTF-8"}, "héllo".encode(), utf16_units("héllo")),
        ({"LC_ALL": "en_US.UTF-8"}, "あ𝄞".encode(), utf16_units("あ𝄞")),
        ({"LC_ALL": "en_US.UTF-8"}, b"a\xffb", utf16_units("a\ufffdb")),
        # Each byte of a cut-off sequence stands for itself.
        ({"LC_ALL": "en_US.UTF-8"}, b"a\xe3\x81", utf16_units("a\ufffd\ufffd")),
        ({"LC_ALL": "en_US.UTF-8"}, b"", []),
        ({"LC_ALL": "C"}, b"abc", utf16_units("abc")),
        ({"LC_ALL": "C"}, b"a\xe9b", utf16_units("a\ufffdb")),
        (eucjp, "あｦ".encode("euc-jp"), utf16_units("あｦ")),
        (eucjp, b"a" + "あ".encode("euc-jp")[:1], utf16_units("a\ufffd")),
        (eucjp, b"a\xffb", utf16_units("a\ufffdb")),
    ]
    cases = []
    for env, data, wanted in table:
        def case(env=env, data=data, wanted=wanted):
            if env is eucjp and not os.path.isdir(os.path.join(locales, "ja_JP.EUC-JP")):
                os.makedirs(locales, exist_ok=True)
                made = subprocess.run(["localedef", "-i", "ja_JP", "-f", "EUC-JP",
                                       os.path.join(locales, "ja_JP.EUC-JP")], capture_output=True, text=True)
                if made.returncode != 0:
                    raise CaseFailure("localedef could not make ja_JP.EUC-JP: " + made.stderr.strip())
            expect_equal(probe("ansi", data.hex(), env=env), wanted, "%s in %s" % (data, env["LC_ALL"]))
        cases.append(("ANSI text %r in %s" % (data, env["LC_ALL"]), case))
    return cases


def data_folder_probe_cases(probe, folder):
    name = os.path.basename(os.path.realpath(probe.path)) + ".webkit"
    home = probe.run.home
    link = os.path.join(folder, "another name")
    if not os.path.lexists(link):
        os.symlink(probe.path, link)
    table = [
        ("local", {"XDG_DATA_HOME": "/x/data"}, "/x/data/" + name, None),
        ("local", {"XDG_DATA_HOME": None}, home + "/.local/share/" + name, None),
        ("local", {"XDG_DATA_HOME": ""}, home + "/.local/share/" + name, None),
        ("temp", {"TMPDIR": "/x/tmp ü"}, "/x/tmp ü/" + name, None),
        ("temp", {"TMPDIR": None}, "/tmp/" + name, None),
        # Named after the executable, not after the name it was started by.
        ("temp", {"TMPDIR": "/x/tmp"}, "/x/tmp/" + name, link),
    ]
    cases = []
    for where, env, wanted, program in table:
        def case(where=where, env=env, wanted=wanted, program=program):
            expect_equal(probe("data-folder", where, env=env, program=program), wanted, "folder")
        started = " started as %r" % os.path.basename(program) if program else ""
        cases.append(("data folder %s with %r%s" % (where, env, started), case))
    return cases


def try_lock(path, kind):
    """Whether this process can take the lock now (and gives it back at once)."""
    fd = os.open(path, os.O_RDONLY)
    try:
        fcntl.flock(fd, kind | fcntl.LOCK_NB)
        return True
    except BlockingIOError:
        return False
    finally:
        os.close(fd)


def lock_probe_cases(probe, base):
    def fresh(name, lock_file=False):
        folder = os.path.join(base, name)
        os.makedirs(folder, exist_ok=True)
        if lock_file:
            write_file(os.path.join(folder, LOCK_FILE), b"")
        return folder

    def held_by_us(kind):
        def case():
            folder = fresh("held %d" % kind, lock_file=True)
            fd = os.open(os.path.join(folder, LOCK_FILE), os.O_RDWR)
            try:
                fcntl.flock(fd, kind)
                expect_equal(probe("in-use", folder), True, "in use while another process holds the lock")
            finally:
                os.close(fd)
            expect_equal(probe("in-use", folder), False, "in use once the lock is given back")
        return case

    def nobody():
        expect_equal(probe("in-use", fresh("no lock file")), False, "folder without a lock file")
        expect_equal(probe("in-use", fresh("lock file nobody holds", lock_file=True)), False, "lock file not held")
        expect_equal(probe("in-use", os.path.join(base, "no folder")), False, "no folder")

    def holder(then_test):
        def case():
            folder = os.path.join(base, "made by a holder %s" % then_test, "data")
            lock = os.path.join(folder, LOCK_FILE)
            process = probe.start("hold-lock", folder, *(["test"] if then_test else []))
            try:
                answer = json.loads(process.stdout.readline() or "null")
                if then_test:
                    # Its own lock does not count, and from the test on it
                    # holds the folder alone until it ends.
                    expect_equal(answer, {"held": True, "inUseAfter": False}, "holder's answer")
                    expect_equal(try_lock(lock, fcntl.LOCK_SH), False, "a shared lock beside the deleting copy")
                else:
                    expect_equal(answer, {"held": True}, "holder's answer")
                    expect_equal(try_lock(lock, fcntl.LOCK_EX), False, "an exclusive lock beside the holder")
                    expect_equal(try_lock(lock, fcntl.LOCK_SH), True, "a shared lock beside the holder")
                    expect_equal(probe("in-use", folder), True, "in use while another copy holds it")
            finally:
                process.stdin.close()
                process.wait(timeout=PROBE_TIMEOUT)
                process.stdout.close()
                process.stderr.close()
            expect_equal(probe("in-use", folder), False, "in use once the holder has ended")
        return case

    def blocked():
        path = os.path.join(base, "a file where the folder goes")
        write_file(path, b"")
        process = probe.start("hold-lock", path)
        out, _ = process.communicate(timeout=PROBE_TIMEOUT)
        expect_equal(json.loads(out), {"held": False}, "lock in a folder that cannot be made")

    return [
        ("lock: shared lock of another process", held_by_us(fcntl.LOCK_SH)),
        ("lock: exclusive lock of another process", held_by_us(fcntl.LOCK_EX)),
        ("lock: no lock file, or nobody holding it", nobody),
        ("lock: held by a running copy, folder made", holder(False)),
        ("lock: own lock dropped before the test", holder(True)),
        ("lock: folder cannot be made", blocked),
    ]


def deletion_probe_cases(probe, base):
    def tree():
        folders = DataFolders(os.path.join(base, "tree"))
        deep = os.path.join(folders.scratch, *["level %d" % n for n in range(40)], "leaf.txt")
        write_file(deep, b"deep\n")
        expect_equal(probe("delete-tree", folders.scratch), True, "deletion")
        folders.check("gone")

    def link_as_folder():
        target = os.path.join(base, "linked", "target")
        write_file(os.path.join(target, "inside.txt"), b"kept\n")
        link = os.path.join(base, "linked", "link")
        os.symlink(target, link)
        expect_equal(probe("delete-tree", link), True, "deletion of a link")
        expect_equal(os.path.lexists(link), False, "the link gone")
        expect_equal(os.path.exists(os.path.join(target, "inside.txt")), True, "what it points to kept")

    def missing():
        expect_equal(probe("delete-tree", os.path.join(base, "never made")), True, "deletion of nothing")

    return [
        ("delete tree: files, folders and links, never followed", tree),
        ("delete tree: a link in the folder's place", link_as_folder),
        ("delete tree: no folder", missing),
    ]


def wait_probe_cases(probe):
    def ends_meanwhile():
        child = subprocess.Popen(["sleep", "0.3"])
        ended = 0
        try:
            probe("wait", child.pid, 60000)
            # Not reaped yet: only its end can make it waitable.
            ended, _ = os.waitpid(child.pid, os.WNOHANG)
            expect_equal(ended, child.pid, "the process ended before the wait returned")
        finally:
            if ended != child.pid:
                child.kill()
                child.wait()

    def outlives():
        child = subprocess.Popen(["sleep", "60"])
        try:
            probe("wait", child.pid, 200)
            expect_equal(child.poll(), None, "the process still runs after the wait gave up")
        finally:
            child.kill()
            child.wait()

    def gone():
        child = subprocess.Popen(["true"])
        child.wait()
        # A long wait for a process that no longer exists would stop the probe.
        expect_equal(probe("wait", child.pid, 600000), True, "answer")
        expect_equal(probe("wait", 0, 600000), True, "answer for process 0")

    return [
        ("wait: the process ends during the wait", ends_meanwhile),
        ("wait: the process outlives the wait", outlives),
        ("wait: no such process", gone),
    ]


def mapping_probe_cases(probe):
    """How the runtime's terms become WebKitGTK's: keys, data kinds, menu targets, schemes, profiles."""
    keys = [
        ("a", 0x41), ("z", 0x5A), ("M", 0x4D), ("u", 0x55), ("0", 0x30), ("9", 0x39),
        ("Home", 0x24), ("KP_Home", 0x24), ("End", 0x23), ("Page_Up", 0x21), ("Left", 0x25), ("Down", 0x28),
        ("Insert", 0x2D), ("Delete", 0x2E), ("BackSpace", 0x08), ("Tab", 0x09), ("Return", 0x0D),
        ("KP_Enter", 0x0D), ("Escape", 0x1B), ("space", 0x20), ("Control_L", 0x11), ("Control_R", 0x11),
        ("Alt_L", 0x12), ("Shift_R", 0x10), ("F1", 0x70), ("F10", 0x79), ("F24", 0x87), ("KP_0", 0x60),
        ("KP_9", 0x69), ("KP_Add", 0x6B), ("semicolon", 0xBA), ("minus", 0xBD), ("slash", 0xBF),
        ("Super_L", 0x5B), ("Menu", 0x5D), ("Num_Lock", 0x90), ("dead_acute", 0), ("eacute", 0),
    ]
    # (released, virtual key, Ctrl, Alt) -> KEY_DOWN 0, KEY_UP 1, SYSTEM_KEY_DOWN 2, SYSTEM_KEY_UP 3
    kinds = [
        ("down", 0x4D, 0, 0, 0), ("up", 0x4D, 0, 0, 1), ("down", 0x4D, 1, 0, 0),
        ("down", 0x24, 0, 1, 2), ("up", 0x24, 0, 1, 3), ("down", 0x24, 1, 1, 0),
        ("down", 0x12, 0, 0, 2), ("up", 0x12, 0, 1, 3), ("down", 0x79, 0, 0, 2), ("down", 0x11, 0, 0, 0),
    ]
    # Browsing data kinds -> WebKitWebsiteDataTypes
    data = [
        (0x100, 0x2), (0x40, 0x100), (0x140, 0x102), (0x2, 0x40), (0x4, 0x10), (0x8, 0x20), (0x10, 0x2000),
        (0x20, 0x2070), (0x80, 0x3FFC), (0x8000, 0x1000), (0x4000, 0x3FFF), (0x1, 0), (0x3E00, 0),
    ]
    # Hit-test context bits -> [kind, has a link]: PAGE 0, IMAGE 1, SELECTED_TEXT 2, VIDEO 4
    targets = [
        (0x2, [0, False]), (0x2 | 0x4, [0, True]), (0x2 | 0x8, [1, False]), (0x2 | 0x4 | 0x8, [1, True]),
        (0x2 | 0x10, [4, False]), (0x2 | 0x80, [2, False]), (0x2 | 0x4 | 0x80, [2, True]),
        (0x2 | 0x20, [0, False]), (0x2 | 0x40, [0, False]), (0x2 | 0x20 | 0x80, [2, False]),
    ]
    schemes = [("http", True), ("https", True), ("file", True), ("data", True), ("about", True), ("blob", True),
               ("mailto", False), ("tel", False), ("ftp", False), ("ms-settings", False)]
    folders = [("/d", "", "/d/Default"), ("/d", "Work 1", "/d/Profiles/work 1"),
               ("/d", "AbC~x", "/d/Profiles/abc~x")]
    cases = []
    for name, wanted in keys:
        cases.append(("virtual key of %s" % name,
                      lambda name=name, wanted=wanted: expect_equal(probe("virtual-key", name), wanted, name)))
    for released, key, control, alt, wanted in kinds:
        what = "%s of %#x, Ctrl %d, Alt %d" % (released, key, control, alt)
        cases.append(("key kind: " + what, lambda r=released, k=key, c=control, a=alt, w=wanted, what=what:
                      expect_equal(probe("key-kind", r, k, c, a), w, what)))
    for kinds_value, wanted in data:
        cases.append(("data kinds %#x" % kinds_value, lambda k=kinds_value, w=wanted:
                      expect_equal(probe("data-types", k), w, "WebKit data types of %#x" % k)))
    for context, wanted in targets:
        cases.append(("menu target of hit-test %#x" % context, lambda c=context, w=wanted:
                      expect_equal(probe("menu-target", c), w, "target kind of %#x" % c)))
    for scheme, wanted in schemes:
        cases.append(("engine loads %s:" % scheme, lambda sc=scheme, w=wanted:
                      expect_equal(probe("engine-scheme", sc), w, scheme)))
    for folder, name, wanted in folders:
        cases.append(("profile folder of %r" % name, lambda f=folder, n=name, w=wanted:
                      expect_equal(probe("profile-folder", f, n), w, "folder")))
    return cases


def runtime_probe_cases(probe, folder):
    """The runtime's objects built in a window of the probe's own."""
    def case():
        answer = probe("runtime", os.path.join(folder, "runtime data"),
                       env={"WEBKIT_DISABLE_COMPOSITING_MODE": "1"})
        expect_equal({name: answer[name] for name in ("environment", "options", "menuItem", "controller", "webView",
                                                       "settings", "profile")}, {
            "environment": ["IUnknown", "Environment", "Environment9", "Environment10"],
            "options": ["IUnknown", "ControllerOptions"],
            "menuItem": ["IUnknown", "ContextMenuItem"],
            "controller": ["IUnknown", "Controller"],
            "webView": ["IUnknown", "WebView", "WebView4", "WebView8", "WebView11", "WebView13"],
            "settings": ["IUnknown", "Settings", "Settings3", "Settings4"],
            "profile": ["IUnknown", "Profile", "Profile2"],
        }, "interfaces answered")
        expect_equal((answer["created"], answer["completedInCall"]), ("0x00000000", False),
                     "controller created, completed later from the main loop")
        expect_equal(answer["secondView"], "0x80070057", "a second view in the same window")
        expect_equal(answer["profileNames"], {"Work 1": "0x00000000", "a#@$()+-_~.b": "0x00000000",
                                              "a,b": "0x80070057", "caf\u00e9": "0x80070057", "..": "0x80070057",
                                              "": "0x00000000"}, "put_ProfileName")
        expect_equal(answer["navigate"], {"about:blank": "0x00000000", "/no/such/file.html": "0x00000000",
                                          "relative/page.html": "0x80070057",
                                          "Example.COM/Some Path?q=1": "0x80070057",
                                          "https://example.com/a b": "0x00000000", "": "0x80070057"}, "Navigate")
        expect_equal(answer["source"], "https://example.com/a%20b", "source after the last navigation")
        # [kind, virtual key, WasKeyDown]: Ctrl+M pressed and released at the window before the view is on
        # screen; then at the view: Ctrl+M, held (a repeat), the same event again (not heard twice),
        # released; Ctrl+Shift+M; Alt+Home pressed and released (system keys); Ctrl+Alt+Home (no system key).
        expect_equal(answer["muted"], [True, False, True], "the engine's muting after TRUE, FALSE, TRUE")
        expect_equal(answer["keys"], [[0, 0x4D, 0], [1, 0x4D, 1],
                                      [0, 0x4D, 0], [0, 0x4D, 1], [1, 0x4D, 1], [0, 0x4D, 0], [1, 0x4D, 1],
                                      [2, 0x24, 0], [3, 0x24, 1], [0, 0x24, 0]], "key events heard")
        expect_equal((answer["closed"], answer["navigateAfterClose"]), ("0x00000000", "0x8007139F"),
                     "Close, then Navigate")
        # The browser process is the engine's network process, a child of the probe, which ends once the
        # view is closed and the wait for it has let the engine finish.
        expect_equal((answer["browserProcess"], answer["browserIsChild"], answer["browserEndedAfterClose"]),
                     ("WebKitNetworkPr", True, True), "browser process")
        # The profile was the default one: its data lives in "Default".
        expect_equal(os.listdir(os.path.join(folder, "runtime data")), ["Default"], "data folder")
    return [("runtime: interfaces, completion, profile names, addresses, close", case)]


def probe_cases(probe, workdir):
    folder = os.path.join(workdir, "probe")
    os.makedirs(folder, exist_ok=True)
    return (registry_probe_cases(probe) + expansion_probe_cases(probe) + icon_probe_cases(probe, folder) +
            file_probe_cases(probe, folder) + ansi_probe_cases(probe, workdir) +
            data_folder_probe_cases(probe, folder) + lock_probe_cases(probe, os.path.join(folder, "locks")) +
            deletion_probe_cases(probe, os.path.join(folder, "deletion")) + wait_probe_cases(probe) +
            mapping_probe_cases(probe) + runtime_probe_cases(probe, folder))


def make_files(workdir):
    with open(os.path.join(workdir, EXISTING_FILE), "w", encoding="utf-8") as page:
        page.write("<p>page</p>\n")
    os.makedirs(os.path.join(workdir, FOLDER_NAMED_HTML))
    write_file(os.path.join(workdir, ICON_FILE), ico_bytes(ICON_IMAGES))
    write_file(os.path.join(workdir, PICTURE_FILE), png_bytes(*PICTURE))
    home = os.path.join(workdir, "home")
    os.makedirs(home)
    return home


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="the program to test")
    parser.add_argument("--probe", help="vistrel-platform-probe (default: beside the program)")
    parser.add_argument("--shots", help="save a screenshot of every box and window in this folder")
    parser.add_argument("--only", help="run only the cases whose name contains this text")
    arguments = parser.parse_args()
    exe = os.path.abspath(arguments.exe)
    probe_path = os.path.abspath(arguments.probe or os.path.join(os.path.dirname(exe), "vistrel-platform-probe"))
    for program in (exe, probe_path):
        if not os.access(program, os.X_OK):
            print("FAIL setup: %s is not an executable" % program)
            print("0 passed, 1 failed")
            return 1

    started = time.monotonic()
    try:
        session = Session()
    except (OSError, RuntimeError, subprocess.SubprocessError) as problem:
        print("FAIL setup: %s" % problem)
        print("0 passed, 1 failed")
        return 1
    if arguments.shots:
        os.makedirs(arguments.shots, exist_ok=True)
    workdir = tempfile.mkdtemp(prefix="vistrel-e2e-")
    passed = failed = 0
    xserver = site = None
    try:
        home = make_files(workdir)
        xserver = XServer(session.display)
        # The client library finds its bus when it is first imported.
        os.environ.update(session.environment())
        import gi
        gi.require_version("Atspi", "2.0")
        import pyatspi

        run = Run(pyatspi, session, xserver, xserver.display_layout(), exe, workdir, home, arguments.shots)
        cases = [(case.name, lambda case=case: run_case(run, case)) for case in CASES]
        cases += [("probe: " + name, check) for name, check in probe_cases(Probe(probe_path, run), workdir)]
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import web_cases
        web, site = web_cases.web_cases(sys.modules[__name__], run)
        cases += web
        for name, check in cases:
            if arguments.only and arguments.only not in name:
                continue
            try:
                note = check()
                print("ok  " + name + (" (%s)" % note if note else ""), flush=True)
                passed += 1
            except CaseFailure as failure:
                print("FAIL %s: %s" % (name, failure), flush=True)
                failed += 1
            except Exception as problem:  # the accessibility client or a helper tool broke
                print("FAIL %s: %s: %s" % (name, type(problem).__name__, problem), flush=True)
                failed += 1
    finally:
        if site is not None:
            site.close()
        if xserver is not None:
            xserver.close()
        session.close()
        shutil.rmtree(workdir, ignore_errors=True)
    print("ran in %.1f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
