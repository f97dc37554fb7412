#include "plug/IGfxEditorDelegate.h"

#include "plug/Trace.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace plug {

namespace {

// Zero stands for "no size" (states saved before any editor opened); a
// negative or non-finite value is damage and tells no size either.
bool IsEditorSize(int width, int height, float scale)
{
  return width > 0 && height > 0 && std::isfinite(scale) && scale > 0.f;
}

} // namespace

IGfxEditorDelegate::IGfxEditorDelegate(int nParams)
  : IEditorDelegate(nParams), mPendingValues(std::make_unique<PendingValue[]>(static_cast<size_t>(NParams())))
{
  static_assert(std::atomic<double>::is_always_lock_free, "the audio thread stores values without locks");
}

namespace {

// The one delegate in the process whose closed editor is parked: a session
// with many instances keeps at most one closed editor's graphics resources.
std::mutex gParkingMutex;
IGfxEditorDelegate* gParkedOwner = nullptr;

} // namespace

IGfxEditorDelegate::~IGfxEditorDelegate()
{
  std::lock_guard<std::mutex> lock(gParkingMutex);
  if (gParkedOwner == this)
    gParkedOwner = nullptr;
}

void IGfxEditorDelegate::Park(std::unique_ptr<IEditor> editor)
{
  std::lock_guard<std::mutex> lock(gParkingMutex);
  if (gParkedOwner && gParkedOwner != this)
    gParkedOwner->mParkedEditor.reset();
  gParkedOwner = this;
  mParkedEditor = std::move(editor);
}

std::unique_ptr<IEditor> IGfxEditorDelegate::Unpark()
{
  std::lock_guard<std::mutex> lock(gParkingMutex);
  if (gParkedOwner == this)
    gParkedOwner = nullptr;
  return std::move(mParkedEditor);
}

void IGfxEditorDelegate::RememberEditorSize(int width, int height, float scale)
{
  if (!IsEditorSize(width, height, scale))
  {
    // The next editor opens at its own size.
    mRememberedWidth = mRememberedHeight = 0;
    mRememberedScale = 0.f;
    return;
  }
  mRememberedWidth = std::clamp(width, GetMinWidth(), GetMaxWidth());
  mRememberedHeight = std::clamp(height, GetMinHeight(), GetMaxHeight());
  mRememberedScale = std::clamp(scale, GetMinScale(), GetMaxScale());
}

bool IGfxEditorDelegate::RememberedWindowSize(float windowScale, int& width, int& height) const
{
  if (!IsEditorSize(mRememberedWidth, mRememberedHeight, mRememberedScale))
    return false;
  int w = mRememberedWidth;
  int h = mRememberedHeight;
  float scale = mRememberedScale;
  FitEditorSize(GetEditorSizeLimits(), w, h, scale);
  width = WindowLength(w, scale, windowScale);
  height = WindowLength(h, scale, windowScale);
  return true;
}

void IGfxEditorDelegate::DeliverPendingEditorValues()
{
  if (!mEditor)
    return;
  for (int i = 0; i < NParams(); ++i)
  {
    PendingValue& slot = mPendingValues[static_cast<size_t>(i)];
    // The flag is cleared before the value is read: a value stored meanwhile
    // raises it again and is delivered next time, never lost.
    if (slot.pending.exchange(false, std::memory_order_acquire))
      mEditor->SetControlValuesOfParam(i, slot.normalized.load(std::memory_order_relaxed));
  }
}

void* IGfxEditorDelegate::OpenEditor(void* parent)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::OpenEditor");
  const float scale = std::exchange(mOpeningScale, 0.f);
  if (!mEditor)
  {
    mEditor = Unpark();
    if (!mEditor)
      mEditor = BuildGraphics();
    if (!mEditor)
      return nullptr;
    if (mRememberedWidth != 0 && mRememberedHeight != 0 && mRememberedScale != 0.f)
      mEditor->SetEditorSize(mRememberedWidth, mRememberedHeight, mRememberedScale);
  }
  // Before the window opens: the layout loads the artwork of that scale and
  // the first frame is drawn at it, not at another one and then again.
  if (scale > 0.f && mEditor->GetDisplayScale() != scale)
    mEditor->SetHostDisplayScale(scale);
  return mEditor->OpenEditorWindow(parent);
}

