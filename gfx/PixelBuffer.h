#pragma once

// Storage for decoded pixels. A decoder writes every byte of an image it
// makes, so the buffer is not zeroed first; and on Linux a buffer of at least
// one huge page asks for huge pages, so filling tens of megabytes of fresh
// memory takes a few page faults instead of thousands. Both matter for the
// first opening of an editor, which decodes its whole artwork.

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#if defined(__linux__)
#include <cstdlib>
#include <sys/mman.h>
#endif

namespace gfx {

template <typename T>
struct PixelAllocator
{
  using value_type = T;

  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) noexcept
  {
  }

  T* allocate(size_t n)
  {
    const size_t bytes = n * sizeof(T);
#if defined(__linux__)
    if (bytes >= kHugePage)
    {
      const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
      void* memory = std::aligned_alloc(kHugePage, rounded);
      if (!memory)
        throw std::bad_alloc();
      madvise(memory, rounded, MADV_HUGEPAGE); // advice only: without it the pages are small
      return static_cast<T*>(memory);
    }
#endif
    return static_cast<T*>(::operator new(bytes));
  }

  void deallocate(T* p, size_t n) noexcept
  {
#if defined(__linux__)
    if (n * sizeof(T) >= kHugePage)
    {
      std::free(p);
      return;
    }
#endif
    ::operator delete(p);
  }

  // Growing the buffer leaves the new elements uninitialised.
  template <typename U>
  void construct(U* p) noexcept
  {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args)
  {
    ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
  }

  template <typename U>
  bool operator==(const PixelAllocator<U>&) const noexcept
  {
    return true;
  }
  template <typename U>
  bool operator!=(const PixelAllocator<U>&) const noexcept
  {
    return false;
  }

private:
  static constexpr size_t kHugePage = size_t(2) << 20;
};

/** Bytes of pixels; resize() leaves new bytes uninitialised. */
using PixelBuffer = std::vector<uint8_t, PixelAllocator<uint8_t>>;

} // namespace gfx
