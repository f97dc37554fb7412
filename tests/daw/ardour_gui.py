"""Ardour's GUI on the private display, driven the way a user and a script
of Ardour's own would: a GUI hook (probe_hook.lua, installed in the scratch
configuration) runs Lua requests on Ardour's GUI thread, xdotool moves the
mouse and presses keys, wmctrl closes windows through the window manager.
"""

import base64
import os
import subprocess
import time

import numpy as np

import lua_session
from x_session import editor_picture
from ardour_env import GUI, LUA_HOST

HERE = os.path.dirname(os.path.abspath(__file__))
START_TIMEOUT_S = 180
REQUEST_TIMEOUT_S = 30
IS_VIEWABLE = 2
# Ardour 7.3 writes a hook on its tenth-of-a-second timer with this signal set.
TIMER_SIGNALS = "0100000000000000000000000000000000000000000000000"
# The fill of a plug-in entry in a mixer strip's processor box (Ardour's default theme).
PLUGIN_ENTRY_RGB = (102, 48, 48)


class GuiError(Exception):
    pass


def ui_scripts(home):
    """Ardour's ui_scripts file holding the probe hook, compiled by Ardour's own Lua."""
    state = os.path.join(home.work, "probe-state.txt")
    run = subprocess.run([LUA_HOST, os.path.join(HERE, "make_ui_scripts.lua"), os.path.join(HERE, "probe_hook.lua"),
                          state], env=home.env(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                         errors="replace", timeout=120)
    if "RESULT done=1" not in run.stdout:
        raise GuiError("could not compile the probe hook with Ardour's Lua: " + run.stdout[-1000:])
    with open(state, "rb") as f:
        encoded = base64.b64encode(f.read()).decode()
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<UIScripts>\n  <ActionHooks>\n'
            '    <LuaCallback lua="Lua 5.3" id="9130001" name="KORVEL checks probe" signals="%s">%s</LuaCallback>\n'
            '  </ActionHooks>\n</UIScripts>\n' % (TIMER_SIGNALS, encoded))


