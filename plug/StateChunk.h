#pragma once

// Growable byte buffer for plug-in state: values are stored as their raw
// little-endian bytes with no tags, padding or length prefixes. A read returns
// the position after the value, or -1 (leaving the destination untouched)
// when the value does not lie wholly inside the buffer.

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace plug {

class StateChunk
{
public:
  /** Appends size bytes; returns the offset they were written at, or -1 when out of memory. */
  int PutBytes(const void* data, int size);
  /** Copies size bytes at pos into data; returns pos + size, or -1 (data unchanged). */
  int GetBytes(void* data, int size, int pos) const;

  template <typename T>
  int Put(const T& value)
  {
    static_assert(std::is_trivially_copyable<T>::value, "only raw values go into a state chunk");
    return PutBytes(&value, sizeof(T));
  }

  template <typename T>
  int Get(T& value, int pos) const
  {
    static_assert(std::is_trivially_copyable<T>::value, "only raw values come out of a state chunk");
    return GetBytes(&value, sizeof(T), pos);
  }

  int Size() const { return static_cast<int>(mData.size()); }
  const uint8_t* GetData() const { return mData.data(); }
  void Clear() { mData.clear(); }

private:
  static constexpr size_t kGranularity = 4096;
  std::vector<uint8_t> mData;
};

} // namespace plug
