#pragma once

#include "gfx/controls/IControl.h"

#include <cstdint>

namespace gfx {

/** A control that shows a value next to another control (the value bubble is built on it). */
class IBubbleControl : public IControl
{
public:
  using IControl::IControl;
  /** Shows text for caller near (x, y); direction 0 above or below, 1 beside. */
  virtual void ShowBubble(IControl* caller, float x, float y, const char* text, int direction,
                          const IArea& minimumContentArea, int64_t touchID) = 0;
  /** The pointer the bubble is showing a value for (0 for the mouse). */
  virtual int64_t BubbleTouchID() const = 0;
};

} // namespace gfx
