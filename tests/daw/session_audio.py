"""Puts an audio file on a track of a saved Ardour 7 session, the way
Ardour's own import leaves it: one mono source file per channel in the
session's audio folder, a whole-file region over them, a region on the
track's playlist at the start, and the session range around it.

Ardour's Lua session host has no import; this edits the session file while
no Ardour has the session open. Region fades are switched off so that the
track plays the file's samples unchanged.
"""

import os
import xml.etree.ElementTree as ET

import soundfile

SUPERCLOCK_RATE = 282240000  # Ardour 7's audio-time ticks per second


def superclock(frames, rate):
    return frames * SUPERCLOCK_RATE // rate


class SessionFile:
    def __init__(self, session_dir, name):
        self.dir = session_dir
        self.name = name
        self.path = os.path.join(session_dir, name + ".ardour")
        self.tree = ET.parse(self.path)
        self.root = self.tree.getroot()
        self.next_id = 1 + max(int(e.get("id")) for e in self.root.iter() if e.get("id", "").isdigit())

    def new_id(self):
        self.next_id += 1
        return str(self.next_id)

    def save(self):
        self.tree.write(self.path, xml_declaration=True, encoding="UTF-8")

    def playlist_of(self, track):
        for route in self.root.find("Routes"):
            if route.get("name") == track:
                for playlist in self.root.find("Playlists"):
                    if playlist.get("id") == route.get("audio-playlist"):
                        return playlist
        raise ValueError("%s has no track %s with a playlist" % (self.path, track))

    def write_sources(self, wav, base):
        """Splits wav into mono source files; returns (source ids, frames, rate)."""
        data, rate = soundfile.read(wav, dtype="float32", always_2d=True)
        folder = os.path.join(self.dir, "interchange", self.name, "audiofiles")
        os.makedirs(folder, exist_ok=True)
        sources = self.root.find("Sources")
        ids = []
        for channel in range(data.shape[1]):
            file_name = "%s%%%d.wav" % (base, channel)
            soundfile.write(os.path.join(folder, file_name), data[:, channel], rate, subtype="FLOAT")
            ids.append(self.new_id())
            ET.SubElement(sources, "Source", {"name": file_name, "take-id": "", "type": "audio", "flags": "",
                                              "id": ids[-1], "natural-position": "a0", "channel": "0", "origin": "",
                                              "gain": "1"})
        return ids, data.shape[0], rate

    def region(self, base, source_ids, length, whole_file):
        attributes = {"name": base, "muted": "0", "opaque": "1", "locked": "0",
                      "whole-file": "1" if whole_file else "0", "position-locked": "0", "start": "a0",
                      "length": "a%d@a0" % length, "sync-position": "a0", "layering-index": "0",
                      "envelope-active": "0", "default-fade-in": "0", "default-fade-out": "0",
                      "fade-in-active": "0", "fade-out-active": "0", "scale-amplitude": "1", "id": self.new_id(),
                      "type": "audio", "channels": str(len(source_ids))}
        for i, source in enumerate(source_ids):
            attributes["source-%d" % i] = source
            attributes["master-source-%d" % i] = source
        return attributes

    def extend_session_range(self, end):
        locations = self.root.find("Locations")
        for location in locations:
            if location.get("flags") == "IsSessionRange":
                if int(location.get("end")[1:]) < end:
                    location.set("end", "a%d" % end)
                return
        ET.SubElement(locations, "Location", {"id": self.new_id(), "name": "session", "start": "a0",
                                              "end": "a%d" % end, "flags": "IsSessionRange", "locked": "0",
                                              "timestamp": "0", "cue": "0"})


def add_region(session_dir, name, track, wav):
    """Places wav at the start of track's playlist in the session session_dir/name.ardour."""
    session = SessionFile(session_dir, name)
    base = "%s-%s" % (track, os.path.splitext(os.path.basename(wav))[0])
    playlist = session.playlist_of(track)
    ids, frames, rate = session.write_sources(wav, base)
    length = superclock(frames, rate)
    ET.SubElement(session.root.find("Regions"), "Region", session.region(base, ids, length, True))
    ET.SubElement(playlist, "Region", session.region(base, ids, length, False))
    session.extend_session_range(length)
    session.save()
