#pragma once

// Input behaviour of every knob: a press starts a drag that accumulates the
// normalized value (up or right increases it), the wheel nudges the value or
// moves a stepped parameter by one step, a double click resets it (IControl).
// Subclasses only draw.

#include "gfx/controls/IControl.h"

namespace gfx {

enum class EDirection
{
  Vertical = 0,
  Horizontal
};

class IKnobControlBase : public IControl
{
public:
  /**
   * gearing: the full range takes gearing x the hit area's height (vertical)
   * or width (horizontal) in pixels; ten times as many with Shift or Control.
   */
  IKnobControlBase(const IArea& area, int paramIdx = -1, ControlAction action = nullptr, double gearing = 4.0);

  void HandleMouseDown(float x, float y, const IMouseMods& mod) override;
  void HandleMouseUp(float x, float y, const IMouseMods& mod) override;
  void HandleMouseDrag(float x, float y, float dX, float dY, const IMouseMods& mod) override;
  void HandleWheel(float x, float y, const IMouseMods& mod, float delta) override;

  /** The area whose size sets the drag's travel: the hit area. */
  virtual IArea DragBounds() const { return mHitArea; }

  void SetDirection(EDirection direction) { mFrameDirection = direction; }
  EDirection Direction() const { return mFrameDirection; }
  double Gearing() const { return mTravelFactor; }
  void SetGearing(double gearing) { mTravelFactor = gearing; }
  void SetCursorHiddenWhileDragging(bool hide) { mCursorHiddenWhileDragging = hide; }
  bool IsPointerDown() const { return mPointerDown; }

protected:
  /** The stepped parameter of slot 0 with a positive step, or nullptr. */
  const plug::IParam* SteppedParam() const;

  bool mCursorHiddenWhileDragging = true;
  EDirection mFrameDirection = EDirection::Vertical;
  double mTravelFactor;
  bool mPointerDown = false;
  // The drag's accumulator: kept unsnapped (so slow drags still cross the
  // steps of a stepped parameter) and clamped (so turning back past an end
  // responds at once).
  double mDragValue = 0.0;
};

} // namespace gfx
