// Input reaching the probe layout through the editor window under Wine: posted
// Win32 messages, SendInput with the touch marker, xdotool as a user would,
// keys, the text entry, menus, the cursor and the clipboard.

#include "WinTestSupport.h"

#include "plug/IParam.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>

using gfx::IGfxWin;
using namespace gfxtest;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

namespace {

constexpr int kHostX = 40;
constexpr int kHostY = 40;

class IGfxWinInput : public testing::TestWithParam<float>
{
protected:
  void SetUp() override
  {
    // The real pointer stays away so that only the test's input reaches the editor.
    SetCursorPos(1900, 1060);
    PumpFor(10);
    ASSERT_TRUE(editor.Open(host));
    editor.log.clear();
  }
  void TearDown() override { editor.gfx->CloseEditorWindow(); }

  float Scale() const { return GetParam(); }
  LPARAM At(float x, float y) const { return MAKELPARAM(int(x * Scale()), int(y * Scale())); }
  POINT ScreenAt(float x, float y) const
  {
    POINT p = {LONG(x * Scale()), LONG(y * Scale())};
    ClientToScreen(editor.Window(), &p);
    return p;
  }
  void Post(UINT msg, WPARAM wParam, LPARAM lParam) { PostMessageA(editor.Window(), msg, wParam, lParam); }
  /** The probes' log entries (not the background's), once n of them arrived. */
  std::vector<std::string> ProbeLog(size_t n)
  {
    PumpUntil([&] { return ProbeEntries().size() >= n; }, 5000);
    PumpFor(30); // nothing more is expected
    return ProbeEntries();
  }
  std::vector<std::string> ProbeEntries() const
  {
    std::vector<std::string> out;
    for (const std::string& e : editor.log)
      if (e.compare(0, 3, "BG:") != 0)
        out.push_back(e);
    return out;
  }

  HostWindow host{kHostX, kHostY, 700, 300};
  ProbeEditor editor{GetParam()};
};

std::string Fmt(const char* format, double a, double b)
{
  char text[64];
  std::snprintf(text, sizeof(text), format, a, b);
  return text;
}

} // namespace

TEST_P(IGfxWinInput, PostedMouseMessagesReachTheControlsInUnscaledPixels)
{
  editor.delegate.GetParameter(0)->SetPlain(-20.0); // where control B stands, away from the default
  Post(WM_MOUSEMOVE, 0, At(20, 20));
  Post(WM_LBUTTONDOWN, MK_LBUTTON, At(30, 30));
  Post(WM_MOUSEMOVE, MK_LBUTTON, At(40, 35));
  Post(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, At(38, 35));
  Post(WM_LBUTTONUP, 0, At(38, 35));
  Post(WM_RBUTTONDOWN, MK_RBUTTON, At(60, 40));
  Post(WM_RBUTTONUP, 0, At(60, 40));
  Post(WM_LBUTTONDBLCLK, MK_LBUTTON, At(200, 30));
  Post(WM_LBUTTONUP, 0, At(200, 30));
  // A release is followed by a mouse-over at its point; the double click ends
  // the press, so its release goes to no control.
  EXPECT_THAT(ProbeLog(12), ElementsAre("A:Over(20,20)", "A:Down(30,30,0)", "A:Drag(40,35,10,5)", "A:Drag(38,35,-2,0)",
                                        "A:Up(38,35)", "A:Over(38,35)", "A:Down(60,40,1)", "A:Up(60,40)",
                                        "A:Over(60,40)", "B:DoubleClick(200,30)", "A:Out", "B:Over(200,30)"));
  EXPECT_EQ(GetCapture(), nullptr);
  // The double click reset parameter 0 inside one host edit.
  EXPECT_THAT(editor.delegate.edits, ElementsAre("Begin(0)", "Set(0,0.666667)", "End(0)"));
}

// Smooth wheels and touchpads send parts of a notch: they add up to whole
// notches, and a part that makes none reaches neither a control nor the host.
TEST_P(IGfxWinInput, WheelCountsWholeNotchesAtTheScreenPointUnderIt)
{
  for (int delta : {120, 40, 40, 40, -240, 60, 359, -60})
  {
    const POINT p = ScreenAt(150, 90);
    Post(WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(p.x, p.y));
  }
  EXPECT_THAT(ProbeLog(4), ElementsAre("C:Wheel(150,90,1)", "C:Wheel(150,90,1)", "C:Wheel(150,90,-2)",
                                       "C:Wheel(150,90,3)"));
  // The probe changes no value: no turn was worth an edit.
  EXPECT_THAT(editor.delegate.edits, IsEmpty());
}

