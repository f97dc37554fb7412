#include "PluginFixture.h"

#include "plug/vst3/IPluginVST3ProcessorBase.h"

#include <cmath>
#include <functional>
#include <limits>

namespace Vst = Steinberg::Vst;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;

namespace {

struct BusDescription
{
  std::u16string name;
  Vst::BusType type;
  Steinberg::uint32 flags;
  Vst::SpeakerArrangement arrangement;
};

std::vector<BusDescription> Buses(TestPlugin& plugin, Vst::BusDirection direction)
{
  std::vector<BusDescription> buses;
  for (Steinberg::int32 i = 0; i < plugin.getBusCount(Vst::kAudio, direction); ++i)
  {
    Vst::BusInfo info{};
    EXPECT_EQ(plugin.getBusInfo(Vst::kAudio, direction, i, info), kResultTrue);
    Vst::SpeakerArrangement arrangement = 0;
    plugin.getBusArrangement(direction, i, arrangement);
    buses.push_back({std::u16string(reinterpret_cast<const char16_t*>(info.name)), info.busType, info.flags, arrangement});
  }
  return buses;
}

} // namespace

using Processing = PluginFixture;

TEST_F(Processing, InitializeOffersTheWidestLayoutsBusesAndAnnouncesEveryParameter)
{
  const auto inputs = Buses(*plugin, Vst::kInput);
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(inputs[0].name, u"Main");
  EXPECT_EQ(inputs[0].type, Vst::kMain);
  EXPECT_EQ(inputs[0].flags, static_cast<Steinberg::uint32>(Vst::BusInfo::kDefaultActive));
  EXPECT_EQ(inputs[0].arrangement, Vst::SpeakerArr::kStereo);
  EXPECT_EQ(inputs[1].name, u"Aux");
  EXPECT_EQ(inputs[1].type, Vst::kAux);
  EXPECT_EQ(inputs[1].flags, 0u);
  EXPECT_EQ(inputs[1].arrangement, Vst::SpeakerArr::kStereo);
  const auto outputs = Buses(*plugin, Vst::kOutput);
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0].name, u"Output");
  EXPECT_EQ(outputs[0].flags, static_cast<Steinberg::uint32>(Vst::BusInfo::kDefaultActive));
  EXPECT_EQ(plugin->getBusCount(Vst::kEvent, Vst::kInput), 0);
  EXPECT_EQ(plugin->getBusCount(Vst::kEvent, Vst::kOutput), 0);

  ASSERT_EQ(plugin->paramChanges.size(), static_cast<size_t>(kNumTestParams));
  for (int i = 0; i < kNumTestParams; ++i)
  {
    EXPECT_EQ(plugin->paramChanges[i].idx, i);
    EXPECT_EQ(plugin->paramChanges[i].source, plug::kReset);
  }
  EXPECT_EQ(plugin->initialize(host->unknownCast()), kResultFalse) << "a second initialize";
}

TEST(SpeakerArrangements, FollowTheChannelCount)
{
  const std::pair<int, Vst::SpeakerArrangement> table[] = {
    {1, 0x80000}, {2, 0x3}, {3, 0x7}, {4, 0xF00000}, {5, 0x37}, {6, 0x3F}, {7, 0xF7}, {8, 0x63F},
    {9, 0x7C000F00000}, {10, 0x300063F}, {16, 0x3FFC000F00000}, {0, 0}, {11, 0}, {-64, 0},
  };
  for (const auto& [channels, arrangement] : table)
    EXPECT_EQ(plug::ArrangementForChannelCount(channels), arrangement) << channels << " channels";
}

// The SDK's bus calls took a negative index to std::vector::at, whose
// exception ended the host (found by fuzzing).
TEST_F(Processing, BusCallsRefuseIndexesOutsideTheBusList)
{
  for (int index : {-1, -1000, 2, 1 << 30})
  {
    Vst::BusInfo info{};
    EXPECT_EQ(plugin->getBusInfo(Vst::kAudio, Vst::kInput, index, info), Steinberg::kInvalidArgument) << index;
    EXPECT_EQ(plugin->activateBus(Vst::kAudio, Vst::kOutput, index, true), Steinberg::kInvalidArgument) << index;
    Vst::SpeakerArrangement arrangement = 0;
    EXPECT_EQ(plugin->getBusArrangement(Vst::kInput, index, arrangement), Steinberg::kInvalidArgument) << index;
  }
  Vst::BusInfo info{};
  EXPECT_EQ(plugin->getBusInfo(Vst::kAudio, Vst::kInput, 1, info), kResultTrue) << "the side-chain bus is there";
}

