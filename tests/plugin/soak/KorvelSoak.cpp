// Automation soak: KORVEL driven through its VST3 interfaces for a given
// amount of audio with random automation (extreme and non-finite values
// included, also as plain values in loaded states), random block sizes
// 1..4096, Power, oversampling, bypass and side-chain toggles, bus layouts,
// sample-rate changes with re-activation, and input that is silence,
// full-scale squares, DC, noise or bursts of NaN and infinity.
//
// Checked after every block: the output is finite and within +-16 while the
// plug-in processes (bypassed or switched off it passes the input, which is
// finite again at most 64 samples after a burst ends), the meters read
// within [0, 1.1], and the latency is 0 or 64.
//
// Usage: korvel-soak [--audio-hours H] [--seed S]
//   H: hours of audio, counted as frames at 48 kHz (default 0.01)
// Prints the figures and exits non-zero after the first failed check.

#include "KorvelHostRig.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

namespace {

namespace Vst = Steinberg::Vst;

// The saturator stops at 10^0.85 (about 7.08); the DC-blocking output
// filter can double that for a moment when the signal swings from one end
// to the other after resting at it, and the halfband filters ripple a little.
constexpr double kOutputBound = 16.0;
constexpr int kMaxBlock = 4096;
constexpr int kLatency = 64;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

enum ESignal
{
  kSilence,
  kSquare,
  kDC,
  kNoise,
  kSine,
  kBurst,
  kNumSignals
};

struct Figures
{
  long long frames = 0;
  double audioSeconds = 0.0;
  long long blocks = 0;
  long long sessions = 0;
  long long bursts = 0;
  long long stateLoads = 0;
  double largestOutput = 0.0;
  double largestMeter = 0.0;
};

class Soak
{
public:
  Soak(uint64_t seed) : mRandom(seed) {}

  bool Run(long long targetFrames, Figures& figures)
  {
    const double rates[] = {8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0};
    const int maxBlocks[] = {64, 256, 512, 1024, 4096};
    while (figures.frames < targetFrames)
    {
      // A new setup: layout, side-chain, sample size, rate and block size, then re-activation.
      const rig::Layout& layout = mLayouts[static_cast<size_t>(mRandom.Below(static_cast<int>(mLayouts.size())))];
      const bool sideChain = mRandom.Below(2) == 1;
      const Steinberg::int32 sampleSize = mRandom.Below(2) ? Vst::kSample64 : Vst::kSample32;
      mRate = rates[mRandom.Below(static_cast<int>(std::size(rates)))];
      const int maxBlock = maxBlocks[mRandom.Below(5)];
      mHost.plugin->setProcessing(false);
      if (!mHost.Configure(layout, sideChain, sampleSize, mRate, maxBlock))
        return Fail("the plug-in refused a setup it offers");
      mHost.plugin->setProcessing(true);
      ++figures.sessions;

      const int blocks = 20 + mRandom.Below(400);
      for (int b = 0; b < blocks && figures.frames < targetFrames; ++b)
      {
        const int nFrames = 1 + mRandom.Below(maxBlock);
        if (!Block(nFrames, figures))
          return false;
      }
      if (figures.frames >= mNextReport)
      {
        std::printf("korvel-soak: %.2f audio-hours at 48 kHz done after %.0f s\n", figures.frames / 48000.0 / 3600.0,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - mStart).count());
        std::fflush(stdout);
        mNextReport += kReportFrames;
      }
    }
    return true;
  }

  const std::string& Failure() const { return mFailure; }

private:
  bool Fail(const std::string& what)
  {
    mFailure = what;
    return false;
  }

  double AutomationValue()
  {
    switch (mRandom.Below(16))
    {
    case 0: return 0.0;
    case 1: return 1.0;
    case 2: return -1e300;
    case 3: return 1e300;
    case 4: return kNaN;
    case 5: return kInf;
    case 6: return -kInf;
    case 7: return -0.5;
    case 8: return 1.5;
    default: return mRandom.Unit();
    }
  }

  double PlainValue()
  {
    switch (mRandom.Below(10))
    {
    case 0: return kNaN;
    case 1: return kInf;
    case 2: return -kInf;
    case 3: return 1e308;
    case 4: return -1e308;
    case 5: return static_cast<double>(mRandom.Below(3));
    default: return (mRandom.Unit() - 0.5) * 2000.0;
    }
  }

