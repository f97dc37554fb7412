// KORVEL's panel opened through the editor delegate on the recording stand-in
// backend (no GL): which controls exist where and what they are bound to, the
// value bubble's texts, the Power switch hiding the switches, the needles'
// frames for meter readings (also from real processing), resizing, and an
// idle panel that draws nothing.

#include "KorvelEditor.h"
#include "KorvelTestSupport.h"

#include "RecordingGfx.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using gfx::IArea;
using gfxtest::RecordingGfx;

namespace {

std::string ImageOf(gfx::IControl* control)
{
  auto* bitmap = dynamic_cast<gfx::IBitmapBase*>(control);
  return bitmap ? bitmap->Bitmap().GetName() : "";
}

std::string KindOf(gfx::IControl* control)
{
  if (dynamic_cast<gfx::IBKnobControl*>(control))
    return "knob";
  if (dynamic_cast<gfx::IBSwitchControl*>(control))
    return "switch";
  if (dynamic_cast<gfx::IBitmapControl*>(control))
    return "image";
  return "other";
}

gfx::IMouseState Pointer(float x, float y, float dX = 0.f, float dY = 0.f)
{
  gfx::IMouseState p;
  p.x = x;
  p.y = y;
  p.dX = dX;
  p.dY = dY;
  p.ms.L = true;
  return p;
}

} // namespace

class KorvelEditor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    plugin = MakeKorvel();
    plugin->MakeGraphicsFunction = [this] {
      auto g = std::make_unique<RecordingGfx>(plugin.get());
      graphics = g.get();
      return std::unique_ptr<plug::IEditor>(std::move(g));
    };
    ASSERT_NE(plugin->OpenEditor(&parentWindow), nullptr);
    ASSERT_NE(graphics, nullptr);
    now = 0.0;
    Frame();
  }
  void TearDown() override
  {
    if (plugin)
      plugin->CloseEditor();
  }

  bool Frame()
  {
    now += 1000.0 / korvel_editor::kFramesPerSecond;
    graphics->calls.clear();
    return graphics->Frame(now);
  }
  // Frames until the bubble has faded out and nothing is left to draw (at most 5 s).
  void Settle()
  {
    for (int i = 0; i < 300 && Frame(); ++i)
    {
    }
  }
  gfx::IControl* At(int index) { return graphics->ControlAt(index); }
  gfx::IValueBubbleControl* Bubble() { return static_cast<gfx::IValueBubbleControl*>(graphics->BubbleAt(0)); }
  void Click(gfx::IControl* control)
  {
    const IArea& a = control->Area();
    graphics->DispatchMouseDown({Pointer(a.MW(), a.MH())});
    graphics->DispatchMouseUp({Pointer(a.MW(), a.MH())});
  }
  // The vertical source offset of the last blit of the control's image into its area.
  int BlitSourceY(gfx::IControl* control)
  {
    const IArea& a = control->Area();
    char prefix[128];
    std::snprintf(prefix, sizeof(prefix), "BlitBitmap(%s,", ImageOf(control).c_str());
    int y = -1;
    for (const std::string& call : graphics->CallsStartingWith(prefix))
    {
      float l, t, r, b;
      int sx, sy;
      if (std::sscanf(call.c_str() + std::strlen(prefix), "%g,%g,%g,%g,%d,%d", &l, &t, &r, &b, &sx, &sy) == 6 &&
          l == a.L && t == a.T)
          y = sy;
    }
    return y;
  }

  KorvelPtr plugin;
  RecordingGfx* graphics = nullptr;
  int parentWindow = 0;
  double now = 0.0;
};

