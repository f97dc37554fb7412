// The KORVEL module's own images and font, embedded into this test executable
// from the same list as into the module, found and read as the editor does.

#include "gfx/ResourceLookup.h"

#include "ListedResources.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using gfx::FindScaledImage;
using gfx::ReadResourceBytes;

namespace {

// The images the editor loads, each stored only as its 2x variant.
const char* const kEditorImages[] = {"BG.png",    "KNOB.png",  "NEEDLE.png", "OFF.png",
                                     "OVER.png",  "SCREW.png", "SWITCH.png"};

std::string Lower(std::string text)
{
  for (char& c : text)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

std::vector<uint8_t> FileBytes(const char* path)
{
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

// Files of the images' own names, at 1x and 3x, in the host's working folder
// must not replace the module's artwork.
TEST(KorvelResources, EveryEditorImageIsFoundAsIts2xVariantAtEveryTargetScaleWhateverFilesLieAround)
{
  ASSERT_NE(plug::CurrentModule(), nullptr);
  ScratchFolder folder;
  for (const char* image : kEditorImages)
  {
    folder.Write(image, "a stray file");
    folder.Write(gfx::ScaledImageName(image, 3), "a stray file");
  }
  const std::filesystem::path workingFolder = std::filesystem::current_path();
  std::filesystem::current_path(folder.Path(""));
  struct Restore
  {
    std::filesystem::path path;
    ~Restore() { std::filesystem::current_path(path); }
  } restore{workingFolder};

  for (const char* image : kEditorImages)
  {
    const std::string stem = Lower(image).substr(0, std::string(image).size() - 4);
    for (int target : {1, 2, 3, 4})
    {
      std::string location;
      int foundScale = 0;
      EXPECT_EQ(FindScaledImage(image, "png", location, target, foundScale), plug::kFoundInModule)
        << image << " at " << target;
      EXPECT_EQ(location, "\"" + stem + "@2x.png\"") << image << " at " << target;
      EXPECT_EQ(foundScale, 2) << image << " at " << target;
    }
  }
}

TEST(KorvelResources, ImageLookupIgnoresLetterCase)
{
  const struct
  {
    const char* name;
    const char* extension;
  } cases[] = {{"knob.PNG", "PNG"}, {"knob.png", "png"}, {"Knob.Png", "pNg"}, {"KNOB.PNG", "png"}};
  for (const auto& c : cases)
  {
    std::string location;
    int foundScale = 0;
    EXPECT_EQ(FindScaledImage(c.name, c.extension, location, 2, foundScale), plug::kFoundInModule) << c.name;
    EXPECT_EQ(location, "\"knob@2x.png\"") << c.name;
    EXPECT_EQ(foundScale, 2) << c.name;
  }
}

TEST(KorvelResources, ImagesThatAreNotThereAreNotFound)
{
  const struct
  {
    const char* name;
    const char* extension;
  } cases[] = {
    {"MISSING.png", "png"},
    {"KNOB.png", "ttf"},     // a resource of another type
    {"KNOB", "png"},         // KNOB@2x is not KNOB@2x.png
    {"img/KNOB.png", "png"}, // resources have no folders
    {"KNOB.jpg", "png"},
    {"Roboto-Regular.ttf", "png"},
  };
  for (const auto& c : cases)
  {
    std::string location = "unchanged";
    int foundScale = -1;
    for (int target : {1, 2, 3, 4})
      EXPECT_EQ(FindScaledImage(c.name, c.extension, location, target, foundScale), plug::kNotFound)
        << c.name << " at " << target;
    EXPECT_EQ(location, "unchanged") << c.name;
    EXPECT_EQ(foundScale, -1) << c.name;
  }
}

TEST(KorvelResources, TheFontIsATrueTypeResource)
{
  std::string location;
  EXPECT_EQ(plug::FindModuleResource("Roboto-Regular.ttf", "ttf", location, plug::CurrentModule()),
            plug::kFoundInModule);
  EXPECT_EQ(location, "\"roboto-regular.ttf\"");

  const std::vector<uint8_t> font = ReadResourceBytes("Roboto-Regular.ttf", "ttf");
  ASSERT_GE(font.size(), 12u);
  EXPECT_EQ(std::vector<uint8_t>(font.begin(), font.begin() + 4), (std::vector<uint8_t>{0x00, 0x01, 0x00, 0x00}));
  EXPECT_TRUE(ReadResourceBytes("Roboto-Regular.ttf", "png").empty());
}

TEST(KorvelResources, EveryListedResourceIsEmbeddedWholeAndUnchanged)
{
  for (const ListedResource& listed : kListedResources)
  {
    const std::vector<uint8_t> file = FileBytes(listed.file);
    ASSERT_GE(file.size(), 8u) << listed.file;
    EXPECT_EQ(ReadResourceBytes(listed.name, listed.type), file) << listed.name;
    EXPECT_EQ(ReadResourceBytes(Lower(listed.name).c_str(), Lower(listed.type).c_str()), file) << listed.name;
    EXPECT_EQ(ReadResourceBytes(listed.file, listed.type), file) << listed.file; // read from disk
  }
}

TEST(KorvelResources, ImagesDecodeToTheEditorsSizesAndFrames)
{
  const struct
  {
    const char* image;
    int frames;
    int width;  // stored 2x image
    int height;
    int frameWidth; // one frame at scale 1
    int frameHeight;
  } cases[] = {
    {"BG.png", 1, 1996, 772, 998, 386},
    {"OFF.png", 2, 316, 1084, 158, 271},
    {"KNOB.png", 101, 146, 14746, 73, 73},
    {"SCREW.png", 101, 84, 8484, 42, 42},
    {"SWITCH.png", 2, 92, 104, 46, 26},
    {"NEEDLE.png", 101, 265, 14140, 132, 70},
    {"OVER.png", 2, 314, 68, 157, 17},
  };
  for (const auto& c : cases)
  {
    std::string location;
    int foundScale = 0;
    ASSERT_EQ(FindScaledImage(c.image, "png", location, 2, foundScale), plug::kFoundInModule) << c.image;
    const std::vector<uint8_t> bytes = ReadResourceBytes(gfx::ScaledImageName(c.image, foundScale).c_str(), "png");
    ASSERT_FALSE(bytes.empty()) << c.image;

    int width = 0;
    int height = 0;
    int channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4),
      stbi_image_free);
    ASSERT_NE(pixels, nullptr) << c.image << ": " << stbi_failure_reason();
    EXPECT_EQ(width, c.width) << c.image;
    EXPECT_EQ(height, c.height) << c.image;
    EXPECT_EQ(height % c.frames, 0) << c.image;
    EXPECT_EQ(width / foundScale, c.frameWidth) << c.image;
    EXPECT_EQ(height / foundScale / c.frames, c.frameHeight) << c.image;
  }
}
