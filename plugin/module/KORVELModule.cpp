// What the KORVEL module's factory offers: the maker, the one effect class
// with its class ID, and the function that constructs a KORVEL.

#include "KORVEL.h"

#include "plug/vst3/IPluginVST3Factory.h"

#include <string>

namespace {

// "major.minor.patch" of a version number packed as major << 16 | minor << 8 | patch.
std::string VersionText(int32_t version)
{
  return std::to_string((version >> 16) & 0xFFFF) + "." + std::to_string((version >> 8) & 0xFF) + "." +
         std::to_string(version & 0xFF);
}

} // namespace

const plug::VST3ModuleDefinition& plug::GetVST3ModuleDefinition()
{
  static const std::string version = VersionText(KORVEL::Definition().version);
  static const plug::VST3ModuleDefinition definition = [] {
    const plug::IPluginDefinition& plugin = KORVEL::Definition();
    plug::VST3ModuleDefinition d;
    d.vendor = plugin.makerName;
    d.url = "https://www.vantrel.com";
    d.email = "mailto:support@vantrel.com";
    d.classID[0] = 0xF2AEE70D;
    d.classID[1] = 0x00DE4F4E;
    d.classID[2] = static_cast<uint32_t>(plugin.makerCode);
    d.classID[3] = static_cast<uint32_t>(plugin.pluginCode);
    d.name = plugin.pluginName;
    d.classFlags = plug::kVST3SimpleModeSupported;
    d.subCategories = "Fx|Dynamics";
    d.classVendor = "";
    d.version = version.c_str();
    d.sdkVersion = "VST 3.7.6";
    d.create = [](const plug::InstanceInfo& info) -> plug::IPluginVST3* { return new KORVEL(info); };
    return d;
  }();
  return definition;
}
