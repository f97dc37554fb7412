#pragma once

// Input behaviour of every switch: each press moves the value to the next of
// its states, wrapping back to 0 after the last. A double click counts as a
// press (the graphics context delivers it as one), never as a reset.

#include "gfx/controls/IControl.h"

#include <cstdint>
#include <vector>

namespace gfx {

class ISwitchControlBase : public IControl
{
public:
  ISwitchControlBase(const IArea& area, int paramIdx = -1, ControlAction action = nullptr, int nStates = 2);

  void HandleMouseDown(float x, float y, const IMouseMods& mod) override;
  void HandleMouseUp(float x, float y, const IMouseMods& mod) override;
  /** A bound parameter decides the number of states: one per integer in its range. */
  void HandleInit() override;

  int NStates() const { return mStateCount; }
  bool IsPointerDown() const { return mPointerDown; }

protected:
  int mStateCount;
  std::vector<uint8_t> mStateDisabled; // one mark per state, all 0: no state is disabled
  bool mPointerDown = false;
};

} // namespace gfx
