#include "gfx/platforms/X11ErrorTrap.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace gfx {

namespace {

using ErrorHandler = int (*)(Display*, XErrorEvent*);

struct TrappedConnection
{
  Display* display;
  int errors;
};

// Xlib calls the handler on whichever thread made the failing request: a
// host's own threads may report errors of their connections while the editor
// registers or removes its own.
std::mutex gMutex;
std::vector<TrappedConnection> gTrapped;
ErrorHandler gPrevious = nullptr;
bool gInstalled = false;

int HandleXError(Display* display, XErrorEvent* error)
{
  ErrorHandler previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = std::find_if(gTrapped.begin(), gTrapped.end(),
                           [display](const TrappedConnection& c) { return c.display == display; });
    if (it != gTrapped.end())
    {
      ++it->errors;
      return 0;
    }
    previous = gPrevious;
  }
  return previous ? previous(display, error) : 0;
}

} // namespace

XErrorTrap::XErrorTrap(Display* display) : mDisplay(display)
{
  std::lock_guard<std::mutex> lock(gMutex);
  gTrapped.push_back({display, 0});
  if (!gInstalled)
  {
    const ErrorHandler previous = XSetErrorHandler(HandleXError);
    if (previous != HandleXError)
      gPrevious = previous;
    gInstalled = true;
  }
}

XErrorTrap::~XErrorTrap()
{
  XSync(mDisplay, False);
  std::lock_guard<std::mutex> lock(gMutex);
  gTrapped.erase(std::remove_if(gTrapped.begin(), gTrapped.end(),
                                [this](const TrappedConnection& c) { return c.display == mDisplay; }),
                 gTrapped.end());
  if (!gTrapped.empty() || !gInstalled)
    return;
  // A handler installed after ours stays: it may hand errors on to ours, which still forwards them.
  const ErrorHandler current = XSetErrorHandler(gPrevious);
  if (current != HandleXError)
    XSetErrorHandler(current);
  gInstalled = false;
}

int XErrorTrap::Errors()
{
  XSync(mDisplay, False);
  return ErrorsSeen();
}

int XErrorTrap::ErrorsSeen() const
{
  std::lock_guard<std::mutex> lock(gMutex);
  for (const TrappedConnection& c : gTrapped)
    if (c.display == mDisplay)
      return c.errors;
  return 0;
}

} // namespace gfx
