#include "gfx/platforms/IGfxLinux.h"

#include "gfx/ScopedContext.h"
#include "gfx/platforms/X11ErrorTrap.h"
#include "gfx/platforms/X11Keys.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/Timer.h"
#include "plug/Trace.h"

#include <glad/gl.h>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>

// X.h names a query class CursorShape, which hides IGfx::CursorShape.
#undef CursorShape

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

namespace gfx {

struct IGfxLinux::XState
{
  Display* display = nullptr;
  Window parent = 0;
  Colormap colormap = 0;
  GLXContext context = nullptr;
  struct SavedContext
  {
    Display* display;
    GLXDrawable draw;
    GLXDrawable read;
    GLXContext context;
  };
  std::vector<SavedContext> savedContexts; // innermost last
  std::map<int, Cursor> cursors;
  Cursor blankCursor = 0;
  unsigned buttonsDown = 0;
};

namespace {

int gOpenWindows = 0;
int gLiveGLContexts = 0;

unsigned CursorFontShape(ECursor shape)
{
  switch (shape)
  {
  case ECursor::IBeam: return XC_xterm;
  case ECursor::Wait: return XC_watch;
  case ECursor::Cross: return XC_crosshair;
  case ECursor::UpArrow: return XC_sb_up_arrow;
  case ECursor::SizeNWSE: return XC_bottom_right_corner;
  case ECursor::SizeNESW: return XC_bottom_left_corner;
  case ECursor::SizeWE: return XC_sb_h_double_arrow;
  case ECursor::SizeNS: return XC_sb_v_double_arrow;
  case ECursor::SizeAll: return XC_fleur;
  case ECursor::No: return XC_X_cursor;
  case ECursor::Hand: return XC_hand2;
  case ECursor::AppStarting: return XC_watch;
  case ECursor::Help: return XC_question_arrow;
  default: return XC_left_ptr;
  }
}

IArea DeviceArea(int x, int y, int w, int h) { return {float(x), float(y), float(x + w), float(y + h)}; }

} // namespace

int IGfxLinux::OpenWindowCount() { return gOpenWindows; }
int IGfxLinux::LiveGLContextCount() { return gLiveGLContexts; }

IGfxLinux::IGfxLinux(plug::IGfxEditorDelegate* delegate, int width, int height, int fps, float scale)
  : IGfxNanoVG(delegate, width, height, fps, scale), mX(new XState)
{
}

IGfxLinux::~IGfxLinux()
{
  CloseEditorWindow();
  delete mX;
}

void* IGfxLinux::WindowHandle()
{
  return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow));
}

// --- Window ---------------------------------------------------------------------------------

