#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

namespace korvel::render {

// Indexes of the audio buses the renderer feeds and reads.
struct BusLayout
{
    int mainInput = -1;
    int sidechainInput = -1; // -1 while no side-chain is fed
    int mainOutput = -1;
};

// Arranges the main buses for `channels` and, when sidechainChannels > 0, the
// first auxiliary input for the side-chain and activates it. Throws RenderError
// if the plug-in does not accept that layout.
BusLayout arrangeBuses(Steinberg::Vst::IComponent& component, Steinberg::Vst::IAudioProcessor& processor,
                       int channels, int sidechainChannels);

} // namespace korvel::render
