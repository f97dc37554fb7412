#pragma once

// Counts the frames any editor in this process presents. The bench exports its
// own glXSwapBuffers, which every plug-in module it loads binds to before
// libGL's (the executable comes first in the lookup order); it presents
// through libGL's and then counts. KORVEL and ZamCompX2 both present with
// glXSwapBuffers, so "the panel is on screen" means the same for both: the
// first swap after attached() has returned.

#include <chrono>

namespace editorbench {

long SwapCount();
std::chrono::steady_clock::time_point LastSwapTime();

} // namespace editorbench
