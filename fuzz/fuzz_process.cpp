// A host's calls on the processing side in any order: bus arrangements of
// any kind, bus activation, processing setups with any sample size, block
// size and rate, activation, and process() with buffers of any shape (bus and
// channel counts, missing channel pointers, more frames than announced),
// parameter queues with any ids and values, events and process contexts,
// with state saves, controller edits and re-initialization in between.
//
// Promises checked: the reported latency is 0 or 64, the meter readings lie
// in [0, 1.1], and a block of finite input processed with the plug-in on
// gives finite output; beyond that, nothing crashes, reads or writes out of
// bounds or runs into undefined behaviour.

#include "FuzzHost.h"

#include "public.sdk/source/vst/hosting/eventlist.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <limits>

namespace Vst = Steinberg::Vst;

namespace {

constexpr int kMaxFrames = 2048;

double AnyValue(FuzzedDataProvider& input)
{
  static const double kSpecial[] = {0.0,
                                    1.0,
                                    0.5,
                                    -1.0,
                                    2.0,
                                    1e300,
                                    -1e300,
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::denorm_min()};
  const int choice = input.ConsumeIntegralInRange<int>(0, 15);
  if (choice < static_cast<int>(sizeof(kSpecial) / sizeof(kSpecial[0])))
    return kSpecial[choice];
  return choice == 15 ? input.ConsumeFloatingPoint<double>() : input.ConsumeProbability<double>();
}

Vst::SpeakerArrangement AnyArrangement(FuzzedDataProvider& input)
{
  static const Vst::SpeakerArrangement kCommon[] = {0, 0x80000, 0x3, 0x7, 0xF00000, 0x3F};
  const int choice = input.ConsumeIntegralInRange<int>(0, 6);
  return choice < 6 ? kCommon[choice] : input.ConsumeIntegral<Vst::SpeakerArrangement>();
}

double AnySampleRate(FuzzedDataProvider& input)
{
  static const double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0, 22050.0, 384000.0, 8000.0, 11025.0};
  constexpr int kListed = static_cast<int>(sizeof(kRates) / sizeof(kRates[0]));
  const int choice = input.ConsumeIntegralInRange<int>(0, kListed + 1);
  if (choice < kListed)
    return kRates[choice];
  return choice == kListed ? AnyValue(input) : input.ConsumeFloatingPointInRange<double>(1.0, 1e6);
}

// Host buffers for one block: every bus's channel array sized by its count.
struct Buffers
{
  std::vector<std::vector<float>> samples32;
  std::vector<std::vector<double>> samples64;
  std::vector<std::vector<float*>> pointers32;
  std::vector<std::vector<double*>> pointers64;
  std::vector<Vst::AudioBusBuffers> buses;

  void Make(FuzzedDataProvider& input, int nBuses, int nFrames, bool is64, bool fillFromInput)
  {
    buses.assign(static_cast<size_t>(nBuses), Vst::AudioBusBuffers{});
    for (int b = 0; b < nBuses; ++b)
    {
      const int nChannels = input.ConsumeIntegralInRange<int>(0, 4);
      const bool noArray = input.ConsumeIntegralInRange<int>(0, 15) == 0;
      pointers32.emplace_back(static_cast<size_t>(nChannels), nullptr);
      pointers64.emplace_back(static_cast<size_t>(nChannels), nullptr);
      for (int c = 0; c < nChannels; ++c)
      {
        if (input.ConsumeIntegralInRange<int>(0, 31) == 0)
          continue;  // a missing channel pointer
        samples32.emplace_back(static_cast<size_t>(nFrames), 0.f);
        samples64.emplace_back(static_cast<size_t>(nFrames), 0.0);
        if (fillFromInput)
        {
          const double level = AnyValue(input);
          for (int n = 0; n < nFrames; ++n)
          {
            const double v = (n & 8) ? level : -level;
            samples32.back()[n] = std::isfinite(v) && std::fabs(v) > 1e30 ? 1e30f : static_cast<float>(v);
            samples64.back()[n] = v;
          }
        }
        pointers32.back()[c] = samples32.back().data();
        pointers64.back()[c] = samples64.back().data();
      }
      buses[b].numChannels = nChannels;
      if (!noArray)
      {
        if (is64)
          buses[b].channelBuffers64 = pointers64.back().data();
        else
          buses[b].channelBuffers32 = pointers32.back().data();
      }
    }
  }

  bool AllFinite(bool is64) const
  {
    if (is64)
    {
      for (const auto& ch : samples64)
        for (double v : ch)
          if (!std::isfinite(v) || std::fabs(v) > 1e30)
            return false;
    }
    else
    {
      for (const auto& ch : samples32)
        for (float v : ch)
          if (!std::isfinite(v))
            return false;
    }
    return true;
  }
};

