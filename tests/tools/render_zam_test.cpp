// Renders through the Zam compressors (Debian's zam-plugins): third-party
// plug-ins with a separate controller, output meters and a side-chain bus.

#include "render_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace korvel::render::test {
namespace {

double rms(const std::vector<float>& samples)
{
    double sum = 0.0;
    for (float s : samples)
        sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

class RenderWithZam : public testing::Test
{
protected:
    void SetUp() override
    {
        bundle = zamBundle("ZamCompX2");
        if (bundle.empty())
            GTEST_SKIP() << "the Zam plug-ins are not installed";
    }

    Sound render(const Sound& in, std::vector<std::string> extra)
    {
        writeSound(folder.file("in.wav"), in);
        std::vector<std::string> args {"--plugin", bundle, "--in", folder.file("in.wav"), "--out",
                                       folder.file("out.wav")};
        args.insert(args.end(), extra.begin(), extra.end());
        auto result = runInProcess(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readSound(folder.file("out.wav"));
    }

    std::string bundle;
    TempFolder folder;
    const std::vector<std::string> squash {"--param", "7=-30", "--param", "6=8", "--param", "3=1"};
};

TEST_F(RenderWithZam, KeepsRateChannelsAndLengthAndCompresses)
{
    for (int rate : {44100, 48000})
    {
        auto in = testSignal(rate, 2, 1.1);
        auto out = render(in, squash);
        EXPECT_EQ(out.rate, rate);
        EXPECT_EQ(out.channels, 2);
        EXPECT_EQ(out.frames(), in.frames());
        EXPECT_LT(rms(out.samples), 0.7 * rms(in.samples)) << "at " << rate << " Hz";
    }
}

TEST_F(RenderWithZam, OutputDoesNotDependOnTheBlockSize)
{
    auto in = testSignal(48000, 2, 1.0);
    auto args = squash;
    args.insert(args.end(), {"--block", "64"});
    auto small = render(in, args);
    args.back() = "4096";
    auto large = render(in, args);
    EXPECT_EQ(small.samples, large.samples);
}

// ZamCompX2 accepts the mono side-chain bus and renders, but its detector
// stays silent in side-chain mode whatever the bus carries (also with other
// activation orders): the side-chain samples themselves are checked with the
// test effect instead.
TEST_F(RenderWithZam, AcceptsAMonoSidechain)
{
    auto in = testSignal(48000, 2, 0.5);
    writeSound(folder.file("side.wav"), testSignal(48000, 1, 0.2));
    auto args = squash;
    args.insert(args.end(), {"--param", "11=1", "--sidechain", folder.file("side.wav")});
    auto out = render(in, args);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.frames(), in.frames());
}

TEST_F(RenderWithZam, SavedStateReproducesTheSettings)
{
    auto in = testSignal(48000, 2, 0.5);
    auto args = squash;
    args.insert(args.end(), {"--save-state", folder.file("zam.state")});
    auto first = render(in, args);
    auto second = render(in, {"--state", folder.file("zam.state")});
    auto defaults = render(in, {});
    EXPECT_EQ(second.samples, first.samples);
    EXPECT_NE(defaults.samples, first.samples);
}

TEST_F(RenderWithZam, MetersComeFromItsOutputParameters)
{
    auto in = testSignal(48000, 2, 1.0); // loud and quiet quarter seconds
    auto args = squash;
    args.insert(args.end(), {"--block", "1200", "--meters", folder.file("m.csv"), "--meter-ids", "12"});
    render(in, args);
    std::ifstream csv(folder.file("m.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "block,first_frame,meter_12,latency");
    double most = 0.0, least = 1e9;
    int rows = 0;
    for (; std::getline(csv, line); ++rows)
    {
        double reduction = std::stod(line.substr(line.find(',', line.find(',') + 1) + 1));
        most = std::max(most, reduction);
        least = std::min(least, reduction);
    }
    EXPECT_EQ(rows, 40);
    EXPECT_GT(most, 10.0) << "dB of gain reduction on the loud parts";
    EXPECT_LT(least, most - 6.0) << "the meter follows the level";
}

TEST_F(RenderWithZam, MonoCompressorTakesAMonoFileAndSidechain)
{
    auto mono = zamBundle("ZamComp");
    if (mono.empty())
        GTEST_SKIP() << "ZamComp is not installed";
    bundle = mono;
    auto in = testSignal(48000, 1, 0.5);
    writeSound(folder.file("side.wav"), testSignal(48000, 1, 0.25));
    auto out = render(in, {"--sidechain", folder.file("side.wav"), "--param", "10=1"});
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.frames(), in.frames());
}

} // namespace
} // namespace korvel::render::test
