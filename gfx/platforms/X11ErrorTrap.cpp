#include "gfx/platforms/X11ErrorTrap.h"

namespace gfx {

namespace {

int gXErrorsCaught = 0;

int CatchXError(Display*, XErrorEvent*)
{
  ++gXErrorsCaught;
  return 0;
}

} // namespace

XErrorTrap::XErrorTrap(Display* display) : mDisplay(display)
{
  XSync(mDisplay, False);
  gXErrorsCaught = 0;
  mPrevious = XSetErrorHandler(CatchXError);
}

void XErrorTrap::Release()
{
  if (!mPrevious)
    return;
  XSync(mDisplay, False);
  XSetErrorHandler(mPrevious);
  mPrevious = nullptr;
}

bool XErrorTrap::Failed()
{
  XSync(mDisplay, False);
  return gXErrorsCaught != 0;
}

} // namespace gfx
