#!/usr/bin/env python3
"""Draws the bundle folder's icon, PlugIn.ico: one of the panel's knobs on a
dark rounded plate, at the sizes Explorer asks for (16 to 256 pixels).

Usage: make_icon.py KNOB_FILMSTRIP.png OUT.ico

The filmstrip is the editor's knob artwork (square frames stacked vertically);
icotool (Debian icoutils) packs the pictures, the 256-pixel one as PNG."""
import math
import subprocess
import sys
import tempfile
from pathlib import Path

import cairo

SIZES = (16, 24, 32, 48, 256)
KNOB_POSITION = 0.72  # turned past the middle, so that the pointer reads at small sizes


def rounded_square(cr, size, radius):
    cr.new_sub_path()
    for corner, (x, y) in enumerate(((size - radius, radius), (size - radius, size - radius),
                                     (radius, size - radius), (radius, radius))):
        start = (corner - 1) * math.pi / 2
        cr.arc(x, y, radius, start, start + math.pi / 2)
    cr.close_path()


def draw(knob_strip, size):
    frame = knob_strip.get_width()
    frames = knob_strip.get_height() // frame
    index = round(KNOB_POSITION * (frames - 1))
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    cr = cairo.Context(surface)
    rounded_square(cr, size, size * 0.18)
    plate = cairo.LinearGradient(0, 0, 0, size)
    plate.add_color_stop_rgb(0, 0.22, 0.23, 0.25)
    plate.add_color_stop_rgb(1, 0.08, 0.08, 0.09)
    cr.set_source(plate)
    cr.fill()
    # The knob artwork has its shadow ring inside the frame: it may fill the plate.
    scale = size * 0.96 / frame
    offset = (size - frame * scale) / 2
    cr.translate(offset, offset)
    cr.scale(scale, scale)
    cr.set_source_surface(knob_strip, 0, -index * frame)
    cr.get_source().set_filter(cairo.FILTER_BEST)
    cr.rectangle(0, 0, frame, frame)
    cr.fill()
    return surface


def main(argv):
    if len(argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    knob_strip = cairo.ImageSurface.create_from_png(argv[1])
    if knob_strip.get_height() % knob_strip.get_width():
        print(f"make_icon: {argv[1]} is not a strip of square frames", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory() as work:
        pictures = []
        for size in SIZES:
            path = Path(work) / f"icon{size}.png"
            draw(knob_strip, size).write_to_png(str(path))
            pictures.append(("--raw=" if size == 256 else "") + str(path))
        subprocess.run(["icotool", "--create", "--output", argv[2], *pictures], check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
