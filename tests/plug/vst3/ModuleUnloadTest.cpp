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
  std::wstring path;
  for (const char* c = KORVEL_MODULE_FILE; *c; ++c)
    path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
  return path;
}

template <typename Function>
Function Export(HMODULE module, const char* name)
{
  // Through the generic function pointer type, which converts to any other.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Runs this thread's message loop for a while, as a host's would, and counts
// the messages of thread timers (timers without a window). Only the module
// sets such timers on this thread; their messages are dispatched only while
// the module is loaded (their procedure is in it).
int PumpThreadTimerMessagesFor(int milliseconds, bool moduleLoaded)
{
  int count = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(milliseconds))
  {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
      const bool threadTimer = msg.message == WM_TIMER && !msg.hwnd;
      count += threadTimer ? 1 : 0;
      if (!threadTimer || moduleLoaded)
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
    const auto initDll = Export<EntryFunction>(module, "InitDll");
    const auto exitDll = Export<EntryFunction>(module, "ExitDll");
    const auto getFactory = Export<GetFactoryFunction>(module, "GetPluginFactory");
    ASSERT_TRUE(initDll && exitDll && getFactory);
    ASSERT_TRUE(initDll());

    Steinberg::IPluginFactory* factory = getFactory();
    ASSERT_NE(factory, nullptr);
    Steinberg::PClassInfo info{};
    ASSERT_EQ(factory->getClassInfo(0, &info), Steinberg::kResultOk);
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(info.cid, Steinberg::FUnknown::iid, &obj), Steinberg::kResultOk);
    ASSERT_GT(PumpThreadTimerMessagesFor(200, true), 0) << "the instance's idle timer runs on this thread";

    std::thread([obj] { static_cast<Steinberg::FUnknown*>(obj)->release(); }).join();
    factory->release();
    if (loopRunsBeforeUnload)
      PumpThreadTimerMessagesFor(100, true);
    ASSERT_TRUE(exitDll());
    ASSERT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr) << "the module is unloaded";
    EXPECT_EQ(PumpThreadTimerMessagesFor(300, false), 0) << "timer messages for the unloaded module";
  }
}
