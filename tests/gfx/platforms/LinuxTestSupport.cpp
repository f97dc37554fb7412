#include "LinuxTestSupport.h"

// Before Xlib, whose None and Bool macros it cannot take.
#include <gtest/gtest.h>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <algorithm>
#include <cstdlib>

namespace gfxtest {

namespace {

// Mesa loads its driver for each X connection that makes a GLX context and
// unloads it with the last one; what it keeps meanwhile then has no module
// the leak checker's suppressions could name. One context held for the whole
// run (never closed, so the driver is still there when the checker runs at
// exit) keeps those blocks attributed to the driver.
HostWindow* gGLKeeper = nullptr;
class KeepGLDriverLoaded : public testing::Environment
{
public:
  void SetUp() override
  {
    if (!gGLKeeper)
    {
      gGLKeeper = new HostWindow(0, 0, 1, 1);
      gGLKeeper->LoadGL();
    }
  }
};
testing::Environment* const gKeepGL = testing::AddGlobalTestEnvironment(new KeepGLDriverLoaded);

} // namespace

// --- TestRunLoop ----------------------------------------------------------------------------

int TestRunLoop::AddTimer(int intervalMs, Callback func)
{
  mEntries.push_back({mNextId, -1, intervalMs, Clock::now() + std::chrono::milliseconds(intervalMs), std::move(func)});
  return mNextId++;
}

int TestRunLoop::AddFdReader(int fd, Callback func)
{
  mEntries.push_back({mNextId, fd, 0, Clock::time_point{}, std::move(func)});
  return mNextId++;
}

void TestRunLoop::Remove(int id)
{
  mEntries.erase(std::remove_if(mEntries.begin(), mEntries.end(), [id](const Entry& e) { return e.id == id; }),
                 mEntries.end());
}

int TestRunLoop::TimerCount() const
{
  return static_cast<int>(std::count_if(mEntries.begin(), mEntries.end(), [](const Entry& e) { return e.fd < 0; }));
}

int TestRunLoop::ReaderCount() const
{
  return static_cast<int>(mEntries.size()) - TimerCount();
}

int TestRunLoop::FirstTimerInterval() const
{
  for (const Entry& e : mEntries)
    if (e.fd < 0)
      return e.intervalMs;
  return 0;
}

void TestRunLoop::ServeOnce(int maxWaitMs)
{
  const Clock::time_point now = Clock::now();
  int wait = maxWaitMs;
  std::vector<pollfd> fds;
  std::vector<int> readerIds;
  for (const Entry& e : mEntries)
  {
    if (e.fd >= 0)
    {
      fds.push_back({e.fd, POLLIN, 0});
      readerIds.push_back(e.id);
    }
    else
    {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(e.due - now).count();
      wait = std::max(0, std::min(wait, static_cast<int>(left)));
    }
  }
  poll(fds.data(), fds.size(), wait);

  // Callbacks may add or remove entries: look each one up again by id.
  auto call = [this](int id, bool timer) {
    auto it = std::find_if(mEntries.begin(), mEntries.end(), [id](const Entry& e) { return e.id == id; });
    if (it == mEntries.end())
      return;
    if (timer)
      it->due = Clock::now() + std::chrono::milliseconds(it->intervalMs);
    Callback func = it->func; // the entry may go away during the call
    func();
  };
  for (size_t i = 0; i < fds.size(); ++i)
    if (fds[i].revents & POLLIN)
      call(readerIds[i], false);
  std::vector<int> dueTimers;
  const Clock::time_point after = Clock::now();
  for (const Entry& e : mEntries)
    if (e.fd < 0 && e.due <= after)
      dueTimers.push_back(e.id);
  for (int id : dueTimers)
    call(id, true);
}

void TestRunLoop::RunFor(int ms)
{
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end)
  {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    ServeOnce(static_cast<int>(std::max<long long>(0, left)));
  }
}

bool TestRunLoop::RunUntil(const std::function<bool()>& done, int timeoutMs)
{
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done())
  {
    if (Clock::now() >= end)
      return done();
    ServeOnce(5);
  }
  return true;
}

// --- HostWindow -----------------------------------------------------------------------------

