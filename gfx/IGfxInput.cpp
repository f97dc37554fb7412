// Input dispatch of IGfx: hit testing, capture, the host-edit gestures around
// a pointer's press, drag and release, mouse-over, wheel, double click, keys
// and file drops, and the pointer and cursor logic both platform windows share.

#include "gfx/IGfx.h"

#include "gfx/controls/HostEdit.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/Trace.h"

#include <algorithm>

namespace gfx {

// --- Input ------------------------------------------------------------------------------

IControl* IGfx::HitTestControl(float x, float y, bool capture, bool mouseOver, int64_t touchID)
{
  const auto held = mCapturedMap.find(touchID);
  if (held != mCapturedMap.end())
    return held->second;

  IControl* found = nullptr;
  int foundIdx = -1;
  if (mCornerResizer && !mCornerResizer->IsHidden() && !mCornerResizer->Area().Empty() &&
      mCornerResizer->Area().Contains(x, y))
    found = mCornerResizer.get();
  else if (mouseOver && !mHoverEnabled)
    return nullptr;
  else
  {
    const int lowest = mouseOver ? 1 : 0;
    for (int i = ControlCount() - 1; i >= lowest; --i)
    {
      IControl* c = mControls[static_cast<size_t>(i)].get();
      if (c->IsHidden() || c->IgnoresPointer())
        continue;
      if (c->IsDisabled() && !(mouseOver ? c->OverWhenDisabled() : c->EventsWhenDisabled()))
        continue;
      if (c->ContainsPoint(x, y))
      {
        found = c;
        foundIdx = i;
        break;
      }
    }
  }

  if (capture && found)
  {
    if (mMultiTouchEnabled && IsCaptured(found) && !found->AcceptsMultiTouch())
      return nullptr;
    mCapturedMap[touchID] = found;
  }
  if (mouseOver)
    mMouseOverIdx = foundIdx;
  return found;
}

bool IGfx::IsCaptured(const IControl* control) const
{
  for (const auto& entry : mCapturedMap)
  {
    if (entry.second == control)
      return true;
  }
  return false;
}

std::vector<int64_t> IGfx::TouchesHolding(const IControl* control) const
{
  std::vector<int64_t> touches;
  for (const auto& entry : mCapturedMap)
  {
    if (entry.second == control)
      touches.push_back(entry.first);
  }
  return touches;
}

void IGfx::ClearCaptures()
{
  // A gesture cut short still ends its host edits: the release will find nothing.
  std::map<int64_t, IControl*> captured;
  captured.swap(mCapturedMap);
  for (const auto& entry : captured)
    HostEdit::EndAll(mDelegate, *entry.second);
}

void IGfx::DispatchMouseDown(const std::vector<IMouseState>& points)
{
  PLUG_TRACE("IGfx::DispatchMouseDown");
  if (points.size() == 1)
  {
    mMouseDownX = points[0].x;
    mMouseDownY = points[0].y;
  }
  for (const IMouseState& p : points)
  {
    mCursorX = p.x;
    mCursorY = p.y;
    const bool heldBefore = mCapturedMap.count(p.ms.touchID) > 0;
    IControl* control = HitTestControl(p.x, p.y, true, false, p.ms.touchID);
    if (!control)
      continue;
    const int valIdx = control->ValueIndexAt(p.x, p.y);
    const int paramIdx = control->ParamIdx(std::max(valIdx, 0));
    if (p.ms.R && paramIdx >= 0)
    {
      if (!heldBefore) // captured by this press, no edit begun; a held drag's edit still ends
        mCapturedMap.erase(p.ms.touchID);
      ClearCaptures();
      ShowCursorIfHidden();
      ShowHostParameterMenu(control, paramIdx, p.x, p.y);
      return;
    }
    HostEdit::BeginAll(mDelegate, *control);
    control->HandleMouseDown(p.x, p.y, p.ms);
  }
}

void IGfx::DispatchMouseUp(const std::vector<IMouseState>& points)
{
  PLUG_TRACE("IGfx::DispatchMouseUp");
  for (const IMouseState& p : points)
  {
    const auto held = mCapturedMap.find(p.ms.touchID);
    if (held == mCapturedMap.end())
      continue;
    IControl* control = held->second;
    mCapturedMap.erase(held);
    control->HandleMouseUp(p.x, p.y, p.ms);
    HostEdit::EndAll(mDelegate, *control);
  }
  FinishResizing();
  if (points.size() == 1 && points[0].ms.touchID == 0)
    DispatchMouseOver(points[0].x, points[0].y, points[0].ms);
}

void IGfx::FinishResizing()
{
  if (!mResizingInProgress)
    return;
  mResizingInProgress = false;
  if (mResizerMode == 0)
  {
    EachControlAndOverlay([](IControl* c) { c->HandleRescale(); });
    MarkAllDirty();
  }
}

void IGfx::OnPointerLost()
{
  ClearCaptures();
  ShowCursorIfHidden();
  FinishResizing();
}

void IGfx::DispatchMouseDrag(const std::vector<IMouseState>& points)
{
  if (mResizingInProgress && points.size() == 1)
  {
    const IMouseState& p = points[0];
    if (mResizerMode == 1)
      SetEditorSize(static_cast<int>(p.x), static_cast<int>(p.y), mDrawScale);
    else if (mMouseDownX > 0.f && mMouseDownY > 0.f)
    {
      // Positions arrive in units of the current scale, so the ratio to the
      // press point gives the scale at the press times the device-pixel ratio:
      // no drift from one motion to the next.
      SetEditorSize(mWidth, mHeight, std::min(mDrawScale * p.x / mMouseDownX, mDrawScale * p.y / mMouseDownY));
    }
    return;
  }
  if (mCapturedMap.empty() || mTextEntryOwner)
    return;
  for (const IMouseState& p : points)
  {
    mCursorX = p.x;
    mCursorY = p.y;
    const auto held = mCapturedMap.find(p.ms.touchID);
    if (held != mCapturedMap.end() && (p.dX != 0.f || p.dY != 0.f))
      held->second->HandleMouseDrag(p.x, p.y, p.dX, p.dY, p.ms);
  }
}

bool IGfx::OnPointerMoved(IMouseState p, bool dragging)
{
  const float lastX = mCursorX;
  const float lastY = mCursorY;
  mCursorX = p.x;
  mCursorY = p.y;
  if (!dragging)
    return DispatchMouseOver(p.x, p.y, p.ms);
  p.dX = p.x - lastX;
  p.dY = p.y - lastY;
  if (p.dX == 0.f && p.dY == 0.f)
    return false;
  DispatchMouseDrag({p});
  if (mCursorLocked)
    WarpBackLockedCursor();
  return false;
}

bool IGfx::DispatchMouseOver(float x, float y, const IMouseMods& mod)
{
  mCursorX = x;
  mCursorY = y;
  IControl* control = HitTestControl(x, y, false, true);
  if (control != mMouseOver)
  {
    if (mMouseOver)
      mMouseOver->HandleMouseOut();
    mMouseOver = control;
  }
  if (control)
    control->HandleMouseOver(x, y, mod);
  return control != nullptr;
}

void IGfx::DispatchMouseLeave()
{
  EachControlAndOverlay([](IControl* c) { c->HandleMouseOut(); });
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
}

void IGfx::DispatchDoubleClick(const IMouseState& point)
{
  const bool heldBefore = mCapturedMap.count(point.ms.touchID) > 0;
  IControl* control = HitTestControl(point.x, point.y, true, false, point.ms.touchID);
  if (!control)
    return;
  if (control->DoubleClickAsPress())
  {
    DispatchMouseDown({point});
    return;
  }
  // A reset is a change of the parameter like any other: the host hears it inside an edit.
  // A drag this pointer still holds ends first, so the reset never nests in its edit.
  if (heldBefore)
    ClearCaptures();
  else
    mCapturedMap.erase(point.ms.touchID);
  HostEdit::BeginAll(mDelegate, *control);
  control->HandleDoubleClick(point.x, point.y, point.ms);
  HostEdit::EndAll(mDelegate, *control);
  ClearCaptures();
  ShowCursorIfHidden();
}

void IGfx::DispatchWheel(float x, float y, const IMouseMods& mod, float delta)
{
  IControl* control = delta != 0.f ? HitTestControl(x, y, false) : nullptr;
  if (!control)
    return;
  // A control held by a pointer already has its host edit open: the wheel
  // changes it inside that gesture, never in a second one.
  if (IsCaptured(control))
  {
    control->HandleWheel(x, y, mod, delta);
    return;
  }
  // A turn against an end stop, or within one step, tells the host nothing.
  HostEdit::IfChanged edit(mDelegate);
  control->HandleWheel(x, y, mod, delta);
}

void IGfx::DispatchFileDrop(const char* path, float x, float y)
{
  if (IControl* control = HitTestControl(x, y, false))
    control->HandleFileDrop(path);
}

bool IGfx::OnKeyDown(float x, float y, const IKeyEvent& key)
{
  PLUG_TRACE("IGfx::OnKeyDown");
  IControl* control = HitTestControl(x, y, false);
  if (control && ControlIndex(control) != 0 && control->HandleKeyDown(x, y, key))
    return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, false) : false;
}

