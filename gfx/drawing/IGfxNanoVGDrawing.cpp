// The drawing half of the NanoVG backend: layers and their shadows, dashed
// strokes, paths, clipping and text (bitmaps are in IGfxNanoVGBitmaps.cpp).

#include "gfx/drawing/IGfxNanoVG.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

namespace gfx {

namespace {

constexpr float kPi = 3.1415927f;
// More dashes than this in one line are drawn as a solid line.
constexpr int kMaxDashes = 20000;

NVGcolor ToNVGColour(const IRgba& colour, float weight)
{
  return nvgRGBAf(colour.R / 255.f, colour.G / 255.f, colour.B / 255.f, colour.A / 255.f * weight);
}

ITransform2D Inverse(const ITransform2D& m)
{
  const double det = m.xx * m.yy - m.xy * m.yx;
  if (det == 0.0 || !std::isfinite(det))
    return {};
  const double inv = 1.0 / det;
  return {m.yy * inv,
          -m.yx * inv,
          -m.xy * inv,
          m.xx * inv,
          (m.xy * m.ty - m.yy * m.tx) * inv,
          (m.yx * m.tx - m.xx * m.ty) * inv};
}

/** A gradient or colour as NanoVG paint; weight multiplies the alpha. */
NVGpaint ToNVGPaint(NVGcontext* vg, const IFillPattern& pattern, float weight)
{
  const IRgba first = pattern.stops.empty() ? kColourBlack : pattern.stops.front().colour;
  const IRgba last = pattern.stops.empty() ? kColourBlack : pattern.stops.back().colour;
  const NVGcolor inner = ToNVGColour(first, weight);
  const NVGcolor outer = ToNVGColour(last, weight);
  const ITransform2D inv = Inverse(pattern.transform);
  double x0 = 0.0, y0 = 0.0;
  inv.TransformPoint(x0, y0);
  if (pattern.type == EPatternType::Radial)
  {
    const float r = static_cast<float>(inv.xx);
    const float r0 = pattern.stops.empty() ? 0.f : pattern.stops.front().offset * r;
    return nvgRadialGradient(vg, static_cast<float>(x0), static_cast<float>(y0), r0, r, inner, outer);
  }
  double x1 = 1.0, y1 = 0.0;
  inv.TransformPoint(x1, y1);
  return nvgLinearGradient(vg, static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1),
                           static_cast<float>(y1), inner, outer);
}

float ToNVGAngle(float degrees)
{
  return (degrees - 90.f) / 180.f * kPi;
}

/** Appends the dashes of the segment to the path; phase is the distance into the current dash pattern. */
void AddDashes(IGfx& g, float x1, float y1, float x2, float y2, float dash, float& phase)
{
  const float dx = x2 - x1, dy = y2 - y1;
  const float length = std::sqrt(dx * dx + dy * dy);
  if (length <= 0.f)
    return;
  const float ux = dx / length, uy = dy / length;
  float t = 0.f;
  while (t < length)
  {
    const float inPeriod = std::fmod(phase, 2.f * dash);
    const bool on = inPeriod < dash;
    const float step = std::min(length - t, (on ? dash : 2.f * dash) - inPeriod);
    if (on)
    {
      g.PathMove(x1 + ux * t, y1 + uy * t);
      g.PathLine(x1 + ux * (t + step), y1 + uy * (t + step));
    }
    t += step;
    phase += step;
  }
}
} // namespace

// --- Layers -----------------------------------------------------------------------------------

void IGfxNanoVG::BindLayerTarget()
{
  if (!mVG)
    return;
  nvgEndFrame(mVG);
  BindDrawingTarget();
}

std::unique_ptr<APIBitmap> IGfxNanoVG::CreateBackendBitmap(int width, int height, float scale, float drawScale,
                                                           bool /*cacheable*/)
{
  if (!mVG || width < 1 || height < 1)
    return nullptr;
  if (mInFrame)
    nvgEndFrame(mVG);
  NVGLUframebuffer* framebuffer = nvgluCreateFramebuffer(mVG, width, height, 0);
  if (framebuffer)
  {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer->fbo);
    glViewport(0, 0, width, height);
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  }
  if (mInFrame)
    BindDrawingTarget();
  else
    glBindFramebuffer(GL_FRAMEBUFFER, mWindowFramebuffer);
  if (!framebuffer)
    return nullptr;
  return std::make_unique<Bitmap>(*this, framebuffer, width, height, scale, drawScale);
}