class Session
{
public:
  Session(FuzzedDataProvider& input)
    : mInput(input), mKorvel(std::make_unique<FuzzKorvel>(FuzzHostName(input.ConsumeIntegralInRange<int>(0, 7))))
  {
  }

  void Run()
  {
    for (int step = 0; step < 48 && mInput.remaining_bytes() > 0; ++step)
    {
      switch (mInput.ConsumeIntegralInRange<int>(0, 11))
      {
      case 0: SetBusArrangements(); break;
      case 1: ActivateBus(); break;
      case 2: SetupProcessing(); break;
      case 3: Plugin().setActive(mInput.ConsumeBool()); break;
      case 4: Plugin().setProcessing(mInput.ConsumeBool()); break;
      case 5: SetParamNormalized(); break;
      case 6: SaveAndLoad(); break;
      case 7: Reinitialize(); break;
      default: Process(); break;
      }
      const Steinberg::uint32 latency = Plugin().getLatencySamples();
      FUZZ_CHECK(latency == 0 || latency == 64, "latency %u", latency);
    }
  }

private:
  KORVEL& Plugin() { return *mKorvel->plugin; }

  void SetBusArrangements()
  {
    const int nIns = mInput.ConsumeIntegralInRange<int>(-1, 3);
    const int nOuts = mInput.ConsumeIntegralInRange<int>(-1, 2);
    std::vector<Vst::SpeakerArrangement> ins(4), outs(4);
    for (auto& a : ins)
      a = AnyArrangement(mInput);
    for (auto& a : outs)
      a = AnyArrangement(mInput);
    const bool nullArrays = mInput.ConsumeIntegralInRange<int>(0, 15) == 0;
    Plugin().setBusArrangements(nullArrays ? nullptr : ins.data(), nIns, nullArrays ? nullptr : outs.data(), nOuts);
  }

  void ActivateBus()
  {
    const auto type = mInput.ConsumeBool() ? Vst::kAudio : Vst::kEvent;
    const auto direction = mInput.ConsumeBool() ? Vst::kInput : Vst::kOutput;
    Plugin().activateBus(type, direction, mInput.ConsumeIntegralInRange<int>(-1, 3), mInput.ConsumeBool());
  }

  void SetupProcessing()
  {
    Vst::ProcessSetup setup{};
    setup.processMode = mInput.ConsumeIntegralInRange<int>(0, 3);
    setup.symbolicSampleSize = mInput.ConsumeIntegralInRange<int>(-1, 2);
    setup.maxSamplesPerBlock = mInput.ConsumeBool() ? mInput.ConsumeIntegralInRange<int>(0, kMaxFrames)
                                                    : mInput.ConsumeIntegral<int>();
    setup.sampleRate = AnySampleRate(mInput);
    if (Plugin().setupProcessing(setup) == Steinberg::kResultOk)
      mSetup = setup;
  }

  void SetParamNormalized()
  {
    const int id = mInput.ConsumeIntegralInRange<int>(-1, kNumKorvelParams + 1);
    Plugin().setParamNormalized(id < 0 ? plug::kBypassParamID : static_cast<Vst::ParamID>(id), AnyValue(mInput));
  }

  void SaveAndLoad()
  {
    auto stream = Steinberg::owned(new TestStream());
    if (Plugin().getState(stream) != Steinberg::kResultOk)
      return;
    stream->position = 0;
    stream->readLimit = mInput.ConsumeIntegralInRange<int>(1, 300);
    FUZZ_CHECK(Plugin().setState(stream) == Steinberg::kResultOk,
               "a saved state of %zu bytes does not load (%d bytes per read, host code %d)", stream->data.size(),
               static_cast<int>(stream->readLimit), static_cast<int>(Plugin().GetHost()));
    FUZZ_CHECK(stream->misuses == 0, "the plug-in called the host's stream with a null buffer or a negative size");
  }

  void Reinitialize()
  {
    if (mInput.ConsumeBool())
    {
      Plugin().terminate();
      FUZZ_CHECK(Plugin().initialize(mKorvel->host->unknownCast()) == Steinberg::kResultOk, "initialize again");
    }
    else
      mKorvel = std::make_unique<FuzzKorvel>(FuzzHostName(mInput.ConsumeIntegralInRange<int>(0, 7)));
  }

