#pragma once

// KORVEL: two compressor stages in series (Int, then Int/Ext with an optional
// external sidechain), an output saturator that may run 2x oversampled, and a
// DC-blocking output filter.

#include "plug/vst3/IPluginVST3.h"

#include "KorvelParams.h"
#include "dsp/dsp.h"
#include "gfx/DecodedImageCache.h"

#include <atomic>
#include <memory>

// Straight line through (inLow, outLow) and (inHigh, outHigh), evaluated at value.
struct RangeMap
{
  double value = 0.0;
  double inLow = 0.0;
  double inHigh = 1.0;
  double outLow = 0.0;
  double outHigh = 1.0;
  double result = 0.0;

  double Compute();
};

class KORVEL final : public plug::IPluginVST3
{
public:
  enum EStage
  {
    kStageInt = 0,
    kStageExt = 1
  };

  // The cooked parameter values, in the form the processing chain uses them.
  using StageValues = KorvelChain::StageSettings;
  using CookedValues = KorvelChain::Settings;

  explicit KORVEL(const plug::InstanceInfo& info);
  ~KORVEL() override;

  static const plug::IPluginDefinition& Definition();

  using plug::IPluginVST3::OnParamChange;
  void OnParamChange(int paramIdx) override;
  void ResetProcessing() override;
  bool SaveState(plug::StateChunk& chunk) const override;
  int LoadState(const plug::StateChunk& chunk, int startPos) override;
  void ProcessAudio(double** inputs, double** outputs, int nFrames) override;
  /** Besides every parameter's value, the needles get the latest meter readings. */
  void OnEditorOpened() override;

  CookedValues GetCookedValues() const;

private:
  // Written by OnParamChange on whichever thread reports a change, read by
  // the audio thread: relaxed atomics, one store per value, no lock.
  struct StageControls
  {
    std::atomic<double> threshold{0.0};
    std::atomic<double> ratio{4.0};
    std::atomic<double> attackMs{100.0};
    std::atomic<double> releaseMs{200.0};
    std::atomic<double> makeUp{1.0};
    std::atomic<double> inputGain{1.0};
    std::atomic<double> mix{1.0};
    std::atomic<double> highPassHz{20.0};
    std::atomic<int> vca{0};
    std::atomic<int> fet{0};
    std::atomic<int> opto{0};

    StageValues Load() const;
  };

  // Editor hooks, installed into MakeGraphicsFunction and LayoutFunction.
  std::unique_ptr<plug::IEditor> MakeEditorGraphics();
  void LayoutEditor(plug::IEditor* editor);

  void DeclareParameters();
  void CookStageValue(int paramIdx, double value);

  void ProcessPoweredOff(double** inputs, double** outputs, int nFrames);
  void SendMeterReadings(double readingInt, double readingExt);
  void MatchLatency(int samples);

  KorvelChain mChain;

  StageControls mControls[2];
  std::atomic<int> mPower{1};
  std::atomic<int> mExternalSidechain{0};
  std::atomic<double> mOversamplingFactor{0.0};
  std::atomic<int> mOversamplingLatency{0};
  // The latest readings sent to the editor (1.0: no gain reduction, also before any audio),
  // for an editor that opens while no audio runs. Written by the audio thread.
  std::atomic<double> mMeterReadings[2]{{1.0}, {1.0}};
  // The editor's decoded images stay for the next opening while this instance lives.
  gfx::DecodedImageUse mDecodedImages;
};
