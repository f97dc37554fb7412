#!/usr/bin/python3
"""Checks the committed editor images.

Usage: /usr/bin/python3 check_artwork.py [RESOURCE_DIR]

RESOURCE_DIR defaults to this script's folder. The check fails (exit 1) when
- an image's stored size or frame count is not the one the editor layout
  expects, or two neighbouring frames of an image are identical (frames
  missing or not stacked top to bottom),
- resources.txt does not list exactly the module's resources, or a listed
  file is missing,
- a fresh run of make_artwork.py does not reproduce the committed images
  byte for byte.
Exit 2 means the check could not run (e.g. no cairo for this interpreter).
"""

import os
import shlex
import struct
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# Written out here rather than taken from the generator, so that the check
# does not agree with a generator that got them wrong.
# name: (frames, stored width, stored height, frame width and height at 1x)
EXPECTED_IMAGES = {
    "BG": (1, 1996, 772, (998, 386)),
    "OFF": (2, 316, 1084, (158, 271)),
    "KNOB": (101, 146, 14746, (73, 73)),
    "SCREW": (101, 84, 8484, (42, 42)),
    "SWITCH": (2, 92, 104, (46, 26)),
    "NEEDLE": (101, 265, 14140, (132, 70)),
    "OVER": (2, 314, 68, (157, 17)),
}

EXPECTED_RESOURCES = [
    ("PNG", "BG@2X.PNG"),
    ("PNG", "KNOB@2X.PNG"),
    ("PNG", "NEEDLE@2X.PNG"),
    ("PNG", "OFF@2X.PNG"),
    ("PNG", "OVER@2X.PNG"),
    ("PNG", "SCREW@2X.PNG"),
    ("PNG", "SWITCH@2X.PNG"),
    ("TTF", "ROBOTO-REGULAR.TTF"),
]

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if len(head) < 24 or head[:8] != PNG_SIGNATURE or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def check_geometry(resource_dir, problems):
    for name, (frames, width, height, frame_1x) in sorted(EXPECTED_IMAGES.items()):
        path = os.path.join(resource_dir, "%s@2x.png" % name)
        if not os.path.isfile(path):
            problems.append("%s: missing" % path)
            continue
        size = png_size(path)
        if size is None:
            problems.append("%s: not a PNG file" % path)
            continue
        if size != (width, height):
            problems.append("%s: stored size %d x %d, expected %d x %d"
                            % (path, size[0], size[1], width, height))
            continue
        derived = (width // 2, (height // 2) // frames)
        if derived != frame_1x or height % frames:
            problems.append("%s: %d frames of %d x %d do not give %d x %d at scale 1"
                            % (path, frames, width, height, frame_1x[0], frame_1x[1]))


def check_frames_differ(resource_dir, cairo, problems):
    for name, (frames, width, height, _) in sorted(EXPECTED_IMAGES.items()):
        path = os.path.join(resource_dir, "%s@2x.png" % name)
        if frames < 2 or png_size(path) != (width, height):
            continue
        try:
            surface = cairo.ImageSurface.create_from_png(path)
        except (cairo.Error, MemoryError) as error:
            problems.append("%s: cannot be decoded (%s)" % (path, error))
            continue
        surface.flush()
        data = bytes(surface.get_data())
        stride, frame_h = surface.get_stride(), height // frames
        previous = None
        for frame in range(frames):
            rows = data[frame * frame_h * stride:(frame + 1) * frame_h * stride]
            if rows == previous:
                problems.append("%s: frame %d is identical to frame %d" % (path, frame, frame - 1))
                break
            previous = rows


def check_resource_list(resource_dir, problems):
    path = os.path.join(resource_dir, "resources.txt")
    if not os.path.isfile(path):
        problems.append("%s: missing" % path)
        return
    listed = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip():
                continue
            fields = shlex.split(line)
            if len(fields) != 3:
                problems.append("%s:%d: expected TYPE \"NAME\" FILE, got %r" % (path, number, line.rstrip()))
                continue
            kind, name, file_name = fields
            listed.append((kind, name))
            file_path = file_name if os.path.isabs(file_name) else os.path.join(resource_dir, file_name)
            if not os.path.isfile(file_path):
                problems.append("%s:%d: %s does not exist" % (path, number, file_path))
            elif kind == "PNG" and name != file_name.upper():
                problems.append("%s:%d: resource %s is not the upper-case file name %s"
                                % (path, number, name, file_name))
    missing = [entry for entry in EXPECTED_RESOURCES if entry not in listed]
    extra = [entry for entry in listed if entry not in EXPECTED_RESOURCES]
    for kind, name in missing:
        problems.append("%s: %s \"%s\" is not listed" % (path, kind, name))
    for kind, name in extra:
        problems.append("%s: %s \"%s\" is not a resource of the module" % (path, kind, name))
    if not missing and not extra and listed != EXPECTED_RESOURCES:
        problems.append("%s: resources listed twice or out of order: %s" % (path, listed))


def check_reproducible(resource_dir, problems):
    sys.dont_write_bytecode = True  # keep the resource folder clean
    sys.path.insert(0, HERE)
    import make_artwork
    with tempfile.TemporaryDirectory(prefix="korvel-artwork-") as fresh:
        make_artwork.make_all(fresh)
        for name in sorted(EXPECTED_IMAGES):
            file_name = "%s@2x.png" % name
            committed = os.path.join(resource_dir, file_name)
            if not os.path.isfile(committed):
                continue
            with open(committed, "rb") as a, open(os.path.join(fresh, file_name), "rb") as b:
                old, new = a.read(), b.read()
            if old != new:
                problems.append("%s differs from a fresh run of make_artwork.py (%d bytes committed, %d generated); "
                                "regenerate with: /usr/bin/python3 %s %s"
                                % (committed, len(old), len(new), os.path.join(HERE, "make_artwork.py"), resource_dir))


def main(argv):
    if len(argv) > 2:
        sys.stderr.write("usage: %s [RESOURCE_DIR]\n" % argv[0])
        return 2
    resource_dir = os.path.abspath(argv[1]) if len(argv) == 2 else HERE
    try:
        import cairo
    except ImportError:
        sys.stderr.write("check_artwork: this interpreter (%s) has no cairo module; "
                         "run it with /usr/bin/python3 and the python3-cairo package\n" % sys.executable)
        return 2
    problems = []
    check_geometry(resource_dir, problems)
    check_frames_differ(resource_dir, cairo, problems)
    check_resource_list(resource_dir, problems)
    check_reproducible(resource_dir, problems)
    for problem in problems:
        sys.stderr.write("check_artwork: %s\n" % problem)
    if problems:
        sys.stderr.write("check_artwork: %d problem(s)\n" % len(problems))
        return 1
    print("check_artwork: %d images and the resource list are as expected" % len(EXPECTED_IMAGES))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
