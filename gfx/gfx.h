#pragma once

// The graphics layer. IGfx is the editor's graphics context (control list,
// frame, input dispatch, size and scale, prompts, resources) on which the
// drawing backend and the platform window are built; IControl (controls/) is
// the base of every control. GfxTypes.h and GfxBitmap.h hold the value types,
// ResourceCache.h the caches and the backend-independent decoding of images
// and fonts, ResourceLookup.h the lookup of scaled images among the module's
// resources.

#include "gfx/DecodedImageCache.h"
#include "gfx/GfxBitmap.h"
#include "gfx/GfxTypes.h"
#include "gfx/IGfx.h"
#include "gfx/ResourceCache.h"
#include "gfx/ResourceLookup.h"
#include "gfx/SvgRender.h"
#include "gfx/controls/controls.h"
