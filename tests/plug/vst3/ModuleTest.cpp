#include "TestPlugin.h"

#include "plug/vst3/IPluginVST3Factory.h"

#include "plug/ModuleResources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#ifdef _WIN32
extern "C" bool InitDll();
extern "C" bool ExitDll();
#else
extern "C" bool ModuleEntry(void*);
extern "C" bool ModuleExit();
#endif

namespace {

// The class ID's bytes as this target's FUID lays them out: the COM order on
// Windows, the words in reading order elsewhere. Its text is the same on both.
#if COM_COMPATIBLE
const uint8_t kExpectedClassID[16] = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F,
                                      'V',  't',  'r',  'l',  'K',  'R',  'V',  '1'};
#else
const uint8_t kExpectedClassID[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E,
                                      'V',  't',  'r',  'l',  'K',  'R',  'V',  '1'};
#endif

// Enters the module the way the platform's host does.
bool Enter(void* handle)
{
#ifdef _WIN32
  plug::SetVST3AttachedModule(handle);
  return InitDll();
#else
  return ModuleEntry(handle);
#endif
}

bool Leave()
{
#ifdef _WIN32
  return ExitDll();
#else
  return ModuleExit();
#endif
}

template <size_t N>
bool ZeroFilledAfterText(const Steinberg::char8 (&field)[N])
{
  const size_t length = strnlen(field, N);
  for (size_t i = length; i < N; ++i)
    if (field[i] != 0)
      return false;
  return true;
}

} // namespace

TEST(ClassID, IsLaidOutAsTheTargetsFUIDAndReadsTheSameEverywhere)
{
  Steinberg::TUID cid{};
  plug::MakeVST3ClassID(0xF2AEE70D, 0x00DE4F4E, plug::MakeFourCharCode("Vtrl"), plug::MakeFourCharCode("KRV1"), cid);
  EXPECT_EQ(std::memcmp(cid, kExpectedClassID, 16), 0);
  EXPECT_EQ(std::string(cid + 8, cid + 16), "VtrlKRV1");
  char text[33] = {};
  Steinberg::FUID::fromTUID(cid).toString(text);
  EXPECT_STREQ(text, "F2AEE70D00DE4F4E5674726C4B525631");
}

TEST(ModuleEntry, CountsEntriesAndRefusesUnmatchedExits)
{
  int a = 0, b = 0, c = 0;
  EXPECT_FALSE(Leave()) << "exit without entry";
  EXPECT_TRUE(Enter(&a));
  EXPECT_EQ(plug::GetVST3ModuleHandle(), &a);
#ifdef _WIN32
  EXPECT_EQ(plug::CurrentModule(), static_cast<void*>(&a)) << "recorded for resource lookups";
#endif
  EXPECT_TRUE(Enter(&b));
  EXPECT_EQ(plug::GetVST3ModuleHandle(), &a) << "only the first entry records the module";
  EXPECT_TRUE(Leave());
  EXPECT_TRUE(Leave());
  EXPECT_EQ(plug::GetVST3ModuleHandle(), nullptr);
  EXPECT_FALSE(Leave());
  EXPECT_FALSE(Leave());
  EXPECT_TRUE(Enter(&c));
  EXPECT_EQ(plug::GetVST3ModuleHandle(), &c) << "surplus exits do not hold back the next entry";
  EXPECT_TRUE(Leave());
#ifdef _WIN32
  plug::SetModuleHandle(nullptr);
#endif
}

TEST(Factory, IsSharedAndEachCallAddsAReference)
{
  Steinberg::IPluginFactory* first = GetPluginFactory();
  ASSERT_NE(first, nullptr);
  Steinberg::IPluginFactory* second = GetPluginFactory();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->addRef(), 3u);
  first->release();
  EXPECT_EQ(second->release(), 1u);
  EXPECT_EQ(first->release(), 0u);

  Steinberg::IPluginFactory* again = GetPluginFactory(); // a new factory after the last release
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->countClasses(), 1);
  again->release();
}

// Hosts may ask for the factory and let it go on several threads at once; the
// last release must never meet a get half-way through destroying the factory.
TEST(Factory, ConcurrentGetsAndReleasesAreSafe)
{
  constexpr int kRounds = 200000;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i)
      {
        Steinberg::IPluginFactory* factory = GetPluginFactory();
        if (!factory || factory->countClasses() != 1)
          ++failures;
        if (factory)
          factory->release();
      }
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(failures.load(), 0);
  Steinberg::IPluginFactory* factory = GetPluginFactory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->release(), 0u) << "every reference was given back";
}

