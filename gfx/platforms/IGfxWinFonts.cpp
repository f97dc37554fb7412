// Fonts of the Win32 editor window: the editor's font files registered with
// GDI from memory (private to the process) and an HFONT of each face for the
// text entry, cached while any editor context exists.

#include "gfx/platforms/IGfxWin.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace gfx {

namespace {

// Font caches: GDI memory-font handles and HFONTs by font id, kept while any
// editor context exists. Lock order: memory fonts, then HFONTs.
struct FontCaches
{
  std::mutex memoryFontLock;
  std::unordered_map<std::string, HANDLE> memoryFonts;
  int memoryFontUsers = 0;
  std::mutex hfontLock;
  std::unordered_map<std::string, HFONT> hfonts;
  int hfontUsers = 0;
};

FontCaches& Fonts()
{
  static FontCaches caches;
  return caches;
}

} // namespace

void IGfxWin::RetainFontCaches()
{
  FontCaches& fonts = Fonts();
  std::lock_guard<std::mutex> memoryLock(fonts.memoryFontLock);
  ++fonts.memoryFontUsers;
  std::lock_guard<std::mutex> hfontLock(fonts.hfontLock);
  ++fonts.hfontUsers;
}

void IGfxWin::ReleaseFontCaches()
{
  FontCaches& fonts = Fonts();
  std::lock_guard<std::mutex> memoryLock(fonts.memoryFontLock);
  if (--fonts.memoryFontUsers == 0)
  {
    for (auto& entry : fonts.memoryFonts)
      RemoveFontMemResourceEx(entry.second);
    fonts.memoryFonts.clear();
  }
  std::lock_guard<std::mutex> hfontLock(fonts.hfontLock);
  if (--fonts.hfontUsers == 0)
  {
    for (auto& entry : fonts.hfonts)
      DeleteObject(entry.second);
    fonts.hfonts.clear();
  }
}

HFONT IGfxWin::FindFont(const char* family, int weight, bool italic, bool underline, bool enumerate)
{
  if (!family || !*family)
    return nullptr;
  LOGFONTA logFont = {};
  logFont.lfHeight = 0;
  logFont.lfWeight = weight;
  logFont.lfItalic = italic;
  logFont.lfUnderline = underline;
  logFont.lfCharSet = DEFAULT_CHARSET;
  logFont.lfOutPrecision = OUT_TT_PRECIS;
  std::snprintf(logFont.lfFaceName, LF_FACESIZE, "%s", family);

  HDC screen = GetDC(nullptr);
  if (enumerate)
  {
    bool found = false;
    EnumFontFamiliesExA(
      screen, &logFont, [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM p) -> int {
        *reinterpret_cast<bool*>(p) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
    if (!found)
    {
      ReleaseDC(nullptr, screen);
      return nullptr;
    }
  }
  HFONT font = CreateFontIndirectA(&logFont);
  if (font)
  {
    const HGDIOBJ previous = SelectObject(screen, font);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, LF_FACESIZE, face);
    SelectObject(screen, previous);
    if (std::strcmp(face, logFont.lfFaceName) != 0)
    {
      DeleteObject(font);
      font = nullptr;
    }
  }
  ReleaseDC(nullptr, screen);
  return font;
}

bool IGfxWin::LoadNativeFont(const char* fontId, const FontData& font)
{
  if (!fontId || font.bytes.empty())
    return false;
  FontCaches& fonts = Fonts();
  std::lock_guard<std::mutex> memoryLock(fonts.memoryFontLock);
  {
    std::lock_guard<std::mutex> hfontLock(fonts.hfontLock);
    if (fonts.hfonts.count(fontId))
      return true;
  }
  DWORD installed = 0;
  HANDLE memoryFont = AddFontMemResourceEx(const_cast<uint8_t*>(font.bytes.data()),
                                           static_cast<DWORD>(font.bytes.size()), nullptr, &installed);
  if (!memoryFont)
    return false;
  const uint16_t style = font.descriptor.macStyle;
  HFONT hfont = FindFont(font.descriptor.family.c_str(), (style & 1) ? FW_BOLD : FW_NORMAL, (style & 2) != 0,
                         (style & 4) != 0, false);
  if (!hfont)
  {
    RemoveFontMemResourceEx(memoryFont);
    return false;
  }
  auto previous = fonts.memoryFonts.find(fontId);
  if (previous != fonts.memoryFonts.end())
    RemoveFontMemResourceEx(previous->second);
  fonts.memoryFonts[fontId] = memoryFont;
  std::lock_guard<std::mutex> hfontLock(fonts.hfontLock);
  fonts.hfonts[fontId] = hfont;
  return true;
}

HFONT IGfxWin::CopyCachedFont(const char* fontId, int height)
{
  FontCaches& fonts = Fonts();
  std::lock_guard<std::mutex> hfontLock(fonts.hfontLock);
  const auto found = fonts.hfonts.find(fontId ? fontId : "");
  if (found == fonts.hfonts.end())
    return nullptr;
  LOGFONTA logFont = {};
  if (!GetObjectA(found->second, sizeof(logFont), &logFont))
    return nullptr;
  logFont.lfHeight = height;
  return CreateFontIndirectA(&logFont);
}

} // namespace gfx
