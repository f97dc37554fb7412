#pragma once

// An optional interface of our own on the VST3 component: the last value the
// processing handed to the editor for a parameter, such as a meter reading.
// Those readings travel only towards the editor; they never become parameter
// values or output parameter changes, so a host without an open editor (an
// offline renderer, a test) reads them here.
//
// Header-only on the caller's side: query the component with
// IEditorValueReadout_iid. It needs nothing but the SDK's base interface.

#include "pluginterfaces/base/funknown.h"

namespace plug {

class IEditorValueReadout : public Steinberg::FUnknown
{
public:
  /** The last plain value the processing sent to the editor for this parameter
      index; 0 before any, and for an index the plug-in does not have. Safe to
      call from any thread while the processing runs. */
  virtual double PLUGIN_API getLastEditorValue(Steinberg::int32 paramIdx) = 0;

  static const Steinberg::FUID iid;
};

DECLARE_CLASS_IID(IEditorValueReadout, 0x5B0E2C71, 0x9A3D4F86, 0xB1C7E4D2, 0x6F083A95)

} // namespace plug
