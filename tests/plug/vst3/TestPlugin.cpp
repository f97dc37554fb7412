#include "TestPlugin.h"

#include "plug/vst3/IPluginVST3Factory.h"

#include <chrono>
#include <cmath>
#include <thread>

std::atomic<int> TestPlugin::constructionsRunning{0};
std::atomic<bool> TestPlugin::constructionsOverlapped{false};
std::atomic<int> TestPlugin::liveInstances{0};

plug::IPluginDefinition TestPluginDefinition(const TestPluginOptions& options)
{
  plug::IPluginDefinition definition;
  definition.paramCount = kNumTestParams;
  definition.presetCount = 1;
  definition.channelIO = options.channelIO;
  definition.pluginName = "TestPlug";
  definition.productName = "TestPlug";
  definition.makerName = "Vantrel";
  definition.version = 0x00010000;
  definition.pluginCode = plug::MakeFourCharCode("TsT1");
  definition.makerCode = plug::MakeFourCharCode("Vtrl");
  definition.midiIn = options.midiIn;
  definition.midiOut = options.midiOut;
  definition.kind = options.kind;
  definition.hasEditor = options.hasEditor;
  if (options.hasEditor)
  {
    definition.editorWidth = 400;
    definition.editorHeight = 300;
    definition.minWidth = 200;
    definition.maxWidth = 800;
    definition.minHeight = 150;
    definition.maxHeight = 600;
  }
  return definition;
}

TestPlugin::TestPlugin(const plug::InstanceInfo& info, const TestPluginOptions& options)
  : plug::IPluginVST3(info, TestPluginDefinition(options))
{
  if (constructionsRunning.fetch_add(1) != 0)
    constructionsOverlapped = true;
  ++liveInstances;

  using plug::IParam;
  GetParameter(kGain)->SetupDouble("Gain", 0.0, -20.0, 10.0, 0.1, "dB");
  GetParameter(kMode)->SetType(IParam::kTypeInt);
  GetParameter(kMode)->SetupDouble("Mode", 0.0, 0.0, 1.0, 1.0, "", IParam::kFlagStepped);
  GetParameter(kMode)->AddDisplayText(0.0, "Mode Off");
  GetParameter(kMode)->AddDisplayText(1.0, "Mode On");
  GetParameter(kShape)->SetType(IParam::kTypeEnum);
  GetParameter(kShape)->SetupDouble("Shape", 1.0, 0.0, 2.0, 1.0, "", IParam::kFlagStepped, "Drive");
  GetParameter(kShape)->AddDisplayText(0.0, "Soft");
  GetParameter(kShape)->AddDisplayText(1.0, "Hard");
  GetParameter(kShape)->AddDisplayText(2.0, "Clip");
  GetParameter(kFreeze)->SetType(IParam::kTypeBool);
  GetParameter(kFreeze)->SetupDouble("Freeze", 0.0, 0.0, 1.0, 1.0, "", IParam::kFlagStepped | IParam::kFlagCannotAutomate,
                                     "Drive");
  GetParameter(kRate)->SetupDouble("Rate", 4.0, 1.0, 20.0, 0.01, "Hz", IParam::kFlagsNone, "Mod",
                                   IParam::ShapePowCurve(1.5));

  // Long enough for another thread's construction to overlap if the factory let it.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  --constructionsRunning;
}

TestPlugin::~TestPlugin()
{
  --liveInstances;
}

void TestPlugin::OnParamChange(int paramIdx, int source, int sampleOffset)
{
  paramChanges.push_back({paramIdx, source, sampleOffset});
  plug::IPluginVST3::OnParamChange(paramIdx, source, sampleOffset);
}

void TestPlugin::OnParamChangeForEditor(int paramIdx, int source)
{
  editorChanges.emplace_back(paramIdx, source);
}

void TestPlugin::SendParameterValueToEditor(int paramIdx, double value, bool normalized)
{
  valuesSentToEditor.emplace_back(paramIdx, value);
  plug::IPluginVST3::SendParameterValueToEditor(paramIdx, value, normalized);
}

void TestPlugin::ProcessAudio(double** inputs, double** outputs, int nFrames)
{
  Block block;
  block.nFrames = nFrames;
  for (int ch = 0; ch < NChannels(plug::kInput); ++ch)
  {
    block.inputs.push_back(inputs[ch]);
    block.inputConnected.push_back(Channel(plug::kInput, ch).connected);
    block.firstInputSample.push_back(inputs[ch] && nFrames > 0 ? inputs[ch][0] : std::nan(""));
  }
  for (int ch = 0; ch < NChannels(plug::kOutput); ++ch)
  {
    block.outputs.push_back(outputs[ch]);
    block.outputConnected.push_back(Channel(plug::kOutput, ch).connected);
  }
  lastBlock = block;
  blockSizes.push_back(nFrames);

  for (int ch = 0; ch < NChannels(plug::kOutput); ++ch)
    for (int i = 0; i < nFrames; ++i)
      outputs[ch][i] = (ch < NChannels(plug::kInput) ? inputs[ch][i] : 0.0) + outputOffset;
  for (const plug::IMidiMsg& message : midiToEmit)
    EmitMidiMessage(message);
  midiToEmit.clear();
  for (const auto& [paramIdx, value] : readingsToSend)
    SendParameterValueToEditor(paramIdx, value, false);
  if (latencyToReport >= 0 && GetLatency() != latencyToReport)
    ChangeLatency(latencyToReport);
}

void TestPlugin::HandleMidiMessage(const plug::IMidiMsg& message)
{
  midiReceived.push_back(message);
}

void TestPlugin::HandleSysex(const plug::ISysEx& message)
{
  sysexReceived.emplace_back(message.data, message.data + message.size);
}

// The module definition of the test program: the test plug-in under KORVEL's class ID.
const plug::VST3ModuleDefinition& plug::GetVST3ModuleDefinition()
{
  static const plug::VST3ModuleDefinition definition = [] {
    plug::VST3ModuleDefinition d;
    d.vendor = "Vantrel";
    d.url = "https://vantrel.example";
    d.email = "mailto:support@vantrel.example";
    d.factoryFlags = Steinberg::PFactoryInfo::kUnicode;
    d.classID[0] = 0xF2AEE70D;
    d.classID[1] = 0x00DE4F4E;
    d.classID[2] = static_cast<uint32_t>(plug::MakeFourCharCode("Vtrl"));
    d.classID[3] = static_cast<uint32_t>(plug::MakeFourCharCode("KRV1"));
    d.cardinality = Steinberg::PClassInfo::kManyInstances;
    d.category = "Audio Module Class";
    d.name = "TestPlug";
    d.classFlags = Steinberg::Vst::kSimpleModeSupported;
    d.subCategories = "Fx|Dynamics";
    d.classVendor = "";
    d.version = "1.0.0";
    d.sdkVersion = "VST 3.7.6";
    d.create = [](const plug::InstanceInfo& info) -> plug::IPluginVST3* { return new TestPlugin(info); };
    return d;
  }();
  return definition;
}
