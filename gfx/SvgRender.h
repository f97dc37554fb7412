#pragma once

// SVG documents drawn through the graphics context's path interface: every
// shape of a document parsed by nanosvg becomes moves and cubic segments,
// filled and stroked with patterns made from its paints. Works on any
// backend, since only IGfx's path operations are used.

#include "gfx/GfxTypes.h"

#include <memory>

struct NSVGimage;

namespace gfx {

class IGfx;

struct SvgDeleter
{
  void operator()(NSVGimage* image) const;
};
using SvgDocument = std::unique_ptr<NSVGimage, SvgDeleter>;

/** Parses SVG text (units such as "px", dpi for physical units); null when it is not SVG. */
SvgDocument ParseSvg(const char* text, const char* units = "px", float dpi = 72.f);

/** Size of the document in its own units. */
float SvgWidth(const NSVGimage& svg);
float SvgHeight(const NSVGimage& svg);

/**
 * Draws the document into the area, scaled uniformly to fit its smaller side
 * and placed at the area's top-left corner.
 */
void RenderSvg(IGfx& g, const NSVGimage& svg, const IArea& area, const IBlendMode* blend = nullptr);
/** The document in a width x height box centred on (cx, cy), turned by angle degrees clockwise. */
void RenderRotatedSvg(IGfx& g, const NSVGimage& svg, float cx, float cy, float width, float height, float angle,
                      const IBlendMode* blend = nullptr);
/** Every visible shape, in the document's own coordinates under the current transform. */
void RenderSvgShapes(IGfx& g, const NSVGimage& svg, const IBlendMode* blend = nullptr);

} // namespace gfx
