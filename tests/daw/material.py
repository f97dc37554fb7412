"""The audio the DAW checks play: the demo drum loop (Debian's
hydrogen-drumkits, through korvel-demo-audio) after a lead-in of silence, its
kick drum as a stereo side-chain signal, and a longer run of the loop for the
checks that keep Ardour's transport rolling."""

import os
import subprocess

import numpy as np
import soundfile

LEAD_IN_S = 2
GUI_REPEATS = 5
KIT = "/usr/share/hydrogen/data/drumkits/ColomboAcousticDrumkit"


class Material:
    def __init__(self, folder):
        self.drums = os.path.join(folder, "drums.wav")
        self.kick = os.path.join(folder, "kick.wav")
        self.long_drums = os.path.join(folder, "drums-long.wav")
        self.silence = os.path.join(folder, "silence.wav")


def make(folder, demo_audio):
    os.makedirs(folder, exist_ok=True)
    loop, kick = os.path.join(folder, "loop.wav"), os.path.join(folder, "loop-kick.wav")
    if not os.path.isdir(KIT):
        raise RuntimeError("%s is missing: install Debian's hydrogen-drumkits" % KIT)
    subprocess.run([demo_audio, "loop", KIT, loop, kick], check=True, stdout=subprocess.DEVNULL, timeout=120)
    drums, rate = soundfile.read(loop, dtype="float32", always_2d=True)
    kick_mono, _ = soundfile.read(kick, dtype="float32", always_2d=True)
    lead_in = np.zeros((LEAD_IN_S * rate, 2), dtype=np.float32)
    out = Material(folder)
    write(out.drums, np.concatenate([lead_in, drums]), rate)
    write(out.kick, np.concatenate([lead_in, np.repeat(kick_mono[:, :1], 2, axis=1)]), rate)
    write(out.long_drums, np.concatenate([lead_in] + [drums] * GUI_REPEATS), rate)
    write(out.silence, np.zeros((5 * rate, 2), dtype=np.float32), rate)
    return out


def write(path, data, rate):
    soundfile.write(path, data, rate, subtype="FLOAT")
