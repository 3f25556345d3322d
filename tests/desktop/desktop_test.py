#!/usr/bin/env python3
"""End-to-end tests of `quillmere edit` through real X input on a display of their own.

    desktop_test.py QUILLMERE SOURCE_DIR OUT_DIR CASE

CASE is one of the functions below named case_*. Each run starts its own Xvfb (xvfb-run -a)
in its own D-Bus session, so runs may go side by side."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import (App, Failure, branch_of, clipboard_text, mark_started, outline,  # noqa: E402
                     parent_in_outline, run_on_own_display, screenshot, xdo)

SHAKE_KEY = "F6"


class Case:
    def __init__(self, quillmere, source, out, tmp):
        self.quillmere, self.source, self.out, self.tmp = quillmere, source, out, tmp
        self.apps = []

    def garden(self):
        """The example outline as a map file, with its topics laid out."""
        qlm = os.path.join(self.tmp, "garden.qlm")
        subprocess.run([self.quillmere, "render", os.path.join(self.source, "examples/garden.txt"),
                        "-o", qlm], check=True)
        return qlm

    def start(self, path):
        root = tempfile.mkdtemp(prefix="run-", dir=self.tmp)
        app = App(self.quillmere, path, root)
        self.apps.append(app)
        return app

    def outline(self, qlm):
        return outline(self.quillmere, qlm, self.tmp)


def expect(cond, message):
    if not cond:
        raise Failure(message)


def case_copy(c):
    """Tap a topic, tap it again, pick "Copy": the clipboard holds the branch's outline. The
    screenshot shows the map, the selection, the shake's overlay and the menu."""
    qlm = c.garden()
    want = branch_of(c.outline(qlm), "People")
    app = c.start(qlm)
    people = App.topic(app.wait_window(), "People")
    app.tap(*App.centre(people))
    app.wait("People selected", lambda s: s["selected"] == people["uuid"])
    app.tap(*App.centre(people))
    copy, shown = app.menu_item("Copy")
    app.wait_presented(shown)
    # The shake shows the map's name over the map for 2 s.
    shown = app.state()
    app.key(SHAKE_KEY)
    app.wait_presented(shown)
    screenshot(os.path.join(c.out, "screenshot.png"))
    before = app.state()["pasteboard"]["changeCount"]
    app.tap(*App.centre(copy))
    app.wait("the copy on the pasteboard", lambda s: s["pasteboard"]["changeCount"] > before)
    app.wait("the menu gone", lambda s: not (s.get("menu") or {}).get("visible"))
    got = clipboard_text()
    expect(got is not None and got.strip() == want,
           f"clipboard holds {got!r}, not the branch's outline {want!r}")
    expect(app.close() == 0, f"closing: {app.stderr()}")


def retype(app, old, new):
    """Selects the topic OLD, double-taps it and types NEW over its text in the editor."""
    topic = App.topic(app.wait_window(), old)
    app.tap(*App.centre(topic))
    app.wait(f"{old} selected", lambda s: s["selected"] == topic["uuid"])
    app.double_tap(*App.centre(topic))
    app.wait(f"the editor on {old}",
             lambda s: (s.get("editing") or {}).get("uuid") == topic["uuid"])
    app.replace_text(old, new)
    app.wait(f"{new!r} in the editor", lambda s: (s.get("editing") or {}).get("text") == new)
    return topic


def case_edit(c):
    """Double-tap to edit, type, end the edit; undo and redo; close: the saved map holds it."""
    qlm = c.garden()
    app = c.start(qlm)
    money = retype(app, "Money", "Budget")
    # A tap on the background ends the edit.
    app.tap(*App.background_point(app.state()))
    app.wait("the edit ended", lambda s: s.get("editing") is None
             and App.topic(s, "Budget") and s["modified"])
    app.key("ctrl+z")
    app.wait("undo giving back Money", lambda s: any(t["text"] == "Money" for t in s["topics"]))
    app.key("ctrl+shift+z")
    app.wait("redo giving Budget", lambda s: any(t["text"] == "Budget" for t in s["topics"]))
    expect(app.close() == 0, f"closing: {app.stderr()}")
    md = c.outline(qlm)
    expect("- Budget\n" in md and "- Money\n" not in md, f"saved map:\n{md}")
    expect(branch_of(md, "Budget") == "- Budget\n    - Grant application\n    - Seed swap\n"
           "    - Tool library", f"saved map:\n{md}")


