// Renders through the test effect, whose output is known sample by sample:
// out = in * Gain + Sidechain Mix * side-chain.

#include "render_test_support.h"

#include <sndfile.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace korvel::render::test {
namespace {

using testing::ContainsRegex;
using testing::HasSubstr;

class RenderWithTestEffect : public testing::Test
{
protected:
    RunResult render(std::vector<std::string> extra, const std::string& out = "out.wav")
    {
        std::vector<std::string> args {"--plugin", TEST_EFFECT_BUNDLE, "--in", folder.file("in.wav"), "--out",
                                       folder.file(out)};
        args.insert(args.end(), extra.begin(), extra.end());
        auto result = runInProcess(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result;
    }

    Sound input(const Sound& sound)
    {
        writeSound(folder.file("in.wav"), sound);
        return sound;
    }

    TempFolder folder;
};

struct Format
{
    int rate;
    int channels;
};

class RenderFormats : public RenderWithTestEffect, public testing::WithParamInterface<Format>
{
};

TEST_P(RenderFormats, KeepRateChannelsAndLengthAndApplyTheParameterFromFrameZero)
{
    auto in = input(testSignal(GetParam().rate, GetParam().channels, 0.3));
    render({"--param", "0=0.5"});
    auto out = readSound(folder.file("out.wav"));
    EXPECT_EQ(out.rate, GetParam().rate);
    EXPECT_EQ(out.channels, GetParam().channels);
    ASSERT_EQ(out.frames(), in.frames());
    for (size_t i = 0; i < in.samples.size(); ++i)
        ASSERT_EQ(out.samples[i], in.samples[i] * 0.5f) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Table, RenderFormats,
                         testing::Values(Format {48000, 2}, Format {48000, 1}, Format {44100, 2}, Format {96000, 1}));

TEST_F(RenderWithTestEffect, WritesThirtyTwoBitFloatWav)
{
    input(testSignal(48000, 2, 0.1));
    render({});
    SF_INFO info {};
    SNDFILE* file = sf_open(folder.file("out.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    sf_close(file);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

TEST_F(RenderWithTestEffect, ReadsPcmAndFlacInputs)
{
    auto in = testSignal(44100, 2, 0.2);
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16})
    {
        writeSound(folder.file("in.wav"), in, format);
        auto pcm = readSound(folder.file("in.wav"));
        render({});
        auto out = readSound(folder.file("out.wav"));
        EXPECT_EQ(out.samples, pcm.samples) << "format " << std::hex << format;
    }
}

TEST_F(RenderWithTestEffect, MixesTheSidechainAndPadsItWithSilence)
{
    auto in = input(testSignal(48000, 2, 0.5));
    auto side = testSignal(48000, 1, 0.2);
    writeSound(folder.file("side.wav"), side);
    render({"--sidechain", folder.file("side.wav"), "--param", "1=0.5", "--block", "1000"});
    auto out = readSound(folder.file("out.wav"));
    ASSERT_EQ(out.frames(), in.frames());
    for (std::int64_t i = 0; i < in.frames(); ++i)
        for (int c = 0; c < 2; ++c)
        {
            float sidechain = i < side.frames() ? side.at(i, 0) : 0.0f;
            ASSERT_EQ(out.at(i, c), in.at(i, c) * 1.0f + 0.5f * sidechain) << "frame " << i << " channel " << c;
        }
}

TEST_F(RenderWithTestEffect, LeavesTheSidechainBusInactiveWithoutASidechainFile)
{
    auto in = input(testSignal(48000, 2, 0.2));
    render({"--param", "1=1"});
    EXPECT_EQ(readSound(folder.file("out.wav")).samples, in.samples);
}

TEST_F(RenderWithTestEffect, BlockSizeDoesNotChangeTheResult)
{
    input(testSignal(48000, 2, 0.25)); // 12000 frames: a partial last block for most sizes
    writeSound(folder.file("side.wav"), testSignal(48000, 2, 0.1));
    std::vector<std::string> settings {"--sidechain", folder.file("side.wav"), "--param", "0=0.7", "--param", "1=0.3"};
    std::vector<float> reference;
    for (const char* block : {"4096", "1", "64", "1000", "12000", "65536"})
    {
        auto args = settings;
        args.insert(args.end(), {"--block", block});
        render(args);
        auto out = readSound(folder.file("out.wav")).samples;
        if (reference.empty())
            reference = out;
        else
            EXPECT_EQ(out, reference) << "--block " << block;
    }
}

TEST_F(RenderWithTestEffect, DoublePrecisionAgreesWithSinglePrecisionUpToFloatRounding)
{
    auto in = input(testSignal(48000, 2, 0.2));
    writeSound(folder.file("side.wav"), testSignal(48000, 1, 0.2));
    std::vector<std::string> settings {"--sidechain", folder.file("side.wav"), "--param", "0=0.3", "--param",
                                       "1=0.7"};
    auto single = settings, twice = settings;
    single.insert(single.end(), {"--precision", "32"});
    twice.insert(twice.end(), {"--precision", "64"});
    render(single, "single.wav");
    render(twice, "double.wav");
    auto a = readSound(folder.file("single.wav")), b = readSound(folder.file("double.wav"));
    ASSERT_EQ(a.samples.size(), in.samples.size());
    ASSERT_EQ(b.samples.size(), in.samples.size());
    int differing = 0;
    for (size_t i = 0; i < a.samples.size(); ++i)
    {
        float tolerance = 4 * std::numeric_limits<float>::epsilon() * std::max(1.0f, std::fabs(b.samples[i]));
        ASSERT_NEAR(a.samples[i], b.samples[i], tolerance) << "sample " << i;
        differing += a.samples[i] != b.samples[i];
    }
    EXPECT_GT(differing, 0) << "both runs used the same precision";
}

TEST_F(RenderWithTestEffect, SavedStateReproducesTheSettings)
{
    input(testSignal(48000, 2, 0.2));
    render({"--param", "0=0.25", "--save-state", folder.file("state.bin")}, "first.wav");
    render({"--state", folder.file("state.bin")}, "second.wav");
    render({}, "plain.wav");
    auto first = readSound(folder.file("first.wav")).samples;
    EXPECT_EQ(readSound(folder.file("second.wav")).samples, first);
    EXPECT_NE(readSound(folder.file("plain.wav")).samples, first);
}

TEST_F(RenderWithTestEffect, ParametersOverrideTheLoadedState)
{
    auto in = input(testSignal(48000, 1, 0.1));
    render({"--param", "0=0.25", "--save-state", folder.file("state.bin")}, "first.wav");
    render({"--state", folder.file("state.bin"), "--param", "0=2"});
    auto out = readSound(folder.file("out.wav"));
    for (size_t i = 0; i < in.samples.size(); ++i)
        ASSERT_EQ(out.samples[i], in.samples[i] * 2.0f);
}

float blockPeak(const Sound& sound, std::int64_t first, std::int64_t frames)
{
    float peak = 0.0f;
    for (auto i = first * sound.channels; i < (first + frames) * sound.channels; ++i)
        peak = std::max(peak, std::fabs(sound.samples[static_cast<size_t>(i)]));
    return peak;
}

TEST_F(RenderWithTestEffect, MeterCsvHasOneRowPerBlockFromOutputChangesOrTheController)
{
    input(testSignal(48000, 2, 0.25)); // 12000 frames
    render({"--block", "5000", "--param", "2=64", "--meters", folder.file("meters.csv")});
    auto out = readSound(folder.file("out.wav"));
    auto rows = readCsv(folder.file("meters.csv"));

    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string> {"block", "first_frame", "meter_25", "meter_26", "latency"}));
    const int firstFrames[] = {0, 5000, 10000};
    const int frames[] = {5000, 5000, 2000};
    for (int b = 0; b < 3; ++b)
    {
        const auto& row = rows[static_cast<size_t>(b + 1)];
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(row[0], std::to_string(b));
        EXPECT_EQ(row[1], std::to_string(firstFrames[b]));
        // 25 arrives as an output parameter change, 26 only in the controller.
        EXPECT_NEAR(std::stod(row[2]), blockPeak(out, firstFrames[b], frames[b]), 1e-6) << "block " << b;
        EXPECT_EQ(std::stod(row[3]), frames[b]) << "block " << b;
        EXPECT_EQ(row[4], "64");
    }
}

TEST_F(RenderWithTestEffect, ListsParametersWithPlainRanges)
{
    auto result = runInProcess({"--plugin", TEST_EFFECT_BUNDLE, "--list-params"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto lines = linesOf(result.out);
    ASSERT_EQ(lines.size(), 8u) << result.out;
    EXPECT_THAT(lines[0], HasSubstr("Render Test Effect"));
    EXPECT_THAT(lines[1], ContainsRegex("id +title +units +default +min +max +flags"));
    EXPECT_THAT(lines[2], ContainsRegex("^ +0  Gain +x +1 +0 +2 *$"));
    EXPECT_THAT(lines[4], ContainsRegex("^ +2  Latency +smp +0 +0 +1000  steps=1000$"));
    EXPECT_THAT(lines[7], ContainsRegex("^ +26  Block Frames +0 +0 +65536  read-only $"));
}

TEST_F(RenderWithTestEffect, TimesTheProcessCalls)
{
    input(testSignal(48000, 2, 1.0));
    auto result = render({"--time", "--block", "1024"});
    EXPECT_THAT(result.out, ContainsRegex("^process: [0-9.]+ s CPU for 1.000 s of audio, [0-9.]+x real time "
                                          "\\(47 blocks of up to 1024 frames\\)\n$"));
}

TEST_F(RenderWithTestEffect, ExecutableRendersLikeTheLibrary)
{
    auto in = input(testSignal(48000, 2, 0.2));
    auto result = runExecutable({"--plugin", TEST_EFFECT_BUNDLE, "--in", folder.file("in.wav"), "--out",
                                 folder.file("out.wav"), "--param", "0=0.5"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    auto out = readSound(folder.file("out.wav"));
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (size_t i = 0; i < in.samples.size(); ++i)
        ASSERT_EQ(out.samples[i], in.samples[i] * 0.5f);
    EXPECT_EQ(folder.entries(), (std::vector<std::string> {"in.wav", "out.wav"}));
}

} // namespace
} // namespace korvel::render::test
