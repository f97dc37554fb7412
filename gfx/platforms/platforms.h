#pragma once

// The editor's platform windows, each a child of the host's window with its
// own OpenGL context, frame clock, input translation and native services:
// IGfxWin (Win32 and WGL) on Windows, IGfxLinux (X11 and GLX, driven by the
// host's run loop) elsewhere.

#ifdef _WIN32
#include "gfx/platforms/IGfxWin.h"
#else
#include "gfx/platforms/IGfxLinux.h"
#endif
