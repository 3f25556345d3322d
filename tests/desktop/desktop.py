"""Drives `quillmere edit` on an X display as a person would: real pointer and key events
(xdotool), the desktop clipboard (xclip), a close request like a window manager's. Waits for the
program's state file (QUILLMERE_STATE), never for fixed times. Python standard library only."""

import ctypes
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zlib
import struct

SCREEN = "1280x800x24"
WAIT = 20.0  # seconds any awaited state may take


class Failure(Exception):
    pass


def run_on_own_display(argv):
    """Runs argv in a D-Bus session on a display of its own (xvfb-run -a). The display's frame
    buffer is kept as an XWD file in DESKTOP_FBDIR, for screenshots. xvfb-run -a can lose a race
    for a display number to a run started at the same moment: that start is retried."""
    for attempt in range(5):
        fbdir = tempfile.mkdtemp(prefix="quill-fb-")
        marker = os.path.join(fbdir, "started")
        env = dict(os.environ, DESKTOP_FBDIR=fbdir, DESKTOP_MARKER=marker)
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            env.pop(key, None)
        cmd = ["dbus-run-session", "--", "xvfb-run", "-a", "-s",
               f"-screen 0 {SCREEN} -fbdir {fbdir} -nolisten tcp", *argv]
        rc = subprocess.call(cmd, env=env)
        started = os.path.exists(marker)
        shutil.rmtree(fbdir, ignore_errors=True)
        if started or rc == 0:
            return rc
        time.sleep(random.uniform(0.2, 1.0))
    return rc


def mark_started():
    marker = os.environ.get("DESKTOP_MARKER")
    if marker:
        open(marker, "w").close()


def xdo(*args):
    out = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)
    if out.returncode != 0:
        raise Failure(f"xdotool {' '.join(map(str, args))}: {out.stderr.strip()}")
    return out.stdout


def clipboard_text():
    out = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                         timeout=10)
    return out.stdout.decode("utf-8", "replace") if out.returncode == 0 else None


def _x11():
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
        [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
    x11.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                       ctypes.c_ulong]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_void_p,
                                    ctypes.c_int]
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    return x11


class _SelectionRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("owner", ctypes.c_ulong),
                ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                ("target", ctypes.c_ulong), ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class _SelectionNotify(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong),
                ("selection", ctypes.c_ulong), ("target", ctypes.c_ulong),
                ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class _XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xselectionrequest", _SelectionRequest),
                ("xselection", _SelectionNotify), ("pad", ctypes.c_long * 24)]


def serve_clipboard(offers, log):
    """Owns the CLIPBOARD selection like another application: offers each MIME type of OFFERS
    (type -> bytes, each sent whole in one property) and appends every type asked for to the file
    LOG, one a line, after a first line "owned". Runs until another owner takes the selection."""
    x11 = _x11()
    dpy = x11.XOpenDisplay(None)
    if not dpy:
        raise Failure("cannot open the display")
    atom = lambda name: x11.XInternAtom(dpy, name.encode(), 0)
    clipboard, targets, xa_atom = atom("CLIPBOARD"), atom("TARGETS"), 4
    data = {atom(t): (t, v) for t, v in offers.items()}
    win = x11.XCreateSimpleWindow(dpy, x11.XDefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0)
    x11.XSetSelectionOwner(dpy, clipboard, win, 0)
    if x11.XGetSelectionOwner(dpy, clipboard) != win:
        raise Failure("could not own the clipboard")
    with open(log, "a") as f:
        f.write("owned\n")
    ev = _XEvent()
    while True:
        x11.XNextEvent(dpy, ctypes.byref(ev))
        if ev.type == 29:  # SelectionClear
            break
        if ev.type != 30:  # SelectionRequest
            continue
        req = ev.xselectionrequest
        prop = req.property or req.target
        if req.target == targets:
            atoms = (ctypes.c_ulong * (len(data) + 1))(targets, *data.keys())
            x11.XChangeProperty(dpy, req.requestor, prop, xa_atom, 32, 0, atoms, len(data) + 1)
        elif req.target in data:
            name, value = data[req.target]
            with open(log, "a") as f:
                f.write(name + "\n")
            x11.XChangeProperty(dpy, req.requestor, prop, req.target, 8, 0, value, len(value))
        else:
            prop = 0
        out = _XEvent()
        out.xselection.type = 31  # SelectionNotify
        out.xselection.send_event = 1
        out.xselection.display = dpy
        out.xselection.requestor = req.requestor
        out.xselection.selection = req.selection
        out.xselection.target = req.target
        out.xselection.property = prop
        out.xselection.time = req.time
        x11.XSendEvent(dpy, req.requestor, 0, 0, ctypes.byref(out))
        x11.XFlush(dpy)
    x11.XCloseDisplay(dpy)


