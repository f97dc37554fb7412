#pragma once

// X reports protocol errors through one handler for the whole process, and
// the default one ends the process. The editor's own connection is trapped
// for as long as it is open: its errors (a request on a window the host has
// already destroyed, most likely) are counted here and never reach the handler
// that was there before, the host's or Xlib's default. Errors of every other
// connection still go to that handler.
//
// The handler is installed with the first trap and taken out with the last,
// unless someone installed another one meanwhile (then theirs stays).

#include <X11/Xlib.h>

namespace gfx {

class XErrorTrap
{
public:
  explicit XErrorTrap(Display* display);
  /** Waits for the server's answers first: errors still in flight are caught too. */
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  /** Errors caught on the connection so far, after the server answered every request sent. */
  int Errors();
  /** Errors caught so far, without a round trip to the server. */
  int ErrorsSeen() const;

private:
  Display* mDisplay;
};

} // namespace gfx
