#include "gfx/IGfx.h"

#include "gfx/ResourceLookup.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/IParam.h"
#include "plug/Trace.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace gfx {

namespace {

std::string LowerCaseExtension(const char* name)
{
  const std::string s = name ? name : "";
  const size_t separator = s.find_last_of("/\\");
  const size_t fileStart = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = s.find_last_of('.');
  if (dot == std::string::npos || dot < fileStart)
    return {};
  std::string extension = s.substr(dot + 1);
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

} // namespace

IGfx::IGfx(plug::IGfxEditorDelegate* delegate, int width, int height, int fps, float scale)
  : mDelegate(delegate), mWidth(width), mHeight(height), mFPS(fps), mDrawScale(scale), mMinScale(scale * 0.5f),
    mMaxScale(scale * 2.f)
{
  std::lock_guard<std::mutex> lock(FontDataCache().Mutex());
  FontDataCache().Retain();
}

IGfx::~IGfx()
{
  // No platform calls from here: the platform part of the object is gone.
  DeleteControls();
  ClearBitmapCache();
  std::lock_guard<std::mutex> lock(FontDataCache().Mutex());
  FontDataCache().Release();
}

// --- plug::IEditor ----------------------------------------------------------------

void IGfx::SetEditorSize(int width, int height, float scale)
{
  PLUG_TRACE("IGfx::SetEditorSize");
  if (!std::isfinite(scale))
    scale = mDrawScale;
  if (mDelegate)
  {
    width = std::clamp(width, mDelegate->GetMinWidth(), mDelegate->GetMaxWidth());
    height = std::clamp(height, mDelegate->GetMinHeight(), mDelegate->GetMaxHeight());
  }
  else
  {
    width = std::max(width, 1);
    height = std::max(height, 1);
  }
  scale = std::min(std::max(scale, mMinScale), mMaxScale);
  if (width == mWidth && height == mHeight && scale == mDrawScale)
    return;

  ClearCaptures();
  ShowCursorIfHidden();
  mDrawScale = scale;
  mWidth = width;
  mHeight = height;
  if (mCornerResizer)
    mCornerResizer->HandleRescale();

  const float windowScale = PlatformWindowScale();
  const int windowWidth = static_cast<int>(windowScale * static_cast<int>(mDrawScale * mWidth));
  const int windowHeight = static_cast<int>(windowScale * static_cast<int>(mDrawScale * mHeight));
  const bool hostResized = mDelegate && mDelegate->ResizeFromEditor(windowWidth, windowHeight, true);
  ResizeHostWindow(hostResized);

  EachControlAndOverlay([](IControl* c) { c->HandleResize(); });
  MarkAllDirty();
  OnBackingResized();
  if (mLayoutOnResize && mDelegate)
    mDelegate->BuildLayout(this);
}

void IGfx::SetDisplayScale(float scale)
{
  if (!std::isfinite(scale) || scale <= 0.f)
    return;
  mDisplayScale = scale;
  const float windowScale = PlatformWindowScale();
  const int windowWidth = static_cast<int>(windowScale * static_cast<int>(mWidth * mDrawScale));
  const int windowHeight = static_cast<int>(windowScale * static_cast<int>(mHeight * mDrawScale));
  const bool hostResized = mDelegate && mDelegate->ResizeFromEditor(windowWidth, windowHeight, true);
  ResizeHostWindow(hostResized);
  EachControlAndOverlay([](IControl* c) { c->HandleRescale(); });
  MarkAllDirty();
  OnBackingResized();
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

void IGfx::SetControlValuesOfParam(int paramIdx, double normalized)
{
  EachControlOfParam(paramIdx, [normalized](IControl* c, int valIdx) { c->ReceiveValue(normalized, valIdx); });
}

void IGfx::SetControlValueByTag(int controlTag, double normalized)
{
  if (IControl* control = ControlByTag(controlTag))
  {
    control->StoreValue(normalized, 0);
    control->MarkDirty(false, 0);
  }
}

void IGfx::SendMessageToControl(int controlTag, int messageTag, int dataSize, const void* data)
{
  if (IControl* control = ControlByTag(controlTag))
    control->HandleMessage(messageTag, dataSize, data);
}

void IGfx::SendMidiToControls(const plug::IMidiMsg& message)
{
  EachControl([&message](IControl* c) {
    if (c->AcceptsMidi())
      c->HandleMidi(message);
  });
}

// --- Control list -------------------------------------------------------------------

void IGfx::AttachAndInit(IControl* control)
{
  control->SetEditorDelegate(mDelegate);
  control->SetGraphicsContext(this);
  control->HandleInit();
  control->HandleResize();
  control->HandleRescale();
}

IControl* IGfx::AddControl(IControl* control, int tag, const char* group)
{
  if (!control)
    return nullptr;
  AttachAndInit(control);
  control->SetGroupName(group);
  if (tag >= 0)
  {
    control->SetTag(tag);
    mTagMap[tag] = control;
  }
  mControls.emplace_back(control);
  control->HandleAttached();
  return control;
}

IControl* IGfx::AddBackground(IControl* control)
{
  if (!control)
    return nullptr;
  AttachAndInit(control);
  mControls.emplace(mControls.begin(), control);
  return control;
}

void IGfx::AddCornerResizer(IControl* control, int resizerMode, bool layoutOnResize)
{
  if (!control)
    return;
  if (mCornerResizer)
  {
    delete control;
    return;
  }
  mCornerResizer.reset(control);
  mResizerMode = resizerMode;
  mLayoutOnResize = layoutOnResize;
  AttachAndInit(control);
}

void IGfx::AddValueBubble(IBubbleControl* bubble)
{
  if (!bubble)
    return;
  AttachAndInit(bubble);
  mBubbles.emplace_back(bubble);
}

IControl* IGfx::ControlAt(int index) const
{
  return index >= 0 && index < ControlCount() ? mControls[static_cast<size_t>(index)].get() : nullptr;
}

IControl* IGfx::ControlByTag(int tag) const
{
  const auto it = mTagMap.find(tag);
  return it == mTagMap.end() ? nullptr : it->second;
}

int IGfx::ControlIndex(const IControl* control) const
{
  for (int i = 0; i < ControlCount(); ++i)
  {
    if (mControls[static_cast<size_t>(i)].get() == control)
      return i;
  }
  return -1;
}

IBubbleControl* IGfx::BubbleAt(int index) const
{
  return index >= 0 && index < BubbleCount() ? mBubbles[static_cast<size_t>(index)].get() : nullptr;
}

void IGfx::ClearControls()
{
  ShowCursorIfHidden();
  DeleteControls();
}

void IGfx::DeleteControls()
{
  ClearCaptures();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
  mTextEntryOwner = nullptr;
  mMenuOwner = nullptr;
  mCornerResizer.reset();
  while (!mBubbles.empty())
    mBubbles.pop_back();
  mTagMap.clear();
  while (!mControls.empty())
    mControls.pop_back();
}

void IGfx::EachControl(const std::function<void(IControl* control)>& func) const
{
  for (size_t i = 0; i < mControls.size(); ++i)
    func(mControls[i].get());
}

void IGfx::EachControlAndOverlay(const std::function<void(IControl* control)>& func) const
{
  EachControl(func);
  if (mCornerResizer)
    func(mCornerResizer.get());
  for (size_t i = 0; i < mBubbles.size(); ++i)
    func(mBubbles[i].get());
}

void IGfx::EachControlOfParam(int paramIdx, const std::function<void(IControl* control, int valIdx)>& func) const
{
  if (paramIdx < 0)
    return;
  EachControl([paramIdx, &func](IControl* c) {
    const int valIdx = c->FirstValueIndexOfParam(paramIdx);
    if (valIdx >= 0)
      func(c, valIdx);
  });
}

void IGfx::MarkAllDirty()
{
  EachControlAndOverlay([](IControl* c) { c->MarkDirty(false, -1); });
}

void IGfx::MarkAllClean()
{
  EachControlAndOverlay([](IControl* c) { c->MarkClean(); });
}

// --- Frame ------------------------------------------------------------------------------

bool IGfx::TickFrame(double nowMs, IAreaList& areas)
{
  mFrameTimeMs = nowMs;
  if (mDelegate)
    mDelegate->DeliverPendingEditorValues();
  areas.clear();
  if (!CollectDirtyAreas(areas))
    return false;
  // Clean as soon as collected: a change made while drawing dirties it again for the next frame.
  MarkAllClean();
  return true;
}

bool IGfx::CollectDirtyAreas(IAreaList& areas)
{
  if (mDisplayTickFunc)
    mDisplayTickFunc();
  EachControlAndOverlay([](IControl* c) {
    if (c->HasAnimation())
      c->RunAnimationHook();
  });
  bool dirty = false;
  EachControlAndOverlay([&areas, &dirty](IControl* c) {
    if (c->NeedsRepaint())
    {
      areas.push_back(c->Area().GetPadded(0.75f));
      dirty = true;
    }
  });
  return dirty;
}

void IGfx::RenderAreas(const IAreaList& areas)
{
  if (areas.empty())
    return;
  const float s = TotalScale();
  StartFrame();
  if (mStrictDrawing)
  {
    IArea all;
    for (const IArea& a : areas)
      all = all.Union(a.GetPixelAligned(s));
    EachControlAndOverlay([this, &all, s](IControl* c) { PaintControl(c, all, s); });
  }
  else
  {
    IAreaList aligned;
    aligned.reserve(areas.size());
    for (const IArea& a : areas)
      aligned.push_back(a.GetPixelAligned(s));
    OptimizeAreas(aligned);
    for (const IArea& area : aligned)
      EachControlAndOverlay([this, &area, s](IControl* c) { PaintControl(c, area, s); });
  }
  FinishFrame();
}

void IGfx::PaintControl(IControl* control, const IArea& area, float scale)
{
  if (!control)
    return;
  if (control->IsHidden() && ControlIndex(control) != 0)
    return;
  const IArea bounds = control->Area().GetPadded(0.75f).GetPixelAligned(scale);
  const IArea clip = area.Intersect(bounds);
  if (clip.W() <= 0.f || clip.H() <= 0.f)
    return;
  ResetTransform(true);
  PathReset();
  SetClipArea(clip);
  mClipArea = clip;
  control->Paint(*this);
  AfterControlPainted(clip);
}

namespace {

// Two areas that form one rectangle together: same left and right with
// touching or overlapping vertical ranges, or the same the other way round.
bool SharesEdge(const IArea& a, const IArea& b)
{
  if (a.Empty() || b.Empty())
    return true;
  if (a.L == b.L && a.R == b.R && a.T <= b.B && b.T <= a.B)
    return true;
  return a.T == b.T && a.B == b.B && a.L <= b.R && b.L <= a.R;
}

// Cuts x (inside r) out of r when what remains is one rectangle.
bool CutOut(IArea& r, const IArea& x)
{
  if (x.L == r.L && x.R == r.R)
  {
    if (x.T == r.T)
    {
      r.T = x.B;
      return true;
    }
    if (x.B == r.B)
    {
      r.B = x.T;
      return true;
    }
  }
  if (x.T == r.T && x.B == r.B)
  {
    if (x.L == r.L)
    {
      r.L = x.R;
      return true;
    }
    if (x.R == r.R)
    {
      r.R = x.L;
      return true;
    }
  }
  return false;
}

// Replaces areas[index] by the pieces of it outside x (inside it): full-width
// strips above and below, then the parts left and right of x.
void SplitAround(IAreaList& areas, size_t index, const IArea& x)
{
  const IArea r = areas[index];
  IAreaList pieces;
  if (x.T > r.T)
    pieces.emplace_back(r.L, r.T, r.R, x.T);
  if (x.B < r.B)
    pieces.emplace_back(r.L, x.B, r.R, r.B);
  if (x.L > r.L)
    pieces.emplace_back(r.L, x.T, x.L, x.B);
  if (x.R < r.R)
    pieces.emplace_back(x.R, x.T, r.R, x.B);
  if (pieces.empty())
    return;
  areas[index] = pieces[0];
  areas.insert(areas.end(), pieces.begin() + 1, pieces.end());
}

} // namespace

void IGfx::OptimizeAreas(IAreaList& areas)
{
  for (size_t i = 0; i < areas.size(); ++i)
  {
    for (size_t j = i + 1; j < areas.size();)
    {
      if (areas[i].Empty() || areas[j].Empty())
      {
        ++j;
        continue;
      }
      if (areas[i].Contains(areas[j]))
      {
        areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(j));
        continue;
      }
      if (areas[j].Contains(areas[i]))
      {
        areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(i));
        if (i >= areas.size())
          break;
        j = i + 1;
        continue;
      }
      const IArea x = areas[i].Intersect(areas[j]);
      if (x.W() > 0.f && x.H() > 0.f)
      {
        if (!CutOut(areas[i], x) && !CutOut(areas[j], x))
        {
          if (areas[j].Area() > areas[i].Area())
            SplitAround(areas, i, x);
          else
            SplitAround(areas, j, x);
        }
      }
      ++j;
    }
  }

