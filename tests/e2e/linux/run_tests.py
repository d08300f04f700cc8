#!/usr/bin/python3
"""Runs the shared end-to-end table (../cases.jsonl, read by ../table.py) against the Linux program.

Each row runs the program under X (or, with a session, weston's headless compositor) with its own HOME, XDG
and TMPDIR folders. Boxes are read and answered through the accessibility bus of a private D-Bus session,
the window is read from the X server. Every path of our loopback site is a page offering the row's steps as
links, 60 pixels apart, that asks for /shown<path> once loaded and holds a frame from the other host; the
row's HTML files get the same links. A script step is a spot whose script acts when the pointer comes over
it, which is no click. A stand-in default handler writes down what is handed to the desktop.
Usage: run_tests.py --exe build/linux/vistrel [--only TEXT]
"""

import argparse, fcntl, html, http.server, json, os, shutil, signal, socket  # noqa: E401
import subprocess, sys, tempfile, threading, time  # noqa: E401

import psutil
import Xlib.display, Xlib.error, Xlib.protocol.event, Xlib.X  # noqa: E401

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import table  # noqa: E402

WAIT = 30.0   # until a window, page, box, menu or the end must be there (the machine may be busy)
SETTLE = 3.0  # how long the effect of a step that leaves no mark of its own is given
OWN_ITEMS = ("Home", "Mute", "Unmute", "Clear Data", "ホーム", "ミュート", "ミュート解除", "データクリア")
# The message locale is LC_ALL, else LC_MESSAGES, else LANG: each language is set so that a program
# reading them in another order would see the other one.
LANGS = {"en": {"LC_ALL": "", "LC_MESSAGES": "en_US.UTF-8", "LANG": "ja_JP.UTF-8"},
         "ja": {"LC_ALL": "ja_JP.UTF-8", "LC_MESSAGES": "en_US.UTF-8", "LANG": "en_US.UTF-8"}}
DROPPED = ("LANGUAGE", "NO_AT_BRIDGE", "GTK_MODULES", "WAYLAND_DISPLAY", "GDK_BACKEND", "GDK_SCALE")

class Session:
    """The X display (an Xvfb of our own without $DISPLAY) and a private D-Bus session with its
    accessibility bus. bench/bench.py uses it too."""
    def __init__(self):
        self.processes, self.work = [], tempfile.mkdtemp(prefix="vistrel-e2e-")
        self.display = os.environ.get("DISPLAY") or self.start_xvfb()
        # The buses see no display, to leave it alone, and have a runtime folder that no other run's bus takes.
        bare = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        bare["XDG_RUNTIME_DIR"] = self.work
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=bare,
                         stdout=subprocess.PIPE, text=True)
        self.bus_address = bus.stdout.readline().strip()
        self.buses = {"DISPLAY": self.display, "DBUS_SESSION_BUS_ADDRESS": self.bus_address}
        a11y = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                               "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=dict(bare, **self.buses),
                              capture_output=True, text=True, timeout=WAIT)
        self.buses["AT_SPI_BUS_ADDRESS"] = a11y.stdout.strip()
    def spawn(self, argv, **kwargs):
        self.processes.append(subprocess.Popen(argv, start_new_session=True, stderr=subprocess.DEVNULL, **kwargs))
        return self.processes[-1]
    def start_xvfb(self):
        read, write = os.pipe()  # Xvfb picks a free display and says which
        self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                   pass_fds=(write,), stdout=subprocess.DEVNULL)
        os.close(write)
        return ":" + os.fdopen(read).readline().strip()
    def close(self):
        for process in reversed(self.processes):
            os.killpg(process.pid, signal.SIGTERM)
            process.wait()
        shutil.rmtree(self.work, ignore_errors=True)

