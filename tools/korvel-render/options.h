#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace korvel::render {

using ParamId = std::uint32_t;

struct ParamSetting
{
    ParamId id = 0;
    double plain = 0.0;
};

// One point of an automation curve, as given by the user.
struct Breakpoint
{
    double seconds = 0.0;
    double plain = 0.0;
};

// --ramp ID=T0:V0,... (points given) or --automate ID=FILE (points read later).
struct AutomationSetting
{
    ParamId id = 0;
    std::string file;
    std::vector<Breakpoint> points;
};

struct Options
{
    std::string bundle;
    std::string input;
    std::string sidechain;
    std::string output;
    std::string stateIn;
    std::string stateOut;
    std::string presetIn;
    std::string presetOut;
    std::string metersCsv;
    int blockSize = 512;
    bool doublePrecision = false;
    std::vector<ParamSetting> params;
    std::vector<AutomationSetting> automation;
    std::vector<ParamId> meterIds {25, 26};
    bool listParams = false;
    bool time = false;
    bool help = false;
};

constexpr int kMaxBlockSize = 65536;

// True when the run only saves settings: no audio in or out, a state or preset to write.
bool savesSettingsOnly(const Options& options);

// Checks that the points of a curve start at 0 s or later and go strictly forward
// in time; `where` names them in the message of the UsageError it throws.
void checkBreakpoints(const std::vector<Breakpoint>& points, const std::string& where);

// --param's value, ID=PLAIN; throws UsageError.
ParamSetting parseParamSetting(const std::string& text);

// Adds a --param setting; a parameter given twice is a UsageError.
void addParamSetting(std::vector<ParamSetting>& settings, const ParamSetting& setting);

using OptionSetter = std::function<void(const std::string& value)>;

// The command-line grammar the tools share: "--name value" or "--name=value"
// for the options in `valued`, bare flags (no value) for those in `flags`.
// Unknown names, missing or empty values and stray arguments throw UsageError.
void parseArguments(const std::vector<std::string>& args, const std::map<std::string, OptionSetter>& valued,
                    const std::map<std::string, bool*>& flags);

// Parses the arguments after the program name; throws UsageError.
Options parseOptions(const std::vector<std::string>& args, const std::string& defaultBundle);

const char* usageText();

} // namespace korvel::render