// A press of any button ends with its release: the host's edit closes, the
// window lets the pointer go and the next click finds the control under it.
TEST_P(IGfxWinInput, AMiddleButtonPressIsPairedWithItsRelease)
{
  Post(WM_MBUTTONDOWN, MK_MBUTTON, At(200, 30));
  Post(WM_MBUTTONUP, 0, At(200, 30));
  Post(WM_LBUTTONDOWN, MK_LBUTTON, At(30, 30));
  Post(WM_LBUTTONUP, 0, At(30, 30));
  PumpUntil([&] { return EntriesOf(editor.log, "A:Up").size() + EntriesOf(editor.log, "B:Down").size() >= 2; },
            3000);
  PumpFor(30);
  EXPECT_THAT(EntriesOf(editor.log, "B:Down"), ElementsAre("B:Down(200,30,0)"));
  EXPECT_THAT(EntriesOf(editor.log, "A:Down"), ElementsAre("A:Down(30,30,0)"));
  EXPECT_THAT(editor.delegate.edits, ElementsAre("Begin(0)", "End(0)"));
  EXPECT_EQ(GetCapture(), nullptr);
}

// Another window takes the capture in the middle of a drag that hid the
// cursor: no release will reach the editor, so the gesture ends there.
TEST_P(IGfxWinInput, LosingTheCaptureMidDragEndsTheGestureAndShowsTheCursor)
{
  Post(WM_LBUTTONDOWN, MK_LBUTTON, At(200, 30));
  ASSERT_TRUE(PumpUntil([&] { return !EntriesOf(editor.log, "B:Down").empty(); }, 3000));
  ASSERT_EQ(GetCapture(), editor.Window());
  editor.gfx->SetCursorHidden(true, true); // as a knob does while it is dragged
  SetCapture(host.Handle());
  EXPECT_THAT(editor.delegate.edits, ElementsAre("Begin(0)", "End(0)"));
  EXPECT_FALSE(editor.gfx->IsCursorHidden());
  ReleaseCapture();

  Post(WM_LBUTTONDOWN, MK_LBUTTON, At(30, 30));
  Post(WM_LBUTTONUP, 0, At(30, 30));
  PumpUntil([&] { return !EntriesOf(editor.log, "A:Up").empty(); }, 3000);
  PumpFor(30);
  EXPECT_THAT(EntriesOf(editor.log, "A:Down"), ElementsAre("A:Down(30,30,0)"));
  EXPECT_THAT(EntriesOf(editor.log, "B:Down"), ElementsAre("B:Down(200,30,0)"));
  EXPECT_THAT(EntriesOf(editor.log, "B:Up"), IsEmpty());
  EXPECT_THAT(editor.delegate.edits, ElementsAre("Begin(0)", "End(0)"));
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_P(IGfxWinInput, KeysGoToTheEditorAndUnhandledOnesToTheHostsRootWindow)
{
  std::vector<std::string> keys;
  editor.gfx->SetKeyHandlerFunc([&keys](const gfx::IKeyEvent& key, bool isUp) {
    keys.push_back(std::string(isUp ? "Up " : "Down ") + std::to_string(key.vk) + " '" + key.utf8 + "'");
    return key.vk == 'K';
  });
  const LPARAM kScan = LPARAM(MapVirtualKeyA('K', MAPVK_VK_TO_VSC)) << 16;
  const LPARAM jScan = LPARAM(MapVirtualKeyA('J', MAPVK_VK_TO_VSC)) << 16;
  SendMessageA(editor.Window(), WM_KEYDOWN, 'K', kScan | 1);
  SendMessageA(editor.Window(), WM_KEYUP, 'K', kScan | 0xC0000001);
  SendMessageA(editor.Window(), WM_KEYDOWN, 'J', jScan | 1);
  EXPECT_THAT(keys, ElementsAre("Down 75 'k'", "Up 75 'k'", "Down 74 'j'"));
  EXPECT_THAT(host.keys, ElementsAre("Down(74)"));
}

// Windows marks the mouse messages it makes from touch input in their extra
// info; SetMessageExtraInfo gives the messages sent below that marker.
TEST_P(IGfxWinInput, TouchGeneratedMouseMessagesPressNothingAndStopCursorWarps)
{
  const HWND w = editor.Window();
  SetMessageExtraInfo(LPARAM(0xFF515701));
  SendMessageA(w, WM_MOUSEMOVE, 0, At(60, 35));
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, At(60, 35));
  SendMessageA(w, WM_LBUTTONDBLCLK, MK_LBUTTON, At(60, 35));
  SendMessageA(w, WM_LBUTTONUP, 0, At(60, 35));
  SetMessageExtraInfo(0);
  EXPECT_THAT(ProbeEntries(), IsEmpty());
  // After touch the cursor stays where it is.
  POINT before;
  GetCursorPos(&before);
  editor.gfx->WarpCursor(20, 20);
  POINT after;
  GetCursorPos(&after);
  EXPECT_EQ(after.x, before.x);
  EXPECT_EQ(after.y, before.y);

  // The same messages from the mouse press the control, and warping works again.
  SendMessageA(w, WM_MOUSEMOVE, 0, At(60, 35));
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, At(60, 35));
  SendMessageA(w, WM_LBUTTONUP, 0, At(60, 35));
  EXPECT_THAT(EntriesOf(editor.log, "A:Down"), ElementsAre("A:Down(60,35,0)"));
  editor.gfx->WarpCursor(20, 20);
  GetCursorPos(&after);
  EXPECT_EQ(after.x, kHostX + LONG(20 * Scale()));
  SetCursorPos(1900, 1060);
}

