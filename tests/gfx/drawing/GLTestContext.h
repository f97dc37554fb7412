#pragma once

// A real OpenGL context for tests and benchmarks of the drawing backend: on
// Linux a GLX context with a pbuffer on the X display in DISPLAY (the test
// runner's Xvfb, Mesa llvmpipe); on Windows a hidden window with a WGL
// context (under Wine on the same display). The GL functions are loaded
// through glad, as the editor window loads them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gfxtest {

/** RGBA pixels, 8 bits per channel, top row first. */
struct Image
{
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  const uint8_t* Pixel(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

class GLTestContext
{
public:
  /**
   * Opens a context whose default framebuffer is width x height pixels with
   * 8-bit RGBA and a stencil buffer, makes it current and loads the GL
   * functions. nullptr with a reason in error when that fails.
   */
  static std::unique_ptr<GLTestContext> Open(int width, int height, std::string& error);

  virtual ~GLTestContext() = default;

  virtual bool MakeCurrent() = 0;
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  /** "vendor | renderer | version" of the current context. */
  static std::string Describe();

protected:
  GLTestContext(int width, int height) : mWidth(width), mHeight(height) {}

private:
  int mWidth;
  int mHeight;
};

/** Draws once with NanoVG into a framebuffer, so that the driver has compiled its shaders. */
void WarmUpDriver();

/**
 * Reads a rectangle of the framebuffer bound for reading, given with its
 * top-left corner in the GL convention of rows from the bottom (y = 0 is the
 * bottom row of a framebuffer of height framebufferHeight); the image is
 * returned top row first, as on screen.
 */
Image ReadFramebuffer(int framebufferHeight, int x, int y, int width, int height);

} // namespace gfxtest
