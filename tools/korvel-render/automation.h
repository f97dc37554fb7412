#pragma once

#include "options.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvel::render {

class Plugin;

// Reads 'seconds,value' lines; blank lines, '#' comments and a first line
// that is not numeric (a header) are skipped. Throws RenderError naming the line.
std::vector<Breakpoint> readAutomationCsv(const std::string& path);

// One parameter's automation as a host plays it: normalized values at frames,
// in straight lines between the points (or steps for a stepped parameter), the
// first value held from frame 0 and the last one to the end.
class AutomationLane
{
public:
    struct Point
    {
        std::int64_t frame = 0;
        double normalized = 0.0;
    };

    // Points in time order; two that fall on the same frame keep the later value.
    AutomationLane(ParamId id, bool stepped, std::vector<Point> points);

    ParamId id() const { return id_; }
    const std::vector<Point>& points() const { return points_; }
    double valueAt(std::int64_t frame) const;

    // Adds to `queue` the points of the block [first, first + frames) at their
    // offsets in the block: the value at offset 0 of the very first block, every
    // point of the curve inside the block, for a step also the frame before it,
    // and the value at the block's last frame while a ramp is running, so that a
    // plug-in interpolating between queue points follows the curve exactly.
    void addBlockPoints(std::int64_t first, int frames, Steinberg::Vst::IParamValueQueue& queue) const;

private:
    ParamId id_;
    bool stepped_;
    std::vector<Point> points_;
};

// Turns the user's curves into lanes at a sample rate: reads --automate files,
// converts plain values through the plug-in (range-checked) and seconds to frames.
std::vector<AutomationLane> makeAutomationLanes(Plugin& plugin, const std::vector<AutomationSetting>& settings,
                                                double sampleRate);

} // namespace korvel::render
