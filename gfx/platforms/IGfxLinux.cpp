#include "gfx/platforms/IGfxLinuxXState.h"

#include "gfx/ScopedContext.h"
#include "gfx/platforms/GlxBufferAge.h"
#include "gfx/platforms/X11Visibility.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/Trace.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <utility>

namespace gfx {

namespace {

int gOpenWindows = 0;
int gLiveGLContexts = 0;

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

  // A parked editor still has its connection, GL context and images.
  const bool parked = mX->context != nullptr;
  GLXFBConfig config = nullptr;
  if (!parked && !Connect(parentId, config))
    return nullptr;
  if (!CreateChildWindow(parentId))
  {
    if (parked)
    {
      // The kept visual may not suit this parent (another screen): start afresh.
      CloseEditorWindow();
      return OpenEditorWindow(parent);
    }
    XFreeColormap(mX->display, mX->colormap);
    mX->colormap = 0;
    CloseDisplay();
    return nullptr;
  }
  ++gOpenWindows;
  mCounters = {};

  Display* display = mX->display;
  if (parked)
    ReopenParkedContents();
  else
  {
    mX->bufferAge = HasBufferAge(display);
    mX->context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
    if (mX->context)
    {
      ++gLiveGLContexts;
      SetUpContext(mX->context, [] { return gladLoadGL(reinterpret_cast<GLADloadfunc>(glXGetProcAddressARB)) != 0; });
    }
    LayoutOpenedWindow();
  }

  mRunLoop = runLoop;
  mTimerId = mRunLoop->AddTimer(TimerPeriodMs(FrameRate()), [this] { OnFrameTick(); });
  mReaderId = mRunLoop->AddFdReader(ConnectionNumber(display), [this] { OnXEvents(); });
  XFlush(display);

