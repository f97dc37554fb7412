// The KORVEL module's factory and the binding driven with KORVEL itself.

#include "TestHost.h"

#include "KORVEL.h"
#include "KorvelVersion.h"
#include "plug/vst3/IPluginVST3Factory.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace Vst = Steinberg::Vst;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;

namespace {

// The class ID as hosts, presets and projects print it, on every target; the
// shipped Windows module has always had this one.
constexpr char kKorvelClassIDText[] = "F2AEE70D00DE4F4E5674726C4B525631";

Steinberg::FUID KorvelClassID()
{
  Steinberg::FUID cid;
  cid.fromString(kKorvelClassIDText);
  return cid;
}

class Korvel : public ::testing::Test
{
protected:
  void SetUp() override
  {
    factory = Steinberg::owned(GetPluginFactory());
    ASSERT_TRUE(factory);
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(KorvelClassID().toTUID(), Vst::IComponent::iid, &obj), kResultOk);
    component = Steinberg::owned(static_cast<Vst::IComponent*>(obj));
    processor = Steinberg::FUnknownPtr<Vst::IAudioProcessor>(component);
    controller = Steinberg::FUnknownPtr<Vst::IEditController>(component);
    ASSERT_TRUE(processor && controller);
    host = Steinberg::owned(new TestHostApp(u"Test Host"));
    handler = Steinberg::owned(new TestComponentHandler());
    ASSERT_EQ(component->initialize(host->unknownCast()), kResultOk);
    controller->setComponentHandler(handler);
  }

  void TearDown() override
  {
    if (component)
      component->terminate();
  }

  /** Buses as a host leaves them, processing set up at this rate and started. */
  void Start(double sampleRate, Steinberg::int32 blockSize, Steinberg::int32 sampleSize = Vst::kSample32)
  {
    ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kInput, 0, true), kResultTrue);
    ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kOutput, 0, true), kResultTrue);
    Vst::ProcessSetup setup{Vst::kRealtime, sampleSize, blockSize, sampleRate};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(component->setActive(true), kResultOk);
    ASSERT_EQ(processor->setProcessing(true), kResultOk);
  }

  void Stop()
  {
    ASSERT_EQ(processor->setProcessing(false), kResultOk);
    ASSERT_EQ(component->setActive(false), kResultOk);
  }

  KORVEL& Plugin() { return *dynamic_cast<KORVEL*>(processor.get()); }

  std::vector<uint8_t> State()
  {
    auto stream = Steinberg::owned(new TestStream());
    EXPECT_EQ(component->getState(stream), kResultOk);
    return stream->data;
  }

  Steinberg::IPtr<Steinberg::IPluginFactory> factory;
  Steinberg::IPtr<Vst::IComponent> component;
  Steinberg::IPtr<Vst::IAudioProcessor> processor;
  Steinberg::IPtr<Vst::IEditController> controller;
  Steinberg::IPtr<TestHostApp> host;
  Steinberg::IPtr<TestComponentHandler> handler;
};

} // namespace

TEST_F(Korvel, FactoryOffersTheOneEffectClass)
{
  Steinberg::PFactoryInfo info{};
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_STREQ(info.vendor, "Vantrel");
  EXPECT_EQ(info.flags, Steinberg::PFactoryInfo::kUnicode);

  Steinberg::FUnknownPtr<Steinberg::IPluginFactory2> factory2(factory);
  ASSERT_TRUE(factory2);
  ASSERT_EQ(factory2->countClasses(), 1);
  Steinberg::PClassInfo2 cls{};
  ASSERT_EQ(factory2->getClassInfo2(0, &cls), kResultOk);
  EXPECT_EQ(Steinberg::FUID::fromTUID(cls.cid), KorvelClassID());
  EXPECT_EQ(cls.cardinality, Steinberg::PClassInfo::kManyInstances);
  EXPECT_STREQ(cls.category, "Audio Module Class");
  EXPECT_STREQ(cls.name, "KORVEL");
  EXPECT_EQ(cls.classFlags, 2u);
  EXPECT_STREQ(cls.subCategories, "Fx|Dynamics");
  EXPECT_STREQ(cls.vendor, "");
  EXPECT_STREQ(cls.version, KORVEL_VERSION_TEXT);
  EXPECT_STREQ(cls.sdkVersion, "VST 3.7.6");
}

