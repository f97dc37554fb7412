#pragma once

// The editor's platform windows: IGfxWin, the Win32 child window with its
// OpenGL context, frame clock, input translation and native services
// (Windows builds only).

#ifdef _WIN32
#include "gfx/platforms/IGfxWin.h"
#endif
