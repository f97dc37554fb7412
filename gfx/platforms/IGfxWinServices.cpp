// Native services of the Win32 editor window: popup menus, message boxes,
// file, folder and colour dialogs, web pages, revealing files and the
// clipboard.

#include "gfx/platforms/IGfxWin.h"

#include "gfx/platforms/Win32Text.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <cstring>
#include <string>
#include <vector>

namespace gfx {

// --- Menus -----------------------------------------------------------------------------------------------

namespace {

struct MenuChoice
{
  IMenuModel* menu;
  int index;
};

std::string MenuItemText(const std::string& text)
{
  std::string out;
  for (char c : text)
  {
    out += c;
    if (c == '&')
      out += '&';
  }
  return out;
}

// Ids start at 1: TrackPopupMenu reports "no choice" as 0.
HMENU BuildNativeMenu(IMenuModel& menu, std::vector<MenuChoice>& ids)
{
  HMENU native = CreatePopupMenu();
  if (!native)
    return nullptr;
  const size_t first = ids.size();
  for (int i = 0; i < menu.NItems(); ++i)
    ids.push_back({&menu, i});
  for (int i = 0; i < menu.NItems(); ++i)
  {
    IMenuModel::Item* item = menu.GetItem(i);
    const UINT id = static_cast<UINT>(first + i + 1);
    if (item->IsSeparator())
    {
      AppendMenuA(native, MF_SEPARATOR, id, nullptr);
      continue;
    }
    UINT flags = MF_STRING;
    if (item->flags & IMenuModel::kDisabled)
      flags |= MF_GRAYED;
    if (item->flags & IMenuModel::kTitle)
      flags |= MF_DISABLED;
    if (item->flags & IMenuModel::kChecked)
      flags |= MF_CHECKED;
    const std::string text = MenuItemText(item->text);
    if (item->submenu)
    {
      HMENU sub = BuildNativeMenu(*item->submenu, ids);
      if (sub)
        AppendMenuA(native, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text.c_str());
      continue;
    }
    AppendMenuA(native, flags, id, text.c_str());
  }
  return native;
}

} // namespace

IMenuModel* IGfxWin::ShowNativeMenu(IMenuModel& menu, const IArea& area, bool& isAsync)
{
  isAsync = false;
  if (!mWindow)
    return nullptr;
  std::vector<MenuChoice> ids;
  HMENU native = BuildNativeMenu(menu, ids);
  if (!native)
    return nullptr;
  const float s = TotalScale();
  POINT point = {static_cast<LONG>(area.L * s), static_cast<LONG>(area.B * s)};
  ClientToScreen(mWindow, &point);
  const int id = static_cast<int>(TrackPopupMenu(native, TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, point.x,
                                                 point.y, 0, mWindow, nullptr));
  IMenuModel* chosen = nullptr;
  if (id > 0 && static_cast<size_t>(id) <= ids.size())
  {
    const MenuChoice& choice = ids[static_cast<size_t>(id - 1)];
    choice.menu->SetChosenItemIdx(choice.index);
    choice.menu->ExecCompletion();
    chosen = choice.menu;
  }
  DestroyMenu(native);
  InvalidateRect(mWindow, nullptr, FALSE);
  MarkAllDirty();
  return chosen;
}

// --- Dialogs and shell -------------------------------------------------------------------------------------

HWND IGfxWin::FindTopLevelWindow()
{
  if (mTopLevelWindow)
    return mTopLevelWindow;
  if (mParentWindow)
  {
    HWND w = mParentWindow;
    while (HWND up = GetParent(w))
      w = up;
    mTopLevelWindow = w;
  }
  return mTopLevelWindow;
}

EMsgBoxResult IGfxWin::ShowMessageDialog(const char* text, const char* caption, EMsgBoxType type,
                                         MsgBoxCompletionFunc completion)
{
  ClearCaptures();
  ShowCursorIfHidden();
  UINT flags = MB_OK;
  switch (type)
  {
  case EMsgBoxType::OKCancel: flags = MB_OKCANCEL; break;
  case EMsgBoxType::YesNoCancel: flags = MB_YESNOCANCEL; break;
  case EMsgBoxType::YesNo: flags = MB_YESNO; break;
  case EMsgBoxType::RetryCancel: flags = MB_RETRYCANCEL; break;
  default: break;
  }
  const int answer = MessageBoxA(FindTopLevelWindow(), text ? text : "", caption ? caption : "", flags);
  EMsgBoxResult result = EMsgBoxResult::Cancel;
  switch (answer)
  {
  case IDOK: result = EMsgBoxResult::OK; break;
  case IDYES: result = EMsgBoxResult::Yes; break;
  case IDNO: result = EMsgBoxResult::No; break;
  case IDRETRY: result = EMsgBoxResult::Retry; break;
  default: break;
  }
  if (completion)
    completion(result);
  return result;
}

void IGfxWin::AskForFile(std::string& path, std::string& directory, EFileAction action, const char* extensions,
                         FileDialogCompletionFunc completion)
{
  if (!mWindow)
  {
    path.clear();
    return;
  }
  wchar_t file[MAX_PATH] = {};
  wchar_t folder[MAX_PATH] = {};
  const std::wstring initialFile = Utf8ToWide(path.c_str());
  const std::wstring initialFolder = Utf8ToWide(directory.c_str());
  if (initialFile.size() < MAX_PATH)
    initialFile.copy(file, initialFile.size());
  if (initialFolder.size() < MAX_PATH)
    initialFolder.copy(folder, initialFolder.size());

  // "*.a;*.b" as both description and pattern, double-NUL terminated.
  std::wstring patterns;
  std::wstring defaultExtension;
  const std::string list = extensions ? extensions : "";
  size_t start = 0;
  while (start < list.size())
  {
    size_t end = list.find(' ', start);
    if (end == std::string::npos)
      end = list.size();
    if (end > start)
    {
      const std::wstring ext = Utf8ToWide(list.substr(start, end - start).c_str());
      if (defaultExtension.empty() && ext.size() < 16)
        defaultExtension = ext;
      if (!patterns.empty())
        patterns += L';';
      patterns += L"*." + ext;
    }
    start = end + 1;
  }
  std::wstring filter;
  if (!patterns.empty() && patterns.size() * 2 + 3 < 256)
  {
    filter = patterns;
    filter += L'\0';
    filter += patterns;
    filter += L'\0';
  }

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = mWindow;
  ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH - 1;
  ofn.lpstrInitialDir = folder[0] ? folder : nullptr;
  ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
  bool ok;
  if (action == EFileAction::Save)
  {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    ok = GetSaveFileNameW(&ofn) != FALSE;
  }
  else
  {
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    ok = GetOpenFileNameW(&ofn) != FALSE;
  }
  if (ok)
  {
    path = WideToUtf8(file);
    wchar_t drive[_MAX_DRIVE] = {};
    wchar_t dir[_MAX_DIR] = {};
    _wsplitpath_s(file, drive, _MAX_DRIVE, dir, _MAX_DIR, nullptr, 0, nullptr, 0);
    directory = WideToUtf8(drive) + WideToUtf8(dir);
  }
  else
    path.clear();
  if (completion)
    completion(path, directory);
  ClearCaptures();
  ShowCursorIfHidden();
}

void IGfxWin::AskForDirectory(std::string& directory, FileDialogCompletionFunc completion)
{
  const HRESULT ole = OleInitialize(nullptr);
  BROWSEINFOA info = {};
  info.hwndOwner = mWindow;
  info.lpszTitle = "Choose a Directory";
  info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
  char path[MAX_PATH] = {};
  if (chosen && SHGetPathFromIDListA(chosen, path))
  {
    directory = path;
    directory += '\\';
  }
  else
    directory.clear();
  if (chosen)
    CoTaskMemFree(chosen);
  if (SUCCEEDED(ole))
    OleUninitialize();
  if (completion)
    completion(directory, directory);
  ClearCaptures();
  ShowCursorIfHidden();
}

namespace {

COLORREF gCustomColours[16] = {};
UINT gSetRGBMessage = 0;

UINT_PTR CALLBACK ColourDialogHook(HWND dialog, UINT msg, WPARAM, LPARAM lParam)
{
  if (msg == WM_INITDIALOG)
  {
    const auto* cc = reinterpret_cast<const CHOOSECOLORA*>(lParam);
    if (cc->lCustData)
      SetWindowTextA(dialog, reinterpret_cast<const char*>(cc->lCustData));
    if (!gSetRGBMessage)
      gSetRGBMessage = RegisterWindowMessageA("commdlg_SetRGBColor");
    SendMessageA(dialog, gSetRGBMessage, 0, static_cast<LPARAM>(cc->rgbResult));
  }
  return 0;
}

} // namespace

bool IGfxWin::AskForColour(IRgba& colour, const char* prompt, ColourPickerCompletionFunc completion)
{
  ClearCaptures();
  ShowCursorIfHidden();
  CHOOSECOLORA cc = {};
  cc.lStructSize = sizeof(cc);
  cc.hwndOwner = mWindow;
  cc.rgbResult = RGB(colour.R, colour.G, colour.B);
  cc.lpCustColors = gCustomColours;
  cc.lCustData = reinterpret_cast<LPARAM>(prompt ? prompt : "");
  cc.lpfnHook = ColourDialogHook;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
  if (!ChooseColorA(&cc))
    return false;
  colour.R = GetRValue(cc.rgbResult);
  colour.G = GetGValue(cc.rgbResult);
  colour.B = GetBValue(cc.rgbResult);
  if (completion)
    completion(colour);
  return true;
}

bool IGfxWin::OpenWebPage(const char* url, const char* caption, const char* question, const char* failureMessage)
{
  if (question && *question &&
      MessageBoxA(FindTopLevelWindow(), question, caption ? caption : "", MB_YESNO) != IDYES)
    return false;
  DWORD state = 0;
  if (InternetGetConnectedState(&state, 0))
  {
    std::wstring wide = Utf8ToWide(url);
    if (wide.size() >= 4096)
      return false;
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(mWindow, L"open", wide.c_str(), nullptr, nullptr,
                                                                SW_SHOWNORMAL));
    return result > 32;
  }
  if (failureMessage && *failureMessage)
    MessageBoxA(FindTopLevelWindow(), failureMessage, caption ? caption : "", MB_OK);
  return false;
}

