#!/usr/bin/python3
"""Runs the shared end-to-end table (../cases.jsonl, read by ../table.py) against the Linux program.

Each row runs the real program under X (an Xvfb of our own unless $DISPLAY is set) with its own HOME,
XDG and TMPDIR folders. Boxes are read and answered through the accessibility bus of a private D-Bus
session, the window is read from the X server. Pages come from a loopback server of our own: every
path is a page that offers the row's steps as links, one 60 pixels below the other, and asks for
/shown<path> once it is shown; HTML files of the row get the same links appended. Addresses handed
to the desktop reach a stand-in default handler, which writes them into a file.

    /usr/bin/python3 tests/e2e/linux/run_tests.py --exe build/linux/vistrel [--only TEXT]
"""

import argparse
import ctypes
import ctypes.util
import html
import http.server
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import table  # noqa: E402

WAIT = 30.0   # until a window, page, box, menu or the end must be there (the machine may be busy)
SETTLE = 3.0  # how long the effect of a step that leaves no mark is given to show
OWN_ITEMS = ("Home", "Mute", "Unmute", "Clear Data", "ホーム", "ミュート", "ミュート解除", "データクリア")
# The message locale is LC_ALL, else LC_MESSAGES, else LANG: each language is set so that a program
# reading them in another order would see the other one.
LANGS = {"en": {"LC_ALL": "", "LC_MESSAGES": "en_US.UTF-8", "LANG": "ja_JP.UTF-8"},
         "ja": {"LC_ALL": "ja_JP.UTF-8", "LC_MESSAGES": "en_US.UTF-8", "LANG": "en_US.UTF-8"}}
DROPPED = ("LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE", "NO_AT_BRIDGE", "GTK_MODULES", "WAYLAND_DISPLAY",
           "GDK_BACKEND", "GDK_SCALE")


# ---- The X server, through libX11 -----------------------------------------------------------

class Attributes(ctypes.Structure):
    _fields_ = [(n, ctypes.c_int) for n in ("x", "y", "width", "height", "border", "depth")] + [
        ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong)] + [(n, ctypes.c_int) for n in ("c", "b", "w", "s")] + [
        ("planes", ctypes.c_ulong), ("pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
        ("colormap", ctypes.c_ulong), ("installed", ctypes.c_int), ("map_state", ctypes.c_int),
        ("rest", ctypes.c_long * 8)]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]


