#pragma once

// What the window tests of every platform share: a delegate with two
// parameters that records the edits the editor reports, and the probe
// layout's geometry and colours.

#include "gfx/GfxTypes.h"

namespace gfx {
class IGfx;
}

#include "plug/IGfxEditorDelegate.h"

#include <functional>
#include <string>
#include <vector>

namespace gfxtest {

/** Parameter 0: "Gain" -20..10 (double), parameter 1: "Steps" 0..10 (integer). */
class TestDelegate : public plug::IGfxEditorDelegate
{
public:
  TestDelegate();
  std::vector<std::string> edits; // Begin(i), Set(i,v), End(i) as the editor reports them
  void BeginHostEditFromEditor(int paramIdx) override;
  void SetParameterFromEditor(int paramIdx, double normalized) override;
  void EndHostEditFromEditor(int paramIdx) override;
  int frameTicks = 0;
  std::function<void()> onFrameTick; // run by each frame tick's delegate work
  void OnEditorFrameTick(double framePeriodMs) override;
};

// The probe layout, 300 x 120 unscaled pixels.
constexpr int kLayoutWidth = 300;
constexpr int kLayoutHeight = 120;
const gfx::IArea kAreaA{10.f, 10.f, 110.f, 60.f};  // "A", red, no parameter
const gfx::IArea kAreaB{150.f, 10.f, 250.f, 60.f}; // "B", green, parameter 0
const gfx::IArea kAreaC{10.f, 70.f, 290.f, 110.f}; // "C", blue, parameter 1
const gfx::IRgba kBackgroundColour{255, 40, 40, 40};
const gfx::IRgba kColourA{255, 220, 30, 30};
const gfx::IRgba kColourB{255, 30, 200, 60};
const gfx::IRgba kColourC{255, 40, 70, 230};

/**
 * Decodes and uploads a 2 x 2 PNG under a name no earlier call used (so the
 * upload really happens), as a layout loading its artwork does; true when the
 * backend took it.
 */
bool LoadProbeImage(gfx::IGfx& g);

/** The log entries that start with prefix (e.g. "A:"). */
std::vector<std::string> EntriesOf(const std::vector<std::string>& log, const std::string& prefix);

} // namespace gfxtest
