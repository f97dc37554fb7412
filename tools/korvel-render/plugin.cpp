#include "plugin.h"

#include "errors.h"
#include "preset_file.h"

#include "pluginterfaces/base/funknownimpl.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/plugprovider.h"
#include "public.sdk/source/vst/utility/stringconvert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <strings.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace korvel::render {
namespace {

class RenderHostApplication : public HostApplication
{
public:
    tresult PLUGIN_API getName(String128 name) override
    {
        return VST3::StringConvert::convert("korvel-render", name) ? kResultTrue : kInternalError;
    }
};

// The SDK's host application is not reference counted (its addRef and
// release do nothing): it has to outlive every plug-in, so there is one per
// process.
HostApplication& hostApplication()
{
    static RenderHostApplication host;
    return host;
}

// Offline there is no user to see edits or restarts: accept and ignore them.
class OfflineComponentHandler : public U::Implements<U::Directly<IComponentHandler>>
{
public:
    tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
    tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
};

std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

VST3::Hosting::ClassInfo findEffectClass(const VST3::Hosting::PluginFactory& factory, const std::string& bundle)
{
    for (const auto& info : factory.classInfos())
        if (info.category() == kVstAudioEffectClass)
            return info;
    throw RenderError(bundle + ": no effect class (category \"" kVstAudioEffectClass "\") in the factory");
}

std::string formatNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::vector<char> readWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw RenderError(path + ": no such file");
    std::vector<char> bytes {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        throw RenderError(path + ": read error");
    return bytes;
}

} // namespace

Plugin::Plugin(const std::string& bundlePath)
{
    PluginContextFactory::instance().setPluginContext(&hostApplication());
    std::string bundle = withoutTrailingSlashes(bundlePath);
    std::string why;
    module_ = VST3::Hosting::Module::create(bundle, why);
    if (!module_)
        throw RenderError("cannot load plug-in " + bundle + ": " + oneLine(why));
    module_->getFactory().setHostContext(&hostApplication());
    auto effectClass = findEffectClass(module_->getFactory(), bundle);
    name_ = effectClass.name();
    classId_ = effectClass.ID();
    createInstance(effectClass);

    auto handler = owned(new OfflineComponentHandler);
    controller_->setComponentHandler(handler);
    componentHandler_ = handler;
}

// The provider creates and initializes component and controller (connecting
// them when they are separate objects) and terminates them when destroyed.
void Plugin::createInstance(const VST3::Hosting::ClassInfo& effectClass)
{
    std::ostringstream providerErrors;
    PlugProvider::setErrorStream(&providerErrors);
    provider_ = std::make_unique<PlugProvider>(module_->getFactory(), effectClass, true);
    bool ready = provider_->initialize();
    PlugProvider::setErrorStream(nullptr);
    component_ = provider_->getComponentPtr();
    controller_ = provider_->getControllerPtr();
    if (!ready || !component_ || !controller_)
    {
        auto details = oneLine(providerErrors.str());
        throw RenderError("cannot start plug-in " + name_ + (details.empty() ? "" : ": " + details));
    }
    processor_ = U::cast<IAudioProcessor>(component_);
    if (!processor_)
        throw RenderError("plug-in " + name_ + " is not an audio processor");
}

Plugin::~Plugin()
{
    if (controller_)
        controller_->setComponentHandler(nullptr);
}

std::vector<ParameterDescription> Plugin::parameters()
{
    std::vector<ParameterDescription> result;
    int32 count = controller_->getParameterCount();
    for (int32 i = 0; i < count; ++i)
    {
        ParameterDescription description;
        if (controller_->getParameterInfo(i, description.info) != kResultOk)
            continue;
        auto id = description.info.id;
        description.title = VST3::StringConvert::convert(description.info.title);
        description.units = VST3::StringConvert::convert(description.info.units);
        description.defaultPlain = controller_->normalizedParamToPlain(id, description.info.defaultNormalizedValue);
        description.minPlain = controller_->normalizedParamToPlain(id, 0.0);
        description.maxPlain = controller_->normalizedParamToPlain(id, 1.0);
        result.push_back(std::move(description));
    }
    return result;
}

std::optional<ParameterDescription> Plugin::findParameter(ParamId id)
{
    for (auto& description : parameters())
        if (description.info.id == id)
            return description;
    return std::nullopt;
}

double Plugin::normalizedFor(const ParamSetting& setting)
{
    auto description = findParameter(setting.id);
    if (!description)
        throw RenderError("plug-in " + name_ + " has no parameter " + std::to_string(setting.id) +
                          " (see --list-params)");
    auto label = "parameter " + std::to_string(setting.id) + " (" + description->title + ")";
    if (description->info.flags & ParameterInfo::kIsReadOnly)
        throw RenderError(label + " is read-only");
    double low = std::min(description->minPlain, description->maxPlain);
    double high = std::max(description->minPlain, description->maxPlain);
    // Tolerates the rounding of the plug-in's own conversion at the ends of the range.
    double slack = 1e-9 * std::max(1.0, high - low);
    if (setting.plain < low - slack || setting.plain > high + slack)
        throw RenderError(label + " takes " + formatNumber(low) + " to " + formatNumber(high) +
                          (description->units.empty() ? "" : " " + description->units) + ", not " +
                          formatNumber(setting.plain));
    double normalized = controller_->plainParamToNormalized(setting.id, setting.plain);
    return std::clamp(normalized, 0.0, 1.0);
}

