// Prints a Windows file's version resource as Windows itself reads it (the
// same calls behind Explorer's Properties > Details), one "Key: value" a line:
// the fixed file and product versions, then the US-English strings.
// Exit status 1 when the file has no version resource.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text)
{
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

void PrintFixedVersion(const char* key, DWORD high, DWORD low)
{
  std::printf("%s: %u.%u.%u.%u\n", key, unsigned{HIWORD(high)}, unsigned{LOWORD(high)}, unsigned{HIWORD(low)},
              unsigned{LOWORD(low)});
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: file-version FILE\n");
    return 2;
  }
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &handle);
  std::vector<char> data(size);
  if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, data.data()))
  {
    std::fprintf(stderr, "file-version: %s has no version resource\n", Utf8(argv[1]).c_str());
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed)
  {
    PrintFixedVersion("FixedFileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    PrintFixedVersion("FixedProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  }
  const wchar_t* keys[] = {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                           L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"};
  for (const wchar_t* key : keys)
  {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value)
      std::printf("%s: %s\n", Utf8(key).c_str(), Utf8(value).c_str());
  }
  return 0;
}
