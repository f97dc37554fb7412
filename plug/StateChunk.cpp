#include "plug/StateChunk.h"

#include <algorithm>
#include <climits>
#include <new>

namespace plug {

int StateChunk::PutBytes(const void* data, int size)
{
  if (size < 0 || static_cast<long long>(mData.size()) + size > INT_MAX)
    return -1;
  const size_t offset = mData.size();
  const size_t needed = offset + static_cast<size_t>(size);
  try
  {
    if (needed > mData.capacity())
    {
      const size_t grown = std::max(needed, mData.capacity() + mData.capacity() / 2);
      mData.reserve((grown + kGranularity - 1) / kGranularity * kGranularity);
    }
    mData.resize(needed);
  }
  catch (const std::bad_alloc&)
  {
    return -1;
  }
  if (size > 0)
    std::memcpy(mData.data() + offset, data, static_cast<size_t>(size));
  return static_cast<int>(offset);
}

int StateChunk::GetBytes(void* data, int size, int pos) const
{
  if (pos < 0 || size < 0 || static_cast<long long>(pos) + size > static_cast<long long>(mData.size()))
    return -1;
  if (size > 0)
    std::memcpy(data, mData.data() + pos, static_cast<size_t>(size));
  return pos + size;
}

} // namespace plug
