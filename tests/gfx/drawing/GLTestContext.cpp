#include "GLTestContext.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include <algorithm>
#include <sstream>

namespace gfxtest {

std::string GLTestContext::Describe()
{
  auto text = [](GLenum name) {
    const GLubyte* s = glGetString(name);
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string("?");
  };
  std::ostringstream out;
  out << text(GL_VENDOR) << " | " << text(GL_RENDERER) << " | " << text(GL_VERSION);
  return out.str();
}

void WarmUpDriver()
{
  static bool done = false;
  if (done)
    return;
  done = true;
  NVGcontext* vg = nvgCreateGL2(NVG_ANTIALIAS);
  if (!vg)
    return;
  NVGLUframebuffer* fb = nvgluCreateFramebuffer(vg, 8, 8, 0);
  if (fb)
  {
    nvgluBindFramebuffer(fb);
    nvgBeginFrame(vg, 8.f, 8.f, 1.f);
    nvgBeginPath(vg);
    nvgRect(vg, 1.f, 1.f, 5.f, 5.f);
    nvgFillColor(vg, nvgRGBA(255, 255, 255, 128));
    nvgFill(vg);
    nvgEndFrame(vg);
    glFinish();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    nvgluDeleteFramebuffer(fb);
  }
  nvgDeleteGL2(vg);
}

Image ReadFramebuffer(int framebufferHeight, int x, int y, int width, int height)
{
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  std::vector<uint8_t> rows(image.rgba.size());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, framebufferHeight - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  const size_t stride = static_cast<size_t>(width) * 4;
  for (int row = 0; row < height; ++row)
    std::copy_n(&rows[(height - 1 - row) * stride], stride, &image.rgba[row * stride]);
  return image;
}

} // namespace gfxtest
