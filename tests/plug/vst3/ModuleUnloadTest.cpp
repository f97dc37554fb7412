// The shipped Windows module loaded as a host loads it. An instance's idle
// timer is a thread timer of the thread that created the instance; a host may
// release the instance on another thread and then unload the module. No timer
// of the module may fire after that: its timer procedure would be gone.

#include "pluginterfaces/base/ipluginbase.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

namespace {

using GetFactoryFunction = Steinberg::IPluginFactory*(PLUGIN_API*)();
using EntryFunction = bool (*)();

std::wstring ModulePath()
{
  const std::string path = KORVEL_MODULE_FILE;
  return std::wstring(path.begin(), path.end());
}

struct ImageRange
{
  uintptr_t begin = 0;
  uintptr_t end = 0;

  bool Contains(uintptr_t address) const { return address >= begin && address < end; }
};

ImageRange RangeOf(HMODULE module)
{
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return {reinterpret_cast<uintptr_t>(base), reinterpret_cast<uintptr_t>(base) + nt->OptionalHeader.SizeOfImage};
}

// Runs this thread's message loop for a while, as a host's would, and counts
// the timer messages whose procedure lies in the module. Those are dispatched
// only while the module is loaded.
int PumpTimerMessagesFor(int milliseconds, const ImageRange& module, bool moduleLoaded)
{
  int count = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(milliseconds))
  {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
      const bool ours = msg.message == WM_TIMER && module.Contains(static_cast<uintptr_t>(msg.lParam));
      count += ours ? 1 : 0;
      if (!ours || moduleLoaded)
      {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    Sleep(5);
  }
  return count;
}

} // namespace

TEST(ModuleUnload, AnInstanceReleasedOnAnotherThreadLeavesNoTimerBehind)
{
  for (bool loopRunsBeforeUnload : {false, true})
  {
    SCOPED_TRACE(loopRunsBeforeUnload ? "the loop runs between release and unload" : "unloaded at once");
    const std::wstring path = ModulePath();
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    const auto initDll = reinterpret_cast<EntryFunction>(GetProcAddress(module, "InitDll"));
    const auto exitDll = reinterpret_cast<EntryFunction>(GetProcAddress(module, "ExitDll"));
    const auto getFactory = reinterpret_cast<GetFactoryFunction>(GetProcAddress(module, "GetPluginFactory"));
    ASSERT_TRUE(initDll && exitDll && getFactory);
    ASSERT_TRUE(initDll());
    const ImageRange range = RangeOf(module);

    Steinberg::IPluginFactory* factory = getFactory();
    ASSERT_NE(factory, nullptr);
    Steinberg::PClassInfo info{};
    ASSERT_EQ(factory->getClassInfo(0, &info), Steinberg::kResultOk);
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(info.cid, Steinberg::FUnknown::iid, &obj), Steinberg::kResultOk);
    ASSERT_GT(PumpTimerMessagesFor(200, range, true), 0) << "the instance's idle timer runs on this thread";

    std::thread([obj] { static_cast<Steinberg::FUnknown*>(obj)->release(); }).join();
    factory->release();
    if (loopRunsBeforeUnload)
      PumpTimerMessagesFor(100, range, true);
    ASSERT_TRUE(exitDll());
    ASSERT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr) << "the module is unloaded";
    EXPECT_EQ(PumpTimerMessagesFor(300, range, false), 0) << "timer messages for the unloaded module";
  }
}
