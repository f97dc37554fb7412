#pragma once

// The VST3 SDK headers the binding uses, in an order that works.
// SingleComponentEffect renames IEditController's setState/getState to
// setEditorState/getEditorState while it includes the edit-controller
// interface, so that IComponent's state calls keep their names. That only
// takes effect when its header is the first to include the interface: every
// binding file includes this header before any other SDK header.

#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

#include "base/source/fobject.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstchannelcontextinfo.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vstparameters.h"