double Plugin::plainFor(ParamId id, double normalized)
{
    return controller_->normalizedParamToPlain(id, normalized);
}

void Plugin::applyComponentState(const std::vector<char>& bytes, const std::string& source)
{
    // MemoryStream only reads from the buffer it is given.
    auto stream = owned(new MemoryStream(const_cast<char*>(bytes.data()), static_cast<TSize>(bytes.size())));
    if (component_->setState(stream) != kResultOk)
        throw RenderError("plug-in " + name_ + " rejected the state in " + source);
    // Only informs the controller (many answer kNotImplemented); the processor
    // has already accepted the state, which is what the render depends on.
    stream->seek(0, IBStream::kIBSeekSet, nullptr);
    controller_->setComponentState(stream);
}

void Plugin::loadState(const std::string& path)
{
    applyComponentState(readWholeFile(path), path);
}

std::vector<char> Plugin::saveState()
{
    auto stream = owned(new MemoryStream);
    if (component_->getState(stream) != kResultOk)
        throw RenderError("plug-in " + name_ + " could not save its state");
    return {stream->getData(), stream->getData() + stream->getSize()};
}

// A single-component effect is its own controller: its state is stored once.
bool Plugin::controllerIsComponent()
{
    FUnknownPtr<FUnknown> component(component_), controller(controller_);
    return component && component.get() == controller.get();
}

void Plugin::loadPreset(const std::string& path)
{
    auto preset = readPresetFile(readWholeFile(path), path);
    const auto& uid = reinterpret_cast<const char(&)[16]>(classId_.data());
    auto sameClass = [&](const std::string& form) { return strcasecmp(preset.classId.c_str(), form.c_str()) == 0; };
    if (!sameClass(classIdComForm(uid)) && !sameClass(classIdByteForm(uid)))
        throw RenderError(path + " is a preset for another plug-in (class " + preset.classId + "; " + name_ +
                          " is " + classIdComForm(uid) + ")");
    applyComponentState(preset.componentState, path);
    if (preset.controllerState && !controllerIsComponent())
    {
        auto& state = *preset.controllerState;
        auto stream = owned(new MemoryStream(state.data(), static_cast<TSize>(state.size())));
        if (controller_->setState(stream) == kResultFalse)
            throw RenderError("plug-in " + name_ + " rejected the controller state in " + path);
    }
}

std::vector<char> Plugin::savePreset()
{
    PresetContents preset;
    const auto& uid = reinterpret_cast<const char(&)[16]>(classId_.data());
    preset.classId = classIdComForm(uid);
    preset.componentState = saveState();
    auto stream = owned(new MemoryStream);
    if (!controllerIsComponent() && controller_->getState(stream) == kResultOk && stream->getSize() > 0)
        preset.controllerState.emplace(stream->getData(), stream->getData() + stream->getSize());
    return writePresetFile(preset);
}

std::vector<std::pair<ParamId, double>> applyParamSettings(Plugin& plugin, const std::vector<ParamSetting>& settings)
{
    std::vector<std::pair<ParamId, double>> changes;
    for (const auto& setting : settings)
    {
        double normalized = plugin.normalizedFor(setting);
        plugin.controller().setParamNormalized(setting.id, normalized);
        changes.emplace_back(setting.id, normalized);
    }
    return changes;
}

std::string formatParameterTable(const std::vector<ParameterDescription>& parameters)
{
    std::ostringstream table;
    char line[512];
    std::snprintf(line, sizeof line, "%10s  %-28s %-8s %12s %12s %12s  %s\n", "id", "title", "units", "default",
                  "min", "max", "flags");
    table << line;
    for (const auto& p : parameters)
    {
        std::string flags;
        if (p.info.flags & ParameterInfo::kIsReadOnly)
            flags += "read-only ";
        if (p.info.flags & ParameterInfo::kIsBypass)
            flags += "bypass ";
        if (p.info.flags & ParameterInfo::kIsList)
            flags += "list ";
        if (p.info.stepCount > 0)
            flags += "steps=" + std::to_string(p.info.stepCount);
        std::snprintf(line, sizeof line, "%10u  %-28s %-8s %12s %12s %12s  %s\n", p.info.id, p.title.c_str(),
                      p.units.c_str(), formatNumber(p.defaultPlain).c_str(), formatNumber(p.minPlain).c_str(),
                      formatNumber(p.maxPlain).c_str(), flags.c_str());
        table << line;
    }
    return table.str();
}

} // namespace korvel::render
