#include "KORVEL.h"

#include <cmath>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

struct ParamDeclaration
{
  const char* name;
  bool integer;
  double defaultValue;
  double min;
  double max;
  double step;
  const char* label;
  double curveExponent;  // 0: linear
};

constexpr ParamDeclaration kDeclarations[kOversampling + 1] = {
  {"Threshold Int", false, 10.0, -20.0, 10.0, 0.1, "dB", 0.0},
  {"Threshold Int/Ext", false, 10.0, -20.0, 10.0, 0.1, "dB", 0.0},
  {"Ratio Int", false, 4.0, 1.0, 20.0, 0.1, ":1", 1.5},
  {"Ratio Int/Ext", false, 4.0, 1.0, 20.0, 0.1, ":1", 1.5},
  {"Attack Int", false, 10.0, 0.1, 50.0, 0.1, "ms", 1.5},
  {"Attack Int/Ext", false, 10.0, 0.1, 50.0, 0.1, "ms", 1.5},
  {"Release Int", false, 0.1, 0.05, 2.0, 0.01, "sec", 1.75},
  {"Release Int/Ext", false, 0.1, 0.05, 2.0, 0.01, "sec", 1.75},
  {"Make-Up Int", false, 0.0, -15.0, 15.0, 0.1, "dB", 0.0},
  {"Make-Up Int/Ext", false, 0.0, -15.0, 15.0, 0.1, "dB", 0.0},
  {"Input Int", false, 0.0, -15.0, 15.0, 0.1, "dB", 0.0},
  {"Input Int/Ext", false, 0.0, -15.0, 15.0, 0.1, "dB", 0.0},
  {"Mix Int", false, 100.0, 0.0, 100.0, 1.0, "%", 0.0},
  {"Mix Int/Ext", false, 100.0, 0.0, 100.0, 1.0, "%", 0.0},
  {"Power", true, 1.0, 0.0, 1.0, 1.0, "", 0.0},
  {"External Sidechain", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
  {"VCA Internal", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
  {"FET Internal", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
  {"Opto Internal", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
  {"VCA Int/Ext", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
  {"FET Int/Ext", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
  {"Opto Int/Ext", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
  {"HPF Int", false, 20.0, 20.0, 750.0, 1.0, "Hz", 2.0},
  {"HPF Int/Ext", false, 20.0, 20.0, 750.0, 1.0, "Hz", 2.0},
  {"Oversampling", true, 0.0, 0.0, 1.0, 1.0, "", 0.0},
};

constexpr double kOutputFilterHz = 5000.0;
constexpr double kOutputFilterQ = 0.0005;
constexpr double kDetectorBandHz = 1500.0;
constexpr double kDetectorBandQ = 0.05;
constexpr double kHighPassQ = 0.707;
// Corners stay below 49 % of the sample rate: past half the rate the filters
// turn unstable and their output grows without bound. Only rates below about
// 10.2 kHz move a corner (the 5 kHz output filter).
constexpr double kHighestCornerFraction = 0.49;
constexpr int kOversamplingFactor = 2;
constexpr int kOversamplingLatency = 64;
// 300 ms to within 1 % (ln 100 = 4.60517...).
constexpr double kMeterLn100 = 4.60517018599;
constexpr double kMeterSeconds = 0.3;

// The switch position of a plain value truncated toward zero; -1 for a value
// that is no position (left alone by the caller).
int SwitchPosition(double value)
{
  if (!(value > -1.0 && value < 2.0))
    return -1;
  return static_cast<int>(value);
}

void SetSwitch(std::atomic<int>& cooked, double value, int onCode)
{
  const int position = SwitchPosition(value);
  if (position == 0)
    cooked.store(0, kRelaxed);
  else if (position == 1)
    cooked.store(onCode, kRelaxed);
}

double DbToLinear(double dB)
{
  return std::pow(10.0, dB / 20.0);
}

// Beyond any audio level (600 dB above full scale), and far enough below the
// largest 32-bit float that the detector's filters still hold it after the
// input gain. A larger value overflows them, and the overflow stays there.
constexpr double kLargestSample = 1e30;

// A NaN, an infinity or an overflow would stay in the filter and follower
// states for ever: such a sample counts as silence.
double UsableOrZero(double sample)
{
  return std::fabs(sample) <= kLargestSample ? sample : 0.0;
}

// A filter corner as a fraction of the sample rate, below the highest one.
double CornerFraction(double hz, double sampleRate)
{
  const double fraction = hz / sampleRate;
  return fraction < kHighestCornerFraction ? fraction : kHighestCornerFraction;
}

double StageThreshold(double knobDb)
{
  RangeMap map{knobDb, -20.0, 10.0, -50.0, 0.0, 0.0};
  return map.Compute();
}

// Without reduction (0 dB, the common case below the threshold) both factors
// are exactly 1, and the exponentials can be spared.
double GainFactor(double gainDb)
{
  return gainDb == 0.0 ? 1.0 : std::exp(gainDb * compressor::kNeperPerDb);
}

double MeterTarget(double gainDb)
{
  return gainDb == 0.0 ? 1.0 : std::exp(2.0 * gainDb * compressor::kNeperPerDb);
}

// Aims 1.25 % beyond the target in the direction of travel.
void FollowMeter(double& meter, double target, double coefficient)
{
  const double v = std::fabs(target);
  const double aim = v <= meter ? v * 0.9875 : v * 1.0125;
  meter = (meter - aim) * coefficient + aim;
}

} // namespace

double RangeMap::Compute()
{
  result = outLow + (value - inLow) / (inHigh - inLow) * (outHigh - outLow);
  return result;
}

const plug::IPluginDefinition& KORVEL::Definition()
{
  static const plug::IPluginDefinition definition = [] {
    plug::IPluginDefinition d;
    d.paramCount = kNumKorvelParams;
    d.presetCount = 1;
    d.channelIO = "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2";
    d.pluginName = "KORVEL";
    d.productName = "KORVEL";
    d.makerName = "Vantrel";
    d.version = 0x00010000;
    d.pluginCode = plug::MakeFourCharCode("KRV1");
    d.makerCode = plug::MakeFourCharCode("Vtrl");
    d.latency = 0;
    d.midiIn = false;
    d.midiOut = false;
    d.mpe = false;
    d.stateAsChunk = true;
    d.kind = plug::kEffect;
    d.hasEditor = true;
    d.editorWidth = 998;
    d.editorHeight = 386;
    d.minWidth = 499;
    d.maxWidth = 1996;
    d.minHeight = 193;
    d.maxHeight = 772;
    d.hostResize = false;
    d.bundleID = "";
    return d;
  }();
  return definition;
}

KORVEL::KORVEL(const plug::InstanceInfo& info) : plug::IPluginVST3(info, Definition())
{
  DeclareParameters();
  MakeGraphicsFunction = [this] { return MakeEditorGraphics(); };
  LayoutFunction = [this](plug::IEditor* editor) { LayoutEditor(editor); };
  // The cooked values match the parameters from the start, not only after the
  // host's first announcement of all parameters.
  for (int i = 0; i < NParams(); ++i)
    OnParamChange(i);
}

KORVEL::~KORVEL() = default;

void KORVEL::DeclareParameters()
{
  for (int i = 0; i <= kOversampling; ++i)
  {
    const ParamDeclaration& d = kDeclarations[i];
    plug::IParam* param = GetParameter(i);
    if (d.integer)
      param->SetType(plug::IParam::kTypeInt);
    const int flags = d.integer ? plug::IParam::kFlagStepped : plug::IParam::kFlagsNone;
    if (d.curveExponent > 0.0)
      param->SetupDouble(d.name, d.defaultValue, d.min, d.max, d.step, d.label, flags, "",
                         plug::IParam::ShapePowCurve(d.curveExponent));
    else
      param->SetupDouble(d.name, d.defaultValue, d.min, d.max, d.step, d.label, flags, "",
                         plug::IParam::ShapeLinear());
  }
  // The gain-reduction readings, 0..1 like the meter controls show them; the
  // parameters themselves stay at 0 (and are saved so).
  GetParameter(kMeterInt)->SetupDouble("Int Gain Reduction", 0.0, 0.0, 1.0, 0.001, "", plug::IParam::kFlagMeter);
  GetParameter(kMeterExt)->SetupDouble("Int/Ext Gain Reduction", 0.0, 0.0, 1.0, 0.001, "", plug::IParam::kFlagMeter);
  GetParameter(kOversampling)->AddDisplayText(0.0, "Oversampling Off");
  GetParameter(kOversampling)->AddDisplayText(1.0, "Oversampling On");
}

// ---------------------------------------------------------------------------
// Parameter reactions

void KORVEL::OnParamChange(int paramIdx)
{
  const plug::IParam* param = GetParameter(paramIdx);
  if (!param)
    return;
  const double value = param->GetPlain();
  switch (paramIdx)
  {
    case kPower: SetSwitch(mPower, value, 1); break;
    case kExternalSidechain: SetSwitch(mExternalSidechain, value, 1); break;
    case kVcaInt: SetSwitch(mControls[kStageInt].vca, value, 1); break;
    case kFetInt: SetSwitch(mControls[kStageInt].fet, value, 5); break;
    case kOptoInt: SetSwitch(mControls[kStageInt].opto, value, 10); break;
    case kVcaExt: SetSwitch(mControls[kStageExt].vca, value, 1); break;
    case kFetExt: SetSwitch(mControls[kStageExt].fet, value, 5); break;
    case kOptoExt: SetSwitch(mControls[kStageExt].opto, value, 10); break;
    case kOversampling:
    {
      const int position = SwitchPosition(value);
      if (position == 0 || position == 1)
      {
        mOversamplingFactor.store(position ? kOversamplingFactor : 0, kRelaxed);
        mOversamplingLatency.store(position ? kOversamplingLatency : 0, kRelaxed);
      }
      break;
    }
    case kMeterInt:
    case kMeterExt: break;
    default: CookStageValue(paramIdx, value); break;
  }
}

// The paired stage controls: even indices are the Int stage's, odd the Int/Ext stage's.
void KORVEL::CookStageValue(int paramIdx, double value)
{
  StageControls& stage = mControls[paramIdx % 2];
  switch (paramIdx & ~1)
  {
    case kThresholdInt: stage.threshold.store(StageThreshold(value), kRelaxed); break;
    case kRatioInt: stage.ratio.store(value, kRelaxed); break;
    case kAttackInt: stage.attackMs.store(value * 10.0, kRelaxed); break;
    case kReleaseInt: stage.releaseMs.store(value * 2000.0, kRelaxed); break;
    case kMakeUpInt: stage.makeUp.store(DbToLinear(value), kRelaxed); break;
    case kInputInt: stage.inputGain.store(DbToLinear(value), kRelaxed); break;
    case kMixInt: stage.mix.store(value / 100.0, kRelaxed); break;
    case kHighPassInt: stage.highPassHz.store(value, kRelaxed); break;
    default: break;
  }
}

KORVEL::StageValues KORVEL::StageControls::Load() const
{
  StageValues v;
  v.threshold = threshold.load(kRelaxed);
  v.ratio = ratio.load(kRelaxed);
  v.attackMs = attackMs.load(kRelaxed);
  v.releaseMs = releaseMs.load(kRelaxed);
  v.makeUp = makeUp.load(kRelaxed);
  v.inputGain = inputGain.load(kRelaxed);
  v.mix = mix.load(kRelaxed);
  v.highPassHz = highPassHz.load(kRelaxed);
  v.vca = vca.load(kRelaxed);
  v.fet = fet.load(kRelaxed);
  v.opto = opto.load(kRelaxed);
  return v;
}

KORVEL::CookedValues KORVEL::GetCookedValues() const
{
  CookedValues cooked;
  cooked.stages[kStageInt] = mControls[kStageInt].Load();
  cooked.stages[kStageExt] = mControls[kStageExt].Load();
  cooked.power = mPower.load(kRelaxed);
  cooked.externalSidechain = mExternalSidechain.load(kRelaxed);
  cooked.oversamplingFactor = mOversamplingFactor.load(kRelaxed);
  cooked.oversamplingLatency = mOversamplingLatency.load(kRelaxed);
  return cooked;
}

// ---------------------------------------------------------------------------
// Reset and state

void KORVEL::ResetProcessing()
{
  mUpL.Clear();
  mDownL.Clear();
  mUpR.Clear();
  mDownR.Clear();
  // Every filter forgets the audio before the reset, also what a former
  // sample rate left there.
  mOutputL.Clear();
  mOutputR.Clear();
  for (Stage& stage : mStages)
    for (BiquadFilter* filter : {&stage.bandL, &stage.bandR, &stage.highPassL, &stage.highPassR})
      filter->Clear();
  mStages[kStageInt].comp.Reset(GetSampleRate());
  mStages[kStageExt].comp.Reset(GetSampleRate());
}

void KORVEL::OnEditorOpened()
{
  plug::IPluginVST3::OnEditorOpened();
  // The meter parameters themselves stay at 0; the needles show the readings.
  plug::IGfxEditorDelegate::SendParameterValueToEditor(kMeterInt, mMeterReadings[kStageInt].load(kRelaxed), false);
  plug::IGfxEditorDelegate::SendParameterValueToEditor(kMeterExt, mMeterReadings[kStageExt].load(kRelaxed), false);
}

// Editor width, height and scale, then the parameters. Reports a failed
// write instead of claiming success.
bool KORVEL::SaveState(plug::StateChunk& chunk) const
{
  return SaveEditorSize(chunk) && SerializeParams(chunk);
}

int KORVEL::LoadState(const plug::StateChunk& chunk, int startPos)
{
  return UnserializeParams(chunk, LoadEditorSize(chunk, startPos));
}

// ---------------------------------------------------------------------------
// Processing

void KORVEL::ProcessAudio(double** inputs, double** outputs, int nFrames)
{
  const double sampleRate = GetSampleRate();
  ConfigureFilters(sampleRate);
  if (mPower.load(kRelaxed) == 0)
  {
    ProcessPoweredOff(inputs, outputs, nFrames);
    return;
  }
  const double meterCoefficient = std::exp(-kMeterLn100 / (sampleRate * kMeterSeconds));
  for (int frame = 0; frame < nFrames; ++frame)
    ProcessFrame(inputs, outputs, frame, meterCoefficient);
  SendMeterReadings(mStages[kStageInt].meter, mStages[kStageExt].meter);
  MatchLatency(mOversamplingLatency.load(kRelaxed) * mPower.load(kRelaxed));
}

void KORVEL::ConfigureFilters(double sampleRate)
{
  const double output = CornerFraction(kOutputFilterHz, sampleRate);
  const double band = CornerFraction(kDetectorBandHz, sampleRate);
  mOutputL.Configure(BiquadFilter::kBandPass, output, kOutputFilterQ, 0.0);
  mOutputR.Configure(BiquadFilter::kBandPass, output, kOutputFilterQ, 0.0);
  for (int s = kStageInt; s <= kStageExt; ++s)
  {
    Stage& stage = mStages[s];
    stage.bandL.Configure(BiquadFilter::kBandPass, band, kDetectorBandQ, 0.0);
    stage.bandR.Configure(BiquadFilter::kBandPass, band, kDetectorBandQ, 0.0);
  }
  for (int s = kStageInt; s <= kStageExt; ++s)
  {
    const double corner = CornerFraction(mControls[s].highPassHz.load(kRelaxed), sampleRate);
    mStages[s].highPassL.Configure(BiquadFilter::kHighPass, corner, kHighPassQ, 0.0);
    mStages[s].highPassR.Configure(BiquadFilter::kHighPass, corner, kHighPassQ, 0.0);
  }
}

void KORVEL::ProcessPoweredOff(double** inputs, double** outputs, int nFrames)
{
  const int nChannels = NConnectedChannels(plug::kOutput);
  for (int frame = 0; frame < nFrames; ++frame)
    for (int ch = 0; ch < nChannels; ++ch)
      outputs[ch][frame] = inputs[ch][frame];
  MatchLatency(0);
  SendMeterReadings(0.0, 0.0);
}

void KORVEL::ProcessFrame(double** inputs, double** outputs, int frame, double meterCoefficient)
{
  const double rawL = inputs[0][frame];
  const double rawR = inputs[1][frame];
  mOffset = -mOffset;
  const Stereo dry{UsableOrZero(rawL) + mOffset, UsableOrZero(rawR) + mOffset};

  double targetInt = 0.0;
  double targetExt = 0.0;
  const Stereo afterInt = RunIntStage(dry, targetInt);
  const Stereo afterExt = RunExtStage(afterInt, inputs, frame, targetExt);
  const Stereo saturated = Saturate(afterExt, static_cast<int>(mOversamplingFactor.load(kRelaxed)));

  if (mPower.load(kRelaxed) == 1)
  {
    outputs[0][frame] = mOutputL.Tick(saturated.left) - mOffset;
    outputs[1][frame] = mOutputR.Tick(saturated.right) - mOffset;
  }
  else  // switched off during the block
  {
    outputs[0][frame] = rawL;
    outputs[1][frame] = rawR;
    targetInt = 0.0;
    targetExt = 0.0;
  }

  FollowMeter(mStages[kStageInt].meter, targetInt, meterCoefficient);
  FollowMeter(mStages[kStageExt].meter, targetExt, meterCoefficient);
}

// The Int stage hears its own input after the input gain.
KORVEL::Stereo KORVEL::RunIntStage(Stereo dry, double& meterTarget)
{
  const StageValues values = mControls[kStageInt].Load();
  const CharacterMode* mode = FindCharacterMode(values.ModeCode());
  const double gI = values.inputGain;
  const Stereo heard{gI * dry.left, gI * dry.right};
  const double gain = DetectGain(mStages[kStageInt], mode, values, heard);
  meterTarget = 0.0;
  if (!mode)
    return dry;
  meterTarget = MeterTarget(gain);
  // The stage's dry signal is taken back out of what its detector heard.
  return ApplyGain(gain, {heard.left / gI, heard.right / gI}, values);
}

// The Int/Ext stage processes the Int stage's output and hears either that or
// the sidechain bus.
KORVEL::Stereo KORVEL::RunExtStage(Stereo dry, double** inputs, int frame, double& meterTarget)
{
  const StageValues values = mControls[kStageExt].Load();
  const CharacterMode* mode = FindCharacterMode(values.ModeCode());
  const double gE = values.inputGain;
  Stereo heard{gE * dry.left, gE * dry.right};
  if (mExternalSidechain.load(kRelaxed) != 0)
    heard = {gE * UsableOrZero(inputs[2][frame]), gE * UsableOrZero(inputs[3][frame])};
  const double gain = DetectGain(mStages[kStageExt], mode, values, heard);
  meterTarget = 0.0;
  if (!mode)
    return dry;
  meterTarget = MeterTarget(gain);
  return ApplyGain(gain, dry, values);
}

// Make-up acts on the compressed part only; the mix blends in the stage's dry input.
KORVEL::Stereo KORVEL::ApplyGain(double gainDb, Stereo dry, const StageValues& values)
{
  const double e = GainFactor(gainDb);
  const double m = values.makeUp;
  const double x = values.mix;
  return {e * dry.left * m * x + dry.left * (1.0 - x), e * dry.right * m * x + dry.right * (1.0 - x)};
}

// The stage's detector: the high-pass always runs; a stage that is on shapes,
// band-filters and drives each channel (right first) and computes its gain.
// The settings follow the parameters every frame, on or off, so a change
// reaches the gain computer on the next frame. Returns the gain in dB.
double KORVEL::DetectGain(Stage& stage, const CharacterMode* mode, const StageValues& values, Stereo heard)
{
  const double highL = stage.highPassL.Tick(heard.left);
  const double highR = stage.highPassR.Tick(heard.right);
  stage.gain = 0.0;
  if (mode)
  {
    const double right = stage.bandR.Tick(ShapeDetector(*mode, highR)) * mode->drive;
    const double left = stage.bandL.Tick(ShapeDetector(*mode, highL)) * mode->drive;
    stage.gain = stage.comp.ComputeGainStereo(left, right);
    stage.kneeFactor = KneeFactorForRatio(*mode, values.ratio);
  }
  compressor& comp = stage.comp;
  comp.SetAttack(values.attackMs);
  comp.SetRelease(values.releaseMs);
  comp.SetHold(0.0);
  comp.SetRatio(values.ratio);
  comp.SetThreshold(values.threshold);
  comp.SetKnee(stage.kneeFactor);
  comp.SetLimit(0);
  return stage.gain;
}

// At the host rate, or at twice the rate between the halfband filters. The
// channels go through each sub-step side by side, which lets the processor
// overlap their two chains of dependent operations.
KORVEL::Stereo KORVEL::Saturate(Stereo x, int factor)
{
  if (factor != kOversamplingFactor)
    return {OutputSaturator(x.left), OutputSaturator(x.right)};
  const Stereo y = SaturateSubStep(x);
  SaturateSubStep({0.0, 0.0});  // zero stuffing: dropped, but the down-sampling filters must see it
  return y;
}

// The 2 restores the level that zero stuffing halves.
KORVEL::Stereo KORVEL::SaturateSubStep(Stereo x)
{
  const double upL = mUpL.Tick(x.left);
  const double upR = mUpR.Tick(x.right);
  const double saturatedL = OutputSaturator(2.0 * upL);
  const double saturatedR = OutputSaturator(2.0 * upR);
  return {mDownL.Tick(saturatedL), mDownR.Tick(saturatedR)};
}

void KORVEL::SendMeterReadings(double readingInt, double readingExt)
{
  mMeterReadings[kStageInt].store(readingInt, kRelaxed);
  mMeterReadings[kStageExt].store(readingExt, kRelaxed);
  SendParameterValueToEditor(kMeterInt, readingInt, false);
  SendParameterValueToEditor(kMeterExt, readingExt, false);
}

void KORVEL::MatchLatency(int samples)
{
  if (GetLatency() != samples)
    ChangeLatency(samples);
}
