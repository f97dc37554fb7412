#pragma once

// Controls of the editor surface. IControl is the base: area and hit area,
// value slots bound to parameters, flags, the user-change gesture and the
// animation hooks. On it: the knob and switch input behaviours, the bitmap
// knob, switch and image that draw one frame of an image by value, the value
// bubble and the resize corner.

#include "gfx/controls/IBitmapControls.h"
#include "gfx/controls/IControl.h"
#include "gfx/controls/ICornerResizerControl.h"
#include "gfx/controls/IKnobControlBase.h"
#include "gfx/controls/ISwitchControlBase.h"
#include "gfx/controls/IValueBubbleControl.h"
