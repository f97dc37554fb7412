#pragma once

// Text between the editor (UTF-8) and the wide-character Win32 calls (UTF-16).

#include "plug/Utf8.h"

#include <windows.h>

#include <string>

namespace gfx {

inline std::wstring Utf8ToWide(const char* text)
{
  if (!text || !*text)
    return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (n <= 0)
    return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

inline std::string WideToUtf8(const wchar_t* text)
{
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");
  return plug::Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

} // namespace gfx
