#pragma once

// The value bubble: a rounded box with an arrow and a drop shadow that shows
// a short text next to the control being changed. It fades in over 200 ms,
// holds for 1000 ms (longer while the pointer still holds the control, checked
// every 200 ms) and fades out over 200 ms. The timeline runs on the frame
// time of the graphics context, so it advances with the frame tick only.
//
// The graphics context keeps it as an overlay, above every control; it never
// takes the pointer.

#include "gfx/controls/IBubbleControl.h"

#include <cstdint>
#include <string>

namespace gfx {

enum class EBubbleArrowSide
{
  Top = 0,
  Right,
  Bottom,
  Left
};

enum class EBubbleState
{
  Hidden = 0,
  FadingIn,
  Holding,
  FadingOut
};

class IValueBubbleControl : public IBubbleControl
{
public:
  static constexpr int kFadeMs = 200;
  static constexpr int kHoldMs = 1000;

  explicit IValueBubbleControl(float cornerRadius = 5.f);

  /**
   * Shows text for caller at (x, y). Direction 0 centres the box above the
   * point (below the caller when there is no room above); direction 1 puts it
   * to the right of the point (to the left of the caller when there is no room
   * on the right). The text box is at least minimumContentArea's size. A
   * hidden bubble starts its fade-in; a visible one keeps its timeline.
   */
  void ShowBubble(IControl* caller, float x, float y, const char* text, int direction,
                  const IArea& minimumContentArea, int64_t touchID) override;
  int64_t BubbleTouchID() const override { return mTouchId; }

  void Paint(IGfx& g) override;
  virtual void PaintText(IGfx& g, const IArea& area);
  virtual void PaintBox(IGfx& g, const IArea& area);
  virtual void MeasureText(const char* text, IArea& area);

  const std::string& BubbleText() const { return mBubbleText; }
  /** The outer box: text box plus margins, the arrow reaching its edge. */
  const IArea& BubbleArea() const { return mBubbleArea; }
  EBubbleArrowSide ArrowSide() const { return mArrowSide; }
  EBubbleState FadeState() const { return mFadeState; }
  /** The current opacity (0 hidden, 0.95 fully shown). */
  float Opacity() const { return mBubbleBlend.weight; }
  /** The area the bubble is kept in vertically; the whole editor unless set. */
  void SetMaxBounds(const IArea& bounds) { mMaxBounds = bounds; }

private:
  void FadeStep();
  void StartFade(int durationMs);

  int64_t mTouchId = 0;
  int mPlacement = 1;
  IArea mMaxBounds;
  IArea mBubbleArea;
  IControl* mLastCaller = nullptr; // only compared, never dereferenced
  EBubbleArrowSide mArrowSide = EBubbleArrowSide::Left;
  std::string mBubbleText;
  IBlendMode mBubbleBlend{EBlend::SrcOver, 0.f};
  float mCornerRadius;
  float mInset = 10.f;
  float mArrowLength = 10.f;
  float mMaxOpacity = 0.95f;
  float mStrokeWidth = 2.f;
  float mSideMargin = 5.f;
  IRgba mFillColour = kColourWhite;
  IRgba mStrokeColour = kColourBlack;
  EBubbleState mFadeState = EBubbleState::Hidden;
};

} // namespace gfx