def case_close_while_editing(c):
    """Closing the window in the middle of an edit keeps the typed text."""
    qlm = c.garden()
    app = c.start(qlm)
    retype(app, "Site", "Ground")
    expect(app.close() == 0, f"closing: {app.stderr()}")
    md = c.outline(qlm)
    expect(parent_in_outline(md, "Test the soil") == "Ground", f"saved map:\n{md}")


def set_clipboard_text(text):
    """As another program copying: xclip serves the text from the background."""
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=10)


def case_text_field(c):
    """The editor is a text field of the desktop: Shift+Home and Ctrl+X cut its text to the
    clipboard, Ctrl+V pastes what another program put there (a comma list, which as a paste
    stays text), a drag selects, Escape ends the edit keeping the text. The screenshots show the
    caret and then a selection."""
    qlm = c.garden()
    app = c.start(qlm)
    retype(app, "Money", "Budget plan")
    app.wait_presented(app.state())
    screenshot(os.path.join(c.out, "editor-caret.png"))
    app.key("shift+Left", "shift+Left", "shift+Left", "shift+Left")
    time.sleep(0.3)  # the selection is not in the state: a frame or two for it
    screenshot(os.path.join(c.out, "editor-selection.png"))
    app.key("shift+Home", "ctrl+x")
    app.wait("the text cut", lambda s: (s.get("editing") or {}).get("text") == "")
    got = clipboard_text()
    expect(got == "Budget plan", f"clipboard holds {got!r} after the cut")
    before = app.state()["pasteboard"]["changeCount"]
    set_clipboard_text("Seed fund, tools")
    # The state is written after a pass: a key that changes nothing makes one.
    app.wait("the clipboard taken in",
             lambda s: s["pasteboard"]["changeCount"] > before or app.key("End"))
    app.key("ctrl+v")
    app.wait("the text pasted",
             lambda s: (s.get("editing") or {}).get("text") == "Seed fund, tools")
    # A drag across the text selects it (the map does not pan).
    set_clipboard_text("placeholder")
    topic = App.topic(app.wait_settled(), "Seed fund, tools")
    y = topic["y"] + topic["h"] / 2
    app.move(topic["x"] + 11, y)
    xdo("mousedown", "1")
    for x in range(int(topic["x"]) + 20, int(topic["x"] + topic["w"]) + 20, 10):
        app.move(x, y)
    xdo("mouseup", "1")
    app.key("ctrl+c")
    expect(App.topic(app.wait_settled(), "Seed fund, tools")["x"] == topic["x"], "the map panned")
    app.wait("the selection copied", lambda s: clipboard_text() == "Seed fund, tools")
    app.key("Escape")
    app.wait("the edit ended",
             lambda s: s.get("editing") is None and App.topic(s, "Seed fund, tools"))
    expect(app.close() == 0, f"closing: {app.stderr()}")
    md = c.outline(qlm)
    expect("- Seed fund, tools\n" in md and "- Money\n" not in md, f"saved map:\n{md}")


def lift_towards(app, text, target, part):
    """Holds the topic TEXT until it lifts and drags it PART of the way to the topic TARGET in
    steps, each awaited; the button stays down. Gives TARGET."""
    s = app.wait_window()
    topic, other = App.topic(s, text), App.topic(s, target)
    x0, y0 = App.centre(topic)
    x1, y1 = App.centre(other)
    app.move(x0, y0)
    xdo("mousedown", "1")
    app.wait(f"{text} selected", lambda s: s["selected"] == topic["uuid"])
    app.wait(f"{text} lifted", lambda s: s["selected"] is None)
    steps = 8
    for i in range(1, steps + 1):
        x, y = x0 + (x1 - x0) * part * i / steps, y0 + (y1 - y0) * part * i / steps
        app.move(x, y)
        # The lifted topic follows the pointer.
        app.wait(f"{text} near ({x:.0f}, {y:.0f})",
                 lambda s: abs(App.centre(App.topic(s, text))[0] - x) < 40
                 and abs(App.centre(App.topic(s, text))[1] - y) < 40)
    return other


