"""A private X display for Ardour's GUI (Xvfb with the openbox window
manager), and the X-side observations of the editor's window: its pixels
(through editor_picture.XDisplay), the key events that reach it and the
times it is drawn (DAMAGE extension)."""

import ctypes
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "editorhost"))

import editor_picture  # noqa: E402

SCREEN = "1600x1000x24"
START_TIMEOUT_S = 20

KEY_PRESS, KEY_RELEASE = 2, 3
KEY_MASKS = (1 << 0) | (1 << 1)
DAMAGE_REPORT_RAW_RECTANGLES = 0


class XError(Exception):
    pass


def free_display(first=140):
    n = first
    while os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
        n += 1
    return ":%d" % n


class XSession:
    """Xvfb plus openbox, started and stopped together."""

    def __init__(self, log_folder):
        self.display = free_display()
        self.log_folder = log_folder
        self.processes = []
        self.xlib = None  # editor_picture.XDisplay on this display once started

    def start(self):
        os.makedirs(self.log_folder, exist_ok=True)
        self._spawn(["Xvfb", self.display, "-noreset", "-screen", "0", SCREEN], "xvfb")
        socket = "/tmp/.X11-unix/X" + self.display[1:]
        if not self._wait(lambda: os.path.exists(socket)):
            raise XError("Xvfb did not start on %s within %d s" % (self.display, START_TIMEOUT_S))
        wm = self._spawn(["openbox", "--sm-disable"], "openbox")
        # openbox owns the screen's WM selection once it manages windows.
        if not self._wait(lambda: self._has_window_manager() or wm.poll() is not None) or wm.poll() is not None:
            raise XError("openbox did not start on %s (log in %s)" % (self.display, self.log_folder))
        self.xlib = editor_picture.XDisplay(self.display)

    def _spawn(self, command, name):
        log = open(os.path.join(self.log_folder, name + ".log"), "w")
        try:
            process = subprocess.Popen(command, env=dict(os.environ, DISPLAY=self.display), stdout=log,
                                       stderr=subprocess.STDOUT)
        except OSError as e:
            raise XError("cannot start %s: %s" % (command[0], e)) from e
        self.processes.append(process)
        return process

    def _has_window_manager(self):
        run = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=dict(os.environ, DISPLAY=self.display),
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return "window id" in run.stdout

    @staticmethod
    def _wait(condition, timeout=START_TIMEOUT_S):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if condition():
                return True
            time.sleep(0.1)
        return condition()

    def stop(self):
        if self.xlib:
            self.xlib.close()
            self.xlib = None
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes = []

    def run(self, *command):
        """Runs an X client (xdotool, wmctrl) on this display."""
        return subprocess.run(list(command), env=dict(os.environ, DISPLAY=self.display), stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, timeout=30)


class XEvent(ctypes.Structure):
    # XEvent is a union of 24 longs; the type is its first int, send_event follows type and serial.
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("pad", ctypes.c_long * 22)]


class WindowWatch:
    """Counts, on a connection of its own, the key events delivered to windows (real and sent ones
    alike: key events go to every client that selected them) and the times the first one is drawn."""

    def __init__(self, display_name, windows):
        self.x = ctypes.CDLL("libX11.so.6")
        self.damage_lib = ctypes.CDLL("libXdamage.so.1")
        x = self.x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        d = self.damage_lib
        d.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
        d.XDamageCreate.restype = ctypes.c_ulong
        d.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
        d.XDamageDestroy.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.display = x.XOpenDisplay(display_name.encode())
        if not self.display:
            raise XError("cannot open the X display %s" % display_name)
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not d.XDamageQueryExtension(self.display, ctypes.byref(event_base), ctypes.byref(error_base)):
            raise XError("the X server has no DAMAGE extension")
        self.damage_event = event_base.value  # XDamageNotify is the extension's first event
        for window in windows:
            x.XSelectInput(self.display, window, KEY_MASKS)
        self.damage = d.XDamageCreate(self.display, windows[0], DAMAGE_REPORT_RAW_RECTANGLES)
        x.XSync(self.display, 0)
        self.drain()

    def drain(self):
        """(key events, those of them sent by a program, damage reports) since the last call."""
        keys = forwarded = drawn = 0
        event = XEvent()
        while self.x.XPending(self.display):
            self.x.XNextEvent(self.display, ctypes.byref(event))
            if event.type in (KEY_PRESS, KEY_RELEASE):
                keys += 1
                forwarded += 1 if event.send_event else 0
            elif event.type == self.damage_event:
                drawn += 1
        return keys, forwarded, drawn

    def watch(self, seconds):
        """Counts for a while; returns (key events, sent ones, damage reports)."""
        totals = [0, 0, 0]
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for i, n in enumerate(self.drain()):
                totals[i] += n
            time.sleep(0.02)
        return tuple(totals)

    def close(self):
        self.damage_lib.XDamageDestroy(self.display, self.damage)
        self.x.XCloseDisplay(self.display)

