#include "swap_counter.h"

#include <GL/glx.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace editorbench {
namespace {

std::atomic<long> gSwaps{0};
std::atomic<std::chrono::steady_clock::time_point::rep> gLastSwap{0};
thread_local bool tInSwap = false;     // the GL driver puts its frame with Xlib inside a swap
thread_local bool tPutSinceFlush = false;

void* RealFunction(const char* name, const char* library)
{
  // The plug-ins bring libGL in; it need not be among the bench's own libraries.
  void* found = dlsym(RTLD_NEXT, name);
  if (!found)
    if (void* module = dlopen(library, RTLD_NOW | RTLD_LOCAL))
      found = dlsym(module, name);
  if (!found)
  {
    std::fprintf(stderr, "korvel-editor-bench: %s's %s not found\n", library, name);
    std::abort();
  }
  return found;
}

void CountPresent()
{
  gLastSwap = std::chrono::steady_clock::now().time_since_epoch().count();
  ++gSwaps;
}

} // namespace

long SwapCount() { return gSwaps.load(); }

std::chrono::steady_clock::time_point LastSwapTime()
{
  return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(gLastSwap.load()));
}

} // namespace editorbench

extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
  using Swap = void (*)(Display*, GLXDrawable);
  static const auto real = reinterpret_cast<Swap>(editorbench::RealFunction("glXSwapBuffers", "libGL.so.1"));
  editorbench::tInSwap = true;
  real(display, drawable);
  editorbench::tInSwap = false;
  editorbench::CountPresent();
}

// A plug-in may present a frame as images put into its window (on a software
// renderer) and then flush its connection: that flush presents the frame,
// counted once the server has taken the images.
extern "C" __attribute__((visibility("default"))) int XPutImage(Display* display, Drawable drawable, GC gc,
                                                               XImage* image, int srcX, int srcY, int destX,
                                                               int destY, unsigned width, unsigned height)
{
  using Put = int (*)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned, unsigned);
  static const auto real = reinterpret_cast<Put>(editorbench::RealFunction("XPutImage", "libX11.so.6"));
  editorbench::tPutSinceFlush = editorbench::tPutSinceFlush || !editorbench::tInSwap;
  return real(display, drawable, gc, image, srcX, srcY, destX, destY, width, height);
}

extern "C" __attribute__((visibility("default"))) int XFlush(Display* display)
{
  using Flush = int (*)(Display*);
  static const auto real = reinterpret_cast<Flush>(editorbench::RealFunction("XFlush", "libX11.so.6"));
  if (!editorbench::tPutSinceFlush || editorbench::tInSwap)
    return real(display);
  editorbench::tPutSinceFlush = false;
  const int result = XSync(display, False);
  editorbench::CountPresent();
  return result;
}
