#include "gfx/ResourceCache.h"

#include "plug/Utf8.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include <spng.h>

// Static, so that the drawing backend may link its own copy of the decoder.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace gfx {

std::string ResourceCacheKey(const std::string& name, double scale)
{
  char suffix[64];
  std::snprintf(suffix, sizeof(suffix), "-%.1fx", scale);
  return name + suffix;
}

uint64_t HashFNV1a(const void* data, size_t size)
{
  uint64_t hash = 0xCBF29CE484222325ull;
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i)
  {
    hash ^= bytes[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}

namespace {

// A header may claim any size; what no editor image comes near is refused
// before anything is allocated (stb_image's own limit on a side is the same).
constexpr uint32_t kMaxImageSide = 1u << 24;
constexpr size_t kMaxImageBytes = size_t(1) << 30;

bool IsPng(const uint8_t* data, size_t size)
{
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= sizeof(kSignature) && std::memcmp(data, kSignature, sizeof(kSignature)) == 0;
}

// libspng writes the pixels straight into the image's buffer. As stb_image
// does, it ignores the gamma and colour-space chunks, applies tRNS and turns
// 16-bit samples into 8-bit ones by their high byte, so a PNG gives the same
// pixels through either. The checksums are not verified: what stb_image
// accepted, this accepts too.
DecodedImage DecodePng(const uint8_t* data, size_t size, std::string& error)
{
  DecodedImage image;
  std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> context(spng_ctx_new(0), spng_ctx_free);
  if (!context)
  {
    error = "cannot decode image: out of memory";
    return image;
  }
  size_t bytes = 0;
  spng_ihdr header{};
  int result = spng_set_crc_action(context.get(), SPNG_CRC_USE, SPNG_CRC_USE);
  if (result == 0)
    result = spng_set_image_limits(context.get(), kMaxImageSide, kMaxImageSide);
  if (result == 0)
    result = spng_set_png_buffer(context.get(), data, size);
  if (result == 0)
    result = spng_get_ihdr(context.get(), &header);
  if (result == 0)
    result = spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &bytes);
  if (result == 0 && bytes > kMaxImageBytes)
  {
    error = "cannot decode image: too large";
    return image;
  }
  if (result == 0)
  {
    image.rgba.resize(bytes);
    result = spng_decode_image(context.get(), image.rgba.data(), bytes, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
  }
  if (result != 0)
  {
    error = std::string("cannot decode image: ") + spng_strerror(result);
    return DecodedImage{};
  }
  image.width = static_cast<int>(header.width);
  image.height = static_cast<int>(header.height);
  if (!image.IsValid())
  {
    error = "cannot decode image: unexpected size";
    return DecodedImage{};
  }
  return image;
}

} // namespace

DecodedImage DecodeImage(const uint8_t* data, size_t size, std::string& error)
{
  DecodedImage image;
  error.clear();
  if (!data || size == 0)
  {
    error = "no image data";
    return image;
  }
  if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
  {
    error = "image data too large";
    return image;
  }
  if (IsPng(data, size))
    return DecodePng(data, size, error);
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
  if (!pixels)
  {
    const char* reason = stbi_failure_reason();
    error = std::string("cannot decode image: ") + (reason ? reason : "unknown format");
    return image;
  }
  image.width = width;
  image.height = height;
  image.rgba.assign(pixels, pixels + size_t(width) * size_t(height) * 4);
  stbi_image_free(pixels);
  return image;
}

namespace {

class FontReader
{
public:
  FontReader(const uint8_t* data, size_t size) : mData(data), mSize(data ? size : 0) {}

  bool Has(size_t offset, size_t length) const { return offset <= mSize && length <= mSize - offset; }
  uint16_t U16(size_t offset) const { return static_cast<uint16_t>(mData[offset] << 8 | mData[offset + 1]); }
  uint32_t U32(size_t offset) const
  {
    return static_cast<uint32_t>(mData[offset]) << 24 | static_cast<uint32_t>(mData[offset + 1]) << 16 |
           static_cast<uint32_t>(mData[offset + 2]) << 8 | mData[offset + 3];
  }
  const uint8_t* At(size_t offset) const { return mData + offset; }

private:
  const uint8_t* mData;
  size_t mSize;
};

constexpr uint32_t Tag(char a, char b, char c, char d)
{
  return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(b) << 16 | static_cast<uint32_t>(c) << 8 |
         static_cast<uint32_t>(d);
}

// Name nameID from the "name" table: a Windows English record first, then any
// Unicode or Macintosh one.
std::string ReadName(const FontReader& font, size_t table, uint16_t nameID)
{
  if (!font.Has(table, 6))
    return {};
  const uint16_t count = font.U16(table + 2);
  const size_t strings = table + font.U16(table + 4);
  std::string best;
  int bestRank = 0;
  for (uint16_t i = 0; i < count; ++i)
  {
    const size_t rec = table + 6 + size_t(i) * 12;
    if (!font.Has(rec, 12))
      break;
    const uint16_t platform = font.U16(rec);
    const uint16_t language = font.U16(rec + 4);
    if (font.U16(rec + 6) != nameID)
      continue;
    const uint16_t length = font.U16(rec + 8);
    const size_t offset = strings + font.U16(rec + 10);
    if (!font.Has(offset, length))
      continue;
    const int rank = platform == 3 ? (language == 0x409 ? 3 : 2) : 1;
    if (rank <= bestRank)
      continue;
    std::string text;
    if (platform == 3 || platform == 0)
    {
      std::u16string units;
      for (size_t k = 0; k + 1 < length; k += 2)
        units.push_back(static_cast<char16_t>(font.U16(offset + k)));
      text = plug::Utf16ToUtf8(units.data(), units.size());
    }
    else if (platform == 1)
      text.assign(reinterpret_cast<const char*>(font.At(offset)), length);
    else
      continue;
    best = text;
    bestRank = rank;
  }
  return best;
}

} // namespace

FontDescriptor ReadFontDescriptor(const uint8_t* data, size_t size, int faceIndex)
{
  const FontReader font(data, size);
  FontDescriptor empty;
  if (!font.Has(0, 12) || faceIndex < 0)
    return empty;

  size_t face = 0;
  const uint32_t signature = font.U32(0);
  if (signature == Tag('t', 't', 'c', 'f'))
  {
    const uint32_t version = font.U32(4);
    if (version != 0x00010000 && version != 0x00020000)
      return empty;
    const uint32_t count = font.U32(8);
    if (static_cast<uint32_t>(faceIndex) >= count || !font.Has(12 + size_t(faceIndex) * 4, 4))
      return empty;
    face = font.U32(12 + size_t(faceIndex) * 4);
  }
  else if (signature == 0x00010000 || signature == Tag('1', 0, 0, 0) || signature == Tag('t', 'y', 'p', '1') ||
           signature == Tag('O', 'T', 'T', 'O'))
  {
    if (faceIndex != 0)
      return empty;
  }
  else
    return empty;

  if (!font.Has(face, 12))
    return empty;
  FontDescriptor d;
  d.faceIndex = faceIndex;
  d.faceOffset = static_cast<uint32_t>(face);
  const uint16_t numTables = font.U16(face + 4);
  uint32_t headLength = 0, hheaLength = 0;
  for (uint16_t i = 0; i < numTables; ++i)
  {
    const size_t rec = face + 12 + size_t(i) * 16;
    if (!font.Has(rec, 16))
      return empty;
    const uint32_t tag = font.U32(rec);
    const uint32_t offset = font.U32(rec + 8);
    const uint32_t length = font.U32(rec + 12);
    if (!font.Has(offset, length))
      continue;
    if (tag == Tag('h', 'e', 'a', 'd'))
    {
      d.headOffset = offset;
      headLength = length;
    }
    else if (tag == Tag('n', 'a', 'm', 'e'))
      d.nameOffset = offset;
    else if (tag == Tag('h', 'h', 'e', 'a'))
    {
      d.hheaOffset = offset;
      hheaLength = length;
    }
    else if (tag == Tag('f', 'd', 's', 'c'))
      d.fdscOffset = offset;
  }
  if (!d.IsValid() || headLength < 46 || hheaLength < 10)
    return empty;

  d.unitsPerEm = font.U16(d.headOffset + 18);
  d.macStyle = font.U16(d.headOffset + 44);
  d.ascender = static_cast<int16_t>(font.U16(d.hheaOffset + 4));
  d.descender = static_cast<int16_t>(font.U16(d.hheaOffset + 6));
  d.lineGap = static_cast<int16_t>(font.U16(d.hheaOffset + 8));
  d.family = ReadName(font, d.nameOffset, 1);
  d.style = ReadName(font, d.nameOffset, 2);
  return d;
}

ResourceCache<FontData>& FontDataCache()
{
  static ResourceCache<FontData> cache;
  return cache;
}

} // namespace gfx