def case_drag(c):
    """Hold a topic until it lifts, drag it onto another, pick "Move": its new parent is saved."""
    qlm = c.garden()
    app = c.start(qlm)
    site = lift_towards(app, "Seed swap", "Site", 1.0)
    xdo("mouseup", "1")
    move, _ = app.menu_item("Move")
    expect({i["title"] for i in app.state()["menu"]["items"]} >= {"Copy", "Move", "Merge"},
           f"drop menu: {app.state()['menu']}")
    app.tap(*App.centre(move))
    app.wait("Seed swap under Site",
             lambda s: App.topic(s, "Seed swap")["parent"] == site["uuid"])
    expect(app.close() == 0, f"closing: {app.stderr()}")
    md = c.outline(qlm)
    expect(parent_in_outline(md, "Seed swap") == "Site", f"saved map:\n{md}")
    expect(parent_in_outline(md, "Tool library") == "Money", f"saved map:\n{md}")


def case_close_while_dragging(c):
    """Closing the window while a lifted topic is dragged puts it back and saves a whole map."""
    qlm = c.garden()
    app = c.start(qlm)
    lift_towards(app, "Seed swap", "Site", 0.5)
    expect(app.close() == 0, f"closing: {app.stderr()}")
    xdo("mouseup", "1")
    md = c.outline(qlm)
    expect(parent_in_outline(md, "Seed swap") == "Money", f"saved map:\n{md}")
    expect(md == c.outline(os.path.join(c.source, "examples/garden.txt")),
           f"saved map differs from the one opened:\n{md}")


def case_files(c):
    """A missing map file is created; an outline opens as NAME.qlm beside it; a map that cannot be
    read opens no window and exits 1 with a message."""
    new = os.path.join(c.tmp, "fresh.qlm")
    app = c.start(new)
    s = app.wait_window()
    expect(s["path"] == new, f"path {s['path']!r}")
    expect(app.close() == 0, f"closing: {app.stderr()}")
    expect(os.path.isfile(new), "fresh.qlm was not created")
    c.outline(new)

    trip = os.path.join(c.tmp, "trip.opml")
    shutil.copy(os.path.join(c.source, "examples/trip.opml"), trip)
    app = c.start(trip)
    s = app.wait_window()
    beside = os.path.join(c.tmp, "trip.qlm")
    expect(s["path"] == beside, f"path {s['path']!r}")
    expect(app.close() == 0, f"closing: {app.stderr()}")
    want = outline(c.quillmere, trip, c.tmp)
    expect(c.outline(beside) == want, "trip.qlm does not hold the outline")

    bad = os.path.join(c.tmp, "broken.qlm")
    with open(bad, "wb") as f:
        f.write(b"PK\x03\x04 this is not a map")
    app = c.start(bad)
    try:
        rc = app.proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("quillmere edit kept running on a broken map")
    expect(rc == 1, f"exit status {rc} for a broken map")
    expect(app.stderr().strip() != "", "no message for a broken map")
    expect(app.state() is None, "a window state was written for a broken map")
    with open(bad, "rb") as f:
        expect(f.read() == b"PK\x03\x04 this is not a map", "the broken map was changed")


def main():
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    quillmere, source, out, name = (os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]),
                                    os.path.abspath(sys.argv[3]), sys.argv[4])
    fn = globals().get("case_" + name)
    if fn is None:
        print(f"no case {name}", file=sys.stderr)
        return 2
    if "DESKTOP_FBDIR" not in os.environ:
        return run_on_own_display([sys.executable, os.path.abspath(__file__), *sys.argv[1:]])
    mark_started()
    os.makedirs(out, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix=f"desktop-{name}-", dir=out)
    c = Case(quillmere, source, out, tmp)
    start = time.monotonic()
    try:
        fn(c)
    except Failure as e:
        print(f"FAIL {name}: {e}", file=sys.stderr)
        for app in c.apps:
            if app.proc.poll() is None:
                screenshot(os.path.join(out, f"failed-{name}.png"))
                break
        return 1
    finally:
        for app in c.apps:
            app.kill()
    shutil.rmtree(tmp, ignore_errors=True)
    print(f"ok {name} ({time.monotonic() - start:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