TEST_F(Processing, SetBusArrangementsAcceptsOnlyDeclaredLayouts)
{
  using namespace Vst::SpeakerArr;
  struct Case
  {
    std::vector<Vst::SpeakerArrangement> inputs;
    std::vector<Vst::SpeakerArrangement> outputs;
    Steinberg::tresult result;
  };
  const Case cases[] = {
    {{kMono}, {kMono}, kResultTrue},
    {{kStereo}, {kStereo}, kResultTrue},
    {{kMono, kStereo}, {kStereo}, kResultTrue},
    {{kStereo, kStereo}, {kMono}, kResultFalse},  // no stereo + stereo side-chain into mono
    {{kStereo, kStereo, kStereo}, {kStereo}, kResultFalse},
    {{k51}, {kStereo}, kResultFalse},
    {{kStereo}, {kStereo, kStereo}, kResultFalse},
  };
  for (const Case& c : cases)
  {
    auto inputs = c.inputs;
    auto outputs = c.outputs;
    EXPECT_EQ(plugin->setBusArrangements(inputs.data(), static_cast<Steinberg::int32>(inputs.size()), outputs.data(),
                                         static_cast<Steinberg::int32>(outputs.size())),
              c.result)
      << inputs.size() << " inputs, first " << inputs[0] << ", output " << outputs[0];
  }

  Vst::SpeakerArrangement inputs[] = {kMono, kStereo};
  Vst::SpeakerArrangement output = kStereo;
  ASSERT_EQ(plugin->setBusArrangements(inputs, 2, &output, 1), kResultTrue);
  const auto buses = Buses(*plugin, Vst::kInput);
  ASSERT_EQ(buses.size(), 2u);
  EXPECT_EQ(buses[0].name, u"Main");
  EXPECT_EQ(buses[0].arrangement, kMono);
  EXPECT_EQ(buses[1].name, u"Aux");
  EXPECT_EQ(buses[1].arrangement, kStereo);
  EXPECT_EQ(buses[1].flags, 0u);
}

TEST_F(Processing, ArdourAndMixbusKeepTheInitialBusesWhateverTheyAsk)
{
  for (const char16_t* name : {u"Ardour 8.1", u"Harrison Mixbus32C"})
  {
    Create(name);
    Vst::SpeakerArrangement inputs[] = {Vst::SpeakerArr::k51, Vst::SpeakerArr::k51, Vst::SpeakerArr::k51};
    Vst::SpeakerArrangement output = Vst::SpeakerArr::kMono;
    EXPECT_EQ(plugin->setBusArrangements(inputs, 3, &output, 1), kResultTrue);
    const auto buses = Buses(*plugin, Vst::kInput);
    ASSERT_EQ(buses.size(), 2u);
    EXPECT_EQ(buses[0].arrangement, Vst::SpeakerArr::kStereo);
    EXPECT_EQ(Buses(*plugin, Vst::kOutput)[0].arrangement, Vst::SpeakerArr::kStereo);
  }
}

TEST_F(Processing, OnlyTheLastPointOfAQueueIsApplied)
{
  Prepare(Vst::kSample32);
  plugin->paramChanges.clear();
  Steinberg::int32 index = 0;
  Vst::IParamValueQueue* queue = changes.addParameterData(kGain, index);
  queue->addPoint(0, 0.1, index);
  queue->addPoint(10, 0.9, index);
  queue->addPoint(20, 0.75, index);
  ASSERT_EQ(Process(), kResultOk);

  EXPECT_DOUBLE_EQ(plugin->GetParameter(kGain)->GetPlain(), plugin->GetParameter(kGain)->Denormalize(0.75));
  ASSERT_EQ(plugin->paramChanges.size(), 1u);
  EXPECT_EQ(plugin->paramChanges[0].idx, kGain);
  EXPECT_EQ(plugin->paramChanges[0].source, plug::kHost);
  EXPECT_EQ(plugin->paramChanges[0].offset, 20);
}

TEST_F(Processing, BypassNeedsMoreThanHalf)
{
  Prepare(Vst::kSample32);
  plugin->outputOffset = 100.0;
  for (const auto& [value, bypassed] : {std::pair<double, bool>{0.5, false}, {0.51, true}, {0.0, false}})
  {
    plugin->blockSizes.clear();
    AddChange(plug::kBypassParamID, 0, value);
    ASSERT_EQ(Process(), kResultOk);
    EXPECT_EQ(plugin->GetBypassed(), bypassed) << value;
    EXPECT_EQ(plugin->blockSizes.empty(), bypassed) << "ProcessAudio runs only unbypassed, at " << value;
    EXPECT_EQ(Output(0, 1, 0), bypassed ? 2.0 : 102.0) << value;
  }
}

