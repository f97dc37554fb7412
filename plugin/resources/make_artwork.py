#!/usr/bin/python3
"""Draws KORVEL's editor bitmaps.

Usage: /usr/bin/python3 make_artwork.py OUTDIR

Writes BG@2x.png, KNOB@2x.png, SCREW@2x.png, SWITCH@2x.png, NEEDLE@2x.png,
OFF@2x.png and OVER@2x.png. Every image is stored only at double resolution;
multi-frame images stack their frames top to bottom. The output is the same
byte for byte on every run: the only randomness comes from fixed seeds, and
text is drawn from the glyph outlines of the Roboto files, so no font
configuration of the machine enters the pictures.

All drawing coordinates are in editor pixels (the 998 by 386 panel); each
surface is scaled by two before drawing.
"""

import math
import os
import random
import struct
import sys

import cairo

STORED_SCALE = 2
PANEL_W, PANEL_H = 998, 386

# name: (frames, stored width, stored height)
IMAGES = {
    "BG": (1, 1996, 772),
    "OFF": (2, 316, 1084),
    "KNOB": (101, 146, 14746),
    "SCREW": (101, 84, 8484),
    "SWITCH": (2, 92, 104),
    "NEEDLE": (101, 265, 14140),
    "OVER": (2, 314, 68),
}


def frame_size(image):
    """One frame's size in editor pixels, derived from the stored image the
    way the editor derives it (integer halves, then divided by the frames)."""
    frames, w, h = IMAGES[image]
    return w // STORED_SCALE, (h // STORED_SCALE) // frames


# ---------------------------------------------------------------------------
# Parameters shown on the panel: index: (name, default, min, max, exponent);
# an exponent of None is a linear shape.
PARAMS = {
    0: ("Threshold Int", 10.0, -20.0, 10.0, None),
    1: ("Threshold Int/Ext", 10.0, -20.0, 10.0, None),
    2: ("Ratio Int", 4.0, 1.0, 20.0, 1.5),
    3: ("Ratio Int/Ext", 4.0, 1.0, 20.0, 1.5),
    4: ("Attack Int", 10.0, 0.1, 50.0, 1.5),
    5: ("Attack Int/Ext", 10.0, 0.1, 50.0, 1.5),
    6: ("Release Int", 0.1, 0.05, 2.0, 1.75),
    7: ("Release Int/Ext", 0.1, 0.05, 2.0, 1.75),
    8: ("Make-Up Int", 0.0, -15.0, 15.0, None),
    9: ("Make-Up Int/Ext", 0.0, -15.0, 15.0, None),
    10: ("Input Int", 0.0, -15.0, 15.0, None),
    11: ("Input Int/Ext", 0.0, -15.0, 15.0, None),
    12: ("Mix Int", 100.0, 0.0, 100.0, None),
    13: ("Mix Int/Ext", 100.0, 0.0, 100.0, None),
    14: ("Power", 1.0, 0.0, 1.0, None),
    15: ("External Sidechain", 0.0, 0.0, 1.0, None),
    16: ("VCA Internal", 0.0, 0.0, 1.0, None),
    17: ("FET Internal", 0.0, 0.0, 1.0, None),
    18: ("Opto Internal", 0.0, 0.0, 1.0, None),
    19: ("VCA Int/Ext", 0.0, 0.0, 1.0, None),
    20: ("FET Int/Ext", 0.0, 0.0, 1.0, None),
    21: ("Opto Int/Ext", 0.0, 0.0, 1.0, None),
    22: ("HPF Int", 20.0, 20.0, 750.0, 2.0),
    23: ("HPF Int/Ext", 20.0, 20.0, 750.0, 2.0),
    24: ("Oversampling", 0.0, 0.0, 1.0, None),
}


def normalize(index, value):
    _, _, lo, hi, exponent = PARAMS[index]
    value = min(max(value, lo), hi)
    n = (value - lo) / (hi - lo)
    if exponent is not None:
        n = math.pow(n, 1.0 / exponent)
    return min(max(n, 0.0), 1.0)


def frame_for(normalized, frames):
    """The frame a bitmap control shows for a normalized value: round half up
    of (frames - 1) * value, limited to the frame range."""
    if frames <= 1:
        return 0
    return min(max(int((frames - 1) * normalized + 0.5), 0), frames - 1)


# Editor layout: (image, left, top, parameter or None).
LAYOUT = [
    ("BG", 0, 0, None),
    ("OFF", 733, 29, 14),
    ("KNOB", 86, 67, 0),
    ("KNOB", 86, 239, 1),
    ("KNOB", 209, 67, 2),
    ("KNOB", 209, 239, 3),
    ("KNOB", 333, 67, 4),
    ("KNOB", 333, 239, 5),
    ("KNOB", 457, 67, 6),
    ("KNOB", 457, 239, 7),
    ("KNOB", 581, 67, 8),
    ("KNOB", 581, 239, 9),
    ("SCREW", 535, 145, 10),
    ("SCREW", 535, 317, 11),
    ("SCREW", 658, 145, 12),
    ("SCREW", 658, 317, 13),
    ("SCREW", 163, 145, 22),
    ("SCREW", 163, 317, 23),
    ("SWITCH", 285, 314, 15),
    ("SWITCH", 736, 142, 16),
    ("SWITCH", 786, 142, 17),
    ("SWITCH", 836, 142, 18),
    ("SWITCH", 736, 314, 19),
    ("SWITCH", 786, 314, 20),
    ("SWITCH", 836, 314, 21),
    ("NEEDLE", 744, 56, 25),
    ("NEEDLE", 744, 229, 26),
    ("SWITCH", 285, 142, 14),
    ("OVER", 63, 366, 24),
]


def control_of(param, image=None):
    """The image and position of the control bound to param (the lamp and the
    Power switch share parameter 14, so image can tell them apart)."""
    for name, left, top, p in LAYOUT:
        if p == param and image in (None, name):
            return name, left, top
    raise KeyError(param)


def control_centre(param, image=None):
    image, left, top = control_of(param, image)
    w, h = frame_size(image)
    return left + w / 2.0, top + h / 2.0


# Knob and screw travel: frame 0 points to lower left, the last frame to
# lower right, angles clockwise from straight up.
SWEEP_START, SWEEP = -135.0, 270.0

# Gain-reduction needle: frame 100 is no reduction (reading 1.0) at the right
# end of the scale; the reading is the squared linear gain.
NEEDLE_HALF_SWEEP = 50.0
NEEDLE_PIVOT = (66.0, 68.0)  # in the needle frame, editor pixels


def knob_angle(frame):
    return SWEEP_START + SWEEP * frame / 100.0


def needle_angle(frame):
    return -NEEDLE_HALF_SWEEP + 2.0 * NEEDLE_HALF_SWEEP * frame / 100.0


def needle_frame_position(reduction_db):
    """Continuous needle position (0..100) for a reduction given in dB (<= 0)."""
    return 100.0 * math.pow(10.0, reduction_db / 10.0)


def polar(cx, cy, radius, degrees):
    a = math.radians(degrees)
    return cx + radius * math.sin(a), cy - radius * math.cos(a)


# ---------------------------------------------------------------------------
# Text from TrueType outlines.

FONT_DIR = "/usr/share/fonts/truetype/roboto/unhinted"
ROBOTO_REGULAR = FONT_DIR + "/RobotoTTF/Roboto-Regular.ttf"
ROBOTO_MEDIUM = FONT_DIR + "/RobotoTTF/Roboto-Medium.ttf"
ROBOTO_BOLD = FONT_DIR + "/RobotoTTF/Roboto-Bold.ttf"
ROBOTO_CONDENSED = FONT_DIR + "/RobotoCondensed-Regular.ttf"
ROBOTO_CONDENSED_BOLD = FONT_DIR + "/RobotoCondensed-Bold.ttf"


