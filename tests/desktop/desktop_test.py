#!/usr/bin/env python3
"""End-to-end tests of `quillmere edit` through real X input on a display of their own.

    desktop_test.py QUILLMERE SOURCE_DIR OUT_DIR CASE

CASE is one of the functions below named case_*. Each run starts its own Xvfb (xvfb-run -a)
in its own D-Bus session, so runs may go side by side."""

import multiprocessing
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import (WAIT, App, Failure, branch_of, clipboard_text,  # noqa: E402
                     install_fake_browser, mark_started, outline, parent_in_outline,
                     run_on_own_display, screen_pixels, screenshot, send_close_request,
                     serve_clipboard, xdo)

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

    def start(self, path, home=None, prepare=None):
        root = tempfile.mkdtemp(prefix="run-", dir=self.tmp)
        app = App(self.quillmere, path, root, home, prepare)
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


def near(a, b, tolerance=24):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def expect_fill_shown(app, shown, text, fill, png):
    """Once the screen shows the state SHOWN (a screenshot goes to PNG), the box of the topic
    TEXT has its FILL."""
    app.wait_presented(shown)
    screenshot(png)
    seen = app.pixels_in(App.topic(shown, text))
    expect(all(near(p, q) for p, q in zip(seen, fill)), f"{text} under the pointer shows {seen}, not its fill {fill}")


def case_drag(c):
    """Hold a topic until it lifts, drag it onto another, pick "Move": its new parent is saved.
    All the way the screen shows the topic under the pointer, in its own fill."""
    qlm = c.garden()
    app = c.start(qlm)
    s = app.wait("every tile drawn", lambda s: "firstFrameMs" in s.get("host", {}) and s)
    app.wait_window()
    fill = app.pixels_in(App.topic(s, "Seed swap"))
    background = screen_pixels([(2, 2)])[0]
    expect(not any(near(p, background, 8) for p in fill), f"Seed swap's fill {fill} is the canvas's")

    # A free drag of the selected topic, pressed and moved at once. The selection has a fill of
    # its own: the one the tiles show once it is selected.
    people = App.topic(s, "People")
    unselected = app.pixels_in(people)
    app.tap(*App.centre(people))
    app.wait("People selected", lambda s: s["selected"] == people["uuid"])
    deadline = time.monotonic() + 20
    while any(near(p, q, 4) for p, q in zip(app.pixels_in(people), unselected)):
        expect(time.monotonic() < deadline, "People never showed as selected")
        time.sleep(0.02)
    people_fill = app.pixels_in(people)
    x0, y0 = App.centre(people)
    app.move(x0, y0)
    app._apart()
    xdo("mousedown", "1")
    for i in range(1, 5):
        app.move(x0 + 15 * i, y0 + 10 * i)
    shown = app.wait("People under the pointer", lambda s: App.centre(App.topic(s, "People")) == (x0 + 60, y0 + 40)
                     and s)
    expect_fill_shown(app, shown, "People", people_fill, os.path.join(c.out, "free-drag-screenshot.png"))
    xdo("mouseup", "1")
    app.wait_settled()

    site = lift_towards(app, "Seed swap", "Site", 1.0)
    expect_fill_shown(app, app.state(), "Seed swap", fill, os.path.join(c.out, "drag-screenshot.png"))
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


