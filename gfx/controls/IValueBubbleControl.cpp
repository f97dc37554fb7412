#include "gfx/controls/IValueBubbleControl.h"

#include "gfx/IGfx.h"

namespace gfx {

IValueBubbleControl::IValueBubbleControl(float cornerRadius)
  : IBubbleControl(IArea(), -1, nullptr), mCornerRadius(cornerRadius)
{
  mTextStyle = ITextStyle();
  mHidden = true;
  mIgnoresPointer = true;
  mActionFunction = [this](IControl*) { StartFade(kFadeMs); };
  mAnimationEndFunction = [this](IControl*) {
    if (mFadeState == EBubbleState::Holding)
      StartFade(kHoldMs);
  };
}

void IValueBubbleControl::StartFade(int durationMs)
{
  StartAnimation([this](IControl*) { FadeStep(); }, durationMs);
}

void IValueBubbleControl::ShowBubble(IControl* caller, float x, float y, const char* text, int direction,
                                     const IArea& minimumContentArea, int64_t touchID)
{
  if (mMaxBounds.W() == 0.f && mGraphicsContext)
    mMaxBounds = IArea(0.f, 0.f, static_cast<float>(mGraphicsContext->GetWidth()),
                       static_cast<float>(mGraphicsContext->GetHeight()));
  mTouchId = touchID;
  mPlacement = direction;
  mBubbleText = text ? text : "";

  IArea box;
  MeasureText(mBubbleText.c_str(), box);
  if (!minimumContentArea.Empty())
  {
    if (minimumContentArea.W() > box.W())
      box.R = box.L + minimumContentArea.W();
    if (minimumContentArea.H() > box.H())
      box.B = box.T + minimumContentArea.H();
  }
  box = IArea(box.L - mSideMargin - mInset, box.T - mInset, box.R + mSideMargin + mInset, box.B + mInset);
  const float w = box.W();
  const float h = box.H();
  box = IArea(x, y - h * 0.5f, x + w, y + h * 0.5f);

  const IArea callerArea = caller ? caller->Area() : IArea(x, y, x, y);
  if (mPlacement == 1)
  {
    if (box.R > mMaxBounds.R - mSideMargin - mInset)
    {
      box = box.GetTranslated(callerArea.L - box.R, 0.f);
      mArrowSide = EBubbleArrowSide::Right;
    }
    else
      mArrowSide = EBubbleArrowSide::Left;
  }
  else
  {
    box = box.GetTranslated(-w * 0.5f, -h * 0.5f);
    if (mMaxBounds.T > box.T)
    {
      box = box.GetTranslated(0.f, h + callerArea.H());
      mArrowSide = EBubbleArrowSide::Top;
    }
    else
      mArrowSide = EBubbleArrowSide::Bottom;
  }

  mBubbleArea = box;
  // The old position is repainted too.
  mArea = mArea.Union(box);
  mPointerIsOver = false;
  HandleResize();

  if (mFadeState == EBubbleState::Hidden)
  {
    SetHidden(false);
    mFadeState = EBubbleState::FadingIn;
    MarkDirty(true); // runs the action: the fade-in starts
  }

  if (caller != mLastCaller)
  {
    mArea = box;
    if (mGraphicsContext)
      mGraphicsContext->MarkAllDirty();
  }
  mLastCaller = caller;
}

void IValueBubbleControl::FadeStep()
{
  const double p = AnimationProgress();
  if (p <= 1.0)
  {
    switch (mFadeState)
    {
    case EBubbleState::FadingIn:
      mBubbleBlend.weight = static_cast<float>(p) * mMaxOpacity;
      break;
    case EBubbleState::Holding:
      mBubbleBlend.weight = mMaxOpacity;
      break;
    case EBubbleState::FadingOut:
      mBubbleBlend.weight = static_cast<float>(1.0 - p) * mMaxOpacity;
      break;
    case EBubbleState::Hidden:
      break;
    }
    return;
  }

  switch (mFadeState)
  {
  case EBubbleState::FadingIn:
    mBubbleBlend.weight = mMaxOpacity;
    mFadeState = EBubbleState::Holding;
    FinishAnimation(); // the end function starts the hold
    break;
  case EBubbleState::Holding:
    if (mGraphicsContext && mLastCaller && mGraphicsContext->IsCaptured(mLastCaller))
    {
      MarkDirty(true); // still held: check again after another fade period
    }
    else
    {
      mBubbleBlend.weight = mMaxOpacity;
      mFadeState = EBubbleState::FadingOut;
      MarkDirty(true); // the fade-out starts
    }
    break;
  case EBubbleState::FadingOut:
    mBubbleBlend.weight = 0.f;
    SetHidden(true);
    mFadeState = EBubbleState::Hidden;
    mTouchId = 0;
    MarkDirty(false);
    FinishAnimation();
    break;
  case EBubbleState::Hidden:
    FinishAnimation();
    break;
  }
}

void IValueBubbleControl::Paint(IGfx& g)
{
  const IArea inner = mBubbleArea.GetPadded(-mInset);
  g.PaintFastShadow(inner, mBubbleArea, 2.f, mCornerRadius, 10.f, &mBubbleBlend);
  PaintBox(g, inner);
  PaintText(g, inner);
}

void IValueBubbleControl::PaintBox(IGfx& g, const IArea& r)
{
  const float q = mCornerRadius;
  const float a = mArrowLength * 0.5f;
  const float len = mArrowLength;
  const float cx = r.MW();
  const float cy = r.MH();
  auto topRight = [&] { g.PathAddArc(r.R - q, r.T + q, q, 0.f, 90.f); };
  auto bottomRight = [&] { g.PathAddArc(r.R - q, r.B - q, q, 90.f, 180.f); };
  auto bottomLeft = [&] { g.PathAddArc(r.L + q, r.B - q, q, 180.f, 270.f); };

  g.PathReset();
  g.PathMove(r.L, r.T + q);
  g.PathAddArc(r.L + q, r.T + q, q, 270.f, 360.f);
  switch (mArrowSide)
  {
  case EBubbleArrowSide::Top:
    g.PathLine(cx - a, r.T);
    g.PathLine(cx, r.T - len);
    g.PathLine(cx + a, r.T);
    topRight();
    bottomRight();
    bottomLeft();
    break;
  case EBubbleArrowSide::Right:
    topRight();
    g.PathLine(r.R, cy - a);
    g.PathLine(r.R + len, cy);
    g.PathLine(r.R, cy + a);
    bottomRight();
    bottomLeft();
    break;
  case EBubbleArrowSide::Bottom:
    topRight();
    bottomRight();
    g.PathLine(cx + a, r.B);
    g.PathLine(cx, r.B + len);
    g.PathLine(cx - a, r.B);
    bottomLeft();
    break;
  case EBubbleArrowSide::Left:
    topRight();
    bottomRight();
    bottomLeft();
    g.PathLine(r.L, cy + a);
    g.PathLine(r.L - len, cy);
    g.PathLine(r.L, cy - a);
    break;
  }
  g.PathCloseFigure();

  IFillStyle fill;
  fill.rule = EFillRule::Winding;
  fill.preserve = true;
  g.PathFillWith(IFillPattern(mFillColour), fill, &mBubbleBlend);
  g.PathStrokeWith(IFillPattern(mStrokeColour), mStrokeWidth, IStrokeStyle(), &mBubbleBlend);
}

void IValueBubbleControl::PaintText(IGfx& g, const IArea& area)
{
  if (!mBubbleText.empty())
    g.PrintText(mTextStyle, mBubbleText.c_str(), area, &mBubbleBlend);
}

void IValueBubbleControl::MeasureText(const char* text, IArea& area)
{
  if (mGraphicsContext)
    mGraphicsContext->MeasureTextBounds(mTextStyle, text, area);
}

} // namespace gfx