  for (bool merged = true; merged;)
  {
    merged = false;
    for (size_t i = 0; i < areas.size() && !merged; ++i)
    {
      for (size_t j = i + 1; j < areas.size(); ++j)
      {
        if (SharesEdge(areas[i], areas[j]))
        {
          areas[j] = areas[i].Union(areas[j]);
          areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(i));
          merged = true;
          break;
        }
      }
    }
  }
}

// --- Scale -----------------------------------------------------------------------------

IArea IGfx::ToDevicePixels(const IArea& area) const
{
  const float s = TotalScale();
  return {std::floor(area.L * s), std::floor(area.T * s), std::ceil(area.R * s), std::ceil(area.B * s)};
}

IArea IGfx::FromDevicePixels(const IArea& area) const
{
  const float s = TotalScale();
  return {std::floor(area.L / s), std::floor(area.T / s), std::ceil(area.R / s), std::ceil(area.B / s)};
}

void IGfx::FromDevicePoint(float& x, float& y) const
{
  const float s = TotalScale();
  x /= s;
  y /= s;
}

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
    EndHostEdits(entry.second);
}

void IGfx::BeginHostEdits(IControl* control)
{
  if (!mDelegate)
    return;
  for (int i = 0; i < control->NValues(); ++i)
  {
    if (control->ParamIdx(i) >= 0)
      mDelegate->BeginHostEditFromEditor(control->ParamIdx(i));
  }
}

