#pragma once

// Deterministic test signals (main left, right, sidechain left, right) and
// sample comparisons, for tests with and without the plug-in class.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

// Main left, right, sidechain left, right.
struct Signal
{
  std::array<std::vector<double>, 4> channels;

  explicit Signal(int frames)
  {
    for (auto& ch : channels)
      ch.assign(static_cast<size_t>(frames), 0.0);
  }
  int Frames() const { return static_cast<int>(channels[0].size()); }
};

struct StereoOut
{
  std::vector<double> left;
  std::vector<double> right;
};

// Signals made with integer arithmetic and exactly representable constants
// only, so that every platform computes the same samples.

// Uniform noise in [-amplitude, amplitude).
inline void AddNoise(std::vector<double>& x, uint32_t seed, double amplitude)
{
  uint32_t state = seed;
  for (double& v : x)
  {
    state = state * 1664525u + 1013904223u;
    v += amplitude * (static_cast<double>(state >> 8) * (1.0 / 8388608.0) - 1.0);
  }
}

// A sine from the two-term recursion y[n] = 2cos(w) y[n-1] - y[n-2], starting at sin(0).
struct Tone
{
  double twoCosW;
  double sinW;
};
constexpr Tone kTone60Hz{1.9999383152895793, 0.007853900888711332};    // at 48 kHz
constexpr Tone kTone1kHz{1.9828897227476208, 0.13052619222005157};     // at 48 kHz
constexpr Tone kTone5kHz{1.5867066805824703, 0.6087614290087207};      // at 48 kHz

inline void AddTone(std::vector<double>& x, Tone tone, double amplitude)
{
  double now = 0.0;         // sin(n w)
  double next = tone.sinW;  // sin((n + 1) w)
  for (double& v : x)
  {
    v += amplitude * now;
    const double after = tone.twoCosW * next - now;
    now = next;
    next = after;
  }
}

// Multiplies stretches of period frames alternately by loud and quiet.
inline void Gate(std::vector<double>& x, int period, double loud, double quiet)
{
  for (size_t n = 0; n < x.size(); ++n)
    x[n] *= (n / static_cast<size_t>(period)) % 2 == 0 ? loud : quiet;
}

// Noise with a low tone loud enough to drive the saturator on the left, a
// tone beyond its limit on the right.
inline Signal DrivingSignal(int frames)
{
  Signal s(frames);
  AddNoise(s.channels[0], 1, 0.5);
  AddTone(s.channels[0], kTone60Hz, 3.0);
  AddNoise(s.channels[1], 2, 0.1);
  AddTone(s.channels[1], kTone1kHz, 9.0);
  return s;
}

inline double Rms(const std::vector<double>& x, int from, int to)
{
  double sum = 0.0;
  for (int n = from; n < to; ++n)
    sum += x[n] * x[n];
  return to > from ? std::sqrt(sum / (to - from)) : 0.0;
}

// Index of the first sample whose bits differ, or -1 when none does.
inline int FirstDifference(const std::vector<double>& a, const std::vector<double>& b)
{
  if (a.size() != b.size())
    return 0;
  for (size_t n = 0; n < a.size(); ++n)
    if (std::memcmp(&a[n], &b[n], sizeof(double)) != 0)
      return static_cast<int>(n);
  return -1;
}
