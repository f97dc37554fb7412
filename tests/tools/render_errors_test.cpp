// Every way a run can fail ends with a non-zero exit, one line on stderr and
// no file written.

#include "render_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace korvel::render::test {
namespace {

using testing::HasSubstr;
using testing::StartsWith;

struct FailingRun
{
    const char* name;
    // {dir} is the test folder, {fx} the test effect, {noclass} a bundle without
    // an effect class, {zam} ZamCompX2 and {zammax} ZaMaximX2 (no side-chain bus)
    std::vector<std::string> args;
    const char* expectedMessage;
};

std::string expand(std::string text, const TempFolder& folder)
{
    auto replace = [&text](const std::string& key, const std::string& value) {
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    };
    replace("{dir}", folder.path());
    replace("{fx}", TEST_EFFECT_BUNDLE);
    replace("{noclass}", NO_AUDIO_CLASS_BUNDLE);
    replace("{zammax}", zamBundle("ZaMaximX2"));
    replace("{zam}", zamBundle("ZamCompX2"));
    return text;
}

class RenderFailure : public testing::TestWithParam<FailingRun>
{
protected:
    void SetUp() override
    {
        writeSound(folder.file("stereo.wav"), testSignal(48000, 2, 0.2));
        writeSound(folder.file("mono.wav"), testSignal(48000, 1, 0.2));
        writeSound(folder.file("three.wav"), testSignal(48000, 3, 0.2));
        writeSound(folder.file("side44.wav"), testSignal(44100, 1, 0.2));
        std::ofstream(folder.file("notes.txt")) << "not audio\n";
        inputs = folder.entries();
    }

    // Empty when a plug-in that the case needs is not installed.
    std::vector<std::string> arguments()
    {
        std::vector<std::string> args;
        for (const auto& arg : GetParam().args)
        {
            args.push_back(expand(arg, folder));
            if (arg.rfind("{zam", 0) == 0 && args.back().rfind(ZAM_BUNDLE_FOLDER, 0) != 0)
                return {};
        }
        return args;
    }

