#!/usr/bin/env python3
"""Puts the editor's pictures into a VST3 bundle as snapshots, where hosts
look for a plug-in's picture in their browser:
    Contents/Resources/Snapshots/<class ID>_snapshot.png        (scale 1)
    Contents/Resources/Snapshots/<class ID>_snapshot_2.0x.png   (scale 2)
for the audio processor class that moduleinfo.json names (the class ID as it
prints it, which is also the Windows form).

Usage: place_snapshots.py BUNDLE PICTURE@1x.png PICTURE@2x.png

The pictures are korvel-snapshot's, of the editor at its defaults."""
import json
import shutil
import sys
from pathlib import Path

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def audio_class_id(bundle):
    info = json.loads((bundle / "Contents/Resources/moduleinfo.json").read_text(encoding="utf-8"))
    ids = [c["CID"] for c in info["Classes"] if c["Category"] == "Audio Module Class"]
    if len(ids) != 1:
        sys.exit(f"place_snapshots: {bundle} has {len(ids)} audio processor classes, expected one")
    return ids[0]


def main(argv):
    if len(argv) != 4:
        sys.exit("usage: place_snapshots.py BUNDLE PICTURE@1x.png PICTURE@2x.png")
    bundle = Path(argv[1])
    pictures = {"_snapshot.png": Path(argv[2]), "_snapshot_2.0x.png": Path(argv[3])}
    for picture in pictures.values():
        if picture.read_bytes()[:8] != PNG_SIGNATURE:
            sys.exit(f"place_snapshots: {picture} is not a PNG picture")
    folder = bundle / "Contents/Resources/Snapshots"
    folder.mkdir(parents=True, exist_ok=True)
    class_id = audio_class_id(bundle)
    for suffix, picture in pictures.items():
        shutil.copyfile(picture, folder / (class_id + suffix))


if __name__ == "__main__":
    main(sys.argv)
