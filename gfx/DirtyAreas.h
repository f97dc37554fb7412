#pragma once

// Overdraw removal for the dirty areas of a frame: plain rectangle geometry,
// no graphics state.

#include "gfx/GfxTypes.h"

namespace gfx {

/** Contained areas go, overlaps are cut or split, areas that share an edge merge; every pixel stays covered once. */
void RemoveOverdraw(IAreaList& areas);

} // namespace gfx
