#pragma once

// X reports protocol errors through a process-wide handler whose default ends
// the process. While the editor's window is being made (a stale parent id is
// the likely fault) errors are caught by this trap instead and the opening
// fails.

#include <X11/Xlib.h>

namespace gfx {

class XErrorTrap
{
public:
  explicit XErrorTrap(Display* display);
  ~XErrorTrap() { Release(); }
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;
  /** Restores the previous handler (before the connection closes). */
  void Release();
  /** Whether any request since construction failed (the trap stays set). */
  bool Failed();

private:
  Display* mDisplay;
  int (*mPrevious)(Display*, XErrorEvent*) = nullptr;
};

} // namespace gfx
