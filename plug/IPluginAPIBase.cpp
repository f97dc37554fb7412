#include "plug/IPluginAPIBase.h"

#include "plug/Trace.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plug {

namespace {

std::string CopyOf(const char* text)
{
  return text ? text : "";
}

} // namespace

IPluginAPIBase::IPluginAPIBase(const IPluginDefinition& definition)
  : IPluginBase(definition)
  , mPluginCode(definition.pluginCode)
  , mMakerCode(definition.makerCode)
  , mVersion(definition.version)
  , mHasEditor(definition.hasEditor)
  , mOwnEditorWidth(definition.editorWidth)
  , mOwnEditorHeight(definition.editorHeight)
  , mHostResize(definition.hostResize)
  , mPluginName(CopyOf(definition.pluginName))
  , mProductName(CopyOf(definition.productName))
  , mMakerName(CopyOf(definition.makerName))
  , mBundleID(CopyOf(definition.bundleID))
{
  SetEditorDimensions(definition.editorWidth, definition.editorHeight);
  SetEditorSizeLimits(definition.minWidth, definition.maxWidth, definition.minHeight, definition.maxHeight);
}

IPluginAPIBase::~IPluginAPIBase()
{
  // The timer's callback refers to this object.
  mTimer.reset();
}

void IPluginAPIBase::SetHost(const char16_t* hostName)
{
  PLUG_TRACE("plug::IPluginAPIBase::SetHost");
  if (mHost != kHostUninit || !hostName)
    return;
  char narrow[128] = {};
  for (size_t i = 0; i + 1 < sizeof(narrow) && hostName[i]; ++i)
    narrow[i] = static_cast<char>(hostName[i] & 0xFF);
  mHost = IdentifyHost(narrow);
  mHostVersion = 0;
  OnHostKnown();
}

void IPluginAPIBase::LaunchIdleTimer(int intervalMs)
{
  mTimer = Timer::Launch([this](Timer& timer) { ServiceQueues(timer); }, intervalMs);
}

void IPluginAPIBase::ServiceQueues(Timer& /*timer*/)
{
  ServiceQueues();
}

void IPluginAPIBase::ServiceQueues()
{
  if (mHasEditor)
  {
    IMidiMsg message;
    while (mMidiMsgsForEditor.Pop(message))
      SendMidiToEditor(message);
    while (mSysExDataForEditor.Pop(mSysExWork))
      SendSysexToEditor(ISysEx{mSysExWork.offset, mSysExWork.size, mSysExWork.data});
  }
  OnIdleTick();
}

void IPluginAPIBase::PushAllParametersToHost()
{
  for (int i = 0; i < NParams(); ++i)
    PerformHostEdit(i, GetParameter(i)->GetNormalized());
}

void IPluginAPIBase::BeginHostEditFromEditor(int paramIdx)
{
  BeginHostEdit(paramIdx);
}

void IPluginAPIBase::SetParameterFromEditor(int paramIdx, double normalized)
{
  PLUG_TRACE("plug::IPluginAPIBase::SetParameterFromEditor");
  IParam* param = GetParameter(paramIdx);
  if (!param)
    return;
  param->SetPlain(param->Denormalize(normalized));
  PerformHostEdit(paramIdx, normalized);
  OnParamChange(paramIdx, kUI, -1);
  // The editor delegate's own part, without setting the value a second time.
  OnParamChangeForEditor(paramIdx, kUI);
}

void IPluginAPIBase::EndHostEditFromEditor(int paramIdx)
{
  EndHostEdit(paramIdx);
}

bool IPluginAPIBase::ResizeFromEditor(int width, int height, bool needsPlatformResize)
{
  return needsPlatformResize ? RequestEditorResize(width, height) : true;
}

void IPluginAPIBase::MidiFromEditor(const IMidiMsg& message)
{
  QueueMidiFromEditor(message);
}

void IPluginAPIBase::SysexFromEditor(const ISysEx& message)
{
  QueueSysexFromEditor(message);
}

bool IPluginAPIBase::MessageFromEditor(int messageTag, int controlTag, int dataSize, const void* data)
{
  return ReceiveMessage(messageTag, controlTag, dataSize, data);
}

void IPluginAPIBase::QueueMidiFromEditor(const IMidiMsg& message)
{
  mMidiMsgsFromEditor.Push(message);
}

void IPluginAPIBase::QueueSysexFromEditor(const ISysEx& message)
{
  // The record's size never claims more bytes than it holds.
  const int size = std::min(std::max(message.size, 0), kMaxSysExBytes);
  SysExData record;
  record.offset = message.offset;
  record.size = size;
  if (message.data && size > 0)
    std::memcpy(record.data, message.data, static_cast<size_t>(size));
  mSysExDataFromEditor.Push(record);
}

bool IPluginAPIBase::MatchesValues(const double* values, int nValues, int firstIdx) const
{
  if (!values || firstIdx < 0 || static_cast<long long>(firstIdx) + NParams() > nValues)
    return false;
  for (int i = 0; i < NParams(); ++i)
  {
    const double current = static_cast<float>(GetParameter(i)->GetPlain());
    const double stored = static_cast<float>(values[firstIdx + i]);
    if (!(std::abs(current - stored) < 1e-5))
      return false;
  }
  return true;
}

void IPluginAPIBase::TrackColour(int& red, int& green, int& blue) const
{
  red = green = blue = 0;
}

void IPluginAPIBase::QueueParameterForEditor(int paramIdx, double value, bool normalized)
{
  const IParam* param = GetParameter(paramIdx);
  if (!param)
    return;
  mParamChangeToEditorQueue.Push(ParamTuple{paramIdx, normalized ? param->Denormalize(value) : value});
}

} // namespace plug
