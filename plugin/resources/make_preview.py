#!/usr/bin/python3
"""Composites the editor as it opens with every parameter at its default.

Usage: /usr/bin/python3 make_preview.py OUTDIR [IMAGEDIR]

Places each control's frame at its layout position the way the bitmap
controls choose it (round half up of (frames - 1) x normalized value), with
the lamp lit and both needles at rest (reading 1.0). Writes
OUTDIR/preview@2x.png and OUTDIR/preview@1x.png, the latter the former
scaled by half. The images come from IMAGEDIR (default: this folder).
"""

import os
import sys

import cairo

sys.dont_write_bytecode = True  # keep the resource folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_artwork as art  # noqa: E402

# Values the meters deliver while nothing is being compressed.
RESTING_READING = 1.0


def control_value(param, settings=None):
    if param is None:
        return 0.0
    if param in art.PARAMS:
        plain = (settings or {}).get(param, art.PARAMS[param][1])
        return art.normalize(param, plain)
    return RESTING_READING


def compose(image_dir, settings=None):
    """The panel at the stored scale; settings maps parameter indexes to plain values other than the defaults."""
    surfaces = {name: cairo.ImageSurface.create_from_png(os.path.join(image_dir, "%s@2x.png" % name))
                for name in art.IMAGES}
    scale = art.STORED_SCALE
    panel = cairo.ImageSurface(cairo.FORMAT_RGB24, art.PANEL_W * scale, art.PANEL_H * scale)
    ctx = cairo.Context(panel)
    for image, left, top, param in art.LAYOUT:
        frames = art.IMAGES[image][0]
        w, h = art.frame_size(image)
        frame = art.frame_for(control_value(param, settings), frames)
        stored_frame_h = art.IMAGES[image][2] // frames
        ctx.save()
        ctx.rectangle(left * scale, top * scale, w * scale, h * scale)
        ctx.clip()
        ctx.set_source_surface(surfaces[image], left * scale, top * scale - frame * stored_frame_h)
        ctx.paint()
        ctx.restore()
    return panel


def halve(surface):
    w, h = surface.get_width() // 2, surface.get_height() // 2
    small = cairo.ImageSurface(cairo.FORMAT_RGB24, w, h)
    ctx = cairo.Context(small)
    ctx.scale(0.5, 0.5)
    ctx.set_source_surface(surface, 0, 0)
    ctx.get_source().set_filter(cairo.FILTER_BEST)
    ctx.paint()
    return small


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write("usage: %s OUTDIR [IMAGEDIR]\n" % argv[0])
        return 2
    outdir = argv[1]
    image_dir = argv[2] if len(argv) == 3 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(outdir, exist_ok=True)
    panel = compose(image_dir)
    panel.write_to_png(os.path.join(outdir, "preview@2x.png"))
    halve(panel).write_to_png(os.path.join(outdir, "preview@1x.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
