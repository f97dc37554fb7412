#pragma once

// What a GLX window's back buffer still holds after its swaps
// (GLX_EXT_buffer_age), so a frame can copy only what changed since.

#include <X11/Xlib.h>

namespace gfx {

/** Whether the display's GLX reports buffer ages. */
bool HasBufferAge(Display* display);
/** The frame the back buffer holds, counted in swaps back (1: the last one); 0 when unknown. The context is current. */
int BackBufferAge(Display* display, XID drawable);

} // namespace gfx