void IGfxNanoVG::ReadLayerPixels(const ILayerPtr& layer, std::vector<uint8_t>& rgba)
{
  const auto* bitmap = layer ? static_cast<const Bitmap*>(layer->bitmap.get()) : nullptr;
  if (!mVG || !bitmap || !bitmap->Framebuffer())
  {
    rgba.clear();
    return;
  }
  const int w = bitmap->GetWidth(), h = bitmap->GetHeight();
  const size_t stride = static_cast<size_t>(w) * 4;
  std::vector<uint8_t> rows(stride * h);
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
  glBindFramebuffer(GL_FRAMEBUFFER, bitmap->Framebuffer()->fbo);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(bound));
  // GL counts rows from the bottom; NanoVG draws with y = 0 at the top.
  rgba.resize(rows.size());
  for (int y = 0; y < h; ++y)
    std::memcpy(&rgba[stride * y], &rows[stride * (h - 1 - y)], stride);
}

void IGfxNanoVG::ApplyLayerShadow(const ILayerPtr& layer, const IShadow& shadow)
{
  auto* bitmap = layer ? static_cast<Bitmap*>(layer->bitmap.get()) : nullptr;
  if (!mVG || !bitmap || !bitmap->Framebuffer())
    return;
  std::vector<uint8_t> pixels;
  ReadLayerPixels(layer, pixels);
  const int w = bitmap->GetWidth(), h = bitmap->GetHeight();
  const float pixelScale = bitmap->GetScale() * bitmap->GetDrawScale();

  // The shadow's coverage: the layer's alpha, box-blurred in two passes.
  const int radius = std::max(0, static_cast<int>(std::lround(shadow.blurSize * pixelScale)));
  std::vector<float> alpha(static_cast<size_t>(w) * h), pass(alpha.size());
  for (size_t i = 0; i < alpha.size(); ++i)
    alpha[i] = pixels[i * 4 + 3] / 255.f;
  auto blur = [&](std::vector<float>& from, std::vector<float>& to, bool horizontal) {
    const int n = horizontal ? w : h, lines = horizontal ? h : w;
    for (int line = 0; line < lines; ++line)
    {
      auto at = [&](int i) -> float& {
        return horizontal ? from[static_cast<size_t>(line) * w + i] : from[static_cast<size_t>(i) * w + line];
      };
      float sum = 0.f;
      for (int i = -radius; i <= radius; ++i)
        sum += (i >= 0 && i < n) ? at(i) : 0.f;
      for (int i = 0; i < n; ++i)
      {
        const size_t out = horizontal ? static_cast<size_t>(line) * w + i : static_cast<size_t>(i) * w + line;
        to[out] = sum / (2 * radius + 1);
        const int leaving = i - radius, entering = i + radius + 1;
        if (leaving >= 0)
          sum -= at(leaving);
        if (entering < n)
          sum += at(entering);
      }
    }
  };
  if (radius > 0)
  {
    blur(alpha, pass, true);
    blur(pass, alpha, false);
  }

  const IRgba tint = shadow.pattern.stops.empty() ? kColourBlack : shadow.pattern.stops.front().colour;
  const float opacity = std::clamp(shadow.opacity, 0.f, 1.f) * tint.A / 255.f;
  std::vector<uint8_t> shadowPixels(pixels.size());
  for (size_t i = 0; i < alpha.size(); ++i)
  {
    const float a = alpha[i] * opacity;
    shadowPixels[i * 4 + 0] = static_cast<uint8_t>(std::lround(tint.R * a)); // premultiplied
    shadowPixels[i * 4 + 1] = static_cast<uint8_t>(std::lround(tint.G * a));
    shadowPixels[i * 4 + 2] = static_cast<uint8_t>(std::lround(tint.B * a));
    shadowPixels[i * 4 + 3] = static_cast<uint8_t>(std::lround(255.f * a));
  }
  const int image = nvgCreateImageRGBA(mVG, w, h, NVG_IMAGE_PREMULTIPLIED, shadowPixels.data());
  if (!image)
    return;

  // Draw the shadow into the layer, under its content or in its place.
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  if (mInFrame)
    nvgEndFrame(mVG);
  glBindFramebuffer(GL_FRAMEBUFFER, bitmap->Framebuffer()->fbo);
  glViewport(0, 0, w, h);
  if (!shadow.drawForeground)
  {
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  nvgBeginFrame(mVG, static_cast<float>(w), static_cast<float>(h), 1.f);
  nvgGlobalCompositeOperation(mVG, shadow.drawForeground ? NVG_DESTINATION_OVER : NVG_SOURCE_OVER);
  const float dx = shadow.xOffset * pixelScale, dy = shadow.yOffset * pixelScale;
  nvgBeginPath(mVG);
  nvgRect(mVG, 0.f, 0.f, static_cast<float>(w), static_cast<float>(h));
  nvgFillPaint(mVG, nvgImagePattern(mVG, dx, dy, static_cast<float>(w), static_cast<float>(h), 0.f, image, 1.f));
  nvgFill(mVG);
  nvgEndFrame(mVG);
  nvgDeleteImage(mVG, image);
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(bound));
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  if (mInFrame)
  {
    BindDrawingTarget();
    PathApplyTransform(CurrentTransform());
  }
}

