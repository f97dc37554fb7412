// The audio path never allocates: this executable counts every call of the
// global operator new while a test has counting switched on.

#include "KorvelTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void* CountedAllocation(std::size_t size)
{
  if (gCounting.load())
    ++gAllocations;
  if (void* p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size)
{
  return CountedAllocation(size);
}
void* operator new[](std::size_t size)
{
  return CountedAllocation(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
  try
  {
    return CountedAllocation(size);
  }
  catch (...)
  {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
  try
  {
    return CountedAllocation(size);
  }
  catch (...)
  {
    return nullptr;
  }
}
void operator delete(void* p) noexcept
{
  std::free(p);
}
void operator delete[](void* p) noexcept
{
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
  std::free(p);
}

namespace {

class CountAllocations
{
public:
  CountAllocations()
  {
    gAllocations = 0;
    gCounting = true;
  }
  ~CountAllocations() { gCounting = false; }
  long Count() const { return gAllocations.load(); }
};

TEST(KorvelRealtime, TheCounterSeesAllocations)
{
  CountAllocations counter;
  auto* p = new double(1.0);
  delete p;
  EXPECT_EQ(counter.Count(), 1);
}

TEST(KorvelRealtime, ProcessingAndParameterChangesDoNotAllocate)
{
  auto plugin = MakeKorvel();
  OpenFakeEditor(*plugin);
  Signal s = DrivingSignal(512);
  AddNoise(s.channels[2], 9, 1.0);
  AddNoise(s.channels[3], 10, 1.0);
  double* inputs[4] = {s.channels[0].data(), s.channels[1].data(), s.channels[2].data(), s.channels[3].data()};
  std::vector<double> left(512), right(512);
  double* outputs[2] = {left.data(), right.data()};

  // One pass through every latency the framework will be asked for: its
  // latency change may size a delay line the first time.
  SetParam(*plugin, kOversampling, 1.0);
  plugin->ProcessAudio(inputs, outputs, 512);
  SetParam(*plugin, kOversampling, 0.0);
  plugin->ProcessAudio(inputs, outputs, 512);

  CountAllocations counter;
  const int settingsSequence[][2] = {
    {kVcaInt, 1},     {kFetInt, 1},   {kOptoInt, 1},          {kVcaExt, 1},   {kOptoExt, 1},
    {kOversampling, 1}, {kFetExt, 1}, {kExternalSidechain, 1}, {kPower, 0},   {kPower, 1},
    {kThresholdInt, -20}, {kThresholdExt, -20}, {kOversampling, 0}, {kMixInt, 50}, {kHighPassExt, 300},
  };
  for (const auto& setting : settingsSequence)
  {
    SetParam(*plugin, setting[0], setting[1]);
    plugin->ProcessAudio(inputs, outputs, 512);
    plugin->ProcessAudio(inputs, outputs, 37);
  }
  plugin->ResetProcessing();
  plugin->ProcessAudio(inputs, outputs, 512);
  EXPECT_EQ(counter.Count(), 0);
}

} // namespace