void* IGfxLinux::OpenEditorWindow(void* parent)
{
  PLUG_TRACE("IGfxLinux::OpenEditorWindow");
  if (mWindow)
    CloseEditorWindow();
  const auto parentId = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  plug::IHostRunLoop* runLoop = Delegate() && Delegate()->HostRunLoop() ? Delegate()->HostRunLoop() : mOwnRunLoop;
  if (!parentId || !runLoop)
    return nullptr; // without the host's run loop nothing would ever draw

  Display* display = XOpenDisplay(nullptr);
  if (!display)
    return nullptr;
  mX->display = display;
  mX->parent = parentId;

  const int attributes[] = {GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                            GLX_X_RENDERABLE, True, GLX_DOUBLEBUFFER, True,
                            GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                            GLX_DEPTH_SIZE, 24, GLX_STENCIL_SIZE, 8, None};
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
  XVisualInfo* visual = configs && count > 0 ? glXGetVisualFromFBConfig(display, configs[0]) : nullptr;
  if (!visual)
  {
    if (configs)
      XFree(configs);
    XCloseDisplay(display);
    mX->display = nullptr;
    return nullptr;
  }
  const GLXFBConfig config = configs[0];
  XFree(configs);

  const int w = std::max(1, DeviceWidth());
  const int h = std::max(1, DeviceHeight());
  {
    XErrorTrap trap(display);
    mX->colormap = XCreateColormap(display, parentId, visual->visual, AllocNone);
    XSetWindowAttributes set = {};
    set.colormap = mX->colormap;
    set.border_pixel = 0;
    set.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                     KeyReleaseMask | EnterWindowMask | LeaveWindowMask | StructureNotifyMask;
    mWindow = XCreateWindow(display, parentId, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                            visual->depth, InputOutput, visual->visual, CWColormap | CWBorderPixel | CWEventMask,
                            &set);
    // Hosts that embed through XEMBED read this as soon as they see the window
    // created (the SDK's editor host gives up on a window without it): protocol
    // version 0, asking to be mapped. The window maps itself for hosts that don't.
    const Atom xembedInfo = XInternAtom(display, "_XEMBED_INFO", False);
    const long info[2] = {0, 1};
    XChangeProperty(display, mWindow, xembedInfo, xembedInfo, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(info), 2);
    XMapWindow(display, mWindow);
    if (trap.Failed())
    {
      PLUG_TRACE("IGfxLinux::OpenEditorWindow: X refused the window (bad parent?)");
      // Still inside the trap: the cleanup of what was never made fails quietly too.
      XFree(visual);
      if (mWindow)
        XDestroyWindow(display, mWindow);
      if (mX->colormap)
        XFreeColormap(display, mX->colormap);
      trap.Release();
      XCloseDisplay(display);
      mWindow = 0;
      mX->colormap = 0;
      mX->display = nullptr;
      return nullptr;
    }
  }
  XFree(visual);
  ++gOpenWindows;

  mX->context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
  if (mX->context)
  {
    ++gLiveGLContexts;
    SetUpContext(mX->context, [] { return gladLoadGL(reinterpret_cast<GLADloadfunc>(glXGetProcAddressARB)) != 0; });
  }
  LayoutOpenedWindow();

  mRunLoop = runLoop;
  mTimerId = mRunLoop->AddTimer(TimerPeriodMs(FrameRate()), [this] { OnFrameTick(); });
  mReaderId = mRunLoop->AddFdReader(ConnectionNumber(display), [this] { OnXEvents(); });
  XFlush(display);

  NotifyEditorOpened();
  return WindowHandle();
}

void IGfxLinux::StopRunLoopCallbacks()
{
  if (!mRunLoop)
    return;
  if (mTimerId)
    mRunLoop->Remove(mTimerId);
  if (mReaderId)
    mRunLoop->Remove(mReaderId);
  mTimerId = 0;
  mReaderId = 0;
  mRunLoop = nullptr;
}

void IGfxLinux::CloseEditorWindow()
{
  if (!mWindow)
    return;
  PLUG_TRACE("IGfxLinux::CloseEditorWindow");
  StopRunLoopCallbacks();
  Display* display = mX->display;

  ReleaseWindowContents(mX->context != nullptr);
  if (mX->context)
  {
    if (glXGetCurrentContext() == mX->context)
      glXMakeContextCurrent(display, None, None, nullptr);
    glXDestroyContext(display, mX->context);
    mX->context = nullptr;
    --gLiveGLContexts;
  }

  for (const auto& entry : mX->cursors)
    XFreeCursor(display, entry.second);
  mX->cursors.clear();
  if (mX->blankCursor)
    XFreeCursor(display, mX->blankCursor);
  mX->blankCursor = 0;
  mX->buttonsDown = 0;
  mPendingAreas.clear();

  XDestroyWindow(display, mWindow);
  XFreeColormap(display, mX->colormap);
  mX->colormap = 0;
  mWindow = 0;
  XCloseDisplay(display);
  mX->display = nullptr;
  --gOpenWindows;
}

