#include "PlugTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

using plug::StateChunk;
using plugtest::Call;
using plugtest::GraphicsLog;
using plugtest::RecordingPlugin;
using plugtest::TestDefinition;

namespace {

constexpr int kNParams = 27;
constexpr int kImageSize = 12 + 8 * kNParams;

// A plug-in shaped like the product: 27 parameters, and a state image that
// starts with the editor size.
class StatePlugin : public RecordingPlugin
{
public:
  explicit StatePlugin(int nPresets = 1) : RecordingPlugin(TestDefinition(kNParams, nPresets))
  {
    using plug::IParam;
    GetParameter(0)->SetupDouble("Threshold Int", 10.0, -20.0, 10.0, 0.1, "dB");
    GetParameter(1)->SetupDouble("Ratio Int", 4.0, 1.0, 20.0, 0.1, ":1", 0, "", IParam::ShapePowCurve(1.5));
    for (int i = 2; i < 14; ++i)
      GetParameter(i)->SetupDouble("Knob", 0.0, -15.0, 15.0, 0.1, "dB");
    for (int i = 14; i < 25; ++i)
    {
      GetParameter(i)->SetType(IParam::kTypeInt);
      GetParameter(i)->SetupDouble("Switch", i == 14 ? 1.0 : 0.0, 0.0, 1.0, 1.0, "", IParam::kFlagStepped);
    }
  }

  bool SaveState(StateChunk& chunk) const override { return SaveEditorSize(chunk) && SerializeParams(chunk); }
  int LoadState(const StateChunk& chunk, int pos) override { return UnserializeParams(chunk, LoadEditorSize(chunk, pos)); }

  std::vector<double> Values() const
  {
    std::vector<double> values;
    for (int i = 0; i < NParams(); ++i)
      values.push_back(GetParameter(i)->GetPlain());
    return values;
  }

  void SetNonDefaults()
  {
    GetParameter(0)->SetPlain(-7.3);
    GetParameter(1)->SetPlain(12.5);
    for (int i = 2; i < 14; ++i)
      GetParameter(i)->SetPlain(i - 7.5);
    for (int i = 14; i < 25; ++i)
      GetParameter(i)->SetPlain(i % 2);
    GetParameter(25)->SetPlain(0.625);
    GetParameter(26)->SetPlain(0.125);
  }
};

std::vector<std::string> Announcements(int nParams, int source)
{
  std::vector<std::string> events;
  for (int i = 0; i < nParams; ++i)
  {
    events.push_back(Call("OnParamChange", i));
    events.push_back(Call("OnParamChangeForEditor", i, source));
  }
  return events;
}

StateChunk ChunkOf(const std::vector<uint8_t>& bytes)
{
  StateChunk chunk;
  chunk.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
  return chunk;
}

std::vector<uint8_t> BytesOf(const StateChunk& chunk)
{
  return std::vector<uint8_t>(chunk.GetData(), chunk.GetData() + chunk.Size());
}

} // namespace

TEST(StateChunk, StoresRawLittleEndianValuesBackToBack)
{
  StateChunk chunk;
  EXPECT_EQ(chunk.Put(int32_t(998)), 0);
  EXPECT_EQ(chunk.Put(int32_t(386)), 4);
  EXPECT_EQ(chunk.Put(1.0f), 8);
  EXPECT_EQ(chunk.Put(-2.5), 12);
  EXPECT_EQ(BytesOf(chunk), (std::vector<uint8_t>{0xE6, 0x03, 0, 0, 0x82, 0x01, 0, 0, 0, 0, 0x80, 0x3F,
                                                  0, 0, 0, 0, 0, 0, 0x04, 0xC0}));

  int32_t width = 0, height = 0;
  float scale = 0.f;
  double value = 0.0;
  int pos = chunk.Get(width, 0);
  pos = chunk.Get(height, pos);
  pos = chunk.Get(scale, pos);
  pos = chunk.Get(value, pos);
  EXPECT_EQ(pos, 20);
  EXPECT_EQ(width, 998);
  EXPECT_EQ(height, 386);
  EXPECT_EQ(scale, 1.0f);
  EXPECT_EQ(value, -2.5);
}

TEST(StateChunk, ReadsOutsideTheDataFailAndLeaveTheDestination)
{
  StateChunk chunk;
  chunk.Put(int32_t(7));
  chunk.Put(int16_t(3));
  const int positions[] = {-1, -8, 3, 6, 7, INT_MAX - 2, INT_MAX};
  for (int pos : positions)
  {
    int32_t value = 42;
    EXPECT_EQ(chunk.Get(value, pos), -1) << pos;
    EXPECT_EQ(value, 42) << pos;
  }
  double d = 1.0;
  EXPECT_EQ(chunk.Get(d, 0), -1); // 8 bytes from 6
  EXPECT_EQ(d, 1.0);
}

