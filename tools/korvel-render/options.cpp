#include "options.h"

#include "errors.h"

#include <cerrno>
#include <cmath>
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

void addParam(Options& options, const ParamSetting& setting)
{
    for (const auto& existing : options.params)
        if (existing.id == setting.id)
            throw UsageError("--param: parameter " + std::to_string(setting.id) + " is given twice");
    options.params.push_back(setting);
}

void checkComplete(const Options& options)
{
    if (options.help || options.listParams)
        return;
    if (options.input.empty())
        throw UsageError("missing --in");
    if (options.output.empty())
        throw UsageError("missing --out");
}

} // namespace

Options parseOptions(const std::vector<std::string>& args, const std::string& defaultBundle)
{
    Options options;
    options.bundle = defaultBundle;

    using Setter = std::function<void(const std::string&)>;
    const std::map<std::string, Setter> valued {
        {"--plugin", [&](const std::string& v) { options.bundle = v; }},
        {"--in", [&](const std::string& v) { options.input = v; }},
        {"--sidechain", [&](const std::string& v) { options.sidechain = v; }},
        {"--out", [&](const std::string& v) { options.output = v; }},
        {"--state", [&](const std::string& v) { options.stateIn = v; }},
        {"--save-state", [&](const std::string& v) { options.stateOut = v; }},
        {"--meters", [&](const std::string& v) { options.metersCsv = v; }},
        {"--block", [&](const std::string& v) { options.blockSize = parseBlockSize(v); }},
        {"--precision", [&](const std::string& v) { options.doublePrecision = parsePrecision(v); }},
        {"--param", [&](const std::string& v) { addParam(options, parseParamSetting(v)); }},
        {"--meter-ids", [&](const std::string& v) { options.meterIds = parseIdList(v); }},
    };
    const std::map<std::string, bool*> flags {
        {"--list-params", &options.listParams},
        {"--time", &options.time},
        {"--help", &options.help},
        {"-h", &options.help},
    };

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
    checkComplete(options);
    return options;
}

const char* usageText()
{
    return R"(usage: korvel-render [--plugin BUNDLE] --in IN.wav [--sidechain SC.wav] --out OUT.wav [options]
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
  --state FILE         load a component state before processing
  --save-state FILE    save the component state after processing
  --meters FILE.csv    one row per block: meter readings and reported latency
  --meter-ids ID,...   parameters read as meters (default 25,26)
  --list-params        print the plug-in's parameters and exit
  --time               print the CPU time spent in process and the real-time factor
  -h, --help           show this text
)";
}

} // namespace korvel::render
