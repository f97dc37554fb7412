// The one binding to the host's edit gestures (gfx/controls/HostEdit.h), seen
// from the delegate: what a user's gesture on a control sends to the host.

#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace controlstest;

namespace {

constexpr int kMeterParam = 5;

struct MeterGesture
{
  const char* what;
  std::function<void(Editor& e)> act;
};

const MeterGesture kMeterGestures[] = {
  {"click on the needle", [](Editor& e) { e.Press(800.f, 100.f); e.Release(800.f, 100.f); }},
  {"double click on the needle", [](Editor& e) { e.DoubleClick(800.f, 100.f); }},
  {"drag on a knob", [](Editor& e) {
     e.Press(120.f, 100.f);
     e.Drag(120.f, 50.f, 0.f, -50.f);
     e.Release(120.f, 50.f);
   }},
  {"wheel on a knob", [](Editor& e) { e.Wheel(120.f, 100.f, 2.f); }},
  {"double click on a knob", [](Editor& e) { e.DoubleClick(120.f, 100.f); }},
};

struct DragSeries
{
  const char* what;
  bool stepped;
  int drags;
  float dY; // per drag, upwards negative
  std::vector<std::string> sent;
};

// The knob's gearing: 292 pixels for the whole range.
const DragSeries kDragSeries[] = {
  {"pushed on past its end stop", false, 6, -200.f, {"Begin(0)", "Set(0,0.684932)", "Set(0,1)", "End(0)"}},
  {"held against its bottom end stop", false, 4, 50.f, {"Begin(0)", "End(0)"}},
  {"stepped, moved within one step", true, 6, -1.f, {"Begin(0)", "End(0)"}},
  {"stepped, moved across one step", true, 80, -1.f, {"Begin(0)", "Set(0,0.25)", "End(0)"}},
};

struct WheelTurn
{
  const char* what;
  double start;
  float notches;
  std::vector<std::string> sent;
};

const WheelTurn kWheelTurns[] = {
  {"a turn of no whole notch", 0.5, 0.f, {}},
  {"a notch up against the top end stop", 1.0, 1.f, {}},
  {"a notch down against the bottom end stop", 0.0, -1.f, {}},
  {"a notch up from the middle", 0.5, 1.f, {"Begin(0)", "Set(0,0.51)", "End(0)"}},
};

} // namespace

// The needles show meters: the host lists those parameters read-only, and an
// edit of one (even an empty begin/end pair) is a protocol error to it.
TEST(HostEdit, AControlOfAMeterNeverSendsAHostEdit)
{
  for (const MeterGesture& g : kMeterGestures)
  {
    SCOPED_TRACE(g.what);
    Editor e;
    plug::IParam* meter = e.delegate.GetParameter(kMeterParam);
    meter->SetupDouble("Meter", 0.0, 0.0, 1.0, 0.001, "", plug::IParam::kFlagMeter);
    meter->SetPlain(0.5);
    e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), kMeterParam))->StoreValue(0.5, 0);
    e.Add(new gfx::IBitmapControl(744.f, 56.f, e.images.Needle(), kMeterParam))->StoreValue(0.5, 0);
    g.act(e);
    EXPECT_TRUE(e.delegate.events.empty()) << e.delegate.events.front();
    EXPECT_EQ(meter->GetPlain(), 0.5) << "the editor wrote a reading";
  }
}

TEST(HostEdit, ADragSendsAValueOnlyWhenItChangesTheParameter)
{
  for (const DragSeries& c : kDragSeries)
  {
    SCOPED_TRACE(c.what);
    Editor e;
    if (c.stepped)
      e.delegate.GetParameter(0)->SetupDouble("Stepped", 0.0, 0.0, 1.0, 0.25, "", plug::IParam::kFlagStepped);
    e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
    float y = 100.f;
    e.Press(120.f, y);
    for (int i = 0; i < c.drags; ++i)
    {
      y += c.dY;
      e.Drag(120.f, y, 0.f, c.dY);
    }
    e.Release(120.f, y);
    EXPECT_EQ(e.delegate.events, c.sent);
  }
}

// A wheel turn is a gesture of its own; one that changes nothing is not worth
// an entry in the host's undo history or automation.
TEST(HostEdit, AWheelTurnSendsAnEditOnlyWhenItChangesTheParameter)
{
  for (const WheelTurn& c : kWheelTurns)
  {
    SCOPED_TRACE(c.what);
    Editor e;
    e.delegate.GetParameter(0)->SetPlain(c.start);
    e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0))->StoreValue(c.start, 0);
    e.Wheel(120.f, 100.f, c.notches);
    EXPECT_EQ(e.delegate.events, c.sent);
  }
}

namespace {

// Every Begin gets exactly one End, no Set outside Begin..End, and at most one
// open gesture per parameter; returns what broke the rule, or "" when none did.
std::string PairingFault(const std::vector<std::string>& events)
{
  std::vector<int> open(16, 0);
  for (const std::string& event : events)
  {
    const auto paren = event.find('(');
    if (paren == std::string::npos)
      continue;
    const std::string kind = event.substr(0, paren);
    const int param = std::stoi(event.substr(paren + 1));
    if (kind == "Begin" && open[param]++ > 0)
      return "a second Begin inside an open gesture: " + event;
    if (kind == "End" && open[param]-- == 0)
      return "an End with no Begin: " + event;
    if (kind == "Set" && open[param] == 0)
      return "a Set outside Begin..End: " + event;
  }
  for (int param = 0; param < int(open.size()); ++param)
    if (open[param] != 0)
      return "a gesture left open on parameter " + std::to_string(param);
  return "";
}

struct InputSequence
{
  const char* what;
  std::function<void(Editor& e)> act;
};

const InputSequence kInputSequences[] = {
  {"wheel during a knob drag", [](Editor& e) {
     e.Press(120.f, 100.f);
     e.Drag(120.f, 90.f, 0.f, -10.f);
     e.Wheel(120.f, 90.f, 1.f);
     e.Drag(120.f, 80.f, 0.f, -10.f);
     e.Release(120.f, 80.f);
   }},
  {"right press during a left drag", [](Editor& e) {
     e.Press(120.f, 100.f);
     e.Drag(120.f, 90.f, 0.f, -10.f);
     e.Press(120.f, 90.f, gfx::IMouseMods(true, true));
     e.Release(120.f, 90.f);
   }},
  {"double click during a left drag", [](Editor& e) {
     e.Press(120.f, 100.f);
     e.Drag(120.f, 90.f, 0.f, -10.f);
     e.DoubleClick(120.f, 90.f);
     e.Release(120.f, 90.f);
   }},
  {"pointer lost during a knob drag, then a release", [](Editor& e) {
     e.Press(120.f, 100.f);
     e.Drag(120.f, 90.f, 0.f, -10.f);
     e.gfx.OnPointerLost();
     e.Release(120.f, 90.f);
   }},
};

} // namespace

TEST(HostEdit, EveryInputSequenceKeepsTheHostsGesturesPaired)
{
  for (const InputSequence& c : kInputSequences)
  {
    SCOPED_TRACE(c.what);
    Editor e;
    e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
    c.act(e);
    EXPECT_EQ(PairingFault(e.delegate.events), "") << ::testing::PrintToString(e.delegate.events);
  }
}
