#pragma once

// The editor as the host sees it: a VST3 IPlugView that turns the host's view
// calls (attach to a parent window, remove, size negotiation, content scale,
// keys) into the editor-delegate operations of its plug-in, which own the
// graphics context and its window. The editor's frame clock lives with its
// window, so it runs from attached() to removed() and never while the view is
// closed.
//
// The view keeps its plug-in alive (a reference taken at creation); the
// plug-in remembers its one view, for resize requests and context menus, and
// forgets it when the view goes.

#include "plug/vst3/VST3Sdk.h"

#include "plug/PlugStructs.h"

#include "plug/vst3/IEditorFrameCapture.h"
#include "plug/vst3/VST3HostRunLoop.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"

#include <memory>

namespace plug {

class IPluginVST3;

/** The platform type this build embeds its editor in: "HWND" on Windows, "X11EmbedWindowID" on Linux. */
Steinberg::FIDString EditorPlatformType();

/**
 * The key record for a host key call: the character (derived from keyCode
 * when key is 0), its UTF-8 text, the Windows virtual-key code and the
 * modifier keys (shift bit 0, alt bit 1, control bit 2).
 */
IKeyEvent MakeKeyEvent(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers);

/** The host's content scale factors the view accepts: what real displays use. */
constexpr float kMinContentScale = 0.5f;
constexpr float kMaxContentScale = 4.f;

class IPluginVST3View : public Steinberg::CPluginView,
                        public Steinberg::IPlugViewContentScaleSupport,
                        public IEditorFrameCapture
{
public:
  explicit IPluginVST3View(IPluginVST3& owner);
  ~IPluginVST3View() override;

  // IPlugView
  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API removed() override;
  /** The open editor's window; while closed, the window it will open with. */
  Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override;
  Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
  Steinberg::tresult PLUGIN_API canResize() override;
  /** Clamps into the editor limits times the window scale; refuses a rectangle that then leaves 32 bits. */
  Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;
  Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override;
  Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode,
                                        Steinberg::int16 modifiers) override;

  // IPlugViewContentScaleSupport
  /** Factors outside kMinContentScale..kMaxContentScale are refused (kInvalidArgument). */
  Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

  // IEditorFrameCapture
  Steinberg::tresult PLUGIN_API captureFrame(Steinberg::IBStream* rgba, Steinberg::int32* width,
                                             Steinberg::int32* height) override;

  /** Asks the host's frame to resize the view to width x height (false without a frame or when it refuses). */
  bool ResizeView(int width, int height);
  Steinberg::IPlugFrame* Frame() const { return plugFrame; }

  OBJ_METHODS(IPluginVST3View, CPluginView)
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  REFCOUNT_METHODS(CPluginView)

private:
  /** Drops the host's run loop (Linux) once the editor is closed. */
  void ForgetRunLoop();
  /** The open editor's window scale, else the host's content scale. */
  float WindowScale() const;

  IPluginVST3& mOwner;
  bool mEditorOpen = false;
  float mContentScale = 1.f; // the host's latest factor, applied at every opening
  bool mContentScaleGiven = false;
#if SMTG_OS_LINUX
  std::unique_ptr<VST3HostRunLoop> mRunLoop; // the frame's run loop while attached
#endif
};

} // namespace plug