class OutlineFont:
    """Reads glyph outlines, advances and pair kerning from a TrueType file."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = data = f.read()
        self.tables = {}
        for i in range(struct.unpack_from(">H", data, 4)[0]):
            tag, _, offset, length = struct.unpack_from(">4sIII", data, 12 + 16 * i)
            self.tables[tag.decode("latin-1")] = (offset, length)
        head = self.tables["head"][0]
        self.units_per_em = struct.unpack_from(">H", data, head + 18)[0]
        long_loca = struct.unpack_from(">h", data, head + 50)[0] == 1
        glyph_count = struct.unpack_from(">H", data, self.tables["maxp"][0] + 4)[0]
        hhea = self.tables["hhea"][0]
        metric_count = struct.unpack_from(">H", data, hhea + 34)[0]
        hmtx = self.tables["hmtx"][0]
        self.advances = [struct.unpack_from(">H", data, hmtx + 4 * min(g, metric_count - 1))[0]
                         for g in range(glyph_count)]
        loca = self.tables["loca"][0]
        if long_loca:
            self.loca = struct.unpack_from(">%dI" % (glyph_count + 1), data, loca)
        else:
            self.loca = [2 * v for v in struct.unpack_from(">%dH" % (glyph_count + 1), data, loca)]
        self.glyf = self.tables["glyf"][0]
        self.cmap = self._read_cmap()
        self.kerning = self._read_pair_kerning()
        self._outlines = {}
        self.cap_height = self._glyph_top(self.cmap[ord("H")])

    # -- character map (format 4 of the Windows Unicode subtable)
    def _read_cmap(self):
        data = self.data
        cmap = self.tables["cmap"][0]
        mapping = {}
        for i in range(struct.unpack_from(">H", data, cmap + 2)[0]):
            platform, encoding, offset = struct.unpack_from(">HHI", data, cmap + 4 + 8 * i)
            if (platform, encoding) != (3, 1):
                continue
            sub = cmap + offset
            if struct.unpack_from(">H", data, sub)[0] != 4:
                continue
            segments = struct.unpack_from(">H", data, sub + 6)[0] // 2
            ends = struct.unpack_from(">%dH" % segments, data, sub + 14)
            starts_at = sub + 16 + 2 * segments
            starts = struct.unpack_from(">%dH" % segments, data, starts_at)
            deltas = struct.unpack_from(">%dh" % segments, data, starts_at + 2 * segments)
            range_at = starts_at + 4 * segments
            ranges = struct.unpack_from(">%dH" % segments, data, range_at)
            for s in range(segments):
                for code in range(starts[s], min(ends[s], 0x2FFF) + 1):
                    if ranges[s] == 0:
                        glyph = (code + deltas[s]) & 0xFFFF
                    else:
                        at = range_at + 2 * s + ranges[s] + 2 * (code - starts[s])
                        glyph = struct.unpack_from(">H", data, at)[0]
                        if glyph:
                            glyph = (glyph + deltas[s]) & 0xFFFF
                    if glyph:
                        mapping[code] = glyph
        return mapping

    # -- pair adjustments of the GPOS table (kerning)
    def _coverage(self, at):
        data = self.data
        fmt, count = struct.unpack_from(">HH", data, at)
        glyphs = {}
        if fmt == 1:
            for i, g in enumerate(struct.unpack_from(">%dH" % count, data, at + 4)):
                glyphs[g] = i
        else:
            for r in range(count):
                start, end, index = struct.unpack_from(">HHH", data, at + 4 + 6 * r)
                for g in range(start, end + 1):
                    glyphs[g] = index + g - start
        return glyphs

    def _class_def(self, at):
        data = self.data
        fmt = struct.unpack_from(">H", data, at)[0]
        classes = {}
        if fmt == 1:
            start, count = struct.unpack_from(">HH", data, at + 2)
            for i, c in enumerate(struct.unpack_from(">%dH" % count, data, at + 6)):
                classes[start + i] = c
        else:
            count = struct.unpack_from(">H", data, at + 2)[0]
            for r in range(count):
                start, end, c = struct.unpack_from(">HHH", data, at + 4 + 6 * r)
                for g in range(start, end + 1):
                    classes[g] = c
        return classes

    @staticmethod
    def _value_size(fmt):
        return 2 * bin(fmt).count("1")

    def _x_advance(self, at, fmt):
        """The XAdvance field of a value record (the only one kerning uses)."""
        if not fmt & 0x4:
            return 0
        skip = 2 * bin(fmt & 0x3).count("1")
        return struct.unpack_from(">h", self.data, at + skip)[0]

    def _read_pair_kerning(self):
        kerning = {}
        if "GPOS" not in self.tables:
            return kerning
        data = self.data
        gpos = self.tables["GPOS"][0]
        lookups = gpos + struct.unpack_from(">H", data, gpos + 8)[0]
        for li in range(struct.unpack_from(">H", data, lookups)[0]):
            lookup = lookups + struct.unpack_from(">H", data, lookups + 2 + 2 * li)[0]
            kind, _, count = struct.unpack_from(">HHH", data, lookup)
            for si in range(count):
                sub = lookup + struct.unpack_from(">H", data, lookup + 6 + 2 * si)[0]
                sub_kind = kind
                if kind == 9:
                    sub_kind, ext = struct.unpack_from(">HI", data, sub + 2)
                    sub = sub + ext
                if sub_kind != 2:
                    continue
                self._read_pair_subtable(sub, kerning)
        return kerning

    def _read_pair_subtable(self, sub, kerning):
        data = self.data
        fmt, coverage, fmt1, fmt2 = struct.unpack_from(">HHHH", data, sub)
        firsts = self._coverage(sub + coverage)
        size1, size2 = self._value_size(fmt1), self._value_size(fmt2)
        if fmt == 1:
            set_count = struct.unpack_from(">H", data, sub + 8)[0]
            for first, index in firsts.items():
                if index >= set_count:
                    continue
                pair_set = sub + struct.unpack_from(">H", data, sub + 10 + 2 * index)[0]
                pairs = struct.unpack_from(">H", data, pair_set)[0]
                for p in range(pairs):
                    at = pair_set + 2 + p * (2 + size1 + size2)
                    second = struct.unpack_from(">H", data, at)[0]
                    kerning.setdefault((first, second), self._x_advance(at + 2, fmt1))
        elif fmt == 2:
            class1_at, class2_at, class1_count, class2_count = struct.unpack_from(">HHHH", data, sub + 8)
            classes1 = self._class_def(sub + class1_at)
            classes2 = self._class_def(sub + class2_at)
            seconds_by_class = {}
            for g, c in classes2.items():
                seconds_by_class.setdefault(c, []).append(g)
            record = size1 + size2
            for first in firsts:
                c1 = classes1.get(first, 0)
                row = sub + 16 + c1 * class2_count * record
                for c2 in range(1, class2_count):
                    value = self._x_advance(row + c2 * record, fmt1)
                    if value:
                        for second in seconds_by_class.get(c2, []):
                            kerning.setdefault((first, second), value)

    # -- glyph outlines: contours of (x, y, on-curve) in font units
    def _glyph_top(self, glyph):
        start = self.loca[glyph]
        if self.loca[glyph + 1] == start:
            return 0
        return struct.unpack_from(">h", self.data, self.glyf + start + 8)[0]

    def outline(self, glyph):
        if glyph not in self._outlines:
            self._outlines[glyph] = self._read_outline(glyph)
        return self._outlines[glyph]

    def _read_outline(self, glyph):
        data = self.data
        start, end = self.loca[glyph], self.loca[glyph + 1]
        if start == end:
            return []
        at = self.glyf + start
        contour_count = struct.unpack_from(">h", data, at)[0]
        if contour_count < 0:
            return self._read_composite(at + 10)
        ends = struct.unpack_from(">%dH" % contour_count, data, at + 10)
        point_count = ends[-1] + 1 if ends else 0
        at += 10 + 2 * contour_count
        at += 2 + struct.unpack_from(">H", data, at)[0]
        flags = []
        while len(flags) < point_count:
            flag = data[at]
            at += 1
            repeat = 0
            if flag & 0x8:
                repeat = data[at]
                at += 1
            flags.extend([flag] * (repeat + 1))
        coords = []
        for short_bit, same_bit in ((0x2, 0x10), (0x4, 0x20)):
            value, values = 0, []
            for flag in flags:
                if flag & short_bit:
                    delta = data[at]
                    at += 1
                    value += delta if flag & same_bit else -delta
                elif not flag & same_bit:
                    value += struct.unpack_from(">h", data, at)[0]
                    at += 2
                values.append(value)
            coords.append(values)
        contours, first = [], 0
        for last in ends:
            contours.append([(coords[0][i], coords[1][i], bool(flags[i] & 1))
                             for i in range(first, last + 1)])
            first = last + 1
        return contours

    def _read_composite(self, at):
        data = self.data
        contours = []
        while True:
            flags, component = struct.unpack_from(">HH", data, at)
            at += 4
            if flags & 0x1:
                dx, dy = struct.unpack_from(">hh", data, at)
                at += 4
            else:
                dx, dy = struct.unpack_from(">bb", data, at)
                at += 2
            if not flags & 0x2:
                dx = dy = 0  # point matching is not used by these fonts' Latin glyphs
            a, b, c, d = 1.0, 0.0, 0.0, 1.0
            if flags & 0x8:
                a = d = struct.unpack_from(">h", data, at)[0] / 16384.0
                at += 2
            elif flags & 0x40:
                a, d = (v / 16384.0 for v in struct.unpack_from(">hh", data, at))
                at += 4
            elif flags & 0x80:
                a, b, c, d = (v / 16384.0 for v in struct.unpack_from(">hhhh", data, at))
                at += 8
            for contour in self.outline(component):
                contours.append([(a * x + c * y + dx, b * x + d * y + dy, on)
                                 for x, y, on in contour])
            if not flags & 0x20:
                return contours

    def glyphs(self, text):
        return [self.cmap.get(ord(ch), 0) for ch in text]

    def advance_units(self, text, tracking_em=0.0):
        glyphs = self.glyphs(text)
        total = 0.0
        for i, g in enumerate(glyphs):
            total += self.advances[g]
            if i + 1 < len(glyphs):
                total += self.kerning.get((g, glyphs[i + 1]), 0) + tracking_em * self.units_per_em
        return total

    def width(self, text, size, tracking_em=0.0):
        return self.advance_units(text, tracking_em) * size / self.units_per_em

    def add_path(self, ctx, text, x, baseline, size, tracking_em=0.0):
        """Appends the text's outlines to the current path, left edge at x."""
        scale = size / self.units_per_em
        glyphs = self.glyphs(text)
        pen = 0.0
        for i, g in enumerate(glyphs):
            for contour in self.outline(g):
                self._add_contour(ctx, contour, x + pen * scale, baseline, scale)
            pen += self.advances[g]
            if i + 1 < len(glyphs):
                pen += self.kerning.get((g, glyphs[i + 1]), 0) + tracking_em * self.units_per_em

    @staticmethod
    def _add_contour(ctx, contour, ox, oy, scale):
        if not contour:
            return
        pts = [(ox + x * scale, oy - y * scale, on) for x, y, on in contour]
        # Start on an on-curve point; two off-curve neighbours imply one between.
        start = next((i for i, p in enumerate(pts) if p[2]), None)
        if start is None:
            a, b = pts[0], pts[1]
            pts.insert(1, ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, True))
            start = 1
        pts = pts[start:] + pts[:start]
        ctx.move_to(pts[0][0], pts[0][1])
        current = pts[0]
        control = None
        for p in pts[1:] + [pts[0]]:
            if p[2]:
                if control is None:
                    ctx.line_to(p[0], p[1])
                else:
                    _quad_to(ctx, current, control, p)
                    control = None
                current = p
            else:
                if control is not None:
                    mid = ((control[0] + p[0]) / 2, (control[1] + p[1]) / 2, True)
                    _quad_to(ctx, current, control, mid)
                    current = mid
                control = p
        ctx.close_path()


