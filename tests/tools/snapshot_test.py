#!/usr/bin/python3
"""korvel-snapshot end to end: the editor drawn by the bundle through OpenGL
against the GL-free composite of the artwork (make_preview.py).

Usage: /usr/bin/python3 snapshot_test.py WORKDIR BUNDLE TOOL [RUNNER...]

TOOL is the korvel-snapshot executable, run through RUNNER when given (wine
for the Windows build, whose paths then go through drive Z:). Needs DISPLAY.

The tolerance is compare_pictures.py's (see there for what the two drawings
legitimately differ in, and the figures): a per-channel difference of 40 out
of 255, beyond which 0.01 % of the pixels may lie. The faults it has to catch
are checked here too, on real drawings: a picture upside down, mirrored,
shifted by a pixel or at the other scale, seven switches hidden, a knob on
another frame.
"""

import os
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source folders clean
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools", "korvel-snapshot"))
sys.path.insert(0, os.path.join(ROOT, "plugin", "resources"))

import compare_pictures  # noqa: E402
import make_preview  # noqa: E402
import numpy  # noqa: E402
import wave  # noqa: E402

CHANNEL = compare_pictures.CHANNEL_TOLERANCE

WORK, BUNDLE, TOOL, RUNNER = None, None, None, []
THRESHOLD_INT_AREA = (86, 67, 159, 140)  # knob of parameter 0, unscaled pixels
POWER_SWITCHES = [(285, 314), (736, 142), (786, 142), (836, 142), (736, 314), (786, 314), (836, 314)]
SWITCH_SIZE = (46, 26)
NEEDLE_TOPS = {"Int": 56, "Int/Ext": 229}  # both at left 744, 132 x 70


def host_path(path):
    return "Z:" + path if RUNNER else path


def snapshot(name, *args):
    """Runs the tool; returns (exit status, stderr, path of the picture)."""
    out = os.path.join(WORK, name)
    if os.path.exists(out):
        os.remove(out)
    command = RUNNER + [TOOL, "--plugin", host_path(BUNDLE), "--out", host_path(out)] + list(args)
    run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
    return run.returncode, run.stderr, out


def drawn(name, *args):
    status, err, out = snapshot(name, *args)
    if status != 0:
        raise AssertionError("korvel-snapshot %s failed (%d): %s" % (" ".join(args), status, err))
    return compare_pictures.load_rgb(out)


def expected(scale, settings=None):
    """The composite with the given plain values, as an array like load_rgb's."""
    panel = make_preview.compose(os.path.join(ROOT, "plugin", "resources"), settings)
    if scale == 1:
        panel = make_preview.halve(panel)
    path = os.path.join(WORK, "expected-%s@%dx.png" % ("-".join("%s=%s" % kv for kv in sorted((settings or {}).items())) or "default", scale))
    panel.write_to_png(path)
    return compare_pictures.load_rgb(path)


def within_tolerance(a, b):
    return compare_pictures.within(a, b)


def needle(picture, stage):
    top = NEEDLE_TOPS[stage]
    return picture[top:top + 70, 744:876]


def write_loud_sine(path, seconds=1.0, rate=48000):
    """A stereo 16-bit WAV of a 1 kHz sine 3 dB below full scale."""
    t = numpy.arange(int(seconds * rate)) / rate
    samples = (numpy.sin(2 * numpy.pi * 1000.0 * t) * 0.707 * 32767).astype("<i2")
    with wave.open(path, "wb") as f:
        f.setnchannels(2)
        f.setsampwidth(2)
        f.setframerate(rate)
        f.writeframes(numpy.repeat(samples, 2).tobytes())


