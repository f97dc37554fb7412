// Drawing operations of IGfx built on the backend's path interface: shapes,
// plots, fitted and rotated bitmaps, the transform stack, clipping, layers
// and text.

#include "gfx/IGfx.h"

#include <cmath>

namespace gfx {

namespace {

constexpr double kPi = 3.1415927;

} // namespace

// --- Paths ----------------------------------------------------------------------------

void IGfx::PathRect(const IArea& area)
{
  PathMove(area.L, area.T);
  PathLine(area.R, area.T);
  PathLine(area.R, area.B);
  PathLine(area.L, area.B);
  PathCloseFigure();
}

void IGfx::PathRoundRect(const IArea& area, float rTL, float rTR, float rBR, float rBL)
{
  if (rTL <= 0.f && rTR <= 0.f && rBR <= 0.f && rBL <= 0.f)
  {
    PathRect(area);
    return;
  }
  PathMove(area.L, area.T + rTL);
  PathAddArc(area.L + rTL, area.T + rTL, rTL, 270.f, 360.f);
  PathAddArc(area.R - rTR, area.T + rTR, rTR, 0.f, 90.f);
  PathAddArc(area.R - rBR, area.B - rBR, rBR, 90.f, 180.f);
  PathAddArc(area.L + rBL, area.B - rBL, rBL, 180.f, 270.f);
  PathCloseFigure();
}

void IGfx::PathCircle(float cx, float cy, float r)
{
  PathMove(cx, cy - r);
  PathAddArc(cx, cy, r, 0.f, 360.f);
  PathCloseFigure();
}

void IGfx::PathEllipse(float cx, float cy, float r1, float r2, float angle)
{
  if (r1 <= 0.f || r2 <= 0.f)
    return;
  PushTransform();
  TranslateTransform(cx, cy);
  RotateTransform(angle);
  ScaleTransform(r1, r2);
  PathCircle(0.f, 0.f, 1.f);
  PopTransform();
}

void IGfx::PathEllipse(const IArea& area)
{
  PathEllipse(area.MW(), area.MH(), 0.5f * area.W(), 0.5f * area.H());
}

void IGfx::PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
{
  PathMove(x1, y1);
  PathLine(x2, y2);
  PathLine(x3, y3);
  PathCloseFigure();
}

void IGfx::PathPolygon(const float* x, const float* y, int npoints)
{
  if (!x || !y || npoints < 1)
    return;
  PathMove(x[0], y[0]);
  for (int i = 1; i < npoints; ++i)
    PathLine(x[i], y[i]);
  PathCloseFigure();
}

void IGfx::PathClipTo(const IArea& area)
{
  const IArea base = mLayers.empty() ? mClipArea : mLayers.back()->bounds;
  const IArea clip = area.Empty() ? base : area.Intersect(base);
  PathApplyTransform(ITransform2D());
  SetClipArea(clip);
  ApplyTransform();
}

// --- Transforms -----------------------------------------------------------------------

void IGfx::PushTransform()
{
  mTransformStack.push_back(mTransform);
}

void IGfx::PopTransform()
{
  if (mTransformStack.empty())
    return;
  mTransform = mTransformStack.back();
  mTransformStack.pop_back();
  ApplyTransform();
}

void IGfx::ResetTransform(bool clearStack)
{
  if (clearStack)
    mTransformStack.clear();
  mTransform = ITransform2D();
  ApplyTransform();
}

void IGfx::TranslateTransform(float dx, float dy)
{
  mTransform.tx += mTransform.xx * dx + mTransform.xy * dy;
  mTransform.ty += mTransform.yx * dx + mTransform.yy * dy;
  ApplyTransform();
}

void IGfx::ScaleTransform(float sx, float sy)
{
  mTransform.xx *= sx;
  mTransform.yx *= sx;
  mTransform.xy *= sy;
  mTransform.yy *= sy;
  ApplyTransform();
}

void IGfx::RotateTransform(float degrees)
{
  const double a = degrees / 180.0 * kPi;
  const double c = std::cos(a);
  const double s = std::sin(a);
  const ITransform2D m = mTransform;
  mTransform.xx = c * m.xx + s * m.xy;
  mTransform.yx = c * m.yx + s * m.yy;
  mTransform.xy = c * m.xy - s * m.xx;
  mTransform.yy = c * m.yy - s * m.yx;
  ApplyTransform();
}

// --- Shapes ---------------------------------------------------------------------------

namespace {

const IStrokeStyle kDefaultStroke{};
const IFillStyle kDefaultFill{};

} // namespace

void IGfx::BlitFittedBitmap(const IBitmap& bitmap, const IArea& dest, const IBlendMode* blend)
{
  if (bitmap.W() <= 0 || bitmap.H() <= 0)
    return;
  PushTransform();
  TranslateTransform(dest.L, dest.T);
  ScaleTransform(dest.W() / bitmap.W(), dest.H() / bitmap.H());
  BlitBitmap(bitmap, IArea(0.f, 0.f, static_cast<float>(bitmap.W()), static_cast<float>(bitmap.H())), 0, 0, blend);
  PopTransform();
}

void IGfx::BlitRotatedBitmap(const IBitmap& bitmap, float cx, float cy, double angle, const IBlendMode* blend)
{
  const float w = bitmap.W() / bitmap.GetDrawScale();
  const float h = bitmap.H() / bitmap.GetDrawScale();
  PushTransform();
  TranslateTransform(cx, cy);
  RotateTransform(static_cast<float>(angle));
  BlitBitmap(bitmap, IArea(-0.5f * w, -0.5f * h, 0.5f * w, 0.5f * h), 0, 0, blend);
  PopTransform();
}

void IGfx::PlotPoint(const IRgba& colour, float x, float y, const IBlendMode* blend)
{
  PaintRect(colour, IArea(x, y, x + 1.f, y + 1.f), blend);
}

void IGfx::StrokeLine(const IRgba& colour, float x1, float y1, float x2, float y2, const IBlendMode* blend,
                      float thickness)
{
  PathReset();
  PathMove(x1, y1);
  PathLine(x2, y2);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::StrokeDashedLine(const IRgba& colour, float x1, float y1, float x2, float y2, const IBlendMode* blend,
                            float thickness, float dashLen)
{
  IStrokeStyle style;
  style.dashes = {dashLen};
  PathReset();
  PathMove(x1, y1);
  PathLine(x2, y2);
  PathStrokeWith(colour, thickness, style, blend);
}

void IGfx::OutlineTriangle(const IRgba& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                           const IBlendMode* blend, float thickness)
{
  PathReset();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::OutlineRect(const IRgba& colour, const IArea& area, const IBlendMode* blend, float thickness)
{
  PathReset();
  PathRect(area);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::OutlineRoundRect(const IRgba& colour, const IArea& area, float rTL, float rTR, float rBR, float rBL,
                            const IBlendMode* blend, float thickness)
{
  PathReset();
  PathRoundRect(area, rTL, rTR, rBR, rBL);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::OutlineRoundRect(const IRgba& colour, const IArea& area, float radius, const IBlendMode* blend,
                            float thickness)
{
  OutlineRoundRect(colour, area, radius, radius, radius, radius, blend, thickness);
}

void IGfx::OutlineArc(const IRgba& colour, float cx, float cy, float r, float a1, float a2, const IBlendMode* blend,
                      float thickness)
{
  PathReset();
  PathAddArc(cx, cy, r, a1, a2);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::OutlineCircle(const IRgba& colour, float cx, float cy, float r, const IBlendMode* blend, float thickness)
{
  PathReset();
  PathCircle(cx, cy, r);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::OutlineEllipse(const IRgba& colour, float cx, float cy, float r1, float r2, float angle,
                          const IBlendMode* blend, float thickness)
{
  PathReset();
  PathEllipse(cx, cy, r1, r2, angle);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::OutlineEllipse(const IRgba& colour, const IArea& area, const IBlendMode* blend, float thickness)
{
  PathReset();
  PathEllipse(area);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::OutlinePolygon(const IRgba& colour, const float* x, const float* y, int npoints, const IBlendMode* blend,
                          float thickness)
{
  PathReset();
  PathPolygon(x, y, npoints);
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::StrokeDashedRect(const IRgba& colour, const IArea& area, const IBlendMode* blend, float thickness,
                            float dashLen)
{
  IStrokeStyle style;
  style.dashes = {dashLen};
  PathReset();
  PathRect(area);
  PathStrokeWith(colour, thickness, style, blend);
}

void IGfx::PaintTriangle(const IRgba& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                         const IBlendMode* blend)
{
  PathReset();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PaintRect(const IRgba& colour, const IArea& area, const IBlendMode* blend)
{
  PathReset();
  PathRect(area);
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PaintRoundRect(const IRgba& colour, const IArea& area, float rTL, float rTR, float rBR, float rBL,
                          const IBlendMode* blend)
{
  PathReset();
  PathRoundRect(area, rTL, rTR, rBR, rBL);
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PaintRoundRect(const IRgba& colour, const IArea& area, float radius, const IBlendMode* blend)
{
  PaintRoundRect(colour, area, radius, radius, radius, radius, blend);
}

void IGfx::PaintCircle(const IRgba& colour, float cx, float cy, float r, const IBlendMode* blend)
{
  PathReset();
  PathCircle(cx, cy, r);
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PaintEllipse(const IRgba& colour, float cx, float cy, float r1, float r2, float angle,
                        const IBlendMode* blend)
{
  PathReset();
  PathEllipse(cx, cy, r1, r2, angle);
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PaintEllipse(const IRgba& colour, const IArea& area, const IBlendMode* blend)
{
  PathReset();
  PathEllipse(area);
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PaintArc(const IRgba& colour, float cx, float cy, float r, float a1, float a2, const IBlendMode* blend)
{
  PathReset();
  PathMove(cx, cy);
  PathAddArc(cx, cy, r, a1, a2);
  PathCloseFigure();
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PaintPolygon(const IRgba& colour, const float* x, const float* y, int npoints, const IBlendMode* blend)
{
  PathReset();
  PathPolygon(x, y, npoints);
  PathFillWith(colour, kDefaultFill, blend);
}

void IGfx::PlotGrid(const IRgba& colour, const IArea& area, float cellWidth, float cellHeight,
                    const IBlendMode* blend, float thickness)
{
  PathReset();
  if (cellWidth > 1.f)
  {
    for (float x = area.L + cellWidth; x < area.R; x += cellWidth)
    {
      PathMove(x, area.T);
      PathLine(x, area.B);
    }
  }
  if (cellHeight > 1.f)
  {
    for (float y = area.T + cellHeight; y < area.B; y += cellHeight)
    {
      PathMove(area.L, y);
      PathLine(area.R, y);
    }
  }
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

void IGfx::PlotData(const IRgba& colour, const IArea& area, const float* normYValues, int count,
                    const float* normXValues, const IBlendMode* blend, float thickness)
{
  if (!normYValues || count < 1)
    return;
  PathReset();
  for (int i = 0; i < count; ++i)
  {
    const float x = normXValues ? area.L + area.W() * normXValues[i]
                                : (count > 1 ? area.L + i * area.W() / (count - 1) : area.L);
    const float y = area.B - area.H() * normYValues[i];
    if (i == 0)
      PathMove(x, y);
    else
      PathLine(x, y);
  }
  PathStrokeWith(colour, thickness, kDefaultStroke, blend);
}

// --- Layers ---------------------------------------------------------------------------

void IGfx::OpenLayer(IControl* control, const IArea& area, bool cacheable)
{
  const float s = TotalScale();
  const IArea aligned = area.GetPixelAligned(s);
  const int width = static_cast<int>(std::ceil(aligned.W() * s));
  const int height = static_cast<int>(std::ceil(aligned.H() * s));
  std::unique_ptr<APIBitmap> bitmap = CreateBackendBitmap(width, height, mDisplayScale, mDrawScale, cacheable);
  if (!bitmap)
    return;
  auto layer = std::make_unique<IOffscreenLayer>();
  layer->bitmap = std::move(bitmap);
  layer->control = control;
  layer->controlArea = control ? control->Area() : IArea();
  layer->bounds = aligned;
  mLayers.push_back(std::move(layer));
  BindLayerTarget();
  ResetTransform(false);
  PathClipTo(aligned);
  PathReset();
}

ILayerPtr IGfx::CloseLayer()
{
  if (mLayers.empty())
    return nullptr;
  ILayerPtr layer = std::move(mLayers.back());
  mLayers.pop_back();
  BindLayerTarget();
  ResetTransform(false);
  PathClipTo(IArea());
  PathReset();
  return layer;
}

void IGfx::DrawLayer(const ILayerPtr& layer, const IBlendMode* blend)
{
  if (!layer || !layer->bitmap)
    return;
  const IBitmap bitmap(layer->bitmap.get(), 1, false, "");
  PushTransform();
  ResetTransform(false);
  BlitBitmap(bitmap, layer->bounds, 0, 0, blend);
  PopTransform();
}

// --- Text ---------------------------------------------------------------------------------

float IGfx::MeasureTextBounds(const ITextStyle& style, const char* text, IArea& bounds)
{
  if (!text || !*text)
    return 0.f;
  return MeasureTextImpl(style, text, bounds);
}

void IGfx::PrintText(const ITextStyle& style, const char* text, const IArea& area, const IBlendMode* blend)
{
  if (!text || !*text)
    return;
  PrintTextImpl(style, text, area, blend);
}

} // namespace gfx
