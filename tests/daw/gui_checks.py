"""Checks of KORVEL's editor in Ardour's GUI on a private Xvfb display with
openbox and the Dummy audio backend.

One Ardour runs them in order (the last one restarts it): the editor opened
from the mixer strip shows the panel, and its first frames show the session's
values; a knob drag reaches Ardour; a key press leaves Ardour's CPU alone;
after a stage is switched off the process goes back to idle; ten closings and
reopenings leave no extra windows; a session saved with the editor open
reopens it at its size.

CPU is Ardour's own user and system time over a few seconds (the machine is
shared, so wall-clock speed says little). Two X-side counts back it up, since
they do not depend on the machine's load: the key presses delivered to the
editor's window (a key sent round in a loop arrives again and again) and the
times the editor's window is drawn (DAMAGE).
"""

import os
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

import numpy as np

import ardour_gui
import lua_session
import session_audio
from ardour_env import KORVEL_UID, SAMPLE_RATE
from check_runner import CheckFailed
from x_session import WindowWatch, XError, XSession, editor_picture

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "korvel-snapshot"))
import compare_pictures  # noqa: E402

NAMES = ["editor_shows_panel", "first_frame", "knob_drag", "key_loop", "idle_after_switch", "reopen_ten_times",
         "reopen_at_size"]

THRESHOLD_INT, RATIO_INT, VCA_INT = 0, 2, 16
THRESHOLD_KNOB_CENTRE = (122, 103)  # editor pixels at scale 1
VCA_INT_SWITCH_CENTRE = (759, 155)
EMPTY_PANEL_SPOT = (30, 200)  # the stage label column: no control
UNUSED_KEY = "o"  # bound to nothing in Ardour's default key bindings
FIRST_OPENINGS = 8  # a wrong first frame shows in about half of the openings: look at several
CAPTURE_AFTER_PANEL_S = 0.7
# A new instance's needles start at "no reduction" and fall to rest with the stage off: below the first of
# the needle's frames after 0.35 s of audio. Until then the instance really shows another needle than the
# reference picture, whose needles are at rest.
NEEDLES_AT_REST_S = 1.0
CPU_WINDOW_S = 3.0
# Of one core. The faults add 20 to 70 % (less the busier the machine); what a shared machine adds by
# itself between two windows of a few seconds stays well below this (the X-side counts decide there).
CPU_MARGIN = 0.25
FORWARDED_KEYS_ALLOWED = 10
IDLE_DRAWS_ALLOWED = 3
DEFAULTS = {THRESHOLD_INT: 10, RATIO_INT: 4, VCA_INT: 0}  # of the parameters the checks move
MINIMA = {0: -20, 1: -20, 2: 1, 3: 1, 4: 0.1, 5: 0.1, 6: 0.05, 7: 0.05, 8: -15, 9: -15, 10: -15, 11: -15, 12: 0,
          13: 0, 14: 0, 15: 0, 16: 0, 17: 0, 18: 0, 19: 0, 20: 0, 21: 0, 22: 20, 23: 20, 24: 0}


def to_rgb16(picture):
    return picture.astype(np.int16)


