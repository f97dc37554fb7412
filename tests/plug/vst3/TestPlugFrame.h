#pragma once

// The host's window frame for editor views: records resize requests and
// resizes the view as hosts do. On Linux it also offers the host's run loop
// (a FakeRunLoop the test fires), as hosts there do.

#include "FakeRunLoop.h"

#include "plug/vst3/VST3Sdk.h"

#include "pluginterfaces/gui/iplugview.h"

#include <vector>

class TestPlugFrame : public Steinberg::FObject, public Steinberg::IPlugFrame
{
public:
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
#if SMTG_OS_LINUX
    if (offerRunLoop && Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IRunLoop::iid))
      return runLoop->queryInterface(iid, obj);
#endif
    QUERY_INTERFACE(iid, obj, Steinberg::IPlugFrame::iid, Steinberg::IPlugFrame)
    return FObject::queryInterface(iid, obj);
  }

  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override
  {
    resizes.push_back(*newSize);
    if (!accept)
      return Steinberg::kResultFalse;
    view->onSize(newSize);
    return Steinberg::kResultTrue;
  }

  OBJ_METHODS(TestPlugFrame, FObject)
  REFCOUNT_METHODS(FObject)

  std::vector<Steinberg::ViewRect> resizes;
  bool accept = true;
#if SMTG_OS_LINUX
  Steinberg::IPtr<vst3test::FakeRunLoop> runLoop = Steinberg::owned(new vst3test::FakeRunLoop());
  bool offerRunLoop = true;
#endif
};
