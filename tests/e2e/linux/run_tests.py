#!/usr/bin/python3
"""End-to-end tests of the Linux program's start-up paths.

Runs the real program once per case, reads the box it shows through the
accessibility interface (AT-SPI) the way a screen reader would, presses its
button and checks the exit code. Needs an X display ($DISPLAY, or an Xvfb
started here) and starts its own private D-Bus session, whose accessibility
bus the program and these tests share.

Run with the system Python, which has the GObject bindings:
    /usr/bin/python3 tests/e2e/linux/run_tests.py --exe build/src/platform/gtk/vistrel
"""

import argparse
import dataclasses
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BOX_TIMEOUT = 15.0   # until a box must be on screen
EXIT_TIMEOUT = 15.0  # until the program must have ended

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
class Case:
    name: str
    args: list
    locale: dict
    expect: object
    display: bool = True


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
    Case("/l name with slash", ["/l", "a/b.html"], EN, Box(" - File name or folder name is invalid.")),
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
    # Accepted command lines: the window does not exist yet, so the run ends
    Case("address only", ["about:blank"], EN, NoBox(0)),
    Case("title and address with switches", ["/s", "800", "600", "/m", "/z", "/a", "/u", "Title",
                                             "https://example.com/"], EN, NoBox(0)),
    Case("full screen, kept data", ["/k", "/d:Work 1", "/i", "app.ico, 2", "a"], JA, NoBox(0)),
    Case("existing file", [EXISTING_FILE], EN, NoBox(0)),
    Case("/l existing file", ["/lus", EXISTING_FILE], EN, NoBox(0)),
    # Without a display the text goes to stderr
    Case("no display", [], EN, Stderr("vistrel: Address is not specified.\n"), display=False),
    Case("no display, Japanese", ["/x"], JA, Stderr("vistrel: /x - パラメータが正しくありません。\n"), display=False),
    Case("no display, /void", ["/void"], EN, NoBox(0), display=False),
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


def read_box(pyatspi, session, process):
    found = find_box(pyatspi, process)
    if found is None:
        raise CaseFailure("ended with exit code %s without a box" % process.returncode)
    window, nodes, buttons, labels = found
    if window.getRole() != pyatspi.ROLE_ALERT:
        raise CaseFailure("box role is %s, not alert" % window.getRoleName())
    if window.name != "vistrel":
        raise CaseFailure("box accessible name %r" % window.name)
    titles = x_window_titles(session.display, process.pid)
    if titles != ["vistrel"]:
        raise CaseFailure("window titles on the display: %r" % titles)
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


# ---- Running one case ---------------------------------------------------------------------

def case_environment(session, case):
    # X11 only, where the tests look, and nothing that keeps the toolkit
    # from speaking to the accessibility bus.
    dropped = LOCALE_VARIABLES + ("NO_AT_BRIDGE", "GTK_MODULES", "WAYLAND_DISPLAY", "GDK_BACKEND",
                                  "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS")
    env = {k: v for k, v in os.environ.items() if k not in dropped}
    env.update(case.locale)
    if case.display:
        env.update(session.environment())
    return env


def check_stderr_clean(stderr):
    bad = [line for line in stderr.splitlines() if "CRITICAL" in line or "-WARNING" in line]
    if bad:
        raise CaseFailure("toolkit complained: " + bad[0])


def run_case(pyatspi, session, exe, workdir, shots, case):
    env = case_environment(session, case)
    stderr_file = tempfile.TemporaryFile(mode="w+", encoding="utf-8", errors="replace")
    process = subprocess.Popen([exe] + case.args, cwd=workdir, env=env,
                               stdout=subprocess.DEVNULL, stderr=stderr_file)
    try:
        expect = case.expect
        if isinstance(expect, (NoBox, Stderr)):
            code = wait_without_box(pyatspi, process, watch_boxes=case.display)
            wanted = expect.exit_code if isinstance(expect, NoBox) else 0
            if code != wanted:
                raise CaseFailure("exit code %d, expected %d" % (code, wanted))
            stderr_file.seek(0)
            stderr = stderr_file.read()
            if isinstance(expect, Stderr) and stderr != expect.text:
                raise CaseFailure("stderr %r, expected %r" % (stderr, expect.text))
            check_stderr_clean(stderr)
            return

        text, text_interface, icons, buttons = read_box(pyatspi, session, process)
        if isinstance(expect, Usage):
            check_usage(pyatspi, text, text_interface, expect)
            warning = False
        else:
            if expect.pattern is not None:
                if not re.match(expect.pattern, text):
                    raise CaseFailure("text %r does not match %r" % (text, expect.pattern))
            elif text != expect.text:
                raise CaseFailure("text %r, expected %r" % (text, expect.text))
            warning = expect.warning
        if warning and (len(icons) != 1 or not icons[0].name):
            raise CaseFailure("warning box without a named icon")
        if not warning and icons:
            raise CaseFailure("plain box with an icon %r" % icons[0].name)
        if len(buttons) != 1:
            raise CaseFailure("%d buttons: %r" % (len(buttons), [b.name for b in buttons]))
        if shots:
            shot = os.path.join(shots, re.sub(r"[^A-Za-z0-9]+", "-", case.name).strip("-") + ".png")
            subprocess.run(["import", "-display", session.display, "-window", "root", shot], check=False)
        press(pyatspi, buttons[0])
        try:
            code = process.wait(timeout=EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise CaseFailure("still running after OK was pressed")
        if code != 0:
            raise CaseFailure("exit code %d after OK" % code)
        stderr_file.seek(0)
        check_stderr_clean(stderr_file.read())
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        stderr_file.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="the program to test")
    parser.add_argument("--shots", help="save a screenshot of every box in this folder")
    parser.add_argument("--only", help="run only the cases whose name contains this text")
    arguments = parser.parse_args()
    exe = os.path.abspath(arguments.exe)
    if not os.access(exe, os.X_OK):
        print("FAIL setup: %s is not an executable" % exe)
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
    try:
        with open(os.path.join(workdir, EXISTING_FILE), "w", encoding="utf-8") as page:
            page.write("<p>page</p>\n")
        # The client library finds its bus when it is first imported.
        os.environ.update(session.environment())
        import gi
        gi.require_version("Atspi", "2.0")
        import pyatspi

        for case in CASES:
            if arguments.only and arguments.only not in case.name:
                continue
            try:
                run_case(pyatspi, session, exe, workdir, arguments.shots, case)
                print("ok  " + case.name, flush=True)
                passed += 1
            except CaseFailure as failure:
                print("FAIL %s: %s" % (case.name, failure), flush=True)
                failed += 1
            except Exception as problem:  # the accessibility client or a helper tool broke
                print("FAIL %s: %s: %s" % (case.name, type(problem).__name__, problem), flush=True)
                failed += 1
    finally:
        session.close()
        shutil.rmtree(workdir, ignore_errors=True)
    print("ran in %.1f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
