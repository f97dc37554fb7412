#include "GLTestContext.h"

#include <glad/gl.h>

#include <windows.h>

namespace gfxtest {
namespace {

// wglGetProcAddress knows only what came after OpenGL 1.1; the 1.1 functions
// are exports of opengl32.dll.
GLADapiproc LoadProc(void* opengl32, const char* name)
{
  PROC proc = wglGetProcAddress(name);
  const auto value = reinterpret_cast<intptr_t>(proc);
  if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1)
    proc = GetProcAddress(static_cast<HMODULE>(opengl32), name);
  return reinterpret_cast<GLADapiproc>(proc);
}

const wchar_t kWindowClass[] = L"KorvelGLTestWindow";

class WglContext : public GLTestContext
{
public:
  WglContext(int width, int height) : GLTestContext(width, height) {}

  ~WglContext() override
  {
    wglMakeCurrent(nullptr, nullptr);
    if (mContext)
      wglDeleteContext(mContext);
    if (mDC)
      ReleaseDC(mWindow, mDC);
    if (mWindow)
      DestroyWindow(mWindow);
  }

  bool Open(std::string& error)
  {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass); // fails harmlessly when already registered
    // A borderless popup, never shown: its client area is the whole window.
    mWindow = CreateWindowExW(0, kWindowClass, L"GL test", WS_POPUP, 0, 0, Width(), Height(), nullptr, nullptr,
                              instance, nullptr);
    if (!mWindow)
    {
      error = "CreateWindowEx failed with error " + std::to_string(GetLastError());
      return false;
    }
    mDC = GetDC(mWindow);
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof(format);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cAlphaBits = 8;
    format.cStencilBits = 8;
    format.iLayerType = PFD_MAIN_PLANE;
    const int chosen = ChoosePixelFormat(mDC, &format);
    if (!chosen || !SetPixelFormat(mDC, chosen, &format))
    {
      error = "no pixel format with RGBA8, a stencil buffer and OpenGL";
      return false;
    }
    mContext = wglCreateContext(mDC);
    if (!mContext || !MakeCurrent())
    {
      error = "cannot create or activate a WGL context";
      return false;
    }
    void* opengl32 = GetModuleHandleW(L"opengl32.dll");
    if (!gladLoadGLUserPtr(reinterpret_cast<GLADuserptrloadfunc>(LoadProc), opengl32) || !GLAD_GL_VERSION_2_1 ||
        !GLAD_GL_ARB_framebuffer_object)
    {
      error = "the WGL context lacks OpenGL 2.1 or GL_ARB_framebuffer_object";
      return false;
    }
    return true;
  }

  bool MakeCurrent() override { return wglMakeCurrent(mDC, mContext); }

private:
  HWND mWindow = nullptr;
  HDC mDC = nullptr;
  HGLRC mContext = nullptr;
};

} // namespace

std::unique_ptr<GLTestContext> GLTestContext::Open(int width, int height, std::string& error)
{
  auto context = std::make_unique<WglContext>(width, height);
  if (!context->Open(error))
    return nullptr;
  return context;
}

} // namespace gfxtest