  void AddParameterChanges(Vst::ParameterChanges& changes)
  {
    const int nQueues = mInput.ConsumeIntegralInRange<int>(0, 6);
    for (int q = 0; q < nQueues; ++q)
    {
      Vst::ParamID id;
      const int kind = mInput.ConsumeIntegralInRange<int>(0, 5);
      if (kind < 3)
        id = mInput.ConsumeIntegralInRange<Vst::ParamID>(0, kNumKorvelParams + 1);
      else if (kind == 3)
        id = plug::kBypassParamID;
      else
        id = mInput.ConsumeIntegral<Vst::ParamID>();
      Steinberg::int32 index = 0;
      Vst::IParamValueQueue* queue = changes.addParameterData(id, index);
      if (!queue)
        continue;
      const int nPoints = mInput.ConsumeIntegralInRange<int>(0, 3);
      for (int p = 0; p < nPoints; ++p)
        queue->addPoint(mInput.ConsumeIntegralInRange<int>(-1, kMaxFrames), AnyValue(mInput), index);
    }
  }

  void Process()
  {
    const bool is64 = mInput.ConsumeBool() ? mSetup.symbolicSampleSize == Vst::kSample64 : mInput.ConsumeBool();
    const int nFrames = mInput.ConsumeIntegralInRange<int>(0, kMaxFrames);
    const int nIns = mInput.ConsumeIntegralInRange<int>(0, 3);
    const int nOuts = mInput.ConsumeIntegralInRange<int>(0, 2);

    Buffers ins, outs;
    ins.Make(mInput, nIns, nFrames, is64, true);
    outs.Make(mInput, nOuts, nFrames, is64, false);

    Vst::ParameterChanges changes(8);
    AddParameterChanges(changes);
    Vst::EventList events(8);
    for (int e = mInput.ConsumeIntegralInRange<int>(0, 3); e > 0; --e)
    {
      Vst::Event event{};
      event.type = mInput.ConsumeIntegralInRange<Steinberg::uint16>(0, 10);
      event.sampleOffset = mInput.ConsumeIntegral<Steinberg::int32>();
      event.noteOn.pitch = mInput.ConsumeIntegral<Steinberg::int16>();
      events.addEvent(event);
    }
    Vst::ProcessContext context{};
    context.state = mInput.ConsumeIntegral<Steinberg::uint32>();
    context.sampleRate = AnySampleRate(mInput);
    context.tempo = AnyValue(mInput);
    context.projectTimeSamples = mInput.ConsumeIntegral<Steinberg::int64>();
    context.timeSigNumerator = mInput.ConsumeIntegral<Steinberg::int32>();

    Vst::ProcessData data{};
    data.processMode = mSetup.processMode;
    data.symbolicSampleSize = mInput.ConsumeIntegralInRange<int>(0, 15) == 0 ? mInput.ConsumeIntegral<Steinberg::int32>()
                                                                            : (is64 ? Vst::kSample64 : Vst::kSample32);
    data.numSamples = nFrames;
    data.numInputs = nIns;
    data.numOutputs = nOuts;
    data.inputs = nIns > 0 ? ins.buses.data() : nullptr;
    data.outputs = nOuts > 0 ? outs.buses.data() : nullptr;
    data.inputParameterChanges = mInput.ConsumeBool() ? &changes : nullptr;
    data.inputEvents = mInput.ConsumeBool() ? &events : nullptr;
    data.processContext = mInput.ConsumeBool() ? &context : nullptr;

    const bool wasBypassed = Plugin().GetBypassed();
    FUZZ_CHECK(Plugin().process(data) == Steinberg::kResultOk, "process");

    for (int meter : {kMeterInt, kMeterExt})
    {
      const double reading = Plugin().getLastEditorValue(meter);
      FUZZ_CHECK(reading >= 0.0 && reading <= 1.1, "meter %d reads %g", meter, reading);
    }
    // Finite input, the plug-in on and a valid setup: finite output.
    const plug::IParam& power = *Plugin().GetParameter(kPower);
    const bool processing = !wasBypassed && !Plugin().GetBypassed() && power.GetPlain() == 1.0 &&
                            Plugin().GetBlockSize() > 0 && std::isfinite(Plugin().GetSampleRate()) &&
                            Plugin().GetSampleRate() >= 8000.0 && Plugin().GetSampleRate() <= 1e6 &&
                            (data.symbolicSampleSize == Vst::kSample32 || data.symbolicSampleSize == Vst::kSample64);
    if (processing && ins.AllFinite(is64) && !data.inputParameterChanges)
    {
      for (size_t ch = 0; ch < outs.samples64.size(); ++ch)
        for (int n = 0; n < nFrames; ++n)
        {
          const double v = is64 ? outs.samples64[ch][n] : outs.samples32[ch][n];
          FUZZ_CHECK(std::isfinite(v), "output channel %zu frame %d is %g", ch, n, v);
        }
    }
  }

  FuzzedDataProvider& mInput;
  std::unique_ptr<FuzzKorvel> mKorvel;
  Vst::ProcessSetup mSetup{Vst::kRealtime, Vst::kSample32, 0, 48000.0};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzedDataProvider input(data, size);
  Session session(input);
  session.Run();
  return 0;
}