// --- Drawing ----------------------------------------------------------------------------------

void IGfxNanoVG::SetBlend(const IBlendMode* blend)
{
  if (!blend)
  {
    nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
    return;
  }
  switch (blend->method)
  {
    case EBlend::SrcOver: nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER); break;
    case EBlend::SrcIn: nvgGlobalCompositeOperation(mVG, NVG_SOURCE_IN); break;
    case EBlend::SrcOut: nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OUT); break;
    case EBlend::SrcAtop: nvgGlobalCompositeOperation(mVG, NVG_ATOP); break;
    case EBlend::DstOver: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_OVER); break;
    case EBlend::DstIn: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_IN); break;
    case EBlend::DstOut: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_OUT); break;
    case EBlend::DstAtop: nvgGlobalCompositeOperation(mVG, NVG_DESTINATION_ATOP); break;
    case EBlend::Add: nvgGlobalCompositeBlendFunc(mVG, NVG_SRC_ALPHA, NVG_DST_ALPHA); break;
    case EBlend::XOR: nvgGlobalCompositeOperation(mVG, NVG_XOR); break;
  }
}

void IGfxNanoVG::StrokeDashedLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                                  const IBlendMode* blend, float thickness, float dashLen)
{
  const float length = std::hypot(x2 - x1, y2 - y1);
  if (!(dashLen > 0.f) || length / dashLen > kMaxDashes)
  {
    StrokeLine(colour, x1, y1, x2, y2, blend, thickness);
    return;
  }
  PathReset();
  float phase = 0.f;
  AddDashes(*this, x1, y1, x2, y2, dashLen, phase);
  PathStrokeWith(colour, thickness, IStrokeStyle(), blend);
}

void IGfxNanoVG::StrokeDashedRect(const IRgba& colour, const IArea& area, const IBlendMode* blend, float thickness,
                                  float dashLen)
{
  const float perimeter = 2.f * (std::fabs(area.W()) + std::fabs(area.H()));
  if (!(dashLen > 0.f) || perimeter / dashLen > kMaxDashes)
  {
    OutlineRect(colour, area, blend, thickness);
    return;
  }
  PathReset();
  float phase = 0.f; // the pattern runs on around the corners
  AddDashes(*this, area.L, area.T, area.R, area.T, dashLen, phase);
  AddDashes(*this, area.R, area.T, area.R, area.B, dashLen, phase);
  AddDashes(*this, area.R, area.B, area.L, area.B, dashLen, phase);
  AddDashes(*this, area.L, area.B, area.L, area.T, dashLen, phase);
  PathStrokeWith(colour, thickness, IStrokeStyle(), blend);
}

void IGfxNanoVG::PaintFastShadow(const IArea& inner, const IArea& outer, float yDrop, float roundness, float blur,
                                 const IBlendMode* blend)
{
  if (!mVG)
    return;
  const float weight = BlendWeight(blend);
  nvgSave(mVG);
  // Within the control's clip: a shadow drawn beyond it would darken pixels
  // that this frame does not redraw (the bubble's box above a repainted knob).
  nvgIntersectScissor(mVG, outer.L, outer.T, outer.W(), outer.H());
  const NVGpaint paint = nvgBoxGradient(mVG, inner.L, inner.T + yDrop, inner.W(), inner.H(), roundness,
                                        std::max(1.f, blur), nvgRGBAf(0.f, 0.f, 0.f, 0.5f * weight),
                                        nvgRGBAf(0.f, 0.f, 0.f, 0.f));
  nvgBeginPath(mVG);
  nvgRect(mVG, outer.L, outer.T, outer.W(), outer.H());
  nvgFillPaint(mVG, paint);
  SetBlend(blend);
  nvgFill(mVG);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  nvgRestore(mVG);
}

IRgba IGfxNanoVG::ReadPixelColour(float /*x*/, float /*y*/)
{
  return kColourBlack; // reading back from the GPU would stall the frame
}

void* IGfxNanoVG::DrawContext()
{
  return mVG;
}

