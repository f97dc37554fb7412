#include "errors.h"
#include "options.h"

#include <gtest/gtest.h>

namespace korvel::render {
namespace {

Options parse(std::vector<std::string> args)
{
    return parseOptions(args, "/default/KORVEL.vst3");
}

TEST(RenderOptions, ReadsEveryOptionInBothSpellings)
{
    auto options = parse({"--plugin", "x.vst3", "--in=a.wav", "--sidechain", "k.wav", "--out", "b.wav", "--block=64",
                          "--precision", "64", "--param", "3=-12.5", "--param=0x10000=1", "--state", "s.bin",
                          "--save-state", "t.bin", "--meters", "m.csv", "--meter-ids", "12,13,0x1A", "--time"});
    EXPECT_EQ(options.bundle, "x.vst3");
    EXPECT_EQ(options.input, "a.wav");
    EXPECT_EQ(options.sidechain, "k.wav");
    EXPECT_EQ(options.output, "b.wav");
    EXPECT_EQ(options.blockSize, 64);
    EXPECT_TRUE(options.doublePrecision);
    ASSERT_EQ(options.params.size(), 2u);
    EXPECT_EQ(options.params[0].id, 3u);
    EXPECT_EQ(options.params[0].plain, -12.5);
    EXPECT_EQ(options.params[1].id, 0x10000u);
    EXPECT_EQ(options.params[1].plain, 1.0);
    EXPECT_EQ(options.stateIn, "s.bin");
    EXPECT_EQ(options.stateOut, "t.bin");
    EXPECT_EQ(options.metersCsv, "m.csv");
    EXPECT_EQ(options.meterIds, (std::vector<ParamId> {12, 13, 26}));
    EXPECT_TRUE(options.time);
    EXPECT_FALSE(options.listParams);
}

TEST(RenderOptions, DefaultsToTheBuildsBundleAndMeters)
{
    auto options = parse({"--in", "a.wav", "--out", "b.wav"});
    EXPECT_EQ(options.bundle, "/default/KORVEL.vst3");
    EXPECT_EQ(options.blockSize, 512);
    EXPECT_FALSE(options.doublePrecision);
    EXPECT_EQ(options.meterIds, (std::vector<ParamId> {25, 26}));
}

TEST(RenderOptions, ListingParametersNeedsNoFiles)
{
    EXPECT_TRUE(parse({"--list-params"}).listParams);
    EXPECT_TRUE(parse({"--help"}).help);
}

TEST(RenderOptions, ReadsRampsPresetsAndAutomationFiles)
{
    auto options = parse({"--in", "a", "--out", "b", "--ramp", "0=0:-20,1.5:10,2:-3.25", "--automate=14=power.csv",
                          "--preset", "p.vstpreset", "--save-preset", "q.vstpreset"});
    ASSERT_EQ(options.automation.size(), 2u);
    EXPECT_EQ(options.automation[0].id, 0u);
    ASSERT_EQ(options.automation[0].points.size(), 3u);
    EXPECT_EQ(options.automation[0].points[1].seconds, 1.5);
    EXPECT_EQ(options.automation[0].points[1].plain, 10.0);
    EXPECT_EQ(options.automation[0].points[2].plain, -3.25);
    EXPECT_EQ(options.automation[1].id, 14u);
    EXPECT_EQ(options.automation[1].file, "power.csv");
    EXPECT_EQ(options.presetIn, "p.vstpreset");
    EXPECT_EQ(options.presetOut, "q.vstpreset");
}

TEST(RenderOptions, SavingSettingsAloneNeedsNoAudioFiles)
{
    EXPECT_TRUE(savesSettingsOnly(parse({"--param", "0=1", "--save-preset", "p.vstpreset"})));
    EXPECT_TRUE(savesSettingsOnly(parse({"--save-state", "s.bin"})));
    EXPECT_FALSE(savesSettingsOnly(parse({"--in", "a", "--out", "b", "--save-preset", "p.vstpreset"})));
}

TEST(RenderOptions, DecimalIdsAreNeverReadAsOctal)
{
    EXPECT_EQ(parse({"--in", "a", "--out", "b", "--param", "010=1"}).params[0].id, 10u);
}

struct BadCommandLine
{
    std::vector<std::string> args;
    const char* expectedMessage;
};

class RenderOptionsRejects : public testing::TestWithParam<BadCommandLine>
{
};

TEST_P(RenderOptionsRejects, WithAMessageNamingTheProblem)
{
    try
    {
        parse(GetParam().args);
        FAIL() << "accepted";
    }
    catch (const UsageError& e)
    {
        EXPECT_EQ(std::string(e.what()), GetParam().expectedMessage);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderOptionsRejects,
    testing::Values(
        BadCommandLine {{"--out", "b.wav"}, "missing --in"},
        BadCommandLine {{"--in", "a.wav"}, "missing --out"},
        BadCommandLine {{"--in", "a.wav", "--out", "b.wav", "--bogus"}, "unknown option --bogus"},
        BadCommandLine {{"--in", "a.wav", "--out", "b.wav", "extra"}, "unexpected argument 'extra'"},
        BadCommandLine {{"--in", "a.wav", "--out"}, "--out needs a value"},
        BadCommandLine {{"--in=", "--out", "b.wav"}, "--in needs a value"},
        BadCommandLine {{"--in", "a", "--out", "b", "--time=1"}, "--time takes no value"},
        BadCommandLine {{"--in", "a", "--out", "b", "--block", "0"}, "--block: '0' is not a block size from 1 to 65536"},
        BadCommandLine {{"--in", "a", "--out", "b", "--block", "65537"},
                        "--block: '65537' is not a block size from 1 to 65536"},
        BadCommandLine {{"--in", "a", "--out", "b", "--block", "-64"},
                        "--block: '-64' is not a block size from 1 to 65536"},
        BadCommandLine {{"--in", "a", "--out", "b", "--block", "64k"},
                        "--block: '64k' is not a block size from 1 to 65536"},
        BadCommandLine {{"--in", "a", "--out", "b", "--precision", "16"}, "--precision: '16' is not 32 or 64"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "3"}, "--param: '3' is not ID=VALUE"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "x=1"},
                        "--param: 'x' is not a parameter ID (a whole number, decimal or 0x hex)"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "-1=1"},
                        "--param: '-1' is not a parameter ID (a whole number, decimal or 0x hex)"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "4294967296=1"},
                        "--param: '4294967296' is not a parameter ID (a whole number, decimal or 0x hex)"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "3=loud"}, "--param: 'loud' is not a number"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "3=nan"}, "--param: 'nan' is not a number"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "3=1", "--param", "3=2"},
                        "--param: parameter 3 is given twice"},
        BadCommandLine {{"--in", "a", "--out", "b", "--meter-ids", "25,"},
                        "--meter-ids: '' is not a parameter ID (a whole number, decimal or 0x hex)"},
        BadCommandLine {{"--save-preset", "p.vstpreset", "--meters", "m.csv"}, "missing --in"},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3"}, "--ramp: '3' is not ID=T0:V0,T1:V1,..."},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3="}, "--ramp: '3=' is not ID=T0:V0,T1:V1,..."},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3=0:1,2"}, "--ramp: '2' is not SECONDS:VALUE"},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3=0:1,:2"}, "--ramp: ':2' is not SECONDS:VALUE"},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3=0:1,1:inf"}, "--ramp: '1:inf' is not SECONDS:VALUE"},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3=-1:0"},
                        "--ramp 3: point 1 is at -1 s, before the start"},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3=0:0,1:1,1:2"},
                        "--ramp 3: point 3 at 1 s does not come after the point before it (1 s)"},
        BadCommandLine {{"--in", "a", "--out", "b", "--automate", "x=f.csv"},
                        "--automate: 'x' is not a parameter ID (a whole number, decimal or 0x hex)"},
        BadCommandLine {{"--in", "a", "--out", "b", "--ramp", "3=0:1", "--automate", "3=f.csv"},
                        "parameter 3 is automated twice"},
        BadCommandLine {{"--in", "a", "--out", "b", "--param", "3=1", "--ramp", "3=0:1"},
                        "parameter 3 is both set (--param) and automated; its curve sets its value from the start"},
        BadCommandLine {{"--in", "a", "--out", "b", "--state", "s", "--preset", "p"},
                        "--state and --preset both load settings; give one of them"}));

} // namespace
} // namespace korvel::render
