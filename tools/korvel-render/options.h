#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvel::render {

using ParamId = std::uint32_t;

struct ParamSetting
{
    ParamId id = 0;
    double plain = 0.0;
};

struct Options
{
    std::string bundle;
    std::string input;
    std::string sidechain;
    std::string output;
    std::string stateIn;
    std::string stateOut;
    std::string metersCsv;
    int blockSize = 512;
    bool doublePrecision = false;
    std::vector<ParamSetting> params;
    std::vector<ParamId> meterIds {25, 26};
    bool listParams = false;
    bool time = false;
    bool help = false;
};

constexpr int kMaxBlockSize = 65536;

// Parses the arguments after the program name; throws UsageError.
Options parseOptions(const std::vector<std::string>& args, const std::string& defaultBundle);

const char* usageText();

} // namespace korvel::render
