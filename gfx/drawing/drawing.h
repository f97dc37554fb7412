#pragma once

// The drawing backend: IGfxNanoVG draws the graphics context's frames with
// NanoVG on OpenGL 2 into an offscreen framebuffer and composites it onto the
// window; the platform window derives from it and supplies the GL context.

#include "gfx/drawing/IGfxNanoVG.h"
