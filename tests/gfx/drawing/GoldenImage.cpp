#include "GoldenImage.h"

#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

namespace gfxtest {

bool LoadPng(const std::string& path, Image& image)
{
  int width = 0, height = 0, channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(stbi_load(path.c_str(), &width, &height, &channels, 4),
                                                   stbi_image_free);
  if (!pixels)
    return false;
  image.width = width;
  image.height = height;
  image.rgba.assign(pixels.get(), pixels.get() + static_cast<size_t>(width) * height * 4);
  return true;
}

bool SavePng(const std::string& path, const Image& image)
{
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return stbi_write_png(path.c_str(), image.width, image.height, 4, image.rgba.data(), image.width * 4) != 0;
}

::testing::AssertionResult MatchesGolden(const std::string& name, const Image& actual, int tolerance, bool mayUpdate)
{
  const std::string goldenPath = std::string(KORVEL_GOLDEN_DIR) + "/" + name + ".png";
  if (const char* update = std::getenv("KORVEL_UPDATE_GOLDENS"); mayUpdate && update && *update && *update != '0')
  {
    if (!SavePng(goldenPath, actual))
      return ::testing::AssertionFailure() << "cannot write the golden " << goldenPath;
    std::cout << "golden written: " << goldenPath << "\n";
    return ::testing::AssertionSuccess();
  }

  const std::string outPrefix = std::string(KORVEL_GOLDEN_OUTPUT_DIR) + "/" + name;
  auto fail = [&](const std::string& why) {
    SavePng(outPrefix + ".actual.png", actual);
    return ::testing::AssertionFailure() << name << ": " << why << "; actual picture in " << outPrefix
                                         << ".actual.png (set KORVEL_UPDATE_GOLDENS=1 to accept it as the golden)";
  };

  Image golden;
  if (!LoadPng(goldenPath, golden))
    return fail("no golden at " + goldenPath);
  if (golden.width != actual.width || golden.height != actual.height)
  {
    std::ostringstream why;
    why << "size " << actual.width << "x" << actual.height << " differs from the golden's " << golden.width << "x"
        << golden.height;
    return fail(why.str());
  }

  Image diff = actual;
  int worst = 0, worstX = 0, worstY = 0, beyond = 0;
  for (int y = 0; y < actual.height; ++y)
    for (int x = 0; x < actual.width; ++x)
    {
      const uint8_t* a = actual.Pixel(x, y);
      const uint8_t* g = golden.Pixel(x, y);
      uint8_t* d = &diff.rgba[(static_cast<size_t>(y) * actual.width + x) * 4];
      int pixelWorst = 0;
      for (int c = 0; c < 4; ++c)
      {
        const int delta = std::abs(a[c] - g[c]);
        pixelWorst = std::max(pixelWorst, delta);
        d[c] = static_cast<uint8_t>(std::min(255, delta * 8));
      }
      d[3] = 255;
      if (pixelWorst > tolerance)
        ++beyond;
      if (pixelWorst > worst)
      {
        worst = pixelWorst;
        worstX = x;
        worstY = y;
      }
    }
  if (beyond == 0)
    return ::testing::AssertionSuccess();

  SavePng(outPrefix + ".diff.png", diff);
  std::ostringstream why;
  why << beyond << " pixels differ by more than " << tolerance << " in a channel (worst " << worst << " at " << worstX
      << "," << worstY << ")";
  return fail(why.str() + "; difference in " + outPrefix + ".diff.png");
}

} // namespace gfxtest
