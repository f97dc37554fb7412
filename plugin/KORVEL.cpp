#include "KORVEL.h"

#include "KorvelVersion.h"

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

constexpr int kOversamplingFactor = 2;
constexpr int kOversamplingLatency = 64;

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

double StageThreshold(double knobDb)
{
  RangeMap map{knobDb, -20.0, 10.0, -50.0, 0.0, 0.0};
  return map.Compute();
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
    d.version = KORVEL_VERSION_MAJOR << 16 | KORVEL_VERSION_MINOR << 8 | KORVEL_VERSION_PATCH;
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
  mChain.Reset(GetSampleRate());
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

// The cooked values are read once per block: a change made during a block
// on another thread takes effect with the next block.
void KORVEL::ProcessAudio(double** inputs, double** outputs, int nFrames)
{
  const CookedValues cooked = GetCookedValues();
  if (cooked.power == 0)
  {
    ProcessPoweredOff(inputs, outputs, nFrames);
    return;
  }
  mChain.Process(cooked, GetSampleRate(), inputs, outputs, nFrames);
  SendMeterReadings(mChain.MeterReading(kStageInt), mChain.MeterReading(kStageExt));
  MatchLatency(cooked.oversamplingLatency * cooked.power);
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