TEST(StateChunk, GrowsAcrossManyPagesKeepingItsContent)
{
  StateChunk chunk;
  for (int i = 0; i < 5000; ++i)
    ASSERT_EQ(chunk.Put(double(i)), i * 8);
  EXPECT_EQ(chunk.Size(), 40000);
  for (int i = 0; i < 5000; i += 999)
  {
    double value = -1.0;
    EXPECT_EQ(chunk.Get(value, i * 8), i * 8 + 8);
    EXPECT_EQ(value, i);
  }
  std::vector<uint8_t> block(128, 0x5A);
  EXPECT_EQ(chunk.PutBytes(block.data(), 128), 40000);
  EXPECT_EQ(chunk.GetData()[40127], 0x5A);
}

TEST(StateImage, SavingWithoutAnEditorEverOpenedWritesAZeroSize)
{
  StatePlugin plugin;
  StateChunk chunk;
  ASSERT_TRUE(plugin.SaveState(chunk));
  ASSERT_EQ(chunk.Size(), kImageSize);
  EXPECT_EQ(std::vector<uint8_t>(chunk.GetData(), chunk.GetData() + 12), std::vector<uint8_t>(12, 0));
  double first = 0.0;
  chunk.Get(first, 12);
  EXPECT_EQ(first, 10.0);
}

TEST(StateImage, A228ByteImageRoundTripsEveryParameterAndTheEditorSize)
{
  StatePlugin source;
  source.SetNonDefaults();
  GraphicsLog log;
  log.width = 1200;
  log.height = 463;
  log.drawScale = 1.25f;
  source.UseFakeGraphics(log);
  source.OpenEditor(nullptr);
  StateChunk chunk;
  ASSERT_TRUE(source.SaveState(chunk));
  ASSERT_EQ(chunk.Size(), 228);
  const std::vector<uint8_t> sizePrefix(chunk.GetData(), chunk.GetData() + 12);
  EXPECT_EQ(sizePrefix, (std::vector<uint8_t>{0xB0, 0x04, 0, 0, 0xCF, 0x01, 0, 0, 0, 0, 0xA0, 0x3F}));

  StatePlugin target;
  EXPECT_EQ(target.LoadState(chunk, 0), 228);
  EXPECT_EQ(target.Values(), source.Values());
  EXPECT_EQ(target.GetRememberedWidth(), 1200);
  EXPECT_EQ(target.GetRememberedHeight(), 463);
  EXPECT_EQ(target.GetRememberedScale(), 1.25f);
  EXPECT_EQ(target.events, Announcements(kNParams, plug::kPresetRecall));

  StateChunk again; // saved with the editor closed: the loaded size goes back out unchanged
  ASSERT_TRUE(target.SaveState(again));
  EXPECT_EQ(BytesOf(again), BytesOf(chunk));
}

TEST(StateImage, A20ByteImageSetsTheFirstParameterZeroesTheSecondAndKeepsTheRest)
{
  StatePlugin source;
  source.SetNonDefaults();
  StateChunk full;
  source.SaveState(full);
  const StateChunk shortChunk = ChunkOf(std::vector<uint8_t>(full.GetData(), full.GetData() + 20));

  StatePlugin target;
  std::vector<double> expected = target.Values();
  expected[0] = -7.3;
  expected[1] = 1.0; // Clamp(0.0) of a 1..20 parameter
  EXPECT_EQ(target.LoadState(shortChunk, 0), -1);
  EXPECT_EQ(target.Values(), expected);
  EXPECT_EQ(target.events, Announcements(kNParams, plug::kPresetRecall));
}

TEST(StateImage, ANegativeStartReadsNothingButStillAnnounces)
{
  StatePlugin source;
  source.SetNonDefaults();
  StateChunk chunk;
  source.SerializeParams(chunk);

  StatePlugin target;
  const std::vector<double> before = target.Values();
  for (int start : {-1, -5})
  {
    target.events.clear();
    EXPECT_EQ(target.UnserializeParams(chunk, start), start);
    EXPECT_EQ(target.Values(), before);
    EXPECT_EQ(target.events, Announcements(kNParams, plug::kPresetRecall));
  }
}

