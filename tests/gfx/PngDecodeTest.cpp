// PNG decoding gives the pixels stb_image gives (the decoder the editor's
// pictures were made with), for every colour type and bit depth a PNG can
// have, transparency chunks included, and for KORVEL's own images; damaged
// files are refused with a reason.

#include "gfx/ResourceCache.h"
#include "gfx/ResourceLookup.h"

#include <gtest/gtest.h>

#include <zlib.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t v)
{
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(v >> shift));
}

void Chunk(Bytes& png, const char* type, const Bytes& data)
{
  Put32(png, static_cast<uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  Put32(png, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

struct PngCase
{
  const char* what;
  int colourType; // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  int bitDepth;
  bool transparency; // a tRNS chunk
};

int Channels(int colourType)
{
  switch (colourType)
  {
  case 2: return 3;
  case 4: return 2;
  case 6: return 4;
  default: return 1;
  }
}

// A 7 x 5 PNG of the case, its rows with each of the five filter types,
// samples scattered over the whole range.
Bytes MakePng(const PngCase& c)
{
  const int width = 7, height = 5;
  const int bitsPerPixel = Channels(c.colourType) * c.bitDepth;
  const int rowBytes = (width * bitsPerPixel + 7) / 8;
  const int maxSample = (1 << c.bitDepth) - 1;
  const int bpp = std::max(1, bitsPerPixel / 8); // the byte distance the filters look back
  Bytes raw, previous(rowBytes, 0);
  for (int y = 0; y < height; ++y)
  {
    Bytes row(rowBytes, 0);
    for (int x = 0; x < width; ++x)
      for (int ch = 0; ch < Channels(c.colourType); ++ch)
      {
        const int sample = static_cast<int>((unsigned(x * 37 + y * 71 + ch * 113) * 2654435761u >> 7) %
                                            unsigned(maxSample + 1));
        const int bit = (x * Channels(c.colourType) + ch) * c.bitDepth;
        if (c.bitDepth == 16)
        {
          row[bit / 8] = static_cast<uint8_t>(sample >> 8);
          row[bit / 8 + 1] = static_cast<uint8_t>(sample);
        }
        else
          row[bit / 8] |= static_cast<uint8_t>(sample << (8 - c.bitDepth - bit % 8));
      }
    // Each row with the next of the five filter types.
    const int filter = y % 5;
    raw.push_back(static_cast<uint8_t>(filter));
    for (int i = 0; i < rowBytes; ++i)
    {
      const int a = i >= bpp ? row[i - bpp] : 0, b = previous[i], cc = i >= bpp ? previous[i - bpp] : 0;
      const int p = a + b - cc, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - cc);
      const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : cc;
      const int predictor[] = {0, a, b, (a + b) / 2, paeth};
      raw.push_back(static_cast<uint8_t>(row[i] - predictor[filter]));
    }
    previous = row;
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packedSize);
  compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(packedSize);

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  Put32(header, width);
  Put32(header, height);
  header.insert(header.end(), {static_cast<uint8_t>(c.bitDepth), static_cast<uint8_t>(c.colourType), 0, 0, 0});
  Chunk(png, "IHDR", header);
  if (c.colourType == 3)
  {
    Bytes palette;
    for (int i = 0; i <= maxSample; ++i)
      palette.insert(palette.end(), {static_cast<uint8_t>(i * 17), static_cast<uint8_t>(255 - i * 9),
                                     static_cast<uint8_t>(i * 29)});
    Chunk(png, "PLTE", palette);
    if (c.transparency)
      Chunk(png, "tRNS", {0, 128, 255, 7});
  }
  else if (c.transparency && c.colourType == 0)
    Chunk(png, "tRNS", {0, 1});
  else if (c.transparency && c.colourType == 2)
    Chunk(png, "tRNS", {0, 1, 0, 1, 0, 1});
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  return png;
}

struct Pixels
{
  int width = 0, height = 0;
  Bytes rgba;
};

Pixels WithStb(const Bytes& png)
{
  Pixels p;
  int channels = 0;
  stbi_uc* data = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &p.width, &p.height, &channels, 4);
  if (data)
  {
    p.rgba.assign(data, data + size_t(p.width) * p.height * 4);
    stbi_image_free(data);
  }
  return p;
}

TEST(PngDecoding, EveryColourTypeAndDepthGivesStbImagesPixels)
{
  const PngCase cases[] = {
    {"grey 1-bit", 0, 1, false},       {"grey 4-bit", 0, 4, false},        {"grey 8-bit", 0, 8, false},
    {"grey 16-bit", 0, 16, false},     {"grey 8-bit with tRNS", 0, 8, true}, {"RGB 8-bit", 2, 8, false},
    {"RGB 16-bit", 2, 16, false},      {"RGB 8-bit with tRNS", 2, 8, true}, {"palette 2-bit", 3, 2, false},
    {"palette 8-bit", 3, 8, false},    {"palette 4-bit with tRNS", 3, 4, true},
    {"grey + alpha 8-bit", 4, 8, false}, {"grey + alpha 16-bit", 4, 16, false}, {"RGBA 8-bit", 6, 8, false},
    {"RGBA 16-bit", 6, 16, false},
  };
  for (const PngCase& c : cases)
  {
    const Bytes png = MakePng(c);
    const Pixels expected = WithStb(png);
    ASSERT_EQ(expected.width, 7) << c.what << ": stb_image refused the test file";
    std::string error;
    const gfx::DecodedImage image = gfx::DecodeImage(png.data(), png.size(), error);
    ASSERT_TRUE(image.IsValid()) << c.what << ": " << error;
    EXPECT_EQ(image.width, expected.width) << c.what;
    EXPECT_EQ(image.height, expected.height) << c.what;
    EXPECT_TRUE(std::equal(image.rgba.begin(), image.rgba.end(), expected.rgba.begin(), expected.rgba.end())) << c.what << ": the pixels differ from stb_image's";
  }
}

TEST(PngDecoding, KorvelsImagesGiveStbImagesPixels)
{
  for (const char* name : {"BG@2x.png", "KNOB@2x.png", "NEEDLE@2x.png", "OFF@2x.png", "OVER@2x.png", "SCREW@2x.png",
                           "SWITCH@2x.png"})
  {
    const Bytes png = gfx::ReadResourceBytes(name, "png");
    ASSERT_FALSE(png.empty()) << name;
    const Pixels expected = WithStb(png);
    std::string error;
    const gfx::DecodedImage image = gfx::DecodeImage(png.data(), png.size(), error);
    ASSERT_TRUE(image.IsValid()) << name << ": " << error;
    EXPECT_EQ(image.width, expected.width) << name;
    EXPECT_EQ(image.height, expected.height) << name;
    EXPECT_TRUE(std::equal(image.rgba.begin(), image.rgba.end(), expected.rgba.begin(), expected.rgba.end())) << name << ": the pixels differ from stb_image's";
  }
}

TEST(PngDecoding, DamagedFilesAreRefusedWithAReason)
{
  const Bytes good = MakePng({"RGBA", 6, 8, false});
  struct Damage
  {
    const char* what;
    Bytes bytes;
  };
  Bytes truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  Bytes hugeHeader = good;
  hugeHeader[16] = 0x7F; // width 0x7F000007
  Bytes noData(good.begin(), good.begin() + 33);
  const Damage damages[] = {{"cut in half", truncated}, {"a width beyond any limit", hugeHeader},
                            {"the signature and header only", noData}};
  for (const Damage& d : damages)
  {
    std::string error;
    const gfx::DecodedImage image = gfx::DecodeImage(d.bytes.data(), d.bytes.size(), error);
    EXPECT_FALSE(image.IsValid()) << d.what;
    EXPECT_NE(error.find("cannot decode"), std::string::npos) << d.what << ": " << error;
  }
}

} // namespace
