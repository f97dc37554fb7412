#pragma once

// Whether an X window can be seen: mapped, and every ancestor mapped too. A
// window whose ancestor is unmapped gets no event of its own, so this asks
// the server (two round trips).

#include <X11/Xlib.h>

namespace gfx {

/** False as well when the window is gone: the error is swallowed, not fatal. */
bool IsWindowViewable(Display* display, Window window);

} // namespace gfx
