#include "plug/vst3/IPluginVST3ProcessorBase.h"

#include "plug/vst3/IPluginVST3.h"
#include "plug/vst3/IPluginVST3Parameter.h"

#include "plug/Trace.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>

namespace plug {

namespace Vst = Steinberg::Vst;

Vst::SpeakerArrangement ArrangementForChannelCount(int nChannels)
{
  switch (nChannels)
  {
  case 1: return 0x80000;
  case 2: return 0x3;
  case 3: return 0x7;
  case 4: return 0xF00000;
  case 5: return 0x37;
  case 6: return 0x3F;
  case 7: return 0xF7;
  case 8: return 0x63F;
  case 9: return 0x7C000F00000;
  case 10: return 0x300063F;
  case 16: return 0x3FFC000F00000;
  default: return 0;
  }
}

namespace {

int SpeakerCount(Vst::SpeakerArrangement arrangement)
{
  int count = 0;
  for (; arrangement; arrangement &= arrangement - 1)
    ++count;
  return count;
}

// Room for this many queued messages is more than any block can use.
constexpr int kMaxMidiOutRoom = 1 << 20;

int RoundUpToStep(int n, int step)
{
  return (n + step - 1) / step * step;
}

} // namespace

IPluginVST3ProcessorBase::IPluginVST3ProcessorBase(const IPluginDefinition& definition, IPluginVST3& owner)
  : IPluginProcessor(definition)
  , mOwner(owner)
  , mWidestFirstInput(WidestFirstInputBus())
  , mInputFed(NChannels(kInput), 1)
  , mMidiOut(kMidiOutQueueStep)
  , mIn32(NChannels(kInput), nullptr)
  , mOut32(NChannels(kOutput), nullptr)
  , mIn64(NChannels(kInput), nullptr)
  , mOut64(NChannels(kOutput), nullptr)
{
  for (ERoute direction : {kInput, kOutput})
    for (int ch = 0; ch < NChannels(direction); ++ch)
    {
      Channel(direction, ch).connected = true;
      Channel(direction, ch).PointAtScratch();
    }
}

bool IPluginVST3ProcessorBase::EmitMidiMessage(const IMidiMsg& message)
{
  if (mMidiOutFront + mMidiOutCount == static_cast<int>(mMidiOut.size()))
  {
    if (mMidiOutFront > 0)
      CompactMidiQueue();
    else
    {
      try
      {
        GrowMidiQueue(static_cast<int>(mMidiOut.size()) + 1);
      }
      catch (const std::bad_alloc&)
      {
        return false;
      }
    }
    if (mMidiOutFront + mMidiOutCount == static_cast<int>(mMidiOut.size()))
      return false; // no more room
  }
  int pos = mMidiOutFront + mMidiOutCount;
  while (pos > mMidiOutFront && mMidiOut[pos - 1].offset > message.offset)
  {
    mMidiOut[pos] = mMidiOut[pos - 1];
    --pos;
  }
  mMidiOut[pos] = message;
  ++mMidiOutCount;
  return true;
}

void IPluginVST3ProcessorBase::ChangeLatency(int samples)
{
  PLUG_TRACE("plug::IPluginVST3ProcessorBase::ChangeLatency");
  IPluginProcessor::ChangeLatency(samples);
  mLatencyChanged.store(true);
}

void IPluginVST3ProcessorBase::CompactMidiQueue()
{
  std::copy(mMidiOut.begin() + mMidiOutFront, mMidiOut.begin() + mMidiOutFront + mMidiOutCount, mMidiOut.begin());
  mMidiOutFront = 0;
}

void IPluginVST3ProcessorBase::GrowMidiQueue(int room)
{
  const int rounded = RoundUpToStep(std::min(std::max(room, 1), kMaxMidiOutRoom), kMidiOutQueueStep);
  if (rounded > static_cast<int>(mMidiOut.size()))
    mMidiOut.resize(static_cast<size_t>(rounded));
}

void IPluginVST3ProcessorBase::MakeBuses(Vst::SingleComponentEffect& component)
{
  int inputLayout = -1;
  int outputLayout = -1;
  MostBuses(kInput, inputLayout);
  const int nOutputBuses = MostBuses(kOutput, outputLayout);
  MakeAudioBuses(component, inputLayout, outputLayout);
  if (GetPluginKind() == kMidiEffect && nOutputBuses == 0)
    component.addAudioOutput(STR16("Dummy Output"), 0, Vst::kMain, 0);
  if (DoesMidiIn())
    component.addEventInput(STR16("MIDI Input"), 1);
  if (DoesMidiOut())
    component.addEventOutput(STR16("MIDI Output"), 1);
}

void IPluginVST3ProcessorBase::MakeAudioBuses(Vst::SingleComponentEffect& component, int inputLayoutIdx,
                                              int outputLayoutIdx)
{
  component.removeAudioBusses();
  for (ERoute direction : {kInput, kOutput})
  {
    const int layoutIdx = direction == kInput ? inputLayoutIdx : outputLayoutIdx;
    if (layoutIdx < 0 || layoutIdx >= NIOConfigs())
      continue;
    const std::vector<IBusLayout>& buses = GetIOConfig(layoutIdx).Buses(direction);
    const int nBuses = static_cast<int>(buses.size());
    for (int i = 0; i < nBuses; ++i)
    {
      std::string name;
      MakeBusName(direction, i, nBuses, name);
      Vst::String128 wideName;
      WidenToString128(name.c_str(), wideName);
      const Vst::SpeakerArrangement arrangement = ArrangementForChannelCount(buses[i].channels);
      const Vst::BusType type = i == 0 ? Vst::kMain : Vst::kAux;
      const Steinberg::int32 flags = i == 0 ? Vst::BusInfo::kDefaultActive : 0;
      if (direction == kInput)
        component.addAudioInput(wideName, arrangement, type, flags);
      else
        component.addAudioOutput(wideName, arrangement, type, flags);
    }
  }
}

int IPluginVST3ProcessorBase::LayoutForArrangements(const Vst::SpeakerArrangement* inputs, int nInputs,
                                                    const Vst::SpeakerArrangement* outputs, int nOutputs) const
{
  std::vector<int> inputCounts(static_cast<size_t>(nInputs));
  std::vector<int> outputCounts(static_cast<size_t>(nOutputs));
  for (int i = 0; i < nInputs; ++i)
    inputCounts[i] = SpeakerCount(inputs[i]);
  for (int i = 0; i < nOutputs; ++i)
    outputCounts[i] = SpeakerCount(outputs[i]);
  return FindLayoutForChannelCounts(inputCounts.data(), nInputs, outputCounts.data(), nOutputs);
}

void IPluginVST3ProcessorBase::SetupProcessing(const Vst::ProcessSetup& setup)
{
  SetSampleRate(setup.sampleRate);
  ChangeBlockSize(setup.maxSamplesPerBlock);
  CompactMidiQueue();
  GrowMidiQueue(setup.maxSamplesPerBlock);
  ClearLatencyDelay();
  ResetProcessing();
}

void IPluginVST3ProcessorBase::UpdateProcessContext(const Vst::ProcessData& data, const Vst::ProcessSetup& setup)
{
  if (data.processContext)
    mProcessContext = *data.processContext;
  const Vst::ProcessContext& context = mProcessContext;
  ITransportState transport;
  transport.tempo = context.tempo;
  transport.samplePos = (context.state & Vst::ProcessContext::kProjectTimeMusicValid)
                          ? static_cast<double>(context.projectTimeSamples)
                          : -1.0;
  transport.ppqPos = context.projectTimeMusic;
  transport.lastBar = context.barPositionMusic;
  transport.cycleStart = context.cycleStartMusic;
  transport.cycleEnd = context.cycleEndMusic;
  transport.numerator = context.timeSigNumerator;
  transport.denominator = context.timeSigDenominator;
  transport.transportIsRunning = (context.state & Vst::ProcessContext::kPlaying) != 0;
  transport.loopEnabled = (context.state & Vst::ProcessContext::kCycleActive) != 0;
  SetTransport(transport);
  SetRenderingOffline(setup.processMode == Vst::kOffline);
}

void IPluginVST3ProcessorBase::DisconnectAllChannels()
{
  // A channel the new arrangement leaves out would otherwise replay the last
  // block the host converted into its scratch buffer, again and again.
  for (ERoute direction : {kInput, kOutput})
    for (int ch = 0; ch < NChannels(direction); ++ch)
    {
      IChannelSlot& slot = Channel(direction, ch);
      slot.connected = false;
      std::fill(slot.scratch.begin(), slot.scratch.end(), 0.0);
      slot.PointAtScratch();
    }
}

void IPluginVST3ProcessorBase::ConnectInputs(Vst::ProcessData& data, Vst::BusList& inputBuses)
{
  const int nChannels = NChannels(kInput);
  for (int ch = 0; ch < nChannels; ++ch)
  {
    IChannelSlot& slot = Channel(kInput, ch);
    slot.connected = false;
    slot.PointAtScratch();
    mIn32[ch] = nullptr;
    mIn64[ch] = nullptr;
  }
  if (data.numInputs <= 0 || !data.inputs)
  {
    // No input buses this block: the plug-in hears silence.
    for (int ch = 0; ch < nChannels; ++ch)
      std::fill(Channel(kInput, ch).scratch.begin(), Channel(kInput, ch).scratch.end(), 0.0);
    return;
  }

  // Channel ch takes channel c of the host's bus.
  auto connect = [&](int ch, const Vst::AudioBusBuffers& bus, int c) {
    if (ch < 0 || ch >= nChannels || !bus.channelBuffers32)
      return;
    if (data.symbolicSampleSize == Vst::kSample32)
      mIn32[ch] = bus.channelBuffers32[c];
    else
      mIn64[ch] = bus.channelBuffers64[c];
    Channel(kInput, ch).connected = mIn32[ch] || mIn64[ch];
  };

  const Vst::AudioBusBuffers& main = data.inputs[0];
  const int nMain = std::min(main.numChannels, nChannels);
  bool withSideChain = false;
  if (inputBuses.size() >= 2)
  {
    if (inputBuses.at(1)->isActive())
    {
      mSideChainActive = true;
      withSideChain = true;
    }
    else if (mSideChainActive)
    {
      for (ERoute direction : {kInput, kOutput})
        for (int ch = 0; ch < NChannels(direction); ++ch)
          std::fill(Channel(direction, ch).scratch.begin(), Channel(direction, ch).scratch.end(), 0.0);
      mSideChainActive = false;
    }
  }

  for (int c = 0; c < nMain; ++c)
    connect(c, main, c);
  if (withSideChain && data.numInputs > 1)
  {
    const Vst::AudioBusBuffers& side = data.inputs[1];
    const int first = mWidestFirstInput >= 0 ? mWidestFirstInput : nMain;
    for (int c = 0; c < side.numChannels && first + c < nChannels; ++c)
      connect(first + c, side, c);
  }
}

void IPluginVST3ProcessorBase::ConnectOutputs(Vst::ProcessData& data, Vst::BusList& outputBuses)
{
  const int nChannels = NChannels(kOutput);
  for (int ch = 0; ch < nChannels; ++ch)
  {
    IChannelSlot& slot = Channel(kOutput, ch);
    slot.connected = false;
    slot.hostBuffer = nullptr;
    slot.PointAtScratch();
    mOut32[ch] = nullptr;
    mOut64[ch] = nullptr;
  }
  if (!data.outputs)
    return;
  int ch = 0;
  for (int j = 0; j < data.numOutputs && ch < nChannels; ++j)
  {
    const Vst::AudioBusBuffers& bus = data.outputs[j];
    const bool active = j < static_cast<int>(outputBuses.size()) && outputBuses.at(j)->isActive();
    for (int c = 0; c < bus.numChannels && ch < nChannels; ++c, ++ch)
    {
      if (!active || !bus.channelBuffers32)
        continue;
      IChannelSlot& slot = Channel(kOutput, ch);
      if (data.symbolicSampleSize == Vst::kSample32)
        slot.hostBuffer = mOut32[ch] = bus.channelBuffers32[c];
      else
        mOut64[ch] = bus.channelBuffers64[c];
      slot.connected = mOut32[ch] || mOut64[ch];
    }
  }
}

void IPluginVST3ProcessorBase::ProcessBuffers(Vst::ProcessData& data, Vst::BusList& inputBuses,
                                              Vst::BusList& outputBuses)
{
  const int sampleSize = data.symbolicSampleSize;
  if (sampleSize != Vst::kSample32 && sampleSize != Vst::kSample64)
    return;
  ConnectInputs(data, inputBuses);
  ConnectOutputs(data, outputBuses);
  FeedMonoMainToRight(data);
  SilenceDroppedInputs();

  const int nFrames = data.numSamples;
  const int blockSize = GetBlockSize();
  if (nFrames <= 0)
    return;
  if (blockSize <= 0)
  {
    // No processing setup yet: no buffers to work in.
    for (int ch = 0; ch < NChannels(kOutput); ++ch)
    {
      if (mOut32[ch])
        std::fill(mOut32[ch], mOut32[ch] + nFrames, 0.f);
      if (mOut64[ch])
        std::fill(mOut64[ch], mOut64[ch] + nFrames, 0.0);
    }
    return;
  }
  // A host that sends more frames than it announced gets them in announced-size slices.
  for (int start = 0; start < nFrames; start += blockSize)
    RunSlice(sampleSize, start, std::min(blockSize, nFrames - start));
}

// A mono main bus into a stereo output: the right input hears the main
// channel too, so that a mono track comes out centred (processed, switched off
// or bypassed alike) rather than on the left only.
void IPluginVST3ProcessorBase::FeedMonoMainToRight(Vst::ProcessData& data)
{
  mMonoMainToRight = NChannels(kInput) >= 2 && data.numInputs > 0 && data.inputs &&
                     data.inputs[0].numChannels == 1 && Channel(kInput, 0).connected &&
                     !Channel(kInput, 1).connected && NConnectedChannels(kOutput) >= 2;
}

// A channel that the host stops feeding (a null buffer, a bus that arrives with
// fewer channels) must not go on hearing the last block converted into its
// scratch buffer.
void IPluginVST3ProcessorBase::SilenceDroppedInputs()
{
  for (int ch = 0; ch < NChannels(kInput); ++ch)
  {
    IChannelSlot& slot = Channel(kInput, ch);
    const bool fed = slot.connected || (ch == 1 && mMonoMainToRight);
    if (mInputFed[ch] && !fed)
      std::fill(slot.scratch.begin(), slot.scratch.end(), 0.0);
    mInputFed[ch] = fed;
  }
}

void IPluginVST3ProcessorBase::RunSlice(int sampleSize, int start, int nFrames)
{
  const bool is32 = sampleSize == Vst::kSample32;
  for (int ch = 0; ch < NChannels(kInput); ++ch)
  {
    IChannelSlot& slot = Channel(kInput, ch);
    if (!slot.connected)
      continue;
    if (is32)
    {
      std::copy(mIn32[ch] + start, mIn32[ch] + start + nFrames, slot.scratch.begin());
      slot.PointAtScratch();
    }
    else
      *slot.data = mIn64[ch] + start;
  }
  if (mMonoMainToRight)
  {
    IChannelSlot& right = Channel(kInput, 1);
    const double* main = *Channel(kInput, 0).data;
    std::copy(main, main + nFrames, right.scratch.begin());
    right.PointAtScratch();
  }
  for (int ch = 0; ch < NChannels(kOutput); ++ch)
  {
    IChannelSlot& slot = Channel(kOutput, ch);
    if (slot.connected && !is32)
      *slot.data = mOut64[ch] + start;
  }

  if (GetBypassed())
    PassThrough(nFrames);
  else
  {
    // Before the processing, which may write over the host's input buffers.
    FeedLatencyDelay(nFrames);
    ProcessAudio(ChannelPointers(kInput), ChannelPointers(kOutput), nFrames);
  }

  const int nonFinite = SilenceNonFiniteOutputs(start, nFrames);
  if (nonFinite > 0)
    mNonFiniteOutputs.fetch_add(static_cast<uint64_t>(nonFinite), std::memory_order_relaxed);
}

// The last guard before the host: a NaN, an infinity, or a value a 32-bit
// host buffer cannot hold would poison everything downstream of the plug-in.
// Converts 32-bit outputs into the host's buffers on the way.
int IPluginVST3ProcessorBase::SilenceNonFiniteOutputs(int start, int nFrames)
{
  int replaced = 0;
  for (int ch = 0; ch < NChannels(kOutput); ++ch)
  {
    IChannelSlot& slot = Channel(kOutput, ch);
    if (!slot.connected)
      continue;
    if (mOut32[ch])
    {
      float* out = mOut32[ch] + start;
      for (int i = 0; i < nFrames; ++i)
      {
        const double sample = slot.scratch[i];
        if (std::fabs(sample) <= std::numeric_limits<float>::max())
          out[i] = static_cast<float>(sample);
        else
        {
          out[i] = 0.f;
          ++replaced;
        }
      }
    }
    else if (mOut64[ch])
    {
      double* out = mOut64[ch] + start;
      for (int i = 0; i < nFrames; ++i)
        if (!std::isfinite(out[i]))
        {
          out[i] = 0.0;
          ++replaced;
        }
    }
  }
  return replaced;
}

void IPluginVST3ProcessorBase::SendMidiOutput(Vst::IEventList* events, int nFrames)
{
  int sent = 0;
  for (; sent < mMidiOutCount; ++sent)
  {
    const IMidiMsg& message = mMidiOut[mMidiOutFront + sent];
    if (message.offset >= nFrames)
      break;
    if (!events)
      continue;
    Vst::Event event{};
    event.busIndex = 0;
    event.sampleOffset = std::max(message.offset, 0);
    const Steinberg::int16 channel = message.status & 0x0F;
    auto controllerOut = [&](int control, int value, int value2) {
      event.type = Vst::Event::kLegacyMIDICCOutEvent;
      event.midiCCOut.controlNumber = static_cast<Steinberg::uint8>(control);
      event.midiCCOut.channel = static_cast<Steinberg::int8>(channel);
      event.midiCCOut.value = static_cast<Steinberg::int8>(value);
      event.midiCCOut.value2 = static_cast<Steinberg::int8>(value2);
    };
    switch (message.status & 0xF0)
    {
    case 0x90:
      event.type = Vst::Event::kNoteOnEvent;
      event.noteOn.channel = channel;
      event.noteOn.pitch = message.data1;
      event.noteOn.velocity = message.data2 / 127.f;
      event.noteOn.noteId = -1;
      break;
    case 0x80:
      event.type = Vst::Event::kNoteOffEvent;
      event.noteOff.channel = channel;
      event.noteOff.pitch = message.data1;
      event.noteOff.velocity = message.data2 / 127.f;
      event.noteOff.noteId = -1;
      break;
    case 0xA0: controllerOut(Vst::kCtrlPolyPressure, message.data1, message.data2); break;
    case 0xB0: controllerOut(message.data1, message.data2, 0); break;
    case 0xC0: controllerOut(Vst::kCtrlProgramChange, message.data1, 0); break;
    case 0xD0: controllerOut(Vst::kAfterTouch, message.data1, 0); break;
    case 0xE0: controllerOut(Vst::kPitchBend, message.data1, message.data2); break;
    default: continue;
    }
    events->addEvent(event);
  }
  mMidiOutFront += sent;
  mMidiOutCount -= sent;
  if (mMidiOutCount == 0)
    mMidiOutFront = 0;
  for (int i = 0; i < mMidiOutCount; ++i)
    mMidiOut[mMidiOutFront + i].offset -= nFrames;
}

} // namespace plug
