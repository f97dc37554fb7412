// A tiny single-component VST3 effect whose output is an exact function of its
// input, so that the renderer's tests can predict every sample:
//   out[c] = in[c] * Gain + Sidechain Mix * sidechain[c % side-chain channels]
// Gain follows its queue points sample by sample, in straight lines from the
// last value of the block before, and every point it receives is echoed at the
// same offset as output parameter 3 (Gain Echo).
// It processes 32- and 64-bit samples, reports the Latency parameter as its
// latency, writes the block's output peak as output parameter 25 and the
// block's frame count into the controller's parameter 26 (for a host that
// reads meters from the controller). Its state is a tag and three doubles.
// Built with TEST_EFFECT_WITHOUT_AUDIO_CLASS the factory offers only a
// controller class, like a broken bundle.

#include "base/source/fstreamer.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/main/pluginfactory.h"
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

enum ParamIds : ParamID
{
    kGain = 0,
    kSidechainMix = 1,
    kLatency = 2,
    kGainEcho = 3,
    kPeakMeter = 25,
    kFramesMeter = 26,
};

constexpr int64 kStateTag = 0x4B52544553543031; // "KRTEST01"
constexpr double kMaxLatency = 1000.0;
constexpr double kMaxFrames = 65536.0;

bool acceptedChannels(SpeakerArrangement arrangement)
{
    return arrangement == SpeakerArr::kMono || arrangement == SpeakerArr::kStereo;
}

class TestEffect : public SingleComponentEffect
{
public:
    static FUnknown* createInstance(void*) { return static_cast<IAudioProcessor*>(new TestEffect); }

