#include "options.h"

#include "errors.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

namespace korvel::render {
namespace {

// Decimal, or hexadecimal with a 0x prefix (never octal: "010" is ten).
bool parseWholeNumber(const std::string& text, long long& value)
{
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    if (*digits == '\0' || *digits == '-' || *digits == '+' || *digits == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(digits, &end, hex ? 16 : 10);
    return errno == 0 && *end == '\0';
}

bool parseReal(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

ParamId parseParamId(const std::string& text, const std::string& context)
{
    long long id = 0;
    if (!parseWholeNumber(text, id) || id < 0 || id > 0xFFFFFFFFLL)
        throw UsageError(context + ": '" + text + "' is not a parameter ID (a whole number, decimal or 0x hex)");
    return static_cast<ParamId>(id);
}

int parseBlockSize(const std::string& text)
{
    long long size = 0;
    if (!parseWholeNumber(text, size) || size < 1 || size > kMaxBlockSize)
        throw UsageError("--block: '" + text + "' is not a block size from 1 to " + std::to_string(kMaxBlockSize));
    return static_cast<int>(size);
}

bool parsePrecision(const std::string& text)
{
    if (text == "32")
        return false;
    if (text == "64")
        return true;
    throw UsageError("--precision: '" + text + "' is not 32 or 64");
}

std::vector<ParamId> parseIdList(const std::string& text)
{
    std::vector<ParamId> ids;
    std::size_t start = 0;
    while (start <= text.size())
    {
        auto comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        ids.push_back(parseParamId(text.substr(start, comma - start), "--meter-ids"));
        start = comma + 1;
    }
    return ids;
}

std::string formatSeconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::pair<ParamId, std::string> splitIdAssignment(const std::string& text, const char* option, const char* form)
{
    auto equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError(std::string(option) + ": '" + text + "' is not " + form);
    auto value = text.substr(equals + 1);
    if (value.empty())
        throw UsageError(std::string(option) + ": '" + text + "' is not " + form);
    return {parseParamId(text.substr(0, equals), option), value};
}

AutomationSetting parseRamp(const std::string& text)
{
    auto [id, list] = splitIdAssignment(text, "--ramp", "ID=T0:V0,T1:V1,...");
    AutomationSetting setting;
    setting.id = id;
    std::size_t start = 0;
    while (start <= list.size())
    {
        auto comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        auto point = list.substr(start, comma - start);
        auto colon = point.find(':');
        Breakpoint breakpoint;
        if (colon == std::string::npos || !parseReal(point.substr(0, colon), breakpoint.seconds) ||
            !parseReal(point.substr(colon + 1), breakpoint.plain))
            throw UsageError("--ramp: '" + point + "' is not SECONDS:VALUE");
        setting.points.push_back(breakpoint);
        start = comma + 1;
    }
    checkBreakpoints(setting.points, "--ramp " + std::to_string(id));
    return setting;
}

AutomationSetting parseAutomate(const std::string& text)
{
    auto [id, file] = splitIdAssignment(text, "--automate", "ID=FILE");
    AutomationSetting setting;
    setting.id = id;
    setting.file = file;
    return setting;
}

void addAutomation(Options& options, const AutomationSetting& setting)
{
    for (const auto& existing : options.automation)
        if (existing.id == setting.id)
            throw UsageError("parameter " + std::to_string(setting.id) + " is automated twice");
    options.automation.push_back(setting);
}

void checkComplete(const Options& options)
{
    if (options.help || options.listParams)
        return;
    for (const auto& lane : options.automation)
        for (const auto& param : options.params)
            if (param.id == lane.id)
                throw UsageError("parameter " + std::to_string(lane.id) +
                                 " is both set (--param) and automated; its curve sets its value from the start");
    if (!options.stateIn.empty() && !options.presetIn.empty())
        throw UsageError("--state and --preset both load settings; give one of them");
    if (savesSettingsOnly(options))
        return;
    if (options.input.empty())
        throw UsageError("missing --in");
    if (options.output.empty())
        throw UsageError("missing --out");
}

} // namespace

bool savesSettingsOnly(const Options& options)
{
    return options.input.empty() && options.output.empty() && options.sidechain.empty() &&
           options.metersCsv.empty() && (!options.stateOut.empty() || !options.presetOut.empty());
}

void checkBreakpoints(const std::vector<Breakpoint>& points, const std::string& where)
{
    if (points.empty())
        throw UsageError(where + ": no points");
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        double seconds = points[i].seconds;
        if (seconds < 0.0)
            throw UsageError(where + ": point " + std::to_string(i + 1) + " is at " + formatSeconds(seconds) +
                             " s, before the start");
        if (i > 0 && seconds <= points[i - 1].seconds)
            throw UsageError(where + ": point " + std::to_string(i + 1) + " at " + formatSeconds(seconds) +
                             " s does not come after the point before it (" + formatSeconds(points[i - 1].seconds) +
                             " s)");
    }
}

ParamSetting parseParamSetting(const std::string& text)
{
    auto equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError("--param: '" + text + "' is not ID=VALUE");
    ParamSetting setting;
    setting.id = parseParamId(text.substr(0, equals), "--param");
    auto value = text.substr(equals + 1);
    if (!parseReal(value, setting.plain))
        throw UsageError("--param: '" + value + "' is not a number");
    return setting;
}

void addParamSetting(std::vector<ParamSetting>& settings, const ParamSetting& setting)
{
    for (const auto& existing : settings)
        if (existing.id == setting.id)
            throw UsageError("--param: parameter " + std::to_string(setting.id) + " is given twice");
    settings.push_back(setting);
}

void parseArguments(const std::vector<std::string>& args, const std::map<std::string, OptionSetter>& valued,
                    const std::map<std::string, bool*>& flags)
{
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos)
        {
            value = name.substr(equals + 1);
            name.resize(equals);
            inlineValue = true;
        }
        if (auto flag = flags.find(name); flag != flags.end())
        {
            if (inlineValue)
                throw UsageError(name + " takes no value");
            *flag->second = true;
            continue;
        }
        auto setter = valued.find(name);
        if (setter == valued.end())
            throw UsageError(name.rfind("-", 0) == 0 ? "unknown option " + name : "unexpected argument '" + name + "'");
        if (!inlineValue)
        {
            if (i + 1 >= args.size())
                throw UsageError(name + " needs a value");
            value = args[++i];
        }
        if (value.empty())
            throw UsageError(name + " needs a value");
        setter->second(value);
    }
}

