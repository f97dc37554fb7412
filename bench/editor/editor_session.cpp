#include "editor_session.h"

#include "swap_counter.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

using namespace Steinberg;

namespace editorbench {

double ProcessCpuMs()
{
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double NowMs()
{
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

long ResidentKiB()
{
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0)
      return std::stol(line.substr(6));
  return -1;
}

EditorSession::EditorSession()
{
  mDisplay = XOpenDisplay(nullptr);
  if (!mDisplay)
    throw std::runtime_error("cannot open the X display (set DISPLAY to an Xvfb)");
  mWindow = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 64, 64, 0, 0, 0);
  XMapWindow(mDisplay, mWindow);
  XSync(mDisplay, False);
  mFrame.onResize = [this](int width, int height) { ResizeWindow(width, height); };
}

EditorSession::~EditorSession()
{
  Close();
  XDestroyWindow(mDisplay, mWindow);
  XCloseDisplay(mDisplay);
}

void EditorSession::ResizeWindow(int width, int height)
{
  XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(std::max(1, width)),
                static_cast<unsigned>(std::max(1, height)));
  XSync(mDisplay, False);
}

OpeningTimes EditorSession::Open(Vst::IEditController& controller, float contentScale)
{
  Close();
  mView = owned(controller.createView(Vst::ViewType::kEditor));
  if (!mView || mView->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue)
    throw std::runtime_error("the plug-in has no X11 editor");
  if (contentScale != 1.f)
  {
    FUnknownPtr<IPlugViewContentScaleSupport> scaling(mView);
    if (!scaling || scaling->setContentScaleFactor(contentScale) != kResultTrue)
      std::fprintf(stderr, "korvel-editor-bench: the view answered the content scale with a refusal\n");
  }
  mView->setFrame(&mFrame);
  ViewRect size;
  if (mView->getSize(&size) == kResultOk)
    ResizeWindow(size.getWidth(), size.getHeight());

  const long swapsBefore = SwapCount();
  OpeningTimes times;
  const double cpuStart = ProcessCpuMs();
  const double start = NowMs();
  const tresult attached =
    mView->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow)), kPlatformTypeX11EmbedWindowID);
  times.attachedMs = NowMs() - start;
  if (attached != kResultOk)
  {
    mView = nullptr;
    throw std::runtime_error("attached() failed");
  }
  const bool shown = mFrame.RunUntil([swapsBefore] { return SwapCount() > swapsBefore; },
                                     HostFrame::Clock::now() + std::chrono::seconds(30));
  times.cpuMs = ProcessCpuMs() - cpuStart;
  if (!shown)
    throw std::runtime_error("the editor presented no frame within 30 s");
  times.onScreenMs =
    std::chrono::duration<double, std::milli>(LastSwapTime().time_since_epoch()).count() - start;
  // A view may have asked for another size while opening.
  if (mView->getSize(&size) == kResultOk)
    ResizeWindow(size.getWidth(), size.getHeight());
  times.width = size.getWidth();
  times.height = size.getHeight();
  return times;
}

void EditorSession::Close()
{
  if (!mView)
    return;
  mView->removed();
  mView->setFrame(nullptr);
  mView = nullptr;
  XSync(mDisplay, False);
}

} // namespace editorbench
