// editor-demo: a top-level window holding the editor stack (IGfxWin on the
// NanoVG backend) with the probe layout, for manual checks and xdotool
// scripts under Wine. Not part of the plug-in bundle.
//
//   editor-demo.exe [--scale S] [--exit-after-frames N]
//
// Every input call the probes receive is printed on its own line on stdout
// ("A:Down(30,30,0)"), so a script can drive the window and read the result.
// With --exit-after-frames the demo closes itself after N drawn frames and
// exits with 0 when they were drawn.

#include "WinTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace gfxtest;

namespace {

gfx::IGfxWin* gEditor = nullptr;

LRESULT CALLBACK FrameProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  switch (msg)
  {
  case WM_CLOSE:
    if (gEditor)
      gEditor->CloseEditorWindow();
    DestroyWindow(hWnd);
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

} // namespace

int main(int argc, char** argv)
{
  float scale = 1.f;
  int exitAfterFrames = 0;
  for (int i = 1; i < argc; ++i)
  {
    if (!std::strcmp(argv[i], "--scale") && i + 1 < argc)
      scale = static_cast<float>(std::atof(argv[++i]));
    else if (!std::strcmp(argv[i], "--exit-after-frames") && i + 1 < argc)
      exitAfterFrames = std::atoi(argv[++i]);
    else
    {
      std::fprintf(stderr, "usage: editor-demo [--scale S] [--exit-after-frames N]\n");
      return 2;
    }
  }
  if (!(scale >= 0.5f && scale <= 2.f))
  {
    std::fprintf(stderr, "editor-demo: the scale must lie between 0.5 and 2\n");
    return 2;
  }

  WNDCLASSA frameClass = {};
  frameClass.lpfnWndProc = FrameProc;
  frameClass.hInstance = GetModuleHandleA(nullptr);
  frameClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  frameClass.lpszClassName = "KorvelEditorDemo";
  RegisterClassA(&frameClass);
  RECT r = {0, 0, int(kLayoutWidth * scale), int(kLayoutHeight * scale)};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  HWND frame = CreateWindowExA(0, "KorvelEditorDemo", "KORVEL editor demo", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                               r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                               nullptr);
  if (!frame)
  {
    std::fprintf(stderr, "editor-demo: cannot create the window (error %lu)\n", GetLastError());
    return 1;
  }

  ProbeEditor editor(scale);
  gEditor = editor.gfx.get();
  if (!editor.gfx->OpenEditorWindow(frame))
  {
    std::fprintf(stderr, "editor-demo: the editor did not open\n");
    return 1;
  }
  const int wantedFrames = exitAfterFrames;
  if (wantedFrames > 0) // keep frames coming: probe A repaints every tick
    editor.gfx->SetDisplayTickFunc([&editor] { editor.gfx->ControlAt(1)->MarkDirty(); });
  size_t printed = 0;
  MSG msg;
  bool drawn = false;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0)
  {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    for (; printed < editor.log.size(); ++printed)
      std::printf("%s\n", editor.log[printed].c_str());
    std::fflush(stdout);
    if (exitAfterFrames > 0 && editor.gfx->IsWindowOpen() &&
        editor.gfx->FrameCounters().framesDrawn >= exitAfterFrames)
    {
      drawn = true;
      PostMessageA(frame, WM_CLOSE, 0, 0);
      exitAfterFrames = 0;
    }
  }
  gEditor = nullptr;
  return wantedFrames == 0 || drawn ? 0 : 1;
}
