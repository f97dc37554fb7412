#include "gfx/SvgRender.h"

#include "gfx/IGfx.h"

#include <nanosvg.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace gfx {

namespace {

IRgba SvgColour(unsigned int abgr, int alpha)
{
  return IRgba(alpha, static_cast<int>(abgr & 0xff), static_cast<int>((abgr >> 8) & 0xff),
               static_cast<int>((abgr >> 16) & 0xff));
}

IFillPattern SvgPattern(const NSVGpaint& paint, float opacity)
{
  const int alpha = std::clamp(static_cast<int>(std::lround(opacity * 255.f)), 0, 255);
  if (paint.type == NSVG_PAINT_COLOR)
    return IFillPattern(SvgColour(paint.color, alpha));
  if (paint.type != NSVG_PAINT_LINEAR_GRADIENT && paint.type != NSVG_PAINT_RADIAL_GRADIENT)
    return IFillPattern(IRgba(alpha, 0, 0, 0));

  const NSVGgradient& gradient = *paint.gradient;
  IFillPattern pattern;
  pattern.type = paint.type == NSVG_PAINT_LINEAR_GRADIENT ? EPatternType::Linear : EPatternType::Radial;
  pattern.extend = gradient.spread == NSVG_SPREAD_REFLECT  ? EPatternExtend::Reflect
                   : gradient.spread == NSVG_SPREAD_REPEAT ? EPatternExtend::Repeat
                                                           : EPatternExtend::Pad;
  for (int i = 0; i < std::min(gradient.nstops, IFillPattern::kMaxStops); ++i)
    pattern.AddStop(SvgColour(gradient.stops[i].color, 255), gradient.stops[i].offset);
  // nanosvg maps a point into gradient space, where a linear gradient runs
  // along y and a radial one is the unit circle; patterns run along x.
  const float* t = gradient.xform;
  if (pattern.type == EPatternType::Linear)
    pattern.transform = ITransform2D(t[1], t[0], t[3], t[2], t[5], t[4]);
  else
    pattern.transform = ITransform2D(t[0], t[1], t[2], t[3], t[4], t[5]);
  return pattern;
}

/** Even-odd test of a point against a path's outline (its points as a polygon). */
bool Inside(const NSVGpath& path, float x, float y)
{
  bool inside = false;
  for (int i = 0, j = path.npts - 1; i < path.npts; j = i++)
  {
    const float xi = path.pts[i * 2], yi = path.pts[i * 2 + 1];
    const float xj = path.pts[j * 2], yj = path.pts[j * 2 + 1];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
      inside = !inside;
  }
  return inside;
}

} // namespace

void SvgDeleter::operator()(NSVGimage* image) const
{
  nsvgDelete(image);
}

SvgDocument ParseSvg(const char* text, const char* units, float dpi)
{
  if (!text)
    return nullptr;
  std::string copy(text); // the parser writes into its input
  NSVGimage* image = nsvgParse(copy.data(), units ? units : "px", dpi);
  if (image && !image->shapes && image->width <= 0.f && image->height <= 0.f)
  {
    nsvgDelete(image);
    return nullptr;
  }
  return SvgDocument(image);
}

float SvgWidth(const NSVGimage& svg)
{
  return svg.width;
}

float SvgHeight(const NSVGimage& svg)
{
  return svg.height;
}

void RenderSvg(IGfx& g, const NSVGimage& svg, const IArea& area, const IBlendMode* blend)
{
  if (svg.width <= 0.f || svg.height <= 0.f)
    return;
  const float scale = std::min(area.W() / svg.width, area.H() / svg.height);
  g.PushTransform();
  g.TranslateTransform(area.L, area.T);
  g.ScaleTransform(scale, scale);
  RenderSvgShapes(g, svg, blend);
  g.PopTransform();
}

void RenderRotatedSvg(IGfx& g, const NSVGimage& svg, float cx, float cy, float width, float height, float angle,
                      const IBlendMode* blend)
{
  g.PushTransform();
  g.TranslateTransform(cx, cy);
  g.RotateTransform(angle);
  RenderSvg(g, svg, IArea(-0.5f * width, -0.5f * height, 0.5f * width, 0.5f * height), blend);
  g.PopTransform();
}

void RenderSvgShapes(IGfx& g, const NSVGimage& svg, const IBlendMode* blend)
{
  for (const NSVGshape* shape = svg.shapes; shape; shape = shape->next)
  {
    if (!(shape->flags & NSVG_FLAGS_VISIBLE))
      continue;
    g.PathReset();
    for (const NSVGpath* path = shape->paths; path; path = path->next)
    {
      if (path->npts < 1)
        continue;
      g.PathMove(path->pts[0], path->pts[1]);
      for (int i = 1; i + 2 < path->npts; i += 3)
      {
        const float* p = &path->pts[i * 2];
        g.PathCubic(p[0], p[1], p[2], p[3], p[4], p[5]);
      }
      if (path->closed)
        g.PathCloseFigure();
      // A path inside an odd number of the shape's other paths is a hole.
      int crossings = 0;
      for (const NSVGpath* other = shape->paths; other; other = other->next)
      {
        if (other != path && Inside(*other, path->pts[0], path->pts[1]))
          ++crossings;
      }
      g.PathSetSolidity(crossings % 2 == 1);
    }
    const bool stroked = shape->stroke.type != NSVG_PAINT_NONE;
    if (shape->fill.type != NSVG_PAINT_NONE)
    {
      IFillStyle style;
      style.rule = shape->fillRule == NSVG_FILLRULE_EVENODD ? EFillRule::EvenOdd : EFillRule::Winding;
      style.preserve = stroked;
      g.PathFillWith(SvgPattern(shape->fill, shape->opacity), style, blend);
    }
    if (stroked)
    {
      IStrokeStyle style;
      style.cap = static_cast<ELineCap>(std::clamp(static_cast<int>(shape->strokeLineCap), 0, 2));
      style.join = static_cast<ELineJoin>(std::clamp(static_cast<int>(shape->strokeLineJoin), 0, 2));
      style.miterLimit = shape->miterLimit;
      style.dashes.assign(shape->strokeDashArray, shape->strokeDashArray + std::max(0, int(shape->strokeDashCount)));
      style.dashOffset = shape->strokeDashOffset;
      g.PathStrokeWith(SvgPattern(shape->stroke, shape->opacity), shape->strokeWidth, style, blend);
    }
  }
}

} // namespace gfx
