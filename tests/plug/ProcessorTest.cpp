#include "PlugTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using plug::IPluginProcessor;
using plug::kInput;
using plug::kOutput;
using plugtest::TestDefinition;

namespace {

const char* const kKorvelIO = "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2";

std::vector<int> BusChannels(const IPluginProcessor& processor, int layout, plug::ERoute direction)
{
  std::vector<int> channels;
  for (const plug::IBusLayout& bus : processor.GetIOConfig(layout).Buses(direction))
  {
    EXPECT_EQ(bus.direction, direction);
    channels.push_back(bus.channels);
  }
  return channels;
}

// Owns one buffer per channel and points the processor's channel records at them.
struct Buffers
{
  Buffers(IPluginProcessor& processor, int nFrames)
  {
    for (plug::ERoute direction : {kInput, kOutput})
    {
      auto& buffers = direction == kInput ? inputs : outputs;
      buffers.resize(processor.NChannels(direction));
      for (int ch = 0; ch < processor.NChannels(direction); ++ch)
      {
        buffers[ch].assign(nFrames, direction == kInput ? 0.0 : -99.0);
        if (direction == kInput)
          std::iota(buffers[ch].begin(), buffers[ch].end(), 100.0 * (ch + 1));
        *processor.Channel(direction, ch).data = buffers[ch].data();
      }
    }
  }
  std::vector<std::vector<double>> inputs;
  std::vector<std::vector<double>> outputs;
};

} // namespace

TEST(ChannelIOText, ParsesLayoutsBusesAndTotals)
{
  const struct
  {
    const char* text;
    std::vector<std::vector<int>> inputs;
    std::vector<std::vector<int>> outputs;
    int maxInChannels, maxOutChannels;
  } cases[] = {
    {"2-2", {{2}}, {{2}}, 2, 2},
    {"1.2-2", {{1, 2}}, {{2}}, 3, 2},
    {"0-2", {{}}, {{2}}, 0, 2},
    {"*-2", {{plug::kWildcardChannels}}, {{2}}, 0, 2},
    {"*.1-1", {{plug::kWildcardChannels, 1}}, {{1}}, 1, 1},
    {"1-1 2-2", {{1}, {2}}, {{1}, {2}}, 2, 2},
    {"2.0.1-1", {{2, 1}}, {{1}}, 3, 1},
    {"1-", {{1}}, {{}}, 1, 0},
    {"", {}, {}, 0, 0},
  };
  for (const auto& c : cases)
  {
    IPluginProcessor processor(TestDefinition(0, 0, c.text));
    ASSERT_EQ(processor.NIOConfigs(), static_cast<int>(c.inputs.size())) << c.text;
    for (int i = 0; i < processor.NIOConfigs(); ++i)
    {
      EXPECT_EQ(BusChannels(processor, i, kInput), c.inputs[i]) << c.text << " layout " << i;
      EXPECT_EQ(BusChannels(processor, i, kOutput), c.outputs[i]) << c.text << " layout " << i;
    }
    EXPECT_EQ(processor.NChannels(kInput), c.maxInChannels) << c.text;
    EXPECT_EQ(processor.NChannels(kOutput), c.maxOutChannels) << c.text;
  }
}

// Counts that overflowed the channel totals, or made the processor allocate
// gigabytes of channel records, before they were refused (found by fuzzing).
TEST(ChannelIOText, ConfigurationsNoHostCouldBeGivenAreLeftOut)
{
  const struct
  {
    const char* text;
    std::vector<std::vector<int>> inputs;  // of the configurations kept
    int maxInChannels;
  } cases[] = {
    {"2-2 2147483647.1-1", {{2}}, 2},
    {"99999999-2 1-1", {{1}}, 1},
    {"1--2 2-2", {{2}}, 2},
    {"x-2 1.1-1", {{1, 1}}, 2},
    {"65-2 64-2", {{64}}, 64},
    {"64.64.64.64-2 64.64.64.64.1-2", {{64, 64, 64, 64}}, 256},
  };
  for (const auto& c : cases)
  {
    IPluginProcessor processor(TestDefinition(0, 0, c.text));
    ASSERT_EQ(processor.NIOConfigs(), static_cast<int>(c.inputs.size())) << c.text;
    for (int i = 0; i < processor.NIOConfigs(); ++i)
      EXPECT_EQ(BusChannels(processor, i, kInput), c.inputs[i]) << c.text << " layout " << i;
    EXPECT_EQ(processor.NChannels(kInput), c.maxInChannels) << c.text;
  }
}

