#include "plug/vst3/VST3HostRunLoop.h"

#include "plug/Trace.h"

#include <algorithm>

#if SMTG_OS_LINUX

namespace plug {

using namespace Steinberg;

class VST3HostRunLoop::Handler final : public Linux::ITimerHandler, public Linux::IEventHandler
{
public:
  explicit Handler(Callback func) : mFunc(std::move(func)) {}
  virtual ~Handler() = default;

  void PLUGIN_API onTimer() override { Call(); }
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor /*fd*/) override { Call(); }

  /** After this the host may still call, but nothing runs. */
  void Disarm() { mFunc = nullptr; }

  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    if (FUnknownPrivate::iidEqual(iid, Linux::ITimerHandler::iid))
    {
      addRef();
      *obj = static_cast<Linux::ITimerHandler*>(this);
      return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, Linux::IEventHandler::iid))
    {
      addRef();
      *obj = static_cast<Linux::IEventHandler*>(this);
      return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, FUnknown::iid))
    {
      addRef();
      *obj = static_cast<FUnknown*>(static_cast<Linux::ITimerHandler*>(this));
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++mRefs; }
  uint32 PLUGIN_API release() override
  {
    const uint32 left = --mRefs;
    if (left == 0)
      delete this;
    return left;
  }

private:
  void Call()
  {
    if (!mFunc)
      return;
    // The callback may remove this handler: keep it alive until the call returns.
    addRef();
    Callback func = mFunc;
    func();
    release();
  }

  Callback mFunc;
  uint32 mRefs = 1;
};

std::unique_ptr<VST3HostRunLoop> VST3HostRunLoop::OfferedBy(FUnknown* host)
{
  if (!host)
    return nullptr;
  Linux::IRunLoop* runLoop = nullptr;
  if (host->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&runLoop)) != kResultOk || !runLoop)
    return nullptr;
  auto wrapped = std::make_unique<VST3HostRunLoop>(runLoop);
  runLoop->release(); // the wrapper holds its own reference
  return wrapped;
}

VST3HostRunLoop::VST3HostRunLoop(Linux::IRunLoop* runLoop) : mRunLoop(runLoop)
{
  if (mRunLoop)
    mRunLoop->addRef();
}

VST3HostRunLoop::~VST3HostRunLoop()
{
  while (!mEntries.empty())
    Remove(mEntries.back().id);
  if (mRunLoop)
    mRunLoop->release();
}

int VST3HostRunLoop::AddTimer(int intervalMs, Callback func)
{
  if (!mRunLoop || !func || intervalMs <= 0)
    return 0;
  auto* handler = new Handler(std::move(func));
  if (mRunLoop->registerTimer(handler, static_cast<Linux::TimerInterval>(intervalMs)) != kResultOk)
  {
    PLUG_TRACE("VST3HostRunLoop: the host refused a timer");
    handler->release();
    return 0;
  }
  mEntries.push_back({mNextId, true, handler});
  return mNextId++;
}

int VST3HostRunLoop::AddFdReader(int fd, Callback func)
{
  if (!mRunLoop || !func || fd < 0)
    return 0;
  auto* handler = new Handler(std::move(func));
  if (mRunLoop->registerEventHandler(handler, fd) != kResultOk)
  {
    PLUG_TRACE("VST3HostRunLoop: the host refused a file-descriptor handler");
    handler->release();
    return 0;
  }
  mEntries.push_back({mNextId, false, handler});
  return mNextId++;
}

void VST3HostRunLoop::Remove(int id)
{
  auto it = std::find_if(mEntries.begin(), mEntries.end(), [id](const Entry& e) { return e.id == id; });
  if (it == mEntries.end())
    return;
  const Entry entry = *it;
  mEntries.erase(it);
  entry.handler->Disarm();
  if (entry.timer)
    mRunLoop->unregisterTimer(entry.handler);
  else
    mRunLoop->unregisterEventHandler(entry.handler);
  entry.handler->release();
}

} // namespace plug

#endif
