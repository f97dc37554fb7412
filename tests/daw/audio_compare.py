"""Comparisons of rendered audio: sample by sample against one 32-bit float
step, alignment (lag) between two renders, and levels.

One float step is the spacing of 32-bit floats at the reference's peak level
(6e-8 for a peak between 0.5 and 1): Ardour hands parameter values over as
32-bit floats, so the plug-in's settings in Ardour and in korvel-render differ
in their last bits, which moves a loud sample by at most that much. Quiet
samples differ by far less; relative to their own tiny steps the difference
would look large and mean nothing.
"""

import numpy as np
import soundfile


def read(path):
    """(frames x channels float64 array, sample rate)."""
    data, rate = soundfile.read(path, dtype="float64", always_2d=True)
    return data, rate


def float_step(reference):
    """The spacing of 32-bit floats at the reference's peak level."""
    return float(np.spacing(np.float32(np.abs(reference).max())))


class Mismatch:
    """Where two renders differ by more than a tolerance over a stretch (false when they agree)."""

    def __init__(self, difference, tolerance, offset, rate):
        self.tolerance, self.offset, self.rate = tolerance, offset, rate
        self.bad = np.nonzero(difference > tolerance)[0]
        self.worst = float(difference.max()) if len(difference) else 0.0

    def __bool__(self):
        return len(self.bad) > 0

    def describe(self):
        steps = self.worst / self.tolerance
        if not self:
            return "equal within one float step (largest difference %.3g, %.2f steps)" % (self.worst, steps)
        first, last = self.bad[0] + self.offset, self.bad[-1] + self.offset
        return "%d frames differ by more than one float step (%.3g), the worst by %.3g (%.3g steps), " \
               "from %.4f s to %.4f s" % (len(self.bad), self.tolerance, self.worst, steps, first / self.rate,
                                          last / self.rate)


def mismatch(export, reference, start, end, lag=0, rate=48000, tolerance=None):
    """Compares export[t] with reference[t + lag] for start <= t < end."""
    end = min(end, len(export), len(reference) - lag)
    tolerance = float_step(reference) if tolerance is None else tolerance
    difference = np.abs(export[start:end] - reference[start + lag:end + lag]).max(axis=1)
    return Mismatch(difference, tolerance, start, rate)


def best_lag(export, reference, start, length, max_lag=256):
    """The lag (reference[t + lag] ~ export[t]) with the smallest largest difference over a stretch."""
    segment = export[start:start + length]
    best, best_error = 0, float("inf")
    for lag in range(-max_lag, max_lag + 1):
        if start + lag < 0 or start + lag + length > len(reference):
            continue
        error = np.abs(segment - reference[start + lag:start + lag + length]).max()
        if error < best_error:
            best, best_error = lag, error
    return best


def rms_db(x):
    return 20.0 * np.log10(max(float(np.sqrt(np.mean(np.square(x)))), 1e-20))