TEST_P(IGfxWinInput, TextEntryFiltersCharactersAndEnterCommitsAtTheNextTick)
{
  gfx::IControl* b = editor.gfx->ControlAt(2);
  editor.gfx->OpenTextEntry(b, b->TextStyle(), kAreaB, "1.5", 0);
  const HWND edit = editor.gfx->EditWindow();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(GetParent(edit), editor.Window());
  EXPECT_EQ(GetDlgCtrlID(edit), IGfxWin::kEditControlId);
  EXPECT_TRUE(GetWindowLongA(edit, GWL_STYLE) & ES_CENTER);
  RECT r;
  GetWindowRect(edit, &r);
  EXPECT_EQ(r.right - r.left, int(100 * Scale()) + 1);
  EXPECT_EQ(editor.gfx->EditState(), IGfxWin::kEditEditing);
  char text[64] = {};
  GetWindowTextA(edit, text, sizeof(text));
  EXPECT_STREQ(text, "1.5");

  for (char c : std::string("a-2x.5"))
    SendMessageA(edit, WM_CHAR, WPARAM(c), 1);
  GetWindowTextA(edit, text, sizeof(text));
  EXPECT_STREQ(text, "-2.5"); // the selection was replaced; "a" and "x" were swallowed

  PumpFor(60); // frames go on while the entry is open
  ASSERT_EQ(editor.gfx->EditWindow(), edit);
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_EQ(editor.gfx->EditState(), IGfxWin::kEditCommit);
  const int served = editor.gfx->FrameCounters().framesServed;
  ASSERT_TRUE(PumpUntil([&] { return editor.gfx->EditWindow() == nullptr; }));
  EXPECT_EQ(editor.gfx->FrameCounters().framesServed, served + 1) << "not gone at the next tick";
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(editor.gfx->TextEntryOwner(), nullptr);
  EXPECT_NEAR(b->Value(), (-2.5 + 20.0) / 30.0, 1e-9);
  EXPECT_THAT(editor.delegate.edits, ElementsAre("Begin(0)", "Set(0,0.583333)", "End(0)"));
  EXPECT_EQ(editor.gfx->EditState(), IGfxWin::kEditIdle);
}

TEST_P(IGfxWinInput, TextEntryForAnIntegerRefusesThePointAndEscapeCancels)
{
  gfx::IControl* c = editor.gfx->ControlAt(3);
  const double before = c->Value();
  editor.gfx->OpenTextEntry(c, c->TextStyle(), kAreaC, "5", 0);
  const HWND edit = editor.gfx->EditWindow();
  ASSERT_NE(edit, nullptr);
  for (char ch : std::string("+7.a"))
    SendMessageA(edit, WM_CHAR, WPARAM(ch), 1);
  char text[64] = {};
  GetWindowTextA(edit, text, sizeof(text));
  EXPECT_STREQ(text, "+7");
  SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 1);
  ASSERT_TRUE(PumpUntil([&] { return editor.gfx->EditWindow() == nullptr; }));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(editor.gfx->TextEntryOwner(), nullptr);
  EXPECT_EQ(c->Value(), before);
  EXPECT_THAT(editor.delegate.edits, IsEmpty());
}

