#pragma once

// Lock-free ring for one producer thread and one consumer thread. It has
// Slots entries and holds at most Slots - 1 values; a push into a full ring
// drops the value, a pop from an empty ring returns false. The write index
// belongs to the producer and the read index to the consumer; each publishes
// its index with release ordering and reads the other's with acquire.

#include <array>
#include <atomic>
#include <cstddef>

namespace plug {

template <typename T, size_t Slots>
class IQueue
{
  static_assert(Slots >= 2, "a ring needs at least two slots");

public:
  static constexpr size_t kCapacity = Slots - 1;

  /** Producer side. False (value dropped) when the ring is full. */
  bool Push(const T& value)
  {
    const size_t write = mWrite.load(std::memory_order_relaxed);
    const size_t next = Next(write);
    if (next == mRead.load(std::memory_order_acquire))
      return false;
    mBuffer[write] = value;
    mWrite.store(next, std::memory_order_release);
    return true;
  }

  /** Consumer side. False when the ring is empty. */
  bool Pop(T& value)
  {
    const size_t read = mRead.load(std::memory_order_relaxed);
    if (read == mWrite.load(std::memory_order_acquire))
      return false;
    value = mBuffer[read];
    mRead.store(Next(read), std::memory_order_release);
    return true;
  }

  /** Number of queued values; exact only on the consumer's thread. */
  size_t ElementsAvailable() const
  {
    const size_t write = mWrite.load(std::memory_order_acquire);
    const size_t read = mRead.load(std::memory_order_acquire);
    return (write + Slots - read) % Slots;
  }

private:
  static size_t Next(size_t index) { return index + 1 == Slots ? 0 : index + 1; }

  std::array<T, Slots> mBuffer{};
  std::atomic<size_t> mWrite{0};
  std::atomic<size_t> mRead{0};
};

} // namespace plug