TEST_F(KorvelEditor, PlacesAndBindsEveryControlOfThePanel)
{
  struct Row
  {
    const char* kind;
    const char* image;
    IArea area;
    int param;
    bool bubble;
  };
  const Row rows[] = {
    {"image", "BG.png", {0, 0, 998, 386}, -1, false},
    {"image", "OFF.png", {733, 29, 891, 300}, kPower, false},
    {"knob", "KNOB.png", {86, 67, 159, 140}, kThresholdInt, true},
    {"knob", "KNOB.png", {86, 239, 159, 312}, kThresholdExt, true},
    {"knob", "KNOB.png", {209, 67, 282, 140}, kRatioInt, true},
    {"knob", "KNOB.png", {209, 239, 282, 312}, kRatioExt, true},
    {"knob", "KNOB.png", {333, 67, 406, 140}, kAttackInt, true},
    {"knob", "KNOB.png", {333, 239, 406, 312}, kAttackExt, true},
    {"knob", "KNOB.png", {457, 67, 530, 140}, kReleaseInt, true},
    {"knob", "KNOB.png", {457, 239, 530, 312}, kReleaseExt, true},
    {"knob", "KNOB.png", {581, 67, 654, 140}, kMakeUpInt, true},
    {"knob", "KNOB.png", {581, 239, 654, 312}, kMakeUpExt, true},
    {"knob", "SCREW.png", {535, 145, 577, 187}, kInputInt, true},
    {"knob", "SCREW.png", {535, 317, 577, 359}, kInputExt, true},
    {"knob", "SCREW.png", {658, 145, 700, 187}, kMixInt, true},
    {"knob", "SCREW.png", {658, 317, 700, 359}, kMixExt, true},
    {"knob", "SCREW.png", {163, 145, 205, 187}, kHighPassInt, true},
    {"knob", "SCREW.png", {163, 317, 205, 359}, kHighPassExt, true},
    {"switch", "SWITCH.png", {285, 314, 331, 340}, kExternalSidechain, false},
    {"switch", "SWITCH.png", {736, 142, 782, 168}, kVcaInt, false},
    {"switch", "SWITCH.png", {786, 142, 832, 168}, kFetInt, false},
    {"switch", "SWITCH.png", {836, 142, 882, 168}, kOptoInt, false},
    {"switch", "SWITCH.png", {736, 314, 782, 340}, kVcaExt, false},
    {"switch", "SWITCH.png", {786, 314, 832, 340}, kFetExt, false},
    {"switch", "SWITCH.png", {836, 314, 882, 340}, kOptoExt, false},
    {"image", "NEEDLE.png", {744, 56, 876, 126}, kMeterInt, false},
    {"image", "NEEDLE.png", {744, 229, 876, 299}, kMeterExt, false},
    {"switch", "SWITCH.png", {285, 142, 331, 168}, kPower, false},
    {"switch", "OVER.png", {63, 366, 220, 383}, kOversampling, true},
  };
  ASSERT_EQ(graphics->ControlCount(), static_cast<int>(std::size(rows)));
  for (int i = 0; i < graphics->ControlCount(); ++i)
  {
    const Row& row = rows[i];
    gfx::IControl* c = At(i);
    EXPECT_EQ(KindOf(c), row.kind) << "index " << i;
    EXPECT_EQ(ImageOf(c), row.image) << "index " << i;
    EXPECT_EQ(c->Area(), row.area) << "index " << i;
    EXPECT_EQ(c->ParamIdx(), row.param) << "index " << i;
    EXPECT_EQ(static_cast<bool>(c->ActionFunction()), row.bubble) << "index " << i;
    EXPECT_EQ(c->GroupName(), "") << "index " << i;
    EXPECT_FALSE(c->IsHidden()) << "index " << i;
  }
  ASSERT_NE(graphics->CornerResizer(), nullptr);
  EXPECT_EQ(graphics->CornerResizer()->Area(), IArea(978, 366, 998, 386));
  EXPECT_EQ(graphics->ResizerMode(), 0);
  ASSERT_EQ(graphics->BubbleCount(), 1);
  EXPECT_EQ(Bubble()->FadeState(), gfx::EBubbleState::Hidden);
  EXPECT_TRUE(graphics->HoverEnabled());
  EXPECT_EQ(graphics->FrameRate(), 60);
}

TEST_F(KorvelEditor, OpensWithTheParametersCurrentValues)
{
  plugin->CloseEditor();
  SetParam(*plugin, kRatioInt, plugin->GetParameter(kRatioInt)->GetMax());
  SetParam(*plugin, kPower, 0.0);
  ASSERT_NE(plugin->OpenEditor(&parentWindow), nullptr);
  // Before the first frame tick: a platform may present a frame before it.
  EXPECT_EQ(At(4)->Value(), 1.0);
  EXPECT_EQ(At(27)->Value(), 0.0);
  EXPECT_EQ(At(1)->Value(), 0.0) << "the lamp";
  for (int i = 18; i <= 24; ++i)
    EXPECT_TRUE(At(i)->IsHidden()) << "Power off at opening hides index " << i << " from the first frame";
  Frame();
  EXPECT_EQ(At(4)->Value(), 1.0);
  EXPECT_TRUE(At(18)->IsHidden());
}

