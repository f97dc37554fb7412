#include "WinTestSupport.h"

#include "plug/IParam.h"

namespace gfxtest {

namespace {
const char kHostClass[] = "KorvelTestHost";
} // namespace

HostWindow::HostWindow(int x, int y, int width, int height)
{
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = Proc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kHostClass;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  RegisterClassA(&windowClass); // already registered by an earlier host: fine
  mWindow = CreateWindowExA(0, kHostClass, "KORVEL test host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width,
                            height, nullptr, nullptr, GetModuleHandleA(nullptr), this);
  SetForegroundWindow(mWindow);
  PumpFor(20);
}

HostWindow::~HostWindow()
{
  if (mWindow)
    DestroyWindow(mWindow);
  PumpFor(5);
}

LRESULT CALLBACK HostWindow::Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (msg == WM_NCCREATE)
    SetWindowLongPtrA(hWnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  if (self && (msg == WM_KEYDOWN || msg == WM_KEYUP))
    self->keys.push_back((msg == WM_KEYDOWN ? "Down(" : "Up(") + std::to_string(wParam) + ")");
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!done())
  {
    if (GetTickCount64() > end)
      return false;
    MSG msg;
    bool any = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    {
      any = true;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (done())
        return true;
    }
    if (!any)
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(DWORD ms)
{
  const ULONGLONG end = GetTickCount64() + ms;
  PumpUntil([end] { return GetTickCount64() >= end; }, ms + 1000);
}

ProbeControl::ProbeControl(std::vector<std::string>& log, const char* name, const gfx::IArea& area,
                           const gfx::IRgba& colour, int paramIdx)
  : RecordingControl(log, name, area, paramIdx), mProbeLog(log), mProbeName(name), mColour(colour)
{
}

void ProbeControl::HandleMouseOver(float x, float y, const gfx::IMouseMods& mod)
{
  mProbeLog.push_back(mProbeName + ":" + Call("Over", {x, y}));
  IControl::HandleMouseOver(x, y, mod);
}

void ProbeControl::Paint(gfx::IGfx& g)
{
  ++mPaints;
  g.PaintRect(mColour, Area());
}

void AddProbeLayout(gfx::IGfx& g, std::vector<std::string>& log)
{
  g.SetHoverEnabled(true);
  g.AddBackground(new ProbeControl(log, "BG", {0.f, 0.f, float(kLayoutWidth), float(kLayoutHeight)},
                                   kBackgroundColour));
  g.AddControl(new ProbeControl(log, "A", kAreaA, kColourA));
  g.AddControl(new ProbeControl(log, "B", kAreaB, kColourB, 0));
  g.AddControl(new ProbeControl(log, "C", kAreaC, kColourC, 1));
}

ProbeEditor::ProbeEditor(float drawScale)
{
  delegate.LayoutFunction = [this](plug::IEditor* editor) { AddProbeLayout(*static_cast<gfx::IGfx*>(editor), log); };
  gfx = std::make_unique<gfx::IGfxWin>(&delegate, kLayoutWidth, kLayoutHeight, 60, drawScale);
}

ProbeEditor::~ProbeEditor()
{
  gfx.reset();
}

bool ProbeEditor::Open(HostWindow& host)
{
  if (!gfx->OpenEditorWindow(host.Handle()))
    return false;
  return PumpUntil([this] { return gfx->FrameCounters().framesDrawn > 0; });
}

} // namespace gfxtest
