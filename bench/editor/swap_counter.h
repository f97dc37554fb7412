#pragma once

// Counts the frames any editor in this process presents. The bench exports its
// own glXSwapBuffers, which every plug-in module it loads binds to before
// libGL's (the executable comes first in the lookup order); it presents
// through libGL's and then counts. A plug-in may also present by putting
// images into its window and flushing (KORVEL on a software renderer): the
// bench's XFlush then waits for the server to take them (XSync) and counts.
// "The panel is on screen" means the same for every plug-in: the first
// present after attached() has returned.

#include <chrono>

namespace editorbench {

long SwapCount();
std::chrono::steady_clock::time_point LastSwapTime();

} // namespace editorbench
