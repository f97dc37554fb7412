#pragma once

// Module entry points and the plug-in factory. The generic mechanism lives
// here; the plug-in's module supplies GetVST3ModuleDefinition() with its
// texts, class ID and creation function. VST3Entry.cpp, compiled into the
// module itself, exports InitDll/ExitDll (Windows) or ModuleEntry/ModuleExit
// (Linux) and GetPluginFactory on top of these functions.

#include "plug/vst3/VST3Sdk.h"

#include <cstdint>

namespace plug {

class IPluginVST3;
struct InstanceInfo;

/** Class flag: the effect supports the hosts' simple mode. */
constexpr int32_t kVST3SimpleModeSupported = Steinberg::Vst::kSimpleModeSupported;

/** What the module's factory publishes about its maker and its one effect class (defaults: an audio effect). */
struct VST3ModuleDefinition
{
  const char* vendor = "";
  const char* url = "";
  const char* email = "";
  int32_t factoryFlags = Steinberg::PFactoryInfo::kUnicode;

  /** Class ID words; see MakeVST3ClassID. */
  uint32_t classID[4] = {};
  int32_t cardinality = Steinberg::PClassInfo::kManyInstances;
  const char* category = kVstAudioEffectClass;
  const char* name = "";
  int32_t classFlags = 0;
  const char* subCategories = "";
  const char* classVendor = "";
  const char* version = "";
  const char* sdkVersion = "";

  /** Constructs one plug-in object; called under the process-wide creation lock. */
  IPluginVST3* (*create)(const InstanceInfo& info) = nullptr;
};

/** Supplied by the plug-in's module. */
const VST3ModuleDefinition& GetVST3ModuleDefinition();

/**
 * The 16 class-ID bytes of four words, laid out as the SDK's FUID lays them out on this
 * target (the COM order on Windows, the words in reading order elsewhere), so that the
 * ID's text, "F2AEE70D..." for words F2AEE70D ..., is the same on every target.
 */
void MakeVST3ClassID(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, Steinberg::TUID out);

/** The module's class information, filled once per process. */
const Steinberg::PClassInfo2& GetVST3ClassInfo();

/** Records the handle of the module as the system attached it to the process. */
void SetVST3AttachedModule(void* module);
/** Counts an entry; the first one records the module handle (the attached one when handle is null). */
bool VST3ModuleEnter(void* handle);
/** Counts an exit; false when there was no entry left to match. */
bool VST3ModuleLeave();
/** The module handle recorded by the first entry (null outside an entry). */
void* GetVST3ModuleHandle();

/** The process-wide factory, created on first use; each call adds a reference. */
Steinberg::IPluginFactory* GetVST3PluginFactory();

/** The factory's creation function: one plug-in object under the creation lock, as IAudioProcessor. */
Steinberg::FUnknown* CreateVST3PluginInstance(void* context);

} // namespace plug