TEST_P(IGfxWinInput, AClickInTheEditorWhileEditingCancelsAndReachesNoControl)
{
  gfx::IControl* b = editor.gfx->ControlAt(2);
  const double before = b->Value();
  editor.gfx->OpenTextEntry(b, b->TextStyle(), kAreaB, "3", 0);
  const HWND edit = editor.gfx->EditWindow();
  ASSERT_NE(edit, nullptr);
  SendMessageA(edit, WM_CHAR, '9', 1);
  Post(WM_LBUTTONDOWN, MK_LBUTTON, At(30, 30));
  Post(WM_LBUTTONUP, 0, At(30, 30));
  ASSERT_TRUE(PumpUntil([&] { return editor.gfx->EditWindow() == nullptr; }));
  PumpFor(30);
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_THAT(EntriesOf(editor.log, "A:Down"), IsEmpty());
  EXPECT_EQ(b->Value(), before);
  EXPECT_THAT(editor.delegate.edits, IsEmpty());
  // Afterwards clicks reach the controls again.
  Post(WM_LBUTTONDOWN, MK_LBUTTON, At(30, 30));
  Post(WM_LBUTTONUP, 0, At(30, 30));
  PumpUntil([&] { return !EntriesOf(editor.log, "A:Down").empty(); }, 3000);
  EXPECT_THAT(EntriesOf(editor.log, "A:Down"), ElementsAre("A:Down(30,30,0)"));
}

TEST_P(IGfxWinInput, WarpedCursorIsReadBackInUnscaledPixels)
{
  editor.gfx->WarpCursor(100, 50);
  float x = 0, y = 0;
  editor.gfx->QueryCursorPosition(x, y);
  EXPECT_FLOAT_EQ(x, 100.f);
  EXPECT_FLOAT_EQ(y, 50.f);
  POINT p;
  GetCursorPos(&p);
  EXPECT_EQ(p.x, kHostX + LONG(100 * Scale()));
  EXPECT_EQ(p.y, kHostY + LONG(50 * Scale()));
  SetCursorPos(1900, 1060);
}

// A user's input through the X server: xdotool moves and clicks the real
// pointer over the Wine window. Wine starts Linux programs through
// CreateProcess (their handle cannot be waited for, so the test waits for the
// input to arrive instead).
TEST_P(IGfxWinInput, XdotoolPointerInputReachesTheControlsAsAUserMakesIt)
{
  auto screen = [this](float x, float y) {
    const POINT p = ScreenAt(x, y);
    return std::to_string(p.x) + " " + std::to_string(p.y);
  };
  const std::string script = "mousemove " + screen(20, 20) + " sleep 0.2 mousemove " + screen(30, 30) +
                             " sleep 0.1 click 1 sleep 0.6 mousedown 1 sleep 0.1 mousemove " + screen(40, 35) +
                             " sleep 0.1 mouseup 1 sleep 0.6 mousemove " + screen(200, 30) +
                             " sleep 0.1 click --repeat 2 --delay 60 1 sleep 0.6 mousemove " + screen(150, 90) +
                             " sleep 0.1 click 4 sleep 0.1 click 5 sleep 0.1 mousemove 1900 1060";
  std::string command = "/usr/bin/xdotool " + script;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process))
    << "cannot start xdotool (error " << GetLastError() << ")";
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  const std::vector<std::string> expected = {
    "A:Over(20,20)",     "A:Down(30,30,0)",       "A:Up(30,30)",       "A:Down(30,30,0)", "A:Drag(40,35,10,5)",
    "A:Up(40,35)",       "B:Down(200,30,0)",      "B:Up(200,30)",      "B:DoubleClick(200,30)",
    "C:Wheel(150,90,1)", "C:Wheel(150,90,-1)"};
  // The expected calls in this order; the pointer's own moves may add mouse-overs between them.
  auto found = [&] {
    size_t next = 0;
    for (const std::string& entry : editor.log)
      if (next < expected.size() && entry == expected[next])
        ++next;
    return next;
  };
  PumpUntil([&] { return found() == expected.size(); }, 20000);
  EXPECT_EQ(found(), expected.size()) << testing::PrintToString(ProbeEntries());
  // Only the expected presses and wheel turns happened.
  EXPECT_EQ(EntriesOf(editor.log, "A:Down").size(), 2u);
  EXPECT_EQ(EntriesOf(editor.log, "B:Down").size(), 1u);
  EXPECT_EQ(EntriesOf(editor.log, "C:Wheel").size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(DrawScale, IGfxWinInput, testing::Values(1.f, 2.f),
                         [](const testing::TestParamInfo<float>& info) { return info.param == 1.f ? "x1" : "x2"; });

TEST(IGfxWinServices, ClipboardTextRoundTripsAsUnicode)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(editor.Open(host));
  ASSERT_TRUE(editor.gfx->WriteClipboardText("Gr\xC3\xBC\xC3\x9F" "e -3.5 dB"));
  std::string text;
  ASSERT_TRUE(editor.gfx->ReadClipboardText(text));
  EXPECT_EQ(text, "Gr\xC3\xBC\xC3\x9F" "e -3.5 dB");
  // An empty text empties the clipboard and places nothing.
  EXPECT_FALSE(editor.gfx->WriteClipboardText(""));
  EXPECT_FALSE(editor.gfx->ReadClipboardText(text));
  EXPECT_EQ(text, "");
  editor.gfx->CloseEditorWindow();
}