class ArdourGui:
    def __init__(self, home, x, session_file):
        self.home, self.x, self.session_file = home, x, session_file
        self.probe = os.path.join(home.work, "probe")
        self.process = None
        self.log_path = os.path.join(home.work, "ardour-gui.log")

    # --- process --------------------------------------------------------------------------------

    def start(self):
        os.makedirs(self.probe, exist_ok=True)
        log = open(self.log_path, "a")
        env = self.home.env(DISPLAY=self.x.display, KORVEL_DAW_PROBE=self.probe)
        self.process = subprocess.Popen([GUI, "--no-splash", "--no-announcements", self.session_file], env=env,
                                        stdout=log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + START_TIMEOUT_S
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise GuiError("Ardour ended (status %d) while starting; log: %s" % (self.process.returncode,
                                                                                      self.log_path))
            try:
                if self.request("return Session:name()", timeout=2) == os.path.splitext(
                        os.path.basename(self.session_file))[0]:
                    return
            except GuiError:
                pass
        raise GuiError("Ardour's GUI did not open the session within %d s (a dialog waiting? log: %s)"
                       % (START_TIMEOUT_S, self.log_path))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def quit_saved(self):
        """Saves through Ardour's own action (window states included) and quits.

        Ardour 7.3 on Xvfb dies of SIGSEGV while quitting, also with a session
        that holds no plug-in at all: the save has been confirmed before the
        quit, and the exit status is not held against KORVEL."""
        self.request('Editor:access_action("Common", "Save")')
        self.post('Editor:access_action("Common", "Quit")')
        try:
            self.process.wait(60)
        except subprocess.TimeoutExpired as e:
            raise GuiError("Ardour did not quit within 60 s after saving") from e
        self.process = None

    def cpu_seconds(self):
        """User plus system time of Ardour's process so far, from its own counters."""
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def cpu_share(self, seconds):
        """Ardour's CPU time over a wall-clock window, as a share of one core."""
        before, start = self.cpu_seconds(), time.monotonic()
        time.sleep(seconds)
        return (self.cpu_seconds() - before) / (time.monotonic() - start)

    # --- requests on the GUI thread ------------------------------------------------------------------

    def post(self, code):
        """Leaves a request for the probe hook without waiting for its reply."""
        reply = os.path.join(self.probe, "reply.txt")
        if os.path.exists(reply):
            os.remove(reply)
        pending = os.path.join(self.probe, "request.tmp")
        with open(pending, "w") as f:
            f.write(code)
        os.rename(pending, os.path.join(self.probe, "request.lua"))

    def request(self, code, timeout=REQUEST_TIMEOUT_S):
        """Runs Lua on Ardour's GUI thread through the probe hook; returns its value as text."""
        reply = os.path.join(self.probe, "reply.txt")
        self.post(code)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if os.path.exists(reply):
                with open(reply) as f:
                    status, _, value = f.read().partition("\n")
                os.remove(reply)
                if status != "ok":
                    raise GuiError("Ardour's Lua failed on %r: %s" % (code, value))
                return value
            if self.process.poll() is not None:
                raise GuiError("Ardour ended (status %d); log: %s" % (self.process.returncode, self.log_path))
            time.sleep(0.05)
        if os.path.exists(os.path.join(self.probe, "request.lua")):
            os.remove(os.path.join(self.probe, "request.lua"))
        raise GuiError("Ardour's GUI did not answer %r within %d s" % (code, timeout))

    def set_param(self, pid, value):
        self.request("ARDOUR.LuaAPI.set_processor_param(Session:route_by_name(%s):nth_plugin(0), %d, %r)"
                     % (lua_session.lua_string("Drums"), pid + 1, value))

    def get_param(self, pid):
        return float(self.request('return string.format("%%.17g", ARDOUR.LuaAPI.get_processor_param('
                                  'Session:route_by_name("Drums"):nth_plugin(0), %d))' % (pid + 1)))

    def processed_samples(self):
        """The samples Ardour's engine has processed since it started (it runs with the transport stopped too)."""
        return int(self.request("return Session:engine():processed_samples()"))

    def wait_for_audio(self, samples, timeout=20):
        """Returns once the engine has processed this many samples more: a busy machine runs it late."""
        start = self.processed_samples()
        deadline = time.monotonic() + timeout
        while self.processed_samples() - start < samples:
            if time.monotonic() > deadline:
                raise GuiError("Ardour's engine processed fewer than %d samples in %d s" % (samples, timeout))
            time.sleep(0.05)

    def roll(self, rolling):
        disposition = "MustRoll" if rolling else "MustStop"
        self.request("Session:request_locate(0, false, ARDOUR.LocateTransportDisposition.%s, "
                     "ARDOUR.TransportRequestSource.TRS_UI)" % disposition)

    # --- windows -----------------------------------------------------------------------------------------

    def screen(self):
        x = self.x.xlib
        root = x.root()
        a = x.attributes(root)
        return x.capture(root, a.width, a.height)

    def plugin_entry(self):
        """Centre of KORVEL's entry in the mixer strip (the one plug-in of the session), or None."""
        picture = self.screen()
        mask = (np.abs(picture.astype(np.int32) - np.array(PLUGIN_ENTRY_RGB)).sum(axis=2) <= 6)
        # The entry's fill shows in a few rows between the text's glyphs.
        rows = np.nonzero(mask.sum(axis=1) >= 30)[0]
        if len(rows) < 2:
            return None
        columns = np.nonzero(mask[rows].sum(axis=0))[0]
        return int((columns.min() + columns.max()) // 2), int((rows.min() + rows.max()) // 2)

    def show_mixer(self):
        self.request('Editor:access_action("Common", "show-mixer")')
        # A pointer over the entry lights it up (and shows a tooltip).
        self.x.run("xdotool", "mousemove", "0", "0")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            entry = self.plugin_entry()
            if entry:
                return entry
            time.sleep(0.2)
        raise GuiError("no plug-in entry in the mixer strip after showing the mixer (screen in %s)"
                       % self.save_screen("no-plugin-entry"))

    def save_screen(self, name):
        path = os.path.join(self.home.work, "pictures", name + ".png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        editor_picture.write_png(path, self.screen())
        return path

    def double_click(self, x, y):
        self.x.run("xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "80", "1")

    def plugin_windows(self):
        """[(Ardour's plug-in window, the editor's window or None)] for every KORVEL window of the display."""
        found = []
        xl = self.x.xlib

        def walk(window):
            for child in xl.children(window):
                name = xl.name(child)
                if name and "KORVEL" in name:
                    editors = [w for socket in xl.children(child) for w in xl.children(socket)]
                    found.append((child, editors[0] if editors else None))
                else:
                    walk(child)
        walk(xl.root())
        return found

    def editor_window(self, timeout=15):
        """The editor's window once it is viewable."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for _, editor in self.plugin_windows():
                a = editor and self.x.xlib.attributes(editor)
                if a and a.map_state == IS_VIEWABLE:
                    return editor
            time.sleep(0.05)
        raise GuiError("the editor's window did not show within %d s" % timeout)

    def capture(self, window):
        a = self.x.xlib.attributes(window)
        if not a or a.map_state != IS_VIEWABLE:
            return None
        return self.x.xlib.capture(window, a.width, a.height)

    def close_plugin_window(self):
        """Closes every KORVEL window (custom or generic) through the window manager, as its close button does."""
        xl = self.x.xlib
        for top, _ in self.plugin_windows():
            self.x.run("wmctrl", "-i", "-c", hex(top))
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if not any(xl.attributes(top) and xl.attributes(top).map_state == IS_VIEWABLE
                       for top, _ in self.plugin_windows()):
                return
            time.sleep(0.1)
        raise GuiError("Ardour's plug-in window did not close within 10 s")

    def show_generic_controls(self, entry):
        """Selects the plug-in's entry and asks for Ardour's generic controls, which replace KORVEL's editor:
        Ardour destroys the editor's view (a plain close only hides it)."""
        self.x.run("xdotool", "mousemove", str(entry[0]), str(entry[1]), "click", "1")
        time.sleep(0.3)
        self.request('Editor:access_action("ProcessorMenu", "edit-generic")')
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            tops = [top for top, editor in self.plugin_windows() if editor is None]
            if any(self.x.xlib.attributes(t) and self.x.xlib.attributes(t).map_state == IS_VIEWABLE for t in tops):
                return
            time.sleep(0.1)
        raise GuiError("Ardour's generic controls for KORVEL did not show within 10 s")

    def root_position(self, window):
        """The window's top-left corner on the screen."""
        xl = self.x.xlib
        x = y = 0
        while window:
            a = xl.attributes(window)
            x, y = x + a.x + a.border_width, y + a.y + a.border_width
            window = xl.parent(window)
        return x, y
