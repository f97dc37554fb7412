#include "plug/vst3/VST3IdleDriver.h"

#include "plug/IPluginAPIBase.h"
#include "plug/IdleThread.h"
#include "plug/Trace.h"
#include "plug/vst3/VST3HostRunLoop.h"

#include <mutex>

namespace plug {

namespace {

// The run loop of the factory's host context, for instances started later.
std::mutex gModuleLoopLock;
Steinberg::IPtr<Steinberg::Linux::IRunLoop> gModuleLoop;

std::unique_ptr<VST3HostRunLoop> ModuleRunLoop()
{
  std::lock_guard<std::mutex> hold(gModuleLoopLock);
  return gModuleLoop ? std::make_unique<VST3HostRunLoop>(gModuleLoop.get()) : nullptr;
}

} // namespace

struct VST3IdleDriver::Impl
{
  explicit Impl(Work w) : work(std::move(w)) {}

  Work work;
  // Held while the work runs; recursive, since the host may call back into
  // the plug-in from what the work asks of it.
  std::recursive_mutex workLock;
  bool started = false;
  std::unique_ptr<VST3HostRunLoop> contextLoop; // from initialize's context or the factory's
  IHostRunLoop* viewLoop = nullptr;
  IHostRunLoop* loop = nullptr; // where the work's timer is registered now
  int loopTimer = 0;
  int threadEntry = 0; // the work's id on the idle thread
  bool withEditorFrames = false; // the view's editor frames run the work

  void Tick()
  {
    std::lock_guard<std::recursive_mutex> hold(workLock);
    work();
  }

  IHostRunLoop* WantedLoop() const
  {
    if (!started)
      return nullptr;
    return contextLoop ? contextLoop.get() : viewLoop;
  }

  void Leave()
  {
    if (loop && loopTimer)
      loop->Remove(loopTimer);
    loop = nullptr;
    loopTimer = 0;
    if (threadEntry)
      IdleThread::Remove(threadEntry); // waits for a run in progress there
    threadEntry = 0;
  }

  /** Moves the work to where it belongs now: the wanted loop, else the idle thread while started. */
  void Reschedule()
  {
    if (started && withEditorFrames)
    {
      Leave();
      return;
    }
    IHostRunLoop* wanted = WantedLoop();
    if (wanted ? (loop == wanted && loopTimer) : (started ? threadEntry != 0 : !loop && !threadEntry))
      return;
    Leave();
    if (wanted)
    {
      loopTimer = wanted->AddTimer(IPluginAPIBase::kIdleTimerIntervalMs, [this] { Tick(); });
      if (loopTimer)
      {
        loop = wanted;
        return;
      }
      PLUG_TRACE("VST3IdleDriver: the host's run loop refused the idle timer; the idle thread runs it");
    }
    if (started)
      threadEntry = IdleThread::Add([this] { Tick(); });
  }
};

VST3IdleDriver::VST3IdleDriver(Work work) : mImpl(std::make_unique<Impl>(std::move(work))) {}

VST3IdleDriver::~VST3IdleDriver()
{
  Stop();
}

void VST3IdleDriver::Start(Steinberg::FUnknown* hostContext)
{
  Stop();
  mImpl->contextLoop = VST3HostRunLoop::OfferedBy(hostContext);
  if (!mImpl->contextLoop)
    mImpl->contextLoop = ModuleRunLoop();
  mImpl->started = true;
  mImpl->Reschedule();
}

void VST3IdleDriver::Stop()
{
  mImpl->started = false;
  mImpl->Reschedule();
  mImpl->contextLoop.reset();
}

void VST3IdleDriver::UseViewRunLoop(IHostRunLoop* runLoop)
{
  mImpl->viewLoop = runLoop;
  mImpl->withEditorFrames = false;
  mImpl->Reschedule();
}

void VST3IdleDriver::RunWithEditorFrame(double framePeriodMs)
{
  Impl& d = *mImpl;
  if (!d.started || !d.viewLoop || !(framePeriodMs <= IPluginAPIBase::kIdleTimerIntervalMs))
    return;
  if (!d.withEditorFrames)
  {
    d.withEditorFrames = true;
    d.Reschedule();
  }
  d.Tick();
}

void VST3IdleDriver::RunExclusive(const std::function<void()>& f)
{
  std::lock_guard<std::recursive_mutex> hold(mImpl->workLock);
  f();
}

VST3IdleDriver::Where VST3IdleDriver::Runs() const
{
  if (mImpl->started && mImpl->withEditorFrames)
    return Where::kEditorFrames;
  if (mImpl->loop)
    return Where::kHostRunLoop;
  return mImpl->threadEntry ? Where::kIdleThread : Where::kNowhere;
}

void VST3IdleDriver::SetModuleHostContext(Steinberg::FUnknown* context)
{
  Steinberg::Linux::IRunLoop* runLoop = nullptr;
  if (context &&
      context->queryInterface(Steinberg::Linux::IRunLoop::iid, reinterpret_cast<void**>(&runLoop)) != Steinberg::kResultOk)
    runLoop = nullptr;
  std::lock_guard<std::mutex> hold(gModuleLoopLock);
  gModuleLoop = Steinberg::owned(runLoop);
}

void VST3IdleDriver::SettleBeforeUnload()
{
  {
    std::lock_guard<std::mutex> hold(gModuleLoopLock);
    gModuleLoop = nullptr;
  }
  IdleThread::StopBeforeUnload();
}

} // namespace plug
