#include "gfx/controls/IBitmapControls.h"

#include "gfx/IGfx.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace gfx {

IArea IBitmapBase::FrameArea(float x, float y, const IBitmap& bitmap)
{
  return {x, y, x + static_cast<float>(bitmap.FrameWidth()), y + static_cast<float>(bitmap.FrameHeight())};
}

int IBitmapBase::FrameForValue(int nFrames, double value)
{
  if (nFrames <= 1)
    return 0;
  // Out-of-range and NaN values (a slot written but not yet clamped) pick an end frame.
  if (!(value > 0.0))
    value = 0.0;
  else if (value > 1.0)
    value = 1.0;
  const int frame = static_cast<int>((nFrames - 1) * value + 0.5);
  return std::clamp(frame, 0, nFrames - 1);
}

void IBitmapBase::DrawBitmap(IGfx& g) const
{
  if (!mImage.IsValid())
    return;
  const int n = mImage.N();
  const int frame = CurrentFrame();
  const float frameW = static_cast<float>(mImage.FrameWidth());
  const float frameH = static_cast<float>(mImage.FrameHeight());
  const IArea& area = mOwner->Area();
  const float left = (area.L + area.R) * 0.5f - frameW * 0.5f;
  const float top = (area.T + area.B) * 0.5f - frameH * 0.5f;
  const IArea dest(left, top, left + frameW, top + frameH);
  int srcX = 0;
  int srcY = 0;
  if (n > 1 && frame > 0)
  {
    if (mImage.GetFramesAreHorizontal())
      srcX = frame * mImage.W() / n;
    else
      srcY = frame * mImage.H() / n;
  }
  g.BlitBitmap(mImage, dest, srcX, srcY, &mOwner->BlendMode());
}

void IBitmapBase::ReloadBitmap()
{
  IGfx* g = mOwner->GraphicsContext();
  // An image without a name (one made from memory) has nothing to reload from.
  if (!g || mImage.GetName().empty())
    return;
  const int targetScale = std::max(1, static_cast<int>(std::ceil(g->DisplayScale())));
  const IBitmap reloaded =
    g->RequestBitmap(mImage.GetName().c_str(), mImage.N(), mImage.GetFramesAreHorizontal(), targetScale);
  // A failed reload leaves an empty image that still knows its name, frames and
  // layout, so the next rescale can try again; drawing skips an empty image.
  mImage = reloaded.IsValid()
             ? reloaded
             : IBitmap(nullptr, mImage.N(), mImage.GetFramesAreHorizontal(), mImage.GetName());
}

void IBitmapBase::NoteMarkDirty()
{
  // The first MarkDirty of a value change is the change's own; any other,
  // such as the MarkAllDirty of a bubble that moves to this control, is a
  // reason of its own to repaint.
  if (!std::exchange(mInValueChange, false))
    mDirtiedOtherwise = true;
}

IBKnobControl::IBKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx, double gearing)
  : IKnobControlBase(FrameArea(x, y, bitmap), paramIdx, nullptr, gearing), IBitmapBase(this, bitmap)
{
}

void IBKnobControl::HandleMouseDrag(float x, float y, float dX, float dY, const IMouseMods& mod)
{
  ChangeValue([&] { IKnobControlBase::HandleMouseDrag(x, y, dX, dY, mod); });
}

void IBKnobControl::HandleWheel(float x, float y, const IMouseMods& mod, float delta)
{
  ChangeValue([&] { IKnobControlBase::HandleWheel(x, y, mod, delta); });
}

void IBKnobControl::ReceiveValue(double normalized, int valIdx)
{
  ChangeValue([&] { IKnobControlBase::ReceiveValue(normalized, valIdx); });
}

void IBKnobControl::ResetToDefault(int valIdx)
{
  ChangeValue([&] { IKnobControlBase::ResetToDefault(valIdx); });
}

void IBKnobControl::MarkDirty(bool report, int valIdx)
{
  NoteMarkDirty();
  IKnobControlBase::MarkDirty(report, valIdx);
}

IBSwitchControl::IBSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx)
  : ISwitchControlBase(FrameArea(x, y, bitmap), paramIdx, nullptr), IBitmapBase(this, bitmap)
{
}

void IBSwitchControl::HandleMouseDown(float /*x*/, float /*y*/, const IMouseMods& /*mod*/)
{
  ChangeValue([this] {
    const int n = mImage.N();
    StoreValue(Value(0) + (n > 1 ? 1.0 / (n - 1) : 1.0), 0);
    // Slack for steps that add up to a hair above 1.
    if (Value(0) > 1.001)
      StoreValue(0.0, 0);
    MarkDirty(true);
  });
}

void IBSwitchControl::ReceiveValue(double normalized, int valIdx)
{
  ChangeValue([&] { ISwitchControlBase::ReceiveValue(normalized, valIdx); });
}

void IBSwitchControl::MarkDirty(bool report, int valIdx)
{
  NoteMarkDirty();
  ISwitchControlBase::MarkDirty(report, valIdx);
}

IBitmapControl::IBitmapControl(float x, float y, const IBitmap& bitmap, int paramIdx)
  : IControl(FrameArea(x, y, bitmap), paramIdx, nullptr), IBitmapBase(this, bitmap)
{
  mBlendMode = IBlendMode(EBlend::SrcOver, 1.f);
}

void IBitmapControl::ReceiveValue(double normalized, int valIdx)
{
  ChangeValue([&] { IControl::ReceiveValue(normalized, valIdx); });
}

void IBitmapControl::ResetToDefault(int valIdx)
{
  ChangeValue([&] { IControl::ResetToDefault(valIdx); });
}

void IBitmapControl::MarkDirty(bool report, int valIdx)
{
  NoteMarkDirty();
  IControl::MarkDirty(report, valIdx);
}

} // namespace gfx