TEST_F(Korvel, HostSeesTheParametersAndTheBypassInTheRootUnit)
{
  ASSERT_EQ(controller->getParameterCount(), kNumKorvelParams + 1);
  std::vector<Vst::ParamID> ids;
  for (Steinberg::int32 i = 0; i < controller->getParameterCount(); ++i)
  {
    Vst::ParameterInfo info{};
    ASSERT_EQ(controller->getParameterInfo(i, info), kResultTrue);
    ids.push_back(info.id);
    EXPECT_EQ(info.unitId, Vst::kRootUnitId) << info.id;
    EXPECT_NE(info.title[0], 0) << info.id;
  }
  std::vector<Vst::ParamID> expected = {plug::kBypassParamID};
  for (int i = 0; i < kNumKorvelParams; ++i)
    expected.push_back(static_cast<Vst::ParamID>(i));
  EXPECT_EQ(ids, expected);

  Steinberg::FUnknownPtr<Vst::IUnitInfo> units(component);
  ASSERT_TRUE(units);
  EXPECT_EQ(units->getUnitCount(), 1);
}

TEST_F(Korvel, OversamplingSwitchShowsAndReadsItsTexts)
{
  Vst::String128 text{};
  ASSERT_EQ(controller->getParamStringByValue(kOversampling, 1.0, text), kResultOk);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), u"Oversampling On");
  std::u16string input = u"Oversampling On";
  Vst::ParamValue value = 0.0;
  ASSERT_EQ(controller->getParamValueByString(kOversampling, reinterpret_cast<Vst::TChar*>(&input[0]), value),
            kResultOk);
  EXPECT_EQ(value, 1.0);
}

TEST_F(Korvel, StateIs232BytesAnd228LoadsButFails)
{
  ASSERT_EQ(controller->setParamNormalized(kRatioInt, 1.0), kResultOk);
  const std::vector<uint8_t> state = State();
  ASSERT_EQ(state.size(), 232u);

  ASSERT_EQ(controller->setParamNormalized(kRatioInt, 0.0), kResultOk);
  auto full = Steinberg::owned(new TestStream(state));
  EXPECT_EQ(component->setState(full), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(kRatioInt), 1.0);

  ASSERT_EQ(controller->setParamNormalized(kRatioInt, 0.0), kResultOk);
  auto cut = Steinberg::owned(new TestStream(std::vector<uint8_t>(state.begin(), state.begin() + 228)));
  EXPECT_EQ(component->setState(cut), kResultFalse);
  auto* plugin = dynamic_cast<KORVEL*>(processor.get());
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->GetParameter(kRatioInt)->GetPlain(), 20.0) << "the parameters are loaded";
}

TEST_F(Korvel, SwitchingOversamplingInABlockChangesTheLatency)
{
  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kInput, 0, true), kResultTrue);
  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kOutput, 0, true), kResultTrue);
  Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, 256, 44100.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  ASSERT_EQ(component->setActive(true), kResultOk);
  ASSERT_EQ(processor->setProcessing(true), kResultOk);

  Vst::HostProcessData data;
  data.prepare(*component, 256, Vst::kSample32);
  data.numSamples = 256;
  for (int bus = 0; bus < data.numInputs; ++bus)
    for (int c = 0; c < data.inputs[bus].numChannels; ++c)
      for (int i = 0; i < 256; ++i)
        data.inputs[bus].channelBuffers32[c][i] = 0.25f * std::sin(0.05f * static_cast<float>(i));
  Vst::ParameterChanges changes(4);
  Steinberg::int32 index = 0;
  changes.addParameterData(kOversampling, index)->addPoint(0, 1.0, index);
  data.inputParameterChanges = &changes;

  EXPECT_EQ(processor->getLatencySamples(), 0u);
  ASSERT_EQ(processor->process(data), kResultOk);
  EXPECT_EQ(processor->getLatencySamples(), 64u);
  EXPECT_TRUE(handler->restarts.empty()) << "the host is not asked from the audio thread";
  EXPECT_TRUE(RunIdleTimers([&] { return !handler->restarts.empty(); }));
  EXPECT_EQ(handler->restarts, (std::vector<Steinberg::int32>{Vst::kLatencyChanged})) << "but from the idle timer";
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 256; ++i)
      ASSERT_TRUE(std::isfinite(data.outputs[0].channelBuffers32[c][i]));

  ASSERT_EQ(processor->setProcessing(false), kResultOk);
  ASSERT_EQ(component->setActive(false), kResultOk);
}