class X:
    def __init__(self, display):
        self.x = x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        p, ul, i, ref = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.POINTER
        for name, result, arguments in (
                ("XOpenDisplay", p, [ctypes.c_char_p]), ("XDefaultRootWindow", ul, [p]),
                ("XInternAtom", ul, [p, ctypes.c_char_p, i]), ("XFree", i, [p]), ("XSync", i, [p, i]),
                ("XQueryTree", i, [p, ul, ref(ul), ref(ul), ref(ref(ul)), ref(ctypes.c_uint)]),
                ("XGetWindowProperty", i, [p, ul, ul, ctypes.c_long, ctypes.c_long, i, ul, ref(ul), ref(i), ref(ul),
                                           ref(ul), ref(p)]),
                ("XGetWindowAttributes", i, [p, ul, ref(Attributes)]),
                ("XTranslateCoordinates", i, [p, ul, ul, i, i, ref(i), ref(i), ref(ul)]),
                ("XSendEvent", i, [p, ul, i, ctypes.c_long, ref(ClientMessage)]),
                ("XSetErrorHandler", p, [p])):
            getattr(x, name).restype, getattr(x, name).argtypes = result, arguments
        # A window that goes while it is read is an X error, which would otherwise end this process.
        self.on_error = ctypes.CFUNCTYPE(i, p, p)(lambda *_: 0)
        x.XSetErrorHandler(ctypes.cast(self.on_error, p))
        self.d = x.XOpenDisplay(display.encode())
        self.root = x.XDefaultRootWindow(self.d)

    def atom(self, name):
        return self.x.XInternAtom(self.d, name.encode(), 0)

    def prop(self, window, name):
        """The property's items (bytes for 8-bit ones, else numbers), or None."""
        kind, size, count, left, data = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong(), \
            ctypes.c_void_p()
        if self.x.XGetWindowProperty(self.d, window, self.atom(name), 0, 1 << 24, 0, 0, kind, size, count, left,
                                     data) != 0 or not kind.value:
            return None
        if size.value == 8:
            items = ctypes.string_at(data, count.value)
        else:  # 32-bit items come as C longs
            items = [v & 0xFFFFFFFF for v in ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[:count.value]]
        self.x.XFree(data)
        return items

    def windows_of(self, pid):
        """The process's shown top-level windows."""
        root, parent, children, count = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.POINTER(ctypes.c_ulong)(), \
            ctypes.c_uint()
        self.x.XQueryTree(self.d, self.root, root, parent, children, count)
        found = [children[n] for n in range(count.value)]
        if children:
            self.x.XFree(children)
        shown = Attributes()
        return [w for w in found if (self.prop(w, "_NET_WM_PID") or [0])[0] == pid and
                self.x.XGetWindowAttributes(self.d, w, shown) and shown.map_state == 2]

    def rect(self, window):
        shown, x, y, child = Attributes(), ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        self.x.XGetWindowAttributes(self.d, window, shown)
        self.x.XTranslateCoordinates(self.d, window, self.root, 0, 0, x, y, child)
        return [x.value, y.value, shown.width, shown.height]

    def close(self, window):
        """What a window manager sends when the user closes the window."""
        event = ClientMessage(type=33, window=window, message_type=self.atom("WM_PROTOCOLS"), format=32)
        event.data[0] = self.atom("WM_DELETE_WINDOW")
        self.x.XSendEvent(self.d, window, 0, 0, event)
        self.x.XSync(self.d, 0)

    def title(self, window):
        name = self.prop(window, "_NET_WM_NAME")
        return name.decode("utf-8", "replace") if name is not None else None

    def facts(self, window):
        hints = self.prop(window, "WM_NORMAL_HINTS") or [0] * 9
        motif = self.prop(window, "_MOTIF_WM_HINTS")
        states = self.prop(window, "_NET_WM_STATE") or []
        fixed = hints[0] & 48 == 48 and hints[5:7] == hints[7:9]  # PMinSize and PMaxSize, the same
        undecorated = bool(motif and motif[0] & 2 and motif[2] == 0)
        full = self.atom("_NET_WM_STATE_FULLSCREEN") in states
        style = {(False, False, False): "normal", (True, False, False): "fixed", (False, True, True): "popup"}.get(
            (fixed, undecorated, full), f"fixed {fixed}, undecorated {undecorated}, full screen {full}")
        maximized = all(self.atom("_NET_WM_STATE_MAXIMIZED_" + a) in states for a in ("HORZ", "VERT"))
        return {"title": self.title(window), "rect": self.rect(window), "style": style, "maximized": maximized,
                "icon": bool(self.prop(window, "_NET_WM_ICON"))}


# ---- The loopback site -------------------------------------------------------------------------

class Site(http.server.ThreadingHTTPServer):
    """Every path is a page with the current row's steps as links; every request is logged as an address."""
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Page)
        self.log, self.steps, self.lock = [], [], threading.Lock()
        port = self.server_address[1]
        self.hosts = {"site": f"http://127.0.0.1:{port}", "other": f"http://localhost:{port}"}
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def since(self, mark, prefix=""):
        with self.lock:
            return [a for a in self.log[mark:] if a.split("/", 3)[3].startswith(prefix)]

    def links(self, download):
        """The steps as links at known spots, then nothing else: the page has no title of its own."""
        rows = []
        for step in self.steps:
            verb, _, rest = step.partition(" ")
            attributes = {"go": {"href": rest}, "open": {"href": rest, "target": "_blank"}, "download": download,
                          "title": {"href": "#", "onclick": f"document.title = {json.dumps(rest)}; new Image().src"
                                    f" = '{self.hosts['site']}/did/title'; return false"}}.get(verb)
            rows.append("<a %s>%s</a>" % (" ".join(f'{k}="{html.escape(v)}"' for k, v in attributes.items()), verb)
                        if attributes else "<div></div>")
        return ("<style>body{margin:0} a,div{display:block;height:60px;width:300px}</style>" + "".join(rows))


