#include "plug/vst3/VST3IdleDriver.h"

#include "plug/IPluginAPIBase.h"
#include "plug/Timer.h"

namespace plug {

// A thread timer of the creating (user-interface) thread runs the work; the
// system calls it there, so it never runs beside the editor.
struct VST3IdleDriver::Impl
{
  std::unique_ptr<Timer> timer;
};

VST3IdleDriver::VST3IdleDriver(Work work) : mImpl(std::make_unique<Impl>())
{
  mImpl->timer = Timer::Launch([work = std::move(work)](Timer&) { work(); }, IPluginAPIBase::kIdleTimerIntervalMs);
}

VST3IdleDriver::~VST3IdleDriver()
{
  mImpl->timer.reset();
}

void VST3IdleDriver::Start(Steinberg::FUnknown* /*hostContext*/) {}

void VST3IdleDriver::Stop() {}

void VST3IdleDriver::UseViewRunLoop(IHostRunLoop* /*runLoop*/) {}

// The thread timer keeps running the work: the editor's frame clock may be a
// worker thread's vertical blank, not this thread's timer.
void VST3IdleDriver::RunWithEditorFrame(double /*framePeriodMs*/) {}

void VST3IdleDriver::RunExclusive(const std::function<void()>& f)
{
  f();
}

VST3IdleDriver::Where VST3IdleDriver::Runs() const
{
  return mImpl->timer && mImpl->timer->IsRunning() ? Where::kSystemTimer : Where::kNowhere;
}

void VST3IdleDriver::SetModuleHostContext(Steinberg::FUnknown* /*context*/) {}

void VST3IdleDriver::SettleBeforeUnload()
{
  Timer::SettleBeforeUnload();
}

} // namespace plug