TEST_F(Korvel, MeterReadingsReachTheReadoutButNotTheParametersOrTheState)
{
  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kInput, 0, true), kResultTrue);
  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kOutput, 0, true), kResultTrue);
  Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, 512, 48000.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  ASSERT_EQ(component->setActive(true), kResultOk);
  ASSERT_EQ(processor->setProcessing(true), kResultOk);
  // The Int stage compresses hard; the Int/Ext stage stays off.
  ASSERT_EQ(controller->setParamNormalized(kVcaInt, 1.0), kResultOk);
  ASSERT_EQ(controller->setParamNormalized(kThresholdInt, 0.0), kResultOk);
  ASSERT_EQ(controller->setParamNormalized(kRatioInt, 1.0), kResultOk);
  const std::vector<uint8_t> stateBefore = State();

  Steinberg::FUnknownPtr<plug::IEditorValueReadout> readout(component);
  ASSERT_TRUE(readout);
  EXPECT_EQ(readout->getLastEditorValue(kMeterInt), 0.0);

  Vst::HostProcessData data;
  data.prepare(*component, 512, Vst::kSample32);
  data.numSamples = 512;
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 512; ++i)
      data.inputs[0].channelBuffers32[c][i] = 0.9f * std::sin(0.05f * static_cast<float>(i));
  Vst::ParameterChanges outputChanges(4);
  data.outputParameterChanges = &outputChanges;
  for (int block = 0; block < 100; ++block) // about a second
    ASSERT_EQ(processor->process(data), kResultOk);

  const double readingInt = readout->getLastEditorValue(kMeterInt);
  EXPECT_GT(readingInt, 0.0);
  EXPECT_LT(readingInt, 0.5) << "more than 3 dB of reduction";
  EXPECT_LT(readout->getLastEditorValue(kMeterExt), 1e-6) << "a stage that is off falls toward 0";
  EXPECT_EQ(outputChanges.getParameterCount(), 0);
  EXPECT_EQ(controller->getParamNormalized(kMeterInt), 0.0);
  EXPECT_EQ(controller->getParamNormalized(kMeterExt), 0.0);
  EXPECT_EQ(State(), stateBefore) << "the meters are saved as 0";

  ASSERT_EQ(processor->setProcessing(false), kResultOk);
  ASSERT_EQ(component->setActive(false), kResultOk);
}

