#pragma once

// Comparing rendered pictures with committed PNGs ("goldens").
//
// A picture matches when every channel of every pixel is within
// kGoldenTolerance of the golden. Both targets render with Mesa's llvmpipe
// (Wine's opengl32 hands WGL to the same driver), which is deterministic for
// a given input, so a picture only changes when the drawing changes. The
// small tolerance absorbs the last-bit differences of anti-aliased edge and
// glyph coverage that two compilers' float code (GCC for Linux, MinGW for
// Windows) can produce in NanoVG's tessellation and stb_truetype; every fault
// these tests look for (wrong scale, flipped axis, premultiplied alpha taken
// as straight, a clip that leaks, a neighbouring frame of a strip) changes
// whole areas by far more.
//
// On a mismatch the actual picture and a difference picture (|a - b| per
// channel, scaled x8 so that small errors show, alpha forced opaque) are
// written to the golden output folder as NAME.actual.png and NAME.diff.png.
//
// To (re)generate goldens on purpose, run the tests with KORVEL_UPDATE_GOLDENS=1
// in the environment: the pictures are then written into the source tree's
// golden folder instead of compared, and the test reports each file written.

#include "GLTestContext.h"

#include <gtest/gtest.h>

#include <string>

namespace gfxtest {

constexpr int kGoldenTolerance = 3;

bool LoadPng(const std::string& path, Image& image);
bool SavePng(const std::string& path, const Image& image);

/**
 * Compares the picture with the golden NAME.png (see above). A check with
 * mayUpdate false only ever compares (for a second way of drawing the same picture).
 */
::testing::AssertionResult MatchesGolden(const std::string& name, const Image& actual,
                                         int tolerance = kGoldenTolerance, bool mayUpdate = true);

} // namespace gfxtest
