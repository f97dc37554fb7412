#pragma once

// A fixture that brings a TestPlugin to the processing state the way a host
// does, with host buffers, parameter changes and event lists for process().

#include "TestHost.h"
#include "TestPlugin.h"

#include "public.sdk/source/vst/hosting/eventlist.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <gtest/gtest.h>

/** A TestPlugin initialized by a host of the given name, set up for 32-bit blocks of kBlockSize frames. */
class PluginFixture : public ::testing::Test
{
protected:
  static constexpr int kBlockSize = 64;

  void SetUp() override { Create(u"Test Host"); }
  void TearDown() override { Destroy(); }

  void Create(const std::u16string& hostName, const TestPluginOptions& options = TestPluginOptions())
  {
    Destroy();
    plugin = new TestPlugin(plug::InstanceInfo{}, options);
    host = Steinberg::owned(new TestHostApp(hostName));
    host->offersRunLoop = hostOffersRunLoop;
    handler = Steinberg::owned(new TestComponentHandler());
    ASSERT_EQ(plugin->initialize(host->unknownCast()), Steinberg::kResultOk);
    plugin->setComponentHandler(handler);
    ActivateMainBuses();
    Setup(Steinberg::Vst::kSample32);
  }

  /** What a host does after it has settled the arrangements: main input and output on. */
  void ActivateMainBuses()
  {
    ASSERT_EQ(plugin->activateBus(Steinberg::Vst::kAudio, Steinberg::Vst::kInput, 0, true), Steinberg::kResultTrue);
    ASSERT_EQ(plugin->activateBus(Steinberg::Vst::kAudio, Steinberg::Vst::kOutput, 0, true), Steinberg::kResultTrue);
  }

  void Destroy()
  {
    if (!plugin)
      return;
    plugin->terminate();
    plugin->release();
    plugin = nullptr;
  }

  void Setup(Steinberg::int32 sampleSize, Steinberg::int32 processMode = Steinberg::Vst::kRealtime)
  {
    Steinberg::Vst::ProcessSetup setup{processMode, sampleSize, kBlockSize, 48000.0};
    ASSERT_EQ(plugin->setupProcessing(setup), Steinberg::kResultOk);
  }

  /** Host buffers for the plug-in's current buses, inputs filled with channel-specific constants. */
  void Prepare(Steinberg::int32 sampleSize, int nFrames = kBlockSize)
  {
    data.unprepare();
    data.prepare(*plugin, nFrames, sampleSize);
    data.numSamples = nFrames;
    data.inputParameterChanges = &changes;
    data.inputEvents = &inputEvents;
    data.outputEvents = &outputEvents;
    for (int bus = 0; bus < data.numInputs; ++bus)
      for (int c = 0; c < data.inputs[bus].numChannels; ++c)
        FillInput(bus, c, 1.0 + 10.0 * bus + c, nFrames);
  }

  void FillInput(int bus, int channel, double value, int nFrames)
  {
    if (data.symbolicSampleSize == Steinberg::Vst::kSample64)
      std::fill_n(data.inputs[bus].channelBuffers64[channel], nFrames, value);
    else
      std::fill_n(data.inputs[bus].channelBuffers32[channel], nFrames, static_cast<float>(value));
  }

  double Output(int bus, int channel, int frame) const
  {
    if (data.symbolicSampleSize == Steinberg::Vst::kSample64)
      return data.outputs[bus].channelBuffers64[channel][frame];
    return data.outputs[bus].channelBuffers32[channel][frame];
  }

  void AddChange(Steinberg::Vst::ParamID id, Steinberg::int32 offset, double value)
  {
    Steinberg::int32 index = 0;
    Steinberg::Vst::IParamValueQueue* queue = changes.addParameterData(id, index);
    queue->addPoint(offset, value, index);
  }

  Steinberg::tresult Process()
  {
    const Steinberg::tresult result = plugin->process(data);
    changes.clearQueue();
    inputEvents.clear();
    return result;
  }

  bool hostOffersRunLoop = true; // on Linux, through the context of initialize (TestHostApp)
  TestPlugin* plugin = nullptr;
  Steinberg::IPtr<TestHostApp> host;
  Steinberg::IPtr<TestComponentHandler> handler;
  Steinberg::Vst::HostProcessData data;
  Steinberg::Vst::ParameterChanges changes{16};
  Steinberg::Vst::EventList inputEvents{64};
  Steinberg::Vst::EventList outputEvents{64};
};
