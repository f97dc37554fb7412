#include "plug/ModuleResources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using plug::CurrentModule;
using plug::FindModuleResource;
using plug::LoadResourceData;

namespace {

const std::string kOnDiskFile = std::string(PLUG_TEST_RESOURCE_DIR) + "/on-disk.txt";

std::vector<uint8_t> Bytes(const char* text, size_t size)
{
  return std::vector<uint8_t>(text, text + size);
}

std::vector<uint8_t> Load(const char* located, const char* type, int& size)
{
  const uint8_t* data = LoadResourceData(located, type, size, CurrentModule());
  return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

} // namespace

TEST(FindModuleResource, FindsResourcesWhateverTheLetterCase)
{
  ASSERT_NE(CurrentModule(), nullptr);
  const struct
  {
    const char* name;
    const char* type;
    const char* located;
  } cases[] = {
    {"KNOB@2X.PNG", "PNG", "\"knob@2x.png\""},
    {"knob@2x.png", "png", "\"knob@2x.png\""},
    {"Knob@2x.Png", "pNg", "\"knob@2x.png\""},
    {"Roboto-Mini.ttf", "ttf", "\"roboto-mini.ttf\""},
    {"tiny.png", "PNG", "\"tiny.png\""},
  };
  for (const auto& c : cases)
  {
    std::string located;
    EXPECT_EQ(FindModuleResource(c.name, c.type, located, CurrentModule()), plug::kFoundInModule) << c.name;
    EXPECT_EQ(located, c.located) << c.name;
  }
}

TEST(FindModuleResource, FallsBackToFilesOnDiskThenToNothing)
{
  std::string located = "unchanged";
  EXPECT_EQ(FindModuleResource("knob@2x.png", "TTF", located, CurrentModule()), plug::kNotFound); // wrong type
  EXPECT_EQ(FindModuleResource("knob.png", "PNG", located, CurrentModule()), plug::kNotFound);
  EXPECT_EQ(FindModuleResource("", "PNG", located, CurrentModule()), plug::kNotFound);
  EXPECT_EQ(FindModuleResource(nullptr, "PNG", located, CurrentModule()), plug::kNotFound);
  EXPECT_EQ(FindModuleResource(PLUG_TEST_RESOURCE_DIR, "PNG", located, CurrentModule()), plug::kNotFound); // a folder
  EXPECT_EQ(located, "unchanged");

  EXPECT_EQ(FindModuleResource(kOnDiskFile.c_str(), "txt", located, CurrentModule()), plug::kFoundOnDisk);
  EXPECT_EQ(located, kOnDiskFile);
  located.clear();
  EXPECT_EQ(FindModuleResource(kOnDiskFile.c_str(), "txt", located, nullptr), plug::kFoundOnDisk);
  EXPECT_EQ(located, kOnDiskFile);
  EXPECT_EQ(FindModuleResource("knob@2x.png", "PNG", located, nullptr), plug::kNotFound);
}

TEST(LoadResourceData, ReturnsTheModulesBytesOfResourcesOfAtLeast8Bytes)
{
  int size = -1;
  EXPECT_EQ(Load("\"knob@2x.png\"", "png", size), Bytes("\x89PNG\r\n\x1a\nKORVEL-KNOB-2X!!", 24));
  EXPECT_EQ(size, 24);
  EXPECT_EQ(Load("\"ROBOTO-MINI.TTF\"", "TTF", size), Bytes("\x00\x01\x00\x00ttf-test", 12));
  EXPECT_EQ(Load("\"eight.png\"", "PNG", size), Bytes("EIGHT678", 8));

  const struct
  {
    const char* name;
    const char* type;
  } missing[] = {{"\"tiny.png\"", "png"}, {"\"knob@2x.png\"", "ttf"}, {"\"knob.png\"", "png"}, {"knob@2x.png", "png"}, {"", "png"}};
  for (const auto& m : missing)
  {
    size = -1;
    EXPECT_EQ(LoadResourceData(m.name, m.type, size, CurrentModule()), nullptr) << m.name;
    EXPECT_EQ(size, 0) << m.name;
  }
  EXPECT_EQ(LoadResourceData("\"knob@2x.png\"", "png", size, nullptr), nullptr);
}

TEST(LoadResourceData, LocatedNamesLoadDirectly)
{
  std::string located;
  ASSERT_EQ(FindModuleResource("KNOB@2x.png", "png", located, CurrentModule()), plug::kFoundInModule);
  int size = 0;
  const uint8_t* first = LoadResourceData(located.c_str(), "png", size, CurrentModule());
  const uint8_t* second = LoadResourceData(located.c_str(), "png", size, CurrentModule());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second); // owned by the module, the same bytes every time
}