HostWindow::HostWindow(int x, int y, int width, int height) : mX(x), mY(y)
{
  mDisplay = XOpenDisplay(nullptr);
  if (!mDisplay)
    return;
  XSetWindowAttributes set = {};
  set.override_redirect = True;
  set.background_pixel = 0x101010;
  set.event_mask = StructureNotifyMask;
  mWindow = XCreateWindow(mDisplay, DefaultRootWindow(mDisplay), x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                          CWOverrideRedirect | CWBackPixel | CWEventMask, &set);
  XMapRaised(mDisplay, mWindow);
  XEvent event;
  do
    XNextEvent(mDisplay, &event);
  while (event.type != MapNotify);
}

HostWindow::~HostWindow()
{
  if (!mDisplay)
    return;
  if (mGLContext)
    glXDestroyContext(mDisplay, static_cast<GLXContext>(mGLContext));
  if (mWindow)
    XDestroyWindow(mDisplay, mWindow);
  XCloseDisplay(mDisplay);
}

void HostWindow::Destroy()
{
  XDestroyWindow(mDisplay, mWindow);
  XSync(mDisplay, False);
  mWindow = 0;
}

void HostWindow::MakeBadRequest()
{
  const Window gone = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 1, 1, 0, 0, 0);
  XDestroyWindow(mDisplay, gone);
  XMapWindow(mDisplay, gone);
  XSync(mDisplay, False);
}

int HostWindow::ConnectionFd() const
{
  return XConnectionNumber(mDisplay);
}

void HostWindow::ForwardKeysTo(Window child)
{
  mKeysTo = child;
  XSelectInput(mDisplay, mWindow, StructureNotifyMask | KeyPressMask | KeyReleaseMask);
  XSync(mDisplay, False);
}

