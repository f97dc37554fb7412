#pragma once

// The one place that chooses the platform window class of the editor.

#include "gfx/IGfx.h"

#include <memory>

namespace gfx {

/** The graphics context of this system's editor window (IGfxWin on Windows, IGfxLinux elsewhere). */
std::unique_ptr<IGfx> MakePlatformGraphics(plug::IGfxEditorDelegate* delegate, int width, int height, int fps,
                                           float scale);

} // namespace gfx
