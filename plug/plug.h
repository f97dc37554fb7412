#pragma once

// The plug-in framework core. IParam holds one parameter; the plug-in object
// is built in layers, IEditorDelegate (parameters and editor hooks) <-
// IGfxEditorDelegate (owns the open editor, a plug::IEditor; IHostRunLoop is
// the host event loop it hands the editor on Linux)
// <- IPluginBase (state images and presets) <- IPluginAPIBase (configuration
// from an IPluginDefinition, host identity, thread queues, idle Timer), with
// IPluginProcessor as the audio-thread base (channel layouts, buffers,
// processing context). StateChunk carries state images; FindModuleResource and
// LoadResourceData read files compiled into the module.

#include "plug/HostIdentity.h"
#include "plug/IEditorDelegate.h"
#include "plug/IGfxEditorDelegate.h"
#include "plug/IHostRunLoop.h"
#include "plug/IEditor.h"
#include "plug/IParam.h"
#include "plug/IPluginAPIBase.h"
#include "plug/IPluginBase.h"
#include "plug/IPluginDefinition.h"
#include "plug/IPluginProcessor.h"
#include "plug/ModuleResources.h"
#include "plug/PlugStructs.h"
#include "plug/Queue.h"
#include "plug/StateChunk.h"
#include "plug/Timer.h"
#include "plug/Trace.h"
