// The plug-in's state image: editor size, then the 27 parameter values.

#include "KorvelTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kStateSize = 12 + 27 * 8;

std::vector<uint8_t> Bytes(const plug::StateChunk& chunk)
{
  return std::vector<uint8_t>(chunk.GetData(), chunk.GetData() + chunk.Size());
}

double ValueAt(const plug::StateChunk& chunk, int paramIdx)
{
  double value = 0.0;
  EXPECT_GT(chunk.Get(value, 12 + 8 * paramIdx), 0);
  return value;
}

TEST(KorvelState, BeginsWithTheOpenEditorsSize)
{
  auto plugin = MakeKorvel();
  OpenFakeEditor(*plugin);  // 998 x 386 at scale 1
  SetParam(*plugin, kRatioExt, 7.5);
  SetParam(*plugin, kOversampling, 1.0);
  plug::StateChunk chunk;
  ASSERT_TRUE(plugin->SaveState(chunk));
  ASSERT_EQ(chunk.Size(), kStateSize);
  const std::vector<uint8_t> prefix(chunk.GetData(), chunk.GetData() + 12);
  EXPECT_EQ(prefix, (std::vector<uint8_t>{0xE6, 0x03, 0x00, 0x00, 0x82, 0x01, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F}));
  EXPECT_EQ(ValueAt(chunk, kThresholdInt), 10.0);
  EXPECT_EQ(ValueAt(chunk, kRatioExt), 7.5);
  EXPECT_EQ(ValueAt(chunk, kOversampling), 1.0);
  EXPECT_EQ(ValueAt(chunk, kMeterInt), 0.0);
  EXPECT_EQ(ValueAt(chunk, kMeterExt), 0.0);
}

TEST(KorvelState, LoadRestoresParametersCookedValuesAndTheEditorSize)
{
  auto source = MakeKorvel();
  FakeEditorGraphics* sourceEditor = OpenFakeEditor(*source);
  sourceEditor->width = 1497;
  sourceEditor->height = 579;
  sourceEditor->scale = 1.5f;
  SetParam(*source, kFetInt, 1.0);
  SetParam(*source, kOptoInt, 1.0);
  SetParam(*source, kThresholdExt, -5.0);
  SetParam(*source, kPower, 0.0);
  plug::StateChunk saved;
  ASSERT_TRUE(source->SaveState(saved));

  // Behind some leading bytes, as a host's own framing would put it.
  plug::StateChunk framed;
  framed.Put(int32_t{0x12345678});
  framed.PutBytes(saved.GetData(), saved.Size());

  auto target = MakeKorvel();  // no editor open
  EXPECT_EQ(target->LoadState(framed, 4), 4 + kStateSize);
  for (int i = 0; i < target->NParams(); ++i)
    EXPECT_EQ(target->GetParameter(i)->GetPlain(), source->GetParameter(i)->GetPlain()) << i;
  const KORVEL::CookedValues cooked = target->GetCookedValues();
  EXPECT_EQ(cooked.stages[0].ModeCode(), 15);
  EXPECT_EQ(cooked.stages[1].threshold, -25.0);
  EXPECT_EQ(cooked.power, 0);

  // Saved again with the editor still closed: the loaded size goes back unchanged.
  plug::StateChunk again;
  ASSERT_TRUE(target->SaveState(again));
  EXPECT_EQ(Bytes(again), Bytes(saved));

  // Opened afterwards, the editor takes the loaded size.
  FakeEditorGraphics* targetEditor = OpenFakeEditor(*target);
  EXPECT_EQ(targetEditor->width, 1497);
  EXPECT_EQ(targetEditor->height, 579);
  EXPECT_EQ(targetEditor->scale, 1.5f);
}

TEST(KorvelState, TruncatedImageKeepsTheClosedEditorsRememberedSize)
{
  auto plugin = MakeKorvel();
  FakeEditorGraphics* editor = OpenFakeEditor(*plugin);
  editor->width = 1497;
  editor->height = 579;
  editor->scale = 1.5f;
  plugin->CloseEditor();
  plug::StateChunk before;
  ASSERT_TRUE(plugin->SaveState(before));

  plug::StateChunk tooShort;
  tooShort.Put(int32_t{998});
  tooShort.Put(int32_t{386});
  EXPECT_LT(plugin->LoadState(tooShort, 0), 0);

  plug::StateChunk after;
  ASSERT_TRUE(plugin->SaveState(after));
  EXPECT_EQ(std::vector<uint8_t>(after.GetData(), after.GetData() + 12),
            std::vector<uint8_t>(before.GetData(), before.GetData() + 12));
}

TEST(KorvelState, OpenEditorIgnoresMissingOrZeroSizes)
{
  auto plugin = MakeKorvel();
  FakeEditorGraphics* editor = OpenFakeEditor(*plugin);

  plug::StateChunk tooShort;
  tooShort.Put(int32_t{998});
  tooShort.Put(int32_t{386});
  EXPECT_LT(plugin->LoadState(tooShort, 0), 0);

  plug::StateChunk zeroSize;
  zeroSize.Put(int32_t{0});
  zeroSize.Put(int32_t{0});
  zeroSize.Put(0.f);
  for (int i = 0; i < 27; ++i)
    zeroSize.Put(plugin->GetParameter(i)->GetPlain());
  EXPECT_EQ(plugin->LoadState(zeroSize, 0), kStateSize);

  EXPECT_EQ(editor->sizeChanges, 0);
  EXPECT_EQ(editor->width, 998);

  plug::StateChunk resized;
  resized.Put(int32_t{1996});
  resized.Put(int32_t{772});
  resized.Put(2.f);
  for (int i = 0; i < 27; ++i)
    resized.Put(plugin->GetParameter(i)->GetPlain());
  EXPECT_EQ(plugin->LoadState(resized, 0), kStateSize);
  EXPECT_EQ(editor->sizeChanges, 1);
  EXPECT_EQ(editor->width, 1996);
  EXPECT_EQ(editor->height, 772);
  EXPECT_EQ(editor->scale, 2.f);
}

} // namespace
