// The events of a process call: parameter changes from the host's queues,
// MIDI controller parameters and note events turned into MIDI messages, and the
// system-exclusive messages the editor queued for the host.

#include "plug/vst3/IPluginVST3.h"

#include <algorithm>

namespace plug {

namespace Vst = Steinberg::Vst;
using Steinberg::int32;
using Steinberg::kResultOk;

namespace {

// Channels of MIDI controller parameters a parameter id may address.
constexpr int kMidiChannels = 16;

uint8_t ToSevenBits(double value)
{
  return static_cast<uint8_t>(std::min(std::max(value, 0.0), 1.0) * 127.0);
}

} // namespace

void IPluginVST3::ProcessParameterChanges(Vst::IParameterChanges* changes)
{
  if (!changes)
    return;
  const int32 nQueues = changes->getParameterCount();
  for (int32 i = 0; i < nQueues; ++i)
  {
    Vst::IParamValueQueue* queue = changes->getParameterData(i);
    if (!queue)
      continue;
    const int32 nPoints = queue->getPointCount();
    int32 offset = 0;
    Vst::ParamValue value = 0.0;
    if (nPoints <= 0 || queue->getPoint(nPoints - 1, offset, value) != kResultOk)
      continue;
    const Vst::ParamID id = queue->getParameterId();
    if (id == kBypassParamID)
      SetBypassed(value > 0.5);
    else if (id < static_cast<Vst::ParamID>(NParams()))
    {
      IParam* param = GetParameter(static_cast<int>(id));
      if (param->IsMeter())
        continue;
      param->SetPlain(param->Denormalize(value));
      OnParamChange(static_cast<int>(id), kHost, offset);
    }
    else if (id >= kMIDICCParamStartID)
      ProcessMidiControllerChange(id, value, offset);
  }
}

void IPluginVST3::ProcessMidiControllerChange(Vst::ParamID id, double value, int offset)
{
  const Vst::ParamID k = id - kMIDICCParamStartID;
  if (k >= static_cast<Vst::ParamID>(kMidiChannels * kMIDIControllersPerChannel))
    return;
  const auto channel = static_cast<uint8_t>(k / kMIDIControllersPerChannel);
  const int controller = static_cast<int>(k % kMIDIControllersPerChannel);
  IMidiMsg message;
  message.offset = offset;
  if (controller == Vst::kAfterTouch)
  {
    message.status = 0xD0 | channel;
    message.data1 = ToSevenBits(value);
  }
  else if (controller == Vst::kPitchBend)
  {
    const int bend = 8192 - static_cast<int>((2.0 * value - 1.0) * -8192.0);
    const int n = std::min(std::max(bend, 0), 16383);
    message.status = 0xE0 | channel;
    message.data1 = static_cast<uint8_t>(n & 0x7F);
    message.data2 = static_cast<uint8_t>(n >> 7);
  }
  else
  {
    message.status = 0xB0 | channel;
    message.data1 = static_cast<uint8_t>(controller);
    message.data2 = ToSevenBits(value);
  }
  ForwardMidiMessage(message);
}

void IPluginVST3::ForwardMidiMessage(const IMidiMsg& message)
{
  mMidiMsgsForEditor.Push(message);
  HandleMidiMessage(message);
}

void IPluginVST3::ProcessInputEvents(Vst::IEventList* events)
{
  if (!events)
    return;
  const int32 nEvents = events->getEventCount();
  for (int32 i = 0; i < nEvents; ++i)
  {
    Vst::Event event{};
    if (events->getEvent(i, event) != kResultOk)
      continue;
    IMidiMsg message;
    message.offset = event.sampleOffset;
    switch (event.type)
    {
    case Vst::Event::kNoteOnEvent:
      message.status = 0x90 | (event.noteOn.channel & 0x0F);
      message.data1 = static_cast<uint8_t>(event.noteOn.pitch & 0x7F);
      message.data2 = ToSevenBits(event.noteOn.velocity);
      ForwardMidiMessage(message);
      break;
    case Vst::Event::kNoteOffEvent:
      message.status = 0x80 | (event.noteOff.channel & 0x0F);
      message.data1 = static_cast<uint8_t>(event.noteOff.pitch & 0x7F);
      ForwardMidiMessage(message);
      break;
    case Vst::Event::kPolyPressureEvent:
      message.status = 0xA0 | (event.polyPressure.channel & 0x0F);
      message.data1 = static_cast<uint8_t>(event.polyPressure.pitch & 0x7F);
      message.data2 = ToSevenBits(event.polyPressure.pressure);
      ForwardMidiMessage(message);
      break;
    case Vst::Event::kDataEvent:
      if (event.data.type == Vst::DataEvent::kMidiSysEx && event.data.bytes)
        HandleSysex(ISysEx{event.sampleOffset, static_cast<int>(event.data.size), event.data.bytes});
      break;
    default:
      break;
    }
  }
}

void IPluginVST3::ProcessSysexFromEditor(Vst::IEventList* events)
{
  // The events point at these records until the host has read them after the block.
  size_t n = 0;
  while (n < mSysExOut.size() && mSysExDataFromEditor.Pop(mSysExOut[n]))
  {
    const SysExData& record = mSysExOut[n++];
    if (!events)
      continue;
    Vst::Event event{};
    event.busIndex = 0;
    event.sampleOffset = std::max(record.offset, 0);
    event.type = Vst::Event::kDataEvent;
    event.data.type = Vst::DataEvent::kMidiSysEx;
    event.data.size = static_cast<Steinberg::uint32>(std::min(std::max(record.size, 0), kMaxSysExBytes));
    event.data.bytes = record.data;
    events->addEvent(event);
  }
}

} // namespace plug
