#pragma once

// Stand-ins for the host side of the VST3 interfaces: an application with a
// chosen name (and on Linux a run loop), a component handler that records what the plug-in asks of it,
// one that only counts (safe on any thread, never allocates), and a byte
// stream with the faults of real hosts' streams.

#include "plug/vst3/VST3Sdk.h"

#include "FakeRunLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#if SMTG_OS_LINUX
namespace vst3test {
/** The run loop TestHostApp offers: this thread stands for the host's user-interface thread and fires it. */
inline FakeRunLoop& HostContextRunLoop()
{
  static Steinberg::IPtr<FakeRunLoop> loop = Steinberg::owned(new FakeRunLoop());
  return *loop;
}
} // namespace vst3test

/** Runs the idle work of every plug-in served by the host context's run loop once, as the host's loop does. */
inline void TickIdleTimers()
{
  vst3test::HostContextRunLoop().FireTimers();
}
#endif

/**
 * Lets this thread's user-interface timers run as a host's loop would: on
 * Windows by pumping the thread's messages until done() holds (at most two
 * seconds), on Linux by firing the host context's run loop once.
 */
template <typename Done>
bool RunIdleTimers(Done done)
{
#ifdef _WIN32
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 2000)
  {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done())
      return true;
    Sleep(5);
  }
  return done();
#else
  TickIdleTimers();
  return done();
#endif
}

/**
 * The host's application object, the context of initialize. On Linux it
 * offers the run loop of vst3test::HostContextRunLoop() unless offersRunLoop
 * is cleared, as for a host (Ardour) that offers none.
 */
class TestHostApp : public Steinberg::FObject, public Steinberg::Vst::IHostApplication
{
public:
  explicit TestHostApp(std::u16string name) : mName(std::move(name)) {}
  explicit TestHostApp(const char* asciiName) : mName(asciiName, asciiName + std::strlen(asciiName)) {}

  bool offersRunLoop = true;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
#if SMTG_OS_LINUX
    if (offersRunLoop && Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IRunLoop::iid))
      return vst3test::HostContextRunLoop().queryInterface(iid, obj);
#endif
    QUERY_INTERFACE(iid, obj, Steinberg::Vst::IHostApplication::iid, Steinberg::Vst::IHostApplication)
    return FObject::queryInterface(iid, obj);
  }

  Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override
  {
    const size_t n = std::min<size_t>(mName.size(), 127);
    std::copy(mName.begin(), mName.begin() + n, name);
    name[n] = 0;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID, Steinberg::TUID, void** obj) override
  {
    *obj = nullptr;
    return Steinberg::kResultFalse;
  }

  OBJ_METHODS(TestHostApp, FObject)
  REFCOUNT_METHODS(FObject)

private:
  std::u16string mName;
};