bool IGfxLinux::MakeContextCurrent()
{
  mX->savedContexts.push_back(
    {glXGetCurrentDisplay(), glXGetCurrentDrawable(), glXGetCurrentReadDrawable(), glXGetCurrentContext()});
  if (!mX->context)
    return false;
  if (glXGetCurrentContext() == mX->context && glXGetCurrentDrawable() == mWindow)
    return true;
  return glXMakeContextCurrent(mX->display, mWindow, mWindow, mX->context);
}

void IGfxLinux::RestorePreviousContext()
{
  if (mX->savedContexts.empty())
    return;
  const XState::SavedContext saved = mX->savedContexts.back();
  mX->savedContexts.pop_back();
  if (glXGetCurrentContext() == saved.context && glXGetCurrentDrawable() == saved.draw)
    return;
  if (saved.context && saved.display)
    glXMakeContextCurrent(saved.display, saved.draw, saved.read, saved.context);
  else if (Display* display = glXGetCurrentDisplay())
    glXMakeContextCurrent(display, None, None, nullptr);
}

void IGfxLinux::OnBackingResized()
{
  if (!mX->context)
    return;
  ScopedContext current(*this);
  IGfxNanoVG::OnBackingResized();
}

void IGfxLinux::ResizeHostWindow(bool /*parentResized*/)
{
  // The host resizes its own window (the view asks it through IPlugFrame);
  // only the editor's child window follows here.
  if (!mWindow)
    return;
  XResizeWindow(mX->display, mWindow, static_cast<unsigned>(std::max(1, DeviceWidth())),
                static_cast<unsigned>(std::max(1, DeviceHeight())));
  XFlush(mX->display);
}

// --- Frame clock and events -------------------------------------------------------------------

void IGfxLinux::OnFrameTick()
{
  if (!mWindow)
    return;
  ++mCounters.framesServed;
  // Events that arrived since the reader last ran (the host may serve timers first).
  OnXEvents();
  if (!mWindow)
    return;
  IAreaList areas;
  if (TickFrame(NowMs(), areas))
    mPendingAreas.insert(mPendingAreas.end(), areas.begin(), areas.end());
  DrawPending();
  // The framework's idle timers (parameter-change and restart requests to the host among them).
  plug::Timer::TickAll();
}

void IGfxLinux::OnXEvents()
{
  if (!mWindow || mInEvents)
    return;
  mInEvents = true;
  Display* display = mX->display;
  while (mWindow && XPending(display) > 0)
  {
    XEvent event;
    XNextEvent(display, &event);
    // Only the newest of a run of pointer motions matters.
    if (event.type == MotionNotify)
    {
      XEvent next;
      while (XEventsQueued(display, QueuedAlready) > 0)
      {
        XPeekEvent(display, &next);
        if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window ||
            next.xmotion.state != event.xmotion.state)
          break;
        XNextEvent(display, &event);
      }
    }
    HandleEvent(&event);
  }
  mInEvents = false;
  if (mWindow)
    DrawPending();
}

void IGfxLinux::DrawPending()
{
  if (mPendingAreas.empty())
    return;
  IAreaList areas;
  areas.swap(mPendingAreas);
  if (!mX->context)
    return;
  {
    ScopedContext current(*this);
    RenderAreas(areas);
    glXSwapBuffers(mX->display, mWindow);
  }
  ++mCounters.framesDrawn;
}

IMouseState IGfxLinux::MouseState(int x, int y, unsigned state)
{
  IMouseState p;
  p.x = static_cast<float>(x);
  p.y = static_cast<float>(y);
  FromDevicePoint(p.x, p.y);
  p.ms.L = (state & Button1Mask) != 0;
  p.ms.R = (state & Button3Mask) != 0;
  p.ms.S = (state & ShiftMask) != 0;
  p.ms.C = (state & ControlMask) != 0;
  p.ms.A = (state & Mod1Mask) != 0;
  return p;
}

