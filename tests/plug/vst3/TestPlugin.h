#pragma once

// A small plug-in on IPluginVST3 for the binding's tests: parameters of
// several kinds (two of them in groups), a main bus with an optional
// side-chain, and a record of every hook the binding calls.

#include "plug/vst3/IPluginVST3.h"

#include <atomic>
#include <string>
#include <tuple>
#include <vector>

enum ETestParam
{
  kGain = 0,   // double, -20..10 dB, step 0.1
  kMode,       // integer 0..1 with display texts
  kShape,      // enumeration 0..2, group "Drive"
  kFreeze,     // boolean, cannot automate, group "Drive"
  kRate,       // double 1..20, power curve, group "Mod"
  kUnused,     // never declared
  kNumTestParams
};

struct TestPluginOptions
{
  const char* channelIO = "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2";
  bool midiIn = false;
  bool midiOut = false;
  int kind = plug::kEffect;
  // An editor of 400 x 300 (limits 200..800 x 150..600) built by MakeGraphicsFunction.
  bool hasEditor = false;
};

class TestPlugin : public plug::IPluginVST3
{
public:
  explicit TestPlugin(const plug::InstanceInfo& info, const TestPluginOptions& options = TestPluginOptions());
  ~TestPlugin() override;

  using plug::IPluginVST3::OnParamChange;
  void OnParamChange(int paramIdx, int source, int sampleOffset) override;
  void OnParamChangeForEditor(int paramIdx, int source) override;
  void SendParameterValueToEditor(int paramIdx, double value, bool normalized = false) override;
  void ProcessAudio(double** inputs, double** outputs, int nFrames) override;
  void ResetProcessing() override { ++resets; }
  void HandleMidiMessage(const plug::IMidiMsg& message) override;
  void HandleSysex(const plug::ISysEx& message) override;
  void AfterStateRestored() override { ++statesRestored; }

  struct ParamChange
  {
    int idx;
    int source;
    int offset;
  };

  // What the last ProcessAudio call saw.
  struct Block
  {
    int nFrames = -1;
    std::vector<const double*> inputs;
    std::vector<const double*> outputs;
    std::vector<bool> inputConnected;
    std::vector<bool> outputConnected;
    std::vector<double> firstInputSample; // NaN for a null pointer
  };

  std::vector<ParamChange> paramChanges;
  std::vector<std::pair<int, int>> editorChanges;            // index, source
  std::vector<std::pair<int, double>> valuesSentToEditor;    // index, value
  std::vector<plug::IMidiMsg> midiReceived;
  std::vector<std::vector<uint8_t>> sysexReceived;
  std::vector<int> blockSizes;
  Block lastBlock;
  int resets = 0;
  int statesRestored = 0;
  // ProcessAudio adds this to every copied sample, so that outputs differ from inputs.
  double outputOffset = 0.0;
  // ProcessAudio emits these to the host.
  std::vector<plug::IMidiMsg> midiToEmit;
  // ProcessAudio changes the latency to this when it differs (not when negative), as oversampling does.
  int latencyToReport = -1;
  // ProcessAudio sends these plain values to the editor at the end of the block, as meters do.
  std::vector<std::pair<int, double>> readingsToSend;

  static std::atomic<int> constructionsRunning;
  static std::atomic<bool> constructionsOverlapped;
  static std::atomic<int> liveInstances;
};

plug::IPluginDefinition TestPluginDefinition(const TestPluginOptions& options = TestPluginOptions());
