#pragma once

// The editor window on Linux: an X11 child window of the host's window with
// its own GLX context, drawn through the NanoVG backend.
//
// - No thread of its own: the host's run loop (plug::IHostRunLoop, from the
//   delegate or SetRunLoop) calls a timer about 60 times a second, which runs
//   the frame tick, and a reader on the X connection, which handles the
//   window's events. (The plug-in's idle work has a timer of its own there.)
// - The window has its own connection to the X server, so its events never mix
//   with the host's.
// - A frame tick draws the dirty areas at once; an Expose copies the whole
//   frame from the panel framebuffer after the pending events (drawing it
//   first only while it was never drawn whole).
// - On Mesa's software renderer (no GPU, or Xvfb) frames are not swapped: the
//   areas drawn are read from the panel framebuffer and put into the window
//   with XPutImage, which keeps them (IGfxNanoVG::PresentsPixels).
// - Closing through the delegate parks the editor (ParkEditorWindow): the
//   window goes, the connection, GL context, images, controls and frame stay,
//   and the next opening shows the kept frame with what changed meanwhile.
// - Every use of the GL context makes it current and restores whichever
//   context was current before, so a host's own GL work is left alone.
// - X events become the dispatch calls of IGfx in unscaled pixels (window
//   pixels / TotalScale): buttons 1 and 3 press and drag, a second press within
//   the double-click time is a double click, buttons 4 and 5 are wheel
//   notches, keys carry Windows virtual-key codes like on Windows.
// - The host may destroy its window, and the editor's with it, before it
//   removes the view. The editor learns it from DestroyNotify or from an X
//   error on its connection, which is trapped for the connection's whole life
//   (X11ErrorTrap.h): it stops drawing, and closing releases only what still
//   exists (the GL objects on an unmapped stand-in window).
// - Services: cursor shapes, hiding and warping. There is no native text
//   entry, menu, dialog or clipboard here: those report failure or no choice.
//
// User-interface thread only.

#include "gfx/drawing/IGfxNanoVG.h"

#include "plug/IHostRunLoop.h"

#include <cstdint>

struct __GLXFBConfigRec; // GLXFBConfig, without GLX in this header

namespace gfx {

class IGfxLinux : public IGfxNanoVG
{
public:
  static constexpr int kDoubleClickMs = 400;

  IGfxLinux(plug::IGfxEditorDelegate* delegate, int width, int height, int fps = 60, float scale = 1.f);
  ~IGfxLinux() override;

  /** The run loop used when the delegate has none (tests, hosts that hand it over directly). */
  void SetRunLoop(plug::IHostRunLoop* runLoop) { mOwnRunLoop = runLoop; }

  // --- Window --------------------------------------------------------------------------
  /** parent is the host's X window id (XID) cast to a pointer; returns the editor's, or null. */
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  /** Destroys the window, keeps the connection, GL context and images; the next opening uses them. */
  bool ParkEditorWindow() override;
  void* WindowHandle() override;
  bool IsWindowOpen() override { return mWindow != 0; }
  /** Mapped with every ancestor (the host may unmap its own window and leave ours mapped). */
  bool IsWindowShowing() override;
  /** The back buffer's age where GLX reports it (GLX_EXT_buffer_age), else 0: the whole frame is copied. */
  int WindowBufferAge() override;
  bool MakeContextCurrent() override;
  void RestorePreviousContext() override;
  void ResizeHostWindow(bool parentResized) override;
  void OnBackingResized() override;
  float PlatformWindowScale() const override { return DisplayScale(); }
  /** The host is the only source of the display scale here: the factor it already gave changes nothing. */
  void SetHostDisplayScale(float scale) override
  {
    if (scale != DisplayScale())
      SetDisplayScale(scale);
  }
  const char* PlatformName() const override { return "x11"; }

  // --- Cursor ----------------------------------------------------------------------------
  void QueryCursorPosition(float& x, float& y) override;
  void SetCursorHidden(bool hide, bool lock) override;
  void WarpCursor(float x, float y) override;
  ECursor SetCursorShape(ECursor shape) override;