    TempFolder folder;
    std::vector<std::string> inputs;
};

TEST_P(RenderFailure, ExitsNonZeroWithOneLineAndWritesNothing)
{
    auto args = arguments();
    if (args.empty())
        GTEST_SKIP() << "the Zam plug-ins are not installed";
    auto result = runInProcess(args);

    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_THAT(result.err, StartsWith("korvel-render: "));
    EXPECT_THAT(result.err, HasSubstr(expand(GetParam().expectedMessage, folder)));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(folder.entries(), inputs) << "an output or a temporary file was left behind";
}

std::vector<std::string> fxRun(std::vector<std::string> extra)
{
    std::vector<std::string> args {"--plugin", "{fx}", "--in", "{dir}/stereo.wav", "--out", "{dir}/out.wav",
                                   "--save-state", "{dir}/state.bin", "--meters", "{dir}/meters.csv"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenderFailure,
    testing::Values(
        FailingRun {"MissingInput", {"--plugin", "{fx}", "--in", "{dir}/none.wav", "--out", "{dir}/out.wav"},
                    "{dir}/none.wav: no such file"},
        FailingRun {"UnsupportedFile", {"--plugin", "{fx}", "--in", "{dir}/notes.txt", "--out", "{dir}/out.wav"},
                    "{dir}/notes.txt: not a readable audio file"},
        FailingRun {"InputIsAFolder", {"--plugin", "{fx}", "--in", "{dir}", "--out", "{dir}/out.wav"},
                    "not a regular file"},
        FailingRun {"UnknownFlag", fxRun({"--frobnicate"}), "unknown option --frobnicate (see --help)"},
        FailingRun {"BadBlock", fxRun({"--block", "0"}), "--block: '0' is not a block size"},
        FailingRun {"BadPrecision", fxRun({"--precision", "48"}), "--precision: '48' is not 32 or 64"},
        FailingRun {"UnknownParameter", fxRun({"--param", "7=1"}),
                    "plug-in Render Test Effect has no parameter 7 (see --list-params)"},
        FailingRun {"ValueAboveRange", fxRun({"--param", "0=2.5"}), "parameter 0 (Gain) takes 0 to 2 x, not 2.5"},
        FailingRun {"ValueBelowRange", fxRun({"--param", "2=-1"}),
                    "parameter 2 (Latency) takes 0 to 1000 smp, not -1"},
        FailingRun {"ReadOnlyParameter", fxRun({"--param", "25=0.5"}), "parameter 25 (Peak) is read-only"},
        FailingRun {"MissingBundle", {"--plugin", "{dir}/Nothing.vst3", "--in", "{dir}/stereo.wav", "--out", "{dir}/o.wav"},
                    "cannot load plug-in {dir}/Nothing.vst3"},
        FailingRun {"FolderIsNoBundle", {"--plugin", "{dir}", "--in", "{dir}/stereo.wav", "--out", "{dir}/out.wav"},
                    "cannot load plug-in {dir}"},
        FailingRun {"BundleWithoutEffectClass",
                    {"--plugin", "{noclass}", "--in", "{dir}/stereo.wav", "--out", "{dir}/out.wav"},
                    "no effect class (category \"Audio Module Class\") in the factory"},
        FailingRun {"ThreeChannelInput", {"--plugin", "{fx}", "--in", "{dir}/three.wav", "--out", "{dir}/out.wav"},
                    "{dir}/three.wav: 3 channels; the input must be mono or stereo"},
        FailingRun {"ThreeChannelSidechain", fxRun({"--sidechain", "{dir}/three.wav"}),
                    "{dir}/three.wav: 3 channels; the side-chain must be mono or stereo"},
        FailingRun {"SidechainRateMismatch", fxRun({"--sidechain", "{dir}/side44.wav"}),
                    "{dir}/side44.wav is at 44100 Hz but {dir}/stereo.wav is at 48000 Hz"},
        FailingRun {"MissingSidechain", fxRun({"--sidechain", "{dir}/none.wav"}), "{dir}/none.wav: no such file"},
        FailingRun {"MissingState", fxRun({"--state", "{dir}/none.bin"}), "{dir}/none.bin: no such file"},
        FailingRun {"RejectedState", fxRun({"--state", "{dir}/notes.txt"}),
                    "plug-in Render Test Effect rejected the state in {dir}/notes.txt"},
        FailingRun {"UnknownMeter", fxRun({"--meter-ids", "25,99"}),
                    "plug-in Render Test Effect has no parameter 99 to read as a meter (--meter-ids)"},
        FailingRun {"OutputFolderMissing", {"--plugin", "{fx}", "--in", "{dir}/stereo.wav", "--out", "{dir}/no/out.wav"},
                    "cannot write {dir}/no/out.wav: No such file or directory"},
        FailingRun {"StateFolderMissing", fxRun({"--save-state", "{dir}/no/state.bin"}), "cannot write {dir}/no/state.bin"},
        FailingRun {"ZamRefuses64Bit",
                    {"--plugin", "{zam}", "--in", "{dir}/stereo.wav", "--out", "{dir}/out.wav", "--precision", "64"},
                    "plug-in ZamCompX2 cannot process 64-bit samples (--precision)"},
        FailingRun {"ZamStereoPluginRefusesMono",
                    {"--plugin", "{zam}", "--in", "{dir}/mono.wav", "--out", "{dir}/out.wav"},
                    "the plug-in does not accept a mono input and output"},
        FailingRun {"ZamRefusesStereoSidechain",
                    {"--plugin", "{zam}", "--in", "{dir}/stereo.wav", "--out", "{dir}/out.wav", "--sidechain",
                     "{dir}/stereo.wav"},
                    "the plug-in does not accept a stereo side-chain"},
        FailingRun {"PluginWithoutSidechainBus",
                    {"--plugin", "{zammax}", "--in", "{dir}/stereo.wav", "--out", "{dir}/out.wav", "--sidechain",
                     "{dir}/mono.wav"},
                    "the plug-in has no side-chain input bus"},
        FailingRun {"ZamParameterOutOfRange",
                    {"--plugin", "{zam}", "--in", "{dir}/stereo.wav", "--out", "{dir}/out.wav", "--param", "7=6"},
                    "parameter 7 (Threshold) takes -80 to 0 dB, not 6"}),
    [](const testing::TestParamInfo<FailingRun>& info) { return std::string(info.param.name); });

TEST(RenderFailureKeepsEarlierResults, AnExistingOutputIsLeftAsItWas)
{
    TempFolder folder;
    writeSound(folder.file("in.wav"), testSignal(48000, 2, 0.1));
    std::ofstream(folder.file("out.wav")) << "earlier result";
    auto result = runInProcess({"--plugin", TEST_EFFECT_BUNDLE, "--in", folder.file("in.wav"), "--out",
                                folder.file("out.wav"), "--param", "0=9"});
    ASSERT_NE(result.exitCode, 0);
    std::ifstream earlier(folder.file("out.wav"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier result");
    EXPECT_EQ(folder.entries(), (std::vector<std::string> {"in.wav", "out.wav"}));
}

TEST(RenderExecutable, ReportsAFailureOnStderrWithExitStatus)
{
    TempFolder folder;
    auto result = runExecutable({"--plugin", TEST_EFFECT_BUNDLE, "--in", folder.file("none.wav"), "--out",
                                 folder.file("out.wav")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "korvel-render: " + folder.file("none.wav") + ": no such file\n");
    EXPECT_TRUE(folder.entries().empty());
}

TEST(RenderExecutable, ReportsAMalformedCommandLineWithStatusTwo)
{
    auto result = runExecutable({"--in"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "korvel-render: --in needs a value (see --help)\n");
}

} // namespace
} // namespace korvel::render::test
