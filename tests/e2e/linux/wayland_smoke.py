#!/usr/bin/python3
"""The Linux program in a Wayland session (weston's headless compositor, GDK_BACKEND=wayland, no X): it
shows a page of run_tests.py's loopback site and ends with 0 when told to end; a refusal is a box, read and
answered through the accessibility bus, and then it ends with 0; with /sp and an X server beside the
compositor (as XWayland is) its window goes there, where it was asked. Usage: wayland_smoke.py --exe PROGRAM"""

import argparse, os, signal, subprocess, sys, tempfile, time  # noqa: E401

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_tests  # noqa: E402


def until(check):
    deadline = time.monotonic() + run_tests.WAIT
    while not (got := check()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return got


def answer_box(atspi, pid):
    """The box's text once its one button is pressed; None when no box came."""
    def box():
        try:
            found, app = [], next(a for a in atspi.Registry.getDesktop(0) if a and a.get_process_id() == pid)
            below = lambda node: [found.append(c) or below(c) for c in node if c is not None]  # noqa: E731
            below(app)
        except Exception:  # not on the bus yet
            return None
        # A box under Wayland draws its own title bar, whose label is the caption.
        labels = [c for c in found if c.getRole() == atspi.ROLE_LABEL and c.name not in ("", "vistrel")]
        buttons = [c for c in found if c.getRole() == atspi.ROLE_PUSH_BUTTON]
        return len(labels) == 1 and len(buttons) == 1 and (labels[0], buttons[0])
    found = until(box)
    return found and (found[0].name, found[1].queryAction().doAction(0))[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    exe = os.path.abspath(parser.add_argument("--exe", required=True) and parser.parse_args().exe)
    session, site, runtime = run_tests.Session(), run_tests.Site(), tempfile.mkdtemp(prefix="vistrel-wayland-")
    env = {k: v for k, v in os.environ.items() if k not in run_tests.DROPPED + ("DISPLAY",)}
    env.update({k: v for k, v in session.buses.items() if k != "DISPLAY"}, XDG_RUNTIME_DIR=runtime, HOME=runtime,
               TMPDIR=runtime, WAYLAND_DISPLAY="wayland-vistrel", GDK_BACKEND="wayland", LANG="en_US.UTF-8")
    os.environ.update(session.buses)  # the accessibility client finds its bus when it is first loaded
    import gi
    gi.require_version("Atspi", "2.0")
    import pyatspi
    session.spawn(["weston", "--backend=headless-backend.so", "--socket=wayland-vistrel", "--idle-time=0"], env=env)
    results = []
    try:
        until(lambda: os.path.exists(os.path.join(runtime, "wayland-vistrel")))
        page = subprocess.Popen([exe, site.hosts["site"] + "/"], env=env, stderr=subprocess.DEVNULL)
        shown = until(lambda: site.since(0, "shown"))
        page.send_signal(signal.SIGTERM)
        results.append(("a page is shown, and told to end it ends with 0", shown and page.wait(run_tests.WAIT) == 0))
        refusal = subprocess.Popen([exe, "/x", "about:blank"], env=env, stderr=subprocess.DEVNULL)
        text = answer_box(pyatspi, refusal.pid)
        results.append(("a refusal is a box, and then it ends with 0",
                        text == "/x - Parameter is invalid." and refusal.wait(run_tests.WAIT) == 0))
        # Wayland places windows itself: /sp goes through the X server beside it.
        env.pop("GDK_BACKEND")
        placed = subprocess.Popen([exe, "/sp", "300", "200", "10", "20", site.hosts["site"] + "/"],
                                  env=dict(env, DISPLAY=session.display), stderr=subprocess.DEVNULL)
        x = run_tests.XServer(session.display)
        window = until(lambda: x.window_of(placed.pid))
        results.append(("/sp goes through X where it is there", window and until(lambda: x.rect(window) == [10, 20, 300, 200])))
        placed.send_signal(signal.SIGTERM)
        placed.wait(run_tests.WAIT)
    finally:
        site.shutdown()
        session.close()
    for name, ok in results:
        print(("ok   " if ok else "FAIL ") + name)
    failed = sum(not ok for _, ok in results)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed or len(results) < 3 else 0


if __name__ == "__main__":
    sys.exit(main())