void IGfxLinux::HandleEvent(const void* anyEvent)
{
  const XEvent& event = *static_cast<const XEvent*>(anyEvent);
  if (event.xany.window != mWindow)
    return;
  Display* display = mX->display;
  switch (event.type)
  {
  case Expose:
  {
    ++mCounters.exposes;
    const XExposeEvent& e = event.xexpose;
    mPendingAreas.push_back(FromDevicePixels(DeviceArea(e.x, e.y, e.width, e.height)));
    break;
  }
  case ButtonPress:
  {
    const XButtonEvent& e = event.xbutton;
    if (e.button == Button4 || e.button == Button5)
    {
      IMouseState p = MouseState(e.x, e.y, e.state);
      mCursorX = p.x;
      mCursorY = p.y;
      DispatchWheel(p.x, p.y, p.ms, e.button == Button4 ? 1.f : -1.f);
      break;
    }
    if (e.button != Button1 && e.button != Button3)
      break;
    mLastInputWasTouch = false;
    XSetInputFocus(display, mWindow, RevertToParent, e.time);
    IMouseState p = MouseState(e.x, e.y, e.state);
    p.ms.L = p.ms.L || e.button == Button1;
    p.ms.R = p.ms.R || e.button == Button3;
    mCursorX = p.x;
    mCursorY = p.y;
    const bool doubleClick = e.button == mLastPressButton && e.time - mLastPressTime <= kDoubleClickMs &&
                             std::abs(e.x - mLastPressX) <= 4 && std::abs(e.y - mLastPressY) <= 4;
    mX->buttonsDown |= 1u << e.button;
    if (doubleClick)
    {
      mLastPressButton = 0; // a third press starts over
      DispatchDoubleClick(p);
    }
    else
    {
      mLastPressButton = e.button;
      mLastPressTime = e.time;
      mLastPressX = e.x;
      mLastPressY = e.y;
      DispatchMouseDown({p});
    }
    break;
  }
  case ButtonRelease:
  {
    const XButtonEvent& e = event.xbutton;
    if (e.button != Button1 && e.button != Button3)
      break;
    mX->buttonsDown &= ~(1u << e.button);
    IMouseState p = MouseState(e.x, e.y, e.state);
    // The state is from before the release: the released button is up now.
    if (e.button == Button1)
      p.ms.L = false;
    else
      p.ms.R = false;
    DispatchMouseUp({p});
    break;
  }
  case MotionNotify:
  {
    const XMotionEvent& e = event.xmotion;
    const bool dragging = mX->buttonsDown && (e.state & (Button1Mask | Button3Mask));
    OnPointerMoved(MouseState(e.x, e.y, e.state), dragging);
    break;
  }
  case LeaveNotify:
    // Leaving while a button is held is part of a drag (the pointer is grabbed).
    if (event.xcrossing.mode == NotifyNormal && !mX->buttonsDown)
      DispatchMouseLeave();
    break;
  case KeyPress:
  case KeyRelease:
  {
    XKeyEvent e = event.xkey;
    char text[8] = {};
    KeySym sym = NoSymbol;
    const int length = XLookupString(&e, text, sizeof(text), &sym, nullptr);
    const IKeyEvent key = X11KeyEvent(sym, text, length, e.state);
    const IMouseState p = MouseState(e.x, e.y, e.state);
    const bool handled = event.type == KeyPress ? OnKeyDown(p.x, p.y, key) : OnKeyUp(p.x, p.y, key);
    if (!handled && mX->parent)
    {
      // Unused keys go on to the host's window (its transport and shortcuts).
      XEvent forward = event;
      forward.xkey.window = mX->parent;
      XSendEvent(display, mX->parent, True, event.type == KeyPress ? KeyPressMask : KeyReleaseMask, &forward);
      XFlush(display);
    }
    break;
  }
  default:
    break;
  }
}

// --- Cursor -------------------------------------------------------------------------------------