TEST(ChannelIOText, KorvelLayouts)
{
  IPluginProcessor processor(TestDefinition(27, 1, kKorvelIO));
  EXPECT_EQ(processor.NIOConfigs(), 8);
  EXPECT_EQ(processor.NChannels(kInput), 4);
  EXPECT_EQ(processor.NChannels(kOutput), 2);
  EXPECT_EQ(processor.MaxNBuses(kInput), 2);
  EXPECT_EQ(processor.MaxNBuses(kOutput), 1);
  EXPECT_EQ(processor.WidestFirstInputBus(), 2);

  int layout = -1;
  EXPECT_EQ(processor.MostBuses(kInput, layout), 2);
  EXPECT_EQ(layout, 7); // "2.2-2": the later layout wins ties
  EXPECT_EQ(processor.MostBuses(kOutput, layout), 1);
  EXPECT_EQ(layout, 7);

  const int mono[] = {1}, stereo[] = {2}, monoSide[] = {1, 2}, stereoSide[] = {2, 2};
  EXPECT_EQ(processor.FindLayoutForChannelCounts(mono, 1, mono, 1), 0);
  EXPECT_EQ(processor.FindLayoutForChannelCounts(monoSide, 2, stereo, 1), 3);
  EXPECT_EQ(processor.FindLayoutForChannelCounts(stereoSide, 2, stereo, 1), 7);
  EXPECT_EQ(processor.FindLayoutForChannelCounts(stereoSide, 2, mono, 1), -1); // no stereo + side-chain to mono
  EXPECT_EQ(processor.FindLayoutForChannelCounts(stereo, 1, nullptr, 0), -1);
}

TEST(ChannelIOText, WidestFirstInputBus)
{
  const struct
  {
    const char* text;
    int widest;
  } cases[] = {{"*-2", -1}, {"*-2 2-2", -1}, {"2-2 *-2", 2}, {"0-2 1-1", 1}, {"1-1 4.2-2", 4}, {"0-2", 0}};
  for (const auto& c : cases)
    EXPECT_EQ(IPluginProcessor(TestDefinition(0, 0, c.text)).WidestFirstInputBus(), c.widest) << c.text;
}

TEST(Processor, BusNames)
{
  IPluginProcessor processor(TestDefinition(0));
  const struct
  {
    plug::ERoute direction;
    int index, count;
    const char* name;
  } cases[] = {
    {kInput, 0, 1, "Input"}, {kInput, 0, 2, "Main"},     {kInput, 1, 2, "Aux"},      {kInput, 0, 3, "Input 0"},
    {kInput, 2, 3, "Input 2"}, {kOutput, 0, 1, "Output"}, {kOutput, 1, 2, "Output 1"},
  };
  for (const auto& c : cases)
  {
    std::string name;
    processor.MakeBusName(c.direction, c.index, c.count, name);
    EXPECT_EQ(name, c.name);
  }
}

TEST(Processor, ChangeBlockSizeResizesAndZeroesScratchAndKeepsPointersValid)
{
  IPluginProcessor processor(TestDefinition(0, 0, kKorvelIO));
  processor.ChangeBlockSize(64);
  EXPECT_EQ(processor.GetBlockSize(), 64);
  for (plug::ERoute direction : {kInput, kOutput})
    for (int ch = 0; ch < processor.NChannels(direction); ++ch)
    {
      plug::IChannelSlot& slot = processor.Channel(direction, ch);
      ASSERT_EQ(slot.scratch.size(), 64u);
      EXPECT_EQ(processor.ChannelPointers(direction)[ch], slot.scratch.data());
      slot.scratch[10] = 5.0;
    }

  double hostBuffer[4] = {};
  *processor.Channel(kInput, 1).data = hostBuffer;
  processor.ChangeBlockSize(64); // unchanged size: nothing happens
  EXPECT_EQ(processor.Channel(kInput, 0).scratch[10], 5.0);

  processor.ChangeBlockSize(512);
  for (plug::ERoute direction : {kInput, kOutput})
    for (int ch = 0; ch < processor.NChannels(direction); ++ch)
    {
      const plug::IChannelSlot& slot = processor.Channel(direction, ch);
      ASSERT_EQ(slot.scratch.size(), 512u);
      EXPECT_EQ(slot.scratch[10], 0.0);
      if (!(direction == kInput && ch == 1))
      {
        EXPECT_EQ(processor.ChannelPointers(direction)[ch], slot.scratch.data());
      }
    }
  EXPECT_EQ(processor.ChannelPointers(kInput)[1], hostBuffer); // a channel on a host buffer stays there
}

TEST(Processor, DefaultProcessAudioCopiesMatchingChannelsAndZeroesTheRest)
{
  const struct
  {
    const char* io;
    int copied;
  } cases[] = {{"4-2", 2}, {"1-2", 1}, {"2-2", 2}};
  for (const auto& c : cases)
  {
    IPluginProcessor processor(TestDefinition(0, 0, c.io));
    Buffers buffers(processor, 16);
    processor.ProcessAudio(processor.ChannelPointers(kInput), processor.ChannelPointers(kOutput), 16);
    for (int ch = 0; ch < processor.NChannels(kOutput); ++ch)
      EXPECT_EQ(buffers.outputs[ch], ch < c.copied ? buffers.inputs[ch] : std::vector<double>(16, 0.0)) << c.io << " ch " << ch;
  }
}

