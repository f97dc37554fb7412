#include "gfx/platforms/IGfxLinux.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/Timer.h"
#include "plug/Trace.h"

#include <glad/gl.h>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

// X.h names a query class CursorShape, which hides IGfx::CursorShape.
#undef CursorShape

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace gfx {

struct IGfxLinux::XState
{
  Display* display = nullptr;
  Window parent = 0;
  Colormap colormap = 0;
  GLXContext context = nullptr;
  Display* savedDisplay = nullptr;
  GLXDrawable savedDraw = 0;
  GLXDrawable savedRead = 0;
  GLXContext savedContext = nullptr;
  std::map<int, Cursor> cursors;
  Cursor blankCursor = 0;
  unsigned buttonsDown = 0;
};

namespace {

int gOpenWindows = 0;
int gLiveGLContexts = 0;

// Windows virtual-key codes, so that key handlers see the same codes on both systems.
enum : int32_t
{
  kVKBack = 8,
  kVKTab = 9,
  kVKClear = 12,
  kVKReturn = 13,
  kVKShift = 16,
  kVKControl = 17,
  kVKMenu = 18,
  kVKPause = 19,
  kVKEscape = 27,
  kVKSpace = 32,
  kVKPrior = 33,
  kVKNext = 34,
  kVKEnd = 35,
  kVKHome = 36,
  kVKLeft = 37,
  kVKUp = 38,
  kVKRight = 39,
  kVKDown = 40,
  kVKInsert = 45,
  kVKDelete = 46,
  kVKHelp = 47,
  kVKNumpad0 = 96,
  kVKMultiply = 106,
  kVKAdd = 107,
  kVKSeparator = 108,
  kVKSubtract = 109,
  kVKDecimal = 110,
  kVKDivide = 111,
  kVKF1 = 112,
  kVKNumLock = 144,
  kVKScroll = 145
};

int32_t VirtualKeyOf(KeySym sym)
{
  if (sym >= XK_a && sym <= XK_z)
    return static_cast<int32_t>('A' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z)
    return static_cast<int32_t>('A' + (sym - XK_A));
  if (sym >= XK_0 && sym <= XK_9)
    return static_cast<int32_t>('0' + (sym - XK_0));
  if (sym >= XK_KP_0 && sym <= XK_KP_9)
    return kVKNumpad0 + static_cast<int32_t>(sym - XK_KP_0);
  if (sym >= XK_F1 && sym <= XK_F12)
    return kVKF1 + static_cast<int32_t>(sym - XK_F1);
  switch (sym)
  {
  case XK_BackSpace: return kVKBack;
  case XK_Tab: case XK_ISO_Left_Tab: return kVKTab;
  case XK_Clear: return kVKClear;
  case XK_Return: case XK_KP_Enter: return kVKReturn;
  case XK_Shift_L: case XK_Shift_R: return kVKShift;
  case XK_Control_L: case XK_Control_R: return kVKControl;
  case XK_Alt_L: case XK_Alt_R: return kVKMenu;
  case XK_Pause: return kVKPause;
  case XK_Escape: return kVKEscape;
  case XK_space: return kVKSpace;
  case XK_Page_Up: case XK_KP_Page_Up: return kVKPrior;
  case XK_Page_Down: case XK_KP_Page_Down: return kVKNext;
  case XK_End: case XK_KP_End: return kVKEnd;
  case XK_Home: case XK_KP_Home: return kVKHome;
  case XK_Left: case XK_KP_Left: return kVKLeft;
  case XK_Up: case XK_KP_Up: return kVKUp;
  case XK_Right: case XK_KP_Right: return kVKRight;
  case XK_Down: case XK_KP_Down: return kVKDown;
  case XK_Insert: case XK_KP_Insert: return kVKInsert;
  case XK_Delete: case XK_KP_Delete: return kVKDelete;
  case XK_Help: return kVKHelp;
  case XK_KP_Multiply: return kVKMultiply;
  case XK_KP_Add: return kVKAdd;
  case XK_KP_Separator: return kVKSeparator;
  case XK_KP_Subtract: return kVKSubtract;
  case XK_KP_Decimal: return kVKDecimal;
  case XK_KP_Divide: return kVKDivide;
  case XK_Num_Lock: return kVKNumLock;
  case XK_Scroll_Lock: return kVKScroll;
  default: return 0;
  }
}

/** Latin-1 bytes from XLookupString as UTF-8 (at most one character is kept). */
void Latin1ToUtf8(const char* in, int length, char (&out)[5])
{
  std::memset(out, 0, sizeof(out));
  if (length != 1)
    return;
  const auto c = static_cast<unsigned char>(in[0]);
  if (c < 0x20 || c == 0x7F)
    return; // control characters carry no text
  if (c < 0x80)
    out[0] = static_cast<char>(c);
  else
  {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
  }
}

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

// X reports protocol errors through a process-wide handler whose default ends
// the process. While the window is being made (a stale parent id is the
// likely fault) errors are caught here instead and the opening fails.
int gXErrorsCaught = 0;
int CatchXError(Display*, XErrorEvent*)
{
  ++gXErrorsCaught;
  return 0;
}

class XErrorTrap
{
public:
  explicit XErrorTrap(Display* display) : mDisplay(display)
  {
    XSync(mDisplay, False);
    gXErrorsCaught = 0;
    mPrevious = XSetErrorHandler(CatchXError);
  }
  ~XErrorTrap() { Release(); }
  /** Restores the previous handler (before the connection closes). */
  void Release()
  {
    if (!mPrevious)
      return;
    XSync(mDisplay, False);
    XSetErrorHandler(mPrevious);
    mPrevious = nullptr;
  }
  /** Whether any request since construction failed (the trap stays set). */
  bool Failed()
  {
    XSync(mDisplay, False);
    return gXErrorsCaught != 0;
  }

private:
  Display* mDisplay;
  int (*mPrevious)(Display*, XErrorEvent*) = nullptr;
};

double NowMs()
{
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

IArea DeviceArea(int x, int y, int w, int h) { return {float(x), float(y), float(x + w), float(y + h)}; }

} // namespace

int IGfxLinux::OpenWindowCount() { return gOpenWindows; }
int IGfxLinux::LiveGLContextCount() { return gLiveGLContexts; }

int IGfxLinux::TimerPeriodMs(int fps)
{
  return std::max(10, 1000 / std::max(1, fps));
}

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

  const int w = std::max(1, static_cast<int>(static_cast<int>(GetWidth() * GetDrawScale()) * DisplayScale()));
  const int h = std::max(1, static_cast<int>(static_cast<int>(GetHeight() * GetDrawScale()) * DisplayScale()));
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
    MakeContextCurrent();
    if (gladLoadGL(reinterpret_cast<GLADloadfunc>(glXGetProcAddressARB)))
      OnContextCreated(mX->context);
    RestorePreviousContext();
  }

  MakeContextCurrent();
  BuildLayout();
  RestorePreviousContext();
  MarkAllDirty();

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

  if (mX->context)
  {
    MakeContextCurrent();
    ClearControls();
    OnContextDestroyed();
    RestorePreviousContext();
    if (glXGetCurrentContext() == mX->context)
      glXMakeContextCurrent(display, None, None, nullptr);
    glXDestroyContext(display, mX->context);
    mX->context = nullptr;
    --gLiveGLContexts;
  }
  else
    ClearControls();

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

void IGfxLinux::MakeContextCurrent()
{
  if (!mX->context)
    return;
  mX->savedDisplay = glXGetCurrentDisplay();
  mX->savedDraw = glXGetCurrentDrawable();
  mX->savedRead = glXGetCurrentReadDrawable();
  mX->savedContext = glXGetCurrentContext();
  glXMakeContextCurrent(mX->display, mWindow, mWindow, mX->context);
}

void IGfxLinux::RestorePreviousContext()
{
  if (!mX->context)
    return;
  if (mX->savedContext && mX->savedDisplay)
    glXMakeContextCurrent(mX->savedDisplay, mX->savedDraw, mX->savedRead, mX->savedContext);
  else
    glXMakeContextCurrent(mX->display, None, None, nullptr);
  mX->savedDisplay = nullptr;
  mX->savedContext = nullptr;
  mX->savedDraw = 0;
  mX->savedRead = 0;
}

void IGfxLinux::OnBackingResized()
{
  if (!mX->context)
    return;
  MakeContextCurrent();
  IGfxNanoVG::OnBackingResized();
  RestorePreviousContext();
}

void IGfxLinux::ResizeHostWindow(bool /*parentResized*/)
{
  // The host resizes its own window (the view asks it through IPlugFrame);
  // only the editor's child window follows here.
  if (!mWindow)
    return;
  const int w = static_cast<int>(static_cast<int>(GetWidth() * GetDrawScale()) * DisplayScale());
  const int h = static_cast<int>(static_cast<int>(GetHeight() * GetDrawScale()) * DisplayScale());
  XResizeWindow(mX->display, mWindow, static_cast<unsigned>(std::max(1, w)), static_cast<unsigned>(std::max(1, h)));
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
  MakeContextCurrent();
  RenderAreas(areas);
  glXSwapBuffers(mX->display, mWindow);
  RestorePreviousContext();
  ++mCounters.framesDrawn;
}

IMouseState IGfxLinux::MouseState(int x, int y, unsigned state)
{
  const float s = TotalScale();
  IMouseState p;
  p.x = static_cast<float>(x) / s;
  p.y = static_cast<float>(y) / s;
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
    if (mX->buttonsDown && (e.state & (Button1Mask | Button3Mask)))
    {
      const float lastX = mCursorX;
      const float lastY = mCursorY;
      IMouseState p = MouseState(e.x, e.y, e.state);
      p.dX = p.x - lastX;
      p.dY = p.y - lastY;
      mCursorX = p.x;
      mCursorY = p.y;
      if (p.dX != 0.f || p.dY != 0.f)
      {
        DispatchMouseDrag({p});
        if (IsCursorLocked())
        {
          const float savedX = mSavedCursorX;
          const float savedY = mSavedCursorY;
          WarpCursor(savedX, savedY);
          mSavedCursorX = savedX;
          mSavedCursorY = savedY;
        }
      }
      break;
    }
    const IMouseState p = MouseState(e.x, e.y, e.state);
    mCursorX = p.x;
    mCursorY = p.y;
    DispatchMouseOver(p.x, p.y, p.ms);
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
    IKeyEvent key;
    key.vk = VirtualKeyOf(sym);
    Latin1ToUtf8(text, length, key.utf8);
    key.shift = (e.state & ShiftMask) != 0;
    key.control = (e.state & ControlMask) != 0;
    key.alt = (e.state & Mod1Mask) != 0;
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
    const float s = TotalScale();
    x = static_cast<float>(winX) / s;
    y = static_cast<float>(winY) / s;
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
  if (IsCursorHidden() == hide)
    return;
  if (hide)
  {
    mSavedCursorX = mCursorX;
    mSavedCursorY = mCursorY;
    SetCursorHiddenState(true, lock && !mLastInputWasTouch);
  }
  else
  {
    if (IsCursorLocked())
      WarpCursor(mSavedCursorX, mSavedCursorY);
    SetCursorHiddenState(false, false);
  }
  DefineCursor();
}

void IGfxLinux::WarpCursor(float x, float y)
{
  if (!mWindow || mLastInputWasTouch)
    return;
  const float s = TotalScale();
  const int px = static_cast<int>(std::lround(x * s));
  const int py = static_cast<int>(std::lround(y * s));
  XWarpPointer(mX->display, None, mWindow, 0, 0, 0, 0, px, py);
  XFlush(mX->display);
  mCursorX = static_cast<float>(px) / s;
  mCursorY = static_cast<float>(py) / s;
  mSavedCursorX = mCursorX;
  mSavedCursorY = mCursorY;
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
