#pragma once

// The resize corner: a small triangle in the editor's lower-right corner.
// Pressing it starts the graphics context's drag-resizing (the context does
// the resizing and keeps it within the editor's limits); a double click
// returns the editor to its size at creation at draw scale 1. The corner keeps
// its on-screen size at every draw scale.

#include "gfx/controls/IControl.h"

namespace gfx {

class ICornerResizerControl : public IControl
{
public:
  /** graphicsBounds: the editor at creation (0, 0, width, height); size: the corner's side in screen pixels. */
  ICornerResizerControl(const IArea& graphicsBounds, float size);

  void HandleMouseDown(float x, float y, const IMouseMods& mod) override;
  void HandleDoubleClick(float x, float y, const IMouseMods& mod) override;
  void HandleMouseOver(float x, float y, const IMouseMods& mod) override;
  void HandleMouseOut() override;
  /** The corner square again, its side divided by the draw scale. */
  void HandleRescale() override;
  void Paint(IGfx& g) override;

  float CornerSize() const { return mCornerSize; }
  const IArea& InitialBounds() const { return mInitialBounds; }

private:
  float mCornerSize;
  bool mCursorChanged = false;
  ECursor mPreviousCursor = ECursor::Arrow;
  IArea mInitialBounds;
  IRgba mColour{10, 0, 0, 0};
  IRgba mOverColour = kColourBlack;
  IRgba mDragColour = kColourBlack;
};

} // namespace gfx