def case_links(c):
    """A held tap on a linked topic opens its web or mail address with the desktop's handler
    and a linked map in a window of its own; a script link opens nothing."""
    opml = os.path.join(c.tmp, "links.opml")
    with open(opml, "w") as f:
        f.write('<?xml version="1.0"?><opml version="2.0"><body><outline text="Links">'
                '<outline text="Forecast" url="https://example.org/forecast?day=1 2"/>'
                '<outline text="Write" url="ada@example.org"/>'
                '<outline text="Trap" url="javascript:alert(1)"/>'
                '<outline text="Other map" url="other.qlm"/>'
                '</outline></body></opml>')
    other = os.path.join(c.tmp, "other.qlm")
    subprocess.run([c.quillmere, "render", os.path.join(c.source, "examples/garden.txt"), "-o", other],
                   check=True)
    opened = []
    app = c.start(opml, prepare=lambda root: opened.append(
        install_fake_browser(root, ["http", "https", "mailto", "javascript"])))
    s = app.wait_window()

    def lines():
        try:
            with open(opened[0]) as f:
                return f.read().splitlines()
        except OSError:
            return []

    def follow(text):
        app.press(*App.centre(App.topic(s, text)), 0.3)

    follow("Trap")
    follow("Forecast")
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and not lines():
        time.sleep(0.05)
    expect(lines() == ["https://example.org/forecast?day=1%202"], f"opened {lines()}")
    follow("Write")
    while time.monotonic() < deadline and len(lines()) < 2:
        time.sleep(0.05)
    expect(lines()[1:] == ["mailto:ada@example.org"], f"opened {lines()}")

    # The other map: a second window, which writes the same state file, so it comes last.
    follow("Other map")
    windows = []
    while time.monotonic() < deadline and not windows:
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^other"],
                             capture_output=True, text=True).stdout
        windows = [int(w) for w in out.split()]
        time.sleep(0.05)
    expect(windows, "no window for the linked map")
    pid = int(xdo("getwindowpid", windows[0]).strip())
    expect(pid != app.proc.pid, "the linked map opened in the same window")
    send_close_request(windows[0])
    expect(app.close() == 0, f"closing: {app.stderr()}")
    while time.monotonic() < deadline and os.path.exists(f"/proc/{pid}"):
        time.sleep(0.05)
    expect(lines()[2:] == [], f"opened {lines()}")


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


def end_edit(app):
    """A tap on the background ends the edit under way."""
    app.tap(*App.background_point(app.state()))
    app.wait("the edit ended", lambda s: s.get("editing") is None and s["modified"])


def case_open_twice(c):
    """A second window on a map that is open is refused, saying where it is open; closing the
    terminal (SIGHUP) saves the first one's edit; a window killed outright leaves no lock."""
    qlm = c.garden()
    first = c.start(qlm)
    home = first.env["QUILLMERE_HOME"]
    retype(first, "Money", "Budget")
    end_edit(first)
    second = c.start(qlm, home)
    expect(second.ended() == 1, "a second window on an open map did not exit 1")
    lines = second.stderr().strip().splitlines()
    expect(len(lines) == 1 and "already open in another window" in lines[0]
           and f"process {first.proc.pid}" in lines[0], f"refusal: {second.stderr()!r}")
    expect(second.state() is None, "the second window showed a map")
    first.proc.send_signal(signal.SIGHUP)
    expect(first.ended() == 0, f"after SIGHUP: {first.stderr()}")
    md = c.outline(qlm)
    expect("- Budget\n" in md and "- Money\n" not in md, f"saved map:\n{md}")

    crashed = c.start(qlm, home)
    crashed.wait_window()
    crashed.kill()
    again = c.start(qlm, home)
    again.wait_window()
    expect(again.close() == 0, f"closing: {again.stderr()}")


def case_save_failure(c):
    """The map's folder goes while the window is open: closing keeps the window with an alert that
    says why; SIGQUIT then ends it with the edits in a recovery copy in the application home."""
    folder = os.path.join(c.tmp, "gone")
    os.makedirs(folder)
    qlm = os.path.join(folder, "garden.qlm")
    os.rename(c.garden(), qlm)
    app = c.start(qlm)
    retype(app, "Money", "Budget")
    end_edit(app)
    shutil.rmtree(folder)
    send_close_request(app.window)
    alert = app.wait("the alert", lambda s: s.get("alert"))
    expect(alert["title"] == "The map could not be saved" and "does not exist" in alert["message"],
           f"alert: {alert}")
    shown = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", alert["title"]],
                           capture_output=True, text=True).stdout.split()
    expect(shown, "no window shows the alert")
    time.sleep(0.5)
    expect(app.proc.poll() is None, f"the window went: {app.stderr()}")
    app.proc.send_signal(signal.SIGQUIT)
    expect(app.ended() == 1, f"exit status after a failed save: {app.stderr()}")
    recovered = os.path.join(app.env["QUILLMERE_HOME"], "Documents", "recovered")
    copies = os.listdir(recovered) if os.path.isdir(recovered) else []
    expect(len(copies) == 1, f"recovery copies: {copies}; stderr: {app.stderr()}")
    where = os.path.join(recovered, copies[0])
    expect(f"'{where}'" in app.stderr(), f"stderr does not say where: {app.stderr()}")
    md = c.outline(where)
    expect("- Budget\n" in md, f"recovered map:\n{md}")


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    raise Failure(f"no VmRSS for {pid}")


