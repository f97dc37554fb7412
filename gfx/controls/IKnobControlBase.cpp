#include "gfx/controls/IKnobControlBase.h"

#include "gfx/IGfx.h"

#include "plug/IParam.h"

#include <algorithm>

namespace gfx {

IKnobControlBase::IKnobControlBase(const IArea& area, int paramIdx, ControlAction action, double gearing)
  : IControl(area, paramIdx, std::move(action)), mTravelFactor(gearing)
{
}

const plug::IParam* IKnobControlBase::SteppedParam() const
{
  const plug::IParam* param = Param(0);
  return param && param->IsStepped() && param->GetStep() > 0.0 ? param : nullptr;
}

void IKnobControlBase::HandleMouseDown(float x, float y, const IMouseMods& mod)
{
  mPointerDown = true;
  mDragValue = Value(0);
  if (mCursorHiddenWhileDragging && mGraphicsContext)
    mGraphicsContext->SetCursorHidden(true, true);
  IControl::HandleMouseDown(x, y, mod);
}

void IKnobControlBase::HandleMouseUp(float /*x*/, float /*y*/, const IMouseMods& /*mod*/)
{
  if (mCursorHiddenWhileDragging && mGraphicsContext)
    mGraphicsContext->SetCursorHidden(false, true);
  mPointerDown = false;
  MarkDirty(false);
}

void IKnobControlBase::HandleMouseDrag(float /*x*/, float /*y*/, float dX, float dY, const IMouseMods& mod)
{
  double gearing = mTravelFactor;
  if (mod.S || mod.C)
    gearing *= 10.0;
  const IArea bounds = DragBounds();
  double delta = 0.0;
  double span = 0.0;
  if (mFrameDirection == EDirection::Vertical)
  {
    delta = dY;
    span = static_cast<double>(bounds.T) - bounds.B; // negative: moving up increases
  }
  else
  {
    delta = dX;
    span = static_cast<double>(bounds.R) - bounds.L;
  }
  // A degenerate area or gearing has no travel; a drag must not write NaN or infinity.
  if (span == 0.0 || !(gearing > 0.0))
    return;
  mDragValue = std::clamp(mDragValue + delta / span / gearing, 0.0, 1.0);

  double v = mDragValue;
  if (const plug::IParam* param = SteppedParam())
    v = param->Normalize(param->Denormalize(v));
  StoreValue(v, 0);
  MarkDirty(true);
}

void IKnobControlBase::HandleWheel(float /*x*/, float /*y*/, const IMouseMods& mod, float delta)
{
  const double gain = (mod.S || mod.C) ? 0.001 : 0.01;
  double v = Value(0);
  if (const plug::IParam* param = SteppedParam())
  {
    // One step per wheel event, whatever its size; a zero delta leaves the value.
    if (delta != 0.f)
    {
      const double plain = param->Denormalize(v);
      v = param->Normalize(delta > 0.f ? plain + param->GetStep() : plain - param->GetStep());
    }
  }
  else
    v += delta * gain;
  StoreValue(v, 0);
  MarkDirty(true);
}

} // namespace gfx