class TestComponentHandler : public Steinberg::FObject,
                             public Steinberg::Vst::IComponentHandler,
                             public Steinberg::Vst::IComponentHandler2
{
public:
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override
  {
    calls.push_back("begin " + std::to_string(id));
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override
  {
    calls.push_back("perform " + std::to_string(id));
    performed.emplace_back(id, value);
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override
  {
    calls.push_back("end " + std::to_string(id));
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override
  {
    restarts.push_back(flags);
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API setDirty(Steinberg::TBool) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API requestOpenEditor(Steinberg::FIDString) override { return Steinberg::kResultFalse; }
  Steinberg::tresult PLUGIN_API startGroupEdit() override
  {
    calls.push_back("start group");
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API finishGroupEdit() override
  {
    calls.push_back("finish group");
    return Steinberg::kResultOk;
  }

  OBJ_METHODS(TestComponentHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Vst::IComponentHandler)
  DEF_INTERFACE(Steinberg::Vst::IComponentHandler2)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  std::vector<std::string> calls;
  std::vector<std::pair<Steinberg::Vst::ParamID, double>> performed;
  std::vector<Steinberg::int32> restarts;
};

/** Counts what the plug-in asks of the host; safe on any thread, including the audio thread. */
class CountingComponentHandler : public Steinberg::FObject, public Steinberg::Vst::IComponentHandler
{
public:
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue) override
  {
    edits.fetch_add(1, std::memory_order_relaxed);
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32) override
  {
    restarts.fetch_add(1, std::memory_order_relaxed);
    return Steinberg::kResultOk;
  }

  OBJ_METHODS(CountingComponentHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Vst::IComponentHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  std::atomic<int> edits{0};
  std::atomic<int> restarts{0};
};

/** Records each restart request with the thread it came on; safe on any thread. */
class ThreadRecordingHandler : public Steinberg::FObject, public Steinberg::Vst::IComponentHandler
{
public:
  struct Restart
  {
    Steinberg::int32 flags;
    std::thread::id thread;
    std::chrono::steady_clock::time_point when;
  };

  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue) override
  {
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override
  {
    std::lock_guard<std::mutex> hold(mLock);
    mRestarts.push_back({flags, std::this_thread::get_id(), std::chrono::steady_clock::now()});
    return Steinberg::kResultOk;
  }

  std::vector<Restart> Restarts() const
  {
    std::lock_guard<std::mutex> hold(mLock);
    return mRestarts;
  }
  /** Waits until there are at least n restarts (true) or two seconds passed (false). */
  bool WaitForRestarts(size_t n) const
  {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Restarts().size() < n)
    {
      if (std::chrono::steady_clock::now() > end)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  OBJ_METHODS(ThreadRecordingHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Vst::IComponentHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  mutable std::mutex mLock;
  std::vector<Restart> mRestarts;
};

/**
 * A byte stream in memory with the faults of real hosts' streams: reads that
 * deliver at most readLimit bytes and report readResult when they deliver
 * any, reads that fail from the failReadsAfter-th on, seeks and tells that
 * fail. Calls with a null buffer or a negative size are refused and counted.
 */
class TestStream : public Steinberg::FObject, public Steinberg::IBStream
{
public:
  TestStream() = default;
  explicit TestStream(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}

  Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesRead) override
  {
    if (numBytesRead)
      *numBytesRead = 0;
    const int call = reads++;
    if (failReadsAfter >= 0 && call >= failReadsAfter)
      return Steinberg::kInternalError;
    if (numBytes < 0 || !buffer)
      return Refuse();
    const auto available = std::max<Steinberg::int64>(0, static_cast<Steinberg::int64>(data.size()) - position);
    const auto n = static_cast<Steinberg::int32>(
      std::min<Steinberg::int64>({static_cast<Steinberg::int64>(numBytes), available, readLimit}));
    if (n > 0)
      std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
    position += n;
    if (numBytesRead)
      *numBytesRead = n;
    return n > 0 ? readResult : Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesWritten) override
  {
    if (numBytes < 0 || (!buffer && numBytes > 0))
      return Refuse();
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (position + numBytes > static_cast<Steinberg::int64>(data.size()))
      data.resize(static_cast<size_t>(position + numBytes));
    std::copy(bytes, bytes + numBytes, data.begin() + position);
    position += numBytes;
    if (numBytesWritten)
      *numBytesWritten = numBytes;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64* result) override
  {
    if (seekFails)
      return Steinberg::kInternalError;
    const Steinberg::int64 base =
      mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? position : static_cast<Steinberg::int64>(data.size());
    constexpr Steinberg::int64 kFarthest = Steinberg::int64{1} << 40;
    if (pos < -kFarthest || pos > kFarthest || base + pos < 0)
      return Steinberg::kInvalidArgument;
    position = base + pos;
    seeks.push_back(position);
    if (result)
      *result = position;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override
  {
    if (tellFails)
      return Steinberg::kInternalError;
    if (pos)
      *pos = position;
    return Steinberg::kResultOk;
  }

  OBJ_METHODS(TestStream, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::IBStream)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  std::vector<uint8_t> data;
  Steinberg::int64 position = 0;
  Steinberg::int64 readLimit = 1 << 30;
  Steinberg::tresult readResult = Steinberg::kResultOk;
  int failReadsAfter = -1;
  bool seekFails = false;
  bool tellFails = false;
  std::vector<Steinberg::int64> seeks;
  int reads = 0;
  int misuses = 0;

private:
  Steinberg::tresult Refuse()
  {
    ++misuses;
    return Steinberg::kInvalidArgument;
  }
};
