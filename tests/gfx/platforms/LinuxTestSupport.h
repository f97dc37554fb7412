#pragma once

// Support for the tests of the X11 editor window on the test display: a run
// loop like a Linux host's (timers and file-descriptor readers served by
// poll on one thread), a host window the editor opens in, screenshots, input
// through xdotool, and the probe layout (coloured controls that log their input).

#include "ProbeLayout.h"
#include "RecordingGfx.h"

#include "gfx/platforms/IGfxLinux.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/IHostRunLoop.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Xlib's macros (None, Bool, Status) clash with GoogleTest: the header stays out of here.
struct _XDisplay;

namespace gfxtest {

using Window = unsigned long;

/** A host's run loop: callbacks only while RunFor / RunUntil runs, on the calling thread. */
class TestRunLoop : public plug::IHostRunLoop
{
public:
  int AddTimer(int intervalMs, Callback func) override;
  int AddFdReader(int fd, Callback func) override;
  void Remove(int id) override;

  /** Serves timers and readers for about ms milliseconds. */
  void RunFor(int ms);
  /** Serves timers and readers until done() holds or timeoutMs passed; returns done(). */
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 10000);

  int TimerCount() const;
  int ReaderCount() const;
  /** Interval of the first registered timer (0 without one). */
  int FirstTimerInterval() const;

private:
  using Clock = std::chrono::steady_clock;
  struct Entry
  {
    int id;
    int fd; // -1 for a timer
    int intervalMs;
    Clock::time_point due;
    Callback func;
  };
  void ServeOnce(int maxWaitMs);
  std::vector<Entry> mEntries;
  int mNextId = 1;
};

/** A borderless top-level window at (x, y) on the test display (no window manager: screen = window pixels). */
class HostWindow
{
public:
  HostWindow(int x, int y, int width, int height);
  ~HostWindow();
  Window Id() const { return mWindow; }
  void* Parent() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow)); }
  int X() const { return mX; }
  int Y() const { return mY; }
  /** The colour of a pixel of the host window as the X server shows it (an X screenshot). */
  bool ReadPixel(int x, int y, gfx::IRgba& colour);
  /** An X screenshot of a region of the host window: RGB bytes row by row, empty when it fails. */
  std::vector<unsigned char> Capture(int x, int y, int width, int height);
  /** The direct children of the host window. */
  std::vector<Window> Children();
  /** Size of an X window, (0, 0) when it is gone. */
  void WindowSize(Window window, int& width, int& height);
  /** Makes a GLX context on the host's connection (and keeps it until the window goes). */
  void LoadGL();
  /** Hides and shows the host window (its children get Expose events). */
  void Remap();
  /** Destroys the window, and the editor's with it, as a host does when a track goes (the connection stays). */
  void Destroy();
  /** A request on a window that no longer exists, on the host's own connection: one BadWindow error. */
  void MakeBadRequest();

  // Keys as hosts handle them: what reaches the host's window is sent on to
  // its child, and the host hands its own keys to the child too (XSendEvent).
  /** The file descriptor of the host's connection, for a run-loop reader. */
  int ConnectionFd() const;
  /** From now on every key the window receives is counted and sent on to child. */
  void ForwardKeysTo(Window child);
  /** Reads the host's pending events, forwarding keys; returns how many keys came in. */
  int ServeKeys();
  /** Sends a press and a release of the key (an X keysym name) into child at (x, y) of it. */
  void SendKey(Window child, const char* keysym, unsigned modifiers, int x, int y);
  /** Unmaps the host window: the editor's window stays mapped but can no longer be seen. */
  void Hide();
  void Show();

private:
  _XDisplay* mDisplay = nullptr;
  void* mGLContext = nullptr;
  Window mWindow = 0;
  Window mKeysTo = 0;
  int mX;
  int mY;
};

/**
 * The process's X error handler while it lives, in place of a host's own or
 * Xlib's default (which would end the test run): counts the errors that reach it.
 */
class XErrorCounter
{
public:
  XErrorCounter();
  ~XErrorCounter();
  XErrorCounter(const XErrorCounter&) = delete;
  XErrorCounter& operator=(const XErrorCounter&) = delete;
  int Count() const;
  /** Whether this is the handler installed now. */
  bool Installed() const;

private:
  void* mPrevious;
};

/** The GLX context current on this thread (null for none) and its drawable. */
void* CurrentGLContext();
unsigned long CurrentGLDrawable();

/** Runs xdotool with the arguments (and waits for it); true when it succeeded. */
bool Xdotool(const std::string& args);

/** A probe control: logs its input like RecordingControl and paints itself in one colour. */
class ProbeControl : public RecordingControl
{
public:
  ProbeControl(std::vector<std::string>& log, const char* name, const gfx::IArea& area, const gfx::IRgba& colour,
               int paramIdx = -1);
  void Paint(gfx::IGfx& g) override;
  void SetColour(const gfx::IRgba& colour)
  {
    mColour = colour;
    MarkDirty(false);
  }
  int Paints() const { return mPaints; }

private:
  int mPaints = 0;
  gfx::IRgba mColour;
};

/** An editor of the probe layout with its delegate, run loop and log. */
struct ProbeEditor
{
  explicit ProbeEditor(float drawScale = 1.f);
  ~ProbeEditor();
  /** Opens the editor in the host and waits for its first drawn frame. */
  bool Open(HostWindow& host);
  Window WindowId() { return static_cast<Window>(reinterpret_cast<uintptr_t>(gfx->WindowHandle())); }
  ProbeControl* Probe(int index) const { return static_cast<ProbeControl*>(gfx->ControlAt(index)); }

  TestDelegate delegate;
  TestRunLoop runLoop;
  std::vector<std::string> log;
  std::unique_ptr<gfx::IGfxLinux> gfx;
};

} // namespace gfxtest