  // A state image of the plug-in with random plain values, as a damaged or
  // foreign project could hold them.
  void LoadRandomState()
  {
    std::vector<uint8_t> bytes;
    auto put = [&bytes](const void* p, size_t n) {
      const auto* b = static_cast<const uint8_t*>(p);
      bytes.insert(bytes.end(), b, b + n);
    };
    const int32_t size[2] = {998, 386};
    const float scale = 1.f;
    put(size, sizeof(size));
    put(&scale, sizeof(scale));
    for (int i = 0; i < kNumKorvelParams; ++i)
    {
      const double v = mRandom.Below(3) ? PlainValue() : mHost.plugin->GetParameter(i)->GetPlain();
      put(&v, sizeof(v));
    }
    const int32_t bypass = mRandom.Below(2);
    put(&bypass, sizeof(bypass));
    mHost.LoadState(bytes);
  }

  void QueueAutomation(int nFrames)
  {
    for (int n = mRandom.Below(4); n > 0; --n)
      mHost.Change(static_cast<Vst::ParamID>(mRandom.Below(kNumKorvelParams)), AutomationValue(),
                   mRandom.Below(nFrames));
    // The switches that reshape the processing.
    if (mRandom.Below(8) == 0)
      mHost.Change(kPower, mRandom.Below(6) ? 1.0 : 0.0);
    if (mRandom.Below(8) == 0)
      mHost.Change(kOversampling, mRandom.Below(2));
    if (mRandom.Below(8) == 0)
      mHost.Change(kExternalSidechain, mRandom.Below(2));
    if (mRandom.Below(12) == 0)
      mHost.Change(plug::kBypassParamID, mRandom.Below(4) ? 0.0 : 1.0);
    if (mRandom.Below(10) == 0)
      mHost.Change(static_cast<Vst::ParamID>(kVcaInt + mRandom.Below(6)), mRandom.Below(2));
  }

  // The next stretch of input: its kind, length, level and period.
  void NextStretch(Figures& figures)
  {
    mSignal = static_cast<ESignal>(mRandom.Below(kNumSignals));
    mRemaining = 1 + mRandom.Below(mSignal == kBurst ? 2000 : 40000);
    mLevel = mRandom.Below(3) ? 1.0 : mRandom.Unit();
    mPeriod = 2 + mRandom.Below(2000);
    figures.bursts += mSignal == kBurst;
  }

  // Fills the inputs and returns whether any sample is not finite.
  bool FillInput(int nFrames, Figures& figures)
  {
    bool nonFinite = false;
    for (int n = 0; n < nFrames; ++n, ++mPhase, --mRemaining)
    {
      if (mRemaining <= 0)
        NextStretch(figures);
      double v = 0.0;
      switch (mSignal)
      {
      case kSilence: v = 0.0; break;
      case kSquare: v = (mPhase / (mPeriod / 2 + 1)) % 2 ? mLevel : -mLevel; break;
      case kDC: v = mLevel; break;
      case kNoise: v = mLevel * (2.0 * mRandom.Unit() - 1.0); break;
      case kSine: v = mLevel * std::sin(6.283185307179586 * static_cast<double>(mPhase % mPeriod) / mPeriod); break;
      case kBurst:
      {
        static const double kBad[] = {kNaN, kInf, -kInf, 1.0};
        v = kBad[mRandom.Below(4)];
        break;
      }
      default: break;
      }
      nonFinite |= !std::isfinite(v);
      for (int bus = 0; bus < mHost.data.numInputs; ++bus)
        for (int ch = 0; ch < mHost.data.inputs[bus].numChannels; ++ch)
          mHost.SetInput(bus, ch, n, bus == 0 ? v : (ch ? -v : v));
    }
    return nonFinite;
  }