TEST_F(Processing, MonoMainWithStereoSideChainFillsChannelsTwoAndThree)
{
  Vst::SpeakerArrangement inputs[] = {Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo};
  Vst::SpeakerArrangement output = Vst::SpeakerArr::kStereo;
  ASSERT_EQ(plugin->setBusArrangements(inputs, 2, &output, 1), kResultTrue);
  ActivateMainBuses();
  ASSERT_EQ(plugin->activateBus(Vst::kAudio, Vst::kInput, 1, true), kResultTrue);
  Prepare(Vst::kSample32);
  ASSERT_EQ(Process(), kResultOk);

  const TestPlugin::Block& block = plugin->lastBlock;
  EXPECT_EQ(block.inputConnected, (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(block.firstInputSample[0], 1.0);
  EXPECT_EQ(block.firstInputSample[1], 1.0) << "the right input hears the mono main channel";
  EXPECT_EQ(block.firstInputSample[2], 11.0);
  EXPECT_EQ(block.firstInputSample[3], 12.0);
  EXPECT_TRUE(plugin->IsSideChainActive());
}

TEST_F(Processing, InactiveSideChainIsNotRouted)
{
  Prepare(Vst::kSample32);
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(plugin->lastBlock.inputConnected, (std::vector<bool>{true, true, false, false}));
  EXPECT_FALSE(plugin->IsSideChainActive());
}

TEST_F(Processing, DeactivatingTheSideChainClearsScratchBuffersAtTheNextBlockOnly)
{
  ASSERT_EQ(plugin->activateBus(Vst::kAudio, Vst::kInput, 1, true), kResultTrue);
  Prepare(Vst::kSample32);
  ASSERT_EQ(Process(), kResultOk);
  ASSERT_EQ(plugin->lastBlock.firstInputSample[2], 11.0); // converted into channel 2's scratch buffer

  ASSERT_EQ(plugin->activateBus(Vst::kAudio, Vst::kInput, 1, false), kResultTrue);
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_FALSE(plugin->IsSideChainActive());
  EXPECT_FALSE(plugin->lastBlock.inputConnected[2]);
  EXPECT_EQ(plugin->lastBlock.firstInputSample[2], 0.0) << "the stale side-chain is gone";
  EXPECT_EQ(plugin->lastBlock.firstInputSample[3], 0.0);

  plugin->Channel(plug::kInput, 2).scratch[0] = 5.0;
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(plugin->lastBlock.firstInputSample[2], 5.0) << "cleared once, not at every block";
}

TEST_F(Processing, ChannelsThatANewArrangementDropsHearSilenceNotTheirLastBlock)
{
  using namespace Vst::SpeakerArr;
  struct Case
  {
    std::vector<Vst::SpeakerArrangement> before;
    std::vector<Vst::SpeakerArrangement> after;
    Vst::SpeakerArrangement output;
    int dropped;   // input channel connected before, not after
    double heard;  // what it hears after
  };
  const Case cases[] = {
    {{kStereo}, {kMono}, kMono, 1, 0.0},
    {{kStereo, kStereo}, {kStereo, kMono}, kStereo, 3, 0.0},
    {{kStereo, kStereo}, {kMono, kStereo}, kStereo, 1, 1.0},  // the mono main channel, into a stereo output
  };
  for (const Case& c : cases)
  {
    Create(u"Test Host");
    for (const auto* inputs : {&c.before, &c.after})
    {
      auto arrangements = *inputs;
      auto output = inputs == &c.before ? kStereo : c.output;
      ASSERT_EQ(plugin->setBusArrangements(arrangements.data(), static_cast<Steinberg::int32>(arrangements.size()),
                                           &output, 1),
                kResultTrue);
      ActivateMainBuses();
      if (arrangements.size() > 1)
      {
        ASSERT_EQ(plugin->activateBus(Vst::kAudio, Vst::kInput, 1, true), kResultTrue);
      }
      Setup(Vst::kSample32);
      Prepare(Vst::kSample32);
      ASSERT_EQ(Process(), kResultOk);
      EXPECT_EQ(plugin->lastBlock.inputConnected[c.dropped], inputs == &c.before) << "channel " << c.dropped;
    }
    EXPECT_EQ(plugin->lastBlock.firstInputSample[c.dropped], c.heard) << "channel " << c.dropped;
  }
}

TEST_F(Processing, SixtyFourBitBuffersArePassedStraightThrough)
{
  Setup(Vst::kSample64);
  EXPECT_EQ(plugin->canProcessSampleSize(Vst::kSample64), kResultTrue);
  Prepare(Vst::kSample64);
  plugin->outputOffset = 0.5;
  ASSERT_EQ(Process(), kResultOk);

  const TestPlugin::Block& block = plugin->lastBlock;
  EXPECT_EQ(block.inputs[0], data.inputs[0].channelBuffers64[0]);
  EXPECT_EQ(block.inputs[1], data.inputs[0].channelBuffers64[1]);
  EXPECT_EQ(block.outputs[0], data.outputs[0].channelBuffers64[0]);
  EXPECT_EQ(block.outputs[1], data.outputs[0].channelBuffers64[1]);
  EXPECT_EQ(Output(0, 0, kBlockSize - 1), 1.5);
  EXPECT_EQ(Output(0, 1, 0), 2.5);
}

TEST_F(Processing, ThirtyTwoBitBuffersGoThroughScratchBuffers)
{
  Prepare(Vst::kSample32);
  data.inputs[0].channelBuffers32[0][3] = 0.25f;
  plugin->outputOffset = 0.5;
  ASSERT_EQ(Process(), kResultOk);

  const TestPlugin::Block& block = plugin->lastBlock;
  EXPECT_EQ(block.inputs[0], plugin->Channel(plug::kInput, 0).scratch.data());
  EXPECT_EQ(block.outputs[0], plugin->Channel(plug::kOutput, 0).scratch.data());
  EXPECT_EQ(plugin->Channel(plug::kOutput, 0).hostBuffer, data.outputs[0].channelBuffers32[0]);
  EXPECT_EQ(Output(0, 0, 3), 0.75f);
  EXPECT_EQ(Output(0, 1, kBlockSize - 1), 2.5f);
}

TEST_F(Processing, InactiveOutputBusIsLeftAlone)
{
  ASSERT_EQ(plugin->activateBus(Vst::kAudio, Vst::kOutput, 0, false), kResultTrue);
  Prepare(Vst::kSample32);
  std::fill_n(data.outputs[0].channelBuffers32[0], kBlockSize, -7.f);
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(plugin->lastBlock.outputConnected, (std::vector<bool>{false, false}));
  EXPECT_EQ(Output(0, 0, 0), -7.f);
}

TEST_F(Processing, ABlockWithoutInputBusesHearsSilence)
{
  Prepare(Vst::kSample32);
  ASSERT_EQ(Process(), kResultOk);
  const Steinberg::int32 nInputs = data.numInputs;
  data.numInputs = 0;
  ASSERT_EQ(Process(), kResultOk);
  data.numInputs = nInputs;
  EXPECT_EQ(plugin->lastBlock.inputConnected, (std::vector<bool>{false, false, false, false}));
  EXPECT_EQ(plugin->lastBlock.firstInputSample[0], 0.0);
  EXPECT_EQ(Output(0, 0, 0), 0.f);
}

TEST_F(Processing, MoreFramesThanAnnouncedAreProcessedInSlices)
{
  const int nFrames = 2 * kBlockSize + 22;
  Prepare(Vst::kSample32, nFrames);
  for (int i = 0; i < nFrames; ++i)
    data.inputs[0].channelBuffers32[0][i] = static_cast<float>(i);
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(plugin->blockSizes, (std::vector<int>{kBlockSize, kBlockSize, 22}));
  for (int i = 0; i < nFrames; ++i)
    ASSERT_EQ(Output(0, 0, i), static_cast<float>(i)) << "frame " << i;
}

TEST_F(Processing, SetupAndStopResetTheProcessing)
{
  const int resets = plugin->resets;
  Vst::ProcessSetup setup{Vst::kRealtime, 2, 128, 96000.0};
  EXPECT_EQ(plugin->setupProcessing(setup), kResultFalse) << "sample size beyond 64-bit";
  EXPECT_EQ(plugin->canProcessSampleSize(2), kResultFalse);
  EXPECT_EQ(plugin->resets, resets);

  setup.symbolicSampleSize = Vst::kSample32;
  EXPECT_EQ(plugin->setupProcessing(setup), kResultOk);
  EXPECT_EQ(plugin->resets, resets + 1);
  EXPECT_EQ(plugin->GetSampleRate(), 96000.0);
  EXPECT_EQ(plugin->GetBlockSize(), 128);
  EXPECT_EQ(plugin->Channel(plug::kInput, 3).scratch.size(), 128u);

  EXPECT_EQ(plugin->setProcessing(true), kResultOk);
  EXPECT_EQ(plugin->resets, resets + 1);
  EXPECT_EQ(plugin->setProcessing(false), kResultOk);
  EXPECT_EQ(plugin->resets, resets + 2);
}

// A host's absurd block size had every channel's scratch buffer allocate
// gigabytes (found by fuzzing); a rate that is no rate made every filter NaN.
TEST_F(Processing, SetupRefusesBlockSizesAndRatesNoHostUses)
{
  const int resets = plugin->resets;
  const struct
  {
    int maxBlock;
    double rate;
  } refused[] = {
    {plug::IPluginVST3ProcessorBase::kMaxBlockFrames + 1, 48000.0},
    {2000000000, 48000.0},
    {-1, 48000.0},
    {512, 0.0},
    {512, -44100.0},
    {512, std::numeric_limits<double>::quiet_NaN()},
    {512, std::numeric_limits<double>::infinity()},
  };
  for (const auto& r : refused)
  {
    Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, r.maxBlock, r.rate};
    EXPECT_EQ(plugin->setupProcessing(setup), kResultFalse) << r.maxBlock << " frames at " << r.rate << " Hz";
  }
  EXPECT_EQ(plugin->resets, resets);
  EXPECT_EQ(plugin->GetBlockSize(), kBlockSize) << "the last accepted setup stays";
  EXPECT_EQ(plugin->GetSampleRate(), 48000.0);

  Vst::ProcessSetup largest{Vst::kOffline, Vst::kSample64, plug::IPluginVST3ProcessorBase::kMaxBlockFrames, 8000.0};
  EXPECT_EQ(plugin->setupProcessing(largest), kResultOk);
  EXPECT_EQ(plugin->GetBlockSize(), plug::IPluginVST3ProcessorBase::kMaxBlockFrames);
}

// The host may only be asked to restart on its user-interface thread: a
// latency change in the audio thread waits for the idle timer.
TEST_F(Processing, ALatencyChangeReachesTheHostThroughTheIdleTimerOnly)
{
  Prepare(Vst::kSample32);
  plugin->latencyToReport = 64;
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(plugin->getLatencySamples(), 64u) << "correct at the end of the block";
  EXPECT_TRUE(handler->restarts.empty()) << "no restart from inside process()";

  EXPECT_TRUE(RunIdleTimers([&] { return !handler->restarts.empty(); }));
  EXPECT_EQ(handler->restarts, (std::vector<Steinberg::int32>{Vst::kLatencyChanged}));

  ASSERT_EQ(Process(), kResultOk); // unchanged latency
  plugin->latencyToReport = 0;
  ASSERT_EQ(Process(), kResultOk);
  plugin->latencyToReport = 64;
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_TRUE(RunIdleTimers([&] { return handler->restarts.size() > 1; }));
  EXPECT_EQ(handler->restarts, (std::vector<Steinberg::int32>{Vst::kLatencyChanged, Vst::kLatencyChanged}))
    << "two changes between ticks make one restart";
}

// With a latency, bypass delays the input by it. Engaging bypass continues the
// input where the processing left it, and never replays an earlier bypass.
TEST_F(Processing, EngagingBypassContinuesTheInputDelayedByTheLatency)
{
  Prepare(Vst::kSample32);
  plugin->latencyToReport = kBlockSize;
  ASSERT_EQ(Process(), kResultOk);
  auto block = [&](double left, bool bypassed) {
    AddChange(plug::kBypassParamID, 0, bypassed ? 1.0 : 0.0);
    FillInput(0, 0, left, kBlockSize);
    EXPECT_EQ(Process(), kResultOk);
  };
  for (int i = 0; i < 20; ++i)
    block(0.9, true);
  block(0.0, false);
  block(0.25, false);
  block(0.0, true);
  for (int i = 0; i < kBlockSize; ++i)
    ASSERT_EQ(Output(0, 0, i), 0.25f) << "frame " << i << ": the block before, not the last bypass";
  block(0.0, true);
  EXPECT_EQ(Output(0, 0, 0), 0.f);

  // A processing reset forgets the input it saw.
  block(0.5, false);
  ASSERT_EQ(plugin->setProcessing(false), kResultOk);
  block(0.0, true);
  EXPECT_EQ(Output(0, 0, 0), 0.f);
}

// 32-bit inputs are converted into scratch buffers: a channel that the host
// stops feeding must hear silence, not its last converted block for ever.
TEST_F(Processing, AChannelTheHostStopsFeedingHearsSilence)
{
  struct Case
  {
    const char* what;
    int channel;
    std::function<void(Vst::HostProcessData&)> drop;
  };
  const Case cases[] = {
    {"right main buffer null", 1, [](Vst::HostProcessData& d) { d.inputs[0].channelBuffers32[1] = nullptr; }},
    {"active side-chain bus without channels", 2, [](Vst::HostProcessData& d) { d.inputs[1].numChannels = 0; }},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    Create(u"Test Host");
    ASSERT_EQ(plugin->activateBus(Vst::kAudio, Vst::kInput, 1, true), kResultTrue);
    Prepare(Vst::kSample32);
    ASSERT_EQ(Process(), kResultOk);
    ASSERT_NE(plugin->lastBlock.firstInputSample[c.channel], 0.0);

    Vst::HostProcessData& d = data;
    float* const kept = d.inputs[0].channelBuffers32[1];
    const Steinberg::int32 keptChannels = d.inputs[1].numChannels;
    c.drop(d);
    ASSERT_EQ(Process(), kResultOk);
    EXPECT_FALSE(plugin->lastBlock.inputConnected[c.channel]);
    EXPECT_EQ(plugin->lastBlock.firstInputSample[c.channel], 0.0);
    ASSERT_EQ(Process(), kResultOk);
    EXPECT_EQ(plugin->lastBlock.firstInputSample[c.channel], 0.0);
    d.inputs[0].channelBuffers32[1] = kept;
    d.inputs[1].numChannels = keptChannels;
  }
}

// No NaN or infinity leaves process(), nor a value a 32-bit host cannot hold.
TEST_F(Processing, NonFiniteOutputsReachTheHostAsSilenceAndAreCounted)
{
  for (Steinberg::int32 sampleSize : {Vst::kSample32, Vst::kSample64})
  {
    SCOPED_TRACE(sampleSize == Vst::kSample32 ? "32-bit" : "64-bit");
    Create(u"Test Host");
    Setup(sampleSize);
    Prepare(sampleSize);
    const double bad[] = {std::nan(""), HUGE_VAL, -HUGE_VAL};
    for (double value : bad)
    {
      const uint64_t before = plugin->NNonFiniteOutputs();
      plugin->outputOffset = value;
      ASSERT_EQ(Process(), kResultOk);
      for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kBlockSize; ++i)
          ASSERT_EQ(Output(0, c, i), 0.0) << value;
      EXPECT_EQ(plugin->NNonFiniteOutputs(), before + 2 * kBlockSize);
    }
    plugin->outputOffset = 1e300;
    ASSERT_EQ(Process(), kResultOk);
    EXPECT_EQ(Output(0, 0, 0), sampleSize == Vst::kSample32 ? 0.0 : 1e300);
    plugin->outputOffset = 0.5;
    const uint64_t before = plugin->NNonFiniteOutputs();
    ASSERT_EQ(Process(), kResultOk);
    EXPECT_EQ(Output(0, 1, 0), 2.5);
    EXPECT_EQ(plugin->NNonFiniteOutputs(), before);
  }
}

