#!/usr/bin/python3
"""The measure editor_picture.py accepts an editor's picture by: the panel's
preview passes it, and pictures with a real fault are refused."""

import os
import sys
import tempfile
import unittest

import numpy as np

sys.dont_write_bytecode = True
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tools", "editorhost"))
sys.path.insert(0, os.path.join(ROOT, "plugin", "resources"))
import editor_picture as ep  # noqa: E402
import make_preview  # noqa: E402

KNOB = (86, 67, 73, 73)  # the Threshold Int knob: left, top, width, height


class EditorPictureMeasure(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        make_preview.main(["make_preview.py", cls.dir.name])
        cls.preview = ep.read_png(os.path.join(cls.dir.name, "preview@1x.png"))

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_a_written_picture_reads_back_unchanged_and_matches(self):
        path = os.path.join(self.dir.name, "copy.png")
        ep.write_png(path, self.preview)
        copy = ep.read_png(path)
        self.assertEqual(copy.shape, (386, 998, 3))
        self.assertEqual(ep.worst_tile(copy, self.preview), 0.0)

    def test_pictures_with_a_fault_are_refused(self):
        p = self.preview
        missing_knob = p.copy()
        left, top, w, h = KNOB
        missing_knob[top:top + h, left:left + w] = p[top:top + h, left:left + w].mean(axis=(0, 1))
        faults = {
            "upside down": p[::-1],
            "mirrored": p[:, ::-1],
            "2 pixels to the right": np.pad(p, ((0, 0), (2, 0), (0, 0)), mode="edge")[:, :-2],
            "2 pixels down": np.pad(p, ((2, 0), (0, 0), (0, 0)), mode="edge")[:-2],
            "a knob missing": missing_knob,
            "black": np.zeros_like(p),
            "another size": p[:-1, :-1],
        }
        for what, picture in faults.items():
            with self.subTest(what):
                self.assertGreater(ep.worst_tile(picture, p), ep.TOLERANCE)

    def test_small_blending_differences_pass(self):
        noisy = np.clip(self.preview.astype(np.int32) + np.random.default_rng(1).integers(-6, 7, self.preview.shape),
                        0, 255).astype(np.uint8)
        self.assertLessEqual(ep.worst_tile(noisy, self.preview), ep.TOLERANCE)


if __name__ == "__main__":
    unittest.main()
