#include "gfx/platforms/IGfxWin.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/IParam.h"
#include "plug/Trace.h"

#include <glad/gl.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace gfx {

namespace {

const char kWindowClass[] = "PluginWndClass";
constexpr DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr LPARAM kTouchMarkerMask = 0xFFFFFF00;
constexpr LPARAM kTouchMarker = 0xFF515700;
constexpr DWORD kWorkerWaitMs = 10000;
constexpr DWORD kFallbackSleepMs = 16;
constexpr ULONGLONG kAdapterRetryMs = 1000;

// Process-wide: the window class lives while an editor window is open.
int gOpenWindows = 0;
std::atomic<int> gLiveGLContexts{0};
std::atomic<int> gLiveWorkers{0};

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

// D3DKMT records as gdi32 expects them (D3DKMT_HANDLE is a 32-bit handle).
struct KmtOpenAdapterFromHdc
{
  HDC hDc;
  UINT hAdapter;
  LUID adapterLuid;
  UINT vidPnSourceId;
};
struct KmtWaitForVerticalBlankEvent
{
  UINT hAdapter;
  UINT hDevice;
  UINT vidPnSourceId;
};
struct KmtCloseAdapter
{
  UINT hAdapter;
};
using OpenAdapterFunc = LONG(APIENTRY*)(KmtOpenAdapterFromHdc*);
using WaitVBlankFunc = LONG(APIENTRY*)(const KmtWaitForVerticalBlankEvent*);
using CloseAdapterFunc = LONG(APIENTRY*)(const KmtCloseAdapter*);

std::wstring Utf8ToWide(const char* text)
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

std::string WideToUtf8(const wchar_t* text)
{
  if (!text || !*text)
    return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0)
    return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// wglGetProcAddress only knows what came after OpenGL 1.1; the 1.1 functions
// are exports of opengl32.dll itself.
struct GLLoader
{
  HMODULE opengl32;
  PROC(WINAPI* getProcAddress)(LPCSTR);
};

GLADapiproc LoadGLFunction(void* userPtr, const char* name)
{
  const auto* loader = static_cast<const GLLoader*>(userPtr);
  PROC proc = loader->getProcAddress ? loader->getProcAddress(name) : nullptr;
  const auto value = reinterpret_cast<intptr_t>(proc);
  if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1)
    proc = GetProcAddress(loader->opengl32, name);
  return reinterpret_cast<GLADapiproc>(proc);
}

bool IsMouseMessage(UINT msg)
{
  return (msg >= WM_MOUSEFIRST && msg <= WM_MOUSEWHEEL) || msg == WM_MOUSEHOVER || msg == WM_MOUSELEAVE;
}

bool IsTouchGenerated()
{
  return (GetMessageExtraInfo() & kTouchMarkerMask) == kTouchMarker;
}

