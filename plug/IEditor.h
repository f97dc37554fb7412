#pragma once

// The open editor as the plug-in layer sees it: what the editor delegate asks
// of it while it owns it. The graphics layer implements it (gfx::IGfx); the
// plug layer never sees a control, a drawing call or a window system.
//
// Every call comes on the user-interface thread. Values that other threads
// send to the editor (meter readings from the audio thread, host automation)
// wait in the delegate's lock-free storage until the editor's frame tick pulls
// them through IGfxEditorDelegate::DeliverPendingEditorValues, which then calls
// SetControlValuesOfParam here, on the user-interface thread.

#include "plug/PlugStructs.h"

#include <cstdint>
#include <vector>

namespace plug {

/** A drawn editor frame: RGBA, 8 bits per channel, top row first, in device pixels. */
struct IEditorFrame
{
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
};

class IEditor
{
public:
  virtual ~IEditor() = default;

  /** Editor size in unscaled pixels and the user's draw scale. */
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual float GetDrawScale() const = 0;
  /** Clamps into the editor limits; a non-finite scale keeps the current one. */
  virtual void SetEditorSize(int width, int height, float drawScale) = 0;
  /** The monitor's scale factor. */
  virtual void SetDisplayScale(float scale) = 0;
  /** The factor from scaled editor pixels to the window's pixels (plug::WindowLength). */
  virtual float GetWindowScale() const { return 1.f; }
  /** The monitor's scale factor in use. */
  virtual float GetDisplayScale() const { return 1.f; }
  /** The scale factor the host gives for its window; from then on it wins over what the editor finds itself. */
  virtual void SetHostDisplayScale(float scale) { SetDisplayScale(scale); }

  /** Opens the editor window inside the host's parent window and returns it (nullptr on failure). */
  virtual void* OpenEditorWindow(void* parent) = 0;
  virtual void CloseEditorWindow() = 0;
  /**
   * Closes the window but keeps what opening it again would make anew (a
   * graphics context, uploaded images), so that the next OpenEditorWindow is
   * quick; CloseEditorWindow then releases them. False when this editor keeps
   * nothing: it is still open and must be closed.
   */
  virtual bool ParkEditorWindow() { return false; }

  /** Pointer position in unscaled pixels. */
  virtual void QueryCursorPosition(float& x, float& y) = 0;
  virtual bool OnKeyDown(float x, float y, const IKeyEvent& key) = 0;
  virtual bool OnKeyUp(float x, float y, const IKeyEvent& key) = 0;

  /** Sets every control value bound to the parameter, without reporting back. */
  virtual void SetControlValuesOfParam(int paramIdx, double normalized) = 0;
  /** Sets value 0 of the control with that tag, without reporting back. */
  virtual void SetControlValueByTag(int controlTag, double normalized) = 0;
  virtual void SendMessageToControl(int controlTag, int messageTag, int dataSize, const void* data) = 0;
  /** Gives the message to every control that wants MIDI. */
  virtual void SendMidiToControls(const IMidiMsg& message) = 0;

  /**
   * Runs a frame tick and draws the whole editor now, then reads the drawn
   * pixels back into frame. False (frame untouched) when the editor has no
   * drawing surface, i.e. its window is not open.
   */
  virtual bool CaptureFrame(IEditorFrame& /*frame*/) { return false; }
};

} // namespace plug