def paste_item(app, text):
    """Selects the topic TEXT and taps it again; gives the menu's "Paste" and that state."""
    topic = App.topic(app.wait_window(), text)
    app.tap(*App.centre(topic))
    app.wait(f"{text} selected", lambda s: s["selected"] == topic["uuid"])
    app.tap(*App.centre(topic))
    return app.menu_item("Paste")


def case_clipboard(c):
    """Another application offers 40 private types of 10 MB and a short outline: the window
    reads none of them until Paste, and then only the text. 20 MB of text is refused at once
    with an alert that gives the limits, and the map is left as it was."""
    qlm = c.garden()
    app = c.start(qlm)
    app.wait_window()
    rss = resident_mb(app.proc.pid)
    log = os.path.join(c.tmp, "requests.txt")
    big = b"x" * (10 << 20)
    offers = {f"application/x-org.example.big{i}": big for i in range(40)}
    offers["text/plain;charset=utf-8"] = b"Seeds\n\tTomato\n\tBean\n"
    owner = multiprocessing.Process(target=serve_clipboard, args=(offers, log), daemon=True)
    owner.start()
    try:
        deadline = time.monotonic() + WAIT
        while not (os.path.exists(log) and open(log).read().startswith("owned")):
            expect(time.monotonic() < deadline and owner.is_alive(), "the owner did not start")
            time.sleep(0.01)
        # Selecting a topic and opening the menu looks at the clipboard's types.
        count = app.state()["pasteboard"]["changeCount"]
        paste, shown = paste_item(app, "Money")
        expect(shown["pasteboard"]["changeCount"] > count, "the window did not see the new clipboard")
        expect(open(log).read() == "owned\n", f"read before the paste: {open(log).read().split()}")
        grown = resident_mb(app.proc.pid) - rss
        expect(grown < 50, f"the window grew by {grown:.0f} MB with nothing pasted")
        app.tap(*App.centre(paste))
        app.wait("the outline pasted", lambda s: any(t["text"] == "Tomato" for t in s["topics"]))
        expect(open(log).read().split() == ["owned", "text/plain;charset=utf-8"],
               f"read for the paste: {open(log).read().split()}")
    finally:
        owner.kill()
        owner.join()

    text = os.path.join(c.tmp, "big.txt")
    with open(text, "w") as f:
        f.write("".join(f"Line {i} of a long list copied from somewhere else\n" for i in range(400000)))
    xclip = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", text])
    try:
        xclip.wait(timeout=WAIT)  # it forks to serve the clipboard
        time.sleep(0.2)
        paste, _ = paste_item(app, "Site")
        app.tap(*App.centre(paste))
        started = time.monotonic()
        alert = app.wait("the alert", lambda s: s.get("alert"), timeout=5)
        took = time.monotonic() - started
        expect(alert["message"] == "The text on the clipboard is more than 1 MB. A paste takes at "
               "most 1 MB of text in at most 10,000 lines.", f"alert: {alert}")
        expect(took < 2, f"the refusal took {took:.1f} s")
        after = app.state()
        expect(not any(t["text"].startswith("Line ") for t in after["topics"]), "pasted anyway")
        grown = resident_mb(app.proc.pid) - rss
        expect(grown < 150, f"the window grew by {grown:.0f} MB for a refused paste")
    finally:
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"])
    expect(app.close() == 0, f"closing: {app.stderr()}")
    md = c.outline(qlm)
    expect(branch_of(md, "Seeds") == "- Seeds\n    - Tomato\n    - Bean", f"saved map:\n{md}")
    expect(parent_in_outline(md, "Seeds") == "Money", f"saved map:\n{md}")


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