  bool Block(int nFrames, Figures& figures)
  {
    QueueAutomation(nFrames);
    if (mRandom.Below(500) == 0)
    {
      LoadRandomState();
      ++figures.stateLoads;
    }
    const bool nonFinite = FillInput(nFrames, figures);
    // Frames since the last non-finite input sample, at the start of this block.
    const long long cleanBefore = mCleanFrames;
    mCleanFrames = nonFinite ? 0 : mCleanFrames + nFrames;

    if (mHost.Process(nFrames) != Steinberg::kResultOk)
      return Fail("process failed");
    ++figures.blocks;
    figures.frames += nFrames;
    figures.audioSeconds += nFrames / mRate;

    KORVEL& plugin = *mHost.plugin;
    const bool processing = !plugin.GetBypassed() && plugin.GetParameter(kPower)->GetPlain() == 1.0;
    const bool inputClean = !nonFinite && cleanBefore >= kLatency;
    const int nOut = mHost.data.outputs[0].numChannels;
    for (int ch = 0; ch < nOut; ++ch)
      for (int n = 0; n < nFrames; ++n)
      {
        const double v = mHost.Output(ch, n);
        if (processing || inputClean)
        {
          if (!std::isfinite(v) || std::fabs(v) > kOutputBound)
            return Fail("output " + std::to_string(v) + " at frame " + std::to_string(n) + " of a block of " +
                        std::to_string(nFrames) + (processing ? " (processing" : " (passing through") +
                        ", clean input for " + std::to_string(cleanBefore) + " frames before the block, " +
                        std::to_string(mRate) + " Hz)");
          figures.largestOutput = std::max(figures.largestOutput, std::fabs(v));
        }
      }
    for (int meter : {kMeterInt, kMeterExt})
    {
      const double reading = plugin.getLastEditorValue(meter);
      if (!(reading >= 0.0 && reading <= 1.1))
        return Fail("meter " + std::to_string(meter) + " reads " + std::to_string(reading));
      figures.largestMeter = std::max(figures.largestMeter, reading);
    }
    const Steinberg::uint32 latency = plugin.getLatencySamples();
    if (latency != 0 && latency != kLatency)
      return Fail("latency " + std::to_string(latency));
    return true;
  }

  static constexpr long long kReportFrames = 48000LL * 3600;  // one audio-hour

  rig::Random mRandom;
  rig::Host mHost;
  const std::chrono::steady_clock::time_point mStart = std::chrono::steady_clock::now();
  long long mNextReport = kReportFrames;
  const std::vector<rig::Layout> mLayouts = rig::KorvelLayouts(*mHost.plugin);
  double mRate = 48000.0;
  ESignal mSignal = kSilence;
  long long mRemaining = 0;
  long long mPhase = 0;
  long long mCleanFrames = 1 << 30;
  double mLevel = 1.0;
  int mPeriod = 100;
  std::string mFailure;
};

} // namespace

int main(int argc, char** argv)
{
  double hours = 0.01;
  uint64_t seed = 1;
  for (int i = 1; i < argc; ++i)
  {
    const std::string arg = argv[i];
    if (arg == "--audio-hours" && i + 1 < argc)
      hours = std::strtod(argv[++i], nullptr);
    else if (arg == "--seed" && i + 1 < argc)
      seed = std::strtoull(argv[++i], nullptr, 10);
    else
    {
      std::fprintf(stderr, "usage: korvel-soak [--audio-hours H] [--seed S]\n");
      return 2;
    }
  }
  if (!(hours > 0.0 && hours < 1000.0))
  {
    std::fprintf(stderr, "korvel-soak: --audio-hours takes a number of hours above 0\n");
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  Figures figures;
  Soak soak(seed);
  const bool passed = soak.Run(static_cast<long long>(hours * 3600.0 * 48000.0), figures);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("korvel-soak: seed %llu, %lld frames = %.3f audio-hours at 48 kHz (%.3f h at the rates used), "
              "%lld blocks in %lld setups, %lld non-finite bursts, %lld damaged states loaded\n",
              static_cast<unsigned long long>(seed), figures.frames, figures.frames / 48000.0 / 3600.0,
              figures.audioSeconds / 3600.0, figures.blocks, figures.sessions, figures.bursts, figures.stateLoads);
  std::printf("korvel-soak: largest output %.4f, largest meter reading %.4f, wall time %.1f s (%.0fx real time)\n",
              figures.largestOutput, figures.largestMeter, wall, wall > 0.0 ? figures.audioSeconds / wall : 0.0);
  if (!passed)
  {
    std::printf("korvel-soak: FAILED after block %lld: %s\n", figures.blocks, soak.Failure().c_str());
    return 1;
  }
  std::printf("korvel-soak: passed\n");
  return 0;
}
