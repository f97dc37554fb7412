#!/usr/bin/python3
"""Pictures of KORVEL at work, as PNG files in the demo folder.

usage: plot_demo.py DEMODIR RENDER_EXE BUNDLE

- NAME.png for every demo render NAME.wav with NAME.meters.csv in DEMODIR:
  input and output waveforms of the drum loop (drums.wav) and, below them, the
  gain change of each stage over time as its meter reads it.
- transfer-curves.png: output level against input level for each combination
  of the character switches of the Int stage at the default settings, with the
  threshold knob at its default (+10 dB, the top of its range) and at three
  lower settings, measured by rendering a 1 kHz tone in level steps through
  BUNDLE with RENDER_EXE.
"""

import csv
import math
import os
import struct
import subprocess
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

STAGES = (("meter_25", "Int stage"), ("meter_26", "Int/Ext stage"))
# KORVEL's parameter indexes of the character switches of the Int stage.
MODES = (
    ("VCA", [16]),
    ("FET", [17]),
    ("Opto", [18]),
    ("VCA+FET", [16, 17]),
    ("VCA+Opto", [16, 18]),
    ("FET+Opto", [17, 18]),
    ("VCA+FET+Opto", [16, 17, 18]),
)
STEP_RATE = 48000
STEP_SECONDS = 0.5
STEP_LEVELS_DB = list(range(-60, 7, 3))  # peak level of the tone, dBFS
THRESHOLD_KNOB = 0  # KORVEL's parameter index of "Threshold Int"
THRESHOLDS_DB = (10, 0, -10, -20)  # the default first