// A project file can be damaged anywhere: every cut of a real state and images
// full of garbage (NaN and infinite doubles included) must load without harm,
// leave every parameter inside its range, and keep the audio finite.
TEST_F(Korvel, DamagedStatesLeaveParametersInRangeAndAudioFinite)
{
  ASSERT_EQ(controller->setParamNormalized(kVcaInt, 1.0), kResultOk);
  const std::vector<uint8_t> good = State();
  std::vector<std::vector<uint8_t>> damaged;
  for (size_t cut = 0; cut < good.size(); cut += 3)
    damaged.emplace_back(good.begin(), good.begin() + cut);
  uint32_t seed = 12345;
  for (int n = 0; n < 20; ++n)
  {
    std::vector<uint8_t> noise(good.size() + n * 7);
    for (uint8_t& byte : noise)
      byte = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    damaged.push_back(noise);
  }
  std::vector<uint8_t> nonFinite = good;
  const double specials[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300};
  for (int i = 0; i < 27; ++i)
    std::memcpy(&nonFinite[12 + 8 * i], &specials[i % 4], 8);
  damaged.push_back(nonFinite);

  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kInput, 0, true), kResultTrue);
  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kOutput, 0, true), kResultTrue);
  Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, 64, 48000.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  ASSERT_EQ(component->setActive(true), kResultOk);
  ASSERT_EQ(processor->setProcessing(true), kResultOk);
  Vst::HostProcessData data;
  data.prepare(*component, 64, Vst::kSample32);
  data.numSamples = 64;

  auto* plugin = dynamic_cast<KORVEL*>(processor.get());
  ASSERT_NE(plugin, nullptr);
  for (size_t k = 0; k < damaged.size(); ++k)
  {
    auto stream = Steinberg::owned(new TestStream(damaged[k]));
    component->setState(stream);
    for (int i = 0; i < 27; ++i)
    {
      const plug::IParam* param = plugin->GetParameter(i);
      const double v = param->GetPlain();
      ASSERT_TRUE(v >= param->GetMin() && v <= param->GetMax()) << "image " << k << ", parameter " << i << ": " << v;
    }
    for (int bus = 0; bus < data.numInputs; ++bus)
      for (int c = 0; c < data.inputs[bus].numChannels; ++c)
        for (int i = 0; i < 64; ++i)
          data.inputs[bus].channelBuffers32[c][i] = 0.5f * std::sin(0.1f * static_cast<float>(i + c));
    ASSERT_EQ(processor->process(data), kResultOk);
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(std::isfinite(data.outputs[0].channelBuffers32[c][i])) << "image " << k;
  }
  ASSERT_EQ(processor->setProcessing(false), kResultOk);
  ASSERT_EQ(component->setActive(false), kResultOk);
}

TEST_F(Korvel, ClassIDReadsTheSameOnEveryTarget)
{
  Steinberg::FUnknownPtr<Steinberg::IPluginFactory2> factory2(factory);
  ASSERT_TRUE(factory2);
  Steinberg::PClassInfo2 cls{};
  ASSERT_EQ(factory2->getClassInfo2(0, &cls), kResultOk);
  char text[33] = {};
  Steinberg::FUID::fromTUID(cls.cid).toString(text);
  EXPECT_STREQ(text, kKorvelClassIDText);
  EXPECT_EQ(std::string(cls.cid + 8, cls.cid + 16), "VtrlKRV1");
}

// The meters are readings for the editor, not controls: hosts must not offer
// them for automation, and nothing a host sends changes them or the state.
TEST_F(Korvel, MetersAreReadOnlyForHostsAndSayWhatTheyAre)
{
  const std::pair<int, std::u16string> meters[] = {{kMeterInt, u"Int Gain Reduction"},
                                                   {kMeterExt, u"Int/Ext Gain Reduction"}};
  for (const auto& [id, title] : meters)
  {
    Vst::ParameterInfo info{};
    ASSERT_EQ(controller->getParameterInfo(id + 1, info), kResultTrue); // the bypass comes first
    ASSERT_EQ(info.id, static_cast<Vst::ParamID>(id));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.title)), title);
    EXPECT_EQ(info.flags, Vst::ParameterInfo::kIsReadOnly);
    EXPECT_EQ(info.stepCount, 0);
  }
  const std::vector<uint8_t> stateBefore = State();
  EXPECT_EQ(controller->setParamNormalized(kMeterInt, 0.7), kResultFalse);

  Start(48000.0, 64);
  Vst::HostProcessData data;
  data.prepare(*component, 64, Vst::kSample32);
  data.numSamples = 64;
  Vst::ParameterChanges changes(4);
  Steinberg::int32 index = 0;
  changes.addParameterData(kMeterExt, index)->addPoint(0, 0.6, index);
  data.inputParameterChanges = &changes;
  ASSERT_EQ(processor->process(data), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(kMeterInt), 0.0);
  EXPECT_EQ(Plugin().GetParameter(kMeterExt)->GetPlain(), 0.0);
  EXPECT_EQ(State(), stateBefore);
  Stop();
}

