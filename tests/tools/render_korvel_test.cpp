// KORVEL through the renderer: settings that stay constant must sound the
// same whatever the block size and sample precision, the meters that KORVEL
// sends only to its editor reach the CSV, and the command line speaks in
// KORVEL's own parameter IDs and ranges.

#include "render_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

namespace korvel::render::test {
namespace {

using testing::ContainsRegex;
using testing::HasSubstr;

constexpr int kRate = 48000;

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> params(const std::vector<std::string>& settings)
{
    std::vector<std::string> args;
    for (const auto& setting : settings)
        args.insert(args.end(), {"--param", setting});
    return args;
}

double rms(const Sound& sound, double fromSeconds, double toSeconds)
{
    auto first = static_cast<std::int64_t>(fromSeconds * sound.rate);
    auto last = static_cast<std::int64_t>(toSeconds * sound.rate);
    double sum = 0.0;
    for (auto i = first; i < last; ++i)
        for (int c = 0; c < sound.channels; ++c)
            sum += static_cast<double>(sound.at(i, c)) * sound.at(i, c);
    return std::sqrt(sum / static_cast<double>((last - first) * sound.channels));
}

float peak(const Sound& sound)
{
    float most = 0.0f;
    for (float s : sound.samples)
        most = std::max(most, std::fabs(s));
    return most;
}

struct MeterColumns
{
    std::vector<double> intStage, extStage;
    std::vector<std::string> latency;
};

MeterColumns readMeters(const std::string& path)
{
    auto rows = readCsv(path);
    EXPECT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], (std::vector<std::string> {"block", "first_frame", "meter_25", "meter_26", "latency"}));
    MeterColumns columns;
    for (size_t r = 1; r < rows.size(); ++r)
    {
        columns.intStage.push_back(std::stod(rows[r].at(2)));
        columns.extStage.push_back(std::stod(rows[r].at(3)));
        columns.latency.push_back(rows[r].at(4));
    }
    return columns;
}

bool neverRises(const std::vector<double>& values)
{
    return std::is_sorted(values.rbegin(), values.rend());
}

class RenderWithKorvel : public testing::Test
{
protected:
    RunResult run(const std::vector<std::string>& args)
    {
        return runInProcess(concat({"--plugin", KORVEL_BUNDLE}, args));
    }

    Sound render(const std::vector<std::string>& extra, const std::string& out = "out.wav")
    {
        auto result = run(concat({"--in", folder.file("in.wav"), "--out", folder.file(out)}, extra));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readSound(folder.file(out));
    }

    Sound input(const Sound& sound)
    {
        writeSound(folder.file("in.wav"), sound);
        return sound;
    }

    TempFolder folder;
};

// Settings given once at the start and constant from then on.
struct ConstantSettings
{
    const char* name;
    std::vector<std::string> params;
    bool sidechain;
};

const ConstantSettings kConstantSettings[] = {
    {"Defaults", {}, false},
    {"VcaIntStage", {"16=1", "0=-15", "2=4", "4=1", "6=0.2", "8=3"}, false},
    {"FetOptoWithOversampling", {"17=1", "18=1", "24=1", "0=-12", "2=6", "4=0.5", "6=0.1"}, false},
    {"EverythingOnWithExternalSidechain",
     {"15=1", "16=1", "17=1", "18=1", "19=1", "20=1", "21=1", "24=1", "0=-10", "1=-15", "3=8", "12=70", "22=120"},
     true},
};

class KorvelWithConstantSettings : public RenderWithKorvel, public testing::WithParamInterface<ConstantSettings>
{
protected:
    std::vector<std::string> settings()
    {
        auto args = params(GetParam().params);
        if (GetParam().sidechain)
        {
            writeSound(folder.file("side.wav"), testSignal(kRate, 1, 0.5));
            args.insert(args.end(), {"--sidechain", folder.file("side.wav")});
        }
        return args;
    }
};

