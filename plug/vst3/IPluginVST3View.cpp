#include "plug/vst3/IPluginVST3View.h"

#include "plug/Trace.h"
#include "plug/Utf8.h"
#include "plug/VirtualKeys.h"
#include "plug/vst3/IPluginVST3.h"

#include "pluginterfaces/base/keycodes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace plug {

DEF_CLASS_IID(IEditorFrameCapture)

using Steinberg::char16;
using Steinberg::int16;
using Steinberg::kInvalidArgument;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;
using Steinberg::ViewRect;

namespace {

// Virtual-key codes of the host's key codes 1 to 56.
constexpr std::array<int32_t, 57> kVirtualKeys = {
  0,
  kVKBack, kVKTab, kVKClear, kVKReturn, kVKPause, kVKEscape, kVKSpace, kVKNext, kVKEnd, kVKHome,
  kVKLeft, kVKUp, kVKRight, kVKDown, kVKPrior, kVKNext, kVKSelect, kVKPrint, kVKReturn, kVKSnapshot,
  kVKInsert, kVKDelete, kVKHelp,
  kVKNumpad0, kVKNumpad0 + 1, kVKNumpad0 + 2, kVKNumpad0 + 3, kVKNumpad0 + 4,
  kVKNumpad0 + 5, kVKNumpad0 + 6, kVKNumpad0 + 7, kVKNumpad0 + 8, kVKNumpad0 + 9,
  kVKMultiply, kVKAdd, kVKSeparator, kVKSubtract, kVKDecimal, kVKDivide,
  kVKF1, kVKF1 + 1, kVKF1 + 2, kVKF1 + 3, kVKF1 + 4, kVKF1 + 5,
  kVKF1 + 6, kVKF1 + 7, kVKF1 + 8, kVKF1 + 9, kVKF1 + 10, kVKF1 + 11,
  kVKNumLock, kVKScroll, kVKShift, kVKControl, kVKMenu
};

// The host's first key code that stands for a printable character ('0').
constexpr int kFirstAsciiKeyCode = Steinberg::VKEY_FIRST_ASCII;
constexpr int kAsciiKeyOffset = kFirstAsciiKeyCode - '0';
constexpr int kKeyCodeEquals = Steinberg::KEY_EQUALS;

// The virtual-key code of a character as the keyboard layout produces it.
int32_t VirtualKeyOfCharacter(char c)
{
  if (c == 0)
    return 0;
#ifdef _WIN32
  const SHORT scan = VkKeyScanExA(c, GetKeyboardLayout(0));
  // The high byte holds the shift state the character needs; -1 means no key makes it.
  return scan == -1 ? 0 : (scan & 0xFF);
#else
  // US layout: letters are their capitals, digits and the space themselves.
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 'A';
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ')
    return c;
  return 0;
#endif
}

} // namespace

Steinberg::FIDString EditorPlatformType()
{
#ifdef _WIN32
  return Steinberg::kPlatformTypeHWND;
#else
  return Steinberg::kPlatformTypeX11EmbedWindowID;
#endif
}

IKeyEvent MakeKeyEvent(char16 key, int16 keyCode, int16 modifiers)
{
  IKeyEvent event;
  char32_t character = key;
  if (character == 0)
  {
    if (keyCode >= kFirstAsciiKeyCode)
      character = static_cast<char32_t>(keyCode - kAsciiKeyOffset);
    else if (keyCode == Steinberg::KEY_SPACE)
      character = U' ';
  }
  EncodeUtf8(character, event.utf8);

  if (keyCode == 0 || keyCode == kKeyCodeEquals)
    event.vk = VirtualKeyOfCharacter(event.utf8[0]);
  else if (keyCode >= kFirstAsciiKeyCode)
    event.vk = keyCode - kAsciiKeyOffset;
  else if (keyCode >= 1 && keyCode < static_cast<int16>(kVirtualKeys.size()))
    event.vk = kVirtualKeys[static_cast<size_t>(keyCode)];

  event.shift = (modifiers & Steinberg::kShiftKey) != 0;
  event.alt = (modifiers & Steinberg::kAlternateKey) != 0;
  event.control = (modifiers & Steinberg::kCommandKey) != 0;
  return event;
}

