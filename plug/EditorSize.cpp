#include "plug/EditorSize.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace plug {

namespace {

// A length truncated to whole pixels, stopping at the largest int.
int WholePixels(float length)
{
  constexpr float kBeyondInt = 2147483648.f;
  if (!(length > 0.f))
    return 0;
  return length >= kBeyondInt ? std::numeric_limits<int>::max() : static_cast<int>(length);
}

// The unscaled length nearest to length whose scaled length lies in [lo, hi].
int FitLength(int length, int lo, int hi, float scale)
{
  const auto scaled = [scale](int l) { return WindowLength(l, scale, 1.f); };
  length = std::clamp(length, lo, hi);
  if (scaled(length) > hi)
    length = std::clamp(static_cast<int>(std::floor(hi / static_cast<double>(scale))), lo, hi);
  else if (scaled(length) < lo)
    length = std::clamp(static_cast<int>(std::ceil(lo / static_cast<double>(scale))), lo, hi);
  // The quotient is rounded where the scaled length is truncated: a pixel either way.
  while (scaled(length) > hi && length > lo)
    --length;
  while (scaled(length) < lo && length < hi)
    ++length;
  return length;
}

} // namespace

int WindowLength(int length, float drawScale, float factor)
{
  return WholePixels(static_cast<float>(WholePixels(static_cast<float>(length) * drawScale)) * factor);
}

void FitEditorSize(const EditorSizeLimits& limits, int& width, int& height, float& scale)
{
  if (limits.maxWidth <= 0 || limits.maxHeight <= 0)
    return;
  const float minW = static_cast<float>(std::max(limits.minWidth, 1));
  const float minH = static_cast<float>(std::max(limits.minHeight, 1));
  const float maxW = static_cast<float>(limits.maxWidth);
  const float maxH = static_cast<float>(limits.maxHeight);
  // At the smallest of these scales the largest size just reaches the lower
  // limits; at the largest the smallest size just reaches the upper ones.
  scale = std::clamp(scale, std::max(minW / maxW, minH / maxH), std::min(maxW / minW, maxH / minH));
  width = FitLength(width, limits.minWidth, limits.maxWidth, scale);
  height = FitLength(height, limits.minHeight, limits.maxHeight, scale);
}

} // namespace plug
