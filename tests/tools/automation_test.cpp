// Automation as a host plays it: the curve's points reach the plug-in in the
// block that contains them, at their offset in that block, with the points a
// plug-in needs to follow ramps sample by sample across block boundaries.

#include "automation.h"
#include "buses.h"
#include "errors.h"
#include "plugin.h"
#include "render.h"
#include "render_test_support.h"
#include "sound_file.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>

namespace korvel::render::test {
namespace {

using testing::HasSubstr;
using Steinberg::int32;
using Steinberg::Vst::ParamValue;

constexpr int kRate = 48000;
constexpr ParamId kGain = 0;
constexpr ParamId kGainEcho = 3;

struct QueuePoint
{
    int offset;
    double value;
    bool operator==(const QueuePoint& other) const
    {
        return offset == other.offset && std::fabs(value - other.value) < 1e-12;
    }
};

std::ostream& operator<<(std::ostream& out, const QueuePoint& p)
{
    return out << "(" << p.offset << ", " << p.value << ")";
}

std::vector<QueuePoint> pointsOf(Steinberg::Vst::IParamValueQueue& queue)
{
    std::vector<QueuePoint> points;
    for (int32 i = 0; i < queue.getPointCount(); ++i)
    {
        int32 offset = 0;
        ParamValue value = 0.0;
        queue.getPoint(i, offset, value);
        points.push_back({offset, value});
    }
    return points;
}

std::vector<QueuePoint> blockPoints(const AutomationLane& lane, std::int64_t first, int frames)
{
    Steinberg::Vst::ParameterValueQueue queue(lane.id());
    lane.addBlockPoints(first, frames, queue);
    return pointsOf(queue);
}

TEST(AutomationLane, RampsInStraightLinesAndHoldsBeforeAndAfter)
{
    AutomationLane lane(7, false, {{100, 0.2}, {300, 0.6}, {400, 0.1}});
    EXPECT_EQ(lane.valueAt(0), 0.2);
    EXPECT_EQ(lane.valueAt(100), 0.2);
    EXPECT_DOUBLE_EQ(lane.valueAt(200), 0.4);
    EXPECT_DOUBLE_EQ(lane.valueAt(350), 0.35);
    EXPECT_EQ(lane.valueAt(400), 0.1);
    EXPECT_EQ(lane.valueAt(100000), 0.1);
}

TEST(AutomationLane, SteppedParametersJumpAtTheirPoints)
{
    AutomationLane lane(14, true, {{0, 1.0}, {250, 0.0}});
    EXPECT_EQ(lane.valueAt(249), 1.0);
    EXPECT_EQ(lane.valueAt(250), 0.0);
}

TEST(AutomationLane, PointsOnTheSameFrameKeepTheLaterValue)
{
    AutomationLane lane(7, false, {{0, 0.0}, {10, 0.3}, {10, 0.9}});
    ASSERT_EQ(lane.points().size(), 2u);
    EXPECT_EQ(lane.valueAt(10), 0.9);
}

struct BlockCase
{
    const char* name;
    bool stepped;
    std::vector<AutomationLane::Point> curve;
    std::int64_t first;
    int frames;
    std::vector<QueuePoint> expected;
};

class AutomationBlocks : public testing::TestWithParam<BlockCase>
{
};

TEST_P(AutomationBlocks, CarryThePointsAHostWouldSend)
{
    const auto& c = GetParam();
    AutomationLane lane(5, c.stepped, c.curve);
    EXPECT_EQ(blockPoints(lane, c.first, c.frames), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AutomationBlocks,
    testing::Values(
        // The first block always starts with the curve's value.
        BlockCase {"FirstBlockBeforeTheCurve", false, {{1000, 0.5}, {2000, 1.0}}, 0, 256, {{0, 0.5}}},
        // Nothing changes between the start and the first point.
        BlockCase {"QuietBlockBeforeTheCurve", false, {{1000, 0.5}, {2000, 1.0}}, 512, 256, {}},
        // The ramp starts inside the block: its start point and the value at the block's end.
        BlockCase {"RampStartsInside", false, {{1000, 0.5}, {2000, 1.0}}, 768, 256, {{232, 0.5}, {255, 0.5115}}},
        BlockCase {"InsideTheRamp", false, {{1000, 0.0}, {2000, 1.0}}, 1024, 256, {{255, 0.279}}},
        BlockCase {"RampEndsInside", false, {{1000, 0.0}, {2000, 1.0}}, 1792, 256, {{208, 1.0}, {255, 1.0}}},
        BlockCase {"AfterTheCurve", false, {{1000, 0.0}, {2000, 1.0}}, 2048, 256, {}},
        BlockCase {"BetweenPointsOutsideTheBlock", false, {{0, 0.25}, {512, 0.75}}, 256, 256,
                   {{255, 0.25 + 0.5 * 511 / 512.0}}},
        // A step: the old value on the frame before, the new one on its frame.
        BlockCase {"StepInside", true, {{0, 1.0}, {300, 0.0}}, 256, 256, {{43, 1.0}, {44, 0.0}}},
        BlockCase {"StepOnTheFirstFrame", true, {{0, 1.0}, {512, 0.0}}, 512, 256, {{0, 0.0}}},
        BlockCase {"StepJustAfterTheBlock", true, {{0, 1.0}, {512, 0.0}}, 256, 256, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AutomationBlocksValues, RampPointsLieOnTheCurve)
{
    AutomationLane lane(5, false, {{1000, 0.5}, {2000, 1.0}});
    for (std::int64_t first = 0; first < 3000; first += 100)
        for (const auto& point : blockPoints(lane, first, 100))
            EXPECT_EQ(point.value, lane.valueAt(first + point.offset)) << "block at " << first;
}

class AutomationThroughTheTestEffect : public testing::Test
{
protected:
    TempFolder folder;

    // Renders `seconds` of a constant signal with `lane` on the test effect's
    // gain; returns, per block, the gain points the plug-in echoed.
    std::map<std::int64_t, std::vector<QueuePoint>> echoedPoints(const AutomationLane& lane, int blockSize,
                                                                 double seconds)
    {
        writeSound(folder.file("in.wav"), makeSound(kRate, 2, static_cast<std::int64_t>(seconds * kRate),
                                                    [](std::int64_t, int) { return 0.5f; }));
        Plugin plugin(TEST_EFFECT_BUNDLE);
        SoundReader input(folder.file("in.wav"));
        auto buses = arrangeBuses(plugin.component(), plugin.processor(), 2, 0);
        RenderJob job;
        job.input = &input;
        job.blockSize = blockSize;
        job.automation = {lane};
        std::map<std::int64_t, std::vector<QueuePoint>> echoes;
        job.afterBlock = [&](const BlockReport& block) {
            for (int32 q = 0; q < block.outputChanges->getParameterCount(); ++q)
            {
                auto* queue = block.outputChanges->getParameterData(q);
                if (queue->getParameterId() == kGainEcho)
                    echoes[block.index] = pointsOf(*queue);
            }
        };
        render(plugin, buses, job);
        return echoes;
    }
};

TEST_F(AutomationThroughTheTestEffect, ThePlugInSeesEachPointInItsBlockAtItsOffset)
{
    const int block = 480;
    AutomationLane lane(kGain, false, {{0, 0.25}, {1000, 0.75}, {1001, 0.0}, {4799, 1.0}, {7000, 0.5}});
    auto echoes = echoedPoints(lane, block, 0.2); // 20 blocks
    for (const auto& point : lane.points())
    {
        auto index = point.frame / block;
        QueuePoint expected {static_cast<int>(point.frame % block), point.normalized};
        EXPECT_THAT(echoes[index], testing::Contains(expected)) << "frame " << point.frame;
    }
    // Blocks that the curve passes through end on the curve; blocks after it get nothing.
    for (std::int64_t b = 0; b < 20; ++b)
    {
        auto last = (b + 1) * block - 1;
        if (last < 7000)
        {
            EXPECT_THAT(echoes[b], testing::Contains(QueuePoint {block - 1, lane.valueAt(last)})) << "block " << b;
        }
        else if (b > 7000 / block)
        {
            EXPECT_TRUE(echoes[b].empty()) << "block " << b;
        }
    }
}

class AutomationOnTheCommandLine : public testing::Test
{
protected:
    RunResult run(std::vector<std::string> extra, const std::string& bundle = TEST_EFFECT_BUNDLE)
    {
        std::vector<std::string> args {"--plugin", bundle, "--in", folder.file("in.wav"), "--out",
                                       folder.file("out.wav")};
        args.insert(args.end(), extra.begin(), extra.end());
        return runInProcess(args);
    }

    Sound render(std::vector<std::string> extra, const std::string& bundle = TEST_EFFECT_BUNDLE)
    {
        auto result = run(extra, bundle);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readSound(folder.file("out.wav"));
    }

    void writeFile(const std::string& name, const std::string& text)
    {
        std::ofstream(folder.file(name)) << text;
    }

    TempFolder folder;
};

// Gain 0 at 0.05 s rising to 2 at 0.15 s, down to 1 at 0.2 s, held after.
double gainCurve(std::int64_t frame)
{
    const double t = static_cast<double>(frame) / kRate;
    if (t <= 0.05)
        return 0.0;
    if (t <= 0.15)
        return (t - 0.05) / 0.1 * 2.0;
    if (t <= 0.2)
        return 2.0 - (t - 0.15) / 0.05;
    return 1.0;
}

TEST_F(AutomationOnTheCommandLine, TheOutputFollowsTheRampSampleBySampleWhateverTheBlockSize)
{
    auto in = testSignal(kRate, 2, 0.3);
    writeSound(folder.file("in.wav"), in);
    for (const char* block : {"1", "64", "1000", "4800", "65536"})
    {
        SCOPED_TRACE(std::string("--block ") + block);
        auto out = render({"--ramp", "0=0.05:0,0.15:2,0.2:1", "--block", block});
        ASSERT_EQ(out.frames(), in.frames());
        for (std::int64_t i = 0; i < in.frames(); ++i)
            for (int c = 0; c < 2; ++c)
                ASSERT_NEAR(out.at(i, c), in.at(i, c) * gainCurve(i), 1e-6) << "frame " << i;
    }
}

TEST_F(AutomationOnTheCommandLine, ACsvFileGivesTheSameCurveAsARamp)
{
    writeSound(folder.file("in.wav"), testSignal(kRate, 1, 0.3));
    auto ramp = render({"--ramp", "0=0.05:0,0.15:2,0.2:1"});
    writeFile("gain.csv", "seconds,gain\n# rises, falls back to unity\n0.05,0\n\n0.15, 2\n0.2,1\n");
    auto file = render({"--automate", "0=" + folder.file("gain.csv")});
    EXPECT_EQ(file.samples, ramp.samples);
}

struct BadCurve
{
    const char* name;
    const char* csv;
    const char* message;
};

class AutomationRejects : public AutomationOnTheCommandLine, public testing::WithParamInterface<BadCurve>
{
};

TEST_P(AutomationRejects, BadFilesWithTheLineOrPointAndWritesNothing)
{
    writeSound(folder.file("in.wav"), testSignal(kRate, 1, 0.1));
    writeFile("curve.csv", GetParam().csv);
    auto result = run({"--automate", "0=" + folder.file("curve.csv")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr(GetParam().message));
    EXPECT_EQ(folder.entries(), (std::vector<std::string> {"curve.csv", "in.wav"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, AutomationRejects,
    testing::Values(BadCurve {"NotANumber", "0,1\n0.1,loud\n", "curve.csv:2: '0.1,loud' is not 'seconds,value'"},
                    BadCurve {"ThreeColumns", "0,1,2\n", "curve.csv:1: '0,1,2' is not 'seconds,value'"},
                    BadCurve {"SecondHeader", "t,v\nt,v\n", "curve.csv:2: 't,v' is not 'seconds,value'"},
                    BadCurve {"Empty", "# nothing\n", "curve.csv: no points"},
                    BadCurve {"BackInTime", "0,1\n0.5,1\n0.25,0\n",
                              "point 3 at 0.25 s does not come after the point before it (0.5 s)"},
                    BadCurve {"OutOfRange", "0,1\n0.05,3\n",
                              "curve.csv: point 2: parameter 0 (Gain) takes 0 to 2 x, not 3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AutomationOnTheCommandLine, RefusesToAutomateAReadOnlyOrUnknownParameter)
{
    writeSound(folder.file("in.wav"), testSignal(kRate, 1, 0.1));
    auto readOnly = run({"--ramp", "3=0:1"});
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_THAT(readOnly.err, HasSubstr("--ramp 3: point 1: parameter 3 (Gain Echo) is read-only"));
    auto unknown = run({"--ramp", "9=0:1"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_THAT(unknown.err, HasSubstr("has no parameter 9 to automate"));
}

// KORVEL applies the last point of each queue to its whole block: switching
// Power off inside a block passes that whole block through untouched.
TEST_F(AutomationOnTheCommandLine, KorvelSwitchesPowerInTheBlockThatHoldsTheStep)
{
    auto in = testSignal(kRate, 2, 0.5);
    writeSound(folder.file("in.wav"), in);
    const int block = 512;
    const std::int64_t step = 12000; // 0.25 s, inside block 23 (11776 to 12287)
    auto out = render({"--block", "512", "--param", "16=1", "--param", "0=-15", "--ramp", "14=0:1,0.25:0"},
                      KORVEL_BUNDLE);
    ASSERT_EQ(out.frames(), in.frames());
    const std::int64_t passFrom = step / block * block;
    int differing = 0;
    for (std::int64_t i = passFrom - block; i < passFrom; ++i)
        differing += out.at(i, 0) != in.at(i, 0);
    EXPECT_GT(differing, block / 2) << "the block before the step is still compressed";
    for (std::int64_t i = passFrom; i < in.frames(); ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(out.at(i, c), in.at(i, c)) << "frame " << i;
}

} // namespace
} // namespace korvel::render::test