TEST_F(Processing, TransportFollowsTheProcessContext)
{
  Setup(Vst::kSample32, Vst::kOffline);
  Prepare(Vst::kSample32);
  Vst::ProcessContext context{};
  context.tempo = 97.0;
  context.projectTimeSamples = 4800;
  context.projectTimeMusic = 2.5;
  context.barPositionMusic = 2.0;
  context.timeSigNumerator = 7;
  context.timeSigDenominator = 8;
  context.state = Vst::ProcessContext::kPlaying;
  data.processContext = &context;
  ASSERT_EQ(Process(), kResultOk);
  plug::ITransportState transport = plugin->GetTransport();
  EXPECT_EQ(transport.tempo, 97.0);
  EXPECT_EQ(transport.samplePos, -1.0) << "sample position needs the musical-time flag";
  EXPECT_EQ(transport.ppqPos, 2.5);
  EXPECT_EQ(transport.lastBar, 2.0);
  EXPECT_EQ(transport.numerator, 7);
  EXPECT_EQ(transport.denominator, 8);
  EXPECT_TRUE(transport.transportIsRunning);
  EXPECT_FALSE(transport.loopEnabled);
  EXPECT_TRUE(plugin->IsRenderingOffline());

  context.state = Vst::ProcessContext::kProjectTimeMusicValid | Vst::ProcessContext::kCycleActive;
  ASSERT_EQ(Process(), kResultOk);
  data.processContext = nullptr;
  ASSERT_EQ(Process(), kResultOk); // the previous context stays
  transport = plugin->GetTransport();
  EXPECT_EQ(transport.samplePos, 4800.0);
  EXPECT_FALSE(transport.transportIsRunning);
  EXPECT_TRUE(transport.loopEnabled);
}

