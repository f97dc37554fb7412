#pragma once

// Audio-thread half of the framework: the accepted channel layouts, one
// channel record per possible input and output channel, the processing
// context (sample rate, block size, latency, bypass, transport) and the block
// hook ProcessAudio. Samples are 64-bit everywhere inside the framework.
//
// Channel I/O text: configurations separated by blanks, each "inputs-outputs";
// each side lists bus channel counts separated by "." ("*" is any count, 0
// adds no bus). "1-1 2.2-2" accepts a mono bus to a mono bus, or a stereo bus
// and a stereo side-chain bus to a stereo bus.

#include "plug/IPluginDefinition.h"
#include "plug/PlugStructs.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace plug {

constexpr int kWildcardChannels = -64;

/** One bus of a layout; channels is kWildcardChannels for "*". */
struct IBusLayout
{
  int direction = kInput;
  int channels = 0;
};

/** One accepted configuration: its input buses and its output buses. */
struct IChannelLayout
{
  std::vector<IBusLayout> inputs;
  std::vector<IBusLayout> outputs;

  const std::vector<IBusLayout>& Buses(ERoute direction) const { return direction == kInput ? inputs : outputs; }
};

/** One input or output channel: its entry in the pointer array passed to ProcessAudio and a scratch buffer. */
struct IChannelSlot
{
  bool connected = false;
  double** data = nullptr;      // this channel's entry in the pointer array
  float* hostBuffer = nullptr;  // the host's 32-bit buffer at the last block
  std::vector<double> scratch;  // block-size samples
  std::string label;

  void PointAtScratch() { *data = scratch.data(); }
};

struct ITransportState
{
  double tempo = 120.0;
  double samplePos = -1.0;
  double ppqPos = -1.0;       // musical position in quarter notes
  double lastBar = -1.0;      // start of the last bar in quarter notes
  double cycleStart = -1.0;
  double cycleEnd = -1.0;
  int numerator = 4;
  int denominator = 4;
  bool transportIsRunning = false;
  bool loopEnabled = false;
};

/** Delays every channel by the latency while the plug-in is bypassed. */
class ILatencyDelay
{
public:
  /** Latencies up to this many samples are set without allocating. */
  static constexpr int kPreallocatedLatency = 4096;

  ILatencyDelay(int nInputs, int nOutputs, int latency);
  /** Zeroes the delay line at a new length. */
  void Reset(int latency);
  /** Output j = input j delayed by the latency, for j below both channel counts. */
  void Process(double** inputs, double** outputs, int nFrames);
  /** Takes the inputs in as Process does, without writing outputs. */
  void Write(double** inputs, int nFrames);

private:
  std::vector<double> mBuffer;
  int mNInputs;
  int mNOutputs;
  int mWritePos = 0;
  int mLatency = 0;
};

class IPluginProcessor
{
public:
  explicit IPluginProcessor(const IPluginDefinition& definition);
  virtual ~IPluginProcessor();
  IPluginProcessor(const IPluginProcessor&) = delete;
  IPluginProcessor& operator=(const IPluginProcessor&) = delete;

  /** Default: copies each input to the output of the same index, zeroes the other outputs. */
  virtual void ProcessAudio(double** inputs, double** outputs, int nFrames);
  /** Default: EmitMidiMessage. */
  virtual void HandleMidiMessage(const IMidiMsg& message);
  virtual void HandleSysex(const ISysEx& /*message*/) {}
  /** Called when the sample rate or block size is set and when processing stops. */
  virtual void ResetProcessing() {}
  virtual void ActivationChanged(bool /*active*/) {}
  /** Sends a message to the host; the host binding queues it. */
  virtual bool EmitMidiMessage(const IMidiMsg& /*message*/) { return false; }
  /** Emits every message; true only if every one was accepted. */
  virtual bool EmitMidiMessages(const IMidiMsg* messages, int count);
  virtual bool EmitSysex(const ISysEx& /*message*/) { return false; }
  /** "Input", "Main"/"Aux", "Input 2", "Output", "Output 1", ... */
  virtual void MakeBusName(ERoute direction, int busIdx, int nBuses, std::string& name) const;
  /** Stores the latency and resets the bypass delay line to it. */
  virtual void ChangeLatency(int samples);

