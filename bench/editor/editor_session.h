#pragma once

// One host window on the X display with a plug-in's editor view attached to
// it, the way a Linux host shows an editor: the view gets the frame (with the
// run loop) and the content scale before attached(), the host window takes
// the view's size and is mapped, and the run loop is served on this thread.

#include "host_frame.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <X11/Xlib.h>

#include <string>

namespace editorbench {

struct OpeningTimes
{
  double attachedMs = 0.0;  // inside attached()
  double onScreenMs = 0.0;  // from the call of attached() to the return of the first frame's swap
  double cpuMs = 0.0;       // processor time of the whole process over the same span
  int width = 0;            // the view's size once open, in pixels
  int height = 0;
};

class EditorSession
{
public:
  /** Opens the X display in DISPLAY; throws when there is none. */
  EditorSession();
  ~EditorSession();
  EditorSession(const EditorSession&) = delete;
  EditorSession& operator=(const EditorSession&) = delete;

  /** Creates the controller's view "editor" and attaches it; throws when it cannot be shown. */
  OpeningTimes Open(Steinberg::Vst::IEditController& controller, float contentScale);
  void Close();
  bool IsOpen() const { return mView; }
  HostFrame& Frame() { return mFrame; }

private:
  void ResizeWindow(int width, int height);

  Display* mDisplay = nullptr;
  Window mWindow = 0;
  HostFrame mFrame;
  Steinberg::IPtr<Steinberg::IPlugView> mView;
};

double ProcessCpuMs();
double NowMs();
/** The process's resident set in KiB (VmRSS). */
long ResidentKiB();

} // namespace editorbench
