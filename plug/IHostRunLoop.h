#pragma once

// The host's event loop as the editor sees it on Linux. There the plug-in must
// not run an event thread of its own: the host calls back on its
// user-interface thread, periodically for timers and whenever a file
// descriptor (the X connection) has data. The VST3 binding adapts the host's
// run loop to this interface while its view is attached and hands it to the
// editor delegate; the editor window registers its frame clock and its X
// connection here.

#include <functional>

namespace plug {

class IHostRunLoop
{
public:
  using Callback = std::function<void()>;

  virtual ~IHostRunLoop() = default;

  /** Calls func about every intervalMs milliseconds; returns an id above 0, 0 when the host refused. */
  virtual int AddTimer(int intervalMs, Callback func) = 0;
  /** Calls func when fd has data to read; returns an id above 0, 0 when the host refused. */
  virtual int AddFdReader(int fd, Callback func) = 0;
  /** Stops the timer or reader with that id; unknown ids are ignored. Safe from inside its own callback. */
  virtual void Remove(int id) = 0;
};

} // namespace plug
