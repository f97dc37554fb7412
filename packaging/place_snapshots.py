#!/usr/bin/env python3
"""Puts the editor's pictures into a VST3 bundle as snapshots, where hosts
look for a plug-in's picture in their browser:
    Contents/Resources/Snapshots/<class ID>_snapshot.png        (scale 1)
    Contents/Resources/Snapshots/<class ID>_snapshot_2.0x.png   (scale 2)
for the audio processor class that moduleinfo.json names (the class ID as it
prints it, which is also the Windows form), then makes moduleinfo.json anew
with the SDK's moduleinfotool, which lists the snapshots it finds for each
class: hosts that read moduleinfo.json instead of loading the module take
them from there.

Usage: place_snapshots.py BUNDLE PICTURE@1x.png PICTURE@2x.png MODULEINFOTOOL

The pictures are korvel-snapshot's, of the editor at its defaults. A Windows
moduleinfotool (.exe) runs under Wine, in $WINEPREFIX."""
import json
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
SUFFIXES = {"_snapshot.png": 1.0, "_snapshot_2.0x.png": 2.0}


def read_module_info(bundle):
    """moduleinfo.json is JSON5: the SDK's writer leaves a comma after the last member."""
    text = (Path(bundle) / "Contents/Resources/moduleinfo.json").read_text(encoding="utf-8")
    return json.loads(re.sub(r",(\s*[}\]])", r"\1", text))


def audio_class(info):
    classes = [c for c in info["Classes"] if c["Category"] == "Audio Module Class"]
    if len(classes) != 1:
        sys.exit(f"place_snapshots: {len(classes)} audio processor classes in moduleinfo.json, expected one")
    return classes[0]


def make_module_info(bundle, tool):
    version = (ROOT / "VERSION").read_text().strip()
    windows = tool.endswith(".exe")
    path = ("Z:" if windows else "") + str(Path(bundle).resolve())
    command = (["wine"] if windows else []) + [tool, "-create", "-version", version, "-path", path,
                                                "-output", path + "/Contents/Resources/moduleinfo.json"]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def main(argv):
    if len(argv) != 5:
        sys.exit("usage: place_snapshots.py BUNDLE PICTURE@1x.png PICTURE@2x.png MODULEINFOTOOL")
    bundle, tool = Path(argv[1]), argv[4]
    pictures = dict(zip(SUFFIXES, map(Path, argv[2:4])))
    for picture in pictures.values():
        if picture.read_bytes()[:8] != PNG_SIGNATURE:
            sys.exit(f"place_snapshots: {picture} is not a PNG picture")
    folder = bundle / "Contents/Resources/Snapshots"
    folder.mkdir(parents=True, exist_ok=True)
    class_id = audio_class(read_module_info(bundle))["CID"]
    for suffix, picture in pictures.items():
        shutil.copyfile(picture, folder / (class_id + suffix))

    make_module_info(bundle, tool)
    listed = {s["Scale Factor"] for s in audio_class(read_module_info(bundle)).get("Snapshots", [])}
    if listed != set(SUFFIXES.values()):
        sys.exit(f"place_snapshots: moduleinfotool lists snapshots at scales {sorted(listed)}, expected 1 and 2")


if __name__ == "__main__":
    main(sys.argv)