void IGfxEditorDelegate::CloseEditor()
{
  PLUG_TRACE("plug::IGfxEditorDelegate::CloseEditor");
  if (mClosing)
    return;
  mClosing = true;
  OnEditorClosed();
  if (mEditor)
  {
    RememberEditorSize(mEditor->GetWidth(), mEditor->GetHeight(), mEditor->GetDrawScale());
    if (mEditor->ParkEditorWindow())
      Park(std::move(mEditor));
    else
    {
      mEditor->CloseEditorWindow();
      mEditor.reset();
    }
  }
  mClosing = false;
}

bool IGfxEditorDelegate::ForwardKeyDown(const IKeyEvent& key)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::ForwardKeyDown");
  if (!mEditor)
    return false;
  float x = 0.f, y = 0.f;
  mEditor->QueryCursorPosition(x, y);
  return mEditor->OnKeyDown(x, y, key);
}

bool IGfxEditorDelegate::ForwardKeyUp(const IKeyEvent& key)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::ForwardKeyUp");
  if (!mEditor)
    return false;
  float x = 0.f, y = 0.f;
  mEditor->QueryCursorPosition(x, y);
  return mEditor->OnKeyUp(x, y, key);
}

void IGfxEditorDelegate::SendControlValueToEditor(int controlTag, double normalized)
{
  if (mEditor)
    mEditor->SetControlValueByTag(controlTag, normalized);
}

void IGfxEditorDelegate::SendControlMessageToEditor(int controlTag, int messageTag, int dataSize, const void* data)
{
  if (mEditor)
    mEditor->SendMessageToControl(controlTag, messageTag, dataSize, data);
}

void IGfxEditorDelegate::SendMidiToEditor(const IMidiMsg& message)
{
  if (mEditor)
    mEditor->SendMidiToControls(message);
  IEditorDelegate::SendMidiToEditor(message);
}

void IGfxEditorDelegate::SendParameterValueToEditor(int paramIdx, double value, bool normalized)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::SendParameterValueToEditor");
  const IParam* param = GetParameter(paramIdx);
  if (param)
  {
    PendingValue& slot = mPendingValues[static_cast<size_t>(paramIdx)];
    slot.normalized.store(normalized ? value : param->Normalize(value), std::memory_order_relaxed);
    slot.pending.store(true, std::memory_order_release);
  }
  OnParamChangeForEditor(paramIdx, kDelegate);
}

bool IGfxEditorDelegate::SaveEditorSize(StateChunk& chunk) const
{
  int32_t width = mRememberedWidth;
  int32_t height = mRememberedHeight;
  float scale = mRememberedScale;
  if (mEditor)
  {
    width = mEditor->GetWidth();
    height = mEditor->GetHeight();
    scale = mEditor->GetDrawScale();
  }
  return chunk.Put(width) >= 0 && chunk.Put(height) >= 0 && chunk.Put(scale) >= 0;
}

int IGfxEditorDelegate::LoadEditorSize(const StateChunk& chunk, int pos)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::LoadEditorSize");
  int32_t width = 0;
  int32_t height = 0;
  float scale = 0.f;
  pos = chunk.Get(width, pos);
  pos = chunk.Get(height, pos);
  pos = chunk.Get(scale, pos);
  // A truncated image must not wipe the size remembered for the next save,
  // and a damaged one must not make the editor unusable: a non-finite scale
  // is refused, the rest is clamped into the limits.
  if (pos < 0)
    return pos;
  if (!mEditor)
    RememberEditorSize(width, height, scale);
  else if (IsEditorSize(width, height, scale))
    mEditor->SetEditorSize(std::clamp(width, GetMinWidth(), GetMaxWidth()),
                           std::clamp(height, GetMinHeight(), GetMaxHeight()),
                           std::clamp(scale, GetMinScale(), GetMaxScale()));
  return pos;
}

void IGfxEditorDelegate::ApplyScreenScale(float scale)
{
  if (mEditor)
    mEditor->SetHostDisplayScale(scale);
}

std::unique_ptr<IEditor> IGfxEditorDelegate::BuildGraphics()
{
  PLUG_TRACE("plug::IGfxEditorDelegate::BuildGraphics");
  return MakeGraphicsFunction ? MakeGraphicsFunction() : nullptr;
}

void IGfxEditorDelegate::BuildLayout(IEditor* editor)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::BuildLayout");
  if (LayoutFunction)
    LayoutFunction(editor);
}

} // namespace plug
