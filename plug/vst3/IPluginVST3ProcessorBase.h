#pragma once

// Processing half of the VST3 plug-in object: the buses offered to the host,
// bus arrangements, processing setup and the per-block buffer routing from
// the host's 32- or 64-bit buffers into the framework's 64-bit channels, and
// the queue of MIDI messages the plug-in sends to the host.

#include "plug/vst3/VST3Sdk.h"

#include "plug/IPluginDefinition.h"
#include "plug/IPluginProcessor.h"
#include "plug/PlugStructs.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace plug {

class IPluginVST3;

/** VST3 speaker arrangement for a bus of n channels (empty for counts without one). */
Steinberg::Vst::SpeakerArrangement ArrangementForChannelCount(int nChannels);

class IPluginVST3ProcessorBase : public IPluginProcessor
{
public:
  static constexpr int kMidiOutQueueStep = 512;

  IPluginVST3ProcessorBase(const IPluginDefinition& definition, IPluginVST3& owner);

  /** Queues the message for the host, sorted by offset; equal offsets keep their order. */
  bool EmitMidiMessage(const IMidiMsg& message) override;
  /**
   * Also notes that the host must be asked to restart with kLatencyChanged. The
   * audio thread may call it, and the host may only be asked from the
   * user-interface thread: the idle timer asks (TakeLatencyChange).
   */
  void ChangeLatency(int samples) override;
  /** Whether the latency changed since the last call; clears the note. */
  bool TakeLatencyChange() { return mLatencyChanged.exchange(false); }

  /** Messages queued and not yet sent, in the order they will be sent. */
  int NQueuedMidiMessages() const { return mMidiOutCount; }
  const IMidiMsg& QueuedMidiMessage(int idx) const { return mMidiOut[mMidiOutFront + idx]; }
  bool IsSideChainActive() const { return mSideChainActive; }
  /** Output samples that were not finite (or beyond 32-bit range for a 32-bit host) and left as 0. */
  uint64_t NNonFiniteOutputs() const { return mNonFiniteOutputs.load(std::memory_order_relaxed); }
  const Steinberg::Vst::ProcessContext& GetProcessContext() const { return mProcessContext; }

protected:
  /** Adds the audio buses of the layouts with the most buses, and the event buses. */
  void MakeBuses(Steinberg::Vst::SingleComponentEffect& component);
  /** Replaces the audio buses with those of layout layoutIdx. */
  void MakeAudioBuses(Steinberg::Vst::SingleComponentEffect& component, int inputLayoutIdx, int outputLayoutIdx);
  /** Index of the layout matching the requested arrangements, or -1. */
  int LayoutForArrangements(const Steinberg::Vst::SpeakerArrangement* inputs, int nInputs,
                            const Steinberg::Vst::SpeakerArrangement* outputs, int nOutputs) const;
  /** Block-size changes, room in the MIDI queue for a block, then ResetProcessing. */
  void SetupProcessing(const Steinberg::Vst::ProcessSetup& setup);
  /** Copies the host's context into the transport. */
  void UpdateProcessContext(const Steinberg::Vst::ProcessData& data, const Steinberg::Vst::ProcessSetup& setup);
  /** Routes the host's buffers into the channels and runs one block (or passes it through when bypassed). */
  void ProcessBuffers(Steinberg::Vst::ProcessData& data, Steinberg::Vst::BusList& inputBuses,
                      Steinberg::Vst::BusList& outputBuses);
  /** Sends the queued messages that fall into this block as events. */
  void SendMidiOutput(Steinberg::Vst::IEventList* events, int nFrames);
  /** Every channel disconnected and on its scratch buffer, which is cleared. */
  void DisconnectAllChannels();

private:
  void ConnectInputs(Steinberg::Vst::ProcessData& data, Steinberg::Vst::BusList& inputBuses);
  void ConnectOutputs(Steinberg::Vst::ProcessData& data, Steinberg::Vst::BusList& outputBuses);
  void FeedMonoMainToRight(Steinberg::Vst::ProcessData& data);
  void SilenceDroppedInputs();
  void RunSlice(int sampleSize, int start, int nFrames);
  int SilenceNonFiniteOutputs(int start, int nFrames);
  void CompactMidiQueue();
  void GrowMidiQueue(int room);

  IPluginVST3& mOwner;
  std::atomic<bool> mLatencyChanged{false};
  int mWidestFirstInput;
  bool mSideChainActive = false;
  // Channel 1 hears the mono main bus in this block.
  bool mMonoMainToRight = false;
  // Per input channel: its scratch buffer was filled at the last block.
  std::vector<char> mInputFed;
  std::atomic<uint64_t> mNonFiniteOutputs{0};
  std::vector<IMidiMsg> mMidiOut;
  int mMidiOutFront = 0;
  int mMidiOutCount = 0;
  Steinberg::Vst::ProcessContext mProcessContext{};
  // The host's buffer behind each connected channel in the current block.
  std::vector<float*> mIn32;
  std::vector<float*> mOut32;
  std::vector<double*> mIn64;
  std::vector<double*> mOut64;
};

} // namespace plug
