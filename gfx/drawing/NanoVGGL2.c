/* NanoVG's OpenGL 2 renderer and its framebuffer helpers, compiled once, with
   the GL entry points coming from the glad loader. NanoVG only enables the
   GL 2 framebuffer helpers on Apple; GL_ARB_framebuffer_object (loaded by
   glad) gives us the same calls everywhere. */
#include <glad/gl.h>
#include "nanovg.h"
#define NANOVG_GL2 1
#define NANOVG_GL_IMPLEMENTATION 1
#define NANOVG_FBO_VALID 1
#include "nanovg_gl.h"
#include "nanovg_gl_utils.h"
