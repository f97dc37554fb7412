#pragma once

// Controls that draw one frame of a multi-frame image chosen by their value:
// the bitmap knob (dragged), the bitmap switch (clicked through its frames)
// and the bitmap image (a background, a lamp, a needle meter). IBitmapBase
// holds the image, picks the frame and reloads the image when the display
// scale changes.
//
// A strip shows nothing between its frames, so a value change repaints the
// control only when it selects another frame: a meter settling by hairs, or
// automation moving a knob within one frame, leaves the panel idle. The value
// itself, what is reported to the host and the action run exactly as before;
// every other reason to repaint (hiding, disabling, resizing, MarkAllDirty)
// still repaints.

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

  /** The frame the owner's slot-0 value selects. */
  int CurrentFrame() const { return FrameForValue(mImage.N(), mOwner->Value(0)); }
  /** Blits the frame of the owner's slot-0 value, at its own size, centred on the owner's area. */
  void DrawBitmap(IGfx& g) const;
  /** Requests the image again at the display scale rounded up; the owner's area stays. */
  void ReloadBitmap();

  const IBitmap& Bitmap() const { return mImage; }

protected:
  /**
   * Runs a change of the owner's value. An owner that was clean stays clean
   * when the change leaves its frame as shown and nothing else marked it
   * dirty meanwhile.
   */
  template <typename Change>
  void ChangeValue(Change&& change);
  /** The owner's MarkDirty tells the mix-in first. */
  void NoteMarkDirty();

  IBitmap mImage;
  IControl* mOwner;

private:
  bool mInValueChange = false;
  bool mDirtiedOtherwise = false;
};

template <typename Change>
void IBitmapBase::ChangeValue(Change&& change)
{
  const bool wasClean = !mOwner->IsDirty();
  const int shownFrame = CurrentFrame();
  mInValueChange = true;
  mDirtiedOtherwise = false;
  change();
  mInValueChange = false;
  if (wasClean && !mDirtiedOtherwise && CurrentFrame() == shownFrame)
    mOwner->MarkClean();
}

class IBKnobControl : public IKnobControlBase, public IBitmapBase
{
public:
  /** Top-left corner at (x, y); vertical drag with the gearing. */
  IBKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx = -1, double gearing = 4.0);

  void HandleMouseDrag(float x, float y, float dX, float dY, const IMouseMods& mod) override;
  void HandleWheel(float x, float y, const IMouseMods& mod, float delta) override;
  void HandleRescale() override { ReloadBitmap(); }
  void Paint(IGfx& g) override { DrawBitmap(g); }
  void ReceiveValue(double normalized, int valIdx = 0) override;
  void ResetToDefault(int valIdx = -1) override;
  void MarkDirty(bool report = false, int valIdx = -1) override;
};

class IBSwitchControl : public ISwitchControlBase, public IBitmapBase
{
public:
  IBSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx = -1);

  /** Any button: the next frame's value, back to 0 after the last frame. */
  void HandleMouseDown(float x, float y, const IMouseMods& mod) override;
  void HandleRescale() override { ReloadBitmap(); }
  void Paint(IGfx& g) override { DrawBitmap(g); }
  void ReceiveValue(double normalized, int valIdx = 0) override;
  void MarkDirty(bool report = false, int valIdx = -1) override;
};

class IBitmapControl : public IControl, public IBitmapBase
{
public:
  IBitmapControl(float x, float y, const IBitmap& bitmap, int paramIdx = -1);

  void HandleRescale() override { ReloadBitmap(); }
  void Paint(IGfx& g) override { DrawBitmap(g); }
  void ReceiveValue(double normalized, int valIdx = 0) override;
  void ResetToDefault(int valIdx = -1) override;
  void MarkDirty(bool report = false, int valIdx = -1) override;
};

} // namespace gfx
