#pragma once

// Caches of decoded resources keyed by name and scale, and the decoding that
// does not depend on a drawing backend: images to RGBA pixels (PNG, JPEG) and
// font files to their descriptors.
//
// Backend bitmaps live in the cache of the graphics context whose backend
// made them (they are objects of that context's GL context and die with it).
// Font bytes are plain data and are shared by every open editor through the
// process-wide FontDataCache(), whose use count frees them when the last
// graphics context goes.

#include "gfx/PixelBuffer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace gfx {

/** "KNOB.png" at 2 gives "KNOB.png-2.0x". */
std::string ResourceCacheKey(const std::string& name, double scale);
/** 64-bit FNV-1a of the bytes. */
uint64_t HashFNV1a(const void* data, size_t size);

/**
 * Owned objects keyed by (name, scale), in insertion order, with a lock that
 * callers hold around every lookup, insertion and removal, and a use count of
 * the owners alive: when it returns to zero every entry is freed.
 */
template <class T>
class ResourceCache
{
public:
  ResourceCache() = default;
  ResourceCache(const ResourceCache&) = delete;
  ResourceCache& operator=(const ResourceCache&) = delete;

  std::mutex& Mutex() { return mMutex; }

  /** The object stored under (name, scale), or nullptr. Lock held by the caller. */
  T* Find(const std::string& name, double scale) const
  {
    const std::string key = ResourceCacheKey(name, scale);
    const uint64_t hash = HashFNV1a(key.data(), key.size());
    for (const Entry& e : mEntries)
    {
      if (e.hash == hash && e.key == key)
        return e.object.get();
    }
    return nullptr;
  }

  /** Takes the object; an existing entry with the same key is replaced. Lock held by the caller. */
  T* Add(std::unique_ptr<T> object, const std::string& name, double scale)
  {
    const std::string key = ResourceCacheKey(name, scale);
    const uint64_t hash = HashFNV1a(key.data(), key.size());
    for (Entry& e : mEntries)
    {
      if (e.hash == hash && e.key == key)
      {
        e.object = std::move(object);
        return e.object.get();
      }
    }
    mEntries.push_back({hash, key, name, scale, std::move(object)});
    return mEntries.back().object.get();
  }

  /** Deletes the object and its entry; false when it is not here. Lock held by the caller. */
  bool Remove(const T* object)
  {
    for (auto it = mEntries.begin(); it != mEntries.end(); ++it)
    {
      if (it->object.get() == object)
      {
        mEntries.erase(it);
        return true;
      }
    }
    return false;
  }

  /** Deletes every entry. Lock held by the caller. */
  void Clear() { mEntries.clear(); }
  int Size() const { return static_cast<int>(mEntries.size()); }

  void Retain() { ++mUseCount; }
  /** Frees every entry when the last owner goes. */
  void Release()
  {
    if (mUseCount > 0 && --mUseCount == 0)
      Clear();
  }
  int UseCount() const { return mUseCount; }

private:
  struct Entry
  {
    uint64_t hash;
    std::string key;
    std::string name;
    double scale;
    std::unique_ptr<T> object;
  };

  mutable std::mutex mMutex;
  std::vector<Entry> mEntries;
  int mUseCount = 0;
};

/** An image decoded to 8-bit RGBA, rows top to bottom. */
struct DecodedImage
{
  int width = 0;
  int height = 0;
  PixelBuffer rgba;

  bool IsValid() const { return width > 0 && height > 0 && rgba.size() == size_t(width) * size_t(height) * 4; }
};

/** Decodes PNG or JPEG bytes; an invalid image and a reason in error when they cannot be decoded. */
DecodedImage DecodeImage(const uint8_t* data, size_t size, std::string& error);

/** What a font file says about one of its faces; empty (IsValid false) when it is not a usable font. */
struct FontDescriptor
{
  int faceIndex = 0;
  uint32_t faceOffset = 0; // offset of the face's table directory in the file
  uint32_t headOffset = 0;
  uint32_t nameOffset = 0;
  uint32_t hheaOffset = 0;
  uint32_t fdscOffset = 0; // 0 when the face has no such table
  std::string family;      // name id 1
  std::string style;       // name id 2
  uint16_t macStyle = 0;   // bit 0 bold, bit 1 italic, bit 2 underline
  uint16_t unitsPerEm = 0;
  int16_t ascender = 0;
  int16_t descender = 0;
  int16_t lineGap = 0;

  bool IsValid() const { return headOffset != 0 && nameOffset != 0 && hheaOffset != 0; }
};

/**
 * Reads the descriptor of face faceIndex of a TrueType / OpenType font or
 * collection. Any structure that does not fit in the bytes, an unknown file
 * signature or a face index that the file does not have gives an empty one.
 */
FontDescriptor ReadFontDescriptor(const uint8_t* data, size_t size, int faceIndex = 0);

/** A font file's bytes with the descriptor of the face in use. */
struct FontData
{
  std::vector<uint8_t> bytes;
  FontDescriptor descriptor;
};

/** Font bytes by font id (at scale 1), shared by all graphics contexts of the process. */
ResourceCache<FontData>& FontDataCache();

} // namespace gfx
