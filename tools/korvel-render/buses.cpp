#include "buses.h"

#include "errors.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace korvel::render {
namespace {

int findBus(IComponent& component, BusDirection direction, BusType type)
{
    int32 count = component.getBusCount(kAudio, direction);
    for (int32 i = 0; i < count; ++i)
    {
        BusInfo info {};
        if (component.getBusInfo(kAudio, direction, i, info) == kResultOk && info.busType == type)
            return i;
    }
    return -1;
}

SpeakerArrangement arrangementFor(int channels)
{
    return channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
}

std::vector<SpeakerArrangement> currentArrangements(IComponent& component, IAudioProcessor& processor,
                                                    BusDirection direction)
{
    std::vector<SpeakerArrangement> arrangements(static_cast<size_t>(component.getBusCount(kAudio, direction)));
    for (size_t i = 0; i < arrangements.size(); ++i)
        processor.getBusArrangement(direction, static_cast<int32>(i), arrangements[i]);
    return arrangements;
}

int channelsOf(IAudioProcessor& processor, BusDirection direction, int bus)
{
    SpeakerArrangement arrangement = 0;
    processor.getBusArrangement(direction, bus, arrangement);
    return SpeakerArr::getChannelCount(arrangement);
}

std::string describe(int channels)
{
    return channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + "-channel";
}

void activate(IComponent& component, BusDirection direction, int bus, const char* what)
{
    if (component.activateBus(kAudio, direction, bus, true) != kResultOk)
        throw RenderError(std::string("the plug-in refuses to activate its ") + what + " bus");
}

} // namespace

BusLayout arrangeBuses(IComponent& component, IAudioProcessor& processor, int channels, int sidechainChannels)
{
    BusLayout layout;
    layout.mainInput = findBus(component, kInput, kMain);
    layout.mainOutput = findBus(component, kOutput, kMain);
    if (layout.mainInput < 0 || layout.mainOutput < 0)
        throw RenderError("the plug-in has no main audio input and output");
    if (sidechainChannels > 0)
    {
        layout.sidechainInput = findBus(component, kInput, kAux);
        if (layout.sidechainInput < 0)
            throw RenderError("the plug-in has no side-chain input bus");
    }

    auto inputs = currentArrangements(component, processor, kInput);
    auto outputs = currentArrangements(component, processor, kOutput);
    inputs[layout.mainInput] = arrangementFor(channels);
    outputs[layout.mainOutput] = arrangementFor(channels);
    if (layout.sidechainInput >= 0)
        inputs[layout.sidechainInput] = arrangementFor(sidechainChannels);
    // The answer alone does not tell what was accepted: a plug-in may refuse
    // one bus and adapt the others, so the resulting arrangements are checked.
    processor.setBusArrangements(inputs.data(), static_cast<int32>(inputs.size()), outputs.data(),
                                 static_cast<int32>(outputs.size()));
    if (channelsOf(processor, kInput, layout.mainInput) != channels ||
        channelsOf(processor, kOutput, layout.mainOutput) != channels)
        throw RenderError("the plug-in does not accept a " + describe(channels) + " input and output");
    if (layout.sidechainInput >= 0 && channelsOf(processor, kInput, layout.sidechainInput) != sidechainChannels)
        throw RenderError("the plug-in does not accept a " + describe(sidechainChannels) + " side-chain");

    activate(component, kInput, layout.mainInput, "main input");
    activate(component, kOutput, layout.mainOutput, "main output");
    if (layout.sidechainInput >= 0)
        activate(component, kInput, layout.sidechainInput, "side-chain");
    return layout;
}

} // namespace korvel::render
