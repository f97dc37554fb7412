#pragma once

// Controls of the editor surface. IControl is the base: area and hit area,
// value slots bound to parameters, flags, the user-change gesture and the
// animation hooks.

#include "gfx/controls/IControl.h"