RECT ToDeviceRect(const IArea& area, float s)
{
  return {static_cast<LONG>(std::floor(area.L * s)), static_cast<LONG>(std::floor(area.T * s)),
          static_cast<LONG>(std::ceil(area.R * s)), static_cast<LONG>(std::ceil(area.B * s))};
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

HINSTANCE ThisModule()
{
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

bool IsWindows8OrLater()
{
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = 6;
  info.dwMinorVersion = 2;
  info.wServicePackMajor = 0;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

} // namespace

IGfxWin::IGfxWin(plug::IGfxEditorDelegate* delegate, int width, int height, int fps, float scale)
  : IGfxNanoVG(delegate, width, height, fps, scale), mUseVerticalBlank(IsWindows8OrLater())
{
  FontCaches& fonts = Fonts();
  std::lock_guard<std::mutex> memoryLock(fonts.memoryFontLock);
  ++fonts.memoryFontUsers;
  std::lock_guard<std::mutex> hfontLock(fonts.hfontLock);
  ++fonts.hfontUsers;
}

IGfxWin::~IGfxWin()
{
  DestroyEditWindow();
  CloseEditorWindow();
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

int IGfxWin::OpenWindowCount() { return gOpenWindows; }
int IGfxWin::LiveGLContextCount() { return gLiveGLContexts.load(); }
int IGfxWin::LiveWorkerCount() { return gLiveWorkers.load(); }

UINT IGfxWin::TimerPeriodMs(int fps)
{
  const UINT p = fps > 0 ? static_cast<UINT>(1000 / fps) : 1000u;
  return p < 20 ? 15 : p;
}

float IGfxWin::WindowDpiScale(HWND window)
{
  using GetDpiForWindowFunc = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFunc>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (!getDpi || !window)
    return 1.f;
  const UINT dpi = getDpi(window);
  if (dpi == 0 || dpi == USER_DEFAULT_SCREEN_DPI)
    return 1.f;
  return static_cast<float>(dpi) / static_cast<float>(USER_DEFAULT_SCREEN_DPI);
}

double IGfxWin::NowMs()
{
  static const double msPerTick = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1000.0 / static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * msPerTick;
}

// --- Window ---------------------------------------------------------------------------------

void* IGfxWin::OpenEditorWindow(void* parent)
{
  PLUG_TRACE("IGfxWin::OpenEditorWindow");
  mParentWindow = static_cast<HWND>(parent);
  mOwnProcessId = GetCurrentProcessId();
  const float s = WindowDpiScale(mParentWindow);
  const int n = std::max(1, static_cast<int>(s));

  int x = 0;
  int y = 0;
  int w = n * static_cast<int>(GetWidth() * GetDrawScale());
  int h = n * static_cast<int>(GetHeight() * GetDrawScale());
  if (mWindow)
  {
    RECT r;
    GetWindowRect(mWindow, &r);
    MapWindowPoints(HWND_DESKTOP, mParentWindow, reinterpret_cast<POINT*>(&r), 2);
    x = r.left;
    y = r.top;
    w = r.right - r.left;
    h = r.bottom - r.top;
    CloseEditorWindow();
  }

  HINSTANCE module = static_cast<HINSTANCE>(ModuleHandle());
  if (!module)
    module = ThisModule();
  if (gOpenWindows++ == 0)
  {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = EditorWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
  }

  mWindow = CreateWindowExA(0, kWindowClass, "Plugin", kWindowStyle, x, y, w, h, mParentWindow, nullptr, module,
                            this);
  if (!mWindow)
  {
    StopFrameClock();
    if (--gOpenWindows == 0)
      UnregisterClassA(kWindowClass, module);
    return nullptr;
  }
  mWindowDC = GetDC(mWindow);

  PIXELFORMATDESCRIPTOR format = {};
  format.nSize = sizeof(format);
  format.nVersion = 1;
  format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  format.iPixelType = PFD_TYPE_RGBA;
  format.cColorBits = 32;
  format.cDepthBits = 24;
  format.cStencilBits = 8;
  const int chosen = ChoosePixelFormat(mWindowDC, &format);
  if (chosen && SetPixelFormat(mWindowDC, chosen, &format))
    mGLContext = wglCreateContext(mWindowDC);
  if (mGLContext)
  {
    ++gLiveGLContexts;
    MakeContextCurrent();
    GLLoader loader{LoadLibraryA("opengl32.dll"), nullptr};
    if (loader.opengl32)
    {
      loader.getProcAddress = reinterpret_cast<PROC(WINAPI*)(LPCSTR)>(
        reinterpret_cast<void*>(GetProcAddress(loader.opengl32, "wglGetProcAddress")));
      gladLoadGLUserPtr(LoadGLFunction, &loader);
      FreeLibrary(loader.opengl32);
    }
    OnContextCreated(mGLContext);
    RestorePreviousContext();
  }

  SetDisplayScale(static_cast<float>(n));
  MakeContextCurrent();
  BuildLayout();
  RestorePreviousContext();

  if (MultiTouchEnabled() && IsTouchCapable())
    RegisterTouchWindow(mWindow, 0);
  MarkAllDirty();

  if (TooltipsEnabled() && mTooltipsWork)
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

  NotifyEditorOpened();
  return mWindow;
}

void IGfxWin::CloseEditorWindow()
{
  PLUG_TRACE("IGfxWin::CloseEditorWindow");
  if (!mWindow)
    return;
  StopFrameClock();
  DestroyEditWindow();

  if (mGLContext)
  {
    MakeContextCurrent();
    ClearControls();
    OnContextDestroyed();
    RestorePreviousContext();
    // Only our own context is unbound: a host's current context stays current.
    if (wglGetCurrentContext() == mGLContext)
      wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(mGLContext);
    mGLContext = nullptr;
    --gLiveGLContexts;
  }
  else
    ClearControls();

  if (mTooltipWindow)
    DestroyWindow(mTooltipWindow);
  mTooltipWindow = nullptr;
  mTooltipShown = false;
  mTooltipIndex = -1;
  mTouchMap.clear();

  HINSTANCE module = reinterpret_cast<HINSTANCE>(GetClassLongPtrA(mWindow, GCLP_HMODULE));
  ReleaseDC(mWindow, mWindowDC);
  mWindowDC = nullptr;
  SetWindowLongPtrA(mWindow, GWLP_USERDATA, 0);
  DestroyWindow(mWindow);
  mWindow = nullptr;
  if (--gOpenWindows == 0)
    UnregisterClassA(kWindowClass, module);
}

void IGfxWin::MakeContextCurrent()
{
  if (!mGLContext || !mWindowDC)
    return;
  mSavedGLDC = wglGetCurrentDC();
  mSavedGLContext = wglGetCurrentContext();
  wglMakeCurrent(mWindowDC, mGLContext);
}

void IGfxWin::RestorePreviousContext()
{
  if (!mGLContext)
    return;
  wglMakeCurrent(mSavedGLDC, mSavedGLContext);
  mSavedGLDC = nullptr;
  mSavedGLContext = nullptr;
}

void IGfxWin::OnBackingResized()
{
  if (!mGLContext)
    return;
  MakeContextCurrent();
  IGfxNanoVG::OnBackingResized();
  RestorePreviousContext();
  mRepaintAfterResize = true;
}

void IGfxWin::ResizeHostWindow(bool parentResized)
{
  if (!mWindow)
    return;
  RECT r;
  GetWindowRect(mWindow, &r);
  const int dW = static_cast<int>(static_cast<int>(GetWidth() * GetDrawScale()) * DisplayScale() - (r.right - r.left));
  const int dH = static_cast<int>(static_cast<int>(GetHeight() * GetDrawScale()) * DisplayScale() - (r.bottom - r.top));

  auto isPlainChild = [](HWND w) {
    return w && (GetWindowLongA(w, GWL_STYLE) & WS_CHILD) && !(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_MDICHILD);
  };
  HWND parent = isPlainChild(mWindow) ? GetParent(mWindow) : nullptr;
  HWND grandparent = isPlainChild(parent) ? GetParent(parent) : nullptr;
  if (dW == 0 && dH == 0)
    return;

  auto grow = [dW, dH](HWND w) {
    RECT wr;
    GetWindowRect(w, &wr);
    SetWindowPos(w, nullptr, 0, 0, wr.right - wr.left + dW, wr.bottom - wr.top + dH,
                 SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
  };
  grow(mWindow);
  if (!parentResized)
  {
    if (parent)
      grow(parent);
    if (grandparent)
      grow(grandparent);
  }
}

void IGfxWin::SetHostDisplayScale(float scale)
{
  if (!std::isfinite(scale) || scale <= 0.f)
    return;
  mHostGivesScale = true;
  SetDisplayScale(scale);
}

bool IGfxWin::IsTouchCapable() const
{
  return (GetSystemMetrics(SM_DIGITIZER) & NID_READY) != 0;
}

// --- Frame clock --------------------------------------------------------------------------------

void IGfxWin::StartFrameClock()
{
  if (mUseVerticalBlank)
  {
    mVBlank = std::make_shared<VBlankSharedState>();
    mVBlank->window = mWindow;
    auto* worker = new std::shared_ptr<VBlankSharedState>(mVBlank);
    mWorkerThread = CreateThread(nullptr, 0, VerticalBlankWorker, worker, 0, nullptr);
    if (!mWorkerThread)
    {
      delete worker;
      mVBlank.reset();
    }
  }
  else
    SetTimer(mWindow, kFrameTimerId, TimerPeriodMs(FrameRate()), nullptr);
}

void IGfxWin::StopFrameClock()
{
  if (mVBlank)
  {
    mVBlank->stop = true;
    if (mWorkerThread)
    {
      WaitForSingleObject(mWorkerThread, kWorkerWaitMs);
      CloseHandle(mWorkerThread);
      mWorkerThread = nullptr;
    }
    mVBlank.reset();
  }
  else if (mWindow)
    KillTimer(mWindow, kFrameTimerId);
  mSkipFramesUntil = 0;
}

int IGfxWin::VerticalBlankCount() const
{
  return mVBlank ? mVBlank->count.load() : 0;
}

DWORD WINAPI IGfxWin::VerticalBlankWorker(LPVOID param)
{
  std::shared_ptr<VBlankSharedState> state = std::move(*static_cast<std::shared_ptr<VBlankSharedState>*>(param));
  delete static_cast<std::shared_ptr<VBlankSharedState>*>(param);
  ++gLiveWorkers;
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

  auto post = [&state] {
    const int count = ++state->count;
    PostMessageA(state->window, kFrameMessage, static_cast<WPARAM>(count), 0);
  };

  HMODULE gdi = LoadLibraryA("gdi32.dll");
  const auto openAdapter = reinterpret_cast<OpenAdapterFunc>(
    reinterpret_cast<void*>(gdi ? GetProcAddress(gdi, "D3DKMTOpenAdapterFromHdc") : nullptr));
  const auto waitVBlank = reinterpret_cast<WaitVBlankFunc>(
    reinterpret_cast<void*>(gdi ? GetProcAddress(gdi, "D3DKMTWaitForVerticalBlankEvent") : nullptr));
  const auto closeAdapter = reinterpret_cast<CloseAdapterFunc>(
    reinterpret_cast<void*>(gdi ? GetProcAddress(gdi, "D3DKMTCloseAdapter") : nullptr));

  if (!openAdapter || !waitVBlank || !closeAdapter)
  {
    while (!state->stop)
    {
      Sleep(kFallbackSleepMs);
      post();
    }
  }
  else
  {
    bool adapterOpen = false;
    ULONGLONG lastFailure = 0;
    bool failedBefore = false;
    KmtWaitForVerticalBlankEvent wait = {};
    while (!state->stop)
    {
      if (!adapterOpen)
      {
        if (failedBefore && GetTickCount64() - lastFailure < kAdapterRetryMs)
          Sleep(kFallbackSleepMs);
        else
        {
          KmtOpenAdapterFromHdc open = {};
          open.hDc = GetDC(state->window);
          const bool ok = open.hDc && openAdapter(&open) >= 0;
          if (open.hDc)
            ReleaseDC(state->window, open.hDc);
          if (ok)
          {
            adapterOpen = true;
            wait = {open.hAdapter, 0, open.vidPnSourceId};
          }
          else
          {
            failedBefore = true;
            lastFailure = GetTickCount64();
            Sleep(kFallbackSleepMs);
          }
        }
      }
      else if (waitVBlank(&wait) < 0)
      {
        const KmtCloseAdapter close = {wait.hAdapter};
        closeAdapter(&close);
        adapterOpen = false;
        failedBefore = true;
        lastFailure = GetTickCount64();
        Sleep(kFallbackSleepMs);
      }
      post();
    }
    if (adapterOpen)
    {
      const KmtCloseAdapter close = {wait.hAdapter};
      closeAdapter(&close);
    }
  }
  if (gdi)
    FreeLibrary(gdi);
  --gLiveWorkers;
  return 0;
}

void IGfxWin::OnFrameTick(int count)
{
  if (mVBlank)
  {
    const int latest = mVBlank->count.load();
    if (mSkipFramesUntil != 0 && latest < mSkipFramesUntil)
    {
      ++mCounters.framesSkipped;
      return;
    }
    mSkipFramesUntil = 0;
    if (count != latest)
    {
      ++mCounters.framesSkipped;
      return;
    }
  }
  ++mCounters.framesServed;
  mCounters.lastServedCount = count;

  if (mEditWindow && mEditState != kEditIdle && mEditState != kEditEditing)
  {
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
      return;
    }
    mEditState = kEditIdle;
    return;
  }

  if (!mHostGivesScale && !GetCapture())
  {
    const float dpiScale = WindowDpiScale(mWindow);
    if (dpiScale != DisplayScale())
      SetDisplayScale(dpiScale);
  }

  IAreaList areas;
  if (!TickFrame(NowMs(), areas))
    return;
  const float s = TotalScale();
  for (const IArea& area : areas)
  {
    const RECT r = ToDeviceRect(area, s);
    InvalidateRect(mWindow, &r, FALSE);
  }
  if (mEditWindow)
  {
    const RECT r = ToDeviceRect(mEditArea, s);
    ValidateRect(mWindow, &r);
    UpdateWindow(mWindow);
    mEditState = kEditDrawn;
  }
  else
  {
    UpdateWindow(mWindow);
    if (mVBlank && mVBlank->count.load() != count)
      mSkipFramesUntil = mVBlank->count.load() + 1;
  }
}

void IGfxWin::OnPaint()
{
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const int kind = GetUpdateRgn(mWindow, region, FALSE);
  IAreaList areas;
  const float s = TotalScale();
  auto add = [&areas, s](const RECT& r) {
    areas.push_back({std::floor(r.left / s), std::floor(r.top / s), std::ceil(r.right / s), std::ceil(r.bottom / s)});
  };
  if (kind == SIMPLEREGION || kind == COMPLEXREGION)
  {
    alignas(RGNDATA) char buffer[1024];
    const DWORD needed = GetRegionData(region, 0, nullptr);
    if (kind == COMPLEXREGION && needed > 0 && needed <= sizeof(buffer) &&
        GetRegionData(region, needed, reinterpret_cast<RGNDATA*>(buffer)))
    {
      const auto* data = reinterpret_cast<const RGNDATA*>(buffer);
      const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
      for (DWORD i = 0; i < data->rdh.nCount; ++i)
        add(rects[i]);
    }
    else
    {
      RECT box;
      GetRgnBox(region, &box);
      add(box);
    }
  }

  PAINTSTRUCT ps;
  BeginPaint(mWindow, &ps);
  if (mGLContext && !areas.empty())
  {
    MakeContextCurrent();
    RenderAreas(areas);
    SwapBuffers(mWindowDC);
    RestorePreviousContext();
    ++mCounters.framesDrawn;
    // Wine swaps the first frame after a resize into the drawable it replaces; paint it again.
    if (mRepaintAfterResize)
    {
      mRepaintAfterResize = false;
      MarkAllDirty();
    }
  }
  EndPaint(mWindow, &ps);
  ValidateRect(mWindow, nullptr);
  DeleteObject(region);
}

// --- Messages ------------------------------------------------------------------------------------

LRESULT CALLBACK IGfxWin::EditorWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (msg == WM_CREATE)
  {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    auto* self = static_cast<IGfxWin*>(create->lpCreateParams);
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->mWindow = hWnd;
    self->StartFrameClock();
    SetFocus(hWnd);
    DragAcceptFiles(hWnd, TRUE);
    return 0;
  }
  auto* self = reinterpret_cast<IGfxWin*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  if (!self || self->mWindow != hWnd)
    return DefWindowProcA(hWnd, msg, wParam, lParam);
  return self->HandleMessage(hWnd, msg, wParam, lParam);
}

IMouseState IGfxWin::MouseStateFrom(WPARAM wParam, LPARAM lParam)
{
  const float s = TotalScale();
  IMouseState p;
  p.x = static_cast<float>(GET_X_LPARAM(lParam)) / s;
  p.y = static_cast<float>(GET_Y_LPARAM(lParam)) / s;
  mCursorX = p.x;
  mCursorY = p.y;
  p.ms.L = (wParam & MK_LBUTTON) != 0;
  p.ms.R = (wParam & MK_RBUTTON) != 0;
  p.ms.S = (wParam & MK_SHIFT) != 0;
  p.ms.C = (wParam & MK_CONTROL) != 0;
  p.ms.A = GetKeyState(VK_MENU) < 0;
  return p;
}

LRESULT IGfxWin::HandleMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  bool touchGenerated = false;
  if (IsMouseMessage(msg))
  {
    touchGenerated = IsTouchGenerated();
    mLastInputWasTouch = touchGenerated;
    if (touchGenerated)
      SetCursorHiddenState(IsCursorHidden(), false);
  }

  if (mEditWindow && mEditState == kEditEditing)
  {
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN)
    {
      mEditState = kEditCancel;
      return 0;
    }
    // Frames keep coming while the entry is open; everything else waits.
    if (msg == WM_TIMER && wParam == kFrameTimerId)
      OnFrameTick(0);
    else if (msg == kFrameMessage)
      OnFrameTick(static_cast<int>(wParam));
    else if (msg == WM_PAINT)
      OnPaint();
    else if (msg == WM_CTLCOLOREDIT)
      return EditColours(reinterpret_cast<HDC>(wParam));
    else
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    return 0;
  }

  switch (msg)
  {
  case WM_SETFOCUS:
  case WM_KILLFOCUS:
  case WM_ERASEBKGND:
    return 0;
  case WM_PAINT:
    OnPaint();
    return 0;
  case WM_CLOSE:
    CloseEditorWindow();
    return 0;
  case WM_SETCURSOR:
    SetCursorShape(CursorShape());
    return TRUE;
  case WM_GETDLGCODE:
    return DLGC_WANTALLKEYS;
  case WM_KEYDOWN:
  case WM_KEYUP:
    return OnKey(hWnd, msg, wParam, lParam);
  case WM_TIMER:
    if (wParam == kFrameTimerId)
      OnFrameTick(0);
    return 0;
  case kFrameMessage:
    OnFrameTick(static_cast<int>(wParam));
    return 0;
  case WM_CTLCOLOREDIT:
    if (!mEditWindow)
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    return EditColours(reinterpret_cast<HDC>(wParam));
  case WM_MOUSEMOVE:
    if (!touchGenerated)
      OnMouseMove(wParam, lParam);
    return 0;
  case WM_LBUTTONDOWN:
  case WM_RBUTTONDOWN:
  case WM_MBUTTONDOWN:
  {
    if (touchGenerated)
      return 0;
    HideTooltip();
    if (mEditWindow)
    {
      mEditState = kEditCommit;
      return 0;
    }
    SetFocus(hWnd);
    SetCapture(hWnd);
    DispatchMouseDown({MouseStateFrom(wParam, lParam)});
    return 0;
  }
  case WM_LBUTTONUP:
  case WM_RBUTTONUP:
  {
    // The release of a touch-generated press: that press was ignored, and a
    // release would hover the control under the finger.
    if (touchGenerated)
      return 0;
    ReleaseCapture();
    DispatchMouseUp({MouseStateFrom(wParam, lParam)});
    return 0;
  }
  case WM_LBUTTONDBLCLK:
  case WM_RBUTTONDBLCLK:
  {
    if (touchGenerated)
      return 0;
    const IMouseState p = MouseStateFrom(wParam, lParam);
    const bool hit = HitTestControl(p.x, p.y, false) != nullptr;
    DispatchDoubleClick(p);
    if (hit)
      SetCapture(hWnd);
    return 0;
  }
  case WM_MOUSEWHEEL:
  {
    if (mEditWindow)
    {
      mEditState = kEditCancel;
      return 0;
    }
    const float s = TotalScale();
    RECT r;
    GetWindowRect(hWnd, &r);
    const float sx = static_cast<float>(GET_X_LPARAM(lParam));
    const float sy = static_cast<float>(GET_Y_LPARAM(lParam));
    mCursorX = sx / s;
    mCursorY = sy / s;
    IMouseMods mods;
    const WORD keys = GET_KEYSTATE_WPARAM(wParam);
    mods.L = (keys & MK_LBUTTON) != 0;
    mods.R = (keys & MK_RBUTTON) != 0;
    mods.S = (keys & MK_SHIFT) != 0;
    mods.C = (keys & MK_CONTROL) != 0;
    mods.A = GetKeyState(VK_MENU) < 0;
    const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
    DispatchWheel(sx / s - r.left / s, sy / s - r.top / s, mods, static_cast<float>(notches));
    return 0;
  }
  case WM_DROPFILES:
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
    return 0;
  }
  case WM_TOUCH:
    OnTouch(hWnd, wParam, lParam);
    return 0;
  case WM_MOUSEHOVER:
    if (mTooltipIndex >= 0)
    {
      ShowTooltip();
    }
    return 0;
  case WM_MOUSELEAVE:
  {
    HideTooltip();
    const ECursor previous = SetCursorShape(ECursor::Arrow);
    IGfx::SetCursorShape(previous);
    DispatchMouseLeave();
    return 0;
  }
  default:
    return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
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

void IGfxWin::OnMouseMove(WPARAM wParam, LPARAM lParam)
{
  if ((wParam & (MK_LBUTTON | MK_RBUTTON)) && GetCapture() == mWindow)
  {
    const float lastX = mCursorX;
    const float lastY = mCursorY;
    IMouseState p = MouseStateFrom(wParam, lParam);
    p.dX = p.x - lastX;
    p.dY = p.y - lastY;
    if (p.dX != 0.f || p.dY != 0.f)
    {
      DispatchMouseDrag({p});
      if (IsCursorLocked())
      {
        const float savedX = mSavedCursorX;
        const float savedY = mSavedCursorY;
        WarpCursor(savedX, savedY);
        mSavedCursorX = savedX;
        mSavedCursorY = savedY;
      }
    }
    return;
  }

  const IMouseState p = MouseStateFrom(wParam, lParam);
  const bool overControl = DispatchMouseOver(p.x, p.y, p.ms);
  if (!overControl)
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
    if (produced == 1 && chars[0] < 0x80)
      key.utf8[0] = static_cast<char>(chars[0]);
    else if (produced == 1)
    {
      const wchar_t wide[2] = {static_cast<wchar_t>(static_cast<unsigned char>(chars[0])), 0};
      const std::string utf8 = WideToUtf8(wide);
      std::snprintf(key.utf8, sizeof(key.utf8), "%s", utf8.c_str());
    }
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
  if (IsCursorHidden() == hide)
    return;
  if (hide)
  {
    mSavedCursorX = mCursorX;
    mSavedCursorY = mCursorY;
    ShowCursor(FALSE);
    SetCursorHiddenState(true, lock && !mLastInputWasTouch);
  }
  else
  {
    if (IsCursorLocked())
      WarpCursor(mSavedCursorX, mSavedCursorY);
    ShowCursor(TRUE);
    SetCursorHiddenState(false, false);
  }
}

void IGfxWin::WarpCursor(float x, float y)
{
  if (mLastInputWasTouch || !mWindow)
    return;
  const float s = TotalScale();
  POINT point = {static_cast<LONG>(std::lround(x * s)), static_cast<LONG>(std::lround(y * s))};
  ClientToScreen(mWindow, &point);
  if (SetCursorPos(point.x, point.y))
  {
    GetCursorPos(&point);
    ScreenToClient(mWindow, &point);
    mCursorX = mSavedCursorX = static_cast<float>(point.x) / s;
    mCursorY = mSavedCursorY = static_cast<float>(point.y) / s;
  }
}

ECursor IGfxWin::SetCursorShape(ECursor shape)
{
  SetCursor(LoadCursorA(nullptr, SystemCursor(shape)));
  return IGfx::SetCursorShape(shape);
}

// --- Text entry ---------------------------------------------------------------------------------------

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
                                kWindowStyle | ES_MULTILINE | ES_AUTOHSCROLL | align, x, y, w, h, mWindow,
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
  else if (!mHostClassName.empty())
  {
    struct Search
    {
      IGfxWin* self;
      HWND found;
    } search{this, nullptr};
    EnumWindows(
      [](HWND w, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        char name[256] = {};
        GetClassNameA(w, name, sizeof(name));
        if (pid == s->self->mOwnProcessId && s->self->mHostClassName == name)
        {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
    mTopLevelWindow = search.found;
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

// --- Fonts ------------------------------------------------------------------------------------------------------

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