class GuiChecks:
    def __init__(self, home, tools, audio):
        self.home, self.tools, self.audio = home, tools, audio
        self.session_dir = os.path.join(home.work, "sessions", "gui")
        self.pictures = os.path.join(home.work, "pictures")
        self.x = XSession(os.path.join(home.work, "x"))
        self.gui = None
        self.opening = []  # frames of the first opening: (seconds after the double-click, picture)
        self.entry = None

    # --- setup ----------------------------------------------------------------------------------------

    def prepare(self):
        shutil.rmtree(self.session_dir, ignore_errors=True)
        lua_session.run(self.home, 'daw.new_session(%s, "gui")\ndaw.add_korvel(daw.add_track("Drums"))\n'
                        'daw.save()\ndaw.finish()' % lua_session.lua_string(self.session_dir), "gui-session")
        session_audio.add_region(self.session_dir, "gui", "Drums", self.audio.long_drums)
        os.makedirs(self.pictures, exist_ok=True)
        self.home.install_ui_script(ardour_gui.ui_scripts(self.home))
        self.x.start()
        # The editor after the engine has run a while on silence: needles at rest.
        self.reference = self.snapshot("reference", {})
        self.minima = self.snapshot("minima", MINIMA)
        self.gui = ardour_gui.ArdourGui(self.home, self.x, os.path.join(self.session_dir, "gui.ardour"))
        self.gui.start()
        self.entry = self.gui.show_mixer()

    def snapshot(self, name, params):
        out = os.path.join(self.pictures, name + ".png")
        command = [self.tools.snapshot, "--plugin", self.home.bundle, "--in", self.audio.silence, "--out", out]
        for pid, value in sorted(params.items()):
            command += ["--param", "%d=%s" % (pid, value)]
        run = subprocess.run(command, env=dict(os.environ, DISPLAY=self.x.display), stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, timeout=120)
        if run.returncode != 0:
            raise ardour_gui.GuiError("korvel-snapshot failed: " + run.stdout[-1000:])
        return compare_pictures.load_rgb(out)

    def stop(self):
        if self.gui:
            self.gui.stop()
        self.x.stop()

    def save_picture(self, name, picture):
        path = os.path.join(self.pictures, name + ".png")
        x_picture = picture if picture.dtype == np.uint8 else np.clip(picture, 0, 255).astype(np.uint8)
        editor_picture.write_png(path, x_picture)
        return path

    # --- opening the editor -------------------------------------------------------------------------

    def open_editor(self):
        """The editor's window: the open one, or opened by a double click on KORVEL's entry in the mixer strip."""
        for _, editor in self.gui.plugin_windows():
            a = editor and self.x.xlib.attributes(editor)
            if a and a.map_state == ardour_gui.IS_VIEWABLE:
                return editor
        self.entry = self.gui.show_mixer()
        self.gui.double_click(*self.entry)
        try:
            return self.gui.editor_window()
        except ardour_gui.GuiError:
            # A double click that reached the strip while Ardour was still closing the last window is lost.
            print("daw: no editor after the double click; clicking again", flush=True)
            self.gui.double_click(*self.entry)
            return self.gui.editor_window()

    def record_opening(self):
        """Opens the editor and captures its window as fast as X allows until it has shown the panel
        for a while; returns [(seconds, picture)]."""
        self.entry = self.gui.show_mixer()
        start = time.monotonic()
        self.gui.double_click(*self.entry)
        frames, shown_at, editor = [], None, None
        while time.monotonic() - start < 20:
            if editor is None:
                found = [e for _, e in self.gui.plugin_windows() if e]
                editor = found[0] if found else None
                continue
            picture = self.gui.capture(editor)
            if picture is None:
                continue
            now = time.monotonic() - start
            frames.append((now, picture))
            if shown_at is None and self.matches_reference(picture):
                shown_at = now
            if shown_at is not None and now - shown_at > CAPTURE_AFTER_PANEL_S:
                break
        return frames

    def matches_reference(self, picture):
        return picture.shape[:2] == self.reference.shape[:2] and \
            compare_pictures.within(to_rgb16(picture), self.reference)[0]

    def fresh_instance(self):
        """Replaces KORVEL on the track by a new instance (its editor not yet created) and lets it process
        until its needles are at rest, as in the reference picture."""
        self.gui.close_plugin_window()
        self.gui.request("""
local r = Session:route_by_name("Drums")
r:remove_processor(r:nth_plugin(0), nil, true)
local p = ARDOUR.LuaAPI.new_plugin(Session, "%s", ARDOUR.PluginType.VST3, "")
assert(not p:isnil(), "no KORVEL")
assert(r:add_processor_by_index(p, 0, nil, true) == 0, "KORVEL not inserted")""" % KORVEL_UID)
        self.gui.wait_for_audio(int(NEEDLES_AT_REST_S * SAMPLE_RATE))

    # --- the checks ----------------------------------------------------------------------------------

    def check_editor_shows_panel(self):
        self.opening = self.record_opening()
        if not self.opening:
            raise CheckFailed("the editor's window never became readable after the double-click")
        last = self.opening[-1][1]
        self.save_picture("opened", last)
        if last.shape[:2] != self.reference.shape[:2]:
            raise CheckFailed("the editor's window is %dx%d, the panel %dx%d" % (
                last.shape[1], last.shape[0], self.reference.shape[1], self.reference.shape[0]))
        ok, figures = compare_pictures.within(to_rgb16(last), self.reference)
        if not ok:
            raise CheckFailed("the editor does not show korvel-snapshot's picture of the same state: %s "
                              "(picture in %s)" % (figures, self.pictures))

    def check_first_frame(self):
        """No frame of a first opening shows the panel with other values than the session's."""
        if not self.opening:
            self.opening = self.record_opening()
        attempts = [self.opening]
        for attempt in range(FIRST_OPENINGS):
            wrong = self.wrong_frames(attempts[-1])
            if wrong:
                seconds, picture = wrong[0]
                path = self.save_picture("wrong-first-frame", picture)
                minimum = compare_pictures.within(to_rgb16(picture), self.minima)[1]
                raise CheckFailed("opening %d: %d frame(s) showed the panel with other values than the session's, "
                                  "the first %.0f ms after the window showed anything, differing from the reference "
                                  "in %s (against the picture with every control at its minimum: %s); frame in %s"
                                  % (attempt + 1, len(wrong), 1000 * (seconds - attempts[-1][0][0]),
                                     self.differing_area(picture), minimum, path))
            if attempt + 1 < FIRST_OPENINGS:
                self.fresh_instance()
                attempts.append(self.record_opening())
        self.gui.close_plugin_window()

    def differing_area(self, picture):
        """Where a picture of the panel's size differs from the reference: tells a needle from a knob."""
        differs = np.abs(to_rgb16(picture) - self.reference).max(axis=2) > compare_pictures.CHANNEL_TOLERANCE
        ys, xs = np.nonzero(differs)
        return "x %d..%d, y %d..%d" % (xs.min(), xs.max(), ys.min(), ys.max()) if len(xs) else "no pixel"

    def wrong_frames(self, frames):
        """Frames that draw the panel (its fixed parts are there) but not the session's values, in two captures
        running: a capture can read the window while a frame is being copied into it (the top already new, the
        rest old), and a frame shown with wrong values stays for several captures."""
        fixed = np.abs(self.reference - self.minima).max(axis=2) <= compare_pictures.CHANNEL_TOLERANCE

        def is_wrong(picture):
            if picture.shape[:2] != self.reference.shape[:2] or self.matches_reference(picture):
                return False
            drawn = np.abs(to_rgb16(picture) - self.reference).max(axis=2) <= compare_pictures.CHANNEL_TOLERANCE
            return np.count_nonzero(drawn & fixed) >= 0.99 * np.count_nonzero(fixed)

        flags = [is_wrong(picture) for _, picture in frames]
        return [frame for i, frame in enumerate(frames) if flags[i] and i + 1 < len(frames) and flags[i + 1]]

    def check_knob_drag(self):
        editor = self.open_editor()
        left, top = self.gui.root_position(editor)
        x, y = left + THRESHOLD_KNOB_CENTRE[0], top + THRESHOLD_KNOB_CENTRE[1]
        self.x.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.2)
        self.x.run("xdotool", "mousedown", "1")
        for step in range(1, 9):
            self.x.run("xdotool", "mousemove", str(x), str(y + 10 * step))
            time.sleep(0.05)
        self.x.run("xdotool", "mouseup", "1")
        time.sleep(0.5)
        held = self.gui.get_param(THRESHOLD_INT)
        self.gui.request('Session:save_state("", false, false, false)')
        saved = self.saved_port_value(THRESHOLD_INT)
        if saved is None:
            raise CheckFailed("the saved session has no value for Threshold Int")
        if saved > 9.0:
            raise CheckFailed("after dragging Threshold Int down the saved session still holds %g dB (Ardour's "
                              "control: %g dB): the drag did not reach Ardour" % (saved, held))
        if abs(saved - held) > 1e-3:
            raise CheckFailed("the saved session holds %g dB, Ardour's control %g dB" % (saved, held))

    def saved_port_value(self, pid):
        root = ET.parse(os.path.join(self.session_dir, "gui.ardour")).getroot()
        for processor in root.iter("Processor"):
            if processor.get("unique-id") == KORVEL_UID:
                for port in processor.iter("Port"):
                    if port.get("id") == str(pid):
                        return float(port.get("value"))
        return None

    def check_key_loop(self):
        editor = self.open_editor()
        left, top = self.gui.root_position(editor)
        self.x.run("xdotool", "mousemove", str(left + EMPTY_PANEL_SPOT[0]), str(top + EMPTY_PANEL_SPOT[1]),
                   "click", "1")
        time.sleep(2.0)  # the opening's own work is over before the CPU is measured
        # A key the editor passes on is sent to its parent, Ardour's socket window, which selects no
        # keys: the event goes on up to Ardour's plug-in window, watched there. (Selecting keys on the
        # socket window would stop the event there and hide the loop.)
        plugin_window = [top for top, e in self.gui.plugin_windows() if e == editor][0]
        watch = WindowWatch(self.x.display, [editor, plugin_window])
        try:
            before = self.gui.cpu_share(CPU_WINDOW_S)
            watch.drain()
            self.x.run("xdotool", "key", UNUSED_KEY)
            time.sleep(0.5)
            after = self.gui.cpu_share(CPU_WINDOW_S)
            keys, forwarded, _ = watch.watch(0.1)
        finally:
            watch.close()
            self.gui.close_plugin_window()  # a key going round stops once the window is hidden
        if forwarded > FORWARDED_KEYS_ALLOWED or after > before + CPU_MARGIN:
            raise CheckFailed("one key press with the editor focused: Ardour's CPU %.0f %% before, %.0f %% after; "
                              "%d key events reached the editor's window and Ardour's plug-in window, %d of them "
                              "sent on by a program (a key going round between the editor and the socket)" % (100 * before, 100 * after,
                                                                                     keys, forwarded))

    def check_idle_after_switch(self):
        self.gui.close_plugin_window()
        self.gui.set_param(VCA_INT, 1)
        self.gui.set_param(THRESHOLD_INT, -20)
        self.gui.set_param(RATIO_INT, 10)
        self.gui.roll(True)
        try:
            time.sleep(2.0)
            closed = self.gui.cpu_share(CPU_WINDOW_S)
            editor = self.open_editor()
            time.sleep(2.0)  # the Int needle shows the gain reduction
            left, top = self.gui.root_position(editor)
            self.x.run("xdotool", "mousemove", str(left + VCA_INT_SWITCH_CENTRE[0]),
                       str(top + VCA_INT_SWITCH_CENTRE[1]), "click", "1")
            time.sleep(0.5)
            if self.gui.get_param(VCA_INT) != 0.0:
                raise CheckFailed("clicking the Int stage's VCA switch did not switch it off in Ardour")
            time.sleep(1.5)
            watch = WindowWatch(self.x.display, [editor])
            try:
                watch.drain()
                after = self.gui.cpu_share(CPU_WINDOW_S)
                _, _, draws = watch.watch(0.1)
            finally:
                watch.close()
            self.gui.close_plugin_window()
            time.sleep(1.0)
            closed = max(closed, self.gui.cpu_share(CPU_WINDOW_S))  # the same playing state, no editor
        finally:
            self.gui.roll(False)
        if draws > IDLE_DRAWS_ALLOWED or after > closed + CPU_MARGIN:
            raise CheckFailed("2 s after the Int stage was switched off (transport rolling): Ardour's CPU %.0f %% "
                              "with the editor open against %.0f %% with it closed; the editor's window was drawn "
                              "%d times in %.0f s" % (100 * after, 100 * closed, draws, CPU_WINDOW_S))

    def restore_defaults(self):
        """The values the reference picture shows (the checks before may have moved some)."""
        for pid, value in DEFAULTS.items():
            self.gui.set_param(pid, value)

    def check_reopen_ten_times(self):
        """Ten times: KORVEL's editor replaced by Ardour's generic controls (the view is destroyed),
        the window closed, the editor opened again from the strip; it shows the panel each time, and
        the display holds as many windows, Ardour as many sockets (X connections), as after the first
        round. (Closing Ardour's window alone only hides it: the editor would not be touched.)"""
        self.gui.close_plugin_window()
        self.restore_defaults()
        before = None
        for cycle in range(11):
            self.gui.close_plugin_window()
            self.gui.show_generic_controls(self.gui.show_mixer())
            self.gui.close_plugin_window()
            editor = self.open_editor()
            if self.wait_for_panel(editor) is None:
                raise CheckFailed("reopening %d: the editor did not show the panel" % cycle)
            if before is None:
                before = self.window_counts()  # the first round made Ardour's generic window
        after = self.window_counts()
        if after != before:
            raise CheckFailed("after ten rounds of destroying and reopening the editor: %d windows, %d KORVEL "
                              "windows of Ardour, %d editor windows, %d sockets open in Ardour; after the first "
                              "round: %d, %d, %d, %d" % (after + before))

    def wait_for_panel(self, editor, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            picture = self.gui.capture(editor)
            if picture is not None and self.matches_reference(picture):
                return picture
            time.sleep(0.05)
        return None

    def window_counts(self):
        """(windows on the display, Ardour's KORVEL windows, editor windows, sockets Ardour holds open):
        the editor's X connection is a socket of Ardour's process."""
        xl = self.x.xlib

        def count(window):
            return sum(1 + count(child) for child in xl.children(window))
        plugin = self.gui.plugin_windows()
        fds = "/proc/%d/fd" % self.gui.process.pid
        sockets = sum(1 for fd in os.listdir(fds) if os.readlink(os.path.join(fds, fd)).startswith("socket:"))
        return count(xl.root()), len(plugin), sum(1 for _, e in plugin if e), sockets

    def settled_size(self, window, timeout=15):
        """The window's size once it has not changed for a second (a busy host follows a drag late)."""
        last, since = None, time.monotonic()
        deadline = since + timeout
        while time.monotonic() < deadline:
            a = self.x.xlib.attributes(window)
            size = (a.width, a.height)
            if size != last:
                last, since = size, time.monotonic()
            elif time.monotonic() - since >= 1.0:
                break
            time.sleep(0.1)
        return last

    def check_reopen_at_size(self):
        self.gui.close_plugin_window()
        editor = self.open_editor()
        left, top = self.gui.root_position(editor)
        a = self.x.xlib.attributes(editor)
        x, y = left + a.width - 5, top + a.height - 5
        self.x.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.2)
        self.x.run("xdotool", "mousedown", "1")
        for step in range(1, 11):
            self.x.run("xdotool", "mousemove", str(x + 25 * step), str(y + 10 * step))
            time.sleep(0.05)
        self.x.run("xdotool", "mouseup", "1")
        size = self.settled_size(editor)
        if size == (self.reference.shape[1], self.reference.shape[0]):
            raise CheckFailed("dragging the editor's corner did not resize it")
        self.gui.quit_saved()
        self.gui.start()
        try:
            editor = self.gui.editor_window(timeout=30)
        except ardour_gui.GuiError:
            raise CheckFailed("the session saved with the editor open did not reopen it")
        reopened = self.settled_size(editor)
        if reopened != size:
            raise CheckFailed("the editor reopened at %dx%d, saved at %dx%d" % (reopened + size))

    ORDER = [("editor_shows_panel", check_editor_shows_panel), ("first_frame", check_first_frame),
             ("knob_drag", check_knob_drag), ("key_loop", check_key_loop),
             ("idle_after_switch", check_idle_after_switch), ("reopen_ten_times", check_reopen_ten_times),
             ("reopen_at_size", check_reopen_at_size)]


def run_all(runner, home, tools, audio):
    wanted = [(name, check) for name, check in GuiChecks.ORDER if runner.wanted(name)]
    if not wanted:
        return
    checks = GuiChecks(home, tools, audio)
    try:
        checks.prepare()
    except (ardour_gui.GuiError, XError, lua_session.LuaError) as e:
        checks.stop()
        for name, _ in wanted:
            runner.record_failure(name, "Ardour's GUI could not be set up: %s" % e)
        return
    try:
        for name, check in wanted:
            runner.run(name, as_check(check), checks)
    finally:
        checks.stop()


def as_check(check):
    """Ardour's GUI or the display failing under a check is that check's failure, said in a line."""
    def run(checks):
        try:
            check(checks)
        except (ardour_gui.GuiError, XError) as e:
            raise CheckFailed(str(e)) from e
    return run
