#pragma once

// A KORVEL object set up as a host would leave it before processing and a
// stand-in editor that records what the plug-in sends to it.

#include "KORVEL.h"
#include "TestSignals.h"

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

