// A test module for the SDK's validator (validator -test-component): for each
// factory preset it loads the preset's component state into the plug-in under
// test, which has to accept it and give back the same state. KORVEL's state
// ends in a 32-bit bypass word that loading gives to the host's bypass
// parameter, while saving writes the processor's own bypass flag (which the
// host changes through processing, as the validator's bypass tests do): that
// word is checked on the controller's bypass parameter instead.
// The presets come from $KORVEL_PRESET_DIR, else from this build's folder.

#include "errors.h"
#include "preset_file.h"

#include "pluginterfaces/base/funknownimpl.h"
#include "pluginterfaces/test/itest.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsttestplugprovider.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/main/pluginfactory.h"
#include "public.sdk/source/vst/utility/stringconvert.h"
#include "public.sdk/source/vst/utility/uid.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

void report(ITestResult* result, const std::string& text, bool error)
{
    auto wide = VST3::StringConvert::convert(text);
    if (!result)
        return;
    if (error)
        result->addErrorMessage(reinterpret_cast<const tchar*>(wide.c_str()));
    else
        result->addMessage(reinterpret_cast<const tchar*>(wide.c_str()));
}

std::vector<char> stateOf(IComponent& component)
{
    auto stream = owned(new MemoryStream);
    if (component.getState(stream) != kResultOk)
        return {};
    return {stream->getData(), stream->getData() + stream->getSize()};
}

std::string differenceOf(const std::vector<char>& a, const std::vector<char>& b)
{
    if (a.size() != b.size())
        return "(" + std::to_string(a.size()) + " bytes instead of " + std::to_string(b.size()) + ")";
    auto at = std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin();
    return "(first at byte " + std::to_string(at) + ")";
}

constexpr std::size_t kBypassWordSize = 4;

double bypassParameter(IEditController& controller)
{
    ParameterInfo info {};
    for (int32 i = 0; i < controller.getParameterCount(); ++i)
        if (controller.getParameterInfo(i, info) == kResultOk && (info.flags & ParameterInfo::kIsBypass))
            return controller.getParamNormalized(info.id);
    return -1.0;
}

class FactoryPresetTest : public U::Implements<U::Directly<ITest>>
{
public:
    FactoryPresetTest(IPtr<ITestPlugProvider> provider, std::string path)
    : provider_(std::move(provider)), path_(std::move(path))
    {
    }

    bool PLUGIN_API setup() override { return true; }
    bool PLUGIN_API teardown() override { return true; }

    bool PLUGIN_API run(ITestResult* result) override
    {
        std::ifstream file(path_, std::ios::binary);
        std::vector<char> bytes {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        korvel::render::PresetContents preset;
        try
        {
            preset = korvel::render::readPresetFile(bytes, path_);
        }
        catch (const korvel::render::RenderError& e)
        {
            report(result, e.what(), true);
            return false;
        }
        FUID uid;
        if (provider_->getComponentUID(uid) != kResultOk)
        {
            report(result, "the validator does not tell the class ID", true);
            return false;
        }
        TUID raw;
        uid.toTUID(raw);
        const auto& bytesOfId = reinterpret_cast<const char(&)[16]>(raw);
        if (preset.classId != korvel::render::classIdComForm(bytesOfId) &&
            preset.classId != korvel::render::classIdByteForm(bytesOfId))
        {
            report(result, path_ + " is for class " + preset.classId + ", not for the plug-in under test", true);
            return false;
        }

        const auto& expected = preset.componentState;
        if (expected.size() < kBypassWordSize)
        {
            report(result, path_ + ": the component state is too short", true);
            return false;
        }
        IComponent* component = provider_->getComponent();
        IEditController* controller = provider_->getController();
        if (!component || !controller)
            return false;
        bool passed = false;
        auto stream = owned(new MemoryStream(const_cast<char*>(expected.data()), static_cast<TSize>(expected.size())));
        auto state = component->setState(stream) == kResultOk ? stateOf(*component) : std::vector<char>();
        std::int32_t bypassWord = 0;
        std::memcpy(&bypassWord, expected.data() + expected.size() - kBypassWordSize, kBypassWordSize);
        if (state.empty())
            report(result, "the plug-in rejected the state of " + path_, true);
        else if (state.size() != expected.size() ||
                 !std::equal(expected.begin(), expected.end() - kBypassWordSize, state.begin()))
            report(result, "the plug-in's state after loading " + path_ + " differs from the preset's " +
                               differenceOf(state, expected), true);
        else if (bypassParameter(*controller) != static_cast<double>(bypassWord))
            report(result, "the host's bypass parameter does not show the preset's bypass word", true);
        else
        {
            report(result, "loaded " + path_, false);
            passed = true;
        }
        provider_->releasePlugIn(component, controller);
        return passed;
    }

private:
    IPtr<ITestPlugProvider> provider_;
    std::string path_;
};

std::vector<std::string> presetFiles()
{
    const char* folder = std::getenv("KORVEL_PRESET_DIR");
    std::string dir = folder && *folder ? folder : KORVEL_FACTORY_PRESET_DIR;
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error))
        if (entry.path().extension() == ".vstpreset")
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

class PresetTestFactory : public U::Implements<U::Directly<ITestFactory>>
{
public:
    static FUnknown* createInstance(void*) { return static_cast<ITestFactory*>(new PresetTestFactory); }

    tresult PLUGIN_API createTests(FUnknown* context, ITestSuite* parentSuite) override
    {
        auto provider = U::cast<ITestPlugProvider>(context);
        if (!provider || !parentSuite)
            return kResultFalse;
        auto paths = presetFiles();
        if (paths.empty())
            return kResultFalse;
        for (const auto& path : paths)
        {
            auto name = "Factory preset " + std::filesystem::path(path).stem().string();
            auto test = owned(new FactoryPresetTest(provider, path));
            parentSuite->addTest(name.c_str(), test);
        }
        return kResultTrue;
    }
};

} // namespace

BEGIN_FACTORY_DEF("Vantrel", "", "")
DEF_CLASS2(INLINE_UID(0x4B525650, 0x52455345, 0x54434845, 0x434B3031), PClassInfo::kManyInstances, kTestClass,
           "KORVEL factory presets", 0, "", "1.0.0", kVstVersionString, PresetTestFactory::createInstance)
END_FACTORY
