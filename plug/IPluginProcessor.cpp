#include "plug/IPluginProcessor.h"

#include "plug/Trace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace plug {

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size())
  {
    const size_t end = std::min(text.find(separator, start), text.size());
    if (end > start)
      parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Reads one side of a configuration ("1.2", "*", "0") into buses and its
// channel total; false when a count is neither "*" nor a whole number of
// 0..kMaxBusChannels, or the side needs more than kMaxSideChannels.
bool ParseBuses(const std::string& side, ERoute direction, std::vector<IBusLayout>& buses, int& total)
{
  total = 0;
  int used = 0;
  for (const std::string& element : Split(side, '.'))
  {
    int channels = kWildcardChannels;
    if (element[0] != '*')
    {
      char* end = nullptr;
      const long count = std::strtol(element.c_str(), &end, 10);
      if (end == element.c_str() || count < 0 || count > kMaxBusChannels)
        return false;
      channels = static_cast<int>(count);
    }
    if (channels != 0)
      buses.push_back(IBusLayout{direction, channels});
    // A wildcard bus counts no channels of its own, and never cancels the
    // channels of the buses beside it.
    total += std::max(channels, 0);
    used += std::max(channels, 0);
    if (used > kMaxSideChannels)
      return false;
  }
  return true;
}

void CopyChannel(const double* input, double* output, int nFrames)
{
  if (output && input != output)
  {
    if (input)
      std::memmove(output, input, sizeof(double) * nFrames);
    else
      std::fill(output, output + nFrames, 0.0);
  }
}

void ZeroChannel(double* output, int nFrames)
{
  if (output)
    std::fill(output, output + nFrames, 0.0);
}

} // namespace

ILatencyDelay::ILatencyDelay(int nInputs, int nOutputs, int latency) : mNInputs(nInputs), mNOutputs(nOutputs)
{
  // Plug-ins change their latency from the audio thread; with this room a new
  // latency up to kPreallocatedLatency never allocates there.
  mBuffer.reserve(static_cast<size_t>(std::max(latency, kPreallocatedLatency)) * std::max(nInputs, 0));
  Reset(latency);
}

void ILatencyDelay::Reset(int latency)
{
  mLatency = std::max(latency, 0);
  mBuffer.assign(static_cast<size_t>(mLatency) * mNInputs, 0.0);
  mWritePos = 0;
}

void ILatencyDelay::Process(double** inputs, double** outputs, int nFrames)
{
  if (mLatency == 0)
    return;
  const int nChannels = std::min(mNInputs, mNOutputs);
  for (int frame = 0; frame < nFrames; ++frame)
  {
    for (int ch = 0; ch < nChannels; ++ch)
    {
      if (!inputs[ch] || !outputs[ch])
        continue;
      double& slot = mBuffer[static_cast<size_t>(ch) * mLatency + mWritePos];
      const double in = inputs[ch][frame]; // read first: input and output may share a buffer
      outputs[ch][frame] = slot;
      slot = in;
    }
    mWritePos = mWritePos + 1 == mLatency ? 0 : mWritePos + 1;
  }
}

void ILatencyDelay::Write(double** inputs, int nFrames)
{
  if (mLatency == 0)
    return;
  const int nChannels = std::min(mNInputs, mNOutputs);
  for (int frame = 0; frame < nFrames; ++frame)
  {
    for (int ch = 0; ch < nChannels; ++ch)
      if (inputs[ch])
        mBuffer[static_cast<size_t>(ch) * mLatency + mWritePos] = inputs[ch][frame];
    mWritePos = mWritePos + 1 == mLatency ? 0 : mWritePos + 1;
  }
}

IPluginProcessor::IPluginProcessor(const IPluginDefinition& definition)
  : mKind(definition.kind)
  , mMidiIn(definition.midiIn)
  , mMidiOut(definition.midiOut)
  , mMPE(definition.mpe)
  , mLatency(std::max(definition.latency, 0))
{
  ParseIOConfigText(definition.channelIO);

  mInputPtrs.assign(mMaxInputChannels, nullptr);
  mOutputPtrs.assign(mMaxOutputChannels, nullptr);
  mInputs.resize(mMaxInputChannels);
  mOutputs.resize(mMaxOutputChannels);
  for (int i = 0; i < mMaxInputChannels; ++i)
    mInputs[i].data = &mInputPtrs[i];
  for (int i = 0; i < mMaxOutputChannels; ++i)
    mOutputs[i].data = &mOutputPtrs[i];

  if (mMaxInputChannels > 0)
    mLatencyDelay = std::make_unique<ILatencyDelay>(mMaxInputChannels, mMaxOutputChannels, mLatency.load());
}

IPluginProcessor::~IPluginProcessor() = default;

void IPluginProcessor::ParseIOConfigText(const char* text)
{
  PLUG_TRACE("plug::IPluginProcessor::ParseIOConfigText");
  for (const std::string& config : Split(text ? text : "", ' '))
  {
    const size_t dash = config.find('-');
    const std::string inputs = config.substr(0, dash);
    const std::string outputs = dash == std::string::npos ? std::string() : config.substr(dash + 1);

    IChannelLayout layout;
    int nIn = 0;
    int nOut = 0;
    // A configuration no host could be given is left out rather than sized for.
    if (!ParseBuses(inputs, kInput, layout.inputs, nIn) || !ParseBuses(outputs, kOutput, layout.outputs, nOut))
      continue;
    mMaxInputChannels = std::max(mMaxInputChannels, nIn);
    mMaxOutputChannels = std::max(mMaxOutputChannels, nOut);
    mMaxInputBuses = std::max(mMaxInputBuses, static_cast<int>(layout.inputs.size()));
    mMaxOutputBuses = std::max(mMaxOutputBuses, static_cast<int>(layout.outputs.size()));
    mLayouts.push_back(std::move(layout));
  }
}

