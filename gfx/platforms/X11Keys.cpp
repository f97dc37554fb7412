#include "gfx/platforms/X11Keys.h"

#include "plug/Utf8.h"
#include "plug/VirtualKeys.h"

#include <X11/X.h>
#include <X11/keysym.h>

namespace gfx {

namespace {

int32_t VirtualKeyOf(KeySym sym)
{
  using namespace plug;
  if (sym >= XK_a && sym <= XK_z)
    return static_cast<int32_t>('A' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z)
    return static_cast<int32_t>('A' + (sym - XK_A));
  if (sym >= XK_0 && sym <= XK_9)
    return static_cast<int32_t>('0' + (sym - XK_0));
  if (sym >= XK_KP_0 && sym <= XK_KP_9)
    return kVKNumpad0 + static_cast<int32_t>(sym - XK_KP_0);
  if (sym >= XK_F1 && sym <= XK_F12)
    return kVKF1 + static_cast<int32_t>(sym - XK_F1);
  switch (sym)
  {
  case XK_BackSpace: return kVKBack;
  case XK_Tab: case XK_ISO_Left_Tab: return kVKTab;
  case XK_Clear: return kVKClear;
  case XK_Return: case XK_KP_Enter: return kVKReturn;
  case XK_Shift_L: case XK_Shift_R: return kVKShift;
  case XK_Control_L: case XK_Control_R: return kVKControl;
  case XK_Alt_L: case XK_Alt_R: return kVKMenu;
  case XK_Pause: return kVKPause;
  case XK_Escape: return kVKEscape;
  case XK_space: return kVKSpace;
  case XK_Page_Up: case XK_KP_Page_Up: return kVKPrior;
  case XK_Page_Down: case XK_KP_Page_Down: return kVKNext;
  case XK_End: case XK_KP_End: return kVKEnd;
  case XK_Home: case XK_KP_Home: return kVKHome;
  case XK_Left: case XK_KP_Left: return kVKLeft;
  case XK_Up: case XK_KP_Up: return kVKUp;
  case XK_Right: case XK_KP_Right: return kVKRight;
  case XK_Down: case XK_KP_Down: return kVKDown;
  case XK_Insert: case XK_KP_Insert: return kVKInsert;
  case XK_Delete: case XK_KP_Delete: return kVKDelete;
  case XK_Help: return kVKHelp;
  case XK_KP_Multiply: return kVKMultiply;
  case XK_KP_Add: return kVKAdd;
  case XK_KP_Separator: return kVKSeparator;
  case XK_KP_Subtract: return kVKSubtract;
  case XK_KP_Decimal: return kVKDecimal;
  case XK_KP_Divide: return kVKDivide;
  case XK_Num_Lock: return kVKNumLock;
  case XK_Scroll_Lock: return kVKScroll;
  default: return 0;
  }
}

} // namespace

IKeyEvent X11KeyEvent(unsigned long sym, const char* text, int length, unsigned state)
{
  IKeyEvent key;
  key.vk = VirtualKeyOf(static_cast<KeySym>(sym));
  // At most one character is kept; control characters carry no text.
  const auto c = length == 1 ? static_cast<unsigned char>(text[0]) : 0u;
  if (c >= 0x20 && c != 0x7F)
    plug::EncodeUtf8(c, key.utf8);
  key.shift = (state & ShiftMask) != 0;
  key.control = (state & ControlMask) != 0;
  key.alt = (state & Mod1Mask) != 0;
  return key;
}

} // namespace gfx