  NotifyEditorOpened();
  if (parked)
  {
    // What changed while parked (the values just delivered) is drawn with
    // the first copy of the kept frame, never after it.
    IAreaList changed;
    if (TickFrame(NowMs(), changed))
      mPendingAreas.insert(mPendingAreas.end(), changed.begin(), changed.end());
  }
  // The map was synchronous: when the server has already exposed the window,
  // the first frame is shown now rather than a frame period later.
  OnXEvents();
  return WindowHandle();
}

void IGfxLinux::ReopenParkedContents()
{
  ForgetWindowContents();
  if (!FramebufferHoldsWholeFrame())
    MarkAllDirty(); // resized while parked (a new framebuffer): everything is drawn
}

bool IGfxLinux::Connect(unsigned long parentId, GLXFBConfig& config)
{
  Display* display = XOpenDisplay(nullptr);
  if (!display)
    return false;
  mX->display = display;
  mX->errors = std::make_unique<XErrorTrap>(display);

  // Frames are drawn in the panel framebuffer, which has its own stencil, and
  // only copied to the window: the window needs no depth or stencil buffer of
  // its own (every new window would allocate and clear one of its size).
  const int attributes[] = {GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                            GLX_X_RENDERABLE, True, GLX_DOUBLEBUFFER, True,
                            GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                            GLX_DEPTH_SIZE, 0, GLX_STENCIL_SIZE, 0, None};
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
  XVisualInfo* visual = configs && count > 0 ? glXGetVisualFromFBConfig(display, configs[0]) : nullptr;
  if (configs)
  {
    config = count > 0 ? configs[0] : nullptr;
    XFree(configs);
  }
  if (!visual)
  {
    CloseDisplay();
    return false;
  }
  mX->visual = visual->visual;
  mX->depth = visual->depth;
  mX->colormap = XCreateColormap(display, parentId, visual->visual, AllocNone);
  XFree(visual);
  return true;
}

bool IGfxLinux::CreateChildWindow(unsigned long parentId)
{
  Display* display = mX->display;
  mX->parent = parentId;
  const int errorsBefore = mX->errors->Errors();
  XSetWindowAttributes set = {};
  set.colormap = mX->colormap;
  set.border_pixel = 0;
  set.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                   KeyReleaseMask | EnterWindowMask | LeaveWindowMask | StructureNotifyMask;
  mWindow = XCreateWindow(display, parentId, 0, 0, static_cast<unsigned>(std::max(1, DeviceWidth())),
                          static_cast<unsigned>(std::max(1, DeviceHeight())), 0, mX->depth, InputOutput, mX->visual,
                          CWColormap | CWBorderPixel | CWEventMask, &set);
  // Hosts that embed through XEMBED read this as soon as they see the window
  // created (the SDK's editor host gives up on a window without it): protocol
  // version 0, asking to be mapped. The window maps itself for hosts that don't.
  const Atom xembedInfo = XInternAtom(display, "_XEMBED_INFO", False);
  const long info[2] = {0, 1};
  XChangeProperty(display, mWindow, xembedInfo, xembedInfo, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(info), 2);
  XMapWindow(display, mWindow);
  XSync(display, False); // a refusal arrives as an error
  if (mX->errors->Errors() == errorsBefore)
  {
    mX->windowGone = false;
    mX->errorsChecked = mX->errors->Errors();
    return true;
  }
  PLUG_TRACE("IGfxLinux::CreateChildWindow: X refused the window (bad parent?)");
  // The cleanup of what was never made fails quietly too: the connection is still trapped.
  if (mWindow)
    XDestroyWindow(display, mWindow);
  XSync(display, False);
  mX->errorsChecked = mX->errors->Errors();
  mWindow = 0;
  return false;
}

bool IGfxLinux::ParkEditorWindow()
{
  if (!mWindow || !mX->context || !WindowAlive() || !WindowExists())
    return false;
  PLUG_TRACE("IGfxLinux::ParkEditorWindow");
  StopRunLoopCallbacks();
  EndInteractionsForParking();
  mX->buttonsDown = 0;
  mPendingAreas.clear();
  XDestroyWindow(mX->display, mWindow);
  XFlush(mX->display);
  mWindow = 0;
  --gOpenWindows;
  return true;
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
  if (!mWindow && !mX->display)
    return;
  PLUG_TRACE("IGfxLinux::CloseEditorWindow");
  StopRunLoopCallbacks();
  Display* display = mX->display;
  const bool hadWindow = mWindow != 0;
  // The host may have destroyed its window, and ours with it, before removing the view.
  if (hadWindow && !mX->windowGone && !WindowExists())
    mX->windowGone = true;

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

  if (hadWindow && !mX->windowGone)
    XDestroyWindow(display, mWindow);
  if (mX->standIn)
    XDestroyWindow(display, mX->standIn);
  mX->pixels = {};
  if (mX->gc)
    XFreeGC(display, mX->gc);
  mX->gc = 0;
  XFreeColormap(display, mX->colormap);
  mX->colormap = 0;
  mX->standIn = 0;
  mX->windowGone = false;
  mX->errorsChecked = 0;
  mWindow = 0;
  CloseDisplay();
  if (hadWindow)
    --gOpenWindows;
}

void IGfxLinux::CloseDisplay()
{
  mX->errors.reset(); // after the server has answered: errors of the last requests are caught too
  XCloseDisplay(mX->display);
  mX->display = nullptr;
}

bool IGfxLinux::WindowExists()
{
  XWindowAttributes attributes;
  const bool exists = XGetWindowAttributes(mX->display, mWindow, &attributes) != 0;
  mX->errorsChecked = mX->errors->Errors();
  return exists;
}

bool IGfxLinux::WindowAlive()
{
  // DestroyNotify tells first as a rule; an error on this connection (a
  // request that reached the server after the host destroyed its window)
  // is the other sign, confirmed by asking the server.
  if (!mX->windowGone && mX->errors->ErrorsSeen() != mX->errorsChecked && !WindowExists())
    mX->windowGone = true;
  return !mX->windowGone;
}

Window IGfxLinux::GLDrawable()
{
  if (mWindow && !mX->windowGone)
    return mWindow;
  // Releasing the GL objects, or a parked editor's work between openings,
  // needs the context current on some window of its visual: an unmapped one
  // that is never drawn.
  if (!mX->standIn)
  {
    XSetWindowAttributes set = {};
    set.colormap = mX->colormap;
    set.border_pixel = 0;
    mX->standIn = XCreateWindow(mX->display, DefaultRootWindow(mX->display), 0, 0, 1, 1, 0, mX->depth, InputOutput,
                                mX->visual, CWColormap | CWBorderPixel, &set);
  }
  return mX->standIn;
}

bool IGfxLinux::IsWindowShowing()
{
  return mWindow && !mX->windowGone && IsWindowViewable(mX->display, mWindow);
}

int IGfxLinux::WindowBufferAge()
{
  if (PresentsPixels())
    return 1; // the window keeps what was put into it
  return mWindow && !mX->windowGone && mX->bufferAge ? BackBufferAge(mX->display, mWindow) : 0;
}

bool IGfxLinux::MakeContextCurrent()
{
  mX->savedContexts.push_back(
    {glXGetCurrentDisplay(), glXGetCurrentDrawable(), glXGetCurrentReadDrawable(), glXGetCurrentContext()});
  if (!mX->context)
    return false;
  const Window drawable = GLDrawable();
  if (glXGetCurrentContext() == mX->context && glXGetCurrentDrawable() == drawable)
    return true;
  return glXMakeContextCurrent(mX->display, drawable, drawable, mX->context);
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
  if (!mWindow || mX->windowGone)
    return;
  XResizeWindow(mX->display, mWindow, static_cast<unsigned>(std::max(1, DeviceWidth())),
                static_cast<unsigned>(std::max(1, DeviceHeight())));
  XFlush(mX->display);
}

bool IGfxLinux::CanPutPixelsInWindow()
{
  const Visual* visual = mX->visual;
  if (!visual || visual->c_class != TrueColor || visual->red_mask != 0xff0000 || visual->green_mask != 0xff00 ||
      visual->blue_mask != 0xff)
    return false;
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(mX->display, &count);
  bool fourBytes = false;
  for (int i = 0; i < count; ++i)
    fourBytes = fourBytes || (formats[i].depth == mX->depth && formats[i].bits_per_pixel == 32);
  XFree(formats);
  return fourBytes && ImageByteOrder(mX->display) == LSBFirst;
}

uint8_t* IGfxLinux::WindowImage(int& rowBytes, bool& topFirst)
{
  if (!mWindow || mX->windowGone)
    return nullptr;
  const int width = std::max(1, DeviceWidth()), height = std::max(1, DeviceHeight());
  topFirst = true;
  mX->pixels.resize(static_cast<size_t>(width) * height * 4);
  XImage& image = mX->image;
  image = {};
  image.width = width;
  image.height = height;
  image.format = ZPixmap;
  image.data = reinterpret_cast<char*>(mX->pixels.data());
  image.byte_order = LSBFirst;
  image.bitmap_unit = 32;
  image.bitmap_bit_order = LSBFirst;
  image.bitmap_pad = 32;
  image.depth = mX->depth;
  image.bytes_per_line = width * 4;
  image.bits_per_pixel = 32;
  image.red_mask = 0xff0000;
  image.green_mask = 0xff00;
  image.blue_mask = 0xff;
  if (!XInitImage(&image))
    return nullptr;
  rowBytes = image.bytes_per_line;
  return mX->pixels.data();
}

void IGfxLinux::PutWindowImage(int left, int top, int width, int height)
{
  Display* display = mX->display;
  if (!mX->gc)
    mX->gc = XCreateGC(display, mWindow, 0, nullptr);
  XPutImage(display, mWindow, mX->gc, &mX->image, left, top, left, top, static_cast<unsigned>(width),
            static_cast<unsigned>(height));
}

// --- Frame clock and events -------------------------------------------------------------------

void IGfxLinux::OnFrameTick()
{
  if (!mWindow)
    return;
  ++mCounters.framesServed;
  // The plug-in's work of this frame may close this editor: a host can
  // remove the view from a call that work makes.
  if (!RunDelegateFrameWork() || !mWindow)
    return;
  // Events that arrived since the reader last ran (the host may serve timers
  // first), drawn with this frame's changes in one frame.
  HandleXEvents();
  if (!mWindow)
    return;
  IAreaList areas;
  if (TickFrame(NowMs(), areas))
    mPendingAreas.insert(mPendingAreas.end(), areas.begin(), areas.end());
  DrawPending();
}

void IGfxLinux::DrawPending()
{
  if (mPendingAreas.empty() && !mX->exposed)
    return;
  IAreaList areas;
  areas.swap(mPendingAreas);
  const bool exposed = std::exchange(mX->exposed, false);
  if (!mX->context || !WindowAlive())
    return;
  {
    ScopedContext current(*this);
    // An exposed window shows the framebuffer's frame; only a framebuffer
    // not yet drawn whole is drawn first.
    if (exposed && FramebufferHoldsWholeFrame())
      ForgetWindowContents();
    else if (exposed)
      areas.push_back(WholeEditor());
    if (areas.empty())
      CopyWholeFrameToWindow();
    else
      RenderAreas(areas);
    if (PresentsPixels())
      XFlush(mX->display);
    else
      glXSwapBuffers(mX->display, mWindow);
  }
  ++mCounters.framesDrawn;
}

} // namespace gfx
