#pragma once

// A KORVEL object set up as a host would leave it before processing, a
// stand-in editor that records what the plug-in sends to it, and
// deterministic test signals.

#include "KORVEL.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

struct KorvelReleaser
{
  void operator()(KORVEL* plugin) const
  {
    if (plugin)
      plugin->release();
  }
};
using KorvelPtr = std::unique_ptr<KORVEL, KorvelReleaser>;

// Every parameter announced, stereo output connected, sample rate set, processing reset.
inline KorvelPtr MakeKorvel(double sampleRate = 48000.0)
{
  KorvelPtr plugin(new KORVEL(plug::InstanceInfo{}));
  plugin->SetSampleRate(sampleRate);
  for (int ch = 0; ch < plugin->NChannels(plug::kOutput); ++ch)
    plugin->Channel(plug::kOutput, ch).connected = true;
  plugin->AnnounceAllParameters(plug::kReset);
  plugin->ResetProcessing();
  return plugin;
}

// As the host's parameter change does it: the value, then the plug-in's reaction.
inline void SetParam(KORVEL& plugin, int paramIdx, double plain)
{
  plugin.GetParameter(paramIdx)->SetPlain(plain);
  plugin.OnParamChange(paramIdx);
}

// Records the editor size requests and the meter readings handed to the controls.
class FakeEditorGraphics : public plug::IEditor
{
public:
  int width = 998;
  int height = 386;
  float scale = 1.f;
  int sizeChanges = 0;
  double meterReadings[2] = {-1.0, -1.0};  // normalized, as the meter controls get them
  int meterSends = 0;

  int GetWidth() const override { return width; }
  int GetHeight() const override { return height; }
  float GetDrawScale() const override { return scale; }
  void SetEditorSize(int w, int h, float s) override
  {
    width = w;
    height = h;
    scale = s;
    ++sizeChanges;
  }
  void SetDisplayScale(float) override {}
  void* OpenEditorWindow(void*) override { return nullptr; }
  void CloseEditorWindow() override {}
  void QueryCursorPosition(float& x, float& y) override { x = y = 0.f; }
  bool OnKeyDown(float, float, const plug::IKeyEvent&) override { return false; }
  bool OnKeyUp(float, float, const plug::IKeyEvent&) override { return false; }
  void SetControlValuesOfParam(int paramIdx, double normalized) override
  {
    if (paramIdx == kMeterInt || paramIdx == kMeterExt)
    {
      meterReadings[paramIdx - kMeterInt] = normalized;
      ++meterSends;
    }
  }
  void SetControlValueByTag(int, double) override {}
  void SendMessageToControl(int, int, int, const void*) override {}
  void SendMidiToControls(const plug::IMidiMsg&) override {}
};

// Opens a stand-in editor; the plug-in owns it until the editor is closed.
inline FakeEditorGraphics* OpenFakeEditor(KORVEL& plugin)
{
  FakeEditorGraphics* fake = nullptr;
  plugin.MakeGraphicsFunction = [&fake] {
    auto graphics = std::make_unique<FakeEditorGraphics>();
    fake = graphics.get();
    return std::unique_ptr<plug::IEditor>(std::move(graphics));
  };
  plugin.OpenEditor(nullptr);
  return fake;
}

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

// Runs the whole signal through ProcessAudio in blocks of blockSize frames.
inline StereoOut Render(KORVEL& plugin, Signal& signal, int blockSize)
{
  const int frames = signal.Frames();
  StereoOut out{std::vector<double>(frames), std::vector<double>(frames)};
  for (int pos = 0; pos < frames; pos += blockSize)
  {
    const int n = std::min(blockSize, frames - pos);
    double* inputs[4];
    for (int ch = 0; ch < 4; ++ch)
      inputs[ch] = signal.channels[ch].data() + pos;
    double* outputs[2] = {out.left.data() + pos, out.right.data() + pos};
    plugin.ProcessAudio(inputs, outputs, n);
    // What an open editor's frame tick does: pick up the meter readings.
    plugin.DeliverPendingEditorValues();
  }
  return out;
}

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
