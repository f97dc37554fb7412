#pragma once

// The key codes of IKeyEvent::vk on every system: Windows virtual-key codes.
// Letters are their capitals ('A'..'Z'), digits themselves ('0'..'9').

#include <cstdint>

namespace plug {

enum EVirtualKey : int32_t
{
  kVKBack = 8,
  kVKTab = 9,
  kVKClear = 12,
  kVKReturn = 13,
  kVKShift = 16,
  kVKControl = 17,
  kVKMenu = 18, // Alt
  kVKPause = 19,
  kVKEscape = 27,
  kVKSpace = 32,
  kVKPrior = 33, // page up
  kVKNext = 34,  // page down
  kVKEnd = 35,
  kVKHome = 36,
  kVKLeft = 37,
  kVKUp = 38,
  kVKRight = 39,
  kVKDown = 40,
  kVKSelect = 41,
  kVKPrint = 42,
  kVKSnapshot = 44,
  kVKInsert = 45,
  kVKDelete = 46,
  kVKHelp = 47,
  kVKNumpad0 = 96, // to kVKNumpad0 + 9
  kVKMultiply = 106,
  kVKAdd = 107,
  kVKSeparator = 108,
  kVKSubtract = 109,
  kVKDecimal = 110,
  kVKDivide = 111,
  kVKF1 = 112, // to kVKF1 + 11
  kVKNumLock = 144,
  kVKScroll = 145
};

} // namespace plug
