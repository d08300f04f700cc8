"""End-to-end cases of the Linux program with the real web engine.

The pages come from a loopback HTTP server of these tests' own on
127.0.0.1, which logs every request with the host it was asked for: the
same server is "the site" as http://127.0.0.1:PORT and "another site" as
http://localhost:PORT. Every page asks for /shown/NAME once the engine shows
it, so the log tells which pages were shown. Addresses handed to the
desktop reach a stand-in default handler, a .desktop file registered for the
schemes in the case's own XDG folders, whose command writes the address to
a file. The window is placed at the screen's corner, so that xdotool clicks
and keys land where the page has its links; what the page shows comes back
through the window title (the pages write their state into their title),
menus and boxes through AT-SPI.

run_tests.py runs these with its own cases, in the same X and D-Bus session.
"""

import fcntl
import http.server
import os
import signal
import sqlite3
import subprocess
import tempfile
import threading
import time

PAGE_TIMEOUT = 15.0  # until a page, a title, a menu or a hand-over must be there
SETTLE_POLL = 0.05

# The window at the screen's corner: page coordinates are screen coordinates.
PLACE = ["/sp", "800", "600", "0", "0"]

# Where the start page's links are (x, y): one 60-pixel row each.
INSIDE, OTHER_SITE, MAIL, NEW_WINDOW, NEW_WINDOW_OTHER_SITE = ((40, 30 + 60 * row) for row in range(5))
BLANK_SPOT = (600, 500)  # the page itself, away from links and frame
MAIL_ADDRESS = "mailto:someone@example.com"

# The program's own menu items in English.
OWN_ITEMS = ("Home", "Mute", "Unmute", "Clear Data")


# ---- Pages --------------------------------------------------------------------------------------

STYLE = ("<style>body{margin:0;font:24px sans-serif} a{display:block;height:60px;line-height:60px;width:400px}"
         " iframe{display:block;height:80px;width:400px;border:0}</style>")

# Keys the page sees go into its title, "keys:" then each key with C- for Ctrl.
KEY_LOG = """<script>
var keys = [];
addEventListener("keydown", function (e) {
  if (["Control", "Alt", "Shift", "Meta"].indexOf(e.key) >= 0) return;
  keys.push((e.ctrlKey ? "C-" : "") + (e.altKey ? "A-" : "") + e.key);
  document.title = "keys:" + keys.join(" ");
});
</script>"""


def page(title, body="", shown=None):
    return ("<!DOCTYPE html><html><head><title>%s</title>%s</head><body>%s<img src=\"/shown/%s\" width=1 height=1>"
            "</body></html>" % (title, STYLE, body, shown or title.lower()))


def site_pages(other):
    start = page("Start", """
<a href="/inside.html">inside</a>
<a href="%(other)s/outside.html">another site</a>
<a href="%(mail)s">mail</a>
<a href="/blank.html" target="_blank">new window</a>
<a href="%(other)s/outside.html" target="_blank">new window on another site</a>
<iframe src="%(other)s/frame.html"></iframe>
<script>
addEventListener("message", function (e) { if (e.data === "frame") document.title = "Start + frame"; });
</script>%(keys)s""" % {"other": other, "mail": MAIL_ADDRESS, "keys": KEY_LOG})
    frame = page("Frame", "<script>parent.postMessage(\"frame\", \"*\");</script>")
    cached = page("Cached", """<img src="/picture.png" width=20 height=20>
<script>localStorage.setItem("kept", "yes");</script>""")
    html = "text/html; charset=utf-8"
    fresh = [("Cache-Control", "no-store")]
    # A cacheable page that sets a cookie: what /d must keep and what it must clear.
    kept = [("Cache-Control", "max-age=3600"), ("Set-Cookie", "kept=1; Max-Age=86400; Path=/")]
    return {
        "/start.html": (start.encode(), html, fresh),
        "/inside.html": (page("Inside").encode(), html, fresh),
        "/outside.html": (page("Outside").encode(), html, fresh),
        "/blank.html": (page("Blank").encode(), html, fresh),
        "/frame.html": (frame.encode(), html, fresh),
        "/cached.html": (cached.encode(), html, kept),
        # The page's width in CSS pixels, which the zoom factor scales.
        "/zoom.html": (page("Zoom", "<script>function show() { document.title = \"width \" + innerWidth; }"
                            " addEventListener(\"load\", show); addEventListener(\"resize\", show);</script>")
                       .encode(), html, fresh),
        "/picture.png": (b"\x89PNG\r\n\x1a\n" + bytes(4096), "image/png", [("Cache-Control", "max-age=3600")]),
    }


