#pragma once

// The X and GLX handles of IGfxLinux, shared by its window, input and
// service files and kept out of its header.

#include "gfx/platforms/IGfxLinux.h"
#include "gfx/PixelBuffer.h"
#include "gfx/platforms/X11ErrorTrap.h"

#include <glad/gl.h>

#include <GL/glx.h>
#include <X11/Xlib.h>

// X.h names a query class CursorShape, which hides IGfx::CursorShape.
#undef CursorShape

#include <map>
#include <memory>
#include <vector>

namespace gfx {
struct IGfxLinux::XState
{
  Display* display = nullptr;
  Window parent = 0;
  std::unique_ptr<XErrorTrap> errors; // for the whole life of the connection
  Colormap colormap = 0;
  Visual* visual = nullptr;
  int depth = 0;
  bool windowGone = false; // destroyed by the host with its own window
  int errorsChecked = 0;   // errors seen when the window was last confirmed to exist
  Window standIn = 0;      // the context's drawable once the window is gone
  GLXContext context = nullptr;
  struct SavedContext
  {
    Display* display;
    GLXDrawable draw;
    GLXDrawable read;
    GLXContext context;
  };
  std::vector<SavedContext> savedContexts; // what was current before each MakeContextCurrent, innermost last
  std::map<int, Cursor> cursors;
  Cursor blankCursor = 0;
  unsigned buttonsDown = 0;
  bool bufferAge = false; // the GLX drawable reports the age of its back buffer
  // Frames put into the window as pixels (on a software renderer): the image
  // of the window's size, read from the panel framebuffer, and parts of it put.
  GC gc = 0;
  XImage image = {};
  PixelBuffer pixels;
  bool exposed = false;   // an Expose since the last frame: the window needs the whole frame
};

} // namespace gfx
