#pragma once

// X11 key events as the editor's IKeyEvent: the virtual-key code of the key
// symbol (plug/VirtualKeys.h, the same codes as on Windows) and its text.

#include "gfx/GfxTypes.h"

namespace gfx {

/** sym is the event's KeySym, text and length what XLookupString wrote (Latin-1). */
IKeyEvent X11KeyEvent(unsigned long sym, const char* text, int length, unsigned state);

} // namespace gfx
