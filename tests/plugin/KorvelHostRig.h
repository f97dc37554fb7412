#pragma once

// KORVEL driven through its VST3 interfaces the way a host drives it: bus
// arrangements of every layout the plug-in offers, bus activation, setup
// and activation, host buffers of either sample size, parameter queues
// (bypass included), state saves and loads. The host objects never allocate
// or lock while the plug-in calls them from the audio thread.

#include "plug/vst3/VST3Sdk.h"

#include "KORVEL.h"
#include "TestHost.h"

#include "pluginterfaces/vst/ivsthostapplication.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace rig {

namespace Vst = Steinberg::Vst;

/** One bus layout of the plug-in, as speaker arrangements a host asks for. */
struct Layout
{
  std::vector<Vst::SpeakerArrangement> inputs;
  std::vector<Vst::SpeakerArrangement> outputs;
};

/** The plug-in's layouts "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2", from its own declaration. */
inline std::vector<Layout> KorvelLayouts(const KORVEL& plugin)
{
  auto arrangement = [](int channels) { return channels == 1 ? Vst::SpeakerArr::kMono : Vst::SpeakerArr::kStereo; };
  std::vector<Layout> layouts;
  for (int i = 0; i < plugin.NIOConfigs(); ++i)
  {
    Layout layout;
    for (const plug::IBusLayout& bus : plugin.GetIOConfig(i).inputs)
      layout.inputs.push_back(arrangement(bus.channels));
    for (const plug::IBusLayout& bus : plugin.GetIOConfig(i).outputs)
      layout.outputs.push_back(arrangement(bus.channels));
    layouts.push_back(layout);
  }
  return layouts;
}

/** A KORVEL instance owned by a host, with the host's buffers and parameter queues for one block. */
class Host
{
public:
  /** On Linux, a host that offers no run loop leaves the idle work to the module's idle thread. */
  explicit Host(bool offersRunLoop = true)
    : plugin(new KORVEL(plug::InstanceInfo{}))
    , app(Steinberg::owned(new TestHostApp(u"Rig Host")))
    , handler(Steinberg::owned(new CountingComponentHandler()))
  {
    app->offersRunLoop = offersRunLoop;
    ok = plugin->initialize(app->unknownCast()) == Steinberg::kResultOk;
    plugin->setComponentHandler(handler);
  }
  ~Host()
  {
    data.unprepare();
    plugin->terminate();
    plugin->release();
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  /**
   * Stops processing, applies the layout (the side-chain bus active or not),
   * sets up and activates again. Host buffers for blocks of up to maxBlock
   * frames. False when the plug-in refuses a step.
   */
  bool Configure(const Layout& layout, bool sideChain, Steinberg::int32 sampleSize, double sampleRate, int maxBlock)
  {
    plugin->setActive(false);
    std::vector<Vst::SpeakerArrangement> ins = layout.inputs, outs = layout.outputs;
    if (plugin->setBusArrangements(ins.data(), static_cast<Steinberg::int32>(ins.size()), outs.data(),
                                   static_cast<Steinberg::int32>(outs.size())) != Steinberg::kResultTrue)
      return false;
    plugin->activateBus(Vst::kAudio, Vst::kInput, 0, true);
    plugin->activateBus(Vst::kAudio, Vst::kOutput, 0, true);
    if (ins.size() > 1)
      plugin->activateBus(Vst::kAudio, Vst::kInput, 1, sideChain);
    Vst::ProcessSetup setup{Vst::kRealtime, sampleSize, maxBlock, sampleRate};
    if (plugin->setupProcessing(setup) != Steinberg::kResultOk)
      return false;
    if (plugin->setActive(true) != Steinberg::kResultOk)
      return false;
    data.unprepare();
    if (!data.prepare(*plugin, maxBlock, sampleSize))
      return false;
    data.inputParameterChanges = &changes;
    data.processContext = &context;
    context.sampleRate = sampleRate;
    context.tempo = 120.0;
    context.state = Vst::ProcessContext::kPlaying | Vst::ProcessContext::kTempoValid;
    return true;
  }

  /** Queues a normalized value for the next block. */
  void Change(Vst::ParamID id, double normalized, Steinberg::int32 offset = 0)
  {
    Steinberg::int32 index = 0;
    if (Vst::IParamValueQueue* queue = changes.addParameterData(id, index))
      queue->addPoint(offset, normalized, index);
  }

  double* Input64(int bus, int ch) { return data.inputs[bus].channelBuffers64[ch]; }
  float* Input32(int bus, int ch) { return data.inputs[bus].channelBuffers32[ch]; }

  void SetInput(int bus, int ch, int frame, double value)
  {
    if (data.symbolicSampleSize == Vst::kSample64)
      data.inputs[bus].channelBuffers64[ch][frame] = value;
    else
      data.inputs[bus].channelBuffers32[ch][frame] = static_cast<float>(value);
  }

  double Output(int ch, int frame) const
  {
    if (data.symbolicSampleSize == Vst::kSample64)
      return data.outputs[0].channelBuffers64[ch][frame];
    return data.outputs[0].channelBuffers32[ch][frame];
  }

  /** One block of nFrames; the queued changes go with it and are cleared afterwards. */
  Steinberg::tresult Process(int nFrames)
  {
    data.numSamples = nFrames;
    const Steinberg::tresult result = plugin->process(data);
    changes.clearQueue();
    context.projectTimeSamples += nFrames;
    return result;
  }

  /** The component state as a host saves it; empty when the plug-in fails. */
  std::vector<uint8_t> SaveState()
  {
    auto stream = Steinberg::owned(new TestStream());
    if (plugin->getState(stream) != Steinberg::kResultOk)
      return {};
    return stream->data;
  }

  Steinberg::tresult LoadState(const std::vector<uint8_t>& bytes)
  {
    auto stream = Steinberg::owned(new TestStream());
    stream->data = bytes;
    return plugin->setState(stream);
  }

  KORVEL* plugin;
  Steinberg::IPtr<TestHostApp> app;
  Steinberg::IPtr<CountingComponentHandler> handler;
  Vst::HostProcessData data;
  Vst::ParameterChanges changes{kNumKorvelParams + 2};
  Vst::ProcessContext context{};
  bool ok = false;
};

/** Deterministic pseudo-random numbers, the same on every platform. */
class Random
{
public:
  explicit Random(uint64_t seed) : mState(seed * 2862933555777941757ull + 3037000493ull) {}
  uint32_t Next()
  {
    mState = mState * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(mState >> 33);
  }
  /** Uniform in [0, n). */
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
  /** Uniform in [0, 1). */
  double Unit() { return Next() * (1.0 / 4294967296.0); }

private:
  uint64_t mState;
};

} // namespace rig
