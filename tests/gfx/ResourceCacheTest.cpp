#include "RecordingGfx.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using gfx::FontDataCache;
using gfx::ReadFontDescriptor;
using gfx::ResourceCache;
using gfxtest::Call;
using gfxtest::RecordingBitmap;
using gfxtest::RecordingGfx;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

struct Thing
{
  explicit Thing(int* alive) : mAlive(alive) { ++*mAlive; }
  ~Thing() { --*mAlive; }
  int* mAlive;
};

TEST(ResourceCache, EntriesAreKeyedByNameAndScale)
{
  EXPECT_EQ(gfx::ResourceCacheKey("KNOB.png", 2.0), "KNOB.png-2.0x");
  EXPECT_EQ(gfx::ResourceCacheKey("KNOB.png", 1.5), "KNOB.png-1.5x");
  EXPECT_EQ(gfx::HashFNV1a("", 0), 0xCBF29CE484222325ull);
  EXPECT_EQ(gfx::HashFNV1a("a", 1), 0xAF63DC4C8601EC8Cull);

  int alive = 0;
  ResourceCache<Thing> cache;
  Thing* two = cache.Add(std::make_unique<Thing>(&alive), "KNOB.png", 2.0);
  EXPECT_EQ(cache.Find("KNOB.png", 2.0), two);
  EXPECT_EQ(cache.Find("KNOB.png", 1.0), nullptr);
  EXPECT_EQ(cache.Find("knob.png", 2.0), nullptr);
  Thing* replacement = cache.Add(std::make_unique<Thing>(&alive), "KNOB.png", 2.0);
  EXPECT_EQ(alive, 1) << "the replaced object is deleted";
  EXPECT_EQ(cache.Find("KNOB.png", 2.0), replacement);
  EXPECT_TRUE(cache.Remove(replacement));
  EXPECT_FALSE(cache.Remove(replacement));
  EXPECT_EQ(alive, 0);
}

TEST(ResourceCache, TheLastOwnerFreesEverything)
{
  int alive = 0;
  ResourceCache<Thing> cache;
  cache.Retain();
  cache.Retain();
  cache.Add(std::make_unique<Thing>(&alive), "a", 1.0);
  cache.Add(std::make_unique<Thing>(&alive), "b", 1.0);
  cache.Release();
  EXPECT_EQ(alive, 2);
  cache.Release();
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(cache.Size(), 0);
  cache.Release(); // one release too many does not underflow
  EXPECT_EQ(cache.UseCount(), 0);
}

// --- Bitmaps --------------------------------------------------------------------------

TEST(Bitmaps, AnImageStoredOnlyAtTwiceTheScaleIsFoundForEveryTargetAndReportsItsUnscaledSize)
{
  RecordingGfx g;
  const struct
  {
    const char* name;
    int target;
  } cases[] = {{"KNOB.png", 1}, {"knob.PNG", 2}, {"KNOB.png", 3}, {"KNOB.png", 4}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    const gfx::IBitmap knob = g.RequestBitmap(c.name, 101, false, c.target);
    ASSERT_TRUE(knob.IsValid()) << g.LastResourceError();
    EXPECT_EQ(knob.GetScale(), 2.f);
    EXPECT_EQ(knob.W() * 2, knob.GetAPIBitmap()->GetWidth());
    EXPECT_EQ(knob.H() * 2, knob.GetAPIBitmap()->GetHeight());
    EXPECT_EQ(knob.N(), 101);
    EXPECT_EQ(knob.FrameHeight(), knob.H() / 101);
    EXPECT_EQ(knob.GetName(), c.name);
  }
}

TEST(Bitmaps, ASecondRequestComesFromTheContextsCacheAtTheScaleFound)
{
  RecordingGfx g;
  const gfx::IBitmap first = g.RequestBitmap("NEEDLE.png", 1, false, 1);
  const gfx::IBitmap second = g.RequestBitmap("NEEDLE.png", 1, false, 1);
  const gfx::IBitmap third = g.RequestBitmap("NEEDLE.png", 1, false, 2);
  EXPECT_EQ(first.GetAPIBitmap(), second.GetAPIBitmap());
  EXPECT_EQ(first.GetAPIBitmap(), third.GetAPIBitmap());
  EXPECT_THAT(g.CallsStartingWith("LoadBackendBitmap"), testing::SizeIs(1));
  int found = 0;
  EXPECT_EQ(g.FindCachedBitmap("NEEDLE.png", 1, found), first.GetAPIBitmap());
  EXPECT_EQ(found, 2);
}

