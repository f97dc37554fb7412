// The GL fixture itself: a context opens on this target, renders with NanoVG
// into a framebuffer and reads back what was drawn, the right way up.

#include "GLTestContext.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include <gtest/gtest.h>

namespace gfxtest {
namespace {

TEST(GLFixture, RendersIntoAFramebufferAndReadsItBackTopRowFirst)
{
  std::string error;
  auto gl = GLTestContext::Open(64, 32, error);
  ASSERT_TRUE(gl) << error;
  std::cout << "GL: " << GLTestContext::Describe() << "\n";

  NVGcontext* vg = nvgCreateGL2(NVG_ANTIALIAS);
  ASSERT_NE(vg, nullptr);
  NVGLUframebuffer* fb = nvgluCreateFramebuffer(vg, 64, 32, 0);
  ASSERT_NE(fb, nullptr);
  nvgluBindFramebuffer(fb);
  glViewport(0, 0, 64, 32);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  nvgBeginFrame(vg, 64, 32, 1.0f);
  nvgBeginPath(vg);
  nvgRect(vg, 0, 0, 64, 8); // the top eight rows
  nvgFillColor(vg, nvgRGBA(255, 0, 0, 255));
  nvgFill(vg);
  nvgEndFrame(vg);

  const Image image = ReadFramebuffer(32, 0, 0, 64, 32);
  nvgluBindFramebuffer(nullptr);
  nvgluDeleteFramebuffer(fb);
  nvgDeleteGL2(vg);

  // NanoVG puts y = 0 at the top; glReadPixels counts rows from the bottom.
  const uint8_t* top = image.Pixel(10, 2);
  const uint8_t* bottom = image.Pixel(10, 30);
  EXPECT_EQ(top[0], 255);
  EXPECT_EQ(top[3], 255);
  EXPECT_EQ(bottom[0], 0);
  EXPECT_EQ(bottom[3], 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
} // namespace gfxtest