void IGfx::EndHostEdits(IControl* control)
{
  if (!mDelegate)
    return;
  for (int i = 0; i < control->NValues(); ++i)
  {
    if (control->ParamIdx(i) >= 0)
      mDelegate->EndHostEditFromEditor(control->ParamIdx(i));
  }
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
    IControl* control = HitTestControl(p.x, p.y, true, false, p.ms.touchID);
    if (!control)
      continue;
    const int valIdx = control->ValueIndexAt(p.x, p.y);
    const int paramIdx = control->ParamIdx(std::max(valIdx, 0));
    if (p.ms.R && paramIdx >= 0)
    {
      mCapturedMap.erase(p.ms.touchID); // captured by this press, no edit begun
      ClearCaptures();
      ShowCursorIfHidden();
      ShowHostParameterMenu(control, paramIdx, p.x, p.y);
      return;
    }
    BeginHostEdits(control);
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
    EndHostEdits(control);
  }
  if (mResizingInProgress)
  {
    mResizingInProgress = false;
    if (mResizerMode == 0)
    {
      EachControlAndOverlay([](IControl* c) { c->HandleRescale(); });
      MarkAllDirty();
    }
  }
  if (points.size() == 1 && points[0].ms.touchID == 0)
    DispatchMouseOver(points[0].x, points[0].y, points[0].ms);
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
  IControl* control = HitTestControl(point.x, point.y, true, false, point.ms.touchID);
  if (!control)
    return;
  if (control->DoubleClickAsPress())
  {
    DispatchMouseDown({point});
    return;
  }
  // A reset is a change of the parameter like any other: the host hears it inside an edit.
  mCapturedMap.erase(point.ms.touchID);
  BeginHostEdits(control);
  control->HandleDoubleClick(point.x, point.y, point.ms);
  EndHostEdits(control);
  ClearCaptures();
  ShowCursorIfHidden();
}

