"""The end-to-end case table (cases.jsonl), read and checked alike for both runners.

Each row is one JSON object on one line ("#" lines and blank lines are skipped):
  name     what the case shows
  on       "linux" or "windows" where the platforms truly differ (default: both)
  lang     "en" or "ja", the user's interface language (default "en")
  runtime  Windows only: "missing" (none registered), "broken" (its engine cannot be loaded), "for the
           user" (registered for the user alone), "version 0.0.0.0" (registered with that version), or
           {METHOD: HRESULT} for calls the stand-in answers with that result ("EnvironmentCompleted" and
           "ControllerCompleted" for the results the creations complete with, "null" being success without an
           object; "ClearBrowsingDataCompleted" for the result a clearing completes with)
  args     the command line after the program's name
  files    {NAME: TEXT} written (UTF-8) into the case's folder first; "{icon}" makes a small .ico
  in use   true: another copy's engine holds the scratch data folder all along
  open elsewhere  NAME: a file of the case's folder that another program keeps open for writing all along, as
           an editor may
  session  Linux only: "wayland" (weston's headless compositor and no X; the program is told to end once its
           page is shown) or "wayland with X" (the X server beside it, as XWayland is)
  started maximized  Windows only, true: the starter asks for a maximised window, as a shortcut may
  stale data  true: an earlier copy left a file in the data folder the row uses (with /d the kept one,
           else the scratch one, as a crash leaves it)
  do       steps once the page is shown: "go ADDRESS" (a link the user clicks), "open ADDRESS" (a new
           window asked for by a click), "script go ADDRESS" (the page's script sets its location without
           a click), "script open ADDRESS" (the page's script asks for a new window without a click),
           on Linux "frame go ADDRESS" (a link clicked inside the page's frame),
           "title TEXT", "key KEYS" ("ctrl+m", "alt+Home"), "menu" (the context menu), "choose LABEL"
           (the program's item of it), "download", "write NAME TEXT", "restore NAME TEXT" (written with a
           time an hour before the one it replaces, as an older copy put back), "delete NAME", "crash" (the
           page's process ends), and on Windows "crash hang" (the page's process hangs), "crash browser"
           (the browser process ends), "menu link" (the context menu of a link), "away" (another window
           is activated and closed), "minimize" (and restore), "move X Y", "scale DPI LEFT TOP RIGHT BOTTOM"
           (another monitor's scale and the rectangle suggested for it), "log off" (last: the session ends
           instead of a close, and the process is killed once told); then the window is closed as a user
           closes it, unless it went by itself
  expect   only the keys given are checked: boxes (each box's exact text in order, or {"starts": TEXT};
           a Yes/No box is answered Yes), exit (default 0), window (once shown: title, rect [x, y, w,
           h] or "workarea" or "screen", style "normal"/"fixed"/"popup", maximized, icon), title (after
           the steps), followed (the addresses the view showed, in order), handed (the addresses given
           to the default handler, in order), requested (Linux: every address the loopback servers were
           asked for, the pages' own marks aside, in order), menu (the program's items of the last menu),
           "closed by itself", data (the browsing data folders after the exit: "gone", "kept", or "left"
           to another copy), "cookie kept" (the site's cookie is in the kept data), file (the case's HTML
           file after the run: "gone" or "kept"), "leftovers seen" (the stale data was still there once the
           page showed); Windows only: keyboard (each time the page got or lost the keyboard: true/false, in
           order), visible (the values the view was made visible with), "moves told" (the view heard of a
           move), zoom (the last zoom factor given, as "0.666667", or null), "log-off allowed", private
           (the view was asked for a private profile)
Placeholders: {site} and {other} are two sites' addresses without a final "/" (Linux: {closed} one
whose server does not answer; each page of the Linux sites holds a frame of the other site, at
/frame/), {file:NAME} a file of the case's folder, {workarea-width+1} one more than the work area's
width, {spaces:N} N blanks. A runner gives run_table() its placeholders and a function that runs one row
and returns the facts it saw, keyed as expect is.
"""