bool IGfx::OnKeyUp(float x, float y, const IKeyEvent& key)
{
  PLUG_TRACE("IGfx::OnKeyUp");
  IControl* control = HitTestControl(x, y, false);
  if (control && ControlIndex(control) != 0 && control->HandleKeyUp(x, y, key))
    return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, true) : false;
}

// --- Cursor -----------------------------------------------------------------------------

ECursor IGfx::SetCursorShape(ECursor shape)
{
  const ECursor previous = mCursorShape;
  mCursorShape = shape;
  return previous;
}

void IGfx::ShowCursorIfHidden()
{
  if (mCursorHidden)
  {
    SetCursorHidden(false, false);
    SetCursorHiddenState(false, false);
  }
}

bool IGfx::UpdateCursorHidden(bool hide, bool lock)
{
  if (mCursorHidden == hide)
    return false;
  if (hide)
  {
    mSavedCursorX = mCursorX;
    mSavedCursorY = mCursorY;
    SetCursorHiddenState(true, lock && !mLastInputWasTouch);
  }
  else
  {
    if (mCursorLocked)
      WarpCursor(mSavedCursorX, mSavedCursorY);
    SetCursorHiddenState(false, false);
  }
  return true;
}

bool IGfx::WarpTarget(float x, float y, int& deviceX, int& deviceY) const
{
  if (mLastInputWasTouch)
    return false;
  ToDevicePoint(x, y, deviceX, deviceY);
  return true;
}

void IGfx::PointerWarpedTo(int deviceX, int deviceY)
{
  float x = static_cast<float>(deviceX);
  float y = static_cast<float>(deviceY);
  FromDevicePoint(x, y);
  mCursorX = mSavedCursorX = x;
  mCursorY = mSavedCursorY = y;
}

// The pointer moved the drag; a locked cursor goes back to where it was hidden,
// and that spot stays the one to return to whatever the warp lands on.
void IGfx::WarpBackLockedCursor()
{
  const float savedX = mSavedCursorX;
  const float savedY = mSavedCursorY;
  WarpCursor(savedX, savedY);
  mSavedCursorX = savedX;
  mSavedCursorY = savedY;
}

} // namespace gfx