TEST(Factory, DescribesTheMakerAndTheClass)
{
  Steinberg::IPtr<Steinberg::IPluginFactory> factory = Steinberg::owned(GetPluginFactory());
  Steinberg::PFactoryInfo info{};
  ASSERT_EQ(factory->getFactoryInfo(&info), Steinberg::kResultOk);
  EXPECT_STREQ(info.vendor, "Vantrel");
  EXPECT_EQ(info.flags, Steinberg::PFactoryInfo::kUnicode);
  EXPECT_GT(std::strlen(info.url), 0u);
  EXPECT_GT(std::strlen(info.email), 0u);

  Steinberg::FUnknownPtr<Steinberg::IPluginFactory2> factory2(factory);
  ASSERT_TRUE(factory2);
  ASSERT_EQ(factory2->countClasses(), 1);
  Steinberg::PClassInfo2 cls{};
  ASSERT_EQ(factory2->getClassInfo2(0, &cls), Steinberg::kResultOk);
  EXPECT_EQ(std::memcmp(cls.cid, kExpectedClassID, 16), 0);
  EXPECT_EQ(cls.cardinality, 0x7FFFFFFF);
  EXPECT_STREQ(cls.category, "Audio Module Class");
  EXPECT_STREQ(cls.name, "TestPlug");
  EXPECT_EQ(cls.classFlags, 2u);
  EXPECT_STREQ(cls.subCategories, "Fx|Dynamics");
  EXPECT_STREQ(cls.vendor, "");
  EXPECT_STREQ(cls.version, "1.0.0");
  EXPECT_STREQ(cls.sdkVersion, "VST 3.7.6");
  EXPECT_TRUE(ZeroFilledAfterText(cls.category));
  EXPECT_TRUE(ZeroFilledAfterText(cls.name));
  EXPECT_TRUE(ZeroFilledAfterText(cls.subCategories));
  EXPECT_TRUE(ZeroFilledAfterText(cls.sdkVersion));
}

TEST(Factory, CreatesPluginObjects)
{
  Steinberg::IPtr<Steinberg::IPluginFactory> factory = Steinberg::owned(GetPluginFactory());
  const int live = TestPlugin::liveInstances;
  void* obj = nullptr;
  ASSERT_EQ(factory->createInstance(reinterpret_cast<const char*>(kExpectedClassID), Steinberg::Vst::IComponent::iid,
                                    &obj),
            Steinberg::kResultOk);
  ASSERT_NE(obj, nullptr);
  auto* component = static_cast<Steinberg::Vst::IComponent*>(obj);
  Steinberg::FUnknownPtr<Steinberg::Vst::IEditController> controller(component);
  EXPECT_TRUE(controller) << "processor and controller are one object";
  EXPECT_EQ(TestPlugin::liveInstances, live + 1);
  controller = nullptr;
  component->release();
  EXPECT_EQ(TestPlugin::liveInstances, live);

  Steinberg::TUID other{};
  obj = nullptr;
  EXPECT_NE(factory->createInstance(reinterpret_cast<const char*>(other), Steinberg::Vst::IComponent::iid, &obj),
            Steinberg::kResultOk);
  EXPECT_EQ(obj, nullptr);
}

TEST(Factory, ConstructsOneObjectAtATime)
{
  Steinberg::IPtr<Steinberg::IPluginFactory> factory = Steinberg::owned(GetPluginFactory());
  TestPlugin::constructionsOverlapped = false;
  std::vector<Steinberg::FUnknown*> created(4, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < created.size(); ++i)
    threads.emplace_back([&, i] {
      void* obj = nullptr;
      if (factory->createInstance(reinterpret_cast<const char*>(kExpectedClassID),
                                  Steinberg::Vst::IAudioProcessor::iid, &obj) == Steinberg::kResultOk)
        created[i] = static_cast<Steinberg::FUnknown*>(obj);
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_FALSE(TestPlugin::constructionsOverlapped);
  for (Steinberg::FUnknown* obj : created)
  {
    ASSERT_NE(obj, nullptr);
    obj->release();
  }
}
