#pragma once

#include "options.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/module.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Steinberg::Vst {
class PlugProvider;
} // namespace Steinberg::Vst

namespace korvel::render {

struct ParameterDescription
{
    Steinberg::Vst::ParameterInfo info {};
    std::string title;
    std::string units;
    double defaultPlain = 0.0;
    double minPlain = 0.0; // plain value at normalized 0
    double maxPlain = 0.0; // plain value at normalized 1
};

// One instance of a bundle's effect class, initialized with component and
// controller connected, and terminated again by the destructor.
class Plugin
{
public:
    explicit Plugin(const std::string& bundlePath);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const std::string& name() const { return name_; }
    Steinberg::Vst::IComponent& component() { return *component_; }
    Steinberg::Vst::IAudioProcessor& processor() { return *processor_; }
    Steinberg::Vst::IEditController& controller() { return *controller_; }

    std::vector<ParameterDescription> parameters();
    std::optional<ParameterDescription> findParameter(ParamId id);

    // Plain value to normalized; throws for unknown, read-only or out-of-range settings.
    double normalizedFor(const ParamSetting& setting);
    double plainFor(ParamId id, double normalized);

    // Gives the component the saved state and tells the controller about it.
    void loadState(const std::string& path);
    std::vector<char> saveState();

    // A .vstpreset file: refused when it was made for another class.
    void loadPreset(const std::string& path);
    std::vector<char> savePreset();

private:
    void createInstance(const VST3::Hosting::ClassInfo& effectClass);
    void applyComponentState(const std::vector<char>& bytes, const std::string& source);
    bool controllerIsComponent();

    VST3::UID classId_;

    VST3::Hosting::Module::Ptr module_;
    std::unique_ptr<Steinberg::Vst::PlugProvider> provider_;
    Steinberg::IPtr<Steinberg::FUnknown> componentHandler_;
    Steinberg::IPtr<Steinberg::Vst::IComponent> component_;
    Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processor_;
    Steinberg::IPtr<Steinberg::Vst::IEditController> controller_;
    std::string name_;
};

// The plain values of --param settings as normalized values, each also shown
// to the controller (what the processor is about to receive); throws for
// settings the plug-in refuses.
std::vector<std::pair<ParamId, double>> applyParamSettings(Plugin& plugin, const std::vector<ParamSetting>& settings);

// Renders a parameter table for --list-params.
std::string formatParameterTable(const std::vector<ParameterDescription>& parameters);

} // namespace korvel::render
