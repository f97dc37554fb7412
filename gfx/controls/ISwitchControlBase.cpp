#include "gfx/controls/ISwitchControlBase.h"

#include "plug/IParam.h"

#include <cmath>

namespace gfx {

ISwitchControlBase::ISwitchControlBase(const IArea& area, int paramIdx, ControlAction action, int nStates)
  : IControl(area, paramIdx, std::move(action)), mStateCount(nStates),
    mStateDisabled(static_cast<size_t>(nStates > 0 ? nStates : 0), 0)
{
  mDoubleClickAsPress = true;
}

void ISwitchControlBase::HandleMouseDown(float /*x*/, float /*y*/, const IMouseMods& /*mod*/)
{
  if (mStateCount == 2)
    StoreValue(Value(0) == 0.0 ? 1.0 : 0.0, 0);
  else if (mStateCount > 2)
  {
    const double v = Value(0) + 1.0 / (mStateCount - 1);
    // One unit in the last place of slack, so that accumulated steps still land on 1.
    StoreValue(v > std::nextafter(1.0, 2.0) ? 0.0 : v, 0);
  }
  else
    StoreValue(0.0, 0); // a single state has nowhere to go
  mPointerDown = true;
  MarkDirty(true);
}

void ISwitchControlBase::HandleMouseUp(float /*x*/, float /*y*/, const IMouseMods& /*mod*/)
{
  mPointerDown = false;
  MarkDirty(false);
}

void ISwitchControlBase::HandleInit()
{
  const plug::IParam* param = Param(0);
  if (!param)
    return;
  const double range = param->GetMax() - param->GetMin();
  // A range too wide for an int (or not finite) is no switch: keep the states.
  if (!(range >= 0.0) || range > 1.0e6)
    return;
  mStateCount = static_cast<int>(range) + 1;
  mStateDisabled.assign(static_cast<size_t>(mStateCount), 0);
}

} // namespace gfx
