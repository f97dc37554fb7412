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

using SwapFunction = void (*)(Display*, GLXDrawable);

SwapFunction RealSwap()
{
  static const SwapFunction real = [] {
    // The plug-ins bring libGL in; it need not be among the bench's own libraries.
    void* found = dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (!found)
      if (void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL))
        found = dlsym(gl, "glXSwapBuffers");
    if (!found)
    {
      std::fprintf(stderr, "korvel-editor-bench: libGL's glXSwapBuffers not found\n");
      std::abort();
    }
    return reinterpret_cast<SwapFunction>(found);
  }();
  return real;
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
  editorbench::RealSwap()(display, drawable);
  editorbench::gLastSwap = std::chrono::steady_clock::now().time_since_epoch().count();
  ++editorbench::gSwaps;
}
