#include "gfx/DecodedImageCache.h"

#include "gfx/ResourceLookup.h"

#include <algorithm>

namespace gfx {

struct DecodedImageCache::Entry
{
  enum class State
  {
    Queued,
    Decoding,
    Done
  };
  std::string key;
  std::string name;
  std::string type;
  State state = State::Queued;
  SharedImage image;
  std::string error;
};

namespace {

std::string KeyOf(const std::string& name, const std::string& type) { return type + ":" + name; }

} // namespace

DecodedImageCache& DecodedImageCache::Shared()
{
  static DecodedImageCache cache;
  return cache;
}

DecodedImageCache::~DecodedImageCache()
{
  JoinWorkers();
}

void DecodedImageCache::Retain()
{
  std::lock_guard<std::mutex> lock(mMutex);
  ++mUsers;
}

void DecodedImageCache::Release()
{
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mUsers == 0 || --mUsers > 0)
      return;
  }
  JoinWorkers();
  std::lock_guard<std::mutex> lock(mMutex);
  if (mUsers == 0)
  {
    mEntries.clear();
    mKeptBytes = 0;
  }
}

// Waits for the images being decoded, drops those not started yet, and joins
// the workers (nothing of this module may run after its last user is gone).
void DecodedImageCache::JoinWorkers()
{
  std::vector<std::thread> workers;
  {
    std::unique_lock<std::mutex> lock(mMutex);
    for (const std::shared_ptr<Entry>& queued : mQueue)
      mEntries.erase(std::remove(mEntries.begin(), mEntries.end(), queued), mEntries.end());
    mQueue.clear();
    mDone.wait(lock, [this] { return mBusyWorkers == 0; });
    workers.swap(mWorkers);
  }
  for (std::thread& worker : workers)
    worker.join();
}

std::shared_ptr<DecodedImageCache::Entry> DecodedImageCache::FindLocked(const std::string& key) const
{
  for (const std::shared_ptr<Entry>& entry : mEntries)
    if (entry->key == key)
      return entry;
  return nullptr;
}

void DecodedImageCache::Prefetch(const std::vector<std::string>& resourceNames, const std::string& type)
{
  std::unique_lock<std::mutex> lock(mMutex);
  if (mUsers == 0)
    return;
  for (const std::string& name : resourceNames)
  {
    const std::string key = KeyOf(name, type);
    if (FindLocked(key))
      continue;
    auto entry = std::make_shared<Entry>();
    entry->key = key;
    entry->name = name;
    entry->type = type;
    mEntries.push_back(entry);
    mQueue.push_back(entry);
  }
  StartWorkers(lock);
}

void DecodedImageCache::StartWorkers(std::unique_lock<std::mutex>& lock)
{
  if (mQueue.empty() || mBusyWorkers > 0)
    return;
  // Workers that have finished are only waiting to be joined.
  std::vector<std::thread> finished;
  finished.swap(mWorkers);
  lock.unlock();
  for (std::thread& worker : finished)
    worker.join();
  lock.lock();
  // One core is left to the thread that asked: it loads the GL driver and
  // makes the window meanwhile, and that is what the first picture waits for.
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const int count = std::min(std::max(1, cores - 1), static_cast<int>(mQueue.size()));
  for (int i = 0; i < count; ++i)
  {
    ++mBusyWorkers;
    mWorkers.emplace_back([this] { WorkerLoop(); });
  }
}

void DecodedImageCache::WorkerLoop()
{
  std::unique_lock<std::mutex> lock(mMutex);
  while (!mQueue.empty())
  {
    std::shared_ptr<Entry> entry = mQueue.front();
    mQueue.erase(mQueue.begin());
    entry->state = Entry::State::Decoding;
    lock.unlock();
    DecodeInto(*entry);
    lock.lock();
    KeepOrDrop(entry);
  }
  --mBusyWorkers;
  mDone.notify_all();
}

void DecodedImageCache::DecodeInto(Entry& entry)
{
  const std::vector<uint8_t> bytes = ReadResourceBytes(entry.name.c_str(), entry.type.c_str());
  if (bytes.empty())
  {
    entry.error = "no such resource";
    return;
  }
  auto image = std::make_shared<DecodedImage>(DecodeImage(bytes.data(), bytes.size(), entry.error));
  if (image->IsValid())
    entry.image = std::move(image);
}

// Lock held. The entry's decoding has ended: it stays for later openings when
// it is an image, someone still uses the cache and it fits the budget.
void DecodedImageCache::KeepOrDrop(const std::shared_ptr<Entry>& entry)
{
  entry->state = Entry::State::Done;
  ++mDecodes;
  const size_t bytes = entry->image ? entry->image->rgba.size() : 0;
  if (entry->image && mUsers > 0 && mKeptBytes + bytes <= mBudgetBytes)
    mKeptBytes += bytes;
  else
    mEntries.erase(std::remove(mEntries.begin(), mEntries.end(), entry), mEntries.end());
  mDone.notify_all();
}

SharedImage DecodedImageCache::Get(const std::string& resourceName, const std::string& type, std::string& error)
{
  std::unique_lock<std::mutex> lock(mMutex);
  std::shared_ptr<Entry> entry = FindLocked(KeyOf(resourceName, type));
  if (entry && entry->state == Entry::State::Queued)
  {
    // Not started yet: this thread would only wait, so it decodes it itself.
    mQueue.erase(std::remove(mQueue.begin(), mQueue.end(), entry), mQueue.end());
    mEntries.erase(std::remove(mEntries.begin(), mEntries.end(), entry), mEntries.end());
    entry = nullptr;
  }
  if (!entry)
  {
    entry = std::make_shared<Entry>();
    entry->key = KeyOf(resourceName, type);
    entry->name = resourceName;
    entry->type = type;
    entry->state = Entry::State::Decoding;
    mEntries.push_back(entry);
    lock.unlock();
    DecodeInto(*entry);
    lock.lock();
    KeepOrDrop(entry);
  }
  mDone.wait(lock, [&entry] { return entry->state == Entry::State::Done; });
  error = entry->error;
  return entry->image;
}

size_t DecodedImageCache::KeptBytes() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mKeptBytes;
}

int DecodedImageCache::KeptCount() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return static_cast<int>(std::count_if(mEntries.begin(), mEntries.end(),
                                         [](const std::shared_ptr<Entry>& e) { return e->state == Entry::State::Done; }));
}

int DecodedImageCache::Users() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mUsers;
}

long DecodedImageCache::Decodes() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mDecodes;
}

DecodedImageUse::DecodedImageUse(DecodedImageCache& cache) : mCache(cache)
{
  mCache.Retain();
}

DecodedImageUse::~DecodedImageUse()
{
  mCache.Release();
}

} // namespace gfx