namespace {
std::vector<std::string> gMenuTexts;
void CALLBACK DriveMenu(HWND hWnd, UINT, UINT_PTR id, DWORD)
{
  HWND menuWindow = FindWindowA("#32768", nullptr);
  if (!menuWindow || !IsWindowVisible(menuWindow))
    return;
  KillTimer(hWnd, id);
  const HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
  for (int i = 0; i < GetMenuItemCount(menu); ++i)
  {
    char text[128] = {};
    GetMenuStringA(menu, UINT(i), text, sizeof(text), MF_BYPOSITION);
    gMenuTexts.push_back(text);
  }
  for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN})
  {
    PostMessageA(hWnd, WM_KEYDOWN, key, LPARAM(MapVirtualKeyA(UINT(key), MAPVK_VK_TO_VSC)) << 16 | 1);
    PostMessageA(hWnd, WM_KEYUP, key, LPARAM(MapVirtualKeyA(UINT(key), MAPVK_VK_TO_VSC)) << 16 | 0xC0000001);
  }
}
} // namespace

TEST(IGfxWinServices, PopupMenuShowsAmpersandsAsTheyAreAndReportsTheChoice)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(editor.Open(host));
  gfx::IMenuModel menu("Choices");
  menu.AddItem("Salt & Pepper");
  menu.AddItem("Two", gfx::IMenuModel::kChecked);
  menu.AddItem("Three", gfx::IMenuModel::kDisabled);
  int completed = -1;
  menu.SetCompletionFunc([&completed](gfx::IMenuModel* m) { completed = m->GetChosenItemIdx(); });
  gMenuTexts.clear();
  SetTimer(editor.Window(), 77, 30, DriveMenu);
  bool isAsync = true;
  gfx::IMenuModel* chosen = editor.gfx->ShowNativeMenu(menu, kAreaA, isAsync);
  KillTimer(editor.Window(), 77);
  EXPECT_FALSE(isAsync);
  EXPECT_THAT(gMenuTexts, ElementsAre("Salt && Pepper", "Two", "Three"));
  EXPECT_EQ(chosen, &menu);
  EXPECT_EQ(menu.GetChosenItemIdx(), 1);
  EXPECT_EQ(completed, 1);
  editor.gfx->CloseEditorWindow();
}

TEST(IGfxWinServices, HoverShowsTheControlsTooltipAndAPressHidesIt)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  editor.gfx->SetTooltipsEnabled(true);
  ASSERT_TRUE(editor.Open(host));
  const HWND tooltip = editor.gfx->TooltipWindow();
  ASSERT_NE(tooltip, nullptr);
  editor.gfx->ControlAt(1)->SetHintText("Probe A & more");
  auto tipText = [&] {
    char text[128] = {};
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = editor.Window();
    tool.uId = reinterpret_cast<UINT_PTR>(editor.Window());
    tool.lpszText = text;
    SendMessageA(tooltip, TTM_GETTEXTA, sizeof(text), reinterpret_cast<LPARAM>(&tool));
    return std::string(text);
  };
  SendMessageA(editor.Window(), WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
  SendMessageA(editor.Window(), WM_MOUSEHOVER, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(tipText(), "Probe A & more");
  SendMessageA(editor.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  SendMessageA(editor.Window(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(tipText(), "");
  editor.gfx->CloseEditorWindow();
  EXPECT_FALSE(IsWindow(tooltip));
}
