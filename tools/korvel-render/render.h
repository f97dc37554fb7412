#pragma once

#include "automation.h"
#include "buses.h"
#include "options.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace korvel::render {

class Plugin;
class AudioSource;
class AudioSink;

struct BlockReport
{
    std::int64_t index = 0;
    std::int64_t firstFrame = 0;
    int frames = 0;
    Steinberg::Vst::IParameterChanges* outputChanges = nullptr;
};

struct RenderJob
{
    AudioSource* input = nullptr;
    AudioSource* sidechain = nullptr; // optional; zero-padded when shorter than the input
    AudioSink* output = nullptr;      // optional
    int blockSize = 512;
    bool doublePrecision = false;
    // Normalized values sent as one point at offset 0 of the first block.
    std::vector<std::pair<ParamId, double>> initialChanges;
    // Curves delivered as queue points in every block, the way a host plays automation.
    std::vector<AutomationLane> automation;
    std::function<void(const BlockReport&)> afterBlock;
};

struct RenderStats
{
    std::int64_t frames = 0;
    std::int64_t blocks = 0;
    double processCpuSeconds = 0.0; // thread CPU time spent inside IAudioProcessor::process
};

// Sets up offline processing at the input's rate, streams the input through
// the plug-in block by block and stops processing again.
RenderStats render(Plugin& plugin, const BusLayout& buses, const RenderJob& job);

} // namespace korvel::render