def read_wav(path):
    """Samples as float64 frames x channels, and the rate (PCM 16/24/32 or float 32/64)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a WAV file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b"fmt ":
            tag, channels, rate = struct.unpack("<HHI", body[:8])
            bits = struct.unpack("<H", body[14:16])[0]
            if tag == 0xFFFE:
                tag = struct.unpack("<H", body[24:26])[0]
            fmt = (tag, channels, rate, bits)
        elif chunk == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    tag, channels, rate, bits = fmt
    if tag == 3:
        values = np.frombuffer(samples, dtype="<f4" if bits == 32 else "<f8").astype(np.float64)
    elif tag == 1 and bits in (16, 32):
        values = np.frombuffer(samples, dtype=f"<i{bits // 8}").astype(np.float64) / 2.0 ** (bits - 1)
    elif tag == 1 and bits == 24:
        raw = np.frombuffer(samples, dtype=np.uint8).reshape(-1, 3).astype(np.int32)
        values = ((raw[:, 0] | raw[:, 1] << 8 | raw[:, 2] << 16) << 8 >> 8).astype(np.float64) / 2.0 ** 23
    else:
        raise ValueError(f"{path}: WAV format {tag} with {bits} bits is not supported")
    return values[: len(values) // channels * channels].reshape(-1, channels), rate


def write_float_wav(path, frames, rate):
    data = np.asarray(frames, dtype="<f4")
    channels = data.shape[1]
    body = data.tobytes()
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(body), b"WAVE", b"fmt ", 16, 3, channels, rate,
                         rate * channels * 4, channels * 4, 32, b"data", len(body))
    with open(path, "wb") as f:
        f.write(header + body)


def envelope(frames, rate, seconds=0.005):
    """Lowest and highest sample of each short window, channels mixed to mono."""
    mono = frames.mean(axis=1)
    width = max(1, int(rate * seconds))
    count = len(mono) // width
    windows = mono[: count * width].reshape(count, width)
    return np.arange(count) * width / rate, windows.min(axis=1), windows.max(axis=1)


def read_meters(path):
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    return rows


def plot_render(demo, name, source, rate):
    out, out_rate = read_wav(os.path.join(demo, name + ".wav"))
    rows = read_meters(os.path.join(demo, name + ".meters.csv"))
    fig, (wave, gain) = plt.subplots(2, 1, figsize=(10, 5.5), sharex=True, height_ratios=(3, 2))
    t, low, high = envelope(source, rate)
    wave.fill_between(t, low, high, color="#9aa4ad", linewidth=0, label="input")
    t, low, high = envelope(out, out_rate)
    wave.fill_between(t, low, high, color="#c0392b", alpha=0.75, linewidth=0, label="output")
    wave.set_ylabel("sample value")
    wave.set_ylim(-1.05, 1.05)
    wave.legend(loc="upper right")
    wave.set_title(f"KORVEL demo: {name}")

    times = [int(r["first_frame"]) / out_rate for r in rows]
    shown = False
    for column, label in STAGES:
        if rows and column in rows[0]:
            # The meters read the squared linear gain, so 10*log10 gives dB. A stage
            # that is off reads a target of 0: its meter only ever falls.
            values = [float(r[column]) for r in rows]
            off = values[-1] < 1e-3 and all(b <= a for a, b in zip(values, values[1:]))
            if not off:
                gain.plot(times, [10 * math.log10(max(v, 1e-6)) for v in values], label=label, linewidth=1.2)
                shown = True
    gain.set_ylabel("gain (dB)")
    gain.set_xlabel("time (s)")
    gain.grid(True, alpha=0.3)
    if shown:
        gain.legend(loc="lower right")
    else:
        gain.text(0.5, 0.5, "both stages off", ha="center", va="center", transform=gain.transAxes)
    fig.tight_layout()
    path = os.path.join(demo, name + ".png")
    fig.savefig(path, dpi=100)
    plt.close(fig)
    return path


def step_signal():
    step = int(STEP_RATE * STEP_SECONDS)
    t = np.arange(step) / STEP_RATE
    tone = np.sin(2 * np.pi * 1000.0 * t)
    mono = np.concatenate([10 ** (level / 20) * tone for level in STEP_LEVELS_DB])
    return np.stack([mono, mono], axis=1)


def measured_levels(frames):
    """Peak-equivalent level (RMS + 3.01 dB) of the last fifth of each step: the settled part."""
    step = int(STEP_RATE * STEP_SECONDS)
    levels = []
    for i in range(len(STEP_LEVELS_DB)):
        tail = frames[i * step + 4 * step // 5:(i + 1) * step]
        rms = math.sqrt(float(np.mean(tail ** 2)))
        levels.append(20 * math.log10(max(rms, 1e-12) * math.sqrt(2)))
    return levels


def render_steps(render_exe, bundle, steps, out, settings):
    args = [render_exe, "--plugin", bundle, "--in", steps, "--out", out]
    for index, value in settings:
        args += ["--param", f"{index}={value}"]
    subprocess.run(args, check=True)
    frames, _ = read_wav(out)
    return measured_levels(frames)


def plot_transfer(demo, render_exe, bundle):
    with tempfile.TemporaryDirectory() as tmp:
        steps, out = os.path.join(tmp, "steps.wav"), os.path.join(tmp, "out.wav")
        write_float_wav(steps, step_signal(), STEP_RATE)
        plain = render_steps(render_exe, bundle, steps, out, [])
        curves = []
        for label, switches in MODES:
            per_threshold = []
            for threshold in THRESHOLDS_DB:
                settings = [(index, 1) for index in switches] + [(THRESHOLD_KNOB, threshold)]
                per_threshold.append((threshold, render_steps(render_exe, bundle, steps, out, settings)))
            curves.append((label, per_threshold))

    fig, axes = plt.subplots(2, 4, figsize=(15, 7.8), sharex=True, sharey=True)
    panels = axes.flatten()
    colours = ("#1f77b4", "#2ca02c", "#ff7f0e", "#d62728")
    for ax, (label, per_threshold) in zip(panels, curves):
        ax.plot(STEP_LEVELS_DB, STEP_LEVELS_DB, color="#bbbbbb", linestyle="--", linewidth=1)
        for colour, (threshold, levels) in zip(colours, per_threshold):
            name = f"{threshold:+d} dB" + (" (default)" if threshold == THRESHOLDS_DB[0] else "")
            ax.plot(STEP_LEVELS_DB, levels, color=colour, marker=".", markersize=4, linewidth=1.4, label=name)
        ax.set_title(label)
        ax.grid(True, alpha=0.3)
    last = panels[len(curves)]
    last.plot(STEP_LEVELS_DB, STEP_LEVELS_DB, color="#bbbbbb", linestyle="--", linewidth=1, label="unity")
    last.plot(STEP_LEVELS_DB, plain, color="black", marker=".", markersize=4, linewidth=1.2,
              label="no switch: saturator\nand output filter only")
    last.set_title("no character switch")
    last.grid(True, alpha=0.3)
    last.legend(loc="upper left", fontsize=8)
    panels[0].legend(title="Threshold Int knob", loc="upper left", fontsize=8, title_fontsize=8)
    for ax in axes[1]:
        ax.set_xlabel("input (dBFS, tone peak)")
    for ax in axes[:, 0]:
        ax.set_ylabel("output (dBFS, settled)")
    fig.suptitle("KORVEL transfer curves, Int stage, default settings (ratio 4:1, attack 10 ms, release 0.1 s)")
    fig.tight_layout()
    path = os.path.join(demo, "transfer-curves.png")
    fig.savefig(path, dpi=100)
    plt.close(fig)
    return path


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    demo, render_exe, bundle = argv[1:]
    source, rate = read_wav(os.path.join(demo, "drums.wav"))
    written = []
    for entry in sorted(os.listdir(demo)):
        if entry.endswith(".meters.csv"):
            name = entry[: -len(".meters.csv")]
            if os.path.exists(os.path.join(demo, name + ".wav")):
                written.append(plot_render(demo, name, source, rate))
    written.append(plot_transfer(demo, render_exe, bundle))
    for path in written:
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
