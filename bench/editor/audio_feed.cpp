#include "audio_feed.h"

#include "buses.h"

#include "public.sdk/source/vst/hosting/eventlist.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <chrono>
#include <cmath>
#include <stdexcept>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace editorbench {
namespace {

constexpr double kPi = 3.14159265358979323846;

float SampleAt(Signal signal, long frame)
{
  if (signal == Signal::Silence)
    return 0.f;
  const double t = static_cast<double>(frame) / AudioFeed::kSampleRate;
  double gainDb = -6.0;
  if (signal == Signal::Moving)
    gainDb = std::fmod(t, 0.8) < 0.4 ? -3.0 : -40.0;
  return static_cast<float>(std::pow(10.0, gainDb / 20.0) * std::sin(2.0 * kPi * 1000.0 * t));
}

} // namespace

AudioFeed::AudioFeed(korvel::render::Plugin& plugin, Signal signal) : mPlugin(plugin), mSignal(signal)
{
  korvel::render::arrangeBuses(plugin.component(), plugin.processor(), 2, 0);
  ProcessSetup setup{kRealtime, kSample32, kBlock, kSampleRate};
  if (plugin.processor().setupProcessing(setup) != kResultOk || plugin.component().setActive(true) != kResultOk)
    throw std::runtime_error(plugin.name() + " refuses real-time processing at 48 kHz");
  plugin.processor().setProcessing(true);
  mThread = std::thread([this] { Run(); });
}

AudioFeed::~AudioFeed()
{
  mStop = true;
  mThread.join();
  mPlugin.processor().setProcessing(false);
  mPlugin.component().setActive(false);
}

void AudioFeed::Publish(ParamID id, double value)
{
  const int used = mUsedSlots.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i)
    if (mSlots[i].id.load(std::memory_order_relaxed) == id)
    {
      mSlots[i].value.store(value, std::memory_order_relaxed);
      mSlots[i].fresh.store(true, std::memory_order_release);
      return;
    }
  if (used == static_cast<int>(mSlots.size()))
    return;
  mSlots[used].id.store(id, std::memory_order_relaxed);
  mSlots[used].value.store(value, std::memory_order_relaxed);
  mSlots[used].fresh.store(true, std::memory_order_relaxed);
  mUsedSlots.store(used + 1, std::memory_order_release);
}

void AudioFeed::ForwardToController()
{
  const int used = mUsedSlots.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i)
    if (mSlots[i].fresh.exchange(false, std::memory_order_acquire))
      mPlugin.controller().setParamNormalized(mSlots[i].id.load(std::memory_order_relaxed),
                                              mSlots[i].value.load(std::memory_order_relaxed));
}

void AudioFeed::Run()
{
  HostProcessData data;
  data.prepare(mPlugin.component(), kBlock, kSample32);
  ParameterChanges inputChanges, outputChanges;
  EventList inputEvents, outputEvents;
  ProcessContext context{};
  context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid;
  context.sampleRate = kSampleRate;
  context.tempo = 120.0;
  data.processMode = kRealtime;
  data.numSamples = kBlock;
  data.inputParameterChanges = &inputChanges;
  data.outputParameterChanges = &outputChanges;
  data.inputEvents = &inputEvents;
  data.outputEvents = &outputEvents;
  data.processContext = &context;

  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kBlock / kSampleRate));
  Clock::time_point next = Clock::now();
  long frame = 0;
  while (!mStop.load())
  {
    for (int32 b = 0; b < data.numInputs; ++b)
      for (int32 c = 0; c < data.inputs[b].numChannels; ++c)
        for (int i = 0; i < kBlock; ++i)
          data.inputs[b].channelBuffers32[c][i] = b == 0 ? SampleAt(mSignal, frame + i) : 0.f;
    context.projectTimeSamples = frame;
    outputChanges.clearQueue();
    mPlugin.processor().process(data);
    for (int32 q = 0; q < outputChanges.getParameterCount(); ++q)
    {
      IParamValueQueue* queue = outputChanges.getParameterData(q);
      int32 offset = 0;
      ParamValue value = 0.0;
      if (queue && queue->getPointCount() > 0 && queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
        Publish(queue->getParameterId(), value);
    }
    frame += kBlock;
    ++mBlocks;
    next += period;
    std::this_thread::sleep_until(next);
  }
}

} // namespace editorbench