TEST(Bitmaps, MissingUnsupportedOrUndecodableImagesGiveAnEmptyHandleAndAReason)
{
  RecordingGfx g;
  const struct
  {
    const char* name;
    const char* reason;
  } cases[] = {
    {"NOPE.png", "not found"},
    {"KNOB.gif", "not a supported image type"},
    {"KNOB", "not a supported image type"},
    {"", "no bitmap name"},
    {"Roboto-Regular.ttf", "not a supported image type"},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    const gfx::IBitmap bitmap = g.RequestBitmap(c.name);
    EXPECT_FALSE(bitmap.IsValid());
    EXPECT_EQ(bitmap.W(), 0);
    EXPECT_THAT(g.LastResourceError(), HasSubstr(c.reason));
  }
  const uint8_t garbage[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 1, 2};
  EXPECT_FALSE(g.RequestBitmapFromData("broken.png", garbage, sizeof(garbage)).IsValid());
  EXPECT_THAT(g.LastResourceError(), HasSubstr("cannot decode"));
  EXPECT_FALSE(g.RequestBitmapFromData("nothing.png", nullptr, 0).IsValid());
  EXPECT_EQ(g.CachedBitmapCount(), 0) << "failures are not cached";

  g.bitmapAccepted = false;
  EXPECT_FALSE(g.RequestBitmap("NEEDLE.png").IsValid());
  EXPECT_THAT(g.LastResourceError(), HasSubstr("backend"));
}

TEST(Bitmaps, TheContextFreesItsBitmapsWhenItsWindowClosesOrItGoes)
{
  const int before = RecordingBitmap::Alive();
  {
    RecordingGfx g;
    g.OpenEditorWindow(nullptr);
    g.RequestBitmap("NEEDLE.png");
    g.RequestBitmap("SWITCH.png");
    EXPECT_EQ(RecordingBitmap::Alive(), before + 2);
    g.CloseEditorWindow();
    EXPECT_EQ(RecordingBitmap::Alive(), before);
    g.RequestBitmap("OVER.png");
  }
  EXPECT_EQ(RecordingBitmap::Alive(), before);
}

TEST(Bitmaps, UncachingDeletesExactlyThatBitmap)
{
  RecordingGfx g;
  const gfx::IBitmap needle = g.RequestBitmap("NEEDLE.png");
  const gfx::IBitmap other = g.RequestBitmap("SWITCH.png");
  g.UncacheBitmap(needle.GetAPIBitmap());
  int found = 0;
  EXPECT_EQ(g.FindCachedBitmap("NEEDLE.png", 1, found), nullptr);
  EXPECT_EQ(g.FindCachedBitmap("SWITCH.png", 1, found), other.GetAPIBitmap());
  EXPECT_EQ(g.CachedBitmapCount(), 1);
}

// --- Fonts ----------------------------------------------------------------------------

std::vector<uint8_t> RobotoBytes()
{
  return gfx::ReadResourceBytes("Roboto-Regular.ttf", "ttf");
}

TEST(Fonts, TheEditorsFontDescribesItself)
{
  const std::vector<uint8_t> bytes = RobotoBytes();
  ASSERT_FALSE(bytes.empty());
  const gfx::FontDescriptor d = ReadFontDescriptor(bytes.data(), bytes.size());
  ASSERT_TRUE(d.IsValid());
  EXPECT_EQ(d.family, "Roboto");
  EXPECT_EQ(d.style, "Regular");
  EXPECT_EQ(d.unitsPerEm, 2048);
  EXPECT_EQ(d.macStyle & 3, 0) << "neither bold nor italic";
  EXPECT_GT(d.ascender, 0);
  EXPECT_LT(d.descender, 0);
  EXPECT_FALSE(ReadFontDescriptor(bytes.data(), bytes.size(), 1).IsValid()) << "a single font has one face";
}

// The same font wrapped in a one-face collection: table offsets move by the header.
std::vector<uint8_t> AsCollection(const std::vector<uint8_t>& font)
{
  const uint32_t shift = 16;
  std::vector<uint8_t> ttc = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 16};
  ttc.insert(ttc.end(), font.begin(), font.end());
  const int numTables = font[4] << 8 | font[5];
  for (int i = 0; i < numTables; ++i)
  {
    uint8_t* offset = &ttc[shift + 12 + 16 * i + 8];
    uint32_t value = uint32_t(offset[0]) << 24 | uint32_t(offset[1]) << 16 | uint32_t(offset[2]) << 8 | offset[3];
    value += shift;
    offset[0] = uint8_t(value >> 24);
    offset[1] = uint8_t(value >> 16);
    offset[2] = uint8_t(value >> 8);
    offset[3] = uint8_t(value);
  }
  return ttc;
}

