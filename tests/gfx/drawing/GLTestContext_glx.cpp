#include "GLTestContext.h"

#include <glad/gl.h>

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace gfxtest {
namespace {

class GlxContext : public GLTestContext
{
public:
  GlxContext(int width, int height) : GLTestContext(width, height) {}

  ~GlxContext() override
  {
    if (!mDisplay)
      return;
    glXMakeContextCurrent(mDisplay, None, None, nullptr);
    if (mContext)
      glXDestroyContext(mDisplay, mContext);
    if (mPbuffer)
      glXDestroyPbuffer(mDisplay, mPbuffer);
    XCloseDisplay(mDisplay);
  }

  bool Open(std::string& error)
  {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
    {
      error = "DISPLAY is not set: GL tests need an X display (scripts/test.sh starts Xvfb)";
      return false;
    }
    mDisplay = XOpenDisplay(name);
    if (!mDisplay)
    {
      error = std::string("cannot open the X display ") + name;
      return false;
    }
    const int attributes[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                              GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                              GLX_STENCIL_SIZE, 8, None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(mDisplay, DefaultScreen(mDisplay), attributes, &count);
    if (!configs || count == 0)
    {
      error = "no GLX framebuffer configuration with RGBA8 and a stencil buffer";
      return false;
    }
    const GLXFBConfig config = configs[0];
    XFree(configs);
    const int size[] = {GLX_PBUFFER_WIDTH, Width(), GLX_PBUFFER_HEIGHT, Height(), None};
    mPbuffer = glXCreatePbuffer(mDisplay, config, size);
    mContext = glXCreateNewContext(mDisplay, config, GLX_RGBA_TYPE, nullptr, True);
    if (!mPbuffer || !mContext || !MakeCurrent())
    {
      error = "cannot create or activate a GLX context";
      return false;
    }
    if (!gladLoadGL(reinterpret_cast<GLADloadfunc>(glXGetProcAddressARB)) || !GLAD_GL_VERSION_2_1 ||
        !GLAD_GL_ARB_framebuffer_object)
    {
      error = "the GLX context lacks OpenGL 2.1 or GL_ARB_framebuffer_object";
      return false;
    }
    return true;
  }

  bool MakeCurrent() override { return glXMakeContextCurrent(mDisplay, mPbuffer, mPbuffer, mContext); }

private:
  Display* mDisplay = nullptr;
  GLXPbuffer mPbuffer = 0;
  GLXContext mContext = nullptr;
};

} // namespace

std::unique_ptr<GLTestContext> GLTestContext::Open(int width, int height, std::string& error)
{
#if defined(__SANITIZE_ADDRESS__)
  // Mesa keeps a few blocks for the life of the process once it has compiled
  // its first shaders, unreachable to the leak checker and without a usable
  // stack: a first NanoVG draw is made here, where the checker looks away.
  __lsan::ScopedDisabler driverAllocations;
#endif
  auto context = std::make_unique<GlxContext>(width, height);
  if (!context->Open(error))
    return nullptr;
  WarmUpDriver();
  return context;
}

} // namespace gfxtest