TEST(Processor, PassThroughWithoutLatencyCopiesAndZeroes)
{
  IPluginProcessor processor(TestDefinition(0, 0, "1-2"));
  Buffers buffers(processor, 8);
  processor.PassThrough(8);
  EXPECT_EQ(buffers.outputs[0], buffers.inputs[0]);
  EXPECT_EQ(buffers.outputs[1], std::vector<double>(8, 0.0));
}

TEST(Processor, PassThroughDelaysByExactlyTheLatencyAcrossBlocks)
{
  for (int latency : {1, 3, 64})
  {
    plug::IPluginDefinition def = TestDefinition(0, 0, "2-2");
    def.latency = latency;
    IPluginProcessor processor(def);
    EXPECT_EQ(processor.GetLatency(), latency);

    std::vector<double> in[2], out[2];
    const int blockSizes[] = {5, 1, 70, 13};
    int written = 0;
    for (int frames : blockSizes)
    {
      std::vector<double> blockIn[2], blockOut[2];
      for (int ch = 0; ch < 2; ++ch)
      {
        blockIn[ch].resize(frames);
        blockOut[ch].assign(frames, -1.0);
        for (int f = 0; f < frames; ++f)
          blockIn[ch][f] = (ch + 1) * 1000.0 + written + f + 1;
        processor.ChannelPointers(kInput)[ch] = blockIn[ch].data();
        processor.ChannelPointers(kOutput)[ch] = blockOut[ch].data();
      }
      processor.PassThrough(frames);
      for (int ch = 0; ch < 2; ++ch)
      {
        in[ch].insert(in[ch].end(), blockIn[ch].begin(), blockIn[ch].end());
        out[ch].insert(out[ch].end(), blockOut[ch].begin(), blockOut[ch].end());
      }
      written += frames;
    }
    for (int ch = 0; ch < 2; ++ch)
      for (int f = 0; f < written; ++f)
        ASSERT_EQ(out[ch][f], f < latency ? 0.0 : in[ch][f - latency]) << "latency " << latency << " ch " << ch << " frame " << f;
  }
}

TEST(Processor, PassThroughWorksInPlaceAndChangeLatencyRestartsTheDelay)
{
  IPluginProcessor processor(TestDefinition(0, 0, "1-1"));
  processor.ChangeLatency(2);
  std::vector<double> buffer = {1, 2, 3, 4, 5};
  processor.ChannelPointers(kInput)[0] = buffer.data();
  processor.ChannelPointers(kOutput)[0] = buffer.data();
  processor.PassThrough(5);
  EXPECT_EQ(buffer, (std::vector<double>{0, 0, 1, 2, 3}));

  processor.ChangeLatency(3); // a new delay line starts silent
  buffer = {6, 7, 8, 9};
  processor.PassThrough(4);
  EXPECT_EQ(buffer, (std::vector<double>{0, 0, 0, 6}));

  processor.ChangeLatency(0);
  buffer = {1, 2};
  processor.PassThrough(2);
  EXPECT_EQ(buffer, (std::vector<double>{1, 2}));
}

TEST(Processor, MidiMessagesAreEmittedOneByOne)
{
  struct Emitter : IPluginProcessor
  {
    Emitter() : IPluginProcessor(TestDefinition(0)) {}
    bool EmitMidiMessage(const plug::IMidiMsg& message) override
    {
      emitted.push_back(message.data1);
      return message.data1 != 2;
    }
    std::vector<int> emitted;
  } emitter;
  const plug::IMidiMsg messages[] = {{0, 0x90, 1, 1}, {0, 0x90, 2, 1}, {0, 0x90, 3, 1}};
  EXPECT_TRUE(emitter.EmitMidiMessages(messages, 1));
  EXPECT_FALSE(emitter.EmitMidiMessages(messages, 3));
  emitter.HandleMidiMessage(messages[2]);
  EXPECT_EQ(emitter.emitted, (std::vector<int>{1, 1, 2, 3, 3}));
  EXPECT_FALSE(IPluginProcessor(TestDefinition(0)).EmitSysex(plug::ISysEx{}));
}

TEST(Processor, ContextComesFromTheDefinition)
{
  plug::IPluginDefinition def = TestDefinition(0, 0, "2-2");
  def.kind = plug::kMidiEffect;
  def.midiIn = true;
  def.latency = 7;
  IPluginProcessor processor(def);
  EXPECT_EQ(processor.GetPluginKind(), plug::kMidiEffect);
  EXPECT_TRUE(processor.DoesMidiIn());
  EXPECT_FALSE(processor.DoesMidiOut());
  EXPECT_EQ(processor.GetLatency(), 7);
  EXPECT_EQ(processor.GetSampleRate(), 48000.0);
  EXPECT_EQ(processor.GetBlockSize(), 0);
  EXPECT_FALSE(processor.GetBypassed());
  EXPECT_EQ(processor.GetTransport().tempo, 120.0);
  EXPECT_EQ(processor.GetTransport().samplePos, -1.0);
}