class XServer:
    """Windows and their properties as the X server has them. bench/bench.py uses it too. A window that goes
    while it is read reads as nothing."""
    def __init__(self, display):
        self.d = Xlib.display.Display(display)
        self.d.set_error_handler(lambda *_: None)
        self.root = self.d.screen().root.id
    def close(self):
        self.d.close()
    def atom(self, name):
        return self.d.intern_atom(name)
    def window(self, window):
        return self.d.create_resource_object("window", window)
    def property(self, window, name):
        """The property's items (bytes for 8-bit ones, else numbers), or None."""
        try:
            got = self.window(window).get_full_property(self.atom(name), Xlib.X.AnyPropertyType)
        except Xlib.error.XError:
            return None
        return None if got is None else bytes(got.value) if got.format == 8 else list(got.value)
    def top_levels(self):
        return [w.id for w in self.window(self.root).query_tree().children]
    def window_of(self, pid, kind="NORMAL"):
        """The process's shown top-level window of that kind (NORMAL: its own, DIALOG: a box), or None."""
        def shown(w):
            try:
                return self.window(w).get_attributes().map_state == Xlib.X.IsViewable
            except Xlib.error.XError:
                return False
        wanted = self.atom("_NET_WM_WINDOW_TYPE_" + kind)
        return next((w for w in self.top_levels() if (self.property(w, "_NET_WM_PID") or [0])[0] == pid and
                     wanted in (self.property(w, "_NET_WM_WINDOW_TYPE") or []) and shown(w)), None)
    def rect(self, window):
        geometry = self.window(window).get_geometry()
        at = self.window(self.root).translate_coords(self.window(window), 0, 0)
        return [at.x, at.y, geometry.width, geometry.height]
    def ask_to_close(self, window):
        """What a window manager sends when the user closes the window."""
        self.window(window).send_event(Xlib.protocol.event.ClientMessage(
            window=self.window(window), client_type=self.atom("WM_PROTOCOLS"),
            data=(32, [self.atom("WM_DELETE_WINDOW"), 0, 0, 0, 0])))
        self.d.sync()
    def facts(self, window):
        hints = self.property(window, "WM_NORMAL_HINTS") or [0] * 9
        motif = self.property(window, "_MOTIF_WM_HINTS")
        states = self.property(window, "_NET_WM_STATE") or []
        fixed = hints[0] & 48 == 48 and hints[5:7] == hints[7:9]  # PMinSize and PMaxSize, the same
        undecorated = bool(motif and motif[0] & 2 and motif[2] == 0)
        full = self.atom("_NET_WM_STATE_FULLSCREEN") in states
        style = {(False, False, False): "normal", (True, False, False): "fixed", (False, True, True): "popup"}.get(
            (fixed, undecorated, full), f"fixed {fixed}, undecorated {undecorated}, full screen {full}")
        name = self.property(window, "_NET_WM_NAME")  # None when the window went while it was read
        return {"title": None if name is None else name.decode(), "rect": self.rect(window), "style": style,
                "maximized": all(self.atom("_NET_WM_STATE_MAXIMIZED_" + a) in states for a in ("HORZ", "VERT")),
                "icon": bool(self.property(window, "_NET_WM_ICON"))}

class Site(http.server.ThreadingHTTPServer):
    """Every path is a page with the current row's steps as links; every request is logged as an address."""
    daemon_threads, handle_error = True, lambda *_: None  # a page left before its answer is no fault
    def __init__(self):
        super().__init__(("127.0.0.1", 0), Page)
        self.log, self.steps, self.lock = [], [], threading.Lock()
        self.hosts = {"site": f"http://127.0.0.1:{self.server_address[1]}",
                      "other": f"http://localhost:{self.server_address[1]}"}
        threading.Thread(target=self.serve_forever, daemon=True).start()
    def since(self, mark, prefix=""):
        """The addresses asked for since the mark whose path starts with prefix."""
        with self.lock:
            return [a for a in self.log[mark:] if a.split("/", 3)[3].startswith(prefix)]
    def links(self, download):
        """The steps as links at known spots; nothing else shows, and the page has no title of its own."""
        rows = []
        for spot, (verb, _, rest) in enumerate(step.partition(" ") for step in self.steps):
            act, _, address = rest.partition(" ")
            script = {"go": "location = %s", "open": "window.open(%s)"}.get(act, "%s") % json.dumps(address)
            attributes = {"go": {"href": rest}, "open": {"href": rest, "target": "_blank"}, "download": download,
                          "frame": {"href": address},
                          # Once in the tab: the page it leads to has the same spot under the pointer.
                          "script": {"onmouseover": f"if (!sessionStorage.a{spot}) sessionStorage.a{spot} = 1, {script}"},
                          "title": {"href": "#", "onclick": f"document.title = {json.dumps(rest)}; new Image().src"
                                    f" = '{self.hosts['site']}/did/title'; return false"}}.get(verb)
            rows.append("<a %s>%s</a>" % (" ".join(f'{k}="{html.escape(v)}"' for k, v in attributes.items()), verb)
                        if attributes else "<div></div>")
        return "<style>body{margin:0} a,div{display:block;height:60px;width:300px}</style>" + "".join(rows)

