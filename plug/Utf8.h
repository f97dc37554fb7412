#pragma once

// The one UTF-8 encoder of the code base: code points, UTF-16 text (host
// strings, Windows wide strings) and Latin-1 characters become UTF-8 here.

#include <cstddef>
#include <string>

namespace plug {

/** Room enough for one encoded code point and a terminating NUL. */
constexpr int kMaxUtf8Bytes = 5;

/**
 * The UTF-8 bytes of one code point into out (at least 4 bytes of room; not
 * terminated); returns how many. NUL, a surrogate half and anything above
 * U+10FFFF give none. A Latin-1 character is its own code point.
 */
int EncodeUtf8(char32_t c, char* out);

/** Appends the code point; one that EncodeUtf8 refuses (other than NUL) appends U+FFFD. */
void AppendUtf8(std::string& out, char32_t c);

/**
 * UTF-16 code units as UTF-8, up to count units or the first NUL: surrogate
 * pairs join into one code point, a lone surrogate becomes U+FFFD.
 */
std::string Utf16ToUtf8(const char16_t* text, size_t count);
/** The same up to the terminating NUL. */
std::string Utf16ToUtf8(const char16_t* text);

} // namespace plug
