#pragma once

// The framework's VST3 binding. It offers:
//  - IPluginVST3: the plug-in object as a VST3 single-component effect
//    (component, audio processor, edit controller, unit info, MIDI mapping,
//    channel-context listener) built on the SDK's SingleComponentEffect;
//  - IPluginVST3ProcessorBase / IPluginVST3ControllerBase: its processing
//    and controller halves;
//  - IPluginVST3Parameter / IPluginVST3BypassParameter: the parameter
//    objects the host sees;
//  - IPluginVST3View: the editor's view for the host (createView("editor")),
//    with the key table and the content scale;
//  - IEditorValueReadout: an optional interface of ours on the component
//    with the values the processing last sent to the editor (meters);
//  - IEditorFrameCapture: an optional interface of ours on the view that
//    draws the attached editor's whole frame and hands over its pixels
//    (korvel-snapshot);
//  - the module entry points and plug-in factory (IPluginVST3Factory.h),
//    filled from a VST3ModuleDefinition that the plug-in's module supplies;
//  - VST3HostRunLoop (Linux): the host's IRunLoop as the framework's
//    IHostRunLoop, for the editor's timers and X connection.
// This folder is the only code of the framework that uses VST3 SDK types.

#include "plug/vst3/IPluginVST3.h"
#include "plug/vst3/IPluginVST3Factory.h"
#include "plug/vst3/IPluginVST3View.h"
#include "plug/vst3/VST3HostRunLoop.h"
