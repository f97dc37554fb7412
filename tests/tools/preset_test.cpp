// VST3 preset files: what korvel-render saves loads back to the same state and
// the same sound, agrees with the SDK's own reader and writer, is refused for
// another plug-in, and damaged files give a clear error. The factory presets
// of the build load and save back unchanged.

#include "errors.h"
#include "preset_file.h"
#include "render_test_support.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/utility/uid.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace korvel::render::test {
namespace {

using testing::HasSubstr;
namespace fs = std::filesystem;

constexpr int kRate = 48000;

std::vector<char> readBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<char> someState(std::size_t size)
{
    std::vector<char> state(size);
    for (std::size_t i = 0; i < size; ++i)
        state[i] = static_cast<char>(i * 37 + 11);
    return state;
}

TEST(PresetClassId, MatchesTheSdksTextInBothForms)
{
    const char uid[16] = {'\x0D', '\xE7', '\xAE', '\xF2', '\xDE', '\x00', '\x4E', '\x4F',
                          'V',    't',    'r',    'l',    'K',    'R',    'V',    '1'};
    VST3::UID sdk = VST3::UID::fromTUID(uid);
    EXPECT_EQ(classIdComForm(uid), sdk.toString(true));
    EXPECT_EQ(classIdByteForm(uid), sdk.toString(false));
}

TEST(PresetFileFormat, TheSdkReadsWhatWeWrite)
{
    PresetContents preset {"0123456789ABCDEF0123456789ABCDEF", someState(232), someState(5)};
    auto bytes = writePresetFile(preset);
    auto stream = Steinberg::owned(new Steinberg::MemoryStream(bytes.data(), static_cast<Steinberg::TSize>(bytes.size())));
    Steinberg::Vst::PresetFile sdk(stream);
    ASSERT_TRUE(sdk.readChunkList());
    const auto* component = sdk.getEntry(Steinberg::Vst::kComponentState);
    const auto* controller = sdk.getEntry(Steinberg::Vst::kControllerState);
    ASSERT_NE(component, nullptr);
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(std::vector<char>(bytes.begin() + component->offset, bytes.begin() + component->offset + component->size),
              preset.componentState);
    EXPECT_EQ(std::vector<char>(bytes.begin() + controller->offset,
                                bytes.begin() + controller->offset + controller->size),
              *preset.controllerState);
    char classString[33] = {};
    sdk.getClassID().toString(classString);
    EXPECT_EQ(std::string(classString), preset.classId);
}

TEST(PresetFileFormat, WeReadWhatTheSdkWrites)
{
    auto state = someState(100);
    auto componentStream = Steinberg::owned(new Steinberg::MemoryStream(state.data(), 100));
    auto file = Steinberg::owned(new Steinberg::MemoryStream);
    Steinberg::FUID classId(0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00);
    ASSERT_TRUE(Steinberg::Vst::PresetFile::savePreset(file, classId, componentStream));
    std::vector<char> bytes(file->getData(), file->getData() + file->getSize());

    auto preset = readPresetFile(bytes, "sdk.vstpreset");
    char classString[33] = {};
    classId.toString(classString);
    EXPECT_EQ(preset.classId, classString);
    EXPECT_EQ(preset.componentState, state);
    EXPECT_FALSE(preset.controllerState);
}

TEST(PresetFileFormat, EveryCutOfAPresetIsRefusedWithoutReadingOutside)
{
    auto bytes = writePresetFile({"0123456789ABCDEF0123456789ABCDEF", someState(232), std::nullopt});
    for (std::size_t size = 0; size < bytes.size(); ++size)
    {
        std::vector<char> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_THROW(readPresetFile(cut, "cut.vstpreset"), RenderError) << size << " bytes";
    }
}

TEST(PresetFileFormat, RandomDamageNeverReadsOutside)
{
    auto original = writePresetFile({"0123456789ABCDEF0123456789ABCDEF", someState(64), someState(8)});
    std::mt19937 random(18);
    for (int round = 0; round < 2000; ++round)
    {
        auto bytes = original;
        for (int n = 0; n < 3; ++n)
            bytes[random() % bytes.size()] = static_cast<char>(random());
        try
        {
            auto preset = readPresetFile(bytes, "damaged.vstpreset");
            EXPECT_LE(preset.componentState.size(), bytes.size());
        }
        catch (const RenderError&)
        {
        }
    }
}

struct Damage
{
    const char* name;
    std::size_t at;
    std::vector<char> bytes;
    const char* message;
};

class PresetFileRejects : public testing::TestWithParam<Damage>
{
};

TEST_P(PresetFileRejects, NamingWhatIsWrong)
{
    // 48 header bytes, 10 state bytes, list at 58: 'List', count, entry 'Comp' offset 48 size 10.
    auto bytes = writePresetFile({"0123456789ABCDEF0123456789ABCDEF", someState(10), std::nullopt});
    ASSERT_EQ(bytes.size(), 58u + 8 + 20);
    std::copy(GetParam().bytes.begin(), GetParam().bytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(GetParam().at));
    try
    {
        readPresetFile(bytes, "p.vstpreset");
        FAIL() << "accepted";
    }
    catch (const RenderError& e)
    {
        EXPECT_EQ(std::string(e.what()), std::string("p.vstpreset: ") + GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PresetFileRejects,
    testing::Values(
        Damage {"NotAPreset", 0, {'R', 'I', 'F', 'F'}, "not a VST3 preset (it does not begin with 'VST3')"},
        Damage {"ClassIdNotHex", 20, {'x'}, "damaged VST3 preset (the class ID is not 32 hexadecimal digits)"},
        Damage {"ListOffsetPastTheEnd", 40, {'\x7F', '\x7F'}, "damaged VST3 preset (no chunk list where the header points)"},
        Damage {"ListOffsetIntoTheHeader", 40, {'\x08', '\x00'},
                "damaged VST3 preset (no chunk list where the header points)"},
        Damage {"NegativeListOffset", 47, {'\x80'}, "damaged VST3 preset (no chunk list where the header points)"},
        Damage {"TooManyEntries", 62, {'\x02'}, "damaged VST3 preset (the chunk list is cut short)"},
        Damage {"NegativeCount", 65, {'\x80'}, "damaged VST3 preset (the chunk list is cut short)"},
        Damage {"ChunkPastTheEnd", 70, {'\x50'}, "damaged VST3 preset (chunk 1 lies outside the file)"},
        Damage {"HugeChunk", 85, {'\x7F'}, "damaged VST3 preset (chunk 1 lies outside the file)"},
        Damage {"NoComponentState", 66, {'I', 'n', 'f', 'o'}, "VST3 preset without a component state ('Comp' chunk)"}),
    [](const auto& info) { return std::string(info.param.name); });

class PresetsWithKorvel : public testing::Test
{
protected:
    RunResult run(std::vector<std::string> args, const std::string& bundle = KORVEL_BUNDLE)
    {
        args.insert(args.begin(), {"--plugin", bundle});
        return runInProcess(args);
    }

    Sound render(std::vector<std::string> extra, const std::string& out)
    {
        std::vector<std::string> args {"--in", folder.file("in.wav"), "--out", folder.file(out)};
        args.insert(args.end(), extra.begin(), extra.end());
        auto result = run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readSound(folder.file(out));
    }

    TempFolder folder;
};

TEST_F(PresetsWithKorvel, SavedPresetLoadsToTheSameStateBytesAndTheSameSound)
{
    writeSound(folder.file("in.wav"), testSignal(kRate, 2, 0.5));
    auto first = render({"--param", "17=1", "--param", "18=1", "--param", "0=-12.5", "--param", "2=6", "--param",
                         "24=1", "--param", "12=60", "--save-preset", folder.file("p.vstpreset"), "--save-state",
                         folder.file("first.state")},
                        "first.wav");
    auto second = render({"--preset", folder.file("p.vstpreset"), "--save-state", folder.file("second.state")},
                         "second.wav");
    auto plain = render({}, "plain.wav");

    EXPECT_EQ(readBytes(folder.file("second.state")), readBytes(folder.file("first.state")));
    EXPECT_EQ(second.samples, first.samples);
    EXPECT_NE(plain.samples, first.samples);
    EXPECT_EQ(readPresetFile(readBytes(folder.file("p.vstpreset")), "p").componentState,
              readBytes(folder.file("first.state")));
}

TEST_F(PresetsWithKorvel, SettingsAloneAreSavedWithoutAudio)
{
    writeSound(folder.file("in.wav"), testSignal(kRate, 2, 0.2));
    auto saved = run({"--param", "16=1", "--param", "0=-8", "--save-preset", folder.file("only.vstpreset")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(saved.err, "");
    EXPECT_EQ(folder.entries(), (std::vector<std::string> {"in.wav", "only.vstpreset"}));

    auto direct = render({"--param", "16=1", "--param", "0=-8"}, "direct.wav");
    auto loaded = render({"--preset", folder.file("only.vstpreset")}, "loaded.wav");
    EXPECT_EQ(loaded.samples, direct.samples);
}

TEST_F(PresetsWithKorvel, RefusesAPresetOfAnotherPlugInAndWritesNothing)
{
    writeSound(folder.file("in.wav"), testSignal(kRate, 2, 0.1));
    auto saved = run({"--save-preset", folder.file("other.vstpreset")}, TEST_EFFECT_BUNDLE);
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    auto loaded = run({"--in", folder.file("in.wav"), "--out", folder.file("out.wav"), "--preset",
                       folder.file("other.vstpreset")});
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_THAT(loaded.err, HasSubstr("other.vstpreset is a preset for another plug-in"));
    EXPECT_EQ(folder.entries(), (std::vector<std::string> {"in.wav", "other.vstpreset"}));
}

TEST_F(PresetsWithKorvel, RefusesAStateFileGivenAsAPreset)
{
    writeSound(folder.file("in.wav"), testSignal(kRate, 2, 0.1));
    ASSERT_EQ(run({"--save-state", folder.file("s.state")}).exitCode, 0);
    auto loaded = run({"--in", folder.file("in.wav"), "--out", folder.file("out.wav"), "--preset",
                       folder.file("s.state")});
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_THAT(loaded.err, HasSubstr("s.state: not a VST3 preset"));
}

std::vector<std::string> factoryPresets()
{
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(FACTORY_PRESET_DIR))
        if (entry.path().extension() == ".vstpreset")
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST_F(PresetsWithKorvel, FactoryPresetsLoadSoundDifferentAndSaveBackUnchanged)
{
    auto presets = factoryPresets();
    ASSERT_GE(presets.size(), 5u);
    writeSound(folder.file("in.wav"), testSignal(kRate, 2, 0.5));
    writeSound(folder.file("side.wav"), testSignal(kRate, 1, 0.5));
    auto plain = render({"--sidechain", folder.file("side.wav")}, "plain.wav");
    std::vector<std::vector<float>> renders;
    for (const auto& preset : presets)
    {
        SCOPED_TRACE(preset);
        auto out = render({"--sidechain", folder.file("side.wav"), "--preset", preset, "--save-preset",
                           folder.file("again.vstpreset")},
                          "out.wav");
        EXPECT_EQ(readBytes(folder.file("again.vstpreset")), readBytes(preset));
        EXPECT_NE(out.samples, plain.samples);
        EXPECT_THAT(renders, testing::Not(testing::Contains(out.samples))) << "sounds like another preset";
        renders.push_back(out.samples);
    }
}

} // namespace
} // namespace korvel::render::test
