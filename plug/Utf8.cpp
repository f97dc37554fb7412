#include "plug/Utf8.h"

namespace plug {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c < 0xE000; }

} // namespace

int EncodeUtf8(char32_t c, char* out)
{
  if (c == 0 || IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF)
    return 0;
  if (c < 0x80)
  {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800)
  {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000)
  {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

void AppendUtf8(std::string& out, char32_t c)
{
  char bytes[kMaxUtf8Bytes];
  int n = EncodeUtf8(c, bytes);
  if (n == 0 && c != 0)
    n = EncodeUtf8(kReplacement, bytes);
  out.append(bytes, static_cast<size_t>(n));
}

std::string Utf16ToUtf8(const char16_t* text, size_t count)
{
  std::string utf8;
  for (size_t i = 0; text && i < count && text[i]; ++i)
  {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(text[i + 1]))
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
    AppendUtf8(utf8, c);
  }
  return utf8;
}

std::string Utf16ToUtf8(const char16_t* text)
{
  return Utf16ToUtf8(text, static_cast<size_t>(-1));
}

} // namespace plug
