#include "KorvelEditor.h"

#include "KORVEL.h"

#include "plug/IParam.h"

#include "gfx/platforms/PlatformGraphics.h"

#include <algorithm>
#include <string>
#include <vector>

namespace korvel_editor {

namespace {

enum class EKind
{
  Image,
  Knob,
  Switch
};

struct ControlRow
{
  EKind kind;
  const char* image;
  int frames;
  float x;
  float y;
  int param;
  bool bubble;
};

constexpr const char* kBackground = "BG.png";

// List indices 1 to 28: the background (index 0) is inserted first of all.
constexpr ControlRow kRows[] = {
  {EKind::Image, "OFF.png", 2, 733, 29, kPower, false},
  {EKind::Knob, "KNOB.png", 101, 86, 67, kThresholdInt, true},
  {EKind::Knob, "KNOB.png", 101, 86, 239, kThresholdExt, true},
  {EKind::Knob, "KNOB.png", 101, 209, 67, kRatioInt, true},
  {EKind::Knob, "KNOB.png", 101, 209, 239, kRatioExt, true},
  {EKind::Knob, "KNOB.png", 101, 333, 67, kAttackInt, true},
  {EKind::Knob, "KNOB.png", 101, 333, 239, kAttackExt, true},
  {EKind::Knob, "KNOB.png", 101, 457, 67, kReleaseInt, true},
  {EKind::Knob, "KNOB.png", 101, 457, 239, kReleaseExt, true},
  {EKind::Knob, "KNOB.png", 101, 581, 67, kMakeUpInt, true},
  {EKind::Knob, "KNOB.png", 101, 581, 239, kMakeUpExt, true},
  {EKind::Knob, "SCREW.png", 101, 535, 145, kInputInt, true},
  {EKind::Knob, "SCREW.png", 101, 535, 317, kInputExt, true},
  {EKind::Knob, "SCREW.png", 101, 658, 145, kMixInt, true},
  {EKind::Knob, "SCREW.png", 101, 658, 317, kMixExt, true},
  {EKind::Knob, "SCREW.png", 101, 163, 145, kHighPassInt, true},
  {EKind::Knob, "SCREW.png", 101, 163, 317, kHighPassExt, true},
  {EKind::Switch, "SWITCH.png", 2, 285, 314, kExternalSidechain, false},
  {EKind::Switch, "SWITCH.png", 2, 736, 142, kVcaInt, false},
  {EKind::Switch, "SWITCH.png", 2, 786, 142, kFetInt, false},
  {EKind::Switch, "SWITCH.png", 2, 836, 142, kOptoInt, false},
  {EKind::Switch, "SWITCH.png", 2, 736, 314, kVcaExt, false},
  {EKind::Switch, "SWITCH.png", 2, 786, 314, kFetExt, false},
  {EKind::Switch, "SWITCH.png", 2, 836, 314, kOptoExt, false},
  {EKind::Image, "NEEDLE.png", 101, 744, 56, kMeterInt, false},
  {EKind::Image, "NEEDLE.png", 101, 744, 229, kMeterExt, false},
  {EKind::Switch, "SWITCH.png", 2, 285, 142, kPower, false},
  {EKind::Switch, "OVER.png", 2, 63, 366, kOversampling, true},
};

// The switches that only matter while the plug-in is on, in the order they are hidden.
constexpr int kPoweredSwitches[] = {kVcaInt, kFetInt, kOptoInt, kVcaExt, kFetExt, kOptoExt, kExternalSidechain};

gfx::IControl* MakeControl(const ControlRow& row, const gfx::IBitmap& bitmap)
{
  switch (row.kind)
  {
  case EKind::Knob: return new gfx::IBKnobControl(row.x, row.y, bitmap, row.param, kKnobGearing);
  case EKind::Switch: return new gfx::IBSwitchControl(row.x, row.y, bitmap, row.param);
  case EKind::Image: break;
  }
  return new gfx::IBitmapControl(row.x, row.y, bitmap, row.param);
}

} // namespace

void ShowValueBubbleAction(gfx::IControl* control)
{
  gfx::IGfx* g = control ? control->GraphicsContext() : nullptr;
  if (!g)
    return;
  std::string text;
  if (const plug::IParam* param = control->Param())
  {
    param->FormatValue(param->GetPlain(), false, text);
    const char* units = param->GetUnitsText();
    if (units && *units)
    {
      text += ' ';
      text += units;
    }
  }
  const gfx::IArea& area = control->Area();
  g->ShowValueBubble(control, area.MW(), area.T, text.c_str(), 0, gfx::IArea(0.f, 0.f, 50.f, 20.f));
}

gfx::ControlHook PowerVisibilityHook(gfx::IGfx& g)
{
  return [&g](gfx::IControl* power) {
    const bool hidden = power->Value() == 0.0;
    for (int paramIdx : kPoweredSwitches)
      g.EachControlOfParam(paramIdx, [hidden](gfx::IControl* control, int) {
        if (control->IsHidden() != hidden)
          control->SetHidden(hidden);
      });
  };
}

void PrefetchImages()
{
  std::vector<std::string> stored;
  auto add = [&stored](const char* name) {
    std::string location;
    int scale = 0;
    if (gfx::FindScaledImage(name, "png", location, 1, scale) == plug::kNotFound)
      return;
    const std::string variant = gfx::ScaledImageName(name, scale);
    if (std::find(stored.begin(), stored.end(), variant) == stored.end())
      stored.push_back(variant);
  };
  add(kBackground);
  for (const ControlRow& row : kRows)
    add(row.image);
  gfx::DecodedImageCache::Shared().Prefetch(stored, "png");
}

void Layout(gfx::IGfx& g)
{
  g.AddCornerResizer(new gfx::ICornerResizerControl(gfx::IArea(0.f, 0.f, static_cast<float>(g.GetWidth()),
                                                                static_cast<float>(g.GetHeight())),
                                                    kCornerSize),
                     0, false);
  g.AddBackground(new gfx::IBitmapControl(0.f, 0.f, g.RequestBitmap(kBackground, 1, false, 0)));
  g.SetHoverEnabled(true);
  g.SetMultiTouchEnabled(g.IsTouchCapable());
  g.AddValueBubble(new gfx::IValueBubbleControl(kBubbleRoundness));
  g.RequestFont(kFontId, kFontFile);

  gfx::IControl* power = nullptr;
  for (const ControlRow& row : kRows)
  {
    gfx::IControl* control = g.AddControl(MakeControl(row, g.RequestBitmap(row.image, row.frames, false, 0)));
    if (row.bubble)
      control->SetActionFunction(ShowValueBubbleAction);
    if (row.param == kPower && row.kind == EKind::Switch)
      power = control;
  }

  // Run once per frame before the dirty areas are collected. Not installed as
  // the switch's animation hook: a control with one repaints on every frame,
  // and the idle panel would never stop drawing.
  g.SetDisplayTickFunc([hook = PowerVisibilityHook(g), power] { hook(power); });
}

} // namespace korvel_editor

std::unique_ptr<plug::IEditor> KORVEL::MakeEditorGraphics()
{
  korvel_editor::PrefetchImages(); // decoded while the window and its GL context are made
  return gfx::MakePlatformGraphics(this, korvel_editor::kWidth, korvel_editor::kHeight,
                                   korvel_editor::kFramesPerSecond, 1.f);
}

void KORVEL::LayoutEditor(plug::IEditor* editor)
{
  if (auto* g = dynamic_cast<gfx::IGfx*>(editor))
    korvel_editor::Layout(*g);
}
