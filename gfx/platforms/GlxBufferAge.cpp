#include "gfx/platforms/GlxBufferAge.h"

#include <GL/glx.h>

#include <cstring>

namespace gfx {

bool HasBufferAge(Display* display)
{
  const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
  return extensions && std::strstr(extensions, "GLX_EXT_buffer_age") != nullptr;
}

int BackBufferAge(Display* display, XID drawable)
{
  unsigned age = 0;
  glXQueryDrawable(display, drawable, GLX_BACK_BUFFER_AGE_EXT, &age);
  return static_cast<int>(age);
}

} // namespace gfx