void IGfx::DispatchWheel(float x, float y, const IMouseMods& mod, float delta)
{
  IControl* control = HitTestControl(x, y, false);
  if (!control)
    return;
  BeginHostEdits(control);
  control->HandleWheel(x, y, mod, delta);
  EndHostEdits(control);
}

void IGfx::DispatchFileDrop(const char* path, float x, float y)
{
  if (IControl* control = HitTestControl(x, y, false))
    control->HandleFileDrop(path);
}

// --- Prompts and menus -------------------------------------------------------------------

void IGfx::PromptForValue(IControl* control, const IArea& area, int valIdx)
{
  if (!control)
    return;
  const plug::IParam* param = control->Param(valIdx);
  if (!param)
    return;
  const bool withTexts = param->NDisplayTexts() > 0;
  if (param->Type() == plug::IParam::kTypeEnum || (param->Type() == plug::IParam::kTypeBool && withTexts))
  {
    std::string current;
    param->FormatValue(param->GetPlain(), false, current, true);
    mPromptMenu.Clear();
    for (int i = 0; i < param->NDisplayTexts(); ++i)
    {
      const char* text = "";
      for (int k = 0; k < param->NDisplayTexts(); ++k)
      {
        if (param->DisplayTextAt(k).value == static_cast<double>(i))
        {
          text = param->DisplayTextAt(k).text;
          break;
        }
      }
      mPromptMenu.AddItem(text, current == text ? IMenuModel::kChecked : IMenuModel::kNoFlags, -1);
    }
    mPromptMenu.SetTitle(param->GetName());
    OpenPopupMenu(control, mPromptMenu, area, valIdx);
    return;
  }
  std::string text;
  param->FormatValue(param->GetPlain(), false, text, false);
  if (control->PromptShowsLabel())
  {
    text += " ";
    text += param->GetUnitsText();
  }
  OpenTextEntry(control, control->TextStyle(), area, text.c_str(), valIdx);
}