bool IGfxWin::RevealInFileBrowser(const char* path, bool select)
{
  if (!path || !*path)
    return false;
  std::string arguments = select ? "/select," : "";
  arguments += '"';
  arguments += path;
  arguments += '"';
  const std::wstring wide = Utf8ToWide(arguments.c_str());
  if (wide.size() >= 4096)
    return false;
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const auto result = reinterpret_cast<INT_PTR>(
    ShellExecuteW(mWindow, L"open", L"explorer.exe", wide.c_str(), system, SW_SHOWNORMAL));
  return result > 32;
}

bool IGfxWin::ReadClipboardText(std::string& text)
{
  text.clear();
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(mWindow))
    return false;
  bool ok = false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
  {
    if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data)))
    {
      text = WideToUtf8(wide);
      GlobalUnlock(data);
      ok = true;
    }
  }
  CloseClipboard();
  return ok;
}

bool IGfxWin::WriteClipboardText(const char* text)
{
  if (!OpenClipboard(FindTopLevelWindow()))
    return false;
  EmptyClipboard();
  bool placed = false;
  const std::wstring wide = Utf8ToWide(text);
  if (!wide.empty())
  {
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes))
    {
      if (void* dest = GlobalLock(memory))
      {
        std::memcpy(dest, wide.c_str(), bytes);
        GlobalUnlock(memory);
        placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
      }
      if (!placed)
        GlobalFree(memory);
    }
  }
  CloseClipboard();
  return placed;
}

} // namespace gfx
