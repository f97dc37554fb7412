#include "plug/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CodePointCase
{
  const char* what;
  char32_t codePoint;
  const char* utf8; // "" when nothing is written
};

// UTF-8 bytes written out, so that a test never trusts the compiler's own encoding of a literal.
const CodePointCase kCodePoints[] = {
  {"ASCII letter", U'A', "\x41"},
  {"highest one-byte", 0x7F, "\x7F"},
  {"Latin-1 e acute (a key's text)", 0xE9, "\xC3\xA9"},
  {"Latin-1 y diaeresis", 0xFF, "\xC3\xBF"},
  {"highest two-byte", 0x7FF, "\xDF\xBF"},
  {"lowest three-byte", 0x800, "\xE0\xA0\x80"},
  {"euro sign", 0x20AC, "\xE2\x82\xAC"},
  {"highest BMP", 0xFFFF, "\xEF\xBF\xBF"},
  {"lowest four-byte", 0x10000, "\xF0\x90\x80\x80"},
  {"highest code point", 0x10FFFF, "\xF4\x8F\xBF\xBF"},
  {"NUL", 0, ""},
  {"high surrogate alone", 0xD800, ""},
  {"low surrogate alone", 0xDFFF, ""},
  {"beyond Unicode", 0x110000, ""},
};

struct Utf16Case
{
  const char* what;
  std::u16string text;
  const char* utf8;
};

const Utf16Case kTexts[] = {
  {"ASCII", u"Ratio", "Ratio"},
  {"two- and three-byte", {u'-', 0x00B0, 0x20AC}, "-\xC2\xB0\xE2\x82\xAC"},
  {"surrogate pair (G clef)", {0xD834, 0xDD1E}, "\xF0\x9D\x84\x9E"},
  {"lone high surrogate", {u'a', 0xD834, u'b'}, "a\xEF\xBF\xBD" "b"},
  {"lone low surrogate", {0xDD1E, u'a'}, "\xEF\xBF\xBD" "a"},
  {"high surrogate at the end", {u'a', 0xD834}, "a\xEF\xBF\xBD"},
  {"stops at NUL", {u'a', 0, u'b'}, "a"},
};

} // namespace

TEST(Utf8, EachCodePointEncodesToItsBytesAndInvalidOnesToNothing)
{
  for (const CodePointCase& c : kCodePoints)
  {
    char out[plug::kMaxUtf8Bytes] = {};
    const int n = plug::EncodeUtf8(c.codePoint, out);
    EXPECT_EQ(std::string(out, static_cast<size_t>(n)), c.utf8) << c.what;
  }
}

TEST(Utf8, Utf16TextJoinsPairsAndReplacesLoneSurrogates)
{
  for (const Utf16Case& c : kTexts)
  {
    EXPECT_EQ(plug::Utf16ToUtf8(c.text.data(), c.text.size()), c.utf8) << c.what;
    EXPECT_EQ(plug::Utf16ToUtf8(c.text.c_str()), c.utf8) << c.what << " (NUL-terminated)";
  }
}

TEST(Utf8, CountLimitsTheUnitsReadAndNeverSplitsBeyondIt)
{
  const std::u16string text = {u'a', 0xD834, 0xDD1E, u'z'};
  EXPECT_EQ(plug::Utf16ToUtf8(text.data(), 1), "a");
  // The pair's second half lies beyond the count: the first is alone.
  EXPECT_EQ(plug::Utf16ToUtf8(text.data(), 2), "a\xEF\xBF\xBD");
  EXPECT_EQ(plug::Utf16ToUtf8(nullptr, 4), "");
}