TEST_F(KorvelEditor, DraggingAKnobChangesItsParameterAndShowsTheValue)
{
  gfx::IControl* knob = At(2); // Threshold Int
  const double before = plugin->GetParameter(kThresholdInt)->GetNormalized();
  const IArea& a = knob->Area();
  graphics->DispatchMouseDown({Pointer(a.MW(), a.MH())});
  graphics->DispatchMouseDrag({Pointer(a.MW(), a.MH() + 73.f, 0.f, 73.f)});
  graphics->DispatchMouseUp({Pointer(a.MW(), a.MH() + 73.f)});
  // Dragging down by one knob height is a quarter of the range with gearing 4.
  EXPECT_NEAR(plugin->GetParameter(kThresholdInt)->GetNormalized(), before - 0.25, 1e-9);
  EXPECT_NEAR(knob->Value(), before - 0.25, 1e-9);

  std::string text;
  plugin->GetParameter(kThresholdInt)->FormatValue(plugin->GetParameter(kThresholdInt)->GetPlain(), false, text);
  EXPECT_EQ(Bubble()->BubbleText(), text + " dB");
  EXPECT_NE(Bubble()->FadeState(), gfx::EBubbleState::Hidden);

  // Back to the default with a double click: the text the musician sees.
  graphics->DispatchDoubleClick(Pointer(a.MW(), a.MH()));
  EXPECT_EQ(Bubble()->BubbleText(), "10.0 dB");
}

TEST_F(KorvelEditor, OversamplingSwitchShowsItsDisplayText)
{
  gfx::IControl* over = At(28);
  Click(over);
  EXPECT_EQ(plugin->GetParameter(kOversampling)->GetPlain(), 1.0);
  EXPECT_EQ(Bubble()->BubbleText(), "Oversampling On");
  Click(over);
  EXPECT_EQ(Bubble()->BubbleText(), "Oversampling Off");
  // The character switches show no bubble.
  Settle();
  Click(At(19));
  EXPECT_EQ(plugin->GetParameter(kVcaInt)->GetPlain(), 1.0);
  EXPECT_EQ(Bubble()->BubbleText(), "Oversampling Off");
}

TEST_F(KorvelEditor, PowerOffHidesTheSwitchesWhateverSetsIt)
{
  auto hiddenSwitches = [this] {
    std::vector<int> hidden;
    for (int i = 0; i < graphics->ControlCount(); ++i)
      if (At(i)->IsHidden())
        hidden.push_back(i);
    return hidden;
  };
  const std::vector<int> switches = {18, 19, 20, 21, 22, 23, 24};

  // The host switches the plug-in off and on.
  plugin->SendParameterValueToEditor(kPower, 0.0, true);
  Frame();
  EXPECT_EQ(hiddenSwitches(), switches);
  EXPECT_EQ(At(1)->Value(), 0.0) << "the lamp follows";
  plugin->SendParameterValueToEditor(kPower, 1.0, true);
  Frame();
  EXPECT_TRUE(hiddenSwitches().empty());

  // Clicking the Power switch: hidden in the same frame, the knobs still work.
  Click(At(27));
  EXPECT_EQ(plugin->GetParameter(kPower)->GetPlain(), 0.0);
  Frame();
  EXPECT_EQ(hiddenSwitches(), switches);
  EXPECT_EQ(At(1)->Value(), 0.0);
  EXPECT_EQ(graphics->HitTestControl(At(19)->Area().MW(), At(19)->Area().MH(), false), At(1))
    << "a hidden switch takes no clicks: the lamp under it does";
  Click(At(4));
  EXPECT_EQ(graphics->HitTestControl(At(4)->Area().MW(), At(4)->Area().MH(), false), At(4));

  // Double-clicking the lamp restores Power's default (on); the switch follows.
  graphics->DispatchDoubleClick(Pointer(760, 190));
  EXPECT_EQ(plugin->GetParameter(kPower)->GetPlain(), 1.0);
  Frame();
  EXPECT_EQ(At(27)->Value(), 1.0);
  EXPECT_TRUE(hiddenSwitches().empty());
}

