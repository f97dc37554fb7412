#pragma once

// The editor's size rules, shared by the graphics context (which sizes its
// window) and the host binding (which answers the host's size questions
// before and while the window exists): the one formula from an editor size
// to window pixels, and the fitting of a size and draw scale into the size
// limits.

namespace plug {

/** The editor's size limits in pixels at draw scale 1 and display scale 1. */
struct EditorSizeLimits
{
  int minWidth;
  int maxWidth;
  int minHeight;
  int maxHeight;
};

/**
 * int(int(length x drawScale) x factor): an editor length in window pixels,
 * factor being the display or window scale. Never negative, and a length
 * beyond what an int holds stops at its largest value instead of wrapping.
 */
int WindowLength(int length, float drawScale, float factor);

/**
 * Brings width and height into the limits so that the scaled size
 * (WindowLength at factor 1) lies inside them as well. The draw scale is the
 * user's zoom and stays, unless no size could fit at it (beyond max / min of
 * the limits); the size gives way. scale must be finite and positive.
 */
void FitEditorSize(const EditorSizeLimits& limits, int& width, int& height, float& scale);

} // namespace plug
