#include "gfx/controls/ICornerResizerControl.h"

#include "gfx/IGfx.h"

namespace gfx {

ICornerResizerControl::ICornerResizerControl(const IArea& graphicsBounds, float size)
  : IControl(IArea(graphicsBounds.R - size + 1.f, graphicsBounds.B - size + 1.f, graphicsBounds.R - 1.f,
                   graphicsBounds.B - 1.f)),
    mCornerSize(size), mInitialBounds(0.f, 0.f, graphicsBounds.W(), graphicsBounds.H())
{
}

void ICornerResizerControl::HandleMouseDown(float /*x*/, float /*y*/, const IMouseMods& /*mod*/)
{
  if (mGraphicsContext)
    mGraphicsContext->SetResizingInProgress();
}

void ICornerResizerControl::HandleDoubleClick(float /*x*/, float /*y*/, const IMouseMods& /*mod*/)
{
  if (mGraphicsContext)
    mGraphicsContext->SetEditorSize(static_cast<int>(mInitialBounds.W()), static_cast<int>(mInitialBounds.H()), 1.f);
}

void ICornerResizerControl::HandleMouseOver(float x, float y, const IMouseMods& mod)
{
  if (!mCursorChanged && mGraphicsContext)
  {
    mPreviousCursor = mGraphicsContext->SetCursorShape(ECursor::SizeNWSE);
    mCursorChanged = true;
  }
  IControl::HandleMouseOver(x, y, mod);
}

void ICornerResizerControl::HandleMouseOut()
{
  if (mCursorChanged && mGraphicsContext)
    mGraphicsContext->SetCursorShape(mPreviousCursor);
  mCursorChanged = false;
  IControl::HandleMouseOut();
}

void ICornerResizerControl::HandleRescale()
{
  mPointerIsOver = false;
  if (!mGraphicsContext)
    return;
  const float w = static_cast<float>(mGraphicsContext->GetWidth());
  const float h = static_cast<float>(mGraphicsContext->GetHeight());
  const float side = mCornerSize / mGraphicsContext->GetDrawScale();
  mArea = IArea(w - side, h - side, w, h);
  mHitArea = mArea;
  HandleResize();
}

void ICornerResizerControl::Paint(IGfx& g)
{
  const IRgba& colour = mGraphicsContext && mGraphicsContext->ResizingInProgress() ? mDragColour
                        : mPointerIsOver                                              ? mOverColour
                                                                                      : mColour;
  g.PaintTriangle(colour, mArea.L, mArea.B, mArea.R, mArea.T, mArea.R, mArea.B, nullptr);
}

} // namespace gfx