TEST_F(KorvelEditor, NeedlesShowTheFrameOfTheReading)
{
  struct Case
  {
    double reading;
    int frame;
  };
  // Each reading differs from the one before: an unchanged one repaints nothing.
  const Case cases[] = {{0.505, 51}, {0.504, 50}, {0.0, 0}, {1.7, 100}, {-0.3, 0}, {1.0, 100}, {0.25, 25}};
  for (const Case& c : cases)
  {
    plugin->SendParameterValueToEditor(kMeterExt, c.reading, false);
    Frame();
    gfx::IControl* needle = At(26);
    EXPECT_EQ(gfx::IBitmapBase::FrameForValue(101, needle->Value()), c.frame) << c.reading;
    const int sourceY = BlitSourceY(needle);
    EXPECT_EQ(sourceY, c.frame * 70) << "blit of reading " << c.reading;
  }
  // An unchanged reading repaints nothing.
  plugin->SendParameterValueToEditor(kMeterExt, 0.25, false);
  Settle();
  plugin->SendParameterValueToEditor(kMeterExt, 0.25, false);
  EXPECT_FALSE(Frame());
}

TEST_F(KorvelEditor, CompressingAudioMovesTheIntNeedleOffRest)
{
  SetParam(*plugin, kThresholdInt, plugin->GetParameter(kThresholdInt)->GetMin());
  Signal signal(4800);
  double y1 = 0.0, y2 = 0.0;
  for (int i = 0; i < signal.Frames(); ++i)
  {
    // A loud 1 kHz tone on both main channels.
    const double y = i == 0 ? 0.0 : i == 1 ? kTone1kHz.sinW : kTone1kHz.twoCosW * y1 - y2;
    y2 = y1;
    y1 = y;
    signal.channels[0][static_cast<size_t>(i)] = signal.channels[1][static_cast<size_t>(i)] = 0.9 * y;
  }
  Settle();
  EXPECT_EQ(gfx::IBitmapBase::FrameForValue(101, At(25)->Value()), 100) << "at rest before any audio";
  for (int pos = 0; pos < signal.Frames(); pos += 480)
  {
    double* inputs[4];
    for (int ch = 0; ch < 4; ++ch)
      inputs[ch] = signal.channels[static_cast<size_t>(ch)].data() + pos;
    std::vector<double> left(480), right(480);
    double* outputs[2] = {left.data(), right.data()};
    plugin->ProcessAudio(inputs, outputs, 480);
  }
  EXPECT_TRUE(Frame()) << "the frame tick pulls the readings";
  EXPECT_LT(gfx::IBitmapBase::FrameForValue(101, At(25)->Value()), 95);
  EXPECT_GE(BlitSourceY(At(25)), 0) << "the needle was repainted";
}

// The needles' release tail after the audio stops: readings that creep by
// hairs within the frame shown draw nothing, and the panel goes idle while
// they still creep.
TEST_F(KorvelEditor, ReadingsThatCreepWithinTheirFrameDrawNothing)
{
  SetParam(*plugin, kThresholdInt, plugin->GetParameter(kThresholdInt)->GetMin());
  Signal loud(4800), silence(480);
  for (int i = 0; i < loud.Frames(); ++i)
    loud.channels[0][static_cast<size_t>(i)] = loud.channels[1][static_cast<size_t>(i)] = i % 2 ? 0.9 : -0.9;
  std::vector<double> left(480), right(480);
  auto process = [&](Signal& signal, int pos) {
    double* inputs[4];
    for (int ch = 0; ch < 4; ++ch)
      inputs[ch] = signal.channels[static_cast<size_t>(ch)].data() + pos;
    double* outputs[2] = {left.data(), right.data()};
    plugin->ProcessAudio(inputs, outputs, 480);
  };
  for (int pos = 0; pos < loud.Frames(); pos += 480)
    process(loud, pos);
  Settle();

  // Silence, one 10 ms block per frame, for 3 s.
  gfx::IControl* needles[] = {At(25), At(26)};
  auto frames = [&needles] {
    return std::make_pair(gfx::IBitmapBase::FrameForValue(101, needles[0]->Value()),
                          gfx::IBitmapBase::FrameForValue(101, needles[1]->Value()));
  };
  int creeping = 0, drawnWhileCreeping = 0;
  for (int block = 0; block < 300; ++block)
  {
    const auto framesBefore = frames();
    const double before[] = {needles[0]->Value(), needles[1]->Value()};
    process(silence, 0);
    const bool drawn = Frame();
    if (frames() == framesBefore && (needles[0]->Value() != before[0] || needles[1]->Value() != before[1]))
    {
      ++creeping;
      drawnWhileCreeping += drawn ? 1 : 0;
    }
  }
  EXPECT_GT(creeping, 10) << "the readings move by less than a frame for a while";
  EXPECT_EQ(drawnWhileCreeping, 0);
}

