"""Checks of KORVEL in Ardour's Lua session host: the scan, exports against
korvel-render, latency compensation, automation, the saved state and the
external side-chain.

Every session starts as a copy of one base session: a stereo track "Drums"
with KORVEL and the drum loop, a track "Dry" with the same loop (muted) and a
track "Kick" with the loop's kick drum, its fader down (a side-chain source only). The loop
starts after two seconds of silence, in which the plug-in settles: in Ardour
it has been running on silence since the session opened, while korvel-render
starts it on the first sample of the file.
"""

import os
import shutil
import subprocess
import xml.etree.ElementTree as ET

import audio_compare
import lua_session
import material
import session_audio
from ardour_env import BLOCK, KORVEL_UID, SAMPLE_RATE
from check_runner import CheckFailed

RATE = SAMPLE_RATE
LEAD_IN_S = material.LEAD_IN_S
OVERSAMPLING = 24
OVERSAMPLING_LATENCY = 64
THRESHOLD_INT = 0

# Both stages, every character at least once, gains, mix and filters away from their defaults.
SETTINGS = {0: -12, 2: 6, 4: 3, 6: 0.25, 8: 4, 16: 1, 18: 1, 22: 120, 12: 80, 10: -2,
            1: -6, 3: 3, 5: 20, 7: 0.5, 9: 2, 19: 1, 20: 1, 11: 3, 13: 60, 23: 200}
# Twenty parameters for the round trip through the saved session.
ROUND_TRIP = {0: -7.5, 1: -13, 2: 5.5, 3: 9, 4: 2.5, 5: 33, 6: 0.8, 7: 1.4, 8: 6, 9: -3, 10: 4.5, 11: -6,
              12: 70, 13: 35, 16: 1, 17: 1, 19: 1, 21: 1, 22: 300, 23: 90}
SIDECHAIN = {15: 1, 19: 1, 1: -20, 3: 10, 5: 1, 7: 0.2}


def lua_params(proc, params):
    return "".join("daw.set_param(%s, %d, %r)\n" % (proc, pid, value) for pid, value in sorted(params.items()))


def lua_report_params(proc, ids):
    """Reports the values Ardour holds, with every digit of the 32-bit float."""
    return "".join('daw.result("p%d", string.format("%%.17g", daw.get_param(%s, %d)))\n' % (pid, proc, pid)
                   for pid in sorted(ids))


def held(results, ids):
    return {pid: results["p%d" % pid] for pid in sorted(ids)}