class Site:
    """The loopback server: pages from memory, every request logged as (host, path)."""

    def __init__(self):
        site = self
        self.lock = threading.Lock()
        self.requests = []

        class Handler(http.server.BaseHTTPRequestHandler):
            timeout = 10  # a client that stops talking frees its thread

            def do_GET(self):
                with site.lock:
                    site.requests.append((self.headers.get("Host", ""), self.path))
                if self.path.startswith("/shown/"):
                    self.send_response(204)
                    self.send_header("Cache-Control", "no-store")
                    self.end_headers()
                    return
                found = site.pages.get(self.path)
                if found is None:
                    self.send_error(404)
                    return
                body, kind, headers = found
                self.send_response(200)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                for name, value in headers:
                    self.send_header(name, value)
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        port = self.server.server_address[1]
        self.home = "http://127.0.0.1:%d" % port
        self.other = "http://localhost:%d" % port
        self.pages = site_pages(self.other)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def mark(self):
        with self.lock:
            return len(self.requests)

    def since(self, mark):
        with self.lock:
            return list(self.requests[mark:])

    def close(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(timeout=10)


# ---- One run of the program ---------------------------------------------------------------------

class Folders:
    """The case's own HOME, TMPDIR and XDG folders, with the stand-in default handler registered."""

    def __init__(self, base):
        self.base = tempfile.mkdtemp(prefix="web-", dir=base)
        for name in ("home", "tmp", "data/applications", "config", "cache"):
            os.makedirs(os.path.join(self.base, name))
        self.home, self.temp = self.path("home"), self.path("tmp")
        self.data, self.config, self.cache = self.path("data"), self.path("config"), self.path("cache")
        self.scratch = os.path.join(self.temp, "vistrel.webkit")
        self.kept = os.path.join(self.data, "vistrel.webkit")
        self.handed_file = self.path("handed.txt")
        recorder = self.path("record-address")
        with open(recorder, "w") as script:
            script.write("#!/bin/sh\nprintf '%%s\\n' \"$1\" >> '%s'\n" % self.handed_file)
        os.chmod(recorder, 0o755)
        schemes = ("x-scheme-handler/http", "x-scheme-handler/https", "x-scheme-handler/mailto")
        with open(self.path("data/applications/stand-in-handler.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=Stand-in handler\nExec=%s %%u\n"
                        "MimeType=%s;\nNoDisplay=true\n" % (recorder, ";".join(schemes)))
        with open(self.path("config/mimeapps.list"), "w") as defaults:
            defaults.write("[Default Applications]\n" +
                           "".join("%s=stand-in-handler.desktop\n" % scheme for scheme in schemes))

    def path(self, name):
        return os.path.join(self.base, name)

    def handed(self):
        if not os.path.exists(self.handed_file):
            return []
        with open(self.handed_file) as record:
            return record.read().splitlines()


class Program:
    """The program running on the pages, driven by xdotool and read through X and AT-SPI."""

    def __init__(self, kit, run, site, args, folders, more_env=None):
        self.kit, self.run, self.site, self.folders = kit, run, site, folders
        self.mark = site.mark()
        env = kit.program_environment(run, kit.EN)
        env.update(HOME=folders.home, TMPDIR=folders.temp, XDG_DATA_HOME=folders.data,
                   XDG_CONFIG_HOME=folders.config, XDG_CACHE_HOME=folders.cache, **(more_env or {}))
        self.xdotool_env = dict(os.environ, DISPLAY=run.session.display)
        self.stderr = tempfile.TemporaryFile(mode="w+", encoding="utf-8", errors="replace")
        self.process = subprocess.Popen([run.exe] + args, cwd=folders.base, env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr)
        try:
            self.window = kit.find_window(run.pyatspi, run.xserver, self.process)
        except BaseException:
            self.stop()
            raise

    # What the program shows

    def title(self):
        name = self.run.xserver.property(self.window, "_NET_WM_NAME")
        return name.decode("utf-8", "replace") if name is not None else None

    def wait(self, check, what, timeout=PAGE_TIMEOUT):
        """Polls until check() gives a true value and returns it; fails with what was last seen."""
        deadline = time.monotonic() + timeout
        while True:
            got = check()
            if got:
                return got
            if self.process.poll() is not None:
                raise self.kit.CaseFailure("ended with exit code %d while waiting for %s" %
                                           (self.process.returncode, what))
            if time.monotonic() > deadline:
                raise self.kit.CaseFailure("no %s within %.0f s (title %r)" % (what, timeout, self.title()))
            time.sleep(SETTLE_POLL)

    def wait_title(self, wanted):
        self.wait(lambda: self.title() == wanted, "title %r" % wanted)

    def shown(self):
        """The pages the engine has shown since the start, in order, as names."""
        return [path[len("/shown/"):] for _, path in self.site.since(self.mark) if path.startswith("/shown/")]

    def requested(self, host_and_path):
        return host_and_path in self.site.since(self.mark)

    def screenshot(self, name):
        self.kit.screenshot(self.run, self.kit.Case("web " + name, [], self.kit.EN, None))

    def wait_handed(self, address):
        self.wait(lambda: address in self.folders.handed(), "hand-over of %s" % address)

    # Acting as the user

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.xdotool_env, check=True, timeout=10)

    def click(self, spot, button=1):
        self.xdotool("mousemove", spot[0], spot[1], "click", button)

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def menu_items(self):
        """The showing context menu's items, or None."""
        pyatspi = self.run.pyatspi
        try:
            for app in pyatspi.Registry.getDesktop(0):
                if app is None or app.get_process_id() != self.process.pid:
                    continue
                for window in app:
                    if window is None or window.getRole() == pyatspi.ROLE_FRAME:
                        continue
                    if not window.getState().contains(pyatspi.STATE_SHOWING):
                        continue
                    items = [n for n in self.kit.descendants(window) if n.getRole() == pyatspi.ROLE_MENU_ITEM]
                    if items:
                        return items
        except Exception:  # the menu went while it was read
            return None
        return None

    def open_menu(self, spot):
        """Right-clicks the spot; the labels of the menu that opens."""
        self.click(spot, 3)
        items = self.wait(self.menu_items, "context menu")
        return [item.name for item in items]

    def close_menu(self):
        self.key("Escape")
        self.wait(lambda: self.menu_items() is None, "menu closed")

    def choose(self, label):
        """Clicks the menu item where it is on the screen, as the user does."""
        pyatspi = self.run.pyatspi
        items = self.menu_items() or []
        chosen = [item for item in items if item.name == label]
        if len(chosen) != 1:
            raise self.kit.CaseFailure("menu items %r, none labelled %r" % ([i.name for i in items], label))
        box = chosen[0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        self.click((box.x + box.width // 2, box.y + box.height // 2))
        self.wait(lambda: self.menu_items() is None, "menu closed")

    # The end

    def close(self):
        """Closes the window as a window manager does; the program must end with exit code 0."""
        self.run.xserver.ask_to_close(self.window)
        self.finish()

    def finish(self):
        code = self.kit.wait_without_box(self.run.pyatspi, self.process, watch_boxes=True)
        if code != 0:
            raise self.kit.CaseFailure("exit code %d" % code)
        self.stderr.seek(0)
        self.kit.check_stderr_clean(self.stderr.read())
        # The engine keeps everything below the data folder.
        folders = self.folders
        stray = [name for name in files_below(folders.base)
                 if ("webkit" in name.lower() or "vistrel" in name.lower()) and
                 not os.path.join(folders.base, name).startswith((folders.scratch + "/", folders.kept + "/"))]
        if stray:
            raise self.kit.CaseFailure("the engine wrote outside the data folder: %r" % stray)

    def engine_processes(self):
        """The program's child processes that belong to the engine: pid -> name."""
        found = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    line = stat.read()
            except OSError:
                continue
            name = line[line.index("(") + 1:line.rindex(")")]
            parent = int(line[line.rindex(")") + 2:].split()[1])
            if parent == self.process.pid and name.startswith("WebKit"):
                found[int(entry)] = name
        return found

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.stderr.close()


def expect(kit, got, wanted, what):
    if got != wanted:
        raise kit.CaseFailure("%s: %r, expected %r" % (what, got, wanted))


def runs(pid):
    """Whether the process runs: a zombie waiting for init to reap it has ended."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            line = stat.read()
    except OSError:
        return False
    return line[line.rindex(")") + 2] != "Z"


def files_below(folder):
    found = []
    for root, _, names in os.walk(folder):
        found += [os.path.relpath(os.path.join(root, name), folder) for name in names]
    return sorted(found)


# ---- The cases ----------------------------------------------------------------------------------

def first_page_and_links(p, kit):
    """The first page sets the site: a link inside is followed, Alt+Home goes back, a frame from another
    site loads without a hand-over, and the title follows the page."""
    p.wait_title("Start + frame")
    p.screenshot("start page")
    p.click(INSIDE)
    p.wait_title("Inside")
    p.key("alt+Home")
    p.wait_title("Start + frame")
    p.close()
    # The frame and its page load side by side: their order varies.
    expect(kit, sorted(p.shown()), ["frame", "frame", "inside", "start", "start"], "pages shown")
    expect(kit, p.folders.handed(), [], "addresses handed over")


def other_site_handed_over(p, kit):
    """A link to another site and a mail address are cancelled and handed to the default handler."""
    p.wait_title("Start + frame")
    p.click(OTHER_SITE)
    p.wait_handed(p.site.other + "/outside.html")
    p.click(MAIL)
    p.wait_handed(MAIL_ADDRESS)
    # Still on the start page: its own link works.
    p.click(INSIDE)
    p.wait_title("Inside")
    p.close()
    expect(kit, p.folders.handed(), [p.site.other + "/outside.html", MAIL_ADDRESS], "addresses handed over")
    expect(kit, "outside" in p.shown(), False, "the other site's page shown")


def no_browsing_limit(p, kit):
    """/a: a link to another site is followed."""
    p.wait_title("Start + frame")
    p.click(OTHER_SITE)
    p.wait_title("Outside")
    p.close()
    expect(kit, p.folders.handed(), [], "addresses handed over")


def private_mode_drops(p, kit):
    """/p: a link to another site and new windows are dropped, nothing handed over, no data written."""
    p.wait_title("Start + frame")
    p.click(OTHER_SITE)
    p.wait(lambda: p.requested((p.site.other.split("//")[1], "/outside.html")), "request of the other site")
    p.click(NEW_WINDOW)
    p.click(NEW_WINDOW_OTHER_SITE)
    p.click(INSIDE)
    p.wait_title("Inside")
    # An ephemeral profile writes nothing into the data folder; only the lock is there, which keeps other
    # copies from deleting the folder meanwhile.
    expect(kit, files_below(p.folders.scratch), ["lockfile"], "files in the data folder while running")
    expect(kit, kit.try_lock(os.path.join(p.folders.scratch, "lockfile"), fcntl.LOCK_EX), False,
           "another copy can take the data folder for itself")
    p.close()
    expect(kit, p.folders.handed(), [], "addresses handed over")
    expect(kit, [name for name in p.shown() if name in ("outside", "blank")], [], "pages shown")
    expect(kit, os.path.lexists(p.folders.scratch), False, "data folder there after the end")


def new_window_same_view(p, kit):
    """target=_blank inside the site opens in the same view; no second window."""
    p.wait_title("Start + frame")
    p.click(NEW_WINDOW)
    p.wait_title("Blank")
    windows = [w for w in p.run.xserver.top_levels()
               if (p.run.xserver.property(w, "_NET_WM_PID") or [0])[0] == p.process.pid and p.run.xserver.viewable(w)]
    expect(kit, windows, [p.window], "the program's windows")
    p.key("alt+Home")
    p.wait_title("Start + frame")
    p.click(NEW_WINDOW_OTHER_SITE)
    p.wait_handed(p.site.other + "/outside.html")
    p.close()


def fixed_title(p, kit):
    """A title given on the command line stays, whatever the pages are called."""
    # The start page shown, then a new window asked for from it: the engine reports the page's title to
    # the program before that request, and the program shows /blank.html only after it.
    p.wait(lambda: "start" in p.shown(), "start page shown")
    # Until the link is laid out a click may miss it: click again now and then.
    clicked = [0.0]

    def blank_shown():
        if time.monotonic() - clicked[0] > 0.5:
            clicked[0] = time.monotonic()
            p.click(NEW_WINDOW)
        return "blank" in p.shown()
    p.wait(blank_shown, "blank page shown")
    expect(kit, p.title(), "Fixed Title", "title")
    p.close()


def keys(p, kit):
    """Ctrl+U is swallowed, Ctrl+M toggles the sound without reaching the page, other keys reach it."""
    p.wait_title("Start + frame")
    p.click(BLANK_SPOT)
    p.key("ctrl+u")
    p.key("ctrl+b")
    p.key("k")
    p.wait(lambda: (p.title() or "").endswith("k"), "key k in the page")
    expect(kit, p.title(), "keys:C-b k", "keys the page saw")
    p.close()


def menu_and_mute(p, kit):
    """The page's menu ends with Home and Mute; Ctrl+M and the Mute item agree; a link's menu gains nothing."""
    p.wait_title("Start + frame")
    labels = p.open_menu(BLANK_SPOT)
    p.screenshot("page menu")
    expect(kit, labels[-2:], ["Home", "Mute"], "the page's menu ends")
    if [label for label in labels[:-2] if label in OWN_ITEMS]:
        raise kit.CaseFailure("menu %r" % labels)
    p.close_menu()
    p.key("ctrl+m")
    expect(kit, p.open_menu(BLANK_SPOT)[-2:], ["Home", "Unmute"], "after Ctrl+M the menu ends")
    p.choose("Unmute")
    expect(kit, p.open_menu(BLANK_SPOT)[-2:], ["Home", "Mute"], "after Unmute the menu ends")
    p.close_menu()
    link_labels = p.open_menu(INSIDE)
    if not link_labels or [label for label in link_labels if label in OWN_ITEMS]:
        raise kit.CaseFailure("a link's menu: %r" % link_labels)
    p.close_menu()
    # The page saw none of it but the key pressed last.
    p.click(BLANK_SPOT)
    p.key("k")
    p.wait_title("keys:k")
    p.close()


def cookie_names(folders):
    with sqlite3.connect(os.path.join(folders.kept, "Default", "Data", "cookies.sqlite")) as cookies:
        return [row[0] for row in cookies.execute("SELECT name FROM moz_cookies")]


def menu_clear_data(p, kit):
    """/m /d: the menu offers Unmute and Clear Data; Clear Data asks, then clears the profile's data."""
    p.wait_title("Cached")
    p.wait(lambda: cookie_names(p.folders), "the page's cookie stored")
    expect(kit, p.open_menu(BLANK_SPOT)[-3:], ["Home", "Unmute", "Clear Data"], "the page's menu ends")
    p.choose("Clear Data")
    text, _, _, buttons = kit.read_box(p.run.pyatspi, p.run.session, p.process, owner_title="Cached")
    expect(kit, (text, sorted(button.name for button in buttons)), ("Clear all data?", ["No", "Yes"]), "question")
    kit.press(p.run.pyatspi, [button for button in buttons if button.name == "Yes"][0])
    text, _, _, buttons = kit.read_box(p.run.pyatspi, p.run.session, p.process, owner_title="Cached")
    expect(kit, (text, [button.name for button in buttons]), ("All data is cleared.", ["OK"]), "notice")
    # The notice comes once the engine has cleared everything.
    expect(kit, cookie_names(p.folders), [], "cookies after clearing")
    kit.press(p.run.pyatspi, buttons[0])
    p.wait(lambda: kit.scan_for_box(p.run.pyatspi, p.process.pid) is None, "notice closed")
    p.close()


def limited_ui(p, kit):
    """/u: no context menu at all, and no key is taken from the page."""
    p.wait_title("Start + frame")
    p.click(BLANK_SPOT, 3)
    p.key("ctrl+u")
    p.key("k")
    # A menu would have taken the keys; the engine asks for it before the page sees them.
    p.wait_title("keys:C-u k")
    expect(kit, p.menu_items(), None, "menu items")
    p.close()


def html_string_download(p, kit):
    """/l shows the file's HTML; the menu has Mute only; a download from it ends the run with its box."""
    p.wait_title("Local")
    p.screenshot("HTML from a file")
    labels = p.open_menu(BLANK_SPOT)
    expect(kit, [label for label in labels if label in OWN_ITEMS], ["Mute"], "the program's items")
    expect(kit, labels[-1], "Mute", "the menu's last item")
    p.close_menu()
    p.click((40, 30))
    text, _, icons, buttons = kit.read_box(p.run.pyatspi, p.run.session, p.process, owner_title="Local")
    expect(kit, text, "local.html - File is not supported.", "box")
    expect(kit, (len(icons), len(buttons)), (1, 1), "icons and buttons of the box")
    kit.press(p.run.pyatspi, buttons[0])
    p.finish()
    expect(kit, [name for name in files_below(p.folders.base) if "notes" in name], [], "downloaded files")


def reflect_file_update(p, kit):
    """/ls shows the file again once it is saved, each time."""
    p.wait_title("Version 1")
    delays = []
    for version in (2, 3):
        saved = time.monotonic()
        write_local(p.folders, "watched.html", "Version %d" % version)
        p.wait_title("Version %d" % version)
        delays.append(time.monotonic() - saved)
    p.close()
    return "shown again after %s ms" % " and ".join("%.0f" % (delay * 1000) for delay in delays)


def keep_data(p, kit):
    """/d: closing clears the disk cache first and keeps the folder with cookies and local storage."""
    p.wait_title("Cached")
    records = os.path.join(p.folders.kept, "Default", "Cache", "WebKitCache")
    p.wait(lambda: [name for name in files_below(records) if "/Resource/" in name], "resources in the disk cache")
    # Closed twice in a row: the second clear completes after the window has gone.
    p.run.xserver.ask_to_close(p.window)
    p.close()
    expect(kit, [name for name in files_below(records) if "/Resource/" in name], [], "resources left in the disk cache")
    expect(kit, cookie_names(p.folders), ["kept"], "cookies kept")
    storage = [name for name in files_below(os.path.join(p.folders.kept, "Default", "Data", "localstorage"))
               if name.endswith(".localstorage")]
    expect(kit, len(storage), 1, "local storage files kept")
    expect(kit, os.path.lexists(p.folders.scratch), False, "a scratch data folder")


def scratch_data(p, kit):
    """Without /d the data folder, full after a page, is gone at the end."""
    p.wait_title("Cached")
    p.wait(lambda: os.path.isdir(os.path.join(p.folders.scratch, "Default", "Data")), "data in the data folder")
    engine = p.engine_processes()
    if "WebKitNetworkPr" not in engine.values():
        raise kit.CaseFailure("no network process among %r" % engine)
    p.close()
    # The program waited for the engine before deleting its folder: none of its processes is left.
    left = [pid for pid in engine if runs(pid)]
    expect(kit, left, [], "engine processes left after the end")
    expect(kit, os.path.lexists(p.folders.scratch), False, "data folder there after the end")
    expect(kit, os.path.lexists(p.folders.kept), False, "a kept data folder")


def absolute_file(p, kit):
    """An absolute path, which begins with "/" like a switch, names the file to show."""
    p.wait_title("Local")
    p.close()


def zoom_width(wanted):
    def check(p, kit):
        """The page is as many CSS pixels wide as the zoom factor makes the window."""
        p.wait(lambda: (p.title() or "").startswith("width "), "the page's width in its title")
        p.wait_title("width %d" % wanted)
        p.close()
    return check


def ended_by_signal(signal_number, keep):
    def check(p, kit):
        """Told to end by a signal, the program closes its window as the user would and cleans up."""
        p.wait_title("Cached")
        p.wait(lambda: os.path.isdir(os.path.join(p.folders.kept if keep else p.folders.scratch, "Default", "Data")),
               "data in the data folder")
        os.kill(p.process.pid, signal_number)
        p.finish()
        expect(kit, os.path.lexists(p.folders.scratch), False, "scratch data folder there after the end")
        expect(kit, os.path.isdir(p.folders.kept), keep, "kept data folder there after the end")
    return check


def write_local(folders, name, title):
    html = ("<!DOCTYPE html><html><head><title>%s</title></head><body style=\"margin:0;font:24px sans-serif\">"
            "<a download=\"notes.txt\" href=\"data:text/plain,hello\" style=\"display:block;height:60px\">"
            "download</a>%s</body></html>" % (title, KEY_LOG))
    with open(os.path.join(folders.base, name), "w", encoding="utf-8") as file:
        file.write(html)


def web_case_table(site):
    start = site.home + "/start.html"
    cached = site.home + "/cached.html"
    zoom = site.home + "/zoom.html"
    return [
        ("first page, link inside, Alt+Home, frame from another site", PLACE + [start], first_page_and_links, None),
        ("link to another site handed over", PLACE + [start], other_site_handed_over, None),
        ("/a follows a link to another site", PLACE + ["/a", start], no_browsing_limit, None),
        ("/p drops a link to another site and new windows, keeps nothing", PLACE + ["/p", start],
         private_mode_drops, None),
        ("target=_blank opens in the same view", PLACE + [start], new_window_same_view, None),
        ("a given title stays", PLACE + ["Fixed Title", start], fixed_title, None),
        ("Ctrl+U swallowed, other keys reach the page", PLACE + [start], keys, None),
        ("Ctrl+M and the menu's Mute agree, a link's menu gains nothing", PLACE + [start], menu_and_mute, None),
        ("/m /d menu, Clear Data clears the profile", PLACE + ["/m", "/d", cached], menu_clear_data, None),
        ("/u: no menu, no keys taken", PLACE + ["/u", start], limited_ui, None),
        ("/l shows the HTML, a download ends the run", PLACE + ["/l", "local.html"], html_string_download,
         ("local.html", "Local")),
        ("/ls shows the saved file again", PLACE + ["/ls", "watched.html"], reflect_file_update,
         ("watched.html", "Version 1")),
        # {base} is the case's own folder, where its local file lies.
        ("an absolute path is a file, not a switch", PLACE + ["{base}/local.html"], absolute_file,
         ("local.html", "Local")),
        ("/ls with an absolute path", PLACE + ["/ls", "{base}/watched.html"], reflect_file_update,
         ("watched.html", "Version 1")),
        # /z undoes the display's scaling (96 / AppliedDPI): at scale 2 a window of 400 by 300 (in GDK's
        # units) covers 800 by 600 pixels, which the page gets as CSS pixels.
        ("at scale 2 the page has the window's width", ["/sp", "400", "300", "0", "0", zoom], zoom_width(400),
         None, {"GDK_SCALE": "2"}),
        ("/z at scale 2 gives the page one CSS pixel a pixel", ["/sp", "400", "300", "0", "0", "/z", zoom],
         zoom_width(800), None, {"GDK_SCALE": "2"}),
        ("/z at scale 1 changes nothing", PLACE + ["/z", zoom], zoom_width(800), None),
        ("/d keeps the folder, clears the disk cache at the end", PLACE + ["/d", cached], keep_data, None),
        ("without /d the data folder goes", PLACE + [cached], scratch_data, None),
        ("SIGTERM closes the window and the data folder goes", PLACE + [cached],
         ended_by_signal(signal.SIGTERM, False), None),
        ("SIGINT with /d closes the window and keeps the folder", PLACE + ["/d", cached],
         ended_by_signal(signal.SIGINT, True), None),
    ]


def web_cases(kit, run):
    """(name, check) pairs for the runner; a check returns nothing or a note for its line."""
    site = Site()
    cases = []
    for name, args, body, local_file, *more in web_case_table(site):
        def case(args=args, body=body, local_file=local_file, more_env=(more or [{}])[0]):
            folders = Folders(run.workdir)
            if local_file:
                write_local(folders, *local_file)
            program = Program(kit, run, site, [arg.replace("{base}", folders.base) for arg in args], folders,
                              more_env)
            try:
                return body(program, kit)
            finally:
                program.stop()
        cases.append(("web: " + name, case))
    return cases, site
