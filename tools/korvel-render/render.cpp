#include "render.h"

#include "errors.h"
#include "plugin.h"
#include "sound_file.h"

#include "public.sdk/source/vst/hosting/eventlist.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <algorithm>
#include <ctime>
#include <type_traits>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace korvel::render {
namespace {

double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Offline processing from setupProcessing to setActive(false); the destructor
// stops processing on every path out of the render.
class ProcessingSession
{
public:
    ProcessingSession(Plugin& plugin, double sampleRate, int blockSize, bool doublePrecision) : plugin_(plugin)
    {
        auto& processor = plugin.processor();
        int32 sampleSize = doublePrecision ? kSample64 : kSample32;
        if (processor.canProcessSampleSize(sampleSize) != kResultTrue)
            throw RenderError("plug-in " + plugin.name() + " cannot process " + (doublePrecision ? "64" : "32") +
                              "-bit samples (--precision)");
        ProcessSetup setup {kOffline, sampleSize, blockSize, sampleRate};
        if (processor.setupProcessing(setup) != kResultOk)
            throw RenderError("plug-in " + plugin.name() + " refuses offline processing at " +
                              std::to_string(static_cast<int>(sampleRate)) + " Hz with blocks of " +
                              std::to_string(blockSize));
        if (plugin.component().setActive(true) != kResultOk)
            throw RenderError("plug-in " + plugin.name() + " could not be activated");
        // Many plug-ins answer kNotImplemented here, which is no failure.
        if (processor.setProcessing(true) == kResultFalse)
        {
            plugin.component().setActive(false);
            throw RenderError("plug-in " + plugin.name() + " could not start processing");
        }
    }