// --- MIDI ----------------------------------------------------------------------

class MidiProcessing : public PluginFixture
{
protected:
  void SetUp() override
  {
    TestPluginOptions options;
    options.channelIO = "2-2";
    options.midiIn = true;
    options.midiOut = true;
    Create(u"Test Host", options);
    Prepare(Vst::kSample32);
    plugin->midiReceived.clear();
  }
};

TEST_F(MidiProcessing, EventBusesAndControllerParametersExist)
{
  Vst::BusInfo info{};
  ASSERT_EQ(plugin->getBusInfo(Vst::kEvent, Vst::kInput, 0, info), kResultTrue);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.name)), u"MIDI Input");
  EXPECT_EQ(info.channelCount, 1);
  ASSERT_EQ(plugin->getBusInfo(Vst::kEvent, Vst::kOutput, 0, info), kResultTrue);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.name)), u"MIDI Output");

  EXPECT_EQ(plugin->getParameterCount(), 1 + kNumTestParams + 130);
  Vst::ParameterInfo parameter{};
  ASSERT_EQ(plugin->getParameterInfoByTag(plug::kMIDICCParamStartID + 66, parameter), kResultOk);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(parameter.title)), u"Sostenuto ");
  EXPECT_EQ(parameter.flags, 0);
  ASSERT_EQ(plugin->getParameterInfoByTag(plug::kMIDICCParamStartID + 103, parameter), kResultOk);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(parameter.title)), u"Contr. 103");
  ASSERT_EQ(plugin->getParameterInfoByTag(plug::kMIDICCParamStartID + 129, parameter), kResultOk);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(parameter.title)), u"Pitch Bend");
  EXPECT_EQ(parameter.defaultNormalizedValue, 0.5);

  // Root, the two groups of the test plug-in, "MIDI CCs" and "CH1" under it.
  ASSERT_EQ(plugin->getUnitCount(), 5);
  Vst::UnitInfo unit{};
  ASSERT_EQ(plugin->getUnitInfo(4, unit), kResultTrue);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(unit.name)), u"CH1");
  EXPECT_EQ(unit.parentUnitId, 4); // the "MIDI CCs" unit
  EXPECT_EQ(unit.id, 5);
  EXPECT_EQ(parameter.unitId, 5);
}

