#!/usr/bin/python3
"""Compares two pictures of the editor pixel by pixel.

Usage: /usr/bin/python3 compare_pictures.py A.png B.png [--channel N] [--pixels P]

Prints the largest difference of any colour channel (0..255), how many pixels
differ by more than N in some channel (default 40) and the mean difference,
then exits 0 when at most P percent of the pixels (default 0.01) differ by
more than N, 1 when more do or the sizes differ, 2 for unreadable input.
Alpha is ignored: the editor is opaque.

The defaults hold the editor drawn with OpenGL against the composite of its
artwork made without GL (make_preview.py): at scale 2 both place the stored
pixels one to one, at scale 1 NanoVG's texture filtering and cairo's halving
filter weigh the neighbouring pixels differently, which leaves a few pixels
on sharp edges up to about 44 apart. A knob two frames off already moves
about 90 pixels (0.02 %) by more than 40.
"""

import argparse
import sys

import cairo
import numpy

CHANNEL_TOLERANCE = 40
PIXEL_ALLOWANCE = 0.01  # percent of the pixels


def load_rgb(path):
    """The picture as an H x W x 3 array of 8-bit red, green, blue."""
    surface = cairo.ImageSurface.create_from_png(path)
    h, w, stride = surface.get_height(), surface.get_width(), surface.get_stride()
    # Cairo keeps native-endian 32-bit pixels: on little-endian machines the bytes are blue, green, red, alpha.
    data = numpy.frombuffer(surface.get_data(), dtype=numpy.uint8).reshape(h, stride)[:, : w * 4]
    bgra = data.reshape(h, w, 4)
    return bgra[:, :, [2, 1, 0]].astype(numpy.int16)


def within(a, b, channel=CHANNEL_TOLERANCE, pixels=PIXEL_ALLOWANCE):
    """(whether the pictures match within the tolerance, the figures as a line)."""
    if a.shape != b.shape:
        return False, "sizes differ: %d x %d against %d x %d" % (a.shape[1], a.shape[0], b.shape[1], b.shape[0])
    largest, over, mean = compare(a, b, channel)
    share = 100.0 * over / (a.shape[0] * a.shape[1])
    return share <= pixels, "%d x %d: largest channel difference %d, mean %.3f; %d pixels (%.4f%%) differ by more " \
        "than %d (allowed %.4f%%)" % (a.shape[1], a.shape[0], largest, mean, over, share, channel, pixels)


def compare(a, b, channel):
    """(largest channel difference, pixels over the channel tolerance, mean difference) of same-sized pictures."""
    diff = numpy.abs(a - b)
    return int(diff.max()), int(numpy.count_nonzero(diff.max(axis=2) > channel)), float(diff.mean())


def main(argv):
    parser = argparse.ArgumentParser(description="compares two pictures of the editor")
    parser.add_argument("first")
    parser.add_argument("second")
    parser.add_argument("--channel", type=int, default=CHANNEL_TOLERANCE, help="per-channel tolerance, 0..255")
    parser.add_argument("--pixels", type=float, default=PIXEL_ALLOWANCE, help="percent of pixels allowed over it")
    args = parser.parse_args(argv[1:])
    try:
        a, b = load_rgb(args.first), load_rgb(args.second)
    except (cairo.Error, OSError, MemoryError) as e:
        print("compare_pictures: %s" % e, file=sys.stderr)
        return 2
    ok, figures = within(a, b, args.channel, args.pixels)
    print(figures)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