void IPluginProcessor::ProcessAudio(double** inputs, double** outputs, int nFrames)
{
  const int nIn = NChannels(kInput);
  for (int ch = 0; ch < NChannels(kOutput); ++ch)
  {
    if (ch < nIn)
      CopyChannel(inputs[ch], outputs[ch], nFrames);
    else
      ZeroChannel(outputs[ch], nFrames);
  }
}

void IPluginProcessor::HandleMidiMessage(const IMidiMsg& message)
{
  EmitMidiMessage(message);
}

bool IPluginProcessor::EmitMidiMessages(const IMidiMsg* messages, int count)
{
  bool allSent = true;
  for (int i = 0; i < count; ++i)
    allSent = EmitMidiMessage(messages[i]) && allSent;
  return allSent;
}

void IPluginProcessor::MakeBusName(ERoute direction, int busIdx, int nBuses, std::string& name) const
{
  if (direction == kInput)
  {
    if (nBuses == 1)
      name = "Input";
    else if (nBuses == 2 && busIdx == 0)
      name = "Main";
    else if (nBuses == 2 && busIdx == 1)
      name = "Aux";
    else
      name = "Input " + std::to_string(busIdx);
  }
  else
    name = nBuses == 1 ? std::string("Output") : "Output " + std::to_string(busIdx);
}

void IPluginProcessor::ChangeLatency(int samples)
{
  PLUG_TRACE("plug::IPluginProcessor::ChangeLatency");
  mLatency.store(std::max(samples, 0));
  if (mLatencyDelay)
    mLatencyDelay->Reset(mLatency.load());
}

int IPluginProcessor::MostBuses(ERoute direction, int& layoutIdx) const
{
  int most = 0;
  layoutIdx = -1;
  for (int i = 0; i < NIOConfigs(); ++i)
  {
    const int n = static_cast<int>(mLayouts[i].Buses(direction).size());
    if (n >= most)
    {
      most = n;
      layoutIdx = i;
    }
  }
  return most;
}

int IPluginProcessor::MostBuses(ERoute direction) const
{
  int layoutIdx = -1;
  return MostBuses(direction, layoutIdx);
}

int IPluginProcessor::FindLayoutForChannelCounts(const int* inputCounts, int nInputBuses, const int* outputCounts,
                                                 int nOutputBuses) const
{
  auto matches = [](const std::vector<IBusLayout>& buses, const int* counts, int nBuses) {
    if (static_cast<int>(buses.size()) != nBuses)
      return false;
    for (int i = 0; i < nBuses; ++i)
      if (buses[i].channels != counts[i])
        return false;
    return true;
  };
  for (int i = 0; i < NIOConfigs(); ++i)
    if (matches(mLayouts[i].inputs, inputCounts, nInputBuses) && matches(mLayouts[i].outputs, outputCounts, nOutputBuses))
      return i;
  return -1;
}

int IPluginProcessor::WidestFirstInputBus() const
{
  if (mLayouts.empty())
    return 0;
  for (const IBusLayout& bus : mLayouts.front().inputs)
    if (bus.channels < 0)
      return -1;
  int widest = 0;
  for (const IChannelLayout& layout : mLayouts)
    widest = std::max(widest, layout.inputs.empty() ? 0 : layout.inputs.front().channels);
  return widest;
}

void IPluginProcessor::ChangeBlockSize(int nFrames)
{
  PLUG_TRACE("plug::IPluginProcessor::ChangeBlockSize");
  nFrames = std::max(nFrames, 0);
  if (nFrames == mBlockSize)
    return;
  for (std::vector<IChannelSlot>* slots : {&mInputs, &mOutputs})
  {
    for (IChannelSlot& slot : *slots)
    {
      const bool onScratch = *slot.data == slot.scratch.data();
      slot.scratch.assign(static_cast<size_t>(nFrames), 0.0);
      if (onScratch)
        slot.PointAtScratch(); // the old buffer is gone
    }
  }
  mBlockSize = nFrames;
}

void IPluginProcessor::PassThrough(int nFrames)
{
  if (GetLatency() > 0 && mLatencyDelay)
  {
    mLatencyDelay->Process(mInputPtrs.data(), mOutputPtrs.data(), nFrames);
    return;
  }
  const int nCopied = std::min(NChannels(kInput), NChannels(kOutput));
  for (int ch = 0; ch < NChannels(kOutput); ++ch)
  {
    if (ch < nCopied)
      CopyChannel(mInputPtrs[ch], mOutputPtrs[ch], nFrames);
    else
      ZeroChannel(mOutputPtrs[ch], nFrames);
  }
}

void IPluginProcessor::FeedLatencyDelay(int nFrames)
{
  if (GetLatency() > 0 && mLatencyDelay)
    mLatencyDelay->Write(mInputPtrs.data(), nFrames);
}

void IPluginProcessor::ClearLatencyDelay()
{
  if (mLatencyDelay)
    mLatencyDelay->Reset(mLatency.load());
}

int IPluginProcessor::NConnectedChannels(ERoute direction) const
{
  const std::vector<IChannelSlot>& slots = Slots(direction);
  return static_cast<int>(std::count_if(slots.begin(), slots.end(), [](const IChannelSlot& s) { return s.connected; }));
}

} // namespace plug