TEST_F(MidiProcessing, ControllerParametersBecomeMidiMessages)
{
  struct Case
  {
    Vst::ParamID id;
    double value;
    uint8_t status, data1, data2;
  };
  const Case cases[] = {
    {plug::kMIDICCParamStartID + 7, 1.0, 0xB0, 7, 127},
    {plug::kMIDICCParamStartID + 130 + 1, 0.5, 0xB1, 1, 63},               // channel 2
    {plug::kMIDICCParamStartID + 128, 0.5, 0xD0, 63, 0},                   // channel pressure
    {plug::kMIDICCParamStartID + 129, 0.5, 0xE0, 0x00, 0x40},              // pitch bend centre
    {plug::kMIDICCParamStartID + 129, 1.0, 0xE0, 0x7F, 0x7F},              // clamped to 16383
    {plug::kMIDICCParamStartID + 129, 0.0, 0xE0, 0x00, 0x00},
  };
  for (const Case& c : cases)
  {
    plugin->midiReceived.clear();
    AddChange(c.id, 5, c.value);
    ASSERT_EQ(Process(), kResultOk);
    ASSERT_EQ(plugin->midiReceived.size(), 1u) << c.id;
    const plug::IMidiMsg& m = plugin->midiReceived[0];
    EXPECT_EQ(m.offset, 5);
    EXPECT_EQ(m.status, c.status) << c.id;
    EXPECT_EQ(m.data1, c.data1) << c.id;
    EXPECT_EQ(m.data2, c.data2) << c.id;
  }
  AddChange(plug::kMIDICCParamStartID + 16 * 130, 1.0, 0); // beyond channel 16
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(plugin->midiReceived.size(), 1u);
}