void IGfxLinux::QueryCursorPosition(float& x, float& y)
{
  x = mCursorX;
  y = mCursorY;
  if (!mWindow)
    return;
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned mask = 0;
  if (XQueryPointer(mX->display, mWindow, &root, &child, &rootX, &rootY, &winX, &winY, &mask))
  {
    x = static_cast<float>(winX);
    y = static_cast<float>(winY);
    FromDevicePoint(x, y);
  }
}

void IGfxLinux::DefineCursor()
{
  if (!mWindow)
    return;
  Display* display = mX->display;
  Cursor cursor = 0;
  if (IsCursorHidden())
  {
    if (!mX->blankCursor)
    {
      const char empty[1] = {0};
      Pixmap pixmap = XCreateBitmapFromData(display, mWindow, empty, 1, 1);
      XColor black = {};
      mX->blankCursor = XCreatePixmapCursor(display, pixmap, pixmap, &black, &black, 0, 0);
      XFreePixmap(display, pixmap);
    }
    cursor = mX->blankCursor;
  }
  else
  {
    const unsigned shape = CursorFontShape(CursorShape());
    auto it = mX->cursors.find(static_cast<int>(shape));
    if (it == mX->cursors.end())
      it = mX->cursors.emplace(static_cast<int>(shape), XCreateFontCursor(display, shape)).first;
    cursor = it->second;
  }
  XDefineCursor(display, mWindow, cursor);
  XFlush(display);
}

ECursor IGfxLinux::SetCursorShape(ECursor shape)
{
  const ECursor previous = IGfx::SetCursorShape(shape);
  DefineCursor();
  return previous;
}

void IGfxLinux::SetCursorHidden(bool hide, bool lock)
{
  if (UpdateCursorHidden(hide, lock))
    DefineCursor();
}

void IGfxLinux::WarpCursor(float x, float y)
{
  int deviceX = 0, deviceY = 0;
  if (!mWindow || !WarpTarget(x, y, deviceX, deviceY))
    return;
  XWarpPointer(mX->display, None, mWindow, 0, 0, 0, 0, deviceX, deviceY);
  XFlush(mX->display);
  PointerWarpedTo(deviceX, deviceY);
}

// --- Services not offered -------------------------------------------------------------------------

void IGfxLinux::CreateNativeTextEntry(int /*paramIdx*/, const ITextStyle& /*style*/, const IArea& /*area*/,
                                      int /*maxLength*/, const char* /*text*/)
{
  DiscardTextEntry();
}

IMenuModel* IGfxLinux::ShowNativeMenu(IMenuModel& /*menu*/, const IArea& /*area*/, bool& isAsync)
{
  isAsync = false;
  return nullptr;
}

EMsgBoxResult IGfxLinux::ShowMessageDialog(const char* /*text*/, const char* /*caption*/, EMsgBoxType /*type*/,
                                           MsgBoxCompletionFunc completion)
{
  if (completion)
    completion(EMsgBoxResult::Cancel);
  return EMsgBoxResult::Cancel;
}

void IGfxLinux::AskForFile(std::string& path, std::string& /*directory*/, EFileAction /*action*/,
                           const char* /*extensions*/, FileDialogCompletionFunc /*completion*/)
{
  path.clear();
}

void IGfxLinux::AskForDirectory(std::string& directory, FileDialogCompletionFunc /*completion*/)
{
  directory.clear();
}

bool IGfxLinux::AskForColour(IRgba& /*colour*/, const char* /*prompt*/, ColourPickerCompletionFunc /*completion*/)
{
  return false;
}

bool IGfxLinux::OpenWebPage(const char* /*url*/, const char* /*caption*/, const char* /*question*/,
                            const char* /*failureMessage*/)
{
  return false;
}

bool IGfxLinux::ReadClipboardText(std::string& text)
{
  text.clear();
  return false;
}

bool IGfxLinux::WriteClipboardText(const char* /*text*/)
{
  return false;
}

} // namespace gfx
