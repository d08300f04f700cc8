"""The end-to-end case table (cases.jsonl) and what both runners share.

Each row of cases.jsonl is one case, a JSON object on one line (lines
starting with "#" and blank lines are skipped):

  name    what the case shows
  on      "linux" or "windows" where the platforms truly differ (default: both)
  lang    "en" or "ja": the user's interface language (default "en")
  runtime Windows only: "missing" (none registered), "broken" (registered,
          but its engine cannot be loaded), or {METHOD: HRESULT} for calls
          the stand-in answers with that result
  args    the command line after the program's name
  files   {NAME: TEXT} written (UTF-8) into the case's folder first; the
          text "{icon}" makes a small valid .ico file instead
  do      steps taken in order once the page is shown:
            go ADDRESS      the page goes there (a link the user clicks)
            open ADDRESS    the page asks for a new window there
            title TEXT      the page sets its title
            key KEYS        keys pressed in the page, as "ctrl+m", "alt+Home"
            menu            the context menu is opened on the page
            choose LABEL    the program's item of that menu is chosen
            download        the page starts a download
            write NAME TEXT the case's file is written again
            delete NAME     the case's file is deleted
          after the steps the window is closed as a user closes it, unless
          it has gone by itself
  expect  what must be seen; only the keys given are checked:
            boxes      every message box in order: its exact text, or
                       {"starts": TEXT}; a Yes/No box is answered Yes,
                       others with their one button
            exit       the exit code (default 0)
            window     the window once shown: title, rect [x, y, width,
                       height] or "workarea" or "screen", style ("normal",
                       "fixed", "popup"), maximized, icon (one of its own)
            title      the window's title after the steps
            followed   the addresses the view showed, in order
            handed     the addresses handed to the default handler, in order
            menu       the program's own items of the last menu opened
            closed by itself  the window went without being closed
            data       the browsing data folder after the exit: "gone"
                       or "kept"
            file       the case's HTML file after the run: "gone" or "kept"

Placeholders in args, files, do and expect: {site} and {other} are the
addresses of two sites, without a trailing "/"; {file:NAME} is the full
path of a file in the case's folder; {workarea-width+1} is one more than the
work area's width.

A runner gives run_table() its placeholders and a function that runs one
row and returns the facts it saw, with the same keys as expect.
"""

import json
import os
import re
import sys
import time

TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases.jsonl")


def load(platform, only=None):
    """The rows for "linux" or "windows", in table order."""
    rows = []
    with open(TABLE, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            if not line.strip() or line.startswith("#"):
                continue
            try:
                row = json.loads(line)
            except json.JSONDecodeError as error:
                sys.exit(f"{TABLE}:{number}: {error}")
            if row.get("on", platform) == platform and (only is None or only in row["name"]):
                rows.append(row)
    return rows


def expand(value, places):
    """The value with every placeholder replaced; places maps a name to its text or a function of the rest."""
    if isinstance(value, str):
        def one(match):
            name, _, rest = match.group(1).partition(":")
            if name not in places:
                return match.group(0)
            place = places[name]
            return place(rest) if callable(place) else str(place)
        return re.sub(r"\{([a-z][a-z+0-9-]*(?::[^{}]*)?)\}", one, value)
    if isinstance(value, list):
        return [expand(item, places) for item in value]
    if isinstance(value, dict):
        return {expand(key, places): expand(item, places) for key, item in value.items()}
    return value


def box_matches(got, want):
    if isinstance(want, dict):
        return isinstance(got, str) and got.startswith(want["starts"])
    return got == want


def problems(expect, facts, areas):
    """What the facts say against the expectations; areas maps "workarea" and "screen" to rectangles."""
    found = []
    wanted = dict(expect)
    wanted.setdefault("exit", 0)
    for key, want in wanted.items():
        if key not in facts:
            found.append(f"{key}: not seen")
            continue
        got = facts[key]
        if key == "boxes":
            if len(got) != len(want) or not all(box_matches(g, w) for g, w in zip(got, want)):
                found.append(f"boxes {got!r}, expected {want!r}")
        elif key == "window":
            for part, value in want.items():
                if part == "rect" and isinstance(value, str):
                    value = list(areas[value])
                if got.get(part) != value:
                    found.append(f"window {part} {got.get(part)!r}, expected {value!r}")
        elif got != want:
            found.append(f"{key} {got!r}, expected {want!r}")
    return found


def run_table(platform, places, run_row, areas, only=None):
    """Runs every row; prints a line per row and last "N passed, M failed". Returns the exit code."""
    passed = failed = 0
    for row in load(platform, only):
        case = expand(row, places)
        started = time.monotonic()
        try:
            facts = run_row(case)
            found = problems(case.get("expect", {}), facts, areas)
        except Exception as error:  # a runner that breaks fails its row, not the table
            found = [f"{type(error).__name__}: {error}"]
        took = time.monotonic() - started
        if found:
            failed += 1
            print(f"FAIL {row['name']} ({took:.1f} s)")
            for problem in found:
                print(f"     {problem}")
        else:
            passed += 1
            print(f"ok   {row['name']} ({took:.1f} s)")
        sys.stdout.flush()
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1