    tresult PLUGIN_API initialize(FUnknown* context) override
    {
        if (SingleComponentEffect::initialize(context) != kResultOk)
            return kResultFalse;
        addAudioInput(u"Main", SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
        addAudioInput(u"Sidechain", SpeakerArr::kStereo, kAux, 0);
        addAudioOutput(u"Out", SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
        parameters.addParameter(new RangeParameter(u"Gain", kGain, u"x", 0.0, 2.0, 1.0));
        parameters.addParameter(new RangeParameter(u"Sidechain Mix", kSidechainMix, nullptr, 0.0, 1.0, 0.0));
        parameters.addParameter(new RangeParameter(u"Latency", kLatency, u"smp", 0.0, kMaxLatency, 0.0,
                                                   static_cast<int32>(kMaxLatency)));
        parameters.addParameter(new RangeParameter(u"Gain Echo", kGainEcho, u"x", 0.0, 2.0, 1.0, 0,
                                                   ParameterInfo::kIsReadOnly));
        parameters.addParameter(new RangeParameter(u"Peak", kPeakMeter, nullptr, 0.0, 1.0, 0.0, 0,
                                                   ParameterInfo::kIsReadOnly));
        parameters.addParameter(new RangeParameter(u"Block Frames", kFramesMeter, nullptr, 0.0, kMaxFrames, 0.0, 0,
                                                   ParameterInfo::kIsReadOnly));
        return kResultOk;
    }

    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                          int32 numOuts) override
    {
        if (numIns != 2 || numOuts != 1 || inputs[0] != outputs[0] || !acceptedChannels(inputs[0]) ||
            !acceptedChannels(inputs[1]))
            return kResultFalse;
        return SingleComponentEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
    }

    tresult PLUGIN_API canProcessSampleSize(int32 size) override
    {
        return size == kSample32 || size == kSample64 ? kResultTrue : kResultFalse;
    }

    uint32 PLUGIN_API getLatencySamples() override { return static_cast<uint32>(std::lround(latency_)); }

    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override
    {
        gainCurve_.assign(static_cast<size_t>(std::max(setup.maxSamplesPerBlock, 1)), gain_);
        return SingleComponentEffect::setupProcessing(setup);
    }

    tresult PLUGIN_API process(ProcessData& data) override
    {
        IParamValueQueue* gainQueue = applyChanges(data.inputParameterChanges);
        followGain(gainQueue, data.numSamples);
        echo(gainQueue, data.outputParameterChanges);
        if (data.numSamples > static_cast<int32>(gainCurve_.size()))
            return kInvalidArgument;
        if (data.numOutputs < 1 || data.numSamples <= 0)
            return kResultOk;
        double peak = data.symbolicSampleSize == kSample64 ? processAudio<Sample64>(data)
                                                            : processAudio<Sample32>(data);
        reportMeters(data, peak);
        return kResultOk;
    }

    tresult PLUGIN_API setState(IBStream* stream) override
    {
        IBStreamer reader(stream, kLittleEndian);
        int64 tag = 0;
        double gain = 0.0, mix = 0.0, latency = 0.0;
        if (!reader.readInt64(tag) || tag != kStateTag || !reader.readDouble(gain) || !reader.readDouble(mix) ||
            !reader.readDouble(latency))
            return kResultFalse;
        setPlain(kGain, gain);
        setPlain(kSidechainMix, mix);
        setPlain(kLatency, latency);
        return kResultOk;
    }

    tresult PLUGIN_API getState(IBStream* stream) override
    {
        IBStreamer writer(stream, kLittleEndian);
        return writer.writeInt64(kStateTag) && writer.writeDouble(gain_) && writer.writeDouble(mix_) &&
                       writer.writeDouble(latency_)
                   ? kResultOk
                   : kResultFalse;
    }

private:
    void setPlain(ParamID id, double plain)
    {
        auto* parameter = parameters.getParameter(id);
        parameter->setNormalized(parameter->toNormalized(plain));
        store(id, parameter->getNormalized());
    }

    void store(ParamID id, ParamValue normalized)
    {
        double plain = parameters.getParameter(id)->toPlain(normalized);
        if (id == kGain)
            gain_ = plain;
        else if (id == kSidechainMix)
            mix_ = plain;
        else if (id == kLatency)
            latency_ = plain;
    }

    // Applies the last point of every queue but Gain's, which is returned.
    IParamValueQueue* applyChanges(IParameterChanges* changes)
    {
        IParamValueQueue* gainQueue = nullptr;
        if (!changes)
            return gainQueue;
        for (int32 q = 0; q < changes->getParameterCount(); ++q)
        {
            auto* queue = changes->getParameterData(q);
            if (queue && queue->getParameterId() == kGain)
            {
                gainQueue = queue;
                continue;
            }
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue && queue->getPointCount() > 0 &&
                queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
                store(queue->getParameterId(), value);
        }
        return gainQueue;
    }

    void followGain(IParamValueQueue* queue, int32 frames)
    {
        const int32 count = std::min(frames, static_cast<int32>(gainCurve_.size()));
        int32 from = -1;
        double start = gain_;
        for (int32 p = 0; queue && p < queue->getPointCount(); ++p)
        {
            int32 offset = 0;
            ParamValue normalized = 0.0;
            if (queue->getPoint(p, offset, normalized) != kResultOk || offset <= from)
                continue;
            double target = parameters.getParameter(kGain)->toPlain(normalized);
            for (int32 i = std::max(from + 1, 0); i <= offset && i < count; ++i)
                gainCurve_[static_cast<size_t>(i)] =
                    start + (target - start) * static_cast<double>(i - from) / static_cast<double>(offset - from);
            from = offset;
            start = target;
        }
        for (int32 i = std::max(from + 1, 0); i < count; ++i)
            gainCurve_[static_cast<size_t>(i)] = start;
        gain_ = start;
    }

    static void echo(IParamValueQueue* queue, IParameterChanges* outputs)
    {
        if (!queue || !outputs)
            return;
        int32 index = 0;
        auto* echoQueue = outputs->addParameterData(kGainEcho, index);
        for (int32 p = 0; echoQueue && p < queue->getPointCount(); ++p)
        {
            int32 offset = 0;
            ParamValue normalized = 0.0;
            if (queue->getPoint(p, offset, normalized) == kResultOk)
                echoQueue->addPoint(offset, normalized, index);
        }
    }

    template <typename Sample>
    static Sample** channels(AudioBusBuffers& bus)
    {
        if constexpr (std::is_same_v<Sample, Sample32>)
            return bus.channelBuffers32;
        else
            return bus.channelBuffers64;
    }

    bool sidechainActive(const ProcessData& data) const
    {
        return data.numInputs > 1 && audioInputs.size() > 1 && audioInputs[1]->isActive() &&
               data.inputs[1].numChannels > 0;
    }

    template <typename Sample>
    double processAudio(ProcessData& data)
    {
        AudioBusBuffers& out = data.outputs[0];
        AudioBusBuffers* sidechain = sidechainActive(data) ? &data.inputs[1] : nullptr;
        const auto mix = static_cast<Sample>(mix_);
        double peak = 0.0;
        for (int32 c = 0; c < out.numChannels; ++c)
        {
            const Sample* in = c < data.inputs[0].numChannels ? channels<Sample>(data.inputs[0])[c] : nullptr;
            const Sample* side = sidechain ? channels<Sample>(*sidechain)[c % sidechain->numChannels] : nullptr;
            Sample* dest = channels<Sample>(out)[c];
            for (int32 i = 0; i < data.numSamples; ++i)
            {
                Sample value = in ? in[i] * static_cast<Sample>(gainCurve_[static_cast<size_t>(i)]) : Sample(0);
                if (side)
                    value += mix * side[i];
                dest[i] = value;
                peak = std::max(peak, std::fabs(static_cast<double>(value)));
            }
        }
        return peak;
    }

    void reportMeters(ProcessData& data, double peak)
    {
        if (data.outputParameterChanges)
        {
            int32 index = 0;
            if (auto* queue = data.outputParameterChanges->addParameterData(kPeakMeter, index))
                queue->addPoint(data.numSamples - 1, std::min(peak, 1.0), index);
        }
        parameters.getParameter(kFramesMeter)->setNormalized(data.numSamples / kMaxFrames);
    }

    double gain_ = 1.0;
    std::vector<double> gainCurve_ = std::vector<double>(1, 1.0);
    double mix_ = 0.0;
    double latency_ = 0.0;
};

} // namespace

BEGIN_FACTORY_DEF("korvel tests", "", "")
#ifdef TEST_EFFECT_WITHOUT_AUDIO_CLASS
DEF_CLASS2(INLINE_UID(0x6B72746E, 0x6F617564, 0x696F636C, 0x61737321), PClassInfo::kManyInstances,
           kVstComponentControllerClass, "Render Test Controller", 0, "", "1.0.0", kVstVersionString,
           TestEffect::createInstance)
#else
DEF_CLASS2(INLINE_UID(0x6B727465, 0x73746566, 0x66656374, 0x30303031), PClassInfo::kManyInstances,
           kVstAudioEffectClass, "Render Test Effect", Vst::kDistributable, "Fx", "1.0.0", kVstVersionString,
           TestEffect::createInstance)
#endif
END_FACTORY