Options parseOptions(const std::vector<std::string>& args, const std::string& defaultBundle)
{
    Options options;
    options.bundle = defaultBundle;

    const std::map<std::string, OptionSetter> valued {
        {"--plugin", [&](const std::string& v) { options.bundle = v; }},
        {"--in", [&](const std::string& v) { options.input = v; }},
        {"--sidechain", [&](const std::string& v) { options.sidechain = v; }},
        {"--out", [&](const std::string& v) { options.output = v; }},
        {"--state", [&](const std::string& v) { options.stateIn = v; }},
        {"--save-state", [&](const std::string& v) { options.stateOut = v; }},
        {"--preset", [&](const std::string& v) { options.presetIn = v; }},
        {"--save-preset", [&](const std::string& v) { options.presetOut = v; }},
        {"--ramp", [&](const std::string& v) { addAutomation(options, parseRamp(v)); }},
        {"--automate", [&](const std::string& v) { addAutomation(options, parseAutomate(v)); }},
        {"--meters", [&](const std::string& v) { options.metersCsv = v; }},
        {"--block", [&](const std::string& v) { options.blockSize = parseBlockSize(v); }},
        {"--precision", [&](const std::string& v) { options.doublePrecision = parsePrecision(v); }},
        {"--param", [&](const std::string& v) { addParamSetting(options.params, parseParamSetting(v)); }},
        {"--meter-ids", [&](const std::string& v) { options.meterIds = parseIdList(v); }},
    };
    const std::map<std::string, bool*> flags {
        {"--list-params", &options.listParams},
        {"--time", &options.time},
        {"--help", &options.help},
        {"-h", &options.help},
    };

    parseArguments(args, valued, flags);
    checkComplete(options);
    return options;
}

const char* usageText()
{
    return R"(usage: korvel-render [--plugin BUNDLE] --in IN.wav [--sidechain SC.wav] --out OUT.wav [options]
       korvel-render [--plugin BUNDLE] [settings] --save-preset FILE.vstpreset
       korvel-render [--plugin BUNDLE] --list-params

Renders IN through a VST3 effect offline and writes a 32-bit float WAV with the
input's rate and channel count.

  --plugin BUNDLE      VST3 bundle (default: the KORVEL bundle of this build)
  --in FILE            input audio, mono or stereo, any format libsndfile reads
  --sidechain FILE     side-chain audio (same rate; zero-padded when shorter)
  --out FILE           output WAV (written only if the whole render succeeds)
  --block N            frames per process call, 1 to 65536 (default 512)
  --precision 32|64    sample size handed to the plug-in (default 32)
  --param ID=VALUE     set a parameter by ID to a plain value before the first
                       block (repeatable); see --list-params
  --ramp ID=T:V,T:V... automate a parameter: plain value V at T seconds, in
                       straight lines between the points (normalized values,
                       as a host's automation lane; switches step)
  --automate ID=FILE   the same with the points from a CSV file of lines
                       'seconds,value' ('#' comments and a header allowed)
  --state FILE         load a component state before processing
  --save-state FILE    save the component state after processing
  --preset FILE        load a VST3 preset (.vstpreset) before processing
  --save-preset FILE   save the settings as a VST3 preset after processing;
                       without --in and --out only the settings are applied
                       (one block of silence) and saved
  --meters FILE.csv    one row per block: meter readings and reported latency
  --meter-ids ID,...   parameters read as meters (default 25,26)
  --list-params        print the plug-in's parameters and exit
  --time               print the CPU time spent in process and the real-time factor
  -h, --help           show this text
)";
}

} // namespace korvel::render
