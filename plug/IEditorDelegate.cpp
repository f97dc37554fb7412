#include "plug/IEditorDelegate.h"

#include "plug/Trace.h"

#include <algorithm>
#include <cmath>
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

namespace {

// The window's extent as the editor computes it: the scaled size, truncated.
int ScaledSpan(int size, float scale)
{
  return static_cast<int>(scale * static_cast<float>(size));
}

} // namespace

void IEditorDelegate::FitEditorSize(int& width, int& height, float& scale) const
{
  width = std::clamp(width, mMinWidth, mMaxWidth);
  height = std::clamp(height, mMinHeight, mMaxHeight);
  if (!(std::isfinite(scale) && scale > 0.f))
    scale = 1.f;
  scale = std::clamp(scale, mMinScale, mMaxScale);
  if (width <= 0 || height <= 0)
    return;
  // Width and height are inside the limits, so scale 1 fits: the range below
  // is never empty, and the size limits win over the scale limits.
  const float fw = static_cast<float>(width), fh = static_cast<float>(height);
  scale = std::min(scale, std::min(static_cast<float>(mMaxWidth) / fw, static_cast<float>(mMaxHeight) / fh));
  scale = std::max(scale, std::max(static_cast<float>(mMinWidth) / fw, static_cast<float>(mMinHeight) / fh));
  // The quotients are rounded: a product may land a pixel outside, one way or the other.
  for (int i = 0; i < 64 && (ScaledSpan(width, scale) > mMaxWidth || ScaledSpan(height, scale) > mMaxHeight); ++i)
    scale = std::nextafter(scale, 0.f);
  for (int i = 0; i < 64 && (ScaledSpan(width, scale) < mMinWidth || ScaledSpan(height, scale) < mMinHeight); ++i)
    scale = std::nextafter(scale, 2.f * scale);
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