TEST(StateImage, StoredValuesAreClampedAndRoundedOnLoad)
{
  StatePlugin plugin;
  plugin.GetParameter(4)->SetPlain(5.0);
  StateChunk chunk;
  const double stored[] = {99.0, -4.0, 0.04, 16.0};
  for (double value : stored)
    chunk.Put(value);
  plugin.UnserializeParams(chunk, 0);
  EXPECT_EQ(plugin.GetParameter(0)->GetPlain(), 10.0);
  EXPECT_EQ(plugin.GetParameter(1)->GetPlain(), 1.0);
  EXPECT_EQ(plugin.GetParameter(2)->GetPlain(), 0.04);
  EXPECT_EQ(plugin.GetParameter(3)->GetPlain(), 15.0);
  EXPECT_EQ(plugin.GetParameter(4)->GetPlain(), 0.0); // first value that could not be read

  StateChunk switches;
  for (int i = 0; i < 15; ++i)
    switches.Put(0.0);
  switches.Put(0.7);
  plugin.UnserializeParams(switches, 0);
  EXPECT_EQ(plugin.GetParameter(15)->GetPlain(), 1.0);
}

TEST(StateImage, LoadedSizeResizesAnOpenEditorOnlyWhenComplete)
{
  StatePlugin plugin;
  GraphicsLog log;
  plugin.UseFakeGraphics(log);
  plugin.OpenEditor(nullptr);
  log.calls.clear();

  const struct
  {
    int32_t width, height;
    float scale;
    int bytes;
    bool resized;
  } cases[] = {{1500, 580, 1.5f, 12, true}, {0, 580, 1.5f, 12, false}, {1500, 580, 0.f, 12, false}, {1500, 580, 1.5f, 8, false}};
  for (const auto& c : cases)
  {
    StateChunk full;
    full.Put(c.width);
    full.Put(c.height);
    full.Put(c.scale);
    const StateChunk chunk = ChunkOf(std::vector<uint8_t>(full.GetData(), full.GetData() + c.bytes));
    EXPECT_EQ(plugin.LoadEditorSize(chunk, 0), c.bytes == 12 ? 12 : -1);
    EXPECT_EQ(log.calls.size(), c.resized ? 1u : 0u) << c.width << " " << c.scale << " " << c.bytes;
    log.calls.clear();
  }
  EXPECT_EQ(plugin.GetRememberedWidth(), 0); // an open editor is resized, nothing is remembered
}

TEST(Presets, FirstRecallCapturesTheStateLaterRecallsRestoreIt)
{
  StatePlugin plugin(3);
  EXPECT_FALSE(plugin.RecallPreset(-1));
  EXPECT_FALSE(plugin.RecallPreset(3));
  EXPECT_STREQ(plugin.PresetNameAt(0), "empty");
  EXPECT_STREQ(plugin.PresetNameAt(3), "");
  EXPECT_STREQ(plugin.PresetNameAt(-1), "");

  plugin.SetNonDefaults();
  const std::vector<double> captured = plugin.Values();
  plugin.events.clear();
  ASSERT_TRUE(plugin.RecallPreset(1));
  EXPECT_STREQ(plugin.PresetNameAt(1), "user preset 1");
  EXPECT_EQ(plugin.GetCurrentPresetIdx(), 1);
  ASSERT_EQ(plugin.events.size(), kNParams + 1u); // every value to the editor, then PresetsChanged
  EXPECT_EQ(plugin.events.front(), Call("OnParamChangeForEditor", 0, plug::kDelegate));
  EXPECT_EQ(plugin.events.back(), "PresetsChanged");

  ASSERT_TRUE(plugin.RecallPreset(0));
  EXPECT_STREQ(plugin.PresetNameAt(0), "user preset 2");
  EXPECT_EQ(plugin.GetCurrentPresetIdx(), 0);

  for (int i = 0; i < kNParams; ++i)
    plugin.GetParameter(i)->SetPlain(0.0);
  ASSERT_TRUE(plugin.RecallPreset(1));
  EXPECT_EQ(plugin.Values(), captured);
  EXPECT_STREQ(plugin.PresetNameAt(1), "user preset 1");
  EXPECT_STREQ(plugin.PresetNameAt(2), "empty");
}

TEST(Presets, DefaultStateHooksStoreOnlyTheParameters)
{
  RecordingPlugin plugin(TestDefinition(2, 1));
  plugin.GetParameter(0)->SetupDouble("a", 0.5, 0.0, 1.0, 0.01);
  plugin.GetParameter(1)->SetupDouble("b", 3.0, 0.0, 10.0, 0.1);
  StateChunk chunk;
  ASSERT_TRUE(plugin.SaveState(chunk));
  EXPECT_EQ(chunk.Size(), 16);
  plugin.GetParameter(0)->SetPlain(0.0);
  EXPECT_EQ(plugin.LoadState(chunk, 0), 16);
  EXPECT_EQ(plugin.GetParameter(0)->GetPlain(), 0.5);
}