TEST_F(MidiProcessing, NoteAndSysexEventsReachThePlugin)
{
  Vst::Event on{};
  on.type = Vst::Event::kNoteOnEvent;
  on.sampleOffset = 3;
  on.noteOn.channel = 2;
  on.noteOn.pitch = 60;
  on.noteOn.velocity = 0.5f;
  inputEvents.addEvent(on);
  Vst::Event off{};
  off.type = Vst::Event::kNoteOffEvent;
  off.sampleOffset = 9;
  off.noteOff.pitch = 60;
  off.noteOff.velocity = 1.f;
  inputEvents.addEvent(off);
  const uint8_t sysex[] = {0xF0, 0x7D, 0x01, 0xF7};
  Vst::Event data{};
  data.type = Vst::Event::kDataEvent;
  data.data.type = Vst::DataEvent::kMidiSysEx;
  data.data.size = sizeof(sysex);
  data.data.bytes = sysex;
  inputEvents.addEvent(data);
  plugin->QueueMidiFromEditor(plug::IMidiMsg{1, 0xB0, 1, 2});
  ASSERT_EQ(Process(), kResultOk);

  ASSERT_EQ(plugin->midiReceived.size(), 3u);
  EXPECT_EQ(plugin->midiReceived[0].status, 0x92);
  EXPECT_EQ(plugin->midiReceived[0].data2, 63);
  EXPECT_EQ(plugin->midiReceived[0].offset, 3);
  EXPECT_EQ(plugin->midiReceived[1].status, 0x80);
  EXPECT_EQ(plugin->midiReceived[1].data2, 0);
  EXPECT_EQ(plugin->midiReceived[2].status, 0xB0) << "then the editor's messages";
  ASSERT_EQ(plugin->sysexReceived.size(), 1u);
  EXPECT_EQ(plugin->sysexReceived[0], std::vector<uint8_t>(sysex, sysex + sizeof(sysex)));
}