class Snapshot(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.default = {scale: drawn("default@%dx.png" % scale, "--scale", str(scale)) for scale in (1, 2)}
        cls.preview = {scale: expected(scale) for scale in (1, 2)}

    def test_default_state_matches_the_composite_at_both_scales(self):
        for scale in (1, 2):
            ok, figures = within_tolerance(self.default[scale], self.preview[scale])
            print("scale %d against the composite: %s" % (scale, figures))
            self.assertTrue(ok, "scale %d: %s" % (scale, figures))

    def test_comparison_fails_for_real_faults(self):
        power_off = drawn("power-off@1x.png", "--param", "14=0")
        knob_moved = drawn("threshold@1x.png", "--param", "0=-20")
        knob_nudged = drawn("threshold-nudged@1x.png", "--param", "0=9.4")
        faults = [
            ("flipped upside down", self.default[1][::-1], self.preview[1]),
            ("mirrored", self.default[1][:, ::-1], self.preview[1]),
            ("wrong scale", self.default[2], self.preview[1]),
            ("seven switches missing", power_off, self.preview[1]),
            ("a knob on another frame", knob_moved, self.preview[1]),
            ("a knob two frames off", knob_nudged, self.preview[1]),
            ("shifted by one pixel", numpy.roll(self.default[1], 1, axis=1), self.preview[1]),
        ]
        for name, picture, reference in faults:
            ok, figures = within_tolerance(picture, reference)
            self.assertFalse(ok, "%s passed as a match: %s" % (name, figures))

    def test_param_turns_the_knob_to_the_frame_of_its_value(self):
        for scale in (1, 2):
            moved = drawn("threshold-5@%dx.png" % scale, "--scale", str(scale), "--param", "0=-5")
            ok, figures = within_tolerance(moved, expected(scale, {0: -5.0}))
            self.assertTrue(ok, "scale %d: %s" % (scale, figures))
            # Nothing outside the knob changed.
            l, t, r, b = (v * scale for v in THRESHOLD_INT_AREA)
            changed = numpy.abs(moved - self.default[scale]).max(axis=2) > CHANNEL
            self.assertTrue(changed[t:b, l:r].any(), "the knob did not move")
            changed[t:b, l:r] = False
            self.assertFalse(changed.any(), "pixels outside the knob changed")

    def test_power_off_hides_the_switches(self):
        off = drawn("power-off-check@1x.png", "--param", "14=0")
        changed = numpy.abs(off - self.default[1]).max(axis=2) > CHANNEL
        w, h = SWITCH_SIZE
        for x, y in POWER_SWITCHES:
            self.assertTrue(changed[y:y + h, x:x + w].any(), "switch at %d, %d still shown" % (x, y))

    def test_processed_audio_moves_the_needles(self):
        if RUNNER:
            self.skipTest("the Windows build reads no audio files")
        sine = os.path.join(WORK, "loud-sine.wav")
        write_loud_sine(sine)
        # The Int stage compresses a few dB (VCA on, threshold 0 dB); the Int/Ext stage stays off.
        loud = drawn("loud@1x.png", "--in", sine, "--param", "16=1", "--param", "0=0")
        rest = self.default[1]
        for stage in NEEDLE_TOPS:
            ok, figures = within_tolerance(needle(loud, stage), needle(rest, stage))
            self.assertFalse(ok, "the %s needle stayed at rest: %s" % (stage, figures))
        # Reducing, not off: the Int needle is not where the Int/Ext stage's off reading puts it.
        ok, figures = within_tolerance(needle(loud, "Int"), needle(loud, "Int/Ext"))
        self.assertFalse(ok, "the Int needle reads as off: %s" % figures)

    def test_bad_command_lines_and_files_fail_without_a_picture(self):
        missing = os.path.join(WORK, "no-such-state")
        garbage = os.path.join(WORK, "garbage-state")
        with open(garbage, "wb") as f:
            f.write(b"not a state")
        cases = [
            (["--scale", "3"], 2, "--scale: '3' is not 1 or 2"),
            (["--scale", "1.5"], 2, "is not 1 or 2"),
            (["--param", "0"], 2, "--param: '0' is not ID=VALUE"),
            (["--param", "0=loud"], 2, "--param: 'loud' is not a number"),
            (["--param", "0=1", "--param", "0=2"], 2, "--param: parameter 0 is given twice"),
            (["--frobnicate"], 2, "unknown option --frobnicate"),
            (["--param", "99=1"], 1, "has no parameter 99"),
            (["--param", "0=50"], 1, "takes -20 to 10 dB, not 50"),
            (["--param", "25=0.5"], 1, "is read-only"),
            (["--state", host_path(missing)], 1, "no such file"),
            (["--state", host_path(garbage)], 1, "rejected the state in"),
            (["--in", host_path(missing)], 2 if RUNNER else 1, "--in: this build reads no audio files" if RUNNER
             else "no-such-state"),
        ]
        for args, status, message in cases:
            code, err, out = snapshot("bad.png", *args)
            self.assertEqual(code, status, "%s: %s" % (args, err))
            self.assertIn(message, err, args)
            self.assertFalse(os.path.exists(out), "%s left a picture" % args)
        unwritable = os.path.join(WORK, "no-such-folder", "x.png")
        run = subprocess.run(RUNNER + [TOOL, "--plugin", host_path(BUNDLE), "--out", host_path(unwritable)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertIn("cannot write", run.stderr)
        command = RUNNER + [TOOL, "--plugin", host_path(os.path.join(WORK, "nothing.vst3")), "--out",
                            host_path(os.path.join(WORK, "x.png"))]
        run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertIn("cannot load plug-in", run.stderr)
        run = subprocess.run(RUNNER + [TOOL], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
        self.assertEqual(run.returncode, 2)
        self.assertIn("missing --out", run.stderr)


def main(argv):
    global WORK, BUNDLE, TOOL, RUNNER
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    WORK, BUNDLE, TOOL, RUNNER = os.path.abspath(argv[1]), os.path.abspath(argv[2]), argv[3], argv[4:]
    os.makedirs(WORK, exist_ok=True)
    program = unittest.main(argv=[argv[0], "-v"], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