TEST(Fonts, ACollectionSelectsItsFaceByIndex)
{
  const std::vector<uint8_t> ttc = AsCollection(RobotoBytes());
  const gfx::FontDescriptor d = ReadFontDescriptor(ttc.data(), ttc.size(), 0);
  ASSERT_TRUE(d.IsValid());
  EXPECT_EQ(d.faceOffset, 16u);
  EXPECT_EQ(d.family, "Roboto");
  EXPECT_FALSE(ReadFontDescriptor(ttc.data(), ttc.size(), 1).IsValid());
  EXPECT_FALSE(ReadFontDescriptor(ttc.data(), ttc.size(), -1).IsValid());
}

TEST(Fonts, DamagedFontFilesGiveAnEmptyDescriptorNeverACrash)
{
  const std::vector<uint8_t> bytes = RobotoBytes();
  ASSERT_FALSE(bytes.empty());
  // Every cut of the table directory and the tables it needs (the sanitizers watch the reads).
  for (size_t size = 0; size < 2048; ++size)
    ReadFontDescriptor(bytes.data(), size);
  EXPECT_FALSE(ReadFontDescriptor(bytes.data(), 100).IsValid());
  for (size_t size = 2048; size < bytes.size(); size += 97)
    ReadFontDescriptor(bytes.data(), size);
  EXPECT_FALSE(ReadFontDescriptor(nullptr, 100).IsValid());

  std::vector<uint8_t> wrongSignature = bytes;
  wrongSignature[0] = 'X';
  EXPECT_FALSE(ReadFontDescriptor(wrongSignature.data(), wrongSignature.size()).IsValid());

  // Table offsets pointing far outside the file.
  std::vector<uint8_t> wild = bytes;
  const int numTables = wild[4] << 8 | wild[5];
  for (int i = 0; i < numTables; ++i)
    std::memset(&wild[12 + 16 * i + 8], 0xFF, 4);
  EXPECT_FALSE(ReadFontDescriptor(wild.data(), wild.size()).IsValid());

  std::vector<uint8_t> manyFaces = AsCollection(bytes);
  std::memset(&manyFaces[8], 0xFF, 4); // claims four billion faces
  EXPECT_FALSE(ReadFontDescriptor(manyFaces.data(), manyFaces.size(), 70000).IsValid());
}

TEST(Fonts, FontBytesAreSharedByTheOpenEditorsAndFreedWithTheLast)
{
  auto first = std::make_unique<RecordingGfx>();
  EXPECT_TRUE(first->RequestFont("Roboto-Regular", "Roboto-Regular.ttf")) << first->LastResourceError();
  EXPECT_THAT(first->calls, ElementsAre("LoadBackendFont(Roboto-Regular,Roboto)"));
  auto second = std::make_unique<RecordingGfx>();
  EXPECT_TRUE(second->RequestFont("Roboto-Regular", "Roboto-Regular.ttf"));
  {
    std::lock_guard<std::mutex> lock(FontDataCache().Mutex());
    EXPECT_EQ(FontDataCache().Size(), 1);
  }
  first.reset();
  {
    std::lock_guard<std::mutex> lock(FontDataCache().Mutex());
    EXPECT_NE(FontDataCache().Find("Roboto-Regular", 1.0), nullptr) << "one editor is still open";
  }
  second.reset();
  std::lock_guard<std::mutex> lock(FontDataCache().Mutex());
  EXPECT_EQ(FontDataCache().Size(), 0);
}

TEST(Fonts, MissingOrUnusableFontsAreRefusedWithAReason)
{
  RecordingGfx g;
  EXPECT_FALSE(g.RequestFont("Missing", "Missing.ttf"));
  EXPECT_THAT(g.LastResourceError(), HasSubstr("font not found"));
  const uint8_t notAFont[] = "this is not a font file at all";
  EXPECT_FALSE(g.RequestFont("Junk", notAFont, sizeof(notAFont)));
  EXPECT_THAT(g.LastResourceError(), HasSubstr("not a usable font"));
  g.fontAccepted = false;
  EXPECT_FALSE(g.RequestFont("Roboto-Regular", "Roboto-Regular.ttf"));
  EXPECT_THAT(g.LastResourceError(), HasSubstr("backend"));
}

} // namespace
