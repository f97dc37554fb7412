// The channel I/O text a plug-in declares its layouts with: the processor
// parses it at construction, then its layout queries, block-size changes and
// the bypassed pass-through run on whatever came out.
//
// Promises checked: every layout is found again by its own channel counts,
// the layout queries agree with the layouts, and the channel records and
// pointer arrays have room for every channel a layout can use.

#include "FuzzHost.h"

#include "plug/IPluginProcessor.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzedDataProvider input(data, size);
  const int blockSize = input.ConsumeIntegralInRange<int>(0, 64);
  const int latency = input.ConsumeIntegralInRange<int>(0, 300);
  const std::string text = input.ConsumeRemainingBytesAsString();

  plug::IPluginDefinition definition;
  definition.channelIO = text.c_str();
  definition.latency = latency;
  plug::IPluginProcessor processor(definition);

  int mostInputs[2] = {0, 0};
  for (int i = 0; i < processor.NIOConfigs(); ++i)
  {
    const plug::IChannelLayout& layout = processor.GetIOConfig(i);
    std::vector<int> counts[2];
    for (plug::ERoute direction : {plug::kInput, plug::kOutput})
    {
      int total = 0;
      for (const plug::IBusLayout& bus : layout.Buses(direction))
      {
        FUZZ_CHECK(bus.direction == direction, "bus of layout %d in the wrong direction", i);
        FUZZ_CHECK(bus.channels != 0, "layout %d has a bus without channels", i);
        counts[direction].push_back(bus.channels);
        if (bus.channels > 0)
          total += bus.channels;
      }
      FUZZ_CHECK(total <= processor.NChannels(direction), "layout %d uses %d channels of %d", i, total,
                 processor.NChannels(direction));
      mostInputs[direction] = std::max(mostInputs[direction], static_cast<int>(counts[direction].size()));
    }
    const int found = processor.FindLayoutForChannelCounts(counts[0].data(), static_cast<int>(counts[0].size()),
                                                           counts[1].data(), static_cast<int>(counts[1].size()));
    FUZZ_CHECK(found >= 0 && found <= i, "layout %d is found as %d", i, found);
  }
  FUZZ_CHECK(processor.MostBuses(plug::kInput) == mostInputs[0], "most input buses");
  FUZZ_CHECK(processor.MostBuses(plug::kOutput) == mostInputs[1], "most output buses");
  const int widest = processor.WidestFirstInputBus();
  FUZZ_CHECK(widest >= -1 && widest <= processor.NChannels(plug::kInput), "widest first input bus %d", widest);

  // The bypassed block in the processor's own buffers, with and without latency.
  processor.ChangeBlockSize(blockSize);
  for (plug::ERoute direction : {plug::kInput, plug::kOutput})
    for (int ch = 0; ch < processor.NChannels(direction); ++ch)
    {
      plug::IChannelSlot& slot = processor.Channel(direction, ch);
      slot.PointAtScratch();
      std::fill(slot.scratch.begin(), slot.scratch.end(), 1.0 + ch);
    }
  processor.PassThrough(blockSize);
  processor.ChangeLatency(0);
  processor.PassThrough(blockSize);
  processor.ProcessAudio(processor.ChannelPointers(plug::kInput), processor.ChannelPointers(plug::kOutput), blockSize);
  return 0;
}