TEST_F(KorvelEditor, IdlePanelDrawsNothing)
{
  Settle();
  for (int i = 0; i < 10; ++i)
    EXPECT_FALSE(Frame()) << "frame " << i;
  EXPECT_TRUE(graphics->CallsStartingWith("BlitBitmap").empty());
  // Power's hook runs every frame but only a change of state repaints.
  plugin->SendParameterValueToEditor(kPower, 0.0, true);
  EXPECT_TRUE(Frame());
  EXPECT_FALSE(Frame());
}

TEST_F(KorvelEditor, CornerDragScalesThePanelWithinTheLimits)
{
  const IArea corner = graphics->CornerResizer()->Area();
  const float x = corner.MW(), y = corner.MH();
  graphics->DispatchMouseDown({Pointer(x, y)});
  graphics->DispatchMouseDrag({Pointer(x * 3.f, y * 3.f, x * 2.f, y * 2.f)});
  graphics->DispatchMouseUp({Pointer(x * 3.f, y * 3.f)});
  EXPECT_EQ(graphics->GetDrawScale(), 2.f) << "clamped to double size";
  EXPECT_EQ(plugin->GetEditorWidth(), 1996);
  EXPECT_EQ(plugin->GetEditorHeight(), 772);
  EXPECT_EQ(At(2)->Area(), IArea(86, 67, 159, 140)) << "positions stay in unscaled pixels";
  EXPECT_EQ(graphics->CornerResizer()->Area(), IArea(988, 376, 998, 386)) << "the corner keeps its on-screen size";

  plugin->CloseEditor();
  EXPECT_EQ(plugin->GetRememberedScale(), 2.f);
  ASSERT_NE(plugin->OpenEditor(&parentWindow), nullptr);
  EXPECT_EQ(graphics->GetDrawScale(), 2.f);
}

namespace {

// The panel's seven images decoded: what the instances keep between openings.
constexpr size_t kDecodedPanelBytes =
  size_t(4) * (1996 * 772 + 146 * 14746 + 265 * 14140 + 316 * 1084 + 314 * 68 + 84 * 8484 + 92 * 104);

RecordingGfx* OpenOnRecorder(KORVEL& plugin)
{
  static int parent = 0;
  RecordingGfx* opened = nullptr;
  plugin.MakeGraphicsFunction = [&plugin, &opened] {
    auto g = std::make_unique<RecordingGfx>(&plugin);
    opened = g.get();
    return std::unique_ptr<plug::IEditor>(std::move(g));
  };
  EXPECT_NE(plugin.OpenEditor(&parent), nullptr);
  return opened;
}

} // namespace

TEST(KorvelEditorImages, AreDecodedOncePerProcessWhileAnInstanceLivesAndFreedWithTheLast)
{
  gfx::DecodedImageCache& cache = gfx::DecodedImageCache::Shared();
  ASSERT_EQ(cache.KeptBytes(), 0u) << "images kept while no instance lives";
  const long before = cache.Decodes();
  KorvelPtr first = MakeKorvel();
  KorvelPtr second = MakeKorvel();
  for (int opening = 0; opening < 3; ++opening)
  {
    RecordingGfx* g = OpenOnRecorder(*first);
    ASSERT_NE(g, nullptr);
    // Textures belong to one GL context: every opening uploads, the knob strip once for its 16 knobs.
    EXPECT_EQ(g->CallsStartingWith("LoadBackendBitmap").size(), 7u) << "opening " << opening;
    first->CloseEditor();
    EXPECT_EQ(cache.Decodes() - before, 7) << "opening " << opening << " decoded again";
  }
  EXPECT_EQ(cache.KeptBytes(), kDecodedPanelBytes);
  ASSERT_NE(OpenOnRecorder(*second), nullptr);
  second->CloseEditor();
  EXPECT_EQ(cache.Decodes() - before, 7) << "a second instance decoded again";

  first.reset();
  EXPECT_EQ(cache.KeptBytes(), kDecodedPanelBytes) << "freed while an instance still lives";
  second.reset();
  EXPECT_EQ(cache.KeptBytes(), 0u) << "kept after the last instance went";
  EXPECT_EQ(cache.KeptCount(), 0);
}