class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        site, host = self.server, self.headers.get("Host", "")
        with site.lock:
            site.log.append(f"http://{host}{self.path}")
        headers, body = {"Content-Type": "text/html; charset=utf-8", "Cache-Control": "no-store"}, b""
        if self.path.startswith(("/shown", "/did", "/loaded")):
            self.send_response(204)
        elif self.path == "/download":
            self.send_response(200)
            headers.update({"Content-Type": "text/plain", "Content-Disposition": "attachment; filename=notes.txt"})
            body = b"notes\n"
        else:
            self.send_response(200)
            # A frame from the other host, which is no page of the view's own and never decided on.
            other = site.hosts["other" if host in site.hosts["site"] else "site"]
            frame = self.path.startswith("/frame/")
            body = (site.links({"href": "/download"}) + ("" if frame else f'<iframe src="{other}/frame/"></iframe>'
                                                           f'<img src="/shown{self.path}" width=1 height=1>')).encode()
        for name, value in dict(headers, **{"Content-Length": str(len(body))}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


# ---- One row ----------------------------------------------------------------------------------

def icon_file():
    """An .ico file of one 16 by 16 PNG image."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)) + chunk(
        b"IDAT", zlib.compress((b"\0" + b"\x20\x60\xc0\xff" * 16) * 16)) + chunk(b"IEND", b"")
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, 16, 16, 0, 0, 1, 32, len(png), 22) + png


class Row:
    def __init__(self, runner, folder, case):
        self.r, self.x, self.site, self.folder = runner, runner.x, runner.site, folder
        self.boxes, self.menu, self.writes, self.window = [], None, 0, None
        self.path = lambda *names: os.path.join(folder, *names)
        self.handed_file = self.path("handed")
        self.html = [n for n in case.get("files", {}) if n.endswith(".html")]
        self.site.steps = case.get("do", [])
        for name in ("home", "tmp", "data/applications", "config", "cache", "files"):
            os.makedirs(self.path(name), exist_ok=True)
        recorder = self.path("record")
        with open(recorder, "w") as script:
            script.write(f"#!/bin/sh\nprintf '%s\\n' \"$1\" >> '{self.handed_file}'\n")
        os.chmod(recorder, 0o755)
        schemes = ["x-scheme-handler/" + s for s in ("http", "https", "mailto")]
        with open(self.path("data/applications/stand-in.desktop"), "w") as entry:
            entry.write(f"[Desktop Entry]\nType=Application\nName=Stand-in\nExec=\"{recorder}\" %u\n"
                        f"MimeType={';'.join(schemes)};\nNoDisplay=true\n")
        with open(self.path("config/mimeapps.list"), "w") as defaults:
            defaults.write("[Default Applications]\n" + "".join(f"{s}=stand-in.desktop\n" for s in schemes))
        for name, text in case.get("files", {}).items():
            self.write(name, text)

    def write(self, name, text):
        """The case's file; an HTML file with the steps' links and a mark of each time it is shown."""
        if text == "{icon}":
            data = icon_file()
        else:
            self.writes += 1
            download = {"download": "notes.txt", "href": "data:text/plain,notes"}
            mark = f'<img src="{self.site.hosts["site"]}/loaded/{self.writes}" width=1 height=1>'
            data = (text + (self.site.links(download) + mark if name.endswith(".html") else "")).encode()
        with open(self.path("files", name), "wb") as file:
            file.write(data)

    # What is seen

    def alive(self):
        return self.process.poll() is None

    def wait(self, check, what=None, timeout=WAIT):
        """Waits until check() gives something true, answering every box meanwhile; fails after timeout
        only when told what is waited for."""
        deadline = time.monotonic() + timeout
        while True:
            self.answer_boxes()
            got = check()
            if got or time.monotonic() > deadline:
                if not got and what:
                    raise RuntimeError(f"no {what} within {timeout:.0f} s")
                return got
            time.sleep(0.05)

    def accessible_windows(self):
        """The program's top-level accessibles other than the main window: boxes and menus."""
        a = self.r.atspi
        try:
            for app in a.Registry.getDesktop(0):
                if app is not None and app.get_process_id() == self.process.pid:
                    return [w for w in app if w is not None and w.getRole() != a.ROLE_FRAME and
                            w.getState().contains(a.STATE_SHOWING)]
        except Exception:  # something went while it was read; the next look sees the rest
            pass
        return []

    def below(self, accessible, role):
        found = []
        for child in accessible:
            if child is not None:
                found += ([child] if child.getRole() == role else []) + self.below(child, role)
        return found

    def answer_boxes(self):
        a = self.r.atspi
        for window in self.accessible_windows():
            try:
                buttons = self.below(window, a.ROLE_PUSH_BUTTON)
                labels = [n for n in self.below(window, a.ROLE_LABEL) if n.name]
                if not buttons or len(labels) != 1:
                    continue
                self.boxes.append(labels[0].queryText().getText(0, -1))
                # A Yes/No box is answered Yes, any other pressed.
                button = [b for b in buttons if b.name.startswith(("Yes", "はい"))] if len(buttons) > 1 else buttons
                button[0].queryAction().doAction(0)
            except Exception:  # a box that went meanwhile is read again on the next look, if still there
                continue
            deadline = time.monotonic() + WAIT
            while self.alive() and time.monotonic() < deadline and window.getState().contains(a.STATE_SHOWING):
                time.sleep(0.05)

    def menu_items(self):
        return [i for w in self.accessible_windows() for i in self.below(w, self.r.atspi.ROLE_MENU_ITEM)]

    def followed(self):
        return [a.replace("/shown/", "/", 1) for a in self.site.since(self.mark, "shown")]

    def handed(self):
        if not os.path.exists(self.handed_file):
            return []
        with open(self.handed_file) as record:
            return record.read().splitlines()

    def title(self):
        return self.x.title(self.window) if self.window in self.x.windows_of(self.process.pid) else None

    # What the user does

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=dict(os.environ, DISPLAY=self.r.display), check=True,
                       timeout=WAIT)

    def click(self, spot, button=1):
        left, top, _, _ = self.x.rect(self.window)
        self.xdotool("mousemove", left + spot[0], top + spot[1], "click", button)

    def step(self, index, step, following):
        verb, _, rest = step.partition(" ")
        link = (40, 30 + 60 * index)
        left, top, width, height = self.x.rect(self.window)
        blank = (width - 40, height - 40)
        mark = len(self.site.log)
        if verb in ("go", "open"):
            self.click(link)
            self.wait(lambda: self.site.since(mark, rest.split("/", 3)[-1]) or rest in self.handed())
            self.wait(lambda: rest in self.followed() or rest in self.handed(), timeout=SETTLE)
        elif verb == "title":
            self.click(link)
            self.wait(lambda: self.site.since(mark, "did/title"), "sign of the title's link clicked")
            self.wait(lambda: self.title() == rest, timeout=SETTLE)
        elif verb == "key":
            self.click(blank)
            self.xdotool("key", "--clearmodifiers", rest)
            self.wait(lambda: self.site.since(mark, "shown"), timeout=SETTLE)
        elif verb == "menu":
            self.click(blank, 3)
            items = self.wait(self.menu_items, timeout=WAIT)
            self.menu = [item.name for item in items if item.name in OWN_ITEMS]
            if not following.startswith("choose"):
                self.xdotool("key", "Escape")
                self.wait(lambda: not self.menu_items(), "menu closed")
        elif verb == "choose":
            chosen = [item for item in self.menu_items() if item.name == rest]
            if not chosen:
                raise RuntimeError(f"no menu item {rest!r}")
            box = chosen[0].queryComponent().getExtents(self.r.atspi.DESKTOP_COORDS)
            self.xdotool("mousemove", box.x + box.width // 2, box.y + box.height // 2, "click", 1)
            self.wait(lambda: not self.menu_items(), "menu closed")
        elif verb == "download":
            count = len(self.boxes)
            self.click(link)
            self.wait(lambda: len(self.boxes) > count or not self.alive())
        elif verb == "write":
            name, _, text = rest.partition(" ")
            self.write(name, text)
            self.wait(lambda: self.site.since(mark, f"loaded/{self.writes}"))
        elif verb == "delete":
            os.remove(self.path("files", rest))
            self.wait(lambda: not self.alive())
        else:
            raise RuntimeError(f"unknown step {step!r}")

    def run(self, case, env):
        self.mark = len(self.site.log)
        with tempfile.TemporaryFile("w+", errors="replace") as stderr:
            self.process = subprocess.Popen([self.r.exe, *case["args"]], cwd=self.path("files"), env=env,
                                            stdout=subprocess.DEVNULL, stderr=stderr)
            try:
                facts = self.follow(case)
            finally:
                if self.alive():
                    self.process.kill()
                    self.process.wait()
            stderr.seek(0)
            complaints = [line for line in stderr.read().splitlines() if "CRITICAL" in line]
            if complaints:
                raise RuntimeError("the toolkit complained: " + complaints[0])
        return facts

    def follow(self, case):
        facts = {}
        normal = self.x.atom("_NET_WM_WINDOW_TYPE_NORMAL")
        windows = self.wait(lambda: not self.alive() or [w for w in self.x.windows_of(self.process.pid)
                                                          if normal in (self.x.prop(w, "_NET_WM_WINDOW_TYPE") or [])],
                            "window or end")
        if self.alive():
            self.window = windows[0]
            # Shown: the first page has asked for its mark, or the window has gone by itself.
            self.wait(lambda: not self.alive() or self.site.since(self.mark, "shown") or
                      self.site.since(self.mark, "loaded"), "page shown")
            if self.alive():
                facts["window"] = self.x.facts(self.window)
            steps = case.get("do", [])
            for index, step in enumerate(steps):
                if self.alive():
                    self.step(index, step, (steps[index + 1:] or [""])[0])
            # Effects that come after a step without a mark of their own are given their time.
            expect = case.get("expect", {})
            seen = {"title": self.title, "followed": self.followed, "handed": self.handed,
                    "closed by itself": lambda: not self.alive()}
            self.wait(lambda: all(seen[k]() == v for k, v in expect.items() if k in seen), timeout=SETTLE)
            facts["title"] = self.title()
            facts["closed by itself"] = not self.alive() or self.title() is None
            if self.alive() and self.title() is not None:
                self.x.close(self.window)
        self.wait(lambda: not self.alive(), "end")
        scratch, kept = self.path("tmp", "vistrel.webkit"), self.path("data", "vistrel.webkit")
        kept_data = os.path.isdir(kept) and set(os.listdir(kept)) - {"lockfile"}
        data = ("gone" if not os.path.lexists(scratch) and not os.path.lexists(kept) else
                "kept" if kept_data and not os.path.lexists(scratch) else
                f"scratch {os.path.lexists(scratch)}, kept {os.path.lexists(kept)} with {sorted(kept_data or [])}")
        facts.update(boxes=self.boxes, exit=self.process.returncode, followed=self.followed(), handed=self.handed(),
                     menu=self.menu, data=data)
        if self.html:
            facts["file"] = "kept" if os.path.exists(self.path("files", self.html[0])) else "gone"
        return facts


# ---- The session --------------------------------------------------------------------------------

class Runner:
    def __init__(self, exe):
        self.exe, self.processes = exe, []
        self.work = tempfile.mkdtemp(prefix="vistrel-e2e-")
        self.display = os.environ.get("DISPLAY") or self.start_xvfb()
        bare = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        # The bus and the accessibility bus it starts see no display, so they leave the display alone.
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=bare,
                         stdout=subprocess.PIPE, text=True)
        self.buses = {"DISPLAY": self.display, "DBUS_SESSION_BUS_ADDRESS": bus.stdout.readline().strip()}
        a11y = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                               "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=dict(bare, **self.buses),
                              capture_output=True, text=True, timeout=WAIT)
        self.buses["AT_SPI_BUS_ADDRESS"] = a11y.stdout.strip()
        os.environ.update(self.buses)  # the accessibility client finds its bus when it is first loaded
        import gi
        gi.require_version("Atspi", "2.0")
        import pyatspi
        self.atspi, self.x, self.site, self.rows = pyatspi, X(self.display), Site(), 0
        area = self.x.prop(self.x.root, "_NET_WORKAREA")
        screen = self.x.rect(self.x.root)
        self.areas = {"screen": screen, "workarea": area[:4] if area else screen}
        self.next_folder()

    def spawn(self, argv, **kwargs):
        self.processes.append(subprocess.Popen(argv, start_new_session=True, stderr=subprocess.DEVNULL, **kwargs))
        return self.processes[-1]

    def start_xvfb(self):
        read, write = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                   pass_fds=(write,), stdout=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            return ":" + pipe.readline().strip()

    def next_folder(self):
        """The next row's own folder, known before its placeholders are filled in."""
        self.rows += 1
        self.folder = os.path.join(self.work, f"row {self.rows}")

    def places(self):
        return dict(self.site.hosts, **{"file": lambda name: os.path.join(self.folder, "files", name),
                                        "workarea-width+1": self.areas["workarea"][2] + 1})

    def run_row(self, case):
        folder = self.folder
        self.next_folder()
        row = Row(self, folder, case)
        env = {k: v for k, v in os.environ.items() if k not in DROPPED}
        env.update(self.buses, **LANGS[case.get("lang", "en")])
        env.update(HOME=row.path("home"), TMPDIR=row.path("tmp"),
                   XDG_DATA_HOME=row.path("data"), XDG_CONFIG_HOME=row.path("config"),
                   XDG_CACHE_HOME=row.path("cache"), WEBKIT_DISABLE_COMPOSITING_MODE="1")
        return row.run(case, env)

    def close(self):
        self.site.shutdown()
        for process in reversed(self.processes):
            os.killpg(process.pid, signal.SIGTERM)
            process.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description="The end-to-end table against the Linux program.")
    parser.add_argument("--exe", required=True, help="the program to test")
    parser.add_argument("--only", help="run only the rows whose name holds this text")
    arguments = parser.parse_args()
    runner = Runner(os.path.abspath(arguments.exe))
    try:
        code = table.run_table("linux", runner.places(), runner.run_row, runner.areas, arguments.only)
    finally:
        runner.close()
    return code


if __name__ == "__main__":
    sys.exit(main())
