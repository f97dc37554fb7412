// The text entry of the Win32 editor window: an EDIT child window over the
// control, its characters filtered by the edited parameter's type. Its
// procedure only records commit or cancel; the next frame tick serves them.

#include "gfx/platforms/IGfxWin.h"

#include "gfx/platforms/Win32Text.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/IParam.h"

#include <algorithm>
#include <string>

namespace gfx {

void IGfxWin::CreateNativeTextEntry(int paramIdx, const ITextStyle& style, const IArea& area, int maxLength,
                                    const char* text)
{
  if (mEditWindow || !mWindow)
    return;
  const float s = TotalScale();
  std::wstring wide = Utf8ToWide(text);
  if (wide.size() + 1 > 32)
    wide.clear();

  DWORD align = ES_CENTER;
  if (style.align == EAlign::Near)
    align = ES_LEFT;
  else if (style.align == EAlign::Far)
    align = ES_RIGHT;
  const int x = static_cast<int>(area.L * s);
  const int y = static_cast<int>(area.T * s);
  const int w = static_cast<int>((area.R - area.L) * s) + 1;
  const int h = static_cast<int>((area.B - area.T) * s) + 1;
  mEditWindow = CreateWindowExW(0, L"EDIT", wide.c_str(),
                                kChildWindowStyle | ES_MULTILINE | ES_AUTOHSCROLL | align, x, y, w, h, mWindow,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditControlId)),
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(mWindow, GWLP_HINSTANCE)), nullptr);
  if (!mEditWindow)
    return;

  mEditFont = CopyCachedFont(style.font, static_cast<int>(s * style.size));
  const plug::IGfxEditorDelegate* delegate = Delegate();
  mEditParam = (paramIdx >= 0 && delegate) ? delegate->GetParameter(paramIdx) : nullptr;
  mEditStyle = style;
  mEditArea = area;

  SendMessageW(mEditWindow, EM_LIMITTEXT, static_cast<WPARAM>(std::max(maxLength, 0)), 0);
  if (mEditFont)
    SendMessageW(mEditWindow, WM_SETFONT, reinterpret_cast<WPARAM>(mEditFont), 0);
  SendMessageW(mEditWindow, EM_SETSEL, 0, -1);
  if (style.valign == EVAlign::Middle)
  {
    RECT r = {0, static_cast<LONG>((h - s * style.size) * 0.5f), w + 1, h + 1};
    SendMessageW(mEditWindow, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&r));
  }
  // Subclassed before it takes the focus, so the entry is in the editing
  // state from the start: a click in the editor then cancels it.
  mEditClassProc = reinterpret_cast<WNDPROC>(
    SetWindowLongPtrW(mEditWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextEntryProc)));
  SetWindowLongPtrW(mEditWindow, GWLP_USERDATA, kEditMarker);
  SetPropA(mEditWindow, "KorvelGfxWin", this);
  SetFocus(mEditWindow);
}

void IGfxWin::DestroyEditWindow()
{
  if (!mEditWindow)
    return;
  const HWND edit = mEditWindow;
  const bool hadFocus = GetFocus() == edit;
  if (mEditClassProc)
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mEditClassProc));
  RemovePropA(edit, "KorvelGfxWin");
  mEditWindow = nullptr;
  mEditClassProc = nullptr;
  DestroyWindow(edit);
  if (mEditFont)
    DeleteObject(mEditFont);
  mEditFont = nullptr;
  mEditParam = nullptr;
  if (hadFocus && mWindow)
    SetFocus(mWindow);
}

LRESULT CALLBACK IGfxWin::TextEntryProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  auto* self = static_cast<IGfxWin*>(GetPropA(hWnd, "KorvelGfxWin"));
  if (!self || self->mEditWindow != hWnd || GetWindowLongPtrW(hWnd, GWLP_USERDATA) != kEditMarker)
    return DefWindowProcA(hWnd, msg, wParam, lParam);
  return self->HandleTextEntryMessage(hWnd, msg, wParam, lParam);
}

LRESULT IGfxWin::HandleTextEntryMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (mTooltipShown)
    HideTooltip();
  switch (msg)
  {
  case WM_SETFOCUS:
    mEditState = kEditEditing;
    break;
  case WM_KILLFOCUS:
    mEditState = kEditCommit;
    break;
  case WM_GETDLGCODE:
  {
    LRESULT code = CallWindowProcW(mEditClassProc, hWnd, msg, wParam, lParam);
    const auto* queried = reinterpret_cast<const MSG*>(lParam);
    if (queried && queried->message == WM_KEYDOWN && queried->wParam == VK_RETURN)
      code |= DLGC_WANTALLKEYS;
    return code;
  }
  case WM_KEYDOWN:
    if (wParam == VK_RETURN)
    {
      mEditState = kEditCommit;
      return 0;
    }
    if (wParam == VK_ESCAPE)
    {
      mEditState = kEditCancel;
      return 0;
    }
    break;
  case WM_CHAR:
    if (wParam != VK_BACK && mEditParam)
    {
      const bool sign = wParam == '+' || wParam == '-';
      const bool digit = wParam >= '0' && wParam <= '9';
      const bool point = wParam == '.' && mEditParam->Type() == plug::IParam::kTypeDouble;
      if (!sign && !digit && !point)
        return 0;
    }
    break;
  case WM_COMMAND:
    if (HIWORD(wParam) == 1)
    {
      mEditState = kEditCommit;
      return 0;
    }
    break;
  default:
    break;
  }
  return CallWindowProcW(mEditClassProc, hWnd, msg, wParam, lParam);
}

bool IGfxWin::ServeTextEntry()
{
  if (!mEditWindow || mEditState == kEditIdle || mEditState == kEditEditing)
    return false;
  if (mEditState == kEditCancel)
  {
    DestroyEditWindow();
    DiscardTextEntry();
  }
  else if (mEditState == kEditCommit)
  {
    wchar_t text[257] = {};
    GetWindowTextW(mEditWindow, text, 257);
    const std::string utf8 = WideToUtf8(text);
    DestroyEditWindow();
    ApplyTextEntryResult(utf8.c_str());
  }
  else // drawn: back to editing while the entry keeps the focus
  {
    mEditState = GetFocus() == mEditWindow ? kEditEditing : kEditIdle;
    return true;
  }
  mEditState = kEditIdle;
  return true;
}

LRESULT IGfxWin::EditColours(HDC dc)
{
  const IRgba& bg = mEditStyle.entryBackground;
  const IRgba& fg = mEditStyle.entryText;
  SetBkColor(dc, RGB(bg.R, bg.G, bg.B));
  SetDCBrushColor(dc, RGB(bg.R, bg.G, bg.B));
  SetTextColor(dc, RGB(fg.R, fg.G, fg.B));
  SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

} // namespace gfx