// A mono track into the "1.2-2" layout comes out centred whatever the plug-in
// does with it: processed, switched off or bypassed.
TEST_F(Korvel, MonoMainInputFeedsBothOutputs)
{
  Vst::SpeakerArrangement inputs[] = {Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo};
  Vst::SpeakerArrangement output = Vst::SpeakerArr::kStereo;
  ASSERT_EQ(processor->setBusArrangements(inputs, 2, &output, 1), kResultTrue);
  ASSERT_EQ(controller->setParamNormalized(kVcaInt, 1.0), kResultOk);
  Start(48000.0, 256);
  Vst::HostProcessData data;
  data.prepare(*component, 256, Vst::kSample32);
  data.numSamples = 256;
  ASSERT_EQ(data.inputs[0].numChannels, 1);
  Vst::ParameterChanges changes(4);
  data.inputParameterChanges = &changes;

  struct Case
  {
    const char* what;
    Vst::ParamID id;
    double value;
  };
  const Case cases[] = {{"processing", kVcaInt, 1.0}, {"power off", kPower, 0.0}, {"bypassed", plug::kBypassParamID, 1.0}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    changes.clearQueue();
    Steinberg::int32 index = 0;
    changes.addParameterData(c.id, index)->addPoint(0, c.value, index);
    double sumL = 0.0, sumR = 0.0;
    for (int block = 0; block < 8; ++block)
    {
      for (int i = 0; i < 256; ++i)
        data.inputs[0].channelBuffers32[0][i] = 0.5f * std::sin(0.03f * static_cast<float>(block * 256 + i));
      ASSERT_EQ(processor->process(data), kResultOk);
      changes.clearQueue();
      for (int i = 0; i < 256; ++i)
      {
        ASSERT_EQ(data.outputs[0].channelBuffers32[0][i], data.outputs[0].channelBuffers32[1][i]) << i;
        sumL += std::fabs(data.outputs[0].channelBuffers32[0][i]);
        sumR += std::fabs(data.outputs[0].channelBuffers32[1][i]);
      }
    }
    EXPECT_GT(sumL, 100.0);
    EXPECT_EQ(sumL, sumR);
  }
  Stop();
}

