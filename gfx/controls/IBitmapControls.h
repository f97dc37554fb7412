#pragma once

// Controls that draw one frame of a multi-frame image chosen by their value:
// the bitmap knob (dragged), the bitmap switch (clicked through its frames)
// and the bitmap image (a background, a lamp, a needle meter). IBitmapBase
// holds the image, picks the frame and reloads the image when the display
// scale changes.

#include "gfx/GfxBitmap.h"
#include "gfx/controls/IKnobControlBase.h"
#include "gfx/controls/ISwitchControlBase.h"

namespace gfx {

class IBitmapBase
{
public:
  IBitmapBase(IControl* owner, const IBitmap& bitmap) : mImage(bitmap), mOwner(owner) {}
  virtual ~IBitmapBase() = default;
  IBitmapBase(const IBitmapBase&) = delete;
  IBitmapBase& operator=(const IBitmapBase&) = delete;

  /** The control's area for an image whose top-left corner is at (x, y): one frame in size. */
  static IArea FrameArea(float x, float y, const IBitmap& bitmap);
  /** The frame shown for a normalized value: round-half-up of (N - 1) x value, within 0..N - 1. */
  static int FrameForValue(int nFrames, double value);

  /** Blits the frame of the owner's slot-0 value, at its own size, centred on the owner's area. */
  void DrawBitmap(IGfx& g) const;
  /** Requests the image again at the display scale rounded up; the owner's area stays. */
  void ReloadBitmap();

  const IBitmap& Bitmap() const { return mImage; }

protected:
  IBitmap mImage;
  IControl* mOwner;
};

class IBKnobControl : public IKnobControlBase, public IBitmapBase
{
public:
  /** Top-left corner at (x, y); vertical drag with the gearing. */
  IBKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx = -1, double gearing = 4.0);

  void HandleRescale() override { ReloadBitmap(); }
  void Paint(IGfx& g) override { DrawBitmap(g); }
};

class IBSwitchControl : public ISwitchControlBase, public IBitmapBase
{
public:
  IBSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx = -1);

  /** Any button: the next frame's value, back to 0 after the last frame. */
  void HandleMouseDown(float x, float y, const IMouseMods& mod) override;
  void HandleRescale() override { ReloadBitmap(); }
  void Paint(IGfx& g) override { DrawBitmap(g); }
};

class IBitmapControl : public IControl, public IBitmapBase
{
public:
  IBitmapControl(float x, float y, const IBitmap& bitmap, int paramIdx = -1);

  void HandleRescale() override { ReloadBitmap(); }
  void Paint(IGfx& g) override { DrawBitmap(g); }
};

} // namespace gfx