IPluginVST3View::IPluginVST3View(IPluginVST3& owner) : mOwner(owner)
{
  mOwner.addRef();
  rect = ViewRect(0, 0, owner.GetEditorWidth(), owner.GetEditorHeight());
}

IPluginVST3View::~IPluginVST3View()
{
  // A host that releases an attached view without removing it first.
  if (mEditorOpen)
    mOwner.CloseEditor();
  ForgetRunLoop();
  mOwner.ForgetView(this);
  mOwner.release();
}

void IPluginVST3View::ForgetRunLoop()
{
#if SMTG_OS_LINUX
  if (mRunLoop)
    mOwner.UseViewRunLoop(nullptr);
  mRunLoop.reset();
#endif
}

tresult PLUGIN_API IPluginVST3View::isPlatformTypeSupported(Steinberg::FIDString type)
{
  if (!mOwner.HasEditor() || !type)
    return kResultFalse;
  return std::strcmp(type, EditorPlatformType()) == 0 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPluginVST3View::attached(void* parent, Steinberg::FIDString type)
{
  PLUG_TRACE("plug::IPluginVST3View::attached");
  // Opening nothing for a window type we cannot draw into is a failure the host must hear of.
  if (!parent || isPlatformTypeSupported(type) != kResultTrue || mEditorOpen)
    return kResultFalse;
#if SMTG_OS_LINUX
  // The editor's frames and X events come through the host's run loop; without one it cannot run.
  mRunLoop = VST3HostRunLoop::FromFrame(plugFrame);
  if (!mRunLoop)
    return kResultFalse;
  // Before the editor opens: the idle work moves onto this loop if it ran on a thread of its own.
  mOwner.UseViewRunLoop(mRunLoop.get());
#endif
  // The editor takes the host's factor as it opens.
  if (mContentScaleGiven)
    mOwner.SetOpeningScale(mContentScale);
  if (!mOwner.OpenEditor(parent))
  {
    mOwner.CloseEditor();
    ForgetRunLoop();
    return kResultFalse;
  }
  mEditorOpen = true;
  // The editor took the factor given for this view as it opened; should it
  // still have another scale, the factor replaces it.
  const IEditor* editor = mOwner.GetEditor();
  if (mContentScaleGiven && editor && editor->GetDisplayScale() != mContentScale)
    mOwner.ApplyScreenScale(mContentScale);
  // An editor that opened at a size it already had asked the host for
  // nothing: the size on record (and the host's window) may be an older one.
  if (editor)
    mOwner.RequestEditorResize(WindowLength(editor->GetWidth(), editor->GetDrawScale(), editor->GetWindowScale()),
                               WindowLength(editor->GetHeight(), editor->GetDrawScale(), editor->GetWindowScale()));
  return CPluginView::attached(parent, type);
}

tresult PLUGIN_API IPluginVST3View::removed()
{
  PLUG_TRACE("plug::IPluginVST3View::removed");
  if (mOwner.HasEditor() && !mOwner.IsClosing())
  {
    mOwner.CloseEditor();
    mEditorOpen = false;
  }
  ForgetRunLoop();
  return CPluginView::removed();
}

tresult PLUGIN_API IPluginVST3View::getSize(ViewRect* size)
{
  if (!mOwner.HasEditor())
    return kResultFalse;
  if (!size)
    return kInvalidArgument;
  if (mEditorOpen)
  {
    *size = ViewRect(0, 0, mOwner.GetEditorWidth(), mOwner.GetEditorHeight());
    return kResultOk;
  }
  // Closed: the window the editor will open with, so that the host's window
  // has that size already.
  int width = 0;
  int height = 0;
  if (!mOwner.RememberedWindowSize(mContentScale, width, height))
  {
    width = WindowLength(mOwner.GetOwnEditorWidth(), 1.f, mContentScale);
    height = WindowLength(mOwner.GetOwnEditorHeight(), 1.f, mContentScale);
  }
  *size = ViewRect(0, 0, width, height);
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3View::onSize(ViewRect* newSize)
{
  if (!newSize)
    return kInvalidArgument;
  rect = *newSize;
  mOwner.OnParentResized(newSize->getWidth(), newSize->getHeight());
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3View::canResize()
{
  return mOwner.HasEditor() && mOwner.HostMayResize() ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPluginVST3View::checkSizeConstraint(ViewRect* r)
{
  if (!r)
    return kInvalidArgument;
  // The limits hold for the editor at window scale 1; the window is larger
  // by that scale, truncated the same way as the window itself.
  const float s = WindowScale();
  const auto limit = [s](int value) { return int64_t{WindowLength(value, 1.f, s)}; };
  // In 64 bits: a host's rectangle may span more than 32 bits can hold.
  const int64_t width =
    std::clamp(int64_t{r->right} - r->left, limit(mOwner.GetMinWidth()), limit(mOwner.GetMaxWidth()));
  const int64_t height =
    std::clamp(int64_t{r->bottom} - r->top, limit(mOwner.GetMinHeight()), limit(mOwner.GetMaxHeight()));
  const int64_t right = r->left + width;
  const int64_t bottom = r->top + height;
  if (right > std::numeric_limits<Steinberg::int32>::max() || bottom > std::numeric_limits<Steinberg::int32>::max())
    return kInvalidArgument;
  r->right = static_cast<Steinberg::int32>(right);
  r->bottom = static_cast<Steinberg::int32>(bottom);
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3View::onKeyDown(char16 key, int16 keyCode, int16 modifiers)
{
  return mOwner.ForwardKeyDown(MakeKeyEvent(key, keyCode, modifiers)) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPluginVST3View::onKeyUp(char16 key, int16 keyCode, int16 modifiers)
{
  return mOwner.ForwardKeyUp(MakeKeyEvent(key, keyCode, modifiers)) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPluginVST3View::setContentScaleFactor(ScaleFactor factor)
{
  // Real displays scale by 0.5 to 4; beyond that the editor's framebuffer and
  // window sizes would outgrow what the GL driver and 32-bit sizes can hold.
  if (!(factor >= kMinContentScale && factor <= kMaxContentScale))
    return kInvalidArgument;
  // Hosts may give the factor before attaching: the next opening applies it.
  mContentScale = factor;
  mContentScaleGiven = true;
  if (mEditorOpen)
    mOwner.ApplyScreenScale(factor);
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3View::captureFrame(Steinberg::IBStream* rgba, Steinberg::int32* width,
                                                 Steinberg::int32* height)
{
  if (!rgba || !width || !height)
    return kInvalidArgument;
  IEditor* editor = mEditorOpen ? mOwner.GetEditor() : nullptr;
  IEditorFrame frame;
  if (!editor || !editor->CaptureFrame(frame))
    return kResultFalse;
  const auto size = static_cast<Steinberg::int32>(frame.rgba.size());
  Steinberg::int32 written = 0;
  if (rgba->write(frame.rgba.data(), size, &written) != kResultOk || written != size)
    return kInvalidArgument;
  *width = frame.width;
  *height = frame.height;
  return kResultOk;
}

float IPluginVST3View::WindowScale() const
{
  const IEditor* editor = mEditorOpen ? mOwner.GetEditor() : nullptr;
  return editor ? editor->GetWindowScale() : mContentScale;
}

bool IPluginVST3View::ResizeView(int width, int height)
{
  if (!plugFrame)
    return false;
  ViewRect newSize(0, 0, width, height);
  return plugFrame->resizeView(this, &newSize) == kResultTrue;
}

tresult PLUGIN_API IPluginVST3View::queryInterface(const Steinberg::TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, Steinberg::IPlugViewContentScaleSupport::iid, Steinberg::IPlugViewContentScaleSupport)
  QUERY_INTERFACE(iid, obj, IEditorFrameCapture::iid, IEditorFrameCapture)
  return CPluginView::queryInterface(iid, obj);
}

} // namespace plug
