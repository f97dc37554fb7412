#include "gfx/platforms/X11Visibility.h"

namespace gfx {

namespace {

int IgnoreXError(Display*, XErrorEvent*)
{
  return 0;
}

} // namespace

bool IsWindowViewable(Display* display, Window window)
{
  // The reply carries any error of this request, so no sync is needed around it.
  const auto previous = XSetErrorHandler(IgnoreXError);
  XWindowAttributes attributes = {};
  const Status ok = XGetWindowAttributes(display, window, &attributes);
  XSetErrorHandler(previous);
  return ok != 0 && attributes.map_state == IsViewable;
}

} // namespace gfx