int HostWindow::ServeKeys()
{
  int keys = 0;
  while (XPending(mDisplay) > 0)
  {
    XEvent event;
    XNextEvent(mDisplay, &event);
    if ((event.type != KeyPress && event.type != KeyRelease) || !mKeysTo)
      continue;
    ++keys;
    event.xkey.window = mKeysTo;
    XSendEvent(mDisplay, mKeysTo, False, event.type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
  }
  XFlush(mDisplay);
  return keys;
}

void HostWindow::SendKey(Window child, const char* keysym, unsigned modifiers, int x, int y)
{
  for (const int type : {KeyPress, KeyRelease})
  {
    XEvent event = {};
    XKeyEvent& key = event.xkey;
    key.type = type;
    key.display = mDisplay;
    key.window = child;
    key.root = DefaultRootWindow(mDisplay);
    key.time = CurrentTime;
    key.x = x;
    key.y = y;
    key.x_root = mX + x;
    key.y_root = mY + y;
    key.state = modifiers;
    key.keycode = XKeysymToKeycode(mDisplay, XStringToKeysym(keysym));
    key.same_screen = True;
    XSendEvent(mDisplay, child, False, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
  }
  XFlush(mDisplay);
}

bool HostWindow::ReadPixel(int x, int y, gfx::IRgba& colour)
{
  XSync(mDisplay, False);
  XImage* image = XGetImage(mDisplay, mWindow, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image)
    return false;
  const unsigned long pixel = XGetPixel(image, 0, 0);
  colour = {255, int((pixel >> 16) & 0xFF), int((pixel >> 8) & 0xFF), int(pixel & 0xFF)};
  XDestroyImage(image);
  return true;
}

std::vector<unsigned char> HostWindow::Capture(int x, int y, int width, int height)
{
  std::vector<unsigned char> rgb;
  XSync(mDisplay, False);
  XImage* image = XGetImage(mDisplay, mWindow, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (!image)
    return rgb;
  rgb.reserve(size_t(width) * size_t(height) * 3);
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
    {
      const unsigned long pixel = XGetPixel(image, column, row);
      rgb.push_back(static_cast<unsigned char>((pixel >> 16) & 0xFF));
      rgb.push_back(static_cast<unsigned char>((pixel >> 8) & 0xFF));
      rgb.push_back(static_cast<unsigned char>(pixel & 0xFF));
    }
  XDestroyImage(image);
  return rgb;
}

std::vector<Window> HostWindow::Children()
{
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<Window> out;
  XSync(mDisplay, False);
  if (XQueryTree(mDisplay, mWindow, &root, &parent, &children, &count))
  {
    out.assign(children, children + count);
    if (children)
      XFree(children);
  }
  return out;
}

void HostWindow::WindowSize(Window window, int& width, int& height)
{
  width = height = 0;
  for (Window child : Children())
  {
    if (child != window)
      continue;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(mDisplay, window, &attributes))
    {
      width = attributes.width;
      height = attributes.height;
    }
  }
}

void* CurrentGLContext() { return glXGetCurrentContext(); }

unsigned long CurrentGLDrawable() { return glXGetCurrentDrawable(); }

void HostWindow::LoadGL()
{
  const int attributes[] = {GLX_RENDER_TYPE, GLX_RGBA_BIT, None};
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(mDisplay, DefaultScreen(mDisplay), attributes, &count);
  if (!configs)
    return;
  if (count > 0)
    mGLContext = glXCreateNewContext(mDisplay, configs[0], GLX_RGBA_TYPE, nullptr, True);
  XFree(configs);
}

void HostWindow::Remap()
{
  XUnmapWindow(mDisplay, mWindow);
  XMapRaised(mDisplay, mWindow);
  XSync(mDisplay, False);
}

namespace {

int gXErrorsCounted = 0;

int CountXError(Display*, XErrorEvent*)
{
  ++gXErrorsCounted;
  return 0;
}

} // namespace

XErrorCounter::XErrorCounter()
{
  gXErrorsCounted = 0;
  mPrevious = reinterpret_cast<void*>(XSetErrorHandler(CountXError));
}

XErrorCounter::~XErrorCounter()
{
  XSetErrorHandler(reinterpret_cast<XErrorHandler>(mPrevious));
}

int XErrorCounter::Count() const
{
  return gXErrorsCounted;
}

bool XErrorCounter::Installed() const
{
  const XErrorHandler current = XSetErrorHandler(nullptr);
  XSetErrorHandler(current);
  return current == CountXError;
}

void HostWindow::Hide()
{
  XUnmapWindow(mDisplay, mWindow);
  XSync(mDisplay, False);
}

void HostWindow::Show()
{
  XMapRaised(mDisplay, mWindow);
  XSync(mDisplay, False);
}

bool Xdotool(const std::string& args)
{
  const std::string command = "xdotool " + args + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// --- Probe layout ---------------------------------------------------------------

ProbeControl::ProbeControl(std::vector<std::string>& log, const char* name, const gfx::IArea& area,
                           const gfx::IRgba& colour, int paramIdx)
  : RecordingControl(log, name, area, paramIdx), mColour(colour)
{
}

void ProbeControl::Paint(gfx::IGfx& g)
{
  ++mPaints;
  g.PaintRect(mColour, Area());
}

ProbeEditor::ProbeEditor(float drawScale)
{
  delegate.LayoutFunction = [this](plug::IEditor* editor) {
    auto& g = *static_cast<gfx::IGfx*>(editor);
    g.SetHoverEnabled(true);
    g.AddBackground(new ProbeControl(log, "BG", {0.f, 0.f, float(kLayoutWidth), float(kLayoutHeight)},
                                     kBackgroundColour));
    g.AddControl(new ProbeControl(log, "A", kAreaA, kColourA));
    g.AddControl(new ProbeControl(log, "B", kAreaB, kColourB, 0));
    g.AddControl(new ProbeControl(log, "C", kAreaC, kColourC, 1));
  };
  delegate.SetHostRunLoop(&runLoop);
  gfx = std::make_unique<gfx::IGfxLinux>(&delegate, kLayoutWidth, kLayoutHeight, 60, drawScale);
}

ProbeEditor::~ProbeEditor()
{
  gfx.reset();
  delegate.SetHostRunLoop(nullptr);
}

bool ProbeEditor::Open(HostWindow& host)
{
  if (!gfx->OpenEditorWindow(host.Parent()))
    return false;
  return runLoop.RunUntil([this] { return gfx->FrameCounters().framesDrawn > 0 && gfx->FrameCounters().exposes > 0; });
}

} // namespace gfxtest