import json, os, re, struct, sys, time  # noqa: E401

TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases.jsonl")


def icon_file():
    """An .ico file of one opaque 32 by 32 image, as both platforms read one."""
    image = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 32, 0, 0, 0, 0, 0, 0) + b"\x20\x80\xe0\xff" * 1024 + bytes(128)
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, 32, 32, 0, 0, 1, 32, len(image), 22) + image


def load(platform, only=None):
    """The rows for "linux" or "windows", in table order."""
    rows = []
    with open(TABLE, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            if line.strip() and not line.startswith("#"):
                try:
                    row = json.loads(line)
                except json.JSONDecodeError as error:
                    sys.exit(f"{TABLE}:{number}: {error}")
                if row.get("on", platform) == platform and (only is None or only in row["name"]):
                    rows.append(row)
    return rows


def expand(value, places):
    """The value with every placeholder replaced; places maps a name to its text or a function of the rest."""
    if isinstance(value, list):
        return [expand(item, places) for item in value]
    if isinstance(value, dict):
        return {expand(key, places): expand(item, places) for key, item in value.items()}
    if not isinstance(value, str):
        return value

    def one(match):
        name, _, rest = match.group(1).partition(":")
        place = places.get(name, match.group(0))
        return place(rest) if callable(place) else str(place)
    return re.sub(r"\{([a-z][a-z+0-9-]*(?::[^{}]*)?)\}", one, value)


def problems(expect, facts, areas):
    """What the facts say against the expectations; areas maps "workarea" and "screen" to rectangles."""
    found = []
    for key, want in dict({"exit": 0}, **expect).items():
        got = facts.get(key, "not seen")
        if key == "boxes":
            matches = [g == w if isinstance(w, str) else str(g).startswith(w["starts"]) for g, w in zip(got, want)]
            if len(got) != len(want) or not all(matches):
                found.append(f"boxes {got!r}, expected {want!r}")
        elif key == "window":
            for part, value in want.items():
                value = list(areas[value]) if part == "rect" and isinstance(value, str) else value
                if got.get(part) != value:
                    found.append(f"window {part} {got.get(part)!r}, expected {value!r}")
        elif got != want:
            found.append(f"{key} {got!r}, expected {want!r}")
    return found


def icon_problems(case, facts):
    """Every box's icon: plain for a question, the news that it was done, the usage and the version; every other
    box warns. facts "warns" says for each box whether it showed the warning icon."""
    texts, found = facts.get("boxes", []), []
    questions = [text.endswith(("?", "？")) for text in texts]
    for number, (text, warns) in enumerate(zip(texts, facts.get("warns", []))):
        done = number > 0 and questions[number - 1] and not text.startswith("Could not")
        plain = case["args"] in (["/?"], ["/ver"]) or questions[number] or done
        if warns == plain:
            found.append(f"box {text!r}: {'a warning icon' if warns else 'no warning icon'}")
    return found


def keeps_data(case):
    """Whether the row's browsing data is kept (/d), not thrown away at exit."""
    return any(arg.lower().startswith("/d") for arg in case["args"])


def run_table(platform, places, run_row, areas, only=None):
    """Runs every row; prints a line per row and last "N passed, M failed". Returns the exit code."""
    passed = failed = 0
    places = dict(places, spaces=lambda count: " " * int(count))
    for row in load(platform, only):
        case, started = expand(row, places), time.monotonic()
        try:
            facts = run_row(case)
            found = problems(case.get("expect", {}), facts, areas) + icon_problems(case, facts)
        except Exception as error:  # a runner that breaks fails its row, not the table
            found = [f"{type(error).__name__}: {error}"]
        passed, failed = passed + (not found), failed + bool(found)
        print(f"{'FAIL' if found else 'ok  '} {row['name']} ({time.monotonic() - started:.1f} s)")
        for problem in found:
            print(f"     {problem}")
        sys.stdout.flush()
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1