bool IGfxNanoVG::SupportsImageExtension(const char* extension)
{
  if (!extension)
    return false;
  std::string lower(extension);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("png") != std::string::npos || lower.find("jpg") != std::string::npos ||
         lower.find("jpeg") != std::string::npos;
}

// --- Paths ------------------------------------------------------------------------------------

void IGfxNanoVG::PathReset()
{
  if (mVG)
    nvgBeginPath(mVG);
}

void IGfxNanoVG::PathCloseFigure()
{
  if (mVG)
    nvgClosePath(mVG);
}

void IGfxNanoVG::PathAddArc(float cx, float cy, float r, float a1, float a2, EWinding winding)
{
  if (mVG)
    nvgArc(mVG, cx, cy, r, ToNVGAngle(a1), ToNVGAngle(a2), winding == EWinding::CW ? NVG_CW : NVG_CCW);
}

void IGfxNanoVG::PathMove(float x, float y)
{
  if (mVG)
    nvgMoveTo(mVG, x, y);
}

void IGfxNanoVG::PathLine(float x, float y)
{
  if (mVG)
    nvgLineTo(mVG, x, y);
}

void IGfxNanoVG::PathSetSolidity(bool hole)
{
  if (mVG)
    nvgPathWinding(mVG, hole ? NVG_HOLE : NVG_SOLID);
}

void IGfxNanoVG::PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y)
{
  if (mVG)
    nvgBezierTo(mVG, c1x, c1y, c2x, c2y, x, y);
}

void IGfxNanoVG::PathQuadratic(float cx, float cy, float x, float y)
{
  // NanoVG turns it into the cubic with control points 2/3 of the way to c.
  if (mVG)
    nvgQuadTo(mVG, cx, cy, x, y);
}

void IGfxNanoVG::PathStrokeWith(const IFillPattern& pattern, float thickness, const IStrokeStyle& style,
                                const IBlendMode* blend)
{
  if (!mVG)
    return;
  static const int kCaps[] = {NVG_BUTT, NVG_ROUND, NVG_SQUARE};
  static const int kJoins[] = {NVG_MITER, NVG_ROUND, NVG_BEVEL};
  nvgLineCap(mVG, kCaps[static_cast<int>(style.cap) % 3]);
  nvgLineJoin(mVG, kJoins[static_cast<int>(style.join) % 3]);
  nvgMiterLimit(mVG, style.miterLimit);
  nvgStrokeWidth(mVG, thickness);
  const float weight = BlendWeight(blend);
  if (pattern.type == EPatternType::Solid)
    nvgStrokeColor(mVG, ToNVGColour(pattern.stops.empty() ? kColourBlack : pattern.stops.front().colour, weight));
  else
    nvgStrokePaint(mVG, ToNVGPaint(mVG, pattern, weight));
  // NanoVG has no dashed strokes: a dash array draws as a solid stroke
  // (StrokeDashedLine and StrokeDashedRect build their dashes as paths).
  SetBlend(blend);
  nvgStroke(mVG);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  if (!style.preserve)
    nvgBeginPath(mVG);
}

void IGfxNanoVG::PathFillWith(const IFillPattern& pattern, const IFillStyle& style, const IBlendMode* blend)
{
  if (!mVG)
    return;
  // NanoVG fills by the non-zero rule only, with each sub-path marked solid
  // or hole (PathSetSolidity); the style's rule must not overwrite the mark
  // of the last sub-path, or a hole drawn last would be filled.
  const float weight = BlendWeight(blend);
  if (pattern.type == EPatternType::Solid)
    nvgFillColor(mVG, ToNVGColour(pattern.stops.empty() ? kColourBlack : pattern.stops.front().colour, weight));
  else
    nvgFillPaint(mVG, ToNVGPaint(mVG, pattern, weight));
  SetBlend(blend);
  nvgFill(mVG);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  if (!style.preserve)
    nvgBeginPath(mVG);
}

void IGfxNanoVG::PathApplyTransform(const ITransform2D& m)
{
  if (!mVG)
    return;
  nvgResetTransform(mVG);
  nvgScale(mVG, GetDrawScale(), GetDrawScale());
  if (const IOffscreenLayer* layer = TopLayer())
    nvgTranslate(mVG, -layer->bounds.L, -layer->bounds.T);
  nvgTransform(mVG, static_cast<float>(m.xx), static_cast<float>(m.yx), static_cast<float>(m.xy),
               static_cast<float>(m.yy), static_cast<float>(m.tx), static_cast<float>(m.ty));
}