  // --- Services this window does not offer -------------------------------------------------
  /** The entry is given up at once: its owner gets no result. */
  void CreateNativeTextEntry(int paramIdx, const ITextStyle& style, const IArea& area, int maxLength,
                             const char* text) override;
  void CancelTextEntry() override {}
  IMenuModel* ShowNativeMenu(IMenuModel& menu, const IArea& area, bool& isAsync) override;
  EMsgBoxResult ShowMessageDialog(const char* text, const char* caption, EMsgBoxType type,
                                  MsgBoxCompletionFunc completion = nullptr) override;
  void AskForFile(std::string& path, std::string& directory, EFileAction action, const char* extensions,
                  FileDialogCompletionFunc completion = nullptr) override;
  void AskForDirectory(std::string& directory, FileDialogCompletionFunc completion = nullptr) override;
  bool AskForColour(IRgba& colour, const char* prompt, ColourPickerCompletionFunc completion = nullptr) override;
  bool OpenWebPage(const char* url, const char* caption = nullptr, const char* question = nullptr,
                   const char* failureMessage = nullptr) override;
  bool ReadClipboardText(std::string& text) override;
  bool WriteClipboardText(const char* text) override;

  // --- Frame clock --------------------------------------------------------------------------
  /** Period of the run-loop timer for a frame rate: IGfx::FramePeriodMs. */
  static int TimerPeriodMs(int fps) { return FramePeriodMs(fps); }
  /** Runs one frame tick (the run-loop timer calls it). */
  void OnFrameTick();
  /** Reads and handles every pending X event and draws what they made
      pending (the run-loop reader calls it). */
  void OnXEvents();

  // --- Counters of the current opening (tests and diagnostics) --------------------------------
  struct Counters
  {
    int framesServed = 0; // frame ticks that ran
    int framesDrawn = 0;  // renders of dirty or exposed areas
    int exposes = 0;      // Expose events received
  };
  const Counters& FrameCounters() const { return mCounters; }
  /** Editor windows and GL contexts alive in the process. */
  static int OpenWindowCount();
  static int LiveGLContextCount();

protected:
  /** A TrueColor visual of 32-bit pixels in the order 0xAARRGGBB. */
  bool CanPutPixelsInWindow() override;
  /** Pixels of the client's, sent to the server with each put. */
  uint8_t* WindowImage(int& rowBytes, bool& topFirst) override;
  void PutWindowImage(int left, int top, int width, int height) override;

private:
  struct XState; // X and GLX handles, kept out of this header
  void HandleXEvents(); // without drawing what they made pending
  void HandleEvent(const void* event);
  void DrawPending();
  IMouseState MouseState(int x, int y, unsigned state);
  void StopRunLoopCallbacks();
  /** Opens the editor's connection and picks the GL visual and its colormap. */
  bool Connect(unsigned long parentId, __GLXFBConfigRec*& config);
  /** The editor's child window in the host's, mapped; false (nothing left) when X refuses it. */
  bool CreateChildWindow(unsigned long parentId);
  /** A parked editor's new window shows the kept frame, or everything is drawn anew at another size. */
  void ReopenParkedContents();
  void CloseDisplay();
  /** Asks the server whether the editor's window still exists (a round trip). */
  bool WindowExists();
  /** False once the window is known to be gone; asks the server only after an X error. */
  bool WindowAlive();
  /** The window the GL context is made current on. */
  unsigned long GLDrawable();
  void DefineCursor();

  XState* mX;
  unsigned long mWindow = 0;
  plug::IHostRunLoop* mOwnRunLoop = nullptr;
  plug::IHostRunLoop* mRunLoop = nullptr; // the one registered with while open
  int mTimerId = 0;
  int mReaderId = 0;
  IAreaList mPendingAreas;
  unsigned long mLastPressTime = 0;
  unsigned mLastPressButton = 0;
  int mLastPressX = 0;
  int mLastPressY = 0;
  bool mInEvents = false;
  Counters mCounters;
};

} // namespace gfx