  /** Largest bus count in a direction over all layouts; layoutIdx gets that layout (the later one on ties, -1 without layouts). */
  int MostBuses(ERoute direction, int& layoutIdx) const;
  int MostBuses(ERoute direction) const;
  /** Index of the first layout whose buses have exactly these channel counts, or -1. */
  int FindLayoutForChannelCounts(const int* inputCounts, int nInputBuses, const int* outputCounts,
                                 int nOutputBuses) const;
  /** Widest first input bus over all layouts (the first side-chain channel), -1 when the first layout has a wildcard. */
  int WidestFirstInputBus() const;
  /** Resizes and zeroes every scratch buffer when the block size changes. */
  void ChangeBlockSize(int nFrames);
  /** The bypassed block: inputs to outputs, delayed by the latency. */
  void PassThrough(int nFrames);
  /**
   * While not bypassed: the inputs into the bypass delay line, so that a bypass
   * that engages continues the input where the processing's latency left it
   * instead of replaying the audio of an earlier bypass.
   */
  void FeedLatencyDelay(int nFrames);
  /** Zeroes the bypass delay line (processing reset). */
  void ClearLatencyDelay();

  int NIOConfigs() const { return static_cast<int>(mLayouts.size()); }
  const IChannelLayout& GetIOConfig(int idx) const { return mLayouts[idx]; }
  int MaxNBuses(ERoute direction) const { return direction == kInput ? mMaxInputBuses : mMaxOutputBuses; }

  int NChannels(ERoute direction) const { return static_cast<int>(Slots(direction).size()); }
  IChannelSlot& Channel(ERoute direction, int idx) { return Slots(direction)[idx]; }
  const IChannelSlot& Channel(ERoute direction, int idx) const { return Slots(direction)[idx]; }
  double** ChannelPointers(ERoute direction) { return direction == kInput ? mInputPtrs.data() : mOutputPtrs.data(); }
  int NConnectedChannels(ERoute direction) const;

  int GetPluginKind() const { return mKind; }
  bool DoesMidiIn() const { return mMidiIn; }
  bool DoesMidiOut() const { return mMidiOut; }
  bool DoesMPE() const { return mMPE; }
  int GetLatency() const { return mLatency.load(); }
  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetTailSize() const { return mTailSize; }
  void SetTailSize(int samples) { mTailSize = samples; }
  bool GetBypassed() const { return mBypassed.load(); }
  void SetBypassed(bool bypassed) { mBypassed.store(bypassed); }
  bool IsRenderingOffline() const { return mRenderingOffline; }
  void SetRenderingOffline(bool offline) { mRenderingOffline = offline; }
  const ITransportState& GetTransport() const { return mTransport; }
  void SetTransport(const ITransportState& transport) { mTransport = transport; }

private:
  void ParseIOConfigText(const char* text);
  std::vector<IChannelSlot>& Slots(ERoute direction) { return direction == kInput ? mInputs : mOutputs; }
  const std::vector<IChannelSlot>& Slots(ERoute direction) const { return direction == kInput ? mInputs : mOutputs; }

  int mKind;
  bool mMidiIn;
  bool mMidiOut;
  bool mMPE;
  std::atomic<int> mLatency;
  double mSampleRate = 48000.0;
  int mBlockSize = 0;
  int mTailSize = 0;
  std::atomic<bool> mBypassed{false};
  bool mRenderingOffline = false;
  std::vector<IChannelLayout> mLayouts;
  int mMaxInputChannels = 0;
  int mMaxOutputChannels = 0;
  int mMaxInputBuses = 0;
  int mMaxOutputBuses = 0;
  std::vector<double*> mInputPtrs;
  std::vector<double*> mOutputPtrs;
  std::vector<IChannelSlot> mInputs;
  std::vector<IChannelSlot> mOutputs;
  std::unique_ptr<ILatencyDelay> mLatencyDelay;
  ITransportState mTransport;
};

} // namespace plug
