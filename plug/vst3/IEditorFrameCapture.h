#pragma once

// An optional interface of our own on the editor's view: the open editor
// draws a whole frame on request and hands over its pixels, read back from
// the frame it draws for the window. A tool that wants a picture of the
// editor (korvel-snapshot) attaches the view like any host, then asks here;
// hosts that do not know the interface never see a difference.
//
// Header-only on the caller's side: query the IPlugView with
// IEditorFrameCapture_iid. It needs nothing but the SDK's base interfaces.

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ibstream.h"

namespace plug {

class IEditorFrameCapture : public Steinberg::FUnknown
{
public:
  /**
   * Runs one frame of the attached editor (values the processing sent since
   * the last frame reach the controls first), draws the whole editor and
   * writes its pixels to rgba: width x height device pixels, 4 bytes each
   * (red, green, blue, alpha), top row first, no padding. kResultFalse while
   * the view is not attached or when the drawing could not be read back;
   * kInvalidArgument for a null argument or a stream that refuses the bytes.
   * User-interface thread.
   */
  virtual Steinberg::tresult PLUGIN_API captureFrame(Steinberg::IBStream* rgba, Steinberg::int32* width,
                                                     Steinberg::int32* height) = 0;

  static const Steinberg::FUID iid;
};

DECLARE_CLASS_IID(IEditorFrameCapture, 0x3C9A51E4, 0x7D2B4A08, 0x95F1C6E3, 0xA84D0B72)

} // namespace plug