TEST_P(KorvelWithConstantSettings, BlockSizeDoesNotChangeTheOutput)
{
    auto in = input(testSignal(kRate, 2, 0.75)); // 36000 frames: a partial last block
    auto reference = render(concat(settings(), {"--block", "4096"}));
    ASSERT_EQ(reference.samples.size(), in.samples.size());
    ASSERT_NE(reference.samples, in.samples);
    for (const char* block : {"64", "1000"})
        EXPECT_EQ(render(concat(settings(), {"--block", block})).samples, reference.samples) << "--block " << block;
}

TEST_P(KorvelWithConstantSettings, PrecisionsAgreeUpToFloatRounding)
{
    auto in = input(testSignal(kRate, 2, 0.5));
    auto single = render(concat(settings(), {"--precision", "32"}), "single.wav");
    auto twice = render(concat(settings(), {"--precision", "64"}), "double.wav");
    ASSERT_EQ(single.samples.size(), in.samples.size());
    ASSERT_EQ(twice.samples.size(), in.samples.size());
    const float tolerance = 4 * std::numeric_limits<float>::epsilon() * peak(twice);
    for (size_t i = 0; i < single.samples.size(); ++i)
        ASSERT_NEAR(single.samples[i], twice.samples[i], tolerance) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Table, KorvelWithConstantSettings, testing::ValuesIn(kConstantSettings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderWithKorvel, MetersShowTheIntStageReducingAndTheStageThatIsOffFalling)
{
    input(testSignal(kRate, 2, 1.5)); // loud and quiet quarter seconds
    const std::vector<std::string> vcaInt {"16=1", "0=0", "2=4", "4=1", "6=0.2"};
    for (const auto& [oversampling, latency] : {std::pair<const char*, const char*> {"0", "0"}, {"1", "64"}})
    {
        SCOPED_TRACE(std::string("oversampling ") + oversampling);
        render(concat(params(vcaInt), {"--param", std::string("24=") + oversampling, "--block", "1200", "--meters",
                                       folder.file("meters.csv")}));
        auto meters = readMeters(folder.file("meters.csv"));
        ASSERT_EQ(meters.intStage.size(), 60u);

        auto [least, most] = std::minmax_element(meters.intStage.begin(), meters.intStage.end());
        EXPECT_GT(*least, 0.0);
        EXPECT_LT(*least, 0.5) << "more than 3 dB of reduction on the loud parts";
        EXPECT_GT(*std::max_element(least, meters.intStage.end()), *least + 0.2) << "it recovers on quiet parts";
        EXPECT_LE(*most, 1.0125);

        EXPECT_TRUE(neverRises(meters.extStage));
        EXPECT_LT(meters.extStage.back(), 1e-6) << "the Int/Ext stage is off";
        EXPECT_THAT(meters.latency, testing::Each(latency));
    }
}

TEST_F(RenderWithKorvel, PowerOffPassesTheInputThroughAndBothMetersReadZero)
{
    auto in = input(testSignal(kRate, 2, 0.5));
    auto out = render(concat(params({"14=0", "16=1", "19=1", "24=1", "0=-20", "1=-20"}),
                             {"--meters", folder.file("meters.csv")}));
    EXPECT_EQ(out.samples, in.samples);
    auto meters = readMeters(folder.file("meters.csv"));
    EXPECT_THAT(meters.intStage, testing::Each(0.0));
    EXPECT_THAT(meters.extStage, testing::Each(0.0));
    EXPECT_THAT(meters.latency, testing::Each("0"));
}

TEST_F(RenderWithKorvel, ExternalSidechainDucksTheOutput)
{
    const double tone = 2 * 3.14159265358979323846 * 220.0 / kRate;
    input(makeSound(kRate, 2, 3 * kRate / 2, [&](std::int64_t i, int) {
        return static_cast<float>(0.25 * std::sin(tone * static_cast<double>(i)));
    }));
    auto burstsAt = [&](std::int64_t i) { return i >= kRate / 2 && i < 3 * kRate / 4; }; // 0.5 to 0.75 s
    writeSound(folder.file("kick.wav"), makeSound(kRate, 1, 3 * kRate / 2, [&](std::int64_t i, int) {
        return burstsAt(i) ? static_cast<float>(0.9 * std::sin(0.5 * tone * static_cast<double>(i))) : 0.0f;
    }));
    writeSound(folder.file("silence.wav"), makeSound(kRate, 1, 3 * kRate / 2, [](std::int64_t, int) { return 0.0f; }));
    auto duck = params({"15=1", "19=1", "1=-15", "3=10", "5=1", "7=0.1"});

    auto ducked = render(concat(duck, {"--sidechain", folder.file("kick.wav")}), "ducked.wav");
    auto steady = render(concat(duck, {"--sidechain", folder.file("silence.wav")}), "steady.wav");

    EXPECT_NEAR(rms(ducked, 0.25, 0.5), rms(steady, 0.25, 0.5), 1e-6) << "before the burst";
    EXPECT_LT(rms(ducked, 0.55, 0.75), 0.5 * rms(steady, 0.55, 0.75)) << "more than 6 dB down during the burst";
    EXPECT_GT(rms(ducked, 1.25, 1.5), 0.9 * rms(steady, 1.25, 1.5)) << "back after the release";
}

TEST_F(RenderWithKorvel, ListsItsTwentySevenParametersAndTheBypass)
{
    auto result = run({"--list-params"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto lines = linesOf(result.out);
    ASSERT_EQ(lines.size(), 2u + 1u + 27u) << result.out;
    EXPECT_THAT(lines[0], HasSubstr("KORVEL"));
    EXPECT_THAT(lines[2], ContainsRegex("^ +65536  Bypass .* bypass "));
    for (int id = 0; id < 27; ++id)
        EXPECT_THAT(lines[static_cast<size_t>(3 + id)], ContainsRegex("^ +" + std::to_string(id) + "  ")) << id;
    EXPECT_THAT(lines[3], ContainsRegex("^ +0  Threshold Int +dB +10 +-20 +10 "));
    EXPECT_THAT(lines[27], ContainsRegex("^ +24  Oversampling "));
}

double stateValue(const std::vector<char>& state, int paramIdx)
{
    constexpr size_t kEditorSizeBytes = 12;
    double value = 0.0;
    std::memcpy(&value, state.data() + kEditorSizeBytes + sizeof(double) * static_cast<size_t>(paramIdx), sizeof value);
    return value;
}

TEST_F(RenderWithKorvel, AcceptsValuesInRangeAndKeepsTheMetersOutOfTheState)
{
    input(testSignal(kRate, 2, 0.5));
    render({"--param", "0=-12.5", "--param", "16=1", "--save-state", folder.file("korvel.state"), "--meters",
            folder.file("meters.csv")});
    std::ifstream file(folder.file("korvel.state"), std::ios::binary);
    std::vector<char> state {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_EQ(state.size(), 232u);
    EXPECT_EQ(stateValue(state, 0), -12.5);
    EXPECT_EQ(stateValue(state, 16), 1.0);
    EXPECT_LT(readMeters(folder.file("meters.csv")).intStage.back(), 1.0) << "the Int stage reduced";
    EXPECT_EQ(stateValue(state, 25), 0.0);
    EXPECT_EQ(stateValue(state, 26), 0.0);
}

struct Rejected
{
    const char* setting;
    const char* message;
};

class KorvelRejects : public RenderWithKorvel, public testing::WithParamInterface<Rejected>
{
};

TEST_P(KorvelRejects, ValuesOutsideTheParametersRange)
{
    input(testSignal(kRate, 2, 0.1));
    auto result = run({"--in", folder.file("in.wav"), "--out", folder.file("out.wav"), "--param", GetParam().setting});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr(GetParam().message));
    EXPECT_EQ(folder.entries(), std::vector<std::string> {"in.wav"});
}

INSTANTIATE_TEST_SUITE_P(Table, KorvelRejects,
                         testing::Values(Rejected {"0=11", "parameter 0 (Threshold Int) takes -20 to 10 dB, not 11"},
                                         Rejected {"2=0.5", "parameter 2 (Ratio Int) takes 1 to 20 :1, not 0.5"},
                                         Rejected {"99=1", "has no parameter 99"}));

} // namespace
} // namespace korvel::render::test