class HeadlessChecks:
    def __init__(self, home, tools, audio):
        self.home = home
        self.render_exe = tools.render
        self.audio = audio  # paths: drums (stereo loop after the lead-in), kick (stereo)
        self.sessions = os.path.join(home.work, "sessions")
        self.base = os.path.join(self.sessions, "base")

    # --- sessions and renders -----------------------------------------------------------------

    def make_base_session(self):
        shutil.rmtree(self.sessions, ignore_errors=True)
        os.makedirs(self.sessions)
        lua_session.run(self.home, """
daw.new_session(%s, "base")
daw.add_korvel(daw.add_track("Drums"))
daw.add_track("Dry")
local kick = daw.add_track("Kick")
daw.set_control(kick:gain_control(), 0, "the fader of Kick")
daw.set_muted("Dry", true)
daw.save()
daw.finish()""" % lua_session.lua_string(self.base), "base")
        session_audio.add_region(self.base, "base", "Drums", self.audio.drums)
        session_audio.add_region(self.base, "base", "Dry", self.audio.drums)
        session_audio.add_region(self.base, "base", "Kick", self.audio.kick)

    def session(self, name):
        path = os.path.join(self.sessions, name)
        shutil.rmtree(path, ignore_errors=True)
        shutil.copytree(self.base, path)
        return path

    def in_session(self, path, body, name):
        """Runs body in the opened session (korvel = KORVEL on Drums); returns the script's results."""
        script = 'daw.open_session(%s, "base")\nlocal korvel = daw.korvel("Drums")\n%s\ndaw.finish()' % (
            lua_session.lua_string(path), body)
        return lua_session.run(self.home, script, name)

    @staticmethod
    def export_lua(path, label):
        return "daw.export_to(%s)\n" % lua_session.lua_string(os.path.join(path, label))

    @staticmethod
    def exported(path, label):
        return audio_compare.read(os.path.join(path, label, "export.wav"))[0]

    def render(self, name, params=None, ramps=None, sidechain=False):
        """korvel-render of the drum loop (32-bit host buffers, Ardour's block size); returns the audio."""
        out = os.path.join(self.home.work, "renders", name + ".wav")
        os.makedirs(os.path.dirname(out), exist_ok=True)
        command = [self.render_exe, "--plugin", self.home.bundle, "--in", self.audio.drums, "--out", out,
                   "--precision", "32", "--block", str(BLOCK)]
        for pid, value in sorted((params or {}).items()):
            command += ["--param", "%d=%s" % (pid, value)]
        for pid, points in sorted((ramps or {}).items()):
            command += ["--ramp", "%d=%s" % (pid, ",".join("%g:%g" % p for p in points))]
        if sidechain:
            command += ["--sidechain", self.audio.kick]
        run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
        if run.returncode != 0:
            raise CheckFailed("korvel-render failed (%d): %s" % (run.returncode, run.stdout.strip()[-1000:]))
        return audio_compare.read(out)[0]

    # --- the checks ----------------------------------------------------------------------------------

    def check_scan(self):
        """Ardour's scanner and its plug-in list see KORVEL as a stereo effect with a stereo side-chain."""
        cache = self.home.scan()
        info = ET.parse(cache).getroot().find("VST3Info")
        if info is None:
            raise CheckFailed("Ardour's scan cache %s lists no plug-in" % cache)
        expected = {"uid": KORVEL_UID, "name": "KORVEL", "vendor": "Vantrel", "category": "Fx|Dynamics",
                    "n_inputs": "2", "n_aux_inputs": "2", "n_outputs": "2"}
        wrong = ["%s is %r, expected %r" % (k, info.get(k), v) for k, v in expected.items() if info.get(k) != v]
        if wrong:
            raise CheckFailed("Ardour's scan of the bundle: " + "; ".join(wrong))
        listed = lua_session.run(self.home, """
daw.start_engine()
for info in ARDOUR.LuaAPI.list_plugins():iter() do
  if info.unique_id == daw.KORVEL_UID then
    daw.result("name", info.name); daw.result("creator", info.creator); daw.result("category", info.category)
    daw.result("inputs", info.n_inputs:n_audio()); daw.result("outputs", info.n_outputs:n_audio())
  end
end
daw.result("done", 1)""", "scan")
        expected = {"name": "KORVEL", "creator": "Vantrel", "category": "Fx|Dynamics", "inputs": "4", "outputs": "2"}
        wrong = ["%s is %r, expected %r" % (k, listed.get(k), v) for k, v in expected.items() if listed.get(k) != v]
        if wrong:
            raise CheckFailed("Ardour's plug-in list (2 main + 2 side-chain inputs expected): " + "; ".join(wrong))

    def check_export_matches_render(self):
        """Ardour's export of a track through KORVEL equals korvel-render with the values Ardour holds."""
        path = self.session("render")
        results = self.in_session(path, lua_params("korvel", SETTINGS) + lua_report_params("korvel", SETTINGS)
                                  + self.export_lua(path, "export"), "render")
        export = self.exported(path, "export")
        reference = self.render("settings", held(results, SETTINGS))
        if len(export) != len(reference):
            raise CheckFailed("the export has %d frames, korvel-render %d" % (len(export), len(reference)))
        found = audio_compare.mismatch(export, reference, 0, len(export))
        if found:
            raise CheckFailed("Ardour's export against korvel-render: " + found.describe())

    def check_oversampling_latency(self):
        """With oversampling on, Ardour compensates KORVEL's 64 samples: the export lines up with the dry track."""
        path = self.session("latency")
        # A session saved with oversampling on: the instance reports its latency when Ardour activates it.
        self.in_session(path, "daw.set_param(korvel, %d, 1)\ndaw.save()\n" % OVERSAMPLING, "latency-save")
        results = self.in_session(path, """
daw.result("latency", korvel:to_insert():signal_latency())
daw.set_muted("Dry", false); daw.set_muted("Drums", true)
%s
daw.set_muted("Dry", true); daw.set_muted("Drums", false)
%s""" % (self.export_lua(path, "dry"), self.export_lua(path, "wet")), "latency")
        if results.get("latency") != str(OVERSAMPLING_LATENCY):
            raise CheckFailed("Ardour reports a latency of %s samples for KORVEL with oversampling on, not %d"
                              % (results.get("latency"), OVERSAMPLING_LATENCY))
        dry, wet = self.exported(path, "dry"), self.exported(path, "wet")
        source = audio_compare.read(self.audio.drums)[0]
        found = audio_compare.mismatch(dry, source, 0, len(dry))
        if found:
            raise CheckFailed("the dry track's export is not the file it plays: " + found.describe())
        # korvel-render writes what the plug-in puts out: 64 samples late.
        raw = self.render("oversampling", {OVERSAMPLING: 1})
        self.expect_aligned(wet, raw, 0, len(wet), "with oversampling on")

    def check_latency_automation(self):
        """Oversampling switched on by automation, editor never opened: Ardour learns the new latency."""
        switch_s = LEAD_IN_S + 1.0
        path = self.session("latency-automation")
        self.in_session(path, "daw.automate(korvel, %d, {{0, 0}, {%g, 1}})\n%s"
                        % (OVERSAMPLING, switch_s, self.export_lua(path, "export")), "latency-automation")
        export = self.exported(path, "export")
        raw = self.render("oversampling-automated", ramps={OVERSAMPLING: [(0, 0), (switch_s, 1)]})
        switch = int(switch_s * RATE)
        before = audio_compare.mismatch(export, raw, 0, switch - 2 * BLOCK)
        if before:
            raise CheckFailed("before the switch (no latency yet): " + before.describe())
        # The plug-in asks for the restart on a timer, Ardour realigns when it hears of it and the
        # jump settles in the output filter: the last four seconds have to be compensated.
        self.expect_aligned(export, raw, switch + 3 * RATE, len(export), "after oversampling was switched on")

    def expect_aligned(self, export, raw, start, end, when):
        aligned = audio_compare.mismatch(export, raw, start, end - OVERSAMPLING_LATENCY, lag=OVERSAMPLING_LATENCY)
        if not aligned:
            return
        lag = audio_compare.best_lag(export, raw, start, min(8192, end - start - 512))
        if lag == 0:
            raise CheckFailed("%s the export is %d samples late: Ardour did not compensate KORVEL's latency (%s)"
                              % (when, OVERSAMPLING_LATENCY, aligned.describe()))
        raise CheckFailed("%s the export is off by %d samples (%s)" % (when, OVERSAMPLING_LATENCY - lag,
                                                                        aligned.describe()))

    def check_threshold_automation(self):
        """An automation lane of Threshold Int moves the compression the way korvel-render's ramp does."""
        ramp = [(0, 10), (LEAD_IN_S + 2, 10), (LEAD_IN_S + 4, -20)]
        fixed = {16: 1, 2: 8, 4: 5}
        path = self.session("threshold-automation")
        self.in_session(path, lua_params("korvel", fixed) + "daw.automate(korvel, %d, {%s})\n%s" % (
            THRESHOLD_INT, ", ".join("{%g, %g}" % p for p in ramp), self.export_lua(path, "export")),
            "threshold-automation")
        export = self.exported(path, "export")
        automated = self.render("threshold-ramp", fixed, ramps={THRESHOLD_INT: ramp})
        lane_ignored = self.render("threshold-fixed", fixed)
        ramp_start, ramp_settled = int(ramp[1][0] * RATE), int((ramp[2][0] + 0.5) * RATE)
        for start, end in ((0, ramp_start), (ramp_settled, len(export))):
            found = audio_compare.mismatch(export, automated, start, end)
            if found:
                raise CheckFailed("outside the ramp the export differs from korvel-render's: " + found.describe())
        # Along the ramp Ardour and korvel-render hand over the moving value at other points of a block.
        error = audio_compare.rms_db(export[ramp_start:ramp_settled] - automated[ramp_start:ramp_settled])
        effect = audio_compare.rms_db(lane_ignored[ramp_start:ramp_settled] - automated[ramp_start:ramp_settled])
        if error > effect - 40.0:
            raise CheckFailed("along the ramp the export is %.1f dB (RMS) off korvel-render's, against %.1f dB of "
                              "difference that the lane makes" % (error, effect))

    def check_state_round_trip(self):
        """Twenty changed parameters survive saving, closing and reopening; the export stays the same."""
        path = self.session("round-trip")
        before = self.in_session(path, lua_params("korvel", ROUND_TRIP) + lua_report_params("korvel", ROUND_TRIP)
                                 + self.export_lua(path, "before") + "daw.save()\n", "round-trip-save")
        after = self.in_session(path, lua_report_params("korvel", ROUND_TRIP) + self.export_lua(path, "after"),
                                "round-trip-reopen")
        changed = ["parameter %d: %s before, %s after" % (pid, before["p%d" % pid], after.get("p%d" % pid))
                   for pid in sorted(ROUND_TRIP) if before["p%d" % pid] != after.get("p%d" % pid)]
        if changed:
            raise CheckFailed("values lost in the saved session: " + "; ".join(changed))
        first, second = self.exported(path, "before"), self.exported(path, "after")
        found = audio_compare.mismatch(second, first, 0, len(first), tolerance=0.0)
        if found or len(first) != len(second):
            raise CheckFailed("the export after reopening differs from the one before saving: " + found.describe())

    def check_external_sidechain(self):
        """The kick through Ardour's side-chain send ducks the drums as korvel-render --sidechain does."""
        path = self.session("sidechain")
        results = self.in_session(path, """
local kick = daw.route("Kick")
if not daw.route("Drums"):add_sidechain(korvel) then daw.fail("Ardour could not add a side-chain input") end
local inputs = korvel:to_insert():sidechain_input()
local send = ARDOUR.LuaAPI.new_send(Session, kick, kick:amp())
if send:isnil() then daw.fail("Ardour could not add a send to Kick") end
local outputs = send:to_send():output()
for i = 0, 1 do outputs:connect(outputs:audio(i), inputs:audio(i):name(), nil) end
daw.result("inputs", inputs:n_ports():n_audio())
%s%s%s""" % (lua_params("korvel", SIDECHAIN), lua_report_params("korvel", SIDECHAIN),
             self.export_lua(path, "export")), "sidechain")
        if results.get("inputs") != "2":
            raise CheckFailed("Ardour gave KORVEL's side-chain %s inputs, not 2" % results.get("inputs"))
        export = self.exported(path, "export")
        values = held(results, SIDECHAIN)
        ducked = self.render("sidechain", values, sidechain=True)
        undisturbed = self.render("sidechain-silent", values)
        if audio_compare.rms_db(undisturbed) - audio_compare.rms_db(ducked) < 2.0:
            raise CheckFailed("the settings do not duck the loop in korvel-render: nothing to compare against")
        found = audio_compare.mismatch(export, ducked, 0, len(export))
        if found:
            level = audio_compare.rms_db(export) - audio_compare.rms_db(undisturbed)
            raise CheckFailed("the export against korvel-render --sidechain: %s (the export is %+.1f dB against "
                              "the loop without side-chain)" % (found.describe(), level))

    CHECKS = [
        ("scan", check_scan),
        ("export_matches_render", check_export_matches_render),
        ("oversampling_latency", check_oversampling_latency),
        ("latency_automation", check_latency_automation),
        ("threshold_automation", check_threshold_automation),
        ("state_round_trip", check_state_round_trip),
        ("external_sidechain", check_external_sidechain),
    ]
