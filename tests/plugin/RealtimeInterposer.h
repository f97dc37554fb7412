#pragma once

// Counts what a thread must not do on the audio path: every call of malloc,
// calloc, realloc, free, aligned allocation, the global operators new and
// delete, and every mutex, read-write lock, spin lock and condition wait.
// The executable that links RealtimeInterposer.cpp replaces those functions
// for the whole process (and forwards them); only threads inside a
// CountingScope are counted. Linux (glibc) only.

#include <string>

namespace realtime {

struct Counts
{
  long mallocs = 0;  // malloc, calloc, realloc, aligned allocations
  long frees = 0;
  long news = 0;     // global operator new, all forms
  long deletes = 0;  // global operator delete, all forms
  long locks = 0;    // mutex, read-write lock and spin lock acquisitions, condition waits

  long Total() const { return mallocs + frees + news + deletes + locks; }
  std::string Describe() const;
};

/** What the counted threads have done since the last Reset. */
Counts Current();
void Reset();

/** Counts the calling thread while it lives (scopes do not nest). */
class CountingScope
{
public:
  CountingScope();
  ~CountingScope();
  CountingScope(const CountingScope&) = delete;
  CountingScope& operator=(const CountingScope&) = delete;
};

} // namespace realtime
