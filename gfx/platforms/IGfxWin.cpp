// The Win32 editor window: its class and lifetime, the WGL context, sizes and
// scale, painting, and the message switch that hands each message to the part
// of IGfxWin that serves it.

#include "gfx/platforms/IGfxWin.h"

#include "gfx/ScopedContext.h"

#include "plug/Trace.h"

#include <glad/gl.h>

#include <shellapi.h>

#include <algorithm>
#include <cmath>

namespace gfx {

namespace {

const char kWindowClass[] = "PluginWndClass";

// Process-wide: the window class lives while an editor window is open.
int gOpenWindows = 0;
std::atomic<int> gLiveGLContexts{0};

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

bool LoadGLFunctions()
{
  GLLoader loader{LoadLibraryA("opengl32.dll"), nullptr};
  if (loader.opengl32)
  {
    loader.getProcAddress = reinterpret_cast<PROC(WINAPI*)(LPCSTR)>(
      reinterpret_cast<void*>(GetProcAddress(loader.opengl32, "wglGetProcAddress")));
    gladLoadGLUserPtr(LoadGLFunction, &loader);
    FreeLibrary(loader.opengl32);
  }
  return true;
}

HINSTANCE ThisModule()
{
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

IArea ToArea(const RECT& r)
{
  return {static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right),
          static_cast<float>(r.bottom)};
}

} // namespace

IGfxWin::IGfxWin(plug::IGfxEditorDelegate* delegate, int width, int height, int fps, float scale)
  : IGfxNanoVG(delegate, width, height, fps, scale), mUseVerticalBlank(DefaultUsesVerticalBlank())
{
  RetainFontCaches();
}

IGfxWin::~IGfxWin()
{
  DestroyEditWindow();
  CloseEditorWindow();
  ReleaseFontCaches();
}

int IGfxWin::OpenWindowCount() { return gOpenWindows; }
int IGfxWin::LiveGLContextCount() { return gLiveGLContexts.load(); }

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

// --- Window ---------------------------------------------------------------------------------

void* IGfxWin::OpenEditorWindow(void* parent)
{
  PLUG_TRACE("IGfxWin::OpenEditorWindow");
  mParentWindow = static_cast<HWND>(parent);
  // The host's factor, when it gave one before the opening, else the monitor's
  // whole part: the layout and the first frame are made at it, not at another
  // scale and then again.
  const float scale = mHostGivesScale ? GetDisplayScale()
                                      : static_cast<float>(std::max(1, static_cast<int>(WindowDpiScale(mParentWindow))));

  int x = 0;
  int y = 0;
  int w = DeviceLength(GetWidth(), GetDrawScale(), scale);
  int h = DeviceLength(GetHeight(), GetDrawScale(), scale);
  RECT r;
  if (mWindow && GetWindowRect(mWindow, &r))
  {
    MapWindowPoints(HWND_DESKTOP, mParentWindow, reinterpret_cast<POINT*>(&r), 2);
    x = r.left;
    y = r.top;
    w = r.right - r.left;
    h = r.bottom - r.top;
  }
  CloseEditorWindow();

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

  // WM_CREATE starts the frame clock.
  mWindowModule = module;
  mWindow = CreateWindowExA(0, kWindowClass, "Plugin", kChildWindowStyle, x, y, w, h, mParentWindow, nullptr,
                            module, this);
  if (!mWindow)
  {
    StopFrameClock();
    if (--gOpenWindows == 0)
      UnregisterClassA(kWindowClass, module);
    return nullptr;
  }
  mWindowDC = GetDC(mWindow);
  if (CreateGLContext())
    SetUpContext(mGLContext, LoadGLFunctions);

  SetDisplayScale(scale);
  // The window was made at this size: no drawable of another size to repaint after.
  mRepaintAfterResize = false;
  LayoutOpenedWindow();
  if (MultiTouchEnabled() && IsTouchCapable())
    RegisterTouchWindow(mWindow, 0);
  if (TooltipsEnabled() && mTooltipsWork)
    CreateTooltipWindow(module);

  NotifyEditorOpened();
  return mWindow;
}

void IGfxWin::CloseEditorWindow()
{
  PLUG_TRACE("IGfxWin::CloseEditorWindow");
  if (!mWindow)
    return;
  ReleaseWindowResources();
  if (IsWindow(mWindow))
  {
    SetWindowLongPtrA(mWindow, GWLP_USERDATA, 0);
    DestroyWindow(mWindow);
  }
  mWindow = nullptr;
  if (--gOpenWindows == 0)
    UnregisterClassA(kWindowClass, mWindowModule);
}

// Also called while the window is being destroyed under us (the host's window
// went first): its DC still works then, so the GL objects go with our own
// context, and a later close finds nothing left to release.
void IGfxWin::ReleaseWindowResources()
{
  StopFrameClock();
  DestroyEditWindow();
  ReleaseWindowContents(mGLContext != nullptr);
  DestroyGLContext();
  DestroyTooltipWindow();
  mTouchMap.clear();
  if (mWindowDC)
    ReleaseDC(mWindow, mWindowDC);
  mWindowDC = nullptr;
}

bool IGfxWin::CreateGLContext()
{
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
  PIXELFORMATDESCRIPTOR described = {};
  mSwapCopies = chosen && DescribePixelFormat(mWindowDC, chosen, sizeof(described), &described) &&
                (described.dwFlags & PFD_SWAP_COPY) != 0;
  if (!mGLContext)
    return false;
  ++gLiveGLContexts;
  return true;
}

void IGfxWin::DestroyGLContext()
{
  if (!mGLContext)
    return;
  // Only our own context is unbound: a host's current context stays current.
  if (wglGetCurrentContext() == mGLContext)
    wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(mGLContext);
  mGLContext = nullptr;
  --gLiveGLContexts;
}

bool IGfxWin::MakeContextCurrent()
{
  mSavedContexts.push_back({wglGetCurrentDC(), wglGetCurrentContext()});
  if (!mGLContext || !mWindowDC)
    return false;
  if (wglGetCurrentContext() == mGLContext && wglGetCurrentDC() == mWindowDC)
    return true;
  if (wglMakeCurrent(mWindowDC, mGLContext))
    return true;
  // Our DC went with a window destroyed under us: with no context current,
  // the GL calls that follow touch nothing of the host's.
  wglMakeCurrent(nullptr, nullptr);
  return false;
}

void IGfxWin::RestorePreviousContext()
{
  if (mSavedContexts.empty())
    return;
  const SavedContext saved = mSavedContexts.back();
  mSavedContexts.pop_back();
  if (wglGetCurrentContext() != saved.context || wglGetCurrentDC() != saved.dc)
    wglMakeCurrent(saved.dc, saved.context);
}

void IGfxWin::OnBackingResized()
{
  if (!mGLContext)
    return;
  {
    ScopedContext current(*this);
    IGfxNanoVG::OnBackingResized();
  }
  mRepaintAfterResize = true;
}

void IGfxWin::ResizeHostWindow(bool parentResized)
{
  if (!mWindow)
    return;
  RECT r;
  GetWindowRect(mWindow, &r);
  const int dW = DeviceWidth() - (r.right - r.left);
  const int dH = DeviceHeight() - (r.bottom - r.top);

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
  // Hosts often give the scale the monitor already gave the window: nothing
  // to resize or draw again then.
  if (scale != GetDisplayScale())
    SetDisplayScale(scale);
}

bool IGfxWin::IsTouchCapable() const
{
  return (GetSystemMetrics(SM_DIGITIZER) & NID_READY) != 0;
}

// --- Paint ------------------------------------------------------------------------------------

void IGfxWin::OnPaint()
{
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const int kind = GetUpdateRgn(mWindow, region, FALSE);
  IAreaList areas;
  auto add = [this, &areas](const RECT& r) { areas.push_back(FromDevicePixels(ToArea(r))); };
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
    {
      ScopedContext current(*this);
      RenderAreas(areas);
      SwapBuffers(mWindowDC);
    }
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

LRESULT IGfxWin::HandleMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (msg == WM_DESTROY)
  {
    ReleaseWindowResources();
    return 0;
  }
  const bool touchGenerated = NoteMouseSource(msg);

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
    if (!touchGenerated)
      OnButtonDown(hWnd, wParam, lParam);
    return 0;
  case WM_LBUTTONUP:
  case WM_RBUTTONUP:
  case WM_MBUTTONUP:
    // The release of a touch-generated press: that press was ignored, and a
    // release would hover the control under the finger.
    if (!touchGenerated)
    {
      // Released after the dispatch: the capture change it causes must find the gesture already ended.
      DispatchMouseUp({MouseStateFrom(wParam, lParam)});
      ReleaseCapture();
    }
    return 0;
  case WM_CAPTURECHANGED:
    if (reinterpret_cast<HWND>(lParam) != hWnd)
      OnPointerLost();
    return 0;
  case WM_LBUTTONDBLCLK:
  case WM_RBUTTONDBLCLK:
    if (!touchGenerated)
      OnDoubleClick(hWnd, wParam, lParam);
    return 0;
  case WM_MOUSEWHEEL:
    OnWheel(hWnd, wParam, lParam);
    return 0;
  case WM_DROPFILES:
    OnDropFiles(wParam);
    return 0;
  case WM_TOUCH:
    OnTouch(hWnd, wParam, lParam);
    return 0;
  case WM_MOUSEHOVER:
    if (mTooltipIndex >= 0)
      ShowTooltip();
    return 0;
  case WM_MOUSELEAVE:
    OnMouseLeave();
    return 0;
  default:
    return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

} // namespace gfx