void IGfx::OpenTextEntry(IControl* control, const ITextStyle& style, const IArea& area, const char* text, int valIdx)
{
  if (!control)
    return;
  mTextEntryOwner = control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = valIdx >= 0 ? control->ParamIdx(valIdx) : -1;
  CreateNativeTextEntry(paramIdx, style, area, control->EntryMaxChars(), text ? text : "");
  control->MarkDirty(false, -1);
}

void IGfx::ApplyTextEntryResult(const char* text)
{
  IControl* owner = mTextEntryOwner;
  if (!owner)
    return;
  mTextEntryOwner = nullptr;
  const int valIdx = mTextEntryValIdx;
  const plug::IParam* param = valIdx >= 0 ? owner->Param(valIdx) : nullptr;
  if (param)
  {
    const double plain = param->ParseValue(text ? text : "");
    const int paramIdx = owner->ParamIdx(valIdx);
    if (mDelegate)
      mDelegate->BeginHostEditFromEditor(paramIdx);
    owner->ApplyUserValue(param->Normalize(plain), valIdx);
    if (mDelegate)
      mDelegate->EndHostEditFromEditor(paramIdx);
  }
  else
    owner->HandleTextEntryResult(text ? text : "", valIdx);
}

void IGfx::DiscardTextEntry()
{
  if (mTextEntryOwner)
    mTextEntryOwner->MarkDirty(false, -1);
  mTextEntryOwner = nullptr;
}

void IGfx::OpenPopupMenu(IControl* control, IMenuModel& menu, const IArea& area, int valIdx)
{
  // Opened from a press, the control's host edits are open: the menu's result ends them.
  mMenuEditsOpen = false;
  for (auto it = mCapturedMap.begin(); it != mCapturedMap.end();)
  {
    if (it->second == control)
    {
      mMenuEditsOpen = true;
      it = mCapturedMap.erase(it);
    }
    else
      ++it;
  }
  ClearCaptures();
  ShowCursorIfHidden();
  mMenuOwner = control;
  mMenuValIdx = valIdx;
  mMenuIsContextMenu = false;
  bool isAsync = false;
  IMenuModel* result = ShowNativeMenu(menu, area, isAsync);
  if (!isAsync)
    ApplyMenuResult(result);
}

void IGfx::ApplyMenuResult(IMenuModel* menu)
{
  IControl* owner = mMenuOwner;
  if (!owner)
    return;
  mMenuOwner = nullptr;
  const bool editsOpen = mMenuEditsOpen;
  mMenuEditsOpen = false;
  IMenuModel* chosen = menu && menu->GetChosenItemIdx() >= 0 ? menu : nullptr;
  if (chosen && !editsOpen)
    BeginHostEdits(owner);
  if (!mMenuIsContextMenu)
    owner->HandleMenuResult(chosen, mMenuValIdx);
  else
    owner->HandleContextMenuItem(chosen ? chosen->GetChosenItemIdx() : -1);
  if (chosen || editsOpen)
    EndHostEdits(owner);
}

