// The KORVEL module's factory and the binding driven with KORVEL itself.

#include "TestHost.h"

#include "KORVEL.h"
#include "plug/vst3/IPluginVST3Factory.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace Vst = Steinberg::Vst;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;

namespace {

const uint8_t kKorvelClassID[16] = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F,
                                    'V',  't',  'r',  'l',  'K',  'R',  'V',  '1'};

class Korvel : public ::testing::Test
{
protected:
  void SetUp() override
  {
    factory = Steinberg::owned(GetPluginFactory());
    ASSERT_TRUE(factory);
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(reinterpret_cast<const char*>(kKorvelClassID), Vst::IComponent::iid, &obj),
              kResultOk);
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
  EXPECT_EQ(std::memcmp(cls.cid, kKorvelClassID, 16), 0);
  EXPECT_EQ(cls.cardinality, Steinberg::PClassInfo::kManyInstances);
  EXPECT_STREQ(cls.category, "Audio Module Class");
  EXPECT_STREQ(cls.name, "KORVEL");
  EXPECT_EQ(cls.classFlags, 2u);
  EXPECT_STREQ(cls.subCategories, "Fx|Dynamics");
  EXPECT_STREQ(cls.vendor, "");
  EXPECT_STREQ(cls.version, "1.0.0");
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
  EXPECT_EQ(handler->restarts, (std::vector<Steinberg::int32>{Vst::kLatencyChanged}));
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