    ~ProcessingSession()
    {
        plugin_.processor().setProcessing(false);
        plugin_.component().setActive(false);
    }

private:
    Plugin& plugin_;
};

template <typename Sample>
Sample** channelsOf(AudioBusBuffers& bus)
{
    if constexpr (std::is_same_v<Sample, float>)
        return bus.channelBuffers32;
    else
        return bus.channelBuffers64;
}

template <typename Sample>
void deinterleave(const Sample* interleaved, int frames, AudioBusBuffers& bus)
{
    Sample** channels = channelsOf<Sample>(bus);
    const int count = bus.numChannels;
    for (int c = 0; c < count; ++c)
    {
        Sample* out = channels[c];
        for (int i = 0; i < frames; ++i)
            out[i] = interleaved[i * count + c];
    }
}

template <typename Sample>
void interleave(AudioBusBuffers& bus, int frames, Sample* interleaved)
{
    Sample** channels = channelsOf<Sample>(bus);
    const int count = bus.numChannels;
    for (int c = 0; c < count; ++c)
    {
        const Sample* in = channels[c];
        for (int i = 0; i < frames; ++i)
            interleaved[i * count + c] = in[i];
    }
}

template <typename Sample>
void clearBuses(AudioBusBuffers* buses, int count, int frames)
{
    for (int b = 0; b < count; ++b)
        for (int c = 0; c < buses[b].numChannels; ++c)
            std::fill_n(channelsOf<Sample>(buses[b])[c], frames, Sample(0));
}

void checkChannels(const AudioBusBuffers& bus, int expected, const char* what)
{
    if (bus.numChannels != expected)
        throw RenderError(std::string("the plug-in's ") + what + " bus has " + std::to_string(bus.numChannels) +
                          " channels instead of " + std::to_string(expected));
}

ProcessContext offlineContext(double sampleRate)
{
    ProcessContext context {};
    context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                    ProcessContext::kContTimeValid;
    context.sampleRate = sampleRate;
    context.tempo = 120.0;
    context.timeSigNumerator = 4;
    context.timeSigDenominator = 4;
    return context;
}

// A host tells the controller about the values the processor reported.
void forwardToController(IParameterChanges& changes, IEditController& controller)
{
    for (int32 q = 0; q < changes.getParameterCount(); ++q)
    {
        IParamValueQueue* queue = changes.getParameterData(q);
        int32 points = queue ? queue->getPointCount() : 0;
        int32 offset = 0;
        ParamValue value = 0.0;
        if (points > 0 && queue->getPoint(points - 1, offset, value) == kResultOk)
            controller.setParamNormalized(queue->getParameterId(), value);
    }
}

template <typename Sample>
RenderStats renderBlocks(Plugin& plugin, const BusLayout& buses, const RenderJob& job)
{
    AudioSource& input = *job.input;
    const int block = job.blockSize;
    HostProcessData data;
    data.prepare(plugin.component(), block, std::is_same_v<Sample, float> ? kSample32 : kSample64);
    clearBuses<Sample>(data.inputs, data.numInputs, block);
    checkChannels(data.inputs[buses.mainInput], input.channels(), "main input");
    checkChannels(data.outputs[buses.mainOutput], input.channels(), "main output");
    if (job.sidechain)
        checkChannels(data.inputs[buses.sidechainInput], job.sidechain->channels(), "side-chain");

    ParameterChanges inputChanges, outputChanges;
    EventList inputEvents, outputEvents;
    ProcessContext context = offlineContext(input.sampleRate());
    data.processMode = kOffline;
    data.inputParameterChanges = &inputChanges;
    data.outputParameterChanges = &outputChanges;
    data.inputEvents = &inputEvents;
    data.outputEvents = &outputEvents;
    data.processContext = &context;

    std::vector<Sample> inFrames(static_cast<size_t>(block) * input.channels());
    std::vector<Sample> sidechainFrames(job.sidechain ? static_cast<size_t>(block) * job.sidechain->channels() : 0);
    std::vector<Sample> outFrames(static_cast<size_t>(block) * input.channels());

    RenderStats stats;
    while (int frames = static_cast<int>(input.read(inFrames.data(), block)))
    {
        deinterleave(inFrames.data(), frames, data.inputs[buses.mainInput]);
        if (job.sidechain)
        {
            auto got = job.sidechain->read(sidechainFrames.data(), frames);
            std::fill(sidechainFrames.begin() + got * job.sidechain->channels(), sidechainFrames.end(), Sample(0));
            deinterleave(sidechainFrames.data(), frames, data.inputs[buses.sidechainInput]);
        }
        inputChanges.clearQueue();
        if (stats.blocks == 0)
            for (const auto& [id, normalized] : job.initialChanges)
            {
                int32 index = 0;
                if (auto* queue = inputChanges.addParameterData(id, index))
                    queue->addPoint(0, normalized, index);
            }
        for (const auto& lane : job.automation)
        {
            int32 index = 0;
            if (auto* queue = inputChanges.addParameterData(lane.id(), index))
                lane.addBlockPoints(stats.frames, frames, *queue);
        }
        outputChanges.clearQueue();
        outputEvents.clear();
        data.numSamples = frames;
        context.projectTimeSamples = stats.frames;
        context.continousTimeSamples = stats.frames;

        double start = threadCpuSeconds();
        tresult result = plugin.processor().process(data);
        stats.processCpuSeconds += threadCpuSeconds() - start;
        if (result != kResultOk)
            throw RenderError("plug-in " + plugin.name() + " failed to process block " + std::to_string(stats.blocks));

        if (job.output)
        {
            interleave(data.outputs[buses.mainOutput], frames, outFrames.data());
            job.output->write(outFrames.data(), frames);
        }
        forwardToController(outputChanges, plugin.controller());
        if (job.afterBlock)
            job.afterBlock({stats.blocks, stats.frames, frames, &outputChanges});
        stats.frames += frames;
        ++stats.blocks;
    }
    return stats;
}

} // namespace

RenderStats render(Plugin& plugin, const BusLayout& buses, const RenderJob& job)
{
    ProcessingSession session(plugin, job.input->sampleRate(), job.blockSize, job.doublePrecision);
    return job.doublePrecision ? renderBlocks<double>(plugin, buses, job) : renderBlocks<float>(plugin, buses, job);
}

} // namespace korvel::render