void IGfx::ShowHostParameterMenu(IControl* control, int paramIdx, float x, float y)
{
  if (!control)
    return;
  mPromptMenu.Clear();
  control->FillContextMenu(mPromptMenu);
  if (!mDelegate)
    return;
  std::vector<plug::IHostMenuItem> items;
  for (int i = 0; i < mPromptMenu.NItems(); ++i)
  {
    const IMenuModel::Item* item = mPromptMenu.GetItem(i);
    items.push_back({item->text, item->IsDisabled()});
  }
  const float s = TotalScale();
  // The host calls back while its menu is up; the control may be gone by then
  // only if the editor was rebuilt, which the check below catches.
  mDelegate->OpenHostParameterMenu(paramIdx, static_cast<int>(x * s), static_cast<int>(y * s), items,
                                   [this, control](int itemIndex) {
                                     if (ControlIndex(control) >= 0)
                                       control->HandleContextMenuItem(itemIndex);
                                   });
}

void IGfx::ShowValueBubble(IControl* caller, float x, float y, const char* text, int direction,
                           const IArea& minimumContentArea)
{
  if (mBubbles.empty())
    return;
  if (!mMultiTouchEnabled)
  {
    mBubbles[0]->ShowBubble(caller, x, y, text, direction, minimumContentArea, 0);
    return;
  }
  const std::vector<int64_t> touches = TouchesHolding(caller);
  if (touches.size() != 1)
    return;
  const int64_t touch = touches[0];
  for (const auto& bubble : mBubbles)
  {
    if (bubble->BubbleTouchID() == touch)
    {
      bubble->ShowBubble(caller, x, y, text, direction, minimumContentArea, touch);
      return;
    }
  }
  std::vector<IBubbleControl*> candidates;
  for (const auto& bubble : mBubbles)
    candidates.push_back(bubble.get());
  IBubbleControl* chosen = candidates[mBubbleCounter % candidates.size()];
  mBubbleCounter = static_cast<unsigned>((mBubbleCounter + 1) % mBubbles.size());
  chosen->ShowBubble(caller, x, y, text, direction, minimumContentArea, touch);
}

// --- Text ---------------------------------------------------------------------------------

float IGfx::MeasureTextBounds(const ITextStyle& style, const char* text, IArea& bounds)
{
  if (!text || !*text)
    return 0.f;
  return MeasureTextImpl(style, text, bounds);
}

void IGfx::PrintText(const ITextStyle& style, const char* text, const IArea& area, const IBlendMode* blend)
{
  if (!text || !*text)
    return;
  PrintTextImpl(style, text, area, blend);
}

// --- Resources ----------------------------------------------------------------------------

IBitmap IGfx::RequestBitmap(const char* name, int nFrames, bool framesAreHorizontal, int targetScale)
{
  PLUG_TRACE("IGfx::RequestBitmap");
  mLastResourceError.clear();
  if (!name || !*name)
  {
    mLastResourceError = "no bitmap name";
    return {};
  }
  const int target = targetScale > 0 ? targetScale : std::max(1, static_cast<int>(std::ceil(mDisplayScale)));
  const std::string extension = LowerCaseExtension(name);
  if (!SupportsImageExtension(extension.c_str()))
  {
    mLastResourceError = std::string("not a supported image type: ") + name;
    return {};
  }

  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  for (int scale : ScaleSearchOrder(target))
  {
    if (APIBitmap* cached = mBitmapCache.Find(name, scale))
      return IBitmap(cached, nFrames, framesAreHorizontal, name);
  }
  std::string location;
  int foundScale = 0;
  if (FindScaledImage(name, extension.c_str(), location, target, foundScale, plug::CurrentModule()) == plug::kNotFound)
  {
    mLastResourceError = std::string("image not found: ") + name;
    return {};
  }
  std::string error;
  const SharedImage image = DecodedImageCache::Shared().Get(ScaledImageName(name, foundScale), extension, error);
  if (!image)
  {
    mLastResourceError = std::string(name) + ": " + error;
    return {};
  }
  MakeContextCurrent();
  std::unique_ptr<APIBitmap> bitmap = LoadBackendBitmap(*image, static_cast<float>(foundScale));
  RestorePreviousContext();
  if (!bitmap)
  {
    mLastResourceError = std::string("the drawing backend refused the image ") + name;
    return {};
  }
  APIBitmap* cached = mBitmapCache.Add(std::move(bitmap), name, foundScale);
  return IBitmap(cached, nFrames, framesAreHorizontal, name);
}