def _quad_to(ctx, p0, q, p2):
    c1 = (p0[0] + 2.0 / 3.0 * (q[0] - p0[0]), p0[1] + 2.0 / 3.0 * (q[1] - p0[1]))
    c2 = (p2[0] + 2.0 / 3.0 * (q[0] - p2[0]), p2[1] + 2.0 / 3.0 * (q[1] - p2[1]))
    ctx.curve_to(c1[0], c1[1], c2[0], c2[1], p2[0], p2[1])


_FONTS = {}


def font(path):
    if path not in _FONTS:
        _FONTS[path] = OutlineFont(path)
    return _FONTS[path]


def text_path(ctx, face, text, x, y, size, align="center", tracking=0.0):
    """Adds text whose capitals are vertically centred on y; align picks which
    end (or the middle) of the text sits at x."""
    width = face.width(text, size, tracking)
    if align == "center":
        x -= width / 2.0
    elif align == "right":
        x -= width
    baseline = y + face.cap_height * size / face.units_per_em / 2.0
    face.add_path(ctx, text, x, baseline, size, tracking)
    return width


# ---------------------------------------------------------------------------
# Colours and small drawing helpers.

INK = (0.905, 0.885, 0.830)         # silkscreen on the faceplate
INK_DIM = (0.690, 0.670, 0.620)
AMBER = (1.000, 0.640, 0.180)
METER_INK = (0.105, 0.090, 0.070)


def rgb(ctx, colour, alpha=1.0):
    ctx.set_source_rgba(colour[0], colour[1], colour[2], alpha)


def rounded_rect(ctx, x, y, w, h, r):
    r = min(r, w / 2.0, h / 2.0)
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()


def linear(x0, y0, x1, y1, stops):
    pattern = cairo.LinearGradient(x0, y0, x1, y1)
    for stop in stops:
        pattern.add_color_stop_rgba(*stop)
    return pattern


def radial(cx, cy, r0, r1, stops, cx1=None, cy1=None):
    pattern = cairo.RadialGradient(cx, cy, r0, cx if cx1 is None else cx1,
                                   cy if cy1 is None else cy1, r1)
    for stop in stops:
        pattern.add_color_stop_rgba(*stop)
    return pattern


def soft_rect_shadow(ctx, x, y, w, h, r, spread, alpha):
    """A blurred shadow made of nested translucent rounded rectangles."""
    steps = max(2, int(spread * 4))
    for i in range(steps):
        grow = spread * (1.0 - i / float(steps))
        rounded_rect(ctx, x - grow, y - grow, w + 2 * grow, h + 2 * grow, r + grow)
        ctx.set_source_rgba(0, 0, 0, alpha / steps)
        ctx.fill()


def circle_shadow(ctx, cx, cy, radius, blur, alpha):
    ctx.arc(cx, cy, radius + blur, 0, 2 * math.pi)
    ctx.set_source(radial(cx, cy, max(0.0, radius - blur), radius + blur,
                          [(0, 0, 0, 0, alpha), (0.5, 0, 0, 0, alpha * 0.55), (1, 0, 0, 0, 0)]))
    ctx.fill()


def silkscreen(ctx, face, text, x, y, size, align="center", tracking=0.0,
               colour=INK, alpha=1.0):
    """Printed lettering: a faint dark edge below, then the ink."""
    ctx.save()
    ctx.translate(0.0, 0.5)
    text_path(ctx, face, text, x, y, size, align, tracking)
    ctx.set_source_rgba(0, 0, 0, 0.55 * alpha)
    ctx.fill()
    ctx.restore()
    text_path(ctx, face, text, x, y, size, align, tracking)
    rgb(ctx, colour, alpha)
    ctx.fill()


def conic(cx, cy, radius, colour_at, sectors=96):
    """A conic (angular) gradient as a mesh: colour_at(degrees) gives (r, g, b)
    with degrees clockwise from straight up."""
    mesh = cairo.MeshPattern()
    for i in range(sectors):
        a0, a1 = 360.0 * i / sectors, 360.0 * (i + 1) / sectors
        p0, p1 = polar(cx, cy, radius, a0), polar(cx, cy, radius, a1)
        c0, c1 = colour_at(a0), colour_at(a1)
        mesh.begin_patch()
        mesh.move_to(cx, cy)
        mesh.line_to(*p0)
        mesh.line_to(*p1)
        mesh.line_to(cx, cy)
        mesh.set_corner_color_rgb(0, *c0)
        mesh.set_corner_color_rgb(1, *c0)
        mesh.set_corner_color_rgb(2, *c1)
        mesh.set_corner_color_rgb(3, *c1)
        mesh.end_patch()
    return mesh


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def new_surface(image, opaque=False):
    _, w, h = IMAGES[image]
    return cairo.ImageSurface(cairo.FORMAT_RGB24 if opaque else cairo.FORMAT_ARGB32, w, h)


