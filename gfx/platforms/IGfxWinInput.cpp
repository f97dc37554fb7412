// Input of the Win32 editor window: mouse, wheel, file drops, keys and touch
// become the dispatch calls of IGfx in unscaled pixels; tooltips; the native
// cursor under IGfx's shared pointer and cursor logic.

#include "gfx/platforms/IGfxWin.h"

#include "plug/Utf8.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <vector>

namespace gfx {

namespace {

constexpr LPARAM kTouchMarkerMask = 0xFFFFFF00;
constexpr LPARAM kTouchMarker = 0xFF515700;

bool IsMouseMessage(UINT msg)
{
  return (msg >= WM_MOUSEFIRST && msg <= WM_MOUSEWHEEL) || msg == WM_MOUSEHOVER || msg == WM_MOUSELEAVE;
}

bool IsTouchGenerated()
{
  return (GetMessageExtraInfo() & kTouchMarkerMask) == kTouchMarker;
}

IMouseMods MouseModsFrom(WORD keys)
{
  IMouseMods mods;
  mods.L = (keys & MK_LBUTTON) != 0;
  mods.R = (keys & MK_RBUTTON) != 0;
  mods.S = (keys & MK_SHIFT) != 0;
  mods.C = (keys & MK_CONTROL) != 0;
  mods.A = GetKeyState(VK_MENU) < 0;
  return mods;
}

LPCSTR SystemCursor(ECursor shape)
{
  switch (shape)
  {
  case ECursor::IBeam: return IDC_IBEAM;
  case ECursor::Wait: return IDC_WAIT;
  case ECursor::Cross: return IDC_CROSS;
  case ECursor::UpArrow: return IDC_UPARROW;
  case ECursor::SizeNWSE: return IDC_SIZENWSE;
  case ECursor::SizeNESW: return IDC_SIZENESW;
  case ECursor::SizeWE: return IDC_SIZEWE;
  case ECursor::SizeNS: return IDC_SIZENS;
  case ECursor::SizeAll: return IDC_SIZEALL;
  case ECursor::No: return IDC_NO;
  case ECursor::Hand: return IDC_HAND;
  case ECursor::AppStarting: return IDC_APPSTARTING;
  case ECursor::Help: return IDC_HELP;
  default: return IDC_ARROW;
  }
}

} // namespace

// --- Mouse ----------------------------------------------------------------------------------------

// Mouse messages that Windows makes from touch carry a marker: they count as
// touch input (no cursor lock, no warps) and are not served as mouse input.
bool IGfxWin::NoteMouseSource(UINT msg)
{
  if (!IsMouseMessage(msg))
    return false;
  const bool touchGenerated = IsTouchGenerated();
  mLastInputWasTouch = touchGenerated;
  if (touchGenerated)
    SetCursorHiddenState(IsCursorHidden(), false);
  return touchGenerated;
}

IMouseState IGfxWin::MouseStateFrom(WPARAM wParam, LPARAM lParam)
{
  IMouseState p;
  p.x = static_cast<float>(GET_X_LPARAM(lParam));
  p.y = static_cast<float>(GET_Y_LPARAM(lParam));
  FromDevicePoint(p.x, p.y);
  p.ms = MouseModsFrom(static_cast<WORD>(wParam));
  return p;
}

void IGfxWin::OnButtonDown(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
  HideTooltip();
  if (mEditWindow)
  {
    mEditState = kEditCommit;
    return;
  }
  SetFocus(hWnd);
  SetCapture(hWnd);
  DispatchMouseDown({MouseStateFrom(wParam, lParam)});
}

void IGfxWin::OnDoubleClick(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
  const IMouseState p = MouseStateFrom(wParam, lParam);
  mCursorX = p.x;
  mCursorY = p.y;
  const bool hit = HitTestControl(p.x, p.y, false) != nullptr;
  DispatchDoubleClick(p);
  if (hit)
    SetCapture(hWnd);
}

void IGfxWin::OnMouseMove(WPARAM wParam, LPARAM lParam)
{
  const bool dragging = (wParam & (MK_LBUTTON | MK_RBUTTON)) && GetCapture() == mWindow;
  const bool overControl = OnPointerMoved(MouseStateFrom(wParam, lParam), dragging);
  if (dragging || !overControl)
    return;
  TRACKMOUSEEVENT track = {};
  track.cbSize = sizeof(track);
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = mWindow;
  track.dwHoverTime = HOVER_DEFAULT;
  const int index = ControlIndex(MouseOverControl());
  if (TooltipsEnabled() && mTooltipWindow && index != mTooltipIndex)
  {
    if (index >= 0)
      track.dwFlags |= TME_HOVER;
    mTooltipIndex = index;
    HideTooltip();
  }
  TrackMouseEvent(&track);
}

void IGfxWin::OnWheel(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
  if (mEditWindow)
  {
    mEditState = kEditCancel;
    return;
  }
  RECT r;
  GetWindowRect(hWnd, &r);
  // The wheel's position is on the screen.
  float x = static_cast<float>(GET_X_LPARAM(lParam));
  float y = static_cast<float>(GET_Y_LPARAM(lParam));
  FromDevicePoint(x, y);
  mCursorX = x;
  mCursorY = y;
  float left = static_cast<float>(r.left);
  float top = static_cast<float>(r.top);
  FromDevicePoint(left, top);
  // Smooth wheels and touchpads send parts of a notch: they add up, and a
  // turn the other way starts afresh.
  const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
  if ((delta < 0) != (mWheelDelta < 0))
    mWheelDelta = 0;
  mWheelDelta += delta;
  const int notches = mWheelDelta / WHEEL_DELTA;
  mWheelDelta -= notches * WHEEL_DELTA;
  if (notches == 0)
    return;
  DispatchWheel(x - left, y - top, MouseModsFrom(GET_KEYSTATE_WPARAM(wParam)), static_cast<float>(notches));
}

void IGfxWin::OnDropFiles(WPARAM wParam)
{
  const HDROP drop = reinterpret_cast<HDROP>(wParam);
  char path[1025] = {};
  DragQueryFileA(drop, 0, path, 1024);
  POINT point = {};
  DragQueryPoint(drop, &point);
  DragFinish(drop);
  float x = static_cast<float>(point.x);
  float y = static_cast<float>(point.y);
  FromDevicePoint(x, y);
  DispatchFileDrop(path, x, y);
}

void IGfxWin::OnMouseLeave()
{
  HideTooltip();
  const ECursor previous = SetCursorShape(ECursor::Arrow);
  IGfx::SetCursorShape(previous);
  DispatchMouseLeave();
}

// --- Keys -------------------------------------------------------------------------------------------

LRESULT IGfxWin::OnKey(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  POINT point;
  GetCursorPos(&point);
  ScreenToClient(hWnd, &point);
  float x = static_cast<float>(point.x);
  float y = static_cast<float>(point.y);
  FromDevicePoint(x, y);

  BYTE keyboard[256] = {};
  GetKeyboardState(keyboard);
  WORD chars[2] = {};
  const UINT scanCode = (static_cast<UINT>(lParam) >> 16) & 0xFF;
  const int produced = ToAscii(static_cast<UINT>(wParam), scanCode, keyboard, chars, 0);

  bool handled = false;
  if (produced == 0 || produced == 1)
  {
    IKeyEvent key;
    key.vk = static_cast<int32_t>(wParam);
    // ToAscii's character is a byte, read as Latin-1.
    if (produced == 1)
      plug::EncodeUtf8(static_cast<unsigned char>(chars[0]), key.utf8);
    key.shift = GetKeyState(VK_SHIFT) < 0;
    key.control = GetKeyState(VK_CONTROL) < 0;
    key.alt = GetKeyState(VK_MENU) < 0;
    handled = msg == WM_KEYDOWN ? OnKeyDown(x, y, key) : OnKeyUp(x, y, key);
  }
  if (handled)
    return 0;
  HWND root = GetAncestor(hWnd, GA_ROOT);
  if (root && root != hWnd)
    SendMessageA(root, msg, wParam, lParam);
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// --- Touch ------------------------------------------------------------------------------------------

void IGfxWin::OnTouch(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
  const UINT n = LOWORD(wParam);
  std::vector<TOUCHINPUT> inputs(n);
  const HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lParam);
  if (n == 0 || !GetTouchInputInfo(handle, n, inputs.data(), sizeof(TOUCHINPUT)))
  {
    CloseTouchInputHandle(handle);
    return;
  }
  mLastInputWasTouch = true;
  std::vector<IMouseState> down, up, moved;
  for (const TOUCHINPUT& input : inputs)
  {
    POINT point = {input.x / 100, input.y / 100};
    ScreenToClient(hWnd, &point);
    IMouseState p;
    p.x = static_cast<float>(point.x);
    p.y = static_cast<float>(point.y);
    FromDevicePoint(p.x, p.y);
    p.ms.touchID = static_cast<int64_t>(input.dwID);
    p.ms.touchRadius = (input.dwMask & TOUCHINPUTMASKF_CONTACTAREA) ? static_cast<float>(input.cxContact) : 0.f;
    if (input.dwFlags & TOUCHEVENTF_DOWN)
    {
      down.push_back(p);
      mTouchMap[p.ms.touchID] = p;
    }
    else if (input.dwFlags & TOUCHEVENTF_UP)
    {
      mTouchMap.erase(p.ms.touchID);
      up.push_back(p);
    }
    else if (input.dwFlags & TOUCHEVENTF_MOVE)
    {
      const auto known = mTouchMap.find(p.ms.touchID);
      if (known != mTouchMap.end())
      {
        p.dX = p.x - known->second.x;
        p.dY = p.y - known->second.y;
        known->second = p;
      }
      moved.push_back(p);
    }
  }
  if (!down.empty())
    DispatchMouseDown(down);
  if (!up.empty())
    DispatchMouseUp(up);
  if (!moved.empty())
    DispatchMouseDrag(moved);
  CloseTouchInputHandle(handle);
}

// --- Tooltips -------------------------------------------------------------------------------------

void IGfxWin::CreateTooltipWindow(HINSTANCE module)
{
  INITCOMMONCONTROLSEX init = {sizeof(init), ICC_TAB_CLASSES};
  InitCommonControlsEx(&init);
  mTooltipWindow = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mWindow, nullptr,
                                   module, nullptr);
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = mWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(mWindow);
  tool.lpszText = const_cast<char*>("");
  if (!mTooltipWindow || !SendMessageA(mTooltipWindow, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool)))
  {
    if (mTooltipWindow)
      DestroyWindow(mTooltipWindow);
    mTooltipWindow = nullptr;
    mTooltipsWork = false;
  }
  else
    SendMessageA(mTooltipWindow, TTM_SETMAXTIPWIDTH, 0, 250);
}