IBitmap IGfx::RequestBitmapFromData(const char* cacheName, const uint8_t* data, size_t size, int nFrames,
                                    bool framesAreHorizontal)
{
  mLastResourceError.clear();
  const std::string name = cacheName ? cacheName : "";
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  if (APIBitmap* cached = mBitmapCache.Find(name, 1.0))
    return IBitmap(cached, nFrames, framesAreHorizontal, name);
  std::string error;
  const DecodedImage image = DecodeImage(data, size, error);
  if (!image.IsValid())
  {
    mLastResourceError = name + ": " + error;
    return {};
  }
  MakeContextCurrent();
  std::unique_ptr<APIBitmap> bitmap = LoadBackendBitmap(image, 1.f);
  RestorePreviousContext();
  if (!bitmap)
  {
    mLastResourceError = "the drawing backend refused the image " + name;
    return {};
  }
  APIBitmap* cached = mBitmapCache.Add(std::move(bitmap), name, 1.0);
  return IBitmap(cached, nFrames, framesAreHorizontal, name);
}

bool IGfx::RequestFont(const char* fontId, const char* fileNameOrResourceID)
{
  PLUG_TRACE("IGfx::RequestFont");
  mLastResourceError.clear();
  const std::vector<uint8_t> bytes = ReadResourceBytes(fileNameOrResourceID, "ttf");
  if (bytes.empty())
  {
    mLastResourceError = std::string("font not found: ") + (fileNameOrResourceID ? fileNameOrResourceID : "");
    return false;
  }
  return RequestFont(fontId, bytes.data(), bytes.size());
}

bool IGfx::RequestFont(const char* fontId, const uint8_t* data, size_t size)
{
  mLastResourceError.clear();
  if (!fontId || !*fontId)
  {
    mLastResourceError = "no font id";
    return false;
  }
  std::lock_guard<std::mutex> lock(FontDataCache().Mutex());
  FontData* font = FontDataCache().Find(fontId, 1.0);
  if (!font)
  {
    auto loaded = std::make_unique<FontData>();
    loaded->descriptor = ReadFontDescriptor(data, size, 0);
    if (!loaded->descriptor.IsValid())
    {
      mLastResourceError = std::string("not a usable font: ") + fontId;
      return false;
    }
    loaded->bytes.assign(data, data + size);
    font = FontDataCache().Add(std::move(loaded), fontId, 1.0);
  }
  if (!LoadBackendFont(fontId, *font))
  {
    mLastResourceError = std::string("the drawing backend refused the font ") + fontId;
    return false;
  }
  if (!LoadNativeFont(fontId, *font))
  {
    mLastResourceError = std::string("the platform refused the font ") + fontId;
    return false;
  }
  return true;
}

std::vector<uint8_t> IGfx::ReadResourceBytes(const char* name, const char* type)
{
  if (!name)
    return {};
  return gfx::ReadResourceBytes(name, type, plug::CurrentModule());
}

APIBitmap* IGfx::FindCachedBitmap(const char* name, int targetScale, int& foundScale)
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  for (int scale : ScaleSearchOrder(targetScale))
  {
    if (APIBitmap* cached = mBitmapCache.Find(name ? name : "", scale))
    {
      foundScale = scale;
      return cached;
    }
  }
  return nullptr;
}

void IGfx::CacheBitmap(std::unique_ptr<APIBitmap> bitmap, const char* name)
{
  if (!bitmap)
    return;
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  const double scale = bitmap->GetScale();
  mBitmapCache.Add(std::move(bitmap), name ? name : "", scale);
}

void IGfx::UncacheBitmap(const APIBitmap* bitmap)
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  mBitmapCache.Remove(bitmap);
}

void IGfx::ClearBitmapCache()
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  mBitmapCache.Clear();
}

int IGfx::CachedBitmapCount()
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  return mBitmapCache.Size();
}

// --- Platform -----------------------------------------------------------------------------

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

void IGfx::BuildLayout()
{
  if (mDelegate)
    mDelegate->BuildLayout(this);
}

void IGfx::NotifyEditorOpened()
{
  if (mDelegate)
    mDelegate->OnEditorOpened();
}

} // namespace gfx