def send_close_request(window):
    """What a window manager sends for the close button: WM_PROTOCOLS/WM_DELETE_WINDOW."""
    x11 = _x11()

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]

    class XEvent(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    dpy = x11.XOpenDisplay(None)
    if not dpy:
        raise Failure("cannot open the display")
    ev = XEvent()
    ev.xclient.type = 33  # ClientMessage
    ev.xclient.send_event = 1
    ev.xclient.display = dpy
    ev.xclient.window = window
    ev.xclient.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    ev.xclient.format = 32
    ev.xclient.l[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    ev.xclient.l[1] = 0  # CurrentTime
    x11.XSendEvent(dpy, window, 0, 0, ctypes.byref(ev))
    x11.XFlush(dpy)
    x11.XCloseDisplay(dpy)


def _png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def _frame_buffer():
    """Xvfb's frame buffer file (XWD, 32 bits a pixel): the bytes, the size, the bytes per line,
    where the pixels start and the byte index of red, green and blue in a pixel."""
    raw = open(os.path.join(os.environ["DESKTOP_FBDIR"], "Xvfb_screen0"), "rb").read()
    h = struct.unpack(">25I", raw[:100])
    header_size, width, height = h[0], h[4], h[5]
    byte_order, bits_per_pixel, bytes_per_line, ncolors = h[7], h[11], h[12], h[19]
    if bits_per_pixel != 32:
        raise Failure(f"screen: {bits_per_pixel} bits a pixel")
    shifts = [m.bit_length() - 8 for m in h[14:17]]
    index = [(s // 8) if byte_order == 0 else 3 - s // 8 for s in shifts]
    return raw, width, height, bytes_per_line, header_size + ncolors * 12, index


def screenshot(png_path):
    """Writes the whole screen as a PNG."""
    raw, width, height, bytes_per_line, offset, index = _frame_buffer()
    rows = []
    for y in range(height):
        px = raw[offset + y * bytes_per_line: offset + y * bytes_per_line + width * 4]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = px[index[0]::4], px[index[1]::4], px[index[2]::4]
        rows.append(b"\0" + bytes(rgb))
    os.makedirs(os.path.dirname(png_path) or ".", exist_ok=True)
    with open(png_path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(_png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(_png_chunk(b"IDAT", zlib.compress(b"".join(rows), 6)))
        f.write(_png_chunk(b"IEND", b""))


def screen_pixels(points):
    """The colours (r, g, b) of the screen at the given points."""
    raw, width, height, bytes_per_line, offset, index = _frame_buffer()
    out = []
    for x, y in points:
        x, y = int(x), int(y)
        if not (0 <= x < width and 0 <= y < height):
            raise Failure(f"({x}, {y}) is off the screen")
        at = offset + y * bytes_per_line + x * 4
        out.append(tuple(raw[at + i] for i in index))
    return out


def install_fake_browser(root, schemes):
    """Makes a desktop entry in ROOT's data folder the default handler of SCHEMES; it appends
    each address it is given to ROOT/opened.txt. Gives that file's path."""
    opened = os.path.join(root, "opened.txt")
    script = os.path.join(root, "fake-browser")
    with open(script, "w") as f:
        f.write(f"#!/bin/sh\nprintf '%s\\n' \"$1\" >> '{opened}'\n")
    os.chmod(script, 0o755)
    apps = os.path.join(root, "data", "applications")
    os.makedirs(apps, exist_ok=True)
    types = "".join(f"x-scheme-handler/{s};" for s in schemes)
    with open(os.path.join(apps, "fake-browser.desktop"), "w") as f:
        f.write(f"[Desktop Entry]\nType=Application\nName=Fake browser\nExec={script} %u\n"
                f"MimeType={types}\nNoDisplay=true\n")
    with open(os.path.join(root, "config", "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\n" + "".join(
            f"x-scheme-handler/{s}=fake-browser.desktop\n" for s in schemes))
    return opened


def fresh_environment(root):
    """A home of its own for each run: application home, XDG folders and state file."""
    env = dict(os.environ)
    for name in ("home", "data", "config", "cache", "runtime"):
        os.makedirs(os.path.join(root, name), mode=0o700, exist_ok=True)
    env.update({
        "HOME": os.path.join(root, "home"),
        "QUILLMERE_HOME": os.path.join(root, "home", "quillmere"),
        "XDG_DATA_HOME": os.path.join(root, "data"),
        "XDG_CONFIG_HOME": os.path.join(root, "config"),
        "XDG_CACHE_HOME": os.path.join(root, "cache"),
        "XDG_RUNTIME_DIR": os.path.join(root, "runtime"),
        "GDK_BACKEND": "x11",
        "GDK_DEBUG": "gl-disable",
        "GSETTINGS_BACKEND": "memory",
        "GTK_A11Y": "none",
        "NO_AT_BRIDGE": "1",
        "LC_ALL": "C.UTF-8",
    })
    return env


class App:
    """One `quillmere edit FILE` process and its window."""

    def __init__(self, quillmere, path, root, home=None, prepare=None):
        self.root = root
        self.state_path = os.path.join(root, "state.json")
        self.env = fresh_environment(root)
        if home:
            self.env["QUILLMERE_HOME"] = home
        self.env["QUILLMERE_STATE"] = self.state_path
        if prepare:
            prepare(root)
        self.stderr_path = os.path.join(root, "stderr.txt")
        self.started = time.monotonic()
        self.proc = subprocess.Popen([quillmere, "edit", path], env=self.env,
                                     stdout=subprocess.DEVNULL,
                                     stderr=open(self.stderr_path, "wb"))
        self.window = None
        self.last_tap = 0.0

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def state(self):
        try:
            with open(self.state_path) as f:
                return json.load(f)
        except (OSError, ValueError):
            return None

    def wait(self, what, test, timeout=WAIT, poll=0.01):
        """Polls the state until test(state) gives a true value, which it returns."""
        deadline = time.monotonic() + timeout
        state = None
        while time.monotonic() < deadline:
            state = self.state()
            if state is not None:
                got = test(state)
                if got:
                    return got
            if self.proc.poll() is not None:
                raise Failure(f"quillmere ended (status {self.proc.returncode}) waiting for "
                              f"{what}; stderr: {self.stderr()}")
            time.sleep(poll)
        raise Failure(f"timed out waiting for {what}; last state: {json.dumps(state)[:2000]}")

    def wait_settled(self, quiet=0.3):
        """Waits until the topics in view stay put for QUIET seconds (an animation has ended)."""
        last, since = None, time.monotonic()
        def settled(s):
            nonlocal last, since
            now = time.monotonic()
            if s["topics"] != last:
                last, since = s["topics"], now
                return None
            return s if now - since >= quiet else None
        return self.wait("the map to settle", settled)

    def wait_window(self):
        """Waits for the first frame and finds the X window by the program's pid."""
        self.wait("the first frame", lambda s: s.get("host", {}).get("frames", 0) >= 1 and s)
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                  str(self.proc.pid)], capture_output=True, text=True).stdout
            ids = [int(w) for w in out.split()]
            if ids:
                self.window = ids[-1]
                xdo("windowfocus", "--sync", self.window)
                return self.state()
            time.sleep(0.02)
        raise Failure("no window of quillmere's pid on the display")

    # Finding things in the state.
    @staticmethod
    def topic(state, text):
        for t in state.get("topics", []):
            if t["text"] == text:
                return t
        raise Failure(f"no topic {text!r} in view: {[t['text'] for t in state.get('topics', [])]}")

    @staticmethod
    def background_point(state, margin=30):
        """A point of the window at least MARGIN points from every topic in view."""
        w, h = state["window"]["w"], state["window"]["h"]
        frames = state.get("topics", [])
        for y in range(margin, int(h) - margin, 10):
            for x in range(margin, int(w) - margin, 10):
                if all(x < t["x"] - margin or x > t["x"] + t["w"] + margin or y < t["y"] - margin
                       or y > t["y"] + t["h"] + margin for t in frames):
                    return x, y
        raise Failure("no empty background in the window")

    @staticmethod
    def centre(frame):
        return int(frame["x"] + frame["w"] / 2), int(frame["y"] + frame["h"] / 2)

    def menu_item(self, title):
        """Waits for a menu with the item TITLE; gives the item's frame and that state."""
        def find(s):
            menu = s.get("menu") or {}
            if menu.get("visible"):
                for item in menu.get("items", []):
                    if item["title"] == title:
                        return item, s
            return None
        return self.wait(f"a menu with {title!r}", find)

    def wait_presented(self, state, timeout=2.0):
        """Waits for a frame presented after STATE was written, so the screen shows it. The frame
        may already be counted when the state was read late: then nothing newer comes, and after
        TIMEOUT the screen is taken to show it."""
        frames = state.get("host", {}).get("frames", 0)
        try:
            self.wait("a frame", lambda s: s.get("host", {}).get("frames", 0) > frames, timeout)
        except Failure:
            if self.proc.poll() is not None:
                raise

    def window_origin(self):
        """Where the window's top left corner is on the screen."""
        out = xdo("getwindowgeometry", "--shell", self.window)
        geometry = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(geometry["X"]), int(geometry["Y"])

    def pixels_in(self, frame):
        """The screen's colours at points just inside a topic's box (window points), clear of its
        text: middle of the left and right edges, middle of the top edge."""
        ox, oy = self.window_origin()
        x, y, w, h = frame["x"], frame["y"], frame["w"], frame["h"]
        return screen_pixels([(ox + x + 4, oy + y + h / 2), (ox + x + w - 4, oy + y + h / 2),
                              (ox + x + w / 2, oy + y + 3)])

    # Input, in window points.
    def move(self, x, y):
        xdo("mousemove", "--window", self.window, int(x), int(y))

    def _apart(self):
        # A touch-down within 0.5 s of a tap's lift counts as its second tap; a person's separate
        # taps are further apart.
        pause = self.last_tap + 0.65 - time.monotonic()
        if pause > 0:
            time.sleep(pause)

    def tap(self, x, y):
        self._apart()
        self.move(x, y)
        xdo("click", "1")
        self.last_tap = time.monotonic()

    def double_tap(self, x, y):
        self._apart()
        self.move(x, y)
        xdo("click", "--repeat", "2", "--delay", "60", "1")
        self.last_tap = time.monotonic()

    def press(self, x, y, seconds):
        """The button held down for SECONDS, then let go, without moving."""
        self._apart()
        self.move(x, y)
        xdo("mousedown", "1")
        time.sleep(seconds)
        xdo("mouseup", "1")
        self.last_tap = time.monotonic()

    def key(self, *keys):
        xdo("windowfocus", "--sync", self.window)
        xdo("key", "--clearmodifiers", *keys)

    def type(self, text):
        xdo("windowfocus", "--sync", self.window)
        xdo("type", "--delay", "30", text)

    def replace_text(self, old, new):
        """In the open editor: the caret to the end, old's characters deleted, new typed."""
        self.key("End", *["BackSpace"] * len(old))
        self.type(new)

    def close(self, timeout=WAIT):
        """Asks the window to close, as its close button does, and waits for the program to end."""
        send_close_request(self.window)
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("quillmere did not end after the close request")

    def ended(self, timeout=WAIT):
        """Waits for the program to end by itself and gives its exit status."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("quillmere kept running")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def outline(quillmere, qlm, root):
    """The saved map as `render` writes its Markdown outline."""
    out = os.path.join(root, "outline.md")
    res = subprocess.run([quillmere, "render", qlm, "-o", out], capture_output=True, text=True)
    if res.returncode != 0:
        raise Failure(f"render {qlm}: {res.stderr.strip()}")
    with open(out) as f:
        return f.read()


def branch_of(md, text):
    """The lines of one topic's branch in an outline, moved left to its level."""
    lines = md.splitlines()
    for i, line in enumerate(lines):
        if line.lstrip() == f"- {text}":
            indent = len(line) - len(line.lstrip())
            out = [line[indent:]]
            for rest in lines[i + 1:]:
                if len(rest) - len(rest.lstrip()) <= indent:
                    break
                out.append(rest[indent:])
            return "\n".join(out)
    raise Failure(f"no {text!r} in the outline:\n{md}")


def parent_in_outline(md, text):
    """The text of the parent of the topic TEXT in an outline."""
    stack = []
    for line in md.splitlines():
        indent = len(line) - len(line.lstrip())
        name = line.strip()[2:]
        while stack and stack[-1][0] >= indent:
            stack.pop()
        if name == text:
            return stack[-1][1] if stack else None
        stack.append((indent, name))
    raise Failure(f"no {text!r} in the outline:\n{md}")
