#pragma once

// Support for the tests of the Win32 editor window under Wine: a host window
// the editor opens in, a message pump with a deadline, a delegate with two
// parameters and the probe layout (coloured controls that log their input).

#include "ProbeLayout.h"
#include "RecordingGfx.h"

#include "gfx/platforms/IGfxWin.h"

#include "plug/IGfxEditorDelegate.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gfxtest {

/** A borderless top-level window at (x, y): its client pixels are screen pixels shifted by (x, y). */
class HostWindow
{
public:
  HostWindow(int x, int y, int width, int height);
  ~HostWindow();
  HWND Handle() const { return mWindow; }
  /** Key messages that reached the host (the editor forwards unhandled keys here). */
  std::vector<std::string> keys;

private:
  static LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND mWindow = nullptr;
};

/** Dispatches this thread's messages until done() holds or timeoutMs passed; returns done(). */
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
/** Dispatches this thread's messages for about ms milliseconds. */
void PumpFor(DWORD ms);

/** A probe control: logs its input like RecordingControl and paints itself in one colour. */
class ProbeControl : public RecordingControl
{
public:
  ProbeControl(std::vector<std::string>& log, const char* name, const gfx::IArea& area, const gfx::IRgba& colour,
               int paramIdx = -1);
  void HandleMouseOver(float x, float y, const gfx::IMouseMods& mod) override;
  void Paint(gfx::IGfx& g) override;
  int Paints() const { return mPaints; }

private:
  int mPaints = 0;
  std::vector<std::string>& mProbeLog;
  std::string mProbeName;
  gfx::IRgba mColour;
};

/** Adds the background and the probes A, B and C to the editor, logging into log. */
void AddProbeLayout(gfx::IGfx& g, std::vector<std::string>& log);

/** An editor of the probe layout with its delegate and log. */
struct ProbeEditor
{
  explicit ProbeEditor(float drawScale = 1.f);
  ~ProbeEditor();
  /** Opens the editor in the host and waits for its first drawn frame. */
  bool Open(HostWindow& host);
  HWND Window() const { return static_cast<HWND>(gfx->WindowHandle()); }
  ProbeControl* Probe(int index) const { return static_cast<ProbeControl*>(gfx->ControlAt(index)); }

  TestDelegate delegate;
  std::vector<std::string> log;
  std::unique_ptr<gfx::IGfxWin> gfx;
};

} // namespace gfxtest
