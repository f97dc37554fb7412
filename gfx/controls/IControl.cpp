#include "gfx/controls/IControl.h"

#include "gfx/IGfx.h"
#include "gfx/controls/HostEdit.h"

#include "plug/IEditorDelegate.h"
#include "plug/IParam.h"
#include "plug/Trace.h"

#include <algorithm>
#include <cmath>

namespace gfx {

IControl::IControl(const IArea& area, int paramIdx, ControlAction action)
  : mArea(area), mHitArea(area), mActionFunction(std::move(action)), mValues{IControlValue{paramIdx, 0.0}}
{
}

IControl::~IControl() = default;

void IControl::HandleMouseDown(float x, float y, const IMouseMods& mod)
{
  if (mod.R)
    PromptUserInput(x, y);
}

void IControl::HandleDoubleClick(float x, float y, const IMouseMods& /*mod*/)
{
  ResetToDefault(ValueIndexAt(x, y));
}

void IControl::HandleMouseOver(float /*x*/, float /*y*/, const IMouseMods& /*mod*/)
{
  const bool wasOver = mPointerIsOver;
  mPointerIsOver = true;
  if (!wasOver)
    MarkDirty(false);
}

void IControl::HandleMouseOut()
{
  const bool wasOver = mPointerIsOver;
  mPointerIsOver = false;
  if (wasOver)
    MarkDirty(false);
}

void IControl::HandleMenuResult(IMenuModel* menu, int valIdx)
{
  if (!menu || valIdx < 0 || valIdx >= NValues() || mPromptDisabled)
    return;
  const plug::IParam* param = Param(valIdx);
  const IMenuModel::Item* chosen = menu->GetChosenItem();
  if (!param || !chosen)
    return;
  ApplyUserValue(param->Normalize(static_cast<double>(menu->GetChosenItemIdx())), valIdx);
}

void IControl::PaintHighlight(IGfx& g)
{
  if (mHighlighted)
    g.PaintCircle(mHighlightColour, mArea.R - 5.f, mArea.T + 5.f, 2.f);
}

bool IControl::BindParameter(int paramIdx, int valIdx)
{
  if (valIdx < 0 || valIdx >= NValues())
    return false;
  mValues[static_cast<size_t>(valIdx)].paramIdx = paramIdx;
  MarkDirty(false);
  return true;
}

int IControl::ValueIndexAt(float /*x*/, float /*y*/) const
{
  return NValues() == 1 ? 0 : -1;
}

void IControl::ReceiveValue(double normalized, int valIdx)
{
  if (valIdx < 0 || valIdx >= NValues() || IsCapturedByPointer())
    return;
  if (mValues[static_cast<size_t>(valIdx)].value == normalized)
    return;
  StoreValue(normalized, valIdx);
  MarkDirty(false);
}

void IControl::ApplyUserValue(double normalized, int valIdx)
{
  if (valIdx < 0 || valIdx >= NValues() || mValues[static_cast<size_t>(valIdx)].value == normalized)
    return;
  StoreValue(normalized, valIdx);
  MarkDirty(true, valIdx);
}

void IControl::ResetToDefault(int valIdx)
{
  if (NValues() == 1)
    valIdx = 0;
  for (int i = 0; i < NValues(); ++i)
  {
    if (valIdx >= 0 && i != valIdx)
      continue;
    if (const plug::IParam* param = Param(i))
      StoreValue(param->Normalize(param->GetDefaultValue()), i);
  }
  MarkDirty(true, valIdx);
}

void IControl::StoreValue(double normalized, int valIdx)
{
  // A NaN would pass every clamp and reach the host as a parameter value.
  if (std::isnan(normalized))
    return;
  if (valIdx < 0)
  {
    for (IControlValue& v : mValues)
      v.value = normalized;
  }
  else if (valIdx < NValues())
    mValues[static_cast<size_t>(valIdx)].value = normalized;
}

void IControl::MoveTo(float x, float y)
{
  x = std::max(x, 0.f);
  y = std::max(y, 0.f);
  mPointerIsOver = false;
  const float hitOffsetX = mHitArea.L - mArea.L;
  const float hitOffsetY = mHitArea.T - mArea.T;
  mArea = IArea(x, y, x + mArea.W(), y + mArea.H());
  HandleResize();
  mHitArea = IArea(mArea.L + hitOffsetX, mArea.T + hitOffsetY, mArea.L + hitOffsetX + mHitArea.W(),
                   mArea.T + hitOffsetY + mHitArea.H());
}

void IControl::SetExtent(float width, float height)
{
  mPointerIsOver = false;
  mArea = IArea(mArea.L, mArea.T, mArea.L + std::max(width, 0.f), mArea.T + std::max(height, 0.f));
  mHitArea = mArea;
  HandleResize();
}

void IControl::SetTargetAndDrawAreas(const IArea& area)
{
  mArea = area;
  mHitArea = area;
  HandleResize();
}

void IControl::SetHidden(bool hide)
{
  mHidden = hide;
  MarkDirty(false);
}

void IControl::SetDisabled(bool disable)
{
  mIsDisabled = disable;
  mBlendMode.weight = disable ? 0.25f : 1.f;
  MarkDirty(false);
}

bool IControl::ContainsPoint(float x, float y) const
{
  return !mHitArea.Empty() && mHitArea.Contains(x, y);
}

void IControl::MarkDirty(bool report, int valIdx)
{
  if (NValues() == 1)
    valIdx = 0;
  for (int i = 0; i < NValues(); ++i)
  {
    if (valIdx >= 0 && i != valIdx)
      continue;
    StoreValue(std::clamp(mValues[static_cast<size_t>(i)].value, 0.0, 1.0), i);
  }
  mDirtyFlag = true;
  if (!report)
    return;

  for (int i = 0; i < NValues(); ++i)
  {
    if (valIdx >= 0 && i != valIdx)
      continue;
    const IControlValue slot = mValues[static_cast<size_t>(i)];
    if (slot.paramIdx < 0)
      continue;
    HostEdit::Set(mEditorDelegate, slot.paramIdx, slot.value);
    if (mGraphicsContext)
    {
      mGraphicsContext->EachControlOfParam(slot.paramIdx, [this, &slot](IControl* other, int otherIdx) {
        if (other != this)
          other->ReceiveValue(slot.value, otherIdx);
      });
    }
  }
  if (mActionFunction)
  {
    // The action may replace itself; the running copy stays alive until it returns.
    ControlAction action = mActionFunction;
    action(this);
  }
}

bool IControl::NeedsRepaint() const
{
  return HasAnimation() || mDirtyFlag;
}

void IControl::SnapToPointer(float x, float y, int direction, const IArea& bounds, int valIdx, double low,
                             double high)
{
  x = std::clamp(x, bounds.L, bounds.R);
  y = std::clamp(y, bounds.T, bounds.B);
  double v = 0.0;
  if (direction == 0)
    v = bounds.H() > 0.f ? 1.0 - (y - bounds.T) / bounds.H() : 0.0;
  else
    v = bounds.W() > 0.f ? (x - bounds.L) / bounds.W() : 0.0;
  v = std::round(v / 0.001) * 0.001;
  v = std::clamp(v, low, high);
  StoreValue(v, valIdx);
  MarkDirty(true, valIdx);
}

void IControl::FinishAnimation()
{
  mAnimationHook = nullptr;
  MarkDirty(false);
  if (mAnimationEndFunction)
  {
    ControlHook end = mAnimationEndFunction;
    end(this);
  }
}

void IControl::StartAnimation(ControlHook hook, int durationMs)
{
  mAnimationHook = std::move(hook);
  mAnimationStart = mGraphicsContext ? mGraphicsContext->FrameTimeMs() : 0.0;
  mAnimationLength = durationMs;
}

double IControl::AnimationProgress() const
{
  if (!mAnimationHook)
    return 0.0;
  const double now = mGraphicsContext ? mGraphicsContext->FrameTimeMs() : mAnimationStart;
  if (mAnimationLength <= 0)
    return now > mAnimationStart ? 1.0 + (now - mAnimationStart) : 1.0;
  return (now - mAnimationStart) / mAnimationLength;
}

void IControl::RunAnimationHook()
{
  if (!mAnimationHook)
    return;
  ControlHook hook = mAnimationHook;
  hook(this);
}

double IControl::Value(int valIdx) const
{
  return valIdx >= 0 && valIdx < NValues() ? mValues[static_cast<size_t>(valIdx)].value : 0.0;
}

int IControl::ParamIdx(int valIdx) const
{
  return valIdx >= 0 && valIdx < NValues() ? mValues[static_cast<size_t>(valIdx)].paramIdx : -1;
}

const plug::IParam* IControl::Param(int valIdx) const
{
  const int paramIdx = ParamIdx(valIdx);
  if (paramIdx < 0 || !mEditorDelegate)
    return nullptr;
  return static_cast<const plug::IEditorDelegate*>(mEditorDelegate)->GetParameter(paramIdx);
}

int IControl::AddValueSlot(int paramIdx, double value)
{
  mValues.push_back({paramIdx, value});
  return NValues() - 1;
}

int IControl::FirstValueIndexOfParam(int paramIdx) const
{
  if (paramIdx < 0)
    return -1;
  for (int i = 0; i < NValues(); ++i)
  {
    if (mValues[static_cast<size_t>(i)].paramIdx == paramIdx)
      return i;
  }
  return -1;
}

void IControl::SetHighlighted(bool highlighted, const IRgba& colour)
{
  mHighlighted = highlighted;
  mHighlightColour = colour;
  MarkDirty(false);
}

bool IControl::IsCapturedByPointer() const
{
  return mGraphicsContext && mGraphicsContext->IsCaptured(this);
}

void IControl::PromptUserInput(float x, float y)
{
  const int valIdx = ValueIndexAt(x, y);
  if (valIdx < 0 || mPromptDisabled)
    return;
  const plug::IParam* param = Param(valIdx);
  if (!param || !mGraphicsContext)
    return;
  const IArea area = param->NDisplayTexts() == 0
                       ? IArea(mArea.MW() - 20.f, mArea.MH() - 8.f, mArea.MW() + 20.f, mArea.MH() + 8.f)
                       : mArea;
  mGraphicsContext->PromptForValue(this, area, valIdx);
  MarkDirty(false);
}

} // namespace gfx