TEST_F(MidiProcessing, EmittedMessagesAreSentInOffsetOrderAndLaterOnesWait)
{
  plugin->midiToEmit = {
    {70, 0x90, 64, 127},    // next block, offset 6
    {10, 0xB0, 7, 100},
    {10, 0x90, 60, 127},    // same offset: after the controller
    {2, 0xE0, 0x00, 0x40},
  };
  outputEvents.clear();
  ASSERT_EQ(Process(), kResultOk);
  ASSERT_EQ(outputEvents.getEventCount(), 3);
  Vst::Event e{};
  outputEvents.getEvent(0, e);
  EXPECT_EQ(e.type, Vst::Event::kLegacyMIDICCOutEvent);
  EXPECT_EQ(e.midiCCOut.controlNumber, Vst::kPitchBend);
  EXPECT_EQ(e.midiCCOut.value2, 0x40);
  EXPECT_EQ(e.sampleOffset, 2);
  outputEvents.getEvent(1, e);
  EXPECT_EQ(e.type, Vst::Event::kLegacyMIDICCOutEvent);
  EXPECT_EQ(e.midiCCOut.controlNumber, 7);
  EXPECT_EQ(e.midiCCOut.value, 100);
  outputEvents.getEvent(2, e);
  EXPECT_EQ(e.type, Vst::Event::kNoteOnEvent);
  EXPECT_EQ(e.noteOn.pitch, 60);
  EXPECT_FLOAT_EQ(e.noteOn.velocity, 1.f);
  ASSERT_EQ(plugin->NQueuedMidiMessages(), 1);
  EXPECT_EQ(plugin->QueuedMidiMessage(0).offset, 70 - kBlockSize);

  outputEvents.clear();
  ASSERT_EQ(Process(), kResultOk);
  ASSERT_EQ(outputEvents.getEventCount(), 1);
  outputEvents.getEvent(0, e);
  EXPECT_EQ(e.noteOn.pitch, 64);
  EXPECT_EQ(e.sampleOffset, 6);
  EXPECT_EQ(plugin->NQueuedMidiMessages(), 0);
}

TEST_F(MidiProcessing, TheOutgoingQueueGrowsPastItsRoom)
{
  const int n = plug::IPluginVST3ProcessorBase::kMidiOutQueueStep * 2 + 3;
  for (int i = 0; i < n; ++i)
    ASSERT_TRUE(plugin->EmitMidiMessage(plug::IMidiMsg{n - i, 0xB0, 1, 1}));
  ASSERT_EQ(plugin->NQueuedMidiMessages(), n);
  for (int i = 1; i < n; ++i)
    ASSERT_LE(plugin->QueuedMidiMessage(i - 1).offset, plugin->QueuedMidiMessage(i).offset);
}
