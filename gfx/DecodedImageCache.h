#pragma once

// The editor's images decoded once per process rather than at every opening.
//
// Decoding the module's images is the largest part of opening an editor
// (KORVEL's seven double-resolution PNGs are 34 MB of pixels). Textures must
// be made again for every GL context, but the decoded pixels need not: they
// are kept here, shared by every graphics context of the process, while at
// least one owner holds a DecodedImageUse: each plug-in instance that has an
// editor, and each graphics context while it exists. When the last owner
// goes, every kept image is freed.
//
// Budget: at most kBudgetBytes of decoded pixels are kept; an image that does
// not fit is decoded for its request and then dropped.
//
// Opening an editor may ask for its images ahead (Prefetch): they are decoded
// on worker threads while the window and its GL context are being made, and a
// later Get waits for the one it wants.

#include "gfx/ResourceCache.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gfx {

using SharedImage = std::shared_ptr<const DecodedImage>;

class DecodedImageCache
{
public:
  static constexpr size_t kBudgetBytes = size_t(48) << 20;

  /** The process's cache (of this module). */
  static DecodedImageCache& Shared();

  explicit DecodedImageCache(size_t budgetBytes = kBudgetBytes) : mBudgetBytes(budgetBytes) {}
  ~DecodedImageCache();
  DecodedImageCache(const DecodedImageCache&) = delete;
  DecodedImageCache& operator=(const DecodedImageCache&) = delete;

  /**
   * Starts decoding, on worker threads, each of the resources (stored names
   * such as "KNOB@2x.png", of the type, e.g. "png") that is neither kept nor
   * on its way. Does nothing while nobody holds a use.
   */
  void Prefetch(const std::vector<std::string>& resourceNames, const std::string& type);

  /**
   * The decoded resource: the kept one, the one being decoded (waits for it),
   * or decoded now on this thread. Null with a reason in error when the
   * resource is missing or cannot be decoded.
   */
  SharedImage Get(const std::string& resourceName, const std::string& type, std::string& error);

  /** Decoded pixels kept now, in bytes, and how many images. */
  size_t KeptBytes() const;
  int KeptCount() const;
  int Users() const;
  /** Images decoded so far by this cache, kept or not (each decode counts). */
  long Decodes() const;

private:
  friend class DecodedImageUse;
  struct Entry;

  void Retain();
  void Release();
  void StartWorkers(std::unique_lock<std::mutex>& lock);
  void WorkerLoop();
  std::shared_ptr<Entry> FindLocked(const std::string& key) const;
  void DecodeInto(Entry& entry);
  void KeepOrDrop(const std::shared_ptr<Entry>& entry);
  void JoinWorkers();

  mutable std::mutex mMutex;
  std::condition_variable mDone; // an entry finished decoding
  std::vector<std::shared_ptr<Entry>> mEntries;
  std::vector<std::shared_ptr<Entry>> mQueue; // waiting for a worker
  std::vector<std::thread> mWorkers;
  const size_t mBudgetBytes;
  size_t mKeptBytes = 0;
  int mUsers = 0;
  int mBusyWorkers = 0;
  long mDecodes = 0;
};

/** An owner's hold on the shared decoded images: they stay while any use lives. */
class DecodedImageUse
{
public:
  explicit DecodedImageUse(DecodedImageCache& cache = DecodedImageCache::Shared());
  ~DecodedImageUse();
  DecodedImageUse(const DecodedImageUse&) = delete;
  DecodedImageUse& operator=(const DecodedImageUse&) = delete;

private:
  DecodedImageCache& mCache;
};

} // namespace gfx