void IGfxWin::DestroyTooltipWindow()
{
  if (mTooltipWindow)
    DestroyWindow(mTooltipWindow);
  mTooltipWindow = nullptr;
  mTooltipShown = false;
  mTooltipIndex = -1;
}

void IGfxWin::ShowTooltip()
{
  if (!mTooltipWindow)
    return;
  const IControl* control = ControlAt(mTooltipIndex);
  mTooltipText = control ? control->HintText() : std::string();
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = mWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(mWindow);
  tool.lpszText = mTooltipText.data();
  SendMessageA(mTooltipWindow, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  mTooltipShown = true;
}

void IGfxWin::HideTooltip()
{
  if (!mTooltipWindow)
    return;
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = mWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(mWindow);
  tool.lpszText = nullptr;
  SendMessageA(mTooltipWindow, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  mTooltipShown = false;
}

// --- Cursor -----------------------------------------------------------------------------------------

void IGfxWin::QueryCursorPosition(float& x, float& y)
{
  POINT point = {};
  GetCursorPos(&point);
  if (mWindow)
    ScreenToClient(mWindow, &point);
  x = static_cast<float>(point.x);
  y = static_cast<float>(point.y);
  FromDevicePoint(x, y);
}

void IGfxWin::SetCursorHidden(bool hide, bool lock)
{
  if (UpdateCursorHidden(hide, lock))
    ShowCursor(hide ? FALSE : TRUE);
}

void IGfxWin::WarpCursor(float x, float y)
{
  int deviceX = 0, deviceY = 0;
  if (!mWindow || !WarpTarget(x, y, deviceX, deviceY))
    return;
  POINT point = {deviceX, deviceY};
  ClientToScreen(mWindow, &point);
  if (!SetCursorPos(point.x, point.y))
    return;
  GetCursorPos(&point);
  ScreenToClient(mWindow, &point);
  PointerWarpedTo(point.x, point.y);
}

ECursor IGfxWin::SetCursorShape(ECursor shape)
{
  SetCursor(LoadCursorA(nullptr, SystemCursor(shape)));
  return IGfx::SetCursorShape(shape);
}

} // namespace gfx
