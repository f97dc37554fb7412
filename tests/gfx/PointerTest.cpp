// The pointer logic both platform windows share (IGfx::OnPointerMoved and the
// cursor bookkeeping), driven in-process against the recording context.

#include "RecordingGfx.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using gfx::IArea;
using gfx::IMouseMods;
using gfx::IMouseState;
using gfxtest::RecordingControl;
using gfxtest::RecordingDelegate;
using gfxtest::RecordingGfx;

namespace {

enum class ECursorOnPress
{
  Shown,
  Hidden,
  HiddenLocked
};

// Hides the cursor while it is held, as a knob does.
class CursorControl : public RecordingControl
{
public:
  CursorControl(std::vector<std::string>& log, ECursorOnPress cursor)
    : RecordingControl(log, "knob", IArea(10, 10, 110, 110), 0), mCursor(cursor)
  {
  }

  void HandleMouseDown(float x, float y, const IMouseMods& mod) override
  {
    RecordingControl::HandleMouseDown(x, y, mod);
    if (mCursor != ECursorOnPress::Shown)
      GraphicsContext()->SetCursorHidden(true, mCursor == ECursorOnPress::HiddenLocked);
  }
  void HandleMouseUp(float x, float y, const IMouseMods& mod) override
  {
    RecordingControl::HandleMouseUp(x, y, mod);
    if (mCursor != ECursorOnPress::Shown)
      GraphicsContext()->SetCursorHidden(false, false);
  }

private:
  ECursorOnPress mCursor;
};

class PointerGfx : public RecordingGfx
{
public:
  using RecordingGfx::RecordingGfx;
  using RecordingGfx::mLastInputWasTouch;
};

struct Move
{
  float x, y;
  bool dragging;
};

struct PointerCase
{
  const char* what;
  bool press;          // at (50, 50) before the moves, released after them where the last one ended
                       // (the release then hovers the control)
  ECursorOnPress cursor;
  bool touch;          // the input so far came from touch
  std::vector<Move> moves;
  std::vector<std::string> log;
  std::vector<std::string> warps;
};

const IMouseMods kLeft{true, false};

const PointerCase kCases[] = {
  {"a drag moves by the distance from the last position", true, ECursorOnPress::Shown, false,
   {{55, 47, true}, {60, 47, true}},
   {"knob:Down(50,50,0)", "knob:Drag(55,47,5,-3)", "knob:Drag(60,47,5,0)", "knob:Up(60,47)", "knob:Over"},
   {}},
  {"no movement is no drag", true, ECursorOnPress::Shown, false,
   {{50, 50, true}, {52, 50, true}, {52, 50, true}},
   {"knob:Down(50,50,0)", "knob:Drag(52,50,2,0)", "knob:Up(52,50)", "knob:Over"},
   {}},
  {"without a button a move is a mouse-over", false, ECursorOnPress::Shown, false,
   {{60, 60, false}, {70, 60, false}, {300, 300, false}},
   {"knob:Over", "knob:Out"},
   {}},
  {"a hidden cursor that is not locked stays where the drag takes it", true, ECursorOnPress::Hidden, false,
   {{55, 50, true}, {58, 52, true}},
   {"knob:Down(50,50,0)", "knob:Drag(55,50,5,0)", "knob:Drag(58,52,3,2)", "knob:Up(58,52)", "knob:Over"},
   {}},
  {"a locked cursor goes back to where it was hidden after every drag and at the release", true,
   ECursorOnPress::HiddenLocked, false,
   {{55, 50, true}, {58, 52, true}},
   {"knob:Down(50,50,0)", "knob:Drag(55,50,5,0)", "knob:Drag(58,52,8,2)", "knob:Up(58,52)", "knob:Over"},
   {"WarpCursor(50,50)", "WarpCursor(50,50)", "WarpCursor(50,50)"}},
  {"touch input never locks the cursor, so nothing warps", true, ECursorOnPress::HiddenLocked, true,
   {{55, 50, true}, {58, 52, true}},
   {"knob:Down(50,50,0)", "knob:Drag(55,50,5,0)", "knob:Drag(58,52,3,2)", "knob:Up(58,52)", "knob:Over"},
   {}},
};

} // namespace

TEST(PointerMoves, DeltaDragOrHoverAndWarpOnlyWhileLocked)
{
  for (const PointerCase& c : kCases)
  {
    SCOPED_TRACE(c.what);
    RecordingDelegate delegate(4);
    PointerGfx g(&delegate);
    g.SetHoverEnabled(true);
    std::vector<std::string> log;
    g.AddControl(new RecordingControl(log, "background", IArea(0, 0, 998, 386)));
    g.AddControl(new CursorControl(log, c.cursor));
    g.mLastInputWasTouch = c.touch;

    if (c.press)
      g.DispatchMouseDown({IMouseState(50, 50, kLeft)});
    for (const Move& m : c.moves)
      g.OnPointerMoved(IMouseState(m.x, m.y, m.dragging ? kLeft : IMouseMods()), m.dragging);
    if (c.press)
      g.DispatchMouseUp({IMouseState(c.moves.back().x, c.moves.back().y, IMouseMods())});

    EXPECT_EQ(log, c.log);
    EXPECT_EQ(g.CallsStartingWith("WarpCursor"), c.warps);
    EXPECT_FALSE(g.IsCursorHidden());
  }
}

TEST(PointerMoves, MouseOverAnswersWhetherAControlIsUnderThePointer)
{
  RecordingDelegate delegate(4);
  RecordingGfx g(&delegate);
  g.SetHoverEnabled(true);
  std::vector<std::string> log;
  g.AddControl(new RecordingControl(log, "background", IArea(0, 0, 998, 386)));
  g.AddControl(new RecordingControl(log, "knob", IArea(10, 10, 110, 110)));
  EXPECT_TRUE(g.OnPointerMoved(IMouseState(60, 60, IMouseMods()), false));
  EXPECT_FALSE(g.OnPointerMoved(IMouseState(300, 300, IMouseMods()), false));
  g.DispatchMouseDown({IMouseState(60, 60, kLeft)});
  EXPECT_FALSE(g.OnPointerMoved(IMouseState(70, 60, kLeft), true)) << "a drag is no mouse-over";
}
