#pragma once

// KORVEL's editor: the bitmap panel's control list (paint order), what each
// control is bound to, the value bubble shown while a value changes, and the
// Power switch that hides the character and side-chain switches while the
// plug-in is switched off.

#include "gfx/gfx.h"

namespace korvel_editor {

constexpr int kWidth = 998;
constexpr int kHeight = 386;
constexpr int kFramesPerSecond = 60;
constexpr float kCornerSize = 20.f;
constexpr float kBubbleRoundness = 5.f;
constexpr double kKnobGearing = 4.0;
constexpr const char* kFontId = "Roboto-Regular";
constexpr const char* kFontFile = "Roboto-Regular.ttf";

/**
 * Starts decoding the panel's images on worker threads (those not decoded
 * yet), so that they are ready by the time the layout asks for them.
 */
void PrefetchImages();

/** Fills a graphics context of the panel's size with the panel's controls and overlays. */
void Layout(gfx::IGfx& g);

/** A control's user change: the value bubble above it with its parameter's value and units. */
void ShowValueBubbleAction(gfx::IControl* control);

/**
 * Hides the character and side-chain switches of g while the switch given to
 * the hook reads exactly 0, shows them otherwise. Only a change of state
 * touches the switches, so an idle panel stays clean.
 */
gfx::ControlHook PowerVisibilityHook(gfx::IGfx& g);

} // namespace korvel_editor
