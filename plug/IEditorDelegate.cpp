#include "plug/IEditorDelegate.h"

#include "plug/Trace.h"

#include <utility>

namespace plug {

IEditorDelegate::IEditorDelegate(int nParams)
{
  for (int i = 0; i < nParams; ++i)
    mParams.push_back(std::make_unique<IParam>());
}

IEditorDelegate::~IEditorDelegate() = default;

IParam* IEditorDelegate::GetParameter(int paramIdx)
{
  return paramIdx >= 0 && paramIdx < NParams() ? mParams[paramIdx].get() : nullptr;
}

const IParam* IEditorDelegate::GetParameter(int paramIdx) const
{
  return paramIdx >= 0 && paramIdx < NParams() ? mParams[paramIdx].get() : nullptr;
}

void IEditorDelegate::SetEditorDimensions(int width, int height)
{
  mEditorWidth = width;
  mEditorHeight = height;
}

void IEditorDelegate::SetEditorSizeLimits(int minWidth, int maxWidth, int minHeight, int maxHeight)
{
  if (minWidth > maxWidth)
    std::swap(minWidth, maxWidth);
  if (minHeight > maxHeight)
    std::swap(minHeight, maxHeight);
  mMinWidth = minWidth;
  mMaxWidth = maxWidth;
  mMinHeight = minHeight;
  mMaxHeight = maxHeight;
}

void IEditorDelegate::SetEditorScaleLimits(float minScale, float maxScale)
{
  if (minScale > maxScale)
    std::swap(minScale, maxScale);
  mMinScale = minScale;
  mMaxScale = maxScale;
}

void* IEditorDelegate::OpenEditor(void* /*parent*/)
{
  PLUG_TRACE("plug::IEditorDelegate::OpenEditor");
  OnEditorOpened();
  return nullptr;
}

void IEditorDelegate::CloseEditor()
{
  PLUG_TRACE("plug::IEditorDelegate::CloseEditor");
  OnEditorClosed();
}

void IEditorDelegate::OnEditorOpened()
{
  PLUG_TRACE("plug::IEditorDelegate::OnEditorOpened");
  for (int i = 0; i < NParams(); ++i)
    SendParameterValueToEditor(i, mParams[i]->GetNormalized(), true);
}

void IEditorDelegate::OnParamChange(int paramIdx, int /*source*/, int /*sampleOffset*/)
{
  PLUG_TRACE("plug::IEditorDelegate::OnParamChange");
  OnParamChange(paramIdx);
}

void IEditorDelegate::AnnounceAllParameters(int source)
{
  PLUG_TRACE("plug::IEditorDelegate::AnnounceAllParameters");
  for (int i = 0; i < NParams(); ++i)
  {
    OnParamChange(i, source, -1);
    OnParamChangeForEditor(i, source);
  }
}

void IEditorDelegate::AfterStateRestored()
{
  OnEditorOpened();
}

void IEditorDelegate::SendControlMessageToEditor(int controlTag, int messageTag, int dataSize, const void* data)
{
  ReceiveMessage(messageTag, controlTag, dataSize, data);
}

void IEditorDelegate::SendMessageToEditor(int messageTag, int dataSize, const void* data)
{
  ReceiveMessage(messageTag, -1, dataSize, data);
}

void IEditorDelegate::SendMidiToEditor(const IMidiMsg& message)
{
  OnMidiForEditor(message);
}

void IEditorDelegate::SendSysexToEditor(const ISysEx& message)
{
  OnSysexForEditor(message);
}

void IEditorDelegate::SendParameterValueToEditor(int paramIdx, double /*value*/, bool /*normalized*/)
{
  OnParamChangeForEditor(paramIdx, kDelegate);
}

void IEditorDelegate::SetParameterFromEditor(int paramIdx, double normalized)
{
  PLUG_TRACE("plug::IEditorDelegate::SetParameterFromEditor");
  IParam* param = GetParameter(paramIdx);
  if (!param)
    return;
  param->SetPlain(param->Denormalize(normalized));
  OnParamChangeForEditor(paramIdx, kUI);
}

} // namespace plug