// A host may offer any rate from 8 kHz to 384 kHz. Every filter stays stable
// at each of them, the output stays finite without the last guard stepping in,
// and after the host returns to a usual rate the instance sounds exactly like
// a fresh one.
TEST_F(Korvel, EverySampleRateAHostOffersGivesFiniteOutputAndAResetForgetsIt)
{
  for (const auto& [param, value] : {std::pair<int, double>{kVcaInt, 1.0}, {kFetExt, 1.0}, {kThresholdInt, 0.0},
                                     {kHighPassExt, 1.0}})
    ASSERT_EQ(controller->setParamNormalized(param, value), kResultOk);
  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kInput, 0, true), kResultTrue);
  ASSERT_EQ(component->activateBus(Vst::kAudio, Vst::kOutput, 0, true), kResultTrue);
  constexpr int kBlock = 512;
  Vst::HostProcessData data;
  data.prepare(*component, kBlock, Vst::kSample32);
  data.numSamples = kBlock;
  // Loud noise, which reaches every filter at every frequency.
  uint32_t seed = 7;
  auto fillNoise = [&] {
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < kBlock; ++i)
        data.inputs[0].channelBuffers32[c][i] =
          static_cast<float>(static_cast<int32_t>(seed = seed * 1664525u + 1013904223u)) * (0.9f / 2147483648.f);
  };
  // The cooked switches reach the processing through process(): announce them.
  Vst::ParameterChanges changes(8);
  for (int param : {kVcaInt, kFetExt, kThresholdInt, kHighPassExt})
  {
    Steinberg::int32 index = 0;
    changes.addParameterData(param, index)->addPoint(0, controller->getParamNormalized(param), index);
  }

  auto run = [&](double rate, double seconds) {
    Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, kBlock, rate};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(processor->setProcessing(true), kResultOk);
    data.inputParameterChanges = &changes;
    // An even number of blocks: the anti-denormal offset ends with the sign it started with.
    const int blocks = 2 * static_cast<int>(rate * seconds / kBlock / 2 + 1);
    float peak = 0.f;
    for (int b = 0; b < blocks; ++b)
    {
      fillNoise();
      ASSERT_EQ(processor->process(data), kResultOk);
      data.inputParameterChanges = nullptr;
      for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kBlock; ++i)
        {
          const float y = data.outputs[0].channelBuffers32[c][i];
          ASSERT_TRUE(std::isfinite(y)) << rate << " Hz, block " << b;
          peak = std::max(peak, std::fabs(y));
        }
    }
    EXPECT_LT(peak, 4.f) << rate << " Hz";
    EXPECT_EQ(Plugin().NNonFiniteOutputs(), 0u) << rate << " Hz";
  };

  ASSERT_EQ(component->setActive(true), kResultOk);
  run(8000.0, 6.0); // the unstable filter reached infinity after about 4.6 s
  for (double rate : {11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0,
                      352800.0, 384000.0})
    run(rate, 0.25);
  run(8000.0, 6.0);
  ASSERT_EQ(processor->setProcessing(false), kResultOk);

  // Back at 44.1 kHz: the same output as an instance that never saw 8 kHz.
  auto render = [&](Vst::IAudioProcessor& p) {
    Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, kBlock, 44100.0};
    EXPECT_EQ(p.setupProcessing(setup), kResultOk);
    EXPECT_EQ(p.setProcessing(true), kResultOk);
    seed = 99;
    data.inputParameterChanges = &changes;
    std::vector<float> out;
    for (int b = 0; b < 40; ++b)
    {
      fillNoise();
      EXPECT_EQ(p.process(data), kResultOk);
      data.inputParameterChanges = nullptr;
      out.insert(out.end(), data.outputs[0].channelBuffers32[0], data.outputs[0].channelBuffers32[0] + kBlock);
      out.insert(out.end(), data.outputs[0].channelBuffers32[1], data.outputs[0].channelBuffers32[1] + kBlock);
    }
    return out;
  };
  const std::vector<float> returned = render(*processor);

  void* obj = nullptr;
  ASSERT_EQ(factory->createInstance(KorvelClassID().toTUID(), Vst::IComponent::iid, &obj), kResultOk);
  auto fresh = Steinberg::owned(static_cast<Vst::IComponent*>(obj));
  Steinberg::FUnknownPtr<Vst::IAudioProcessor> freshProcessor(fresh);
  Steinberg::FUnknownPtr<Vst::IEditController> freshController(fresh);
  ASSERT_EQ(fresh->initialize(host->unknownCast()), kResultOk);
  for (int param : {kVcaInt, kFetExt, kThresholdInt, kHighPassExt})
    ASSERT_EQ(freshController->setParamNormalized(param, controller->getParamNormalized(param)), kResultOk);
  ASSERT_EQ(fresh->activateBus(Vst::kAudio, Vst::kInput, 0, true), kResultTrue);
  ASSERT_EQ(fresh->activateBus(Vst::kAudio, Vst::kOutput, 0, true), kResultTrue);
  ASSERT_EQ(fresh->setActive(true), kResultOk);
  const std::vector<float> expected = render(*freshProcessor);
  ASSERT_EQ(returned.size(), expected.size());
  EXPECT_EQ(std::memcmp(returned.data(), expected.data(), returned.size() * sizeof(float)), 0)
    << "the instance remembers another sample rate";
  freshProcessor->setProcessing(false);
  fresh->setActive(false);
  fresh->terminate();

  ASSERT_EQ(processor->setProcessing(false), kResultOk);
  ASSERT_EQ(component->setActive(false), kResultOk);
}