def frame_context(surface, image, frame):
    """A context drawing into one frame, in editor pixels."""
    frames, w, h = IMAGES[image]
    ctx = cairo.Context(surface)
    ctx.set_antialias(cairo.ANTIALIAS_BEST)
    ctx.translate(0, frame * (h // frames))
    ctx.rectangle(0, 0, w, h // frames)
    ctx.clip()
    ctx.scale(STORED_SCALE, STORED_SCALE)
    return ctx


# ---------------------------------------------------------------------------
# Scales printed around the knobs and screws: (value, text or None, major).

def _marks(values, labelled, fmt=lambda v: "%g" % v):
    return [(v, fmt(v) if v in labelled else None, v in labelled) for v in values]


def _signed(v):
    return "0" if v == 0 else ("%+g" % v).replace("-", "\u2212")


KNOB_SCALES = {
    "threshold": ("THRESHOLD", "dB",
                  _marks([-20 + 2.5 * i for i in range(13)], [-20, -15, -10, -5, 0, 5, 10], _signed)),
    "ratio": ("RATIO", ":1",
              _marks([1, 1.5, 2, 2.5, 3, 4, 5, 6, 7, 8, 10, 12.5, 15, 17.5, 20],
                     [1, 2, 3, 4, 6, 8, 10, 15, 20])),
    "attack": ("ATTACK", "ms",
               _marks([0.1, 1, 2, 3, 5, 7.5, 10, 15, 20, 25, 30, 35, 40, 45, 50],
                      [0.1, 2, 5, 10, 20, 30, 40, 50], lambda v: ".1" if v == 0.1 else "%g" % v)),
    "release": ("RELEASE", "sec",
                _marks([0.05, 0.1, 0.15, 0.2, 0.3, 0.4, 0.5, 0.75, 1, 1.25, 1.5, 1.75, 2],
                       [0.05, 0.1, 0.2, 0.3, 0.5, 1, 1.5, 2],
                       lambda v: ("%g" % v).lstrip("0") if v < 1 else "%g" % v)),
    "makeup": ("MAKE-UP", "dB",
               _marks([-15 + 2.5 * i for i in range(13)], [-15, -10, -5, 0, 5, 10, 15], _signed)),
    "input": ("INPUT", "dB", _marks([-15 + 5 * i for i in range(7)], [-15, 0, 15], _signed)),
    "mix": ("MIX", "%", _marks([10 * i for i in range(11)], [0, 50, 100])),
    "hpf": ("HPF", "Hz", _marks([20, 50, 100, 150, 200, 300, 400, 500, 600, 750], [20, 100, 300, 750])),
}

KNOB_OF_PARAM = {0: "threshold", 1: "threshold", 2: "ratio", 3: "ratio", 4: "attack", 5: "attack",
                 6: "release", 7: "release", 8: "makeup", 9: "makeup", 10: "input", 11: "input",
                 12: "mix", 13: "mix", 22: "hpf", 23: "hpf"}

# The meter scale: reductions in dB, labelled ones and minor ones.
METER_LABELS = [0, -1, -2, -3, -5, -7, -10, -20]
METER_MINOR = [-0.5, -1.5, -2.5, -4, -6, -8, -15]

# Geometry of the drawn parts, in editor pixels.
KNOB_BODY_R = 28.5       # the knob's knurled skirt
SCREW_BODY_R = 15.0
KNOB_TICK_R = (33.0, 36.5, 38.5)   # inner, minor end, major end
SCREW_TICK_R = (18.5, 21.0, 22.5)
KNOB_NUMBER_GAP = 2.5     # between a major tick's end and its number
SCREW_NUMBER_GAP = 2.0

BAY = (725.0, 22.0, 170.0, 343.0)          # x, y, w, h of the meter bay
BRAND_X = (903.0, 988.0)
ROW_DIVIDER_Y = 197.0


def label_position(face, text, size, cx, cy, radius, degrees, tracking=0.0):
    """Centre for a label outside a circle of the given radius, pushed out by
    the half of the label's box that faces the circle, so that wide and
    narrow labels keep the same gap to their tick."""
    half_w = face.width(text, size, tracking) / 2.0
    half_h = face.cap_height * size / face.units_per_em / 2.0
    a = math.radians(degrees)
    return polar(cx, cy, radius + abs(math.sin(a)) * half_w + abs(math.cos(a)) * half_h, degrees)


def scale_mark_angle(param, value):
    """The angle of the knob frame the value selects, so that the pointer
    sits exactly on the mark when the value is dialled in."""
    return knob_angle(frame_for(normalize(param, value), 101))


# ---------------------------------------------------------------------------
# The background panel.

def _brushed_metal(ctx, x, y, w, h, seed, base_top, base_bottom, strength=1.0):
    ctx.save()
    ctx.rectangle(x, y, w, h)
    ctx.clip()
    ctx.set_source(linear(0, y, 0, y + h, [(0,) + base_top + (1,), (1,) + base_bottom + (1,)]))
    ctx.paint()
    rng = random.Random(seed)
    ctx.set_line_width(0.5)
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)
    count = int(w * h / 18)
    for _ in range(count):
        yy = y + math.floor(rng.uniform(0, h) * 2) / 2 + 0.25
        x0 = rng.uniform(x - 150, x + w)
        length = rng.uniform(30, 260)
        light = rng.random() < 0.5
        a = rng.uniform(0.012, 0.05) * strength
        ctx.move_to(x0, yy)
        ctx.line_to(x0 + length, yy)
        if light:
            ctx.set_source_rgba(1, 1, 1, a)
        else:
            ctx.set_source_rgba(0, 0, 0, a * 1.6)
        ctx.stroke()
    # a broad sheen across the plate
    ctx.set_source(linear(x, y, x + w, y + h, [(0, 1, 1, 1, 0.035), (0.45, 1, 1, 1, 0.0),
                                               (0.7, 1, 1, 1, 0.025), (1, 0, 0, 0, 0.06)]))
    ctx.paint()
    ctx.restore()


def _hex_bolt(ctx, cx, cy):
    circle_shadow(ctx, cx + 0.4, cy + 0.8, 4.6, 1.4, 0.6)
    ctx.arc(cx, cy, 4.6, 0, 2 * math.pi)
    ctx.set_source(radial(cx - 1.5, cy - 1.5, 0.5, 5.5, [(0, 0.78, 0.78, 0.76, 1), (1, 0.30, 0.30, 0.31, 1)]))
    ctx.fill()
    ctx.arc(cx, cy, 4.6, 0, 2 * math.pi)
    ctx.set_line_width(0.5)
    ctx.set_source_rgba(0, 0, 0, 0.6)
    ctx.stroke()
    for i in range(6):
        px, py = polar(cx, cy, 2.1, 30 + 60 * i)
        (ctx.move_to if i == 0 else ctx.line_to)(px, py)
    ctx.close_path()
    ctx.set_source_rgba(0.06, 0.06, 0.07, 1)
    ctx.fill()


def _engraved_line(ctx, x0, y0, x1, y1):
    ctx.set_line_width(0.5)
    ctx.move_to(x0, y0)
    ctx.line_to(x1, y1)
    ctx.set_source_rgba(0, 0, 0, 0.75)
    ctx.stroke()
    ctx.move_to(x0 + (0.5 if x0 == x1 else 0), y0 + (0.5 if y0 == y1 else 0))
    ctx.line_to(x1 + (0.5 if x0 == x1 else 0), y1 + (0.5 if y0 == y1 else 0))
    ctx.set_source_rgba(1, 1, 1, 0.09)
    ctx.stroke()


def _knob_scale(ctx, param, big):
    cx, cy = control_centre(param)
    name, unit, marks = KNOB_SCALES[KNOB_OF_PARAM[param]]
    r_in, r_minor, r_major = KNOB_TICK_R if big else SCREW_TICK_R
    number_gap = KNOB_NUMBER_GAP if big else SCREW_NUMBER_GAP
    numbers = font(ROBOTO_CONDENSED)
    labels = font(ROBOTO_MEDIUM)

    # the travel arc
    ctx.set_line_width(0.6 if big else 0.5)
    ctx.arc(cx, cy, r_in, math.radians(SWEEP_START - 90), math.radians(SWEEP_START + SWEEP - 90))
    rgb(ctx, INK_DIM, 0.8)
    ctx.stroke()
    for value, text, major in marks:
        angle = scale_mark_angle(param, value)
        p0 = polar(cx, cy, r_in, angle)
        p1 = polar(cx, cy, r_major if major else r_minor, angle)
        ctx.move_to(*p0)
        ctx.line_to(*p1)
        ctx.set_line_width((1.0 if big else 0.8) if major else 0.55)
        rgb(ctx, INK if major else INK_DIM, 1.0 if major else 0.85)
        ctx.stroke()
        if text:
            size = 8.0 if big else 6.8
            tx, ty = label_position(numbers, text, size, cx, cy, r_major + number_gap, angle, 0.02)
            silkscreen(ctx, numbers, text, tx, ty, size, tracking=0.02)
    # the end stops
    for angle in (SWEEP_START, SWEEP_START + SWEEP):
        px, py = polar(cx, cy, r_in - (1.6 if big else 1.2), angle)
        ctx.arc(px, py, 0.9 if big else 0.7, 0, 2 * math.pi)
        rgb(ctx, INK_DIM)
        ctx.fill()

    half = (frame_size("KNOB" if big else "SCREW")[1]) / 2.0
    if big:
        silkscreen(ctx, labels, name, cx, cy - 58.0, 9.0, tracking=0.16)
        silkscreen(ctx, numbers, unit, cx, cy + half + 4.5, 7.0, colour=INK_DIM, tracking=0.05)
    else:
        silkscreen(ctx, labels, name, cx, cy - 37.5, 7.5, tracking=0.16)
        silkscreen(ctx, numbers, unit, cx, cy + 24.0, 6.0, colour=INK_DIM, tracking=0.05)


def _switch_well(ctx, param, label):
    cx, cy = control_centre(param, "SWITCH")
    w, h = frame_size("SWITCH")
    x, y = cx - w / 2.0, cy - h / 2.0
    # the cut-out the push button sits in
    rounded_rect(ctx, x + 1.0, y + 1.0, w - 2.0, h - 2.0, 4.0)
    ctx.set_source(linear(0, y, 0, y + h, [(0, 0.02, 0.02, 0.025, 1), (1, 0.09, 0.09, 0.10, 1)]))
    ctx.fill()
    rounded_rect(ctx, x + 1.0, y + 1.0, w - 2.0, h - 2.0, 4.0)
    ctx.set_line_width(0.6)
    ctx.set_source(linear(0, y, 0, y + h, [(0, 0, 0, 0, 0.9), (1, 1, 1, 1, 0.16)]))
    ctx.stroke()
    if label:
        silkscreen(ctx, font(ROBOTO_MEDIUM), label, cx, cy + h / 2.0 + 7.5, 7.5, tracking=0.16)


def _stage_tag(ctx, text, y_centre):
    """Vertical stage name in the left margin."""
    face = font(ROBOTO_MEDIUM)
    ctx.save()
    ctx.translate(24.0, y_centre)
    ctx.rotate(-math.pi / 2)
    width = face.width(text, 8.5, 0.3)
    # a slim amber bar on either side of the name
    for sign in (-1, 1):
        x0 = sign * (width / 2.0 + 6.0)
        x1 = sign * (width / 2.0 + 30.0)
        ctx.move_to(x0, 0)
        ctx.line_to(x1, 0)
        ctx.set_line_width(0.8)
        rgb(ctx, INK_DIM, 0.55)
        ctx.stroke()
    silkscreen(ctx, face, text, 0, 0, 8.5, tracking=0.3)
    ctx.restore()


def _meter_bay_housing(ctx):
    x, y, w, h = BAY
    soft_rect_shadow(ctx, x, y + 1.0, w, h, 6.0, 3.0, 0.55)
    rounded_rect(ctx, x, y, w, h, 6.0)
    ctx.set_source(linear(0, y, 0, y + h, [(0, 0.105, 0.108, 0.118, 1), (1, 0.075, 0.077, 0.085, 1)]))
    ctx.fill()
    # fine vertical brushing on the bay plate
    ctx.save()
    rounded_rect(ctx, x, y, w, h, 6.0)
    ctx.clip()
    rng = random.Random(7)
    ctx.set_line_width(0.5)
    for _ in range(900):
        xx = x + math.floor(rng.uniform(0, w) * 2) / 2 + 0.25
        y0 = rng.uniform(y - 60, y + h)
        ctx.move_to(xx, y0)
        ctx.line_to(xx, y0 + rng.uniform(20, 120))
        ctx.set_source_rgba(1, 1, 1, rng.uniform(0.008, 0.03))
        ctx.stroke()
    ctx.restore()
    # bevel
    rounded_rect(ctx, x + 0.25, y + 0.25, w - 0.5, h - 0.5, 6.0)
    ctx.set_line_width(0.5)
    ctx.set_source(linear(0, y, 0, y + h, [(0, 1, 1, 1, 0.18), (0.5, 1, 1, 1, 0.04), (1, 0, 0, 0, 0.6)]))
    ctx.stroke()
    rounded_rect(ctx, x - 0.75, y - 0.75, w + 1.5, h + 1.5, 6.75)
    ctx.set_line_width(0.5)
    ctx.set_source_rgba(0, 0, 0, 0.7)
    ctx.stroke()
    for bx, by in ((x + 6.5, y + 6.5), (x + w - 6.5, y + 6.5), (x + 6.5, y + h - 6.5), (x + w - 6.5, y + h - 6.5)):
        ctx.arc(bx, by, 1.6, 0, 2 * math.pi)
        ctx.set_source(radial(bx - 0.5, by - 0.5, 0.2, 2.0, [(0, 0.6, 0.6, 0.6, 1), (1, 0.15, 0.15, 0.16, 1)]))
        ctx.fill()


def meter_window_rect(param):
    """The glass in front of a meter face: centred on the needle's pivot,
    ending at the bottom of the needle's frame."""
    _, left, top = control_of(param)
    w, h = frame_size("NEEDLE")
    pivot_x = left + NEEDLE_PIVOT[0]
    return pivot_x - 69.0, top - 9.0, 138.0, h + 9.0


def _meter_window_cutouts(ctx):
    for param, title in ((25, "INT"), (26, "INT/EXT")):
        x, y, w, h = meter_window_rect(param)
        soft_rect_shadow(ctx, x, y, w, h, 3.0, 1.5, 0.8)
        rounded_rect(ctx, x - 1.5, y - 1.5, w + 3.0, h + 3.0, 4.0)
        ctx.set_source(linear(0, y, 0, y + h, [(0, 0.02, 0.02, 0.02, 1), (1, 0.16, 0.16, 0.17, 1)]))
        ctx.fill()
        label_y = y - 8.5
        face = font(ROBOTO_MEDIUM)
        silkscreen(ctx, face, title, x + 2.0, label_y, 7.5, align="left", tracking=0.2)
        silkscreen(ctx, font(ROBOTO_CONDENSED), "GAIN REDUCTION", x + w - 2.0, label_y, 6.5,
                   align="right", tracking=0.12, colour=INK_DIM)


def _brand(ctx):
    x0, x1 = BRAND_X
    cx = (x0 + x1) / 2.0
    bold = font(ROBOTO_BOLD)
    # the name plate
    px, py, pw, ph = x0, 26.0, x1 - x0, 62.0
    soft_rect_shadow(ctx, px, py + 1.0, pw, ph, 3.0, 2.0, 0.5)
    rounded_rect(ctx, px, py, pw, ph, 3.0)
    ctx.set_source(linear(0, py, 0, py + ph, [(0, 0.07, 0.07, 0.075, 1), (1, 0.035, 0.035, 0.04, 1)]))
    ctx.fill()
    rounded_rect(ctx, px + 0.25, py + 0.25, pw - 0.5, ph - 0.5, 3.0)
    ctx.set_line_width(0.5)
    ctx.set_source(linear(0, py, 0, py + ph, [(0, 1, 1, 1, 0.16), (1, 1, 1, 1, 0.03)]))
    ctx.stroke()
    silkscreen(ctx, bold, "KORVEL", cx, py + 22.0, 15.5, tracking=0.14)
    ctx.move_to(px + 10.0, py + 35.0)
    ctx.line_to(px + pw - 10.0, py + 35.0)
    ctx.set_line_width(0.8)
    rgb(ctx, AMBER, 0.9)
    ctx.stroke()
    cond = font(ROBOTO_CONDENSED)
    silkscreen(ctx, cond, "TWO-STAGE", cx, py + 44.0, 6.5, tracking=0.25, colour=INK_DIM)
    silkscreen(ctx, cond, "COMPRESSOR", cx, py + 53.0, 6.5, tracking=0.25, colour=INK_DIM)

    # maker's mark near the foot of the column
    medium = font(ROBOTO_MEDIUM)
    silkscreen(ctx, medium, "Vantrel", cx, 332.0, 12.0, tracking=0.04)
    ctx.move_to(cx - 20.0, 343.0)
    ctx.line_to(cx + 20.0, 343.0)
    ctx.set_line_width(0.5)
    rgb(ctx, INK_DIM, 0.6)
    ctx.stroke()
    silkscreen(ctx, cond, "STEREO  ·  VST3", cx, 350.0, 5.5, tracking=0.2, colour=INK_DIM)


def _vent_slots(ctx):
    """Ventilation slots in the brand column between name plate and maker."""
    x0, x1 = BRAND_X
    for i in range(14):
        y = 112.0 + i * 13.0
        rounded_rect(ctx, x0 + 14.0, y, x1 - x0 - 28.0, 4.0, 2.0)
        ctx.set_source(linear(0, y, 0, y + 4.0, [(0, 0, 0, 0, 0.95), (1, 0.10, 0.10, 0.11, 0.9)]))
        ctx.fill()
        rounded_rect(ctx, x0 + 14.0, y + 0.25, x1 - x0 - 28.0, 4.0, 2.0)
        ctx.set_line_width(0.5)
        ctx.set_source(linear(0, y, 0, y + 4.5, [(0, 0, 0, 0, 0), (1, 1, 1, 1, 0.12)]))
        ctx.stroke()


def _oversampling_legend(ctx):
    _, left, top = control_of(24)
    w, h = frame_size("OVER")
    cy = top + h / 2.0
    text, size, tracking = OVER_LEGEND
    silkscreen(ctx, font(ROBOTO_MEDIUM), text, left + 2.0, cy, size, align="left", tracking=tracking)
    cond = font(ROBOTO_CONDENSED)
    sx, _, sw, _ = over_slider_rect()
    silkscreen(ctx, cond, OVER_OFF, left + sx - 3.0, cy, OVER_STATE_SIZE, align="right",
               colour=INK_DIM, tracking=0.06)
    silkscreen(ctx, cond, OVER_ON, left + sx + sw + 3.0, cy, OVER_STATE_SIZE, align="left",
               colour=INK_DIM, tracking=0.06)


def _resize_grip(ctx):
    for i in range(3):
        d = 5.0 + 4.0 * i
        ctx.move_to(PANEL_W - 3.0 - d, PANEL_H - 3.0)
        ctx.line_to(PANEL_W - 3.0, PANEL_H - 3.0 - d)
        ctx.set_line_width(0.6)
        ctx.set_source_rgba(0, 0, 0, 0.7)
        ctx.stroke()
        ctx.move_to(PANEL_W - 3.0 - d + 0.6, PANEL_H - 3.0)
        ctx.line_to(PANEL_W - 3.0, PANEL_H - 3.0 - d + 0.6)
        ctx.set_source_rgba(1, 1, 1, 0.08)
        ctx.stroke()


def draw_background(ctx, lit=False):
    _brushed_metal(ctx, 0, 0, PANEL_W, PANEL_H, 1, (0.175, 0.180, 0.192), (0.128, 0.131, 0.140), 0.7)
    # outer bevel of the faceplate
    ctx.rectangle(0.25, 0.25, PANEL_W - 0.5, PANEL_H - 0.5)
    ctx.set_line_width(0.5)
    ctx.set_source(linear(0, 0, 0, PANEL_H, [(0, 1, 1, 1, 0.22), (1, 0, 0, 0, 0.7)]))
    ctx.stroke()
    ctx.rectangle(1.5, 1.5, PANEL_W - 3.0, PANEL_H - 3.0)
    ctx.set_source_rgba(0, 0, 0, 0.35)
    ctx.stroke()

    _engraved_line(ctx, 44.0, ROW_DIVIDER_Y, BAY[0] - 8.0, ROW_DIVIDER_Y)
    _stage_tag(ctx, "INT", 106.0)
    _stage_tag(ctx, "INT/EXT", 278.0)
    for bx, by in ((11.0, 11.0), (11.0, PANEL_H - 11.0), (PANEL_W - 11.0, 11.0)):
        _hex_bolt(ctx, bx, by)

    for param in sorted(KNOB_OF_PARAM):
        _knob_scale(ctx, param, control_of(param)[0] == "KNOB")

    _switch_well(ctx, 14, "POWER")
    _switch_well(ctx, 15, "EXT SC")
    _meter_bay_housing(ctx)
    _meter_window_cutouts(ctx)
    for param, text in ((16, "VCA"), (17, "FET"), (18, "OPTO"), (19, "VCA"), (20, "FET"), (21, "OPTO")):
        _switch_well(ctx, param, text)
    lamp_x = pilot_lamp_centre()[0]
    _engraved_line(ctx, BAY[0] + 10.0, ROW_DIVIDER_Y, lamp_x - 10.0, ROW_DIVIDER_Y)
    _engraved_line(ctx, lamp_x + 10.0, ROW_DIVIDER_Y, BAY[0] + BAY[2] - 10.0, ROW_DIVIDER_Y)
    _brand(ctx)
    _vent_slots(ctx)
    _oversampling_legend(ctx)
    _resize_grip(ctx)


def make_background():
    surface = new_surface("BG", opaque=True)
    draw_background(frame_context(surface, "BG", 0))
    return surface


# ---------------------------------------------------------------------------
# The meter housing: the bay as the background shows it, with the meter faces
# and the pilot lamp, unlit and lit.

def _meter_face(ctx, param, lit):
    x, y, w, h = meter_window_rect(param)
    _, left, top = control_of(param)
    px, py = left + NEEDLE_PIVOT[0], top + NEEDLE_PIVOT[1]
    ctx.save()
    rounded_rect(ctx, x, y, w, h, 3.0)
    ctx.clip()
    if lit:
        ctx.set_source(radial(px, py - 30.0, 5.0, 95.0,
                              [(0, 0.99, 0.93, 0.74, 1), (0.6, 0.95, 0.83, 0.55, 1), (1, 0.80, 0.62, 0.33, 1)]))
    else:
        ctx.set_source(radial(px, py - 30.0, 5.0, 95.0,
                              [(0, 0.30, 0.28, 0.23, 1), (1, 0.20, 0.185, 0.155, 1)]))
    ctx.paint()
    ink_alpha = 1.0 if lit else 0.55
    ink = METER_INK

    arc_r, minor_r, major_r = 54.0, 57.0, 59.0
    ctx.arc(px, py, arc_r, math.radians(needle_angle(0) - 90), math.radians(needle_angle(100) - 90))
    ctx.set_line_width(0.8)
    rgb(ctx, ink, ink_alpha)
    ctx.stroke()
    face = font(ROBOTO_CONDENSED_BOLD)
    for db in METER_LABELS:
        angle = needle_angle(needle_frame_position(db))
        ctx.move_to(*polar(px, py, arc_r, angle))
        ctx.line_to(*polar(px, py, major_r, angle))
        ctx.set_line_width(1.0)
        rgb(ctx, ink, ink_alpha)
        ctx.stroke()
        tx, ty = label_position(face, "%d" % -db, 7.5, px, py, major_r + 1.8, angle)
        text_path(ctx, face, "%d" % -db, tx, ty, 7.5)
        rgb(ctx, ink, ink_alpha)
        ctx.fill()
    for db in METER_MINOR:
        angle = needle_angle(needle_frame_position(db))
        ctx.move_to(*polar(px, py, arc_r, angle))
        ctx.line_to(*polar(px, py, minor_r, angle))
        ctx.set_line_width(0.6)
        rgb(ctx, ink, ink_alpha)
        ctx.stroke()
    cond = font(ROBOTO_CONDENSED)
    text_path(ctx, cond, "dB", px, py - 30.0, 7.0, tracking=0.05)
    rgb(ctx, ink, ink_alpha * 0.8)
    ctx.fill()
    text_path(ctx, font(ROBOTO_MEDIUM), "KORVEL", px, py - 18.0, 4.5, tracking=0.35)
    rgb(ctx, ink, ink_alpha * 0.55)
    ctx.fill()
    # inner shadow of the window frame
    rounded_rect(ctx, x, y, w, h, 3.0)
    ctx.set_line_width(3.0)
    ctx.set_source_rgba(0, 0, 0, 0.35)
    ctx.stroke()
    rounded_rect(ctx, x, y, w, h, 3.0)
    ctx.set_line_width(1.0)
    ctx.set_source_rgba(0, 0, 0, 0.5)
    ctx.stroke()
    # glass: a soft diagonal reflection
    ctx.move_to(x, y)
    ctx.line_to(x + w * 0.55, y)
    ctx.line_to(x + w * 0.25, y + h)
    ctx.line_to(x, y + h)
    ctx.close_path()
    ctx.set_source(linear(x, y, x + w * 0.5, y + h, [(0, 1, 1, 1, 0.10 if lit else 0.06), (1, 1, 1, 1, 0.0)]))
    ctx.fill()
    ctx.restore()


def pilot_lamp_centre():
    """On the divider between the two meters, under the needles' pivots."""
    _, left, _ = control_of(25)
    return left + NEEDLE_PIVOT[0], ROW_DIVIDER_Y


def _pilot_lamp(ctx, lit):
    cx, cy = pilot_lamp_centre()
    circle_shadow(ctx, cx, cy + 0.6, 4.2, 1.0, 0.6)
    ctx.arc(cx, cy, 4.2, 0, 2 * math.pi)
    ctx.set_source(radial(cx - 1.0, cy - 1.0, 0.5, 4.6, [(0, 0.80, 0.80, 0.80, 1), (1, 0.28, 0.28, 0.29, 1)]))
    ctx.fill()
    if lit:
        ctx.arc(cx, cy, 9.0, 0, 2 * math.pi)
        ctx.set_source(radial(cx, cy, 1.0, 9.0, [(0, 1.0, 0.55, 0.12, 0.55), (1, 1.0, 0.45, 0.05, 0.0)]))
        ctx.fill()
        stops = [(0, 1.0, 0.95, 0.70, 1), (0.45, 1.0, 0.62, 0.15, 1), (1, 0.75, 0.30, 0.02, 1)]
    else:
        stops = [(0, 0.45, 0.26, 0.12, 1), (1, 0.16, 0.08, 0.03, 1)]
    ctx.arc(cx, cy, 2.9, 0, 2 * math.pi)
    ctx.set_source(radial(cx - 0.6, cy - 0.8, 0.2, 3.0, stops))
    ctx.fill()
    ctx.arc(cx - 0.9, cy - 1.0, 0.8, 0, 2 * math.pi)
    ctx.set_source_rgba(1, 1, 1, 0.55 if lit else 0.3)
    ctx.fill()


def make_meter_housing(background):
    surface = new_surface("OFF")
    _, left, top = control_of(14, "OFF")
    for frame in range(2):
        ctx = frame_context(surface, "OFF", frame)
        ctx.translate(-left, -top)
        ctx.save()
        ctx.scale(1.0 / STORED_SCALE, 1.0 / STORED_SCALE)
        ctx.set_source_surface(background, 0, 0)
        ctx.get_source().set_filter(cairo.FILTER_NEAREST)
        ctx.paint()
        ctx.restore()
        lit = frame == 1
        _meter_face(ctx, 25, lit)
        _meter_face(ctx, 26, lit)
        _pilot_lamp(ctx, lit)
    return surface


# ---------------------------------------------------------------------------
# Knobs.

ALUMINIUM_DARK = (0.42, 0.43, 0.45)
ALUMINIUM_LIGHT = (0.90, 0.91, 0.92)


def _brushed_cap_colour(angle):
    # bright lobes where the light from the upper left catches the machining
    t = 0.5 + 0.5 * math.cos(math.radians(2.0 * (angle + 45.0)))
    t = t ** 2.2
    base = mix(ALUMINIUM_DARK, ALUMINIUM_LIGHT, 0.25 + 0.75 * t)
    shade = 0.5 + 0.5 * math.cos(math.radians(angle + 45.0))   # lighter towards the upper left
    return mix(mix(base, (0.2, 0.2, 0.21), 0.25), base, shade)


def _machined_rings(ctx, cx, cy, r, seed):
    rng = random.Random(seed)
    ctx.set_line_width(0.25)
    radius = 0.6
    while radius < r:
        ctx.arc(cx, cy, radius, 0, 2 * math.pi)
        if rng.random() < 0.5:
            ctx.set_source_rgba(1, 1, 1, rng.uniform(0.02, 0.09))
        else:
            ctx.set_source_rgba(0, 0, 0, rng.uniform(0.02, 0.08))
        ctx.stroke()
        radius += 0.35


def _knurled_skirt(ctx, cx, cy, r_out, r_in, ridges, rotation, light, dark):
    ctx.arc(cx, cy, r_out, 0, 2 * math.pi)
    rgb(ctx, dark)
    ctx.fill()
    half = 360.0 / ridges / 2.0
    for i in range(ridges):
        a = rotation + i * 360.0 / ridges
        ctx.move_to(*polar(cx, cy, r_in, a - half * 0.55))
        ctx.line_to(*polar(cx, cy, r_out - 0.15, a - half * 0.45))
        ctx.line_to(*polar(cx, cy, r_out - 0.15, a + half * 0.45))
        ctx.line_to(*polar(cx, cy, r_in, a + half * 0.55))
        ctx.close_path()
        rgb(ctx, light)
        ctx.fill()


def draw_knob(ctx, cx, cy, frame, small=False):
    angle = knob_angle(frame)
    s = SCREW_BODY_R / KNOB_BODY_R if small else 1.0
    r_skirt = KNOB_BODY_R * s
    r_top = (23.5 if not small else 24.0) * s
    r_cap = (20.0 if not small else 19.0) * s

    circle_shadow(ctx, cx + 0.6 * s, cy + 2.6 * s, r_skirt, 3.2 * s + (0.6 if small else 0.0), 0.75)
    if small:
        _knurled_skirt(ctx, cx, cy, r_skirt, r_top - 0.6, 36, angle, (0.55, 0.56, 0.58), (0.22, 0.22, 0.23))
    else:
        _knurled_skirt(ctx, cx, cy, r_skirt, r_top - 0.5, 60, angle, (0.23, 0.235, 0.25), (0.07, 0.07, 0.08))
    # fixed light on the skirt: upper left bright, lower right in shade
    ctx.arc(cx, cy, r_skirt, 0, 2 * math.pi)
    ctx.set_source(linear(cx - r_skirt, cy - r_skirt, cx + r_skirt, cy + r_skirt,
                          [(0, 1, 1, 1, 0.22), (0.5, 1, 1, 1, 0.0), (1, 0, 0, 0, 0.45)]))
    ctx.fill()
    ctx.arc(cx, cy, r_skirt - 0.2, 0, 2 * math.pi)
    ctx.set_line_width(0.4)
    ctx.set_source_rgba(0, 0, 0, 0.8)
    ctx.stroke()

    # the stepped shoulder between skirt and cap
    ctx.arc(cx, cy, r_top, 0, 2 * math.pi)
    top_colour = (0.11, 0.11, 0.12) if not small else (0.30, 0.30, 0.32)
    ctx.set_source(linear(cx, cy - r_top, cx, cy + r_top,
                          [(0,) + mix(top_colour, (1, 1, 1), 0.18) + (1,), (1,) + top_colour + (1,)]))
    ctx.fill()
    ctx.arc(cx, cy, r_top, 0, 2 * math.pi)
    ctx.set_line_width(0.5)
    ctx.set_source(linear(cx, cy - r_top, cx, cy + r_top, [(0, 1, 1, 1, 0.30), (1, 0, 0, 0, 0.5)]))
    ctx.stroke()

    # the cap: brushed aluminium (knob) or dark anodised (screw)
    if small:
        ctx.arc(cx, cy, r_cap, 0, 2 * math.pi)
        ctx.set_source(radial(cx - 3.0 * s, cy - 4.0 * s, 0.5, r_cap * 1.4,
                              [(0, 0.23, 0.235, 0.25, 1), (1, 0.06, 0.06, 0.07, 1)]))
        ctx.fill()
    else:
        ctx.arc(cx, cy, r_cap, 0, 2 * math.pi)
        ctx.set_source(conic(cx, cy, r_cap + 0.5, _brushed_cap_colour))
        ctx.fill()
        ctx.save()
        ctx.arc(cx, cy, r_cap, 0, 2 * math.pi)
        ctx.clip()
        _machined_rings(ctx, cx, cy, r_cap, 11)
        ctx.restore()
    ctx.arc(cx, cy, r_cap, 0, 2 * math.pi)
    ctx.set_line_width(0.7 * (1.0 if not small else 0.9))
    ctx.set_source(linear(cx, cy - r_cap, cx, cy + r_cap, [(0, 1, 1, 1, 0.55), (0.5, 1, 1, 1, 0.05), (1, 0, 0, 0, 0.55)]))
    ctx.stroke()

    # pointer: an engraved, paint-filled line from near the centre to the rim
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    inner = r_cap * (0.32 if not small else 0.25)
    outer = r_skirt - 0.9
    p0, p1 = polar(cx, cy, inner, angle), polar(cx, cy, outer, angle)
    ctx.move_to(*p0)
    ctx.line_to(*p1)
    ctx.set_line_width(2.6 * (1.0 if not small else 0.75))
    ctx.set_source_rgba(0, 0, 0, 0.65)
    ctx.stroke()
    ctx.move_to(*p0)
    ctx.line_to(*p1)
    ctx.set_line_width(1.5 * (1.0 if not small else 0.8))
    ctx.set_source_rgba(0.97, 0.95, 0.88, 1.0)
    ctx.stroke()
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)


def make_knobs(image, small):
    surface = new_surface(image)
    frames = IMAGES[image][0]
    w, h = frame_size(image)
    for frame in range(frames):
        ctx = frame_context(surface, image, frame)
        draw_knob(ctx, w / 2.0, h / 2.0, frame, small)
    return surface


# ---------------------------------------------------------------------------
# Push button (all seven switches share it): unlit and lit.

def draw_switch(ctx, on):
    w, h = frame_size("SWITCH")
    bx, by, bw, bh = 3.5, 3.0, w - 7.0, h - 6.5
    press = 0.6 if on else 0.0
    soft_rect_shadow(ctx, bx, by + 1.6 - press, bw, bh, 3.0, 1.6 - press * 0.8, 0.9)
    by += press
    rounded_rect(ctx, bx, by, bw, bh, 3.0)
    ctx.set_source(linear(0, by, 0, by + bh, [(0, 0.27, 0.275, 0.29, 1), (1, 0.13, 0.13, 0.14, 1)]))
    ctx.fill()
    # top face
    rounded_rect(ctx, bx + 1.2, by + 1.0, bw - 2.4, bh - 2.6, 2.2)
    ctx.set_source(linear(0, by, 0, by + bh, [(0, 0.22, 0.225, 0.24, 1), (1, 0.17, 0.175, 0.185, 1)]))
    ctx.fill()
    rounded_rect(ctx, bx + 0.25, by + 0.25, bw - 0.5, bh - 0.5, 3.0)
    ctx.set_line_width(0.5)
    ctx.set_source(linear(0, by, 0, by + bh, [(0, 1, 1, 1, 0.35), (1, 0, 0, 0, 0.6)]))
    ctx.stroke()
    # the lamp lens across the button
    lx, ly, lw, lh = bx + 6.0, by + bh / 2.0 - 2.2, bw - 12.0, 4.4
    rounded_rect(ctx, lx - 0.6, ly - 0.6, lw + 1.2, lh + 1.2, 2.6)
    ctx.set_source_rgba(0, 0, 0, 0.8)
    ctx.fill()
    if on:
        ctx.save()
        rounded_rect(ctx, bx, by, bw, bh, 3.0)
        ctx.clip()
        ctx.rectangle(bx, by, bw, bh)
        ctx.set_source(radial(lx + lw / 2.0, ly + lh / 2.0, 1.0, bw * 0.55,
                              [(0, 1.0, 0.60, 0.15, 0.35), (1, 1.0, 0.50, 0.10, 0.0)]))
        ctx.fill()
        ctx.restore()
        stops = [(0, 1.0, 0.93, 0.65, 1), (0.5, 1.0, 0.66, 0.18, 1), (1, 0.85, 0.40, 0.05, 1)]
    else:
        stops = [(0, 0.30, 0.20, 0.10, 1), (1, 0.13, 0.08, 0.04, 1)]
    rounded_rect(ctx, lx, ly, lw, lh, 2.2)
    ctx.set_source(linear(0, ly, 0, ly + lh, stops))
    ctx.fill()
    rounded_rect(ctx, lx + 1.0, ly + 0.5, lw - 2.0, 1.2, 0.6)
    ctx.set_source_rgba(1, 1, 1, 0.45 if on else 0.12)
    ctx.fill()


def make_two_state(image, draw):
    """An off frame above an on frame."""
    surface = new_surface(image)
    for frame in range(2):
        draw(frame_context(surface, image, frame), frame == 1)
    return surface


# ---------------------------------------------------------------------------
# Needle frames.

def draw_needle(ctx, frame):
    px, py = NEEDLE_PIVOT
    angle = needle_angle(frame)
    length = 61.0
    for dx, dy, width, colour in ((1.2, 1.6, 1.3, (0, 0, 0, 0.22)), (0, 0, 1.1, (0.08, 0.07, 0.06, 1.0))):
        tip = polar(px + dx, py + dy, length, angle)
        base_l = polar(px + dx, py + dy, 1.2 * width, angle - 90)
        base_r = polar(px + dx, py + dy, 1.2 * width, angle + 90)
        tip_l = polar(tip[0], tip[1], 0.3, angle - 90)
        tip_r = polar(tip[0], tip[1], 0.3, angle + 90)
        ctx.move_to(*base_l)
        ctx.line_to(*tip_l)
        ctx.line_to(*tip_r)
        ctx.line_to(*base_r)
        ctx.close_path()
        ctx.set_source_rgba(*colour)
        ctx.fill()
    # the pivot cover
    ctx.arc(px, py + 2.0, 11.0, math.pi, 2 * math.pi)
    ctx.close_path()
    ctx.set_source(linear(0, py - 9.0, 0, py + 2.0, [(0, 0.20, 0.20, 0.21, 1), (1, 0.05, 0.05, 0.055, 1)]))
    ctx.fill()
    ctx.arc(px, py + 2.0, 10.75, math.pi, 2 * math.pi)
    ctx.set_line_width(0.5)
    ctx.set_source_rgba(1, 1, 1, 0.18)
    ctx.stroke()


def make_needles():
    surface = new_surface("NEEDLE")
    w, h = frame_size("NEEDLE")
    for frame in range(101):
        ctx = frame_context(surface, "NEEDLE", frame)
        # the editor shows whole editor pixels of each frame; keep the odd
        # last stored column empty
        ctx.rectangle(0, 0, w, h)
        ctx.clip()
        draw_needle(ctx, frame)
    return surface


# ---------------------------------------------------------------------------
# Oversampling slide switch.

OVER_LEGEND = ("OVERSAMPLING", 7.5, 0.16)
OVER_OFF, OVER_ON, OVER_STATE_SIZE = "OFF", "2×", 6.5


def over_slider_rect():
    """The slide track inside the OVER frame, in frame pixels: after the
    legend and the "off" word, which the background prints."""
    w, h = frame_size("OVER")
    legend = font(ROBOTO_MEDIUM).width(OVER_LEGEND[0], OVER_LEGEND[1], OVER_LEGEND[2])
    off = font(ROBOTO_CONDENSED).width(OVER_OFF, OVER_STATE_SIZE, 0.06)
    return math.floor(2.0 + legend + 8.0 + off + 3.0), 3.0, 28.0, h - 6.0


def over_lamp_centre():
    x, _, tw, _ = over_slider_rect()
    on = font(ROBOTO_CONDENSED).width(OVER_ON, OVER_STATE_SIZE, 0.06)
    return x + tw + 3.0 + on + 6.5, frame_size("OVER")[1] / 2.0


def draw_over(ctx, on):
    w, h = frame_size("OVER")
    x, y, tw, th = over_slider_rect()
    rounded_rect(ctx, x, y, tw, th, th / 2.0)
    ctx.set_source(linear(0, y, 0, y + th, [(0, 0.01, 0.01, 0.012, 1), (1, 0.10, 0.10, 0.11, 1)]))
    ctx.fill()
    rounded_rect(ctx, x, y, tw, th, th / 2.0)
    ctx.set_line_width(0.5)
    ctx.set_source(linear(0, y, 0, y + th, [(0, 0, 0, 0, 0.9), (1, 1, 1, 1, 0.18)]))
    ctx.stroke()
    if on:
        rounded_rect(ctx, x + 1.0, y + 1.0, tw - 2.0, th - 2.0, th / 2.0 - 1.0)
        ctx.set_source(linear(x, 0, x + tw, 0, [(0, 1.0, 0.55, 0.10, 0.15), (1, 1.0, 0.62, 0.15, 0.55)]))
        ctx.fill()
    knob_w = 14.0
    kx = x + (tw - knob_w - 1.0 if on else 1.0)
    ky, kh = y + 1.0, th - 2.0
    soft_rect_shadow(ctx, kx, ky + 0.8, knob_w, kh, 2.5, 1.0, 0.8)
    rounded_rect(ctx, kx, ky, knob_w, kh, kh / 2.0)
    ctx.set_source(linear(0, ky, 0, ky + kh, [(0, 0.86, 0.86, 0.87, 1), (1, 0.45, 0.45, 0.47, 1)]))
    ctx.fill()
    for i in (-2.0, 0.0, 2.0):
        ctx.move_to(kx + knob_w / 2.0 + i, ky + 2.0)
        ctx.line_to(kx + knob_w / 2.0 + i, ky + kh - 2.0)
        ctx.set_line_width(0.5)
        ctx.set_source_rgba(0, 0, 0, 0.35)
        ctx.stroke()
    # status lamp after the legend
    lx, ly = over_lamp_centre()
    ctx.arc(lx, ly, 2.8, 0, 2 * math.pi)
    ctx.set_source_rgba(0, 0, 0, 0.8)
    ctx.fill()
    if on:
        ctx.arc(lx, ly, 5.5, 0, 2 * math.pi)
        ctx.set_source(radial(lx, ly, 0.5, 5.5, [(0, 1.0, 0.6, 0.15, 0.5), (1, 1.0, 0.5, 0.1, 0.0)]))
        ctx.fill()
        stops = [(0, 1.0, 0.93, 0.65, 1), (1, 0.90, 0.45, 0.05, 1)]
    else:
        stops = [(0, 0.35, 0.22, 0.10, 1), (1, 0.14, 0.08, 0.03, 1)]
    ctx.arc(lx, ly, 2.1, 0, 2 * math.pi)
    ctx.set_source(radial(lx - 0.5, ly - 0.6, 0.2, 2.3, stops))
    ctx.fill()


# ---------------------------------------------------------------------------

def write_png(surface, path):
    surface.flush()
    surface.write_to_png(path)


def make_all(outdir):
    os.makedirs(outdir, exist_ok=True)
    background = make_background()
    images = {
        "BG": background,
        "OFF": make_meter_housing(background),
        "KNOB": make_knobs("KNOB", small=False),
        "SCREW": make_knobs("SCREW", small=True),
        "SWITCH": make_two_state("SWITCH", draw_switch),
        "NEEDLE": make_needles(),
        "OVER": make_two_state("OVER", draw_over),
    }
    paths = []
    for name in sorted(images):
        surface = images[name]
        _, w, h = IMAGES[name]
        assert (surface.get_width(), surface.get_height()) == (w, h), name
        path = os.path.join(outdir, "%s@2x.png" % name)
        write_png(surface, path)
        paths.append(path)
    return paths


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: %s OUTDIR\n" % argv[0])
        return 2
    for path in make_all(argv[1]):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
