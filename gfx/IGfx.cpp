// The core of IGfx: size and scale, the control list, the frame (tick,
// collect, render) and the one mapping between editor units and device
// pixels. Input, prompts, resources and drawing live in the IGfx*.cpp files
// beside this one.

#include "gfx/IGfx.h"

#include "gfx/DirtyAreas.h"
#include "gfx/ScopedContext.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/IParam.h"
#include "plug/Trace.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace gfx {

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
  scale = std::min(std::max(scale, mMinScale), mMaxScale);
  if (mDelegate)
    plug::FitEditorSize(mDelegate->GetEditorSizeLimits(), width, height, scale);
  else
  {
    width = std::max(width, 1);
    height = std::max(height, 1);
  }
  if (width == mWidth && height == mHeight && scale == mDrawScale)
    return;

  ClearCaptures();
  ShowCursorIfHidden();
  mDrawScale = scale;
  mWidth = width;
  mHeight = height;
  if (mCornerResizer)
    mCornerResizer->HandleRescale();

  ResizeWindowToEditor();

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
  ResizeWindowToEditor();
  EachControlAndOverlay([](IControl* c) { c->HandleRescale(); });
  MarkAllDirty();
  OnBackingResized();
}

void IGfx::ResizeWindowToEditor()
{
  const float windowScale = PlatformWindowScale();
  const int windowWidth = DeviceLength(mWidth, mDrawScale, windowScale);
  const int windowHeight = DeviceLength(mHeight, mDrawScale, windowScale);
  const bool hostResized = mDelegate && mDelegate->ResizeFromEditor(windowWidth, windowHeight, true);
  ResizeHostWindow(hostResized);
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

bool IGfx::RunDelegateFrameWork()
{
  if (!mDelegate)
    return true;
  const std::weak_ptr<const char> alive = mAlive;
  mDelegate->OnEditorFrameTick(FramePeriodMs(FrameRate()));
  return !alive.expired();
}

bool IGfx::TickFrame(double nowMs, IAreaList& areas)
{
  mFrameTimeMs = nowMs;
  if (mDelegate)
    mDelegate->DeliverPendingEditorValues();
  areas.clear();
  if (!CollectDirtyAreas(areas))
    return false;
  // Asked only when there is something to draw: the platform's answer may cost a round trip.
  // A hidden window draws nothing, and its controls stay dirty until it shows again.
  if (!IsWindowShowing())
  {
    areas.clear();
    return false;
  }
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

IArea IGfx::WholeEditor() const
{
  return IArea(0.f, 0.f, static_cast<float>(GetWidth()), static_cast<float>(GetHeight()));
}

bool IGfx::CoversWholeEditor(const IAreaList& areas) const
{
  const IArea whole = WholeEditor();
  return std::any_of(areas.begin(), areas.end(), [&whole](const IArea& a) { return a.Contains(whole); });
}

void IGfx::RenderAreas(const IAreaList& areas)
{
  if (areas.empty())
    return;
  if (CoversWholeEditor(areas))
    MarkAllClean();
  const float s = TotalScale();
  mFrameAreas.clear();
  if (mStrictDrawing)
  {
    IArea all;
    for (const IArea& a : areas)
      all = all.Union(a.GetPixelAligned(s));
    mFrameAreas.push_back(all);
  }
  else
  {
    for (const IArea& a : areas)
      mFrameAreas.push_back(a.GetPixelAligned(s));
    OptimizeAreas(mFrameAreas);
  }
  StartFrame();
  for (const IArea& area : mFrameAreas)
    EachControlAndOverlay([this, &area, s](IControl* c) { PaintControl(c, area, s); });
  FinishFrame();
  mFrameAreas.clear();
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

void IGfx::OptimizeAreas(IAreaList& areas)
{
  RemoveOverdraw(areas);
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

void IGfx::ToDevicePoint(float x, float y, int& deviceX, int& deviceY) const
{
  const float s = TotalScale();
  deviceX = static_cast<int>(std::lround(x * s));
  deviceY = static_cast<int>(std::lround(y * s));
}

int IGfx::DeviceLength(int length, float drawScale, float factor)
{
  return plug::WindowLength(length, drawScale, factor);
}

// --- Platform -----------------------------------------------------------------------------

// --- Frame clock ---------------------------------------------------------------------------

int IGfx::FramePeriodMs(int fps)
{
  // Windows' default timer resolution is 15.6 ms: asking for 16 would give 31.
  const int period = fps > 0 ? 1000 / fps : 1000;
  return period < 20 ? 15 : period;
}

double IGfx::NowMs()
{
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

ScopedContext::ScopedContext(IGfx& g) : mGfx(g)
{
  mGfx.MakeContextCurrent();
}

ScopedContext::~ScopedContext()
{
  mGfx.RestorePreviousContext();
}

// --- Window lifetime ---------------------------------------------------------------------------

void IGfx::SetUpContext(void* platformContext, const std::function<bool()>& loadGL)
{
  ScopedContext current(*this);
  if (loadGL())
    OnContextCreated(platformContext);
}

void IGfx::LayoutOpenedWindow()
{
  {
    ScopedContext current(*this);
    BuildLayout();
  }
  MarkAllDirty();
}

void IGfx::ReleaseWindowContents(bool hasContext)
{
  if (!hasContext)
  {
    ClearControls();
    return;
  }
  ScopedContext current(*this);
  ClearControls();
  OnContextDestroyed();
}

void IGfx::EndInteractionsForParking()
{
  OnPointerLost(); // held gestures end their host edits, the cursor shows, a corner drag ends
  DispatchMouseLeave();
  DiscardTextEntry();
  mMenuOwner = nullptr;
}

void IGfx::BuildLayout()
{
  if (mDelegate)
    mDelegate->BuildLayout(this);
}

void IGfx::NotifyEditorOpened()
{
  if (!mDelegate)
    return;
  mDelegate->OnEditorOpened();
  // Taken now, with what the layout derives from them, not with the first
  // frame tick: a platform may present a frame before its first tick (an
  // Expose on X11), which would otherwise show every control at its initial
  // value.
  mDelegate->DeliverPendingEditorValues();
  if (mDisplayTickFunc)
    mDisplayTickFunc();
}

} // namespace gfx
