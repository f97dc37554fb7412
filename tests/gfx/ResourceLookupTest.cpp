#include "gfx/ResourceLookup.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using gfx::FindScaledImage;
using gfx::ReadResourceBytes;
using gfx::ScaledImageName;
using gfx::ScaleSearchOrder;

namespace {

std::string VariantFileName(const std::string& name, int scale)
{
  return scale == 1 ? name : name.substr(0, name.size() - 4) + "@" + std::to_string(scale) + "x.png";
}

std::vector<uint8_t> Bytes(const std::string& text)
{
  return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace

TEST(ScaleSearchOrder, TriesTheTargetThenThreeThenDownwards)
{
  const struct
  {
    int target;
    std::vector<int> order;
  } cases[] = {
    {1, {1, 3, 2}},
    {2, {2, 3, 1}},
    {3, {3, 2, 1}},
    {4, {4, 3, 2, 1}},
    {5, {5, 3, 2, 1}},
    {0, {1, 3, 2}}, // no target below 1
    {-3, {1, 3, 2}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ScaleSearchOrder(c.target), c.order) << "target " << c.target;
}

TEST(ScaledImageName, InsertsTheScaleBeforeTheExtensionOfTheFileName)
{
  const struct
  {
    const char* name;
    int scale;
    const char* scaled;
  } cases[] = {
    {"KNOB.png", 1, "KNOB.png"},
    {"KNOB.png", 2, "KNOB@2x.png"},
    {"KNOB.png", 3, "KNOB@3x.png"},
    {"knob.PNG", 4, "knob@4x.PNG"},
    {"KNOB.tar.png", 2, "KNOB.tar@2x.png"},
    {"KNOB", 2, "KNOB@2x"},
    {"KNOB", 1, "KNOB"},
    {"img/KNOB.png", 2, "img/KNOB@2x.png"},
    {"img\\KNOB.png", 2, "img\\KNOB@2x.png"},
    {"img.v2/KNOB", 2, "img.v2/KNOB@2x"},
    {"img.v2\\KNOB", 3, "img.v2\\KNOB@3x"},
    {"C:\\art.d/img.v2\\KNOB.png", 2, "C:\\art.d/img.v2\\KNOB@2x.png"},
    {"a.b\\c.d/KNOB", 2, "a.b\\c.d/KNOB@2x"},
    {".png", 2, "@2x.png"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ScaledImageName(c.name, c.scale), c.scaled) << c.name << " at " << c.scale;
}

TEST(FindScaledImage, PicksTheFirstPresentVariantInScaleOrder)
{
  const struct
  {
    std::vector<int> present;
    int target;
    int foundScale; // 0: nothing found
  } cases[] = {
    {{1, 2, 3}, 1, 1},
    {{2, 3}, 1, 3}, // a 3x variant wins over 2x when 1x is missing
    {{2}, 1, 2},
    {{1, 2, 3, 4}, 2, 2},
    {{1, 3}, 2, 3},
    {{1, 4}, 2, 1}, // larger than 3 only when it is the target
    {{1, 2, 3}, 3, 3},
    {{1, 2, 4}, 3, 2},
    {{1}, 3, 1},
    {{4}, 3, 0},
    {{1, 2, 3, 4}, 4, 4},
    {{1, 2, 3}, 4, 3},
    {{1, 2}, 4, 2},
    {{1}, 4, 1},
    {{}, 2, 0},
  };
  ScratchFolder folder;
  int caseNumber = 0;
  for (const auto& c : cases)
  {
    const std::string image = "case" + std::to_string(++caseNumber) + "/A.png";
    for (int scale : c.present)
      folder.Write(VariantFileName(image, scale), "image at " + std::to_string(scale));

    std::string location = "unchanged";
    int foundScale = -1;
    const plug::EResourceLocation kind =
      FindScaledImage(folder.Path(image).c_str(), "png", location, c.target, foundScale);
    if (c.foundScale == 0)
    {
      EXPECT_EQ(kind, plug::kNotFound) << image;
      EXPECT_EQ(location, "unchanged") << image;
      EXPECT_EQ(foundScale, -1) << image;
      continue;
    }
    EXPECT_EQ(kind, plug::kFoundOnDisk) << image;
    EXPECT_EQ(foundScale, c.foundScale) << image;
    EXPECT_EQ(location, folder.Path(VariantFileName(image, c.foundScale))) << image;
  }
}

TEST(FindScaledImage, SplitsTheExtensionOffTheFileNameOnly)
{
  ScratchFolder folder;
  const struct
  {
    const char* requested;
    const char* stored;
  } cases[] = {
    {"img/KNOB.png", "img/KNOB@2x.png"},
    {"v1.2/NOEXT", "v1.2/NOEXT@2x"},
    {"v3.4\\KNOB.png", "v3.4\\KNOB@2x.png"}, // a folder on Windows, part of the file name elsewhere
  };
  for (const auto& c : cases)
  {
    const std::string stored = folder.Write(c.stored, "2x");
    std::string location;
    int foundScale = 0;
    EXPECT_EQ(FindScaledImage(folder.Path(c.requested).c_str(), "png", location, 2, foundScale), plug::kFoundOnDisk)
      << c.requested;
    EXPECT_EQ(location, stored) << c.requested;
    EXPECT_EQ(foundScale, 2) << c.requested;
  }
}

TEST(FindScaledImage, FindsNothingForNoName)
{
  std::string location = "unchanged";
  int foundScale = -1;
  EXPECT_EQ(FindScaledImage("", "png", location, 2, foundScale), plug::kNotFound);
  EXPECT_EQ(FindScaledImage(nullptr, "png", location, 2, foundScale), plug::kNotFound);
  EXPECT_EQ(location, "unchanged");
  EXPECT_EQ(foundScale, -1);
}

TEST(ReadResourceBytes, ReadsAFileOnDiskWholeAndUnaltered)
{
  ScratchFolder folder;
  // Line ends, a Ctrl-Z and zero bytes would not survive reading in text mode.
  const std::string binary("\x89PNG\r\n\x1a\n\0\0\xff\r\n\n\r", 15);
  std::string large(3 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>((i * 131) >> 3);

  const struct
  {
    const char* file;
    std::string content;
  } cases[] = {
    {"binary.png", binary},
    {"short.txt", "abc"}, // files have no minimum size
    {"large.bin", large},
    {"empty.png", ""},
  };
  for (const auto& c : cases)
  {
    const std::string path = folder.Write(c.file, c.content);
    EXPECT_EQ(ReadResourceBytes(path.c_str(), "png"), Bytes(c.content)) << c.file;
  }
}

TEST(ReadResourceBytes, GivesNothingForWhatIsNeitherResourceNorFile)
{
  ScratchFolder folder;
  folder.Write("sub/file.png", "content");
  const std::string missing = folder.Path("missing.png");
  const std::string subFolder = folder.Path("sub");
  for (const char* name : {missing.c_str(), subFolder.c_str(), "", static_cast<const char*>(nullptr)})
    EXPECT_TRUE(ReadResourceBytes(name, "png").empty()) << (name ? name : "(null)");
}