void IGfxNanoVG::SetClipArea(const IArea& area)
{
  if (!mVG)
    return;
  mClip = area;
  if (area.Empty())
    nvgResetScissor(mVG); // no clip
  else
    nvgScissor(mVG, area.L, area.T, area.W(), area.H());
}

// --- Text -----------------------------------------------------------------------------------

void IGfxNanoVG::PlaceText(const ITextStyle& style, const char* text, const IArea& area, float& anchorX,
                           float& anchorY, float& offsetX, float& offsetY, IArea& bounds)
{
  int align = 0;
  switch (style.align)
  {
    case EAlign::Near: align |= NVG_ALIGN_LEFT; anchorX = area.L; break;
    case EAlign::Centre: align |= NVG_ALIGN_CENTER; anchorX = area.MW(); break;
    case EAlign::Far: align |= NVG_ALIGN_RIGHT; anchorX = area.R; break;
  }
  switch (style.valign)
  {
    case EVAlign::Top: align |= NVG_ALIGN_TOP; anchorY = area.T; break;
    case EVAlign::Middle: align |= NVG_ALIGN_MIDDLE; anchorY = area.MH(); break;
    case EVAlign::Bottom: align |= NVG_ALIGN_BOTTOM; anchorY = area.B; break;
  }
  nvgFontFace(mVG, style.font);
  nvgFontSize(mVG, style.size);
  nvgTextAlign(mVG, align);
  float box[4] = {0.f, 0.f, 0.f, 0.f};
  nvgTextBounds(mVG, anchorX, anchorY, text, nullptr, box);
  bounds = IArea(box[0], box[1], box[2], box[3]);
  offsetX = offsetY = 0.f;
  if (style.angle == 0.f)
    return;

  // Rotated text: the box of the rotated corners, moved to sit in the area as the alignment says.
  const double a = style.angle / 180.0 * 3.1415927;
  const double c = std::cos(a), s = std::sin(a);
  auto rotatedBox = [&](float x, float y1, float y2) {
    const float xa = static_cast<float>(c * x - s * y1), ya = static_cast<float>(s * x + c * y1);
    const float xb = static_cast<float>(c * x - s * y2), yb = static_cast<float>(s * x + c * y2);
    return IArea(std::min(xa, xb), std::min(ya, yb), std::max(xa, xb), std::max(ya, yb));
  };
  const IArea rotated =
    rotatedBox(bounds.L, bounds.T, bounds.B).Union(rotatedBox(bounds.R, bounds.T, bounds.B));
  switch (style.align)
  {
    case EAlign::Near: offsetX = area.L - rotated.L; break;
    case EAlign::Centre: offsetX = area.MW() - rotated.MW(); break;
    case EAlign::Far: offsetX = area.R - rotated.R; break;
  }
  switch (style.valign)
  {
    case EVAlign::Top: offsetY = area.T - rotated.T; break;
    case EVAlign::Middle: offsetY = area.MH() - rotated.MH(); break;
    case EVAlign::Bottom: offsetY = area.B - rotated.B; break;
  }
  bounds = rotated.GetTranslated(offsetX, offsetY);
}

float IGfxNanoVG::MeasureTextImpl(const ITextStyle& style, const char* text, IArea& bounds)
{
  if (!mVG || !text)
    return 0.f;
  float anchorX = 0.f, anchorY = 0.f, offsetX = 0.f, offsetY = 0.f;
  const IArea area = bounds;
  // Outside a frame NanoVG still holds the transform the last drawing left,
  // and glyph metrics follow its scale: measure unscaled.
  if (!mInFrame)
  {
    nvgSave(mVG);
    nvgResetTransform(mVG);
  }
  PlaceText(style, text, area, anchorX, anchorY, offsetX, offsetY, bounds);
  if (!mInFrame)
    nvgRestore(mVG);
  return bounds.W();
}

void IGfxNanoVG::PrintTextImpl(const ITextStyle& style, const char* text, const IArea& area, const IBlendMode* blend)
{
  if (!mVG || !text)
    return;
  float anchorX = 0.f, anchorY = 0.f, offsetX = 0.f, offsetY = 0.f;
  IArea bounds;
  PlaceText(style, text, area, anchorX, anchorY, offsetX, offsetY, bounds);
  PushTransform();
  if (style.angle != 0.f)
  {
    TranslateTransform(offsetX, offsetY);
    RotateTransform(style.angle);
  }
  nvgFillColor(mVG, ToNVGColour(style.colour, BlendWeight(blend)));
  SetBlend(blend);
  nvgText(mVG, anchorX, anchorY, text, nullptr);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  PopTransform();
}

} // namespace gfx
