#include "host_frame.h"

#include <algorithm>
#include <poll.h>

namespace editorbench {

using Steinberg::kInvalidArgument;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;

Steinberg::tresult PLUGIN_API HostFrame::resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize)
{
  if (!view || !newSize)
    return kInvalidArgument;
  if (onResize)
    onResize(newSize->getWidth(), newSize->getHeight());
  view->onSize(newSize);
  return Steinberg::kResultTrue;
}

Steinberg::tresult PLUGIN_API HostFrame::registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                                Steinberg::Linux::FileDescriptor fd)
{
  if (!handler)
    return kInvalidArgument;
  mReaders.push_back({handler, fd});
  return kResultOk;
}

Steinberg::tresult PLUGIN_API HostFrame::unregisterEventHandler(Steinberg::Linux::IEventHandler* handler)
{
  const auto before = mReaders.size();
  mReaders.erase(std::remove_if(mReaders.begin(), mReaders.end(),
                                [handler](const Reader& r) { return r.handler == handler; }),
                 mReaders.end());
  return mReaders.size() < before ? kResultOk : kResultFalse;
}

Steinberg::tresult PLUGIN_API HostFrame::registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                         Steinberg::Linux::TimerInterval ms)
{
  if (!handler)
    return kInvalidArgument;
  const int period = std::max(1, static_cast<int>(ms));
  mTimers.push_back({handler, {}, period, Clock::now() + std::chrono::milliseconds(period)});
  return kResultOk;
}

Steinberg::tresult PLUGIN_API HostFrame::unregisterTimer(Steinberg::Linux::ITimerHandler* handler)
{
  const auto before = mTimers.size();
  mTimers.erase(std::remove_if(mTimers.begin(), mTimers.end(),
                               [handler](const Timer& t) { return t.handler == handler; }),
                mTimers.end());
  return mTimers.size() < before ? kResultOk : kResultFalse;
}

void HostFrame::AddHostTimer(int ms, std::function<void()> callback)
{
  mTimers.push_back({nullptr, std::move(callback), ms, Clock::now() + std::chrono::milliseconds(ms)});
}

bool HostFrame::RunUntil(const std::function<bool()>& done, Clock::time_point deadline)
{
  while (!done())
  {
    if (Clock::now() >= deadline)
      return done();
    ServeOnce(deadline);
  }
  return true;
}

void HostFrame::RunFor(std::chrono::milliseconds duration)
{
  const Clock::time_point end = Clock::now() + duration;
  RunUntil([end] { return Clock::now() >= end; }, end);
}

bool HostFrame::StillRegistered(const Steinberg::Linux::IEventHandler* handler) const
{
  return std::any_of(mReaders.begin(), mReaders.end(), [handler](const Reader& r) { return r.handler == handler; });
}

bool HostFrame::StillRegistered(const Timer& timer) const
{
  return timer.hostCallback || std::any_of(mTimers.begin(), mTimers.end(), [&timer](const Timer& t) {
           return t.handler == timer.handler;
         });
}

void HostFrame::ServeOnce(Clock::time_point deadline)
{
  Clock::time_point wake = deadline;
  for (const Timer& t : mTimers)
    wake = std::min(wake, t.due);
  const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
  std::vector<pollfd> fds;
  for (const Reader& r : mReaders)
    fds.push_back({r.fd, POLLIN, 0});
  poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, waitMs)));

  // Handlers may unregister themselves or others: call from copies, checking each is still there.
  const std::vector<Reader> readers = mReaders;
  for (size_t i = 0; i < fds.size(); ++i)
    if ((fds[i].revents & POLLIN) && StillRegistered(readers[i].handler))
      readers[i].handler->onFDIsSet(readers[i].fd);

  const Clock::time_point now = Clock::now();
  std::vector<Timer> due;
  for (Timer& t : mTimers)
    if (t.due <= now)
    {
      t.due += std::chrono::milliseconds(t.ms);
      if (t.due <= now)
        t.due = now + std::chrono::milliseconds(t.ms);
      due.push_back(t);
    }
  for (const Timer& t : due)
  {
    if (t.hostCallback)
      t.hostCallback();
    else if (StillRegistered(t))
      t.handler->onTimer();
  }
}

} // namespace editorbench
