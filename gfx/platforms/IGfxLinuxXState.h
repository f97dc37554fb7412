#pragma once

// The X and GLX handles of IGfxLinux, shared by its window, input and
// service files and kept out of its header.

#include "gfx/platforms/IGfxLinux.h"

#include <glad/gl.h>

#include <GL/glx.h>
#include <X11/Xlib.h>

// X.h names a query class CursorShape, which hides IGfx::CursorShape.
#undef CursorShape

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

} // namespace gfx
