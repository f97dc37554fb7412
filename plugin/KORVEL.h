#pragma once

// KORVEL: two compressor stages in series (Int, then Int/Ext with an optional
// external sidechain), an output saturator that may run 2x oversampled, and a
// DC-blocking output filter.

#include "plug/vst3/IPluginVST3.h"

#include "KorvelParams.h"
#include "dsp/dsp.h"

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

  // One stage's parameter values in the form the processing uses them.
  struct StageValues
  {
    double threshold = 0.0;   // dB inside the stage, -50..0
    double ratio = 4.0;
    double attackMs = 100.0;
    double releaseMs = 200.0;
    double makeUp = 1.0;      // linear
    double inputGain = 1.0;   // linear, acts on the detector only
    double mix = 1.0;         // 0..1
    double highPassHz = 20.0;
    int vca = 0;              // 0 or 1
    int fet = 0;              // 0 or 5
    int opto = 0;             // 0 or 10

    int ModeCode() const { return vca + fet + opto; }
  };

  struct CookedValues
  {
    StageValues stages[2];
    int power = 1;
    int externalSidechain = 0;
    double oversamplingFactor = 0.0;  // 0 or 2
    int oversamplingLatency = 0;      // 0 or 64
  };

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
  struct Stereo
  {
    double left;
    double right;
  };

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

  struct Stage
  {
    compressor comp;
    BiquadFilter bandL;
    BiquadFilter bandR;
    BiquadFilter highPassL;
    BiquadFilter highPassR;
    double kneeFactor = 0.0;
    double gain = 0.0;   // dB, last frame
    double meter = 1.0;  // smoothed squared linear gain
  };

  // Editor hooks, installed into MakeGraphicsFunction and LayoutFunction.
  std::unique_ptr<plug::IEditor> MakeEditorGraphics();
  void LayoutEditor(plug::IEditor* editor);

  void DeclareParameters();
  void CookStageValue(int paramIdx, double value);

  void ConfigureFilters(double sampleRate);
  void ProcessPoweredOff(double** inputs, double** outputs, int nFrames);
  void ProcessFrame(double** inputs, double** outputs, int frame, double meterCoefficient);
  Stereo RunIntStage(Stereo dry, double& meterTarget);
  Stereo RunExtStage(Stereo dry, double** inputs, int frame, double& meterTarget);
  static Stereo ApplyGain(double gainDb, Stereo dry, const StageValues& values);
  double DetectGain(Stage& stage, const CharacterMode* mode, const StageValues& values, Stereo heard);
  Stereo Saturate(Stereo x, int factor);
  Stereo SaturateSubStep(Stereo x);
  void SendMeterReadings(double readingInt, double readingExt);
  void MatchLatency(int samples);

  Stage mStages[2];
  BiquadFilter mOutputL;
  BiquadFilter mOutputR;
  HalfbandFir mUpL;
  HalfbandFir mDownL;
  HalfbandFir mUpR;
  HalfbandFir mDownR;
  double mOffset = 1e-15;  // anti-denormal, sign flips every frame

  StageControls mControls[2];
  std::atomic<int> mPower{1};
  std::atomic<int> mExternalSidechain{0};
  std::atomic<double> mOversamplingFactor{0.0};
  std::atomic<int> mOversamplingLatency{0};
  // The latest readings sent to the editor (1.0: no gain reduction, also before any audio),
  // for an editor that opens while no audio runs. Written by the audio thread.
  std::atomic<double> mMeterReadings[2]{{1.0}, {1.0}};
};
