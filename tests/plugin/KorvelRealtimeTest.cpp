// The audio thread never allocates, frees or locks: a whole host-like run
// (every bus layout with and without the side-chain, both sample sizes,
// several sample rates, parameter automation with switches, extremes and
// bypass, blocks of every size) while the user-interface thread saves and
// loads the state and edits parameters. The interposer counts what the
// audio thread calls; the setup calls a host makes while processing is
// stopped are not counted.

#include "KorvelHostRig.h"
#include "RealtimeInterposer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace {

// Keeps the compiler from eliding an allocation the test makes on purpose.
void* volatile gSink = nullptr;

TEST(KorvelRealtime, TheInterposerSeesEveryKindOnCountedThreadsOnly)
{
  realtime::Reset();
  std::thread other([] {
    gSink = std::malloc(24);
    std::free(gSink);
    std::mutex m;
    std::lock_guard<std::mutex> lock(m);
  });
  other.join();
  EXPECT_EQ(realtime::Current().Total(), 0) << "an uncounted thread was counted";

  {
    realtime::CountingScope scope;
    gSink = std::malloc(24);
    gSink = std::realloc(gSink, 48);
    std::free(gSink);
    gSink = new int(3);
    delete static_cast<int*>(gSink);
    std::mutex m;
    m.lock();
    m.unlock();
    std::shared_mutex shared;
    shared.lock_shared();
    shared.unlock_shared();
  }
  const realtime::Counts counts = realtime::Current();
  EXPECT_GE(counts.mallocs, 2) << counts.Describe();
  EXPECT_GE(counts.frees, 1) << counts.Describe();
  EXPECT_GE(counts.news, 1) << counts.Describe();
  EXPECT_GE(counts.deletes, 1) << counts.Describe();
  EXPECT_GE(counts.locks, 2) << counts.Describe();
}

// Normalized values a host's automation sends, extremes and non-finite ones included.
double AutomationValue(rig::Random& random)
{
  switch (random.Below(12))
  {
  case 0: return 0.0;
  case 1: return 1.0;
  case 2: return -3.0;
  case 3: return 7.0;
  case 4: return std::numeric_limits<double>::quiet_NaN();
  case 5: return std::numeric_limits<double>::infinity();
  default: return random.Unit();
  }
}

void QueueAutomation(rig::Host& host, rig::Random& random, int maxOffset)
{
  for (int n = random.Below(5); n > 0; --n)
  {
    const int choice = random.Below(kNumKorvelParams + 4);
    const auto id = choice >= kNumKorvelParams ? plug::kBypassParamID : static_cast<Steinberg::Vst::ParamID>(choice);
    host.Change(id, AutomationValue(random), random.Below(maxOffset + 1));
  }
  // The switches that reshape the processing, often.
  host.Change(kOversampling, random.Below(2), 0);
  host.Change(kExternalSidechain, random.Below(2), 0);
  host.Change(kFetInt + random.Below(5), random.Below(2), 0);
}

void FillInput(rig::Host& host, rig::Random& random, int nFrames)
{
  const bool burst = random.Below(8) == 0;
  for (int bus = 0; bus < host.data.numInputs; ++bus)
    for (int ch = 0; ch < host.data.inputs[bus].numChannels; ++ch)
      for (int n = 0; n < nFrames; ++n)
      {
        double v = (n / 40) % 2 ? 0.9 : -0.9;
        if (burst && n % 7 == 0)
          v = std::numeric_limits<double>::quiet_NaN();
        host.SetInput(bus, ch, n, v * random.Unit());
      }
}

TEST(KorvelRealtime, AWholeHostRunNeverAllocatesOrLocksOnTheAudioThread)
{
  rig::Host host;
  ASSERT_TRUE(host.ok);
  const std::vector<rig::Layout> layouts = rig::KorvelLayouts(*host.plugin);
  ASSERT_EQ(layouts.size(), 8u);
  const double rates[] = {44100.0, 48000.0, 96000.0, 192000.0};
  constexpr int kMaxBlock = 512;
  constexpr int kBlocks = 48;

  realtime::Reset();
  int runs = 0;
  std::vector<uint8_t> state = host.SaveState();
  for (size_t l = 0; l < layouts.size(); ++l)
  {
    for (bool sideChain : {false, true})
    {
      if (sideChain && layouts[l].inputs.size() < 2)
        continue;
      for (Steinberg::int32 sampleSize : {Steinberg::Vst::kSample32, Steinberg::Vst::kSample64})
      {
        const double rate = rates[runs % 4];
        ASSERT_TRUE(host.Configure(layouts[l], sideChain, sampleSize, rate, kMaxBlock))
          << "layout " << l << " side-chain " << sideChain;
        ++runs;
        std::atomic<bool> done{false};
        std::thread audio([&] {
          rig::Random random(1000 + runs);
          for (int b = 0; b < kBlocks; ++b)
          {
            // One block in ten is larger than announced: the binding slices it.
            const int nFrames = b % 10 == 9 ? kMaxBlock : 1 + random.Below(kMaxBlock);
            FillInput(host, random, nFrames);
            QueueAutomation(host, random, nFrames - 1);
            realtime::CountingScope scope;
            if (b == 0)
              host.plugin->setProcessing(true);
            host.Process(nFrames);
            if (b == kBlocks - 1)
              host.plugin->setProcessing(false);
          }
          done = true;
        });
        // Meanwhile the user-interface thread saves and loads and edits.
        rig::Random random(77 + runs);
        while (!done)
        {
          std::vector<uint8_t> saved = host.SaveState();
          if (!saved.empty())
            state = std::move(saved);
          if (random.Below(4) == 0)
            host.LoadState(state);
          host.plugin->setParamNormalized(static_cast<Steinberg::Vst::ParamID>(random.Below(kNumKorvelParams)),
                                          random.Unit());
          // The host loop's idle tick: latency restarts reach the host from here.
          TickIdleTimers();
          std::this_thread::yield();
        }
        audio.join();
        TickIdleTimers();
      }
    }
  }
  EXPECT_EQ(runs, 28);
  const realtime::Counts counts = realtime::Current();
  EXPECT_EQ(counts.Total(), 0) << "the audio thread made " << counts.Describe();
  EXPECT_GT(host.handler->restarts.load(), 0) << "the run never switched the latency";
}

} // namespace
