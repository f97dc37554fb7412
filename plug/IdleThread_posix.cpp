#include "plug/IdleThread.h"

#include "plug/Trace.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace plug {

namespace {

struct Entry
{
  int id;
  std::shared_ptr<IdleThread::Work> work; // kept alive by a run in progress if removed meanwhile
};

// Held while work runs, so that a removal from another thread waits for the
// run to end; recursive, so that work may remove itself.
struct State
{
  std::recursive_mutex lock;
  std::condition_variable_any wake;
  std::vector<Entry> entries;
  std::thread thread; // the running thread, or one that ended and is not joined yet
  std::thread::id threadId;
  bool running = false;
  unsigned generation = 0; // a thread runs while the generation it started with is current
  int nextId = 1;

  ~State()
  {
    // A host that never let go of the module: the thread must not outlive the process's statics.
    std::thread last = Stop();
    if (last.joinable())
      last.join();
  }

  /**
   * With the lock held: ends the thread's run. Gives back the thread for the
   * caller to join after unlocking; the thread itself cannot join itself, so
   * when it is the caller it stays here for the next start or stop to join.
   */
  std::thread Stop()
  {
    ++generation;
    running = false;
    wake.notify_all();
    if (thread.joinable() && thread.get_id() == std::this_thread::get_id())
      return {};
    return std::move(thread);
  }
};

State& Idle()
{
  static State state;
  return state;
}

void RunPass(State& s)
{
  // Work may add or remove entries: look each one up again by id.
  std::vector<int> ids;
  ids.reserve(s.entries.size());
  for (const Entry& e : s.entries)
    ids.push_back(e.id);
  for (int id : ids)
  {
    auto it = std::find_if(s.entries.begin(), s.entries.end(), [id](const Entry& e) { return e.id == id; });
    if (it == s.entries.end())
      continue;
    const std::shared_ptr<IdleThread::Work> work = it->work;
    (*work)();
  }
}

void Loop(unsigned generation)
{
  State& s = Idle();
  std::unique_lock<std::recursive_mutex> hold(s.lock);
  s.threadId = std::this_thread::get_id();
  const auto current = [&s, generation] { return s.generation == generation; };
  auto next = std::chrono::steady_clock::now();
  while (current())
  {
    next += std::chrono::milliseconds(IdleThread::kPeriodMs);
    s.wake.wait_until(hold, next, [&] { return !current(); });
    if (!current())
      break;
    RunPass(s);
    // After a long run, the next one comes a period later rather than at once.
    next = std::max(next, std::chrono::steady_clock::now());
  }
  if (s.threadId == std::this_thread::get_id())
    s.threadId = std::thread::id();
}

} // namespace

int IdleThread::Add(Work work)
{
  PLUG_TRACE("plug::IdleThread::Add");
  State& s = Idle();
  std::thread finished;
  int id = 0;
  {
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    id = s.nextId++;
    s.entries.push_back({id, std::make_shared<Work>(std::move(work))});
    if (!s.running)
    {
      finished = s.Stop(); // one that ended on a removal from inside its own work
      if (s.thread.joinable())
        s.thread.detach(); // only when the idle thread itself adds work: it is just returning
      s.thread = std::thread(Loop, s.generation);
      s.running = true;
    }
  }
  if (finished.joinable())
    finished.join();
  return id;
}

void IdleThread::Remove(int id)
{
  State& s = Idle();
  std::thread finished;
  {
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    const auto it = std::find_if(s.entries.begin(), s.entries.end(), [id](const Entry& e) { return e.id == id; });
    if (it == s.entries.end())
      return;
    s.entries.erase(it);
    if (s.entries.empty())
      finished = s.Stop();
  }
  if (finished.joinable())
    finished.join();
}

void IdleThread::StopBeforeUnload()
{
  State& s = Idle();
  std::thread finished;
  {
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    s.entries.clear();
    finished = s.Stop();
  }
  if (finished.joinable())
    finished.join();
}

bool IdleThread::IsRunning()
{
  State& s = Idle();
  std::lock_guard<std::recursive_mutex> hold(s.lock);
  return s.running;
}

bool IdleThread::IsCurrentThread()
{
  State& s = Idle();
  std::lock_guard<std::recursive_mutex> hold(s.lock);
  return s.threadId == std::this_thread::get_id();
}

} // namespace plug
