// The module's exported entry points. This file is compiled into the module
// itself (see plug_vst3_module), on top of the mechanism in IPluginVST3Factory.

#include "plug/vst3/IPluginVST3Factory.h"

#ifdef _WIN32
#include <windows.h>

extern "C" {

SMTG_EXPORT_SYMBOL bool InitDll()
{
  return plug::VST3ModuleEnter(nullptr);
}

SMTG_EXPORT_SYMBOL bool ExitDll()
{
  return plug::VST3ModuleLeave();
}

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
  if (reason == DLL_PROCESS_ATTACH)
    plug::SetVST3AttachedModule(instance);
  return TRUE;
}

#else

extern "C" {

SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle)
{
  return plug::VST3ModuleEnter(sharedLibraryHandle);
}

SMTG_EXPORT_SYMBOL bool ModuleExit()
{
  return plug::VST3ModuleLeave();
}

} // extern "C"

#endif

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory()
{
  return plug::GetVST3PluginFactory();
}