class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        site, host = self.server, self.headers.get("Host", "")
        with site.lock:
            site.log.append(f"http://{host}{self.path}")
        status, headers, body = 200, {"Content-Type": "text/html; charset=utf-8", "Cache-Control": "no-store",
                                      "Set-Cookie": "visited=yes; Max-Age=86400"}, b""
        if self.path.startswith(("/shown", "/did", "/loaded")):
            status = 204
        elif self.path.startswith("/to-other/"):  # moved to the other host
            status, headers["Location"] = 302, site.hosts["other"] + self.path[9:]
        elif self.path == "/download":
            headers.update({"Content-Type": "text/plain", "Content-Disposition": "attachment; filename=notes.txt"})
            body = b"notes\n"
        else:
            # A frame from the other host, which is not the view's page and so is never decided on.
            other, shown = site.hosts["other" if host in site.hosts["site"] else "site"], "/shown" + self.path
            body = (site.links({"href": "/download"}) + ("" if self.path.startswith("/frame/") else f'<iframe src='
                    f'"{other}/frame/"></iframe><script>onload = () => new Image().src = "{shown}"</script>')).encode()
        self.send_response(status)
        for name, value in dict(headers, **{"Content-Length": str(len(body))}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
    log_message = lambda *_: None  # noqa: E731

class Row:
    """One run of the program in its own folders, driven by xdotool and read through X and AT-SPI."""
    def __init__(self, runner, folder, case):
        self.r, self.x, self.site, self.case = runner, runner.x, runner.site, case
        self.wayland = case.get("session") == "wayland"  # no X at all
        self.boxes, self.warns, self.menu, self.writes, self.window, self.mark = [], [], None, 0, None, len(self.site.log)
        self.path = lambda *names: os.path.join(folder, *names)
        for name in ("home", "tmp", "data/applications", "config", "cache", "files"):
            os.makedirs(self.path(name))
        recorder, schemes = self.path("record"), ["x-scheme-handler/" + s for s in ("http", "https", "vistrel-test")] + [
            "text/html"]  # a local file
        self.put(recorder, f"#!/bin/sh\nprintf '%s\\n' \"$1\" >> '{self.path('handed')}'\n")
        os.chmod(recorder, 0o755)
        self.put(self.path("data/applications/stand-in.desktop"), "[Desktop Entry]\nType=Application\nName=Stand-in\n"
                 f"Exec=\"{recorder}\" %u\nMimeType={';'.join(schemes)};\nNoDisplay=true\n")
        self.put(self.path("config/mimeapps.list"), "[Default Applications]\n" +
                 "".join(f"{s}=stand-in.desktop\n" for s in schemes))
        self.site.steps = case.get("do", [])
        for name, text in case.get("files", {}).items():
            self.write(name, text)
    @staticmethod
    def put(path, data):
        with open(path, "wb") as file:
            file.write(data if isinstance(data, bytes) else data.encode())
    def write(self, name, text):
        """The case's file; an HTML file with the steps' links and a mark asked for each time it is shown."""
        self.writes += 1
        os.makedirs(os.path.dirname(self.path("files", name)), exist_ok=True)
        mark = f'<script>onload = () => new Image().src = "{self.site.hosts["site"]}/loaded/{self.writes}"</script>'
        links = self.site.links({"download": "notes.txt", "href": "data:text/plain,notes"}) + mark
        self.put(self.path("files", name), table.icon_file() if text == "{icon}" else text + links * name.endswith(".html"))
    def data_folder(self):  # where the row's browsing data goes: kept with /d, else scratch
        return self.path("data" if table.keeps_data(self.case) else "tmp", "vistrel.webkit")
    def alive(self):
        return self.process.poll() is None
    def wait(self, check, what=None, timeout=WAIT):
        """check()'s first true answer, answering boxes meanwhile; at timeout its last, or fails if told what."""
        deadline = time.monotonic() + timeout
        while True:
            self.answer_boxes()
            got = check()
            if got or time.monotonic() > deadline:
                if not got and what:
                    raise RuntimeError(f"no {what} within {timeout:.0f} s")
                return got
            time.sleep(0.1)
    def accessibles(self, role):
        """The accessibles of that role in the program's shown top levels other than its window: boxes, menus."""
        a, found = self.r.atspi, []

        def below(accessible):
            for child in accessible:
                if child is not None:
                    found.extend([child] if child.getRole() == role else [])
                    below(child)
        try:
            app = next(app for app in a.Registry.getDesktop(0) if app and app.get_process_id() == self.process.pid)
            for top in app:
                if top is not None and top.getRole() != a.ROLE_FRAME and top.getState().contains(a.STATE_SHOWING):
                    below(top)
        except Exception:  # not there yet, or something went while it was read: the next look sees the rest
            return []
        return found
    def box_shown(self):  # under Wayland only the accessibility bus can tell
        if self.wayland:
            return bool(self.accessibles(self.r.atspi.ROLE_PUSH_BUTTON))
        return self.x.window_of(self.process.pid, "DIALOG")
    def answer_boxes(self):
        # Asked only while X shows a box: a busy accessibility bus keeps programs from joining it in time.
        a, box = self.r.atspi, self.box_shown()
        buttons = box and self.accessibles(a.ROLE_PUSH_BUTTON)
        # Under Wayland a box draws its own title bar, whose label is the caption.
        labels = buttons and [label for label in self.accessibles(a.ROLE_LABEL) if label.name not in ("", "vistrel")]
        if not buttons or len(labels) != 1:
            return
        self.boxes.append(labels[0].queryText().getText(0, -1))
        self.warns.append(any(icon.name in ("Warning", "警告") for icon in self.accessibles(a.ROLE_ICON)))
        # A Yes/No box is answered Yes, any other pressed.
        [b for b in buttons if b.name.startswith(("Yes", "はい")) or len(buttons) == 1][0].queryAction().doAction(0)
        deadline = time.monotonic() + WAIT
        while self.alive() and time.monotonic() < deadline and self.box_shown() == box:
            time.sleep(0.1)
    def requested(self):
        return [a for a in self.site.since(self.mark) if not a.split("/", 3)[3].startswith(("shown", "did", "loaded"))]
    def followed(self):
        return [a.replace("/shown/", "/", 1) for a in self.site.since(self.mark, "shown")]
    def handed(self):
        return open(self.path("handed")).read().splitlines() if os.path.exists(self.path("handed")) else []
    def title(self):  # None once the window has gone, even while it is read
        name = (window := self.x.window_of(self.process.pid)) and self.x.property(window, "_NET_WM_NAME")
        return None if name is None else name.decode()
    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=dict(os.environ, DISPLAY=self.r.display), check=True,
                       timeout=WAIT)
    def click(self, spot, button=1):
        left, top, _, _ = self.x.rect(self.window)
        self.xdotool("mousemove", left + spot[0], top + spot[1], "click", button)
    def step(self, index, verb, rest, following):
        link, (_, _, width, height) = (40, 30 + 60 * index), self.x.rect(self.window)
        blank, mark = (width - 40, height - 40), len(self.site.log)
        if verb in ("go", "open", "title", "download"):
            self.click(link)
        elif verb == "script":
            left, top, _, _ = self.x.rect(self.window)
            self.xdotool("mousemove", left + link[0], top + link[1])
            rest = rest.split(" ", 1)[1]
        elif verb == "frame":  # the same link in the frame below the page's links, inside its border
            self.click((link[0] + 2, link[1] + 2 + 60 * len(self.case["do"])))
            rest = rest.split(" ", 1)[1]
        if verb in ("go", "open", "script", "frame"):
            # Asked for (and perhaps refused at its response) or handed over; then shown, if it is. What the
            # row expects to come to nothing is given a while.
            expect, later = self.case.get("expect", {}), [s.split(" ")[-1] for s in self.case["do"][index + 1:]]
            seen = set(expect.get("handed", []) + expect.get("followed", [])) - set(later)
            # A local page tells of its showing by its mark.
            local = rest.startswith("file:")
            self.wait(lambda: self.site.since(mark, "loaded" if local else rest.split("/", 3)[-1]) or rest in self.handed(),
                      timeout=WAIT if rest in seen else SETTLE)
            self.wait(lambda: local or rest in self.followed() or rest in self.handed(), timeout=SETTLE)
        elif verb == "title":
            self.wait(lambda: self.site.since(mark, "did/title"), "sign of the title's link clicked")
            self.wait(lambda: self.title() == rest, timeout=SETTLE)
        elif verb == "download":
            self.wait(lambda: self.boxes or not self.alive())
        elif verb == "key":
            self.click(blank)
            self.xdotool("key", "--clearmodifiers", rest)
            self.wait(lambda: self.site.since(mark, "shown"), timeout=SETTLE)
        elif verb == "menu":  # the program's items; a menu of the engine's items alone is "(the engine's)"
            self.click(blank, 3)
            items = [i.name for i in self.wait(lambda: self.accessibles(self.r.atspi.ROLE_MENU_ITEM),
                                               timeout=SETTLE if self.case.get("expect", {}).get("menu") == [] else WAIT)]
            self.menu = [name for name in items if name in OWN_ITEMS] or ["(the engine's)"] * bool(items)
            if following != "choose":
                self.xdotool("key", "Escape")
        elif verb == "choose":
            item = next(i for i in self.accessibles(self.r.atspi.ROLE_MENU_ITEM) if i.name == rest)
            box = item.queryComponent().getExtents(self.r.atspi.DESKTOP_COORDS)
            self.xdotool("mousemove", box.x + box.width // 2, box.y + box.height // 2, "click", 1)
        elif verb in ("write", "restore"):  # "restore" puts back an older copy: an hour before the one it replaces
            name, text = rest.split(" ", 1)
            before = os.stat(self.path("files", name)).st_mtime_ns - 3600 * 10**9
            self.write(name, text)
            if verb == "restore":
                os.utime(self.path("files", name), ns=(before, before))
            self.wait(lambda: self.site.since(mark, f"loaded/{self.writes}"))
        elif verb == "delete":
            os.remove(self.path("files", rest))
            self.wait(lambda: not self.alive())
        elif verb == "crash":  # the engine's page process, a descendant of the program, is killed
            shown, pages = len(self.followed()), [p.pid for p in psutil.Process(self.process.pid).children(
                recursive=True) if p.name().startswith("WebKitWebProces")]
            if not pages:
                raise RuntimeError("no page process to end")
            for pid in pages:
                os.kill(pid, signal.SIGKILL)
            self.wait(lambda: len(self.followed()) > shown, "page shown again")
        if verb in ("menu", "choose") and following != "choose":
            self.wait(lambda: not self.accessibles(self.r.atspi.ROLE_MENU_ITEM), "menu closed")
    def run(self, env):
        if self.case.get("stale data"):  # what an earlier copy left in the folder this one uses
            os.makedirs(self.data_folder())
            self.put(os.path.join(self.data_folder(), "stale.txt"), "old")
        if self.case.get("in use"):  # another copy's engine holds the scratch folder, as its lock says
            os.makedirs(self.path("tmp", "vistrel.webkit"))
            self.lock = open(self.path("tmp", "vistrel.webkit", "lockfile"), "w")
            fcntl.flock(self.lock, fcntl.LOCK_SH)
        if "open elsewhere" in self.case:
            self.editor = open(self.path("files", self.case["open elsewhere"]), "a")
        # The pointer goes where no page starts, so that only a step brings it over a script's spot.
        self.xdotool("mousemove", *(n - 1 for n in self.r.areas["screen"][2:]))
        with tempfile.TemporaryFile("w+", errors="replace") as stderr:
            self.process = subprocess.Popen([self.r.exe, *self.case["args"]], cwd=self.path("files"), env=env,
                                            stdout=subprocess.DEVNULL, stderr=stderr)
            try:
                facts = self.follow(self.case.get("do", []), self.case.get("expect", {}))
            finally:
                if self.alive():
                    self.process.kill()
                    self.process.wait()
            stderr.seek(0)
            # What the program keeps goes into its data folders: HOME, with the XDG folders elsewhere, stays empty.
            # The headless compositor has no seat, which the toolkit complains of.
            wrong = [line for line in stderr.read().splitlines() if "CRITICAL" in line and not (
                "session" in self.case and ("gdk_seat_" in line or "gdk_device_" in line))] + [
                os.path.join(d, name) for d, _, names in os.walk(self.path("home")) for name in names]
            if wrong:
                raise RuntimeError("the toolkit complained, or files were left in HOME: " + wrong[0])
        return facts
    def follow(self, steps, expect):
        facts = {}
        if self.wayland:  # no X to read or close the window with: told to end once its page is shown
            if self.wait(lambda: self.site.since(self.mark, "shown") or not self.alive(), "page shown or end"):
                self.process.terminate()
        else:
            self.window = self.wait(lambda: self.x.window_of(self.process.pid) or not self.alive(), "window or end")
        # Shown once its first page asks for its mark, unless it has ended by itself meanwhile.
        if not self.wayland and self.alive() and self.wait(
                lambda: self.site.since(self.mark, ("shown", "loaded")) or not self.alive(), "page shown") and self.alive():
            facts["window"] = self.x.facts(self.window)
            facts["leftovers seen"] = os.path.exists(os.path.join(self.data_folder(), "stale.txt"))
            for index, step in enumerate(steps):
                if self.alive():
                    self.step(index, *step.partition(" ")[::2], (steps[index + 1:] or [""])[0].split(" ")[0])
            # What comes late after the steps, without a mark of its own, is given its time.
            seen = {"title": self.title, "followed": self.followed, "handed": self.handed,
                    "closed by itself": lambda: self.title() is None}
            self.wait(lambda: all(seen[k]() == v for k, v in expect.items() if k in seen), timeout=SETTLE)
            facts.update({"title": self.title(), "closed by itself": self.title() is None})
            # A close that comes while a box still holds the window is dropped, as a user's click would be:
            # it is asked for again each second until the window goes.
            deadline = time.monotonic() + WAIT
            while (not facts["closed by itself"] and self.alive() and self.x.window_of(self.process.pid) and
                   time.monotonic() < deadline):
                self.x.ask_to_close(self.window)
                self.wait(lambda: not self.x.window_of(self.process.pid), timeout=1)
        self.wait(lambda: not self.alive(), "end")
        scratch, kept = self.path("tmp", "vistrel.webkit"), self.path("data", "vistrel.webkit")
        kept_data = sorted(set(os.listdir(kept)) - {"lockfile"}) if os.path.isdir(kept) else []
        facts["data"] = ("gone" if not os.path.lexists(scratch) and not os.path.lexists(kept) else
                         "kept" if kept_data and not os.path.lexists(scratch) else
                         "left" if os.path.lexists(scratch) and not os.path.lexists(kept) else
                         f"scratch there {os.path.lexists(scratch)}, kept {os.path.lexists(kept)} with {kept_data}")
        for name in [name for name in self.case.get("files", {}) if name.endswith(".html")][:1]:
            facts["file"] = "kept" if os.path.exists(self.path("files", name)) else "gone"
        # The site's cookie in the kept data: what clearing at close must leave and Clear Data must not.
        facts["cookie kept"] = any(b"visited" in open(os.path.join(d, n), "rb").read()
                                   for d, _, names in os.walk(kept) for n in names if n.startswith("cookies"))
        return dict(facts, boxes=self.boxes, warns=self.warns, exit=self.process.returncode, followed=self.followed(),
                    handed=self.handed(), menu=self.menu, requested=self.requested())

class Runner(Session):
    def __init__(self, exe):
        super().__init__()
        self.exe, self.rows = exe, 0
        os.environ.update(self.buses)  # the accessibility client finds its bus when it is first loaded
        import gi
        gi.require_version("Atspi", "2.0")
        import pyatspi
        self.atspi, self.x, self.site = pyatspi, XServer(self.display), Site()
        area, screen = self.x.property(self.x.root, "_NET_WORKAREA"), self.x.rect(self.x.root)
        self.areas = {"screen": screen, "workarea": area[:4] if area else screen}
        with socket.socket() as closed:  # a port nobody answers on
            closed.bind(("127.0.0.1", 0))
            self.site.hosts["closed"] = f"http://localhost:{closed.getsockname()[1]}"
        self.places = dict(self.site.hosts, **{"workarea-width+1": self.areas["workarea"][2] + 1,
                                               "file": lambda name: self.path("files", name)})
        self.path = lambda *names: os.path.join(self.work, f"ケース {self.rows}", *names)
    def run_row(self, case):
        """Runs the row whose placeholders were filled in with the folder of row number self.rows."""
        row, self.rows = Row(self, self.path(), case), self.rows + 1
        env = {k: v for k, v in os.environ.items() if k not in DROPPED}
        env.update(self.buses, **LANGS[case.get("lang", "en")])
        if "session" in case:  # a compositor; "wayland with X" keeps the X server beside it, as XWayland is
            env.update(WAYLAND_DISPLAY=self.compositor(), XDG_RUNTIME_DIR=self.work)
            if row.wayland:
                del env["DISPLAY"]
        env.update(HOME=row.path("home"), TMPDIR=row.path("tmp"), XDG_DATA_HOME=row.path("data"),
                   XDG_CONFIG_HOME=row.path("config"), XDG_CACHE_HOME=row.path("cache"),
                   WEBKIT_DISABLE_COMPOSITING_MODE="1",  # Xvfb has no GL worth compositing with
                   # The icons the build made, as if installed: the window's own icon comes from the theme.
                   XDG_DATA_DIRS=os.path.join(os.path.dirname(self.exe), "packaging") + ":/usr/local/share:/usr/share")
        return row.run(env)
    def compositor(self):
        """The name of weston's headless compositor's socket, started at the first need."""
        name = "wayland-vistrel"
        if not os.path.exists(os.path.join(self.work, name)):
            self.spawn(["weston", "--backend=headless-backend.so", "--socket=" + name, "--idle-time=0"],
                       env=dict(os.environ, XDG_RUNTIME_DIR=self.work))
            deadline = time.monotonic() + WAIT
            while not os.path.exists(os.path.join(self.work, name)) and time.monotonic() < deadline:
                time.sleep(0.1)
        return name
    def close(self):
        self.site.shutdown()
        super().close()

def main():
    parser = argparse.ArgumentParser(description="The end-to-end table against the Linux program.")
    parser.add_argument("--exe", required=True, help="the program to test")
    parser.add_argument("--only", help="run only the rows whose name holds this text")
    arguments = parser.parse_args()
    runner = Runner(os.path.abspath(arguments.exe))
    try:
        return table.run_table("linux", runner.places, runner.run_row, runner.areas, arguments.only)
    finally:
        runner.close()

if __name__ == "__main__":
    sys.exit(main())
