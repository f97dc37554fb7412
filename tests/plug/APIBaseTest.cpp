#include "PlugTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

using plugtest::Call;
using plugtest::RecordingPlugin;
using plugtest::TestDefinition;
using testing::ElementsAre;

TEST(ParamSourceName, NamesEveryCode)
{
  const char* expected[] = {"Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown"};
  for (int code = 0; code <= 6; ++code)
    EXPECT_STREQ(plug::ParamSourceName(code), expected[code]);
  EXPECT_STREQ(plug::ParamSourceName(-1), "Unknown");
  EXPECT_STREQ(plug::ParamSourceName(7), "Unknown");
}

TEST(IdentifyHost, FirstKnownNameInTheListDecides)
{
  const struct
  {
    const char* name;
    int code;
  } cases[] = {
    {"", 0},
    {"Some Host", 0},
    {"Cubase Pro 12", 3},
    {"REAPER", 1},
    {"WaveLab Elements 11", 32},
    {"WAVELAB ELEMENTS", 32},
    {"WaveLab Pro", 31},
    {"Olive Tree", 9}, // a plain substring test: "live" inside another word
    {"Ableton Live 11", 9},
    {"Bitwig Studio", 34},
    {"Bitwig", 0},
    {"Ardour", 28},
    {"Mixbus32C", 45},
    {"VST3PluginTestHost", 27},
    {"Blue Cat's VST Host", 44},
    {"Reaper Standalone", 1},
    {"My Standalone www", 24},
    {"www.example", 35},
    {"Cubase and Reaper", 1}, // list order, not position in the name
  };
  for (const auto& c : cases)
    EXPECT_EQ(plug::IdentifyHost(c.name), c.code) << c.name;
  EXPECT_EQ(plug::IdentifyHost(nullptr), 0);
}

TEST(SetHost, IdentifiesOnceFromTheUtf16Name)
{
  RecordingPlugin plugin(TestDefinition(1));
  EXPECT_EQ(plugin.GetHost(), plug::kHostUninit);
  plugin.SetHost(nullptr); // the host offers no name
  EXPECT_EQ(plugin.GetHost(), plug::kHostUninit);

  plugin.SetHost(u"Ardour 8");
  EXPECT_EQ(plugin.GetHost(), plug::kHostArdour);
  EXPECT_EQ(plugin.GetHostVersion(), 0);
  plugin.SetHost(u"Cubase");
  EXPECT_EQ(plugin.GetHost(), plug::kHostArdour);
  EXPECT_THAT(plugin.events, ElementsAre("OnHostKnown"));
}

TEST(SetHost, NarrowsEachUnitToItsLowByteAndReadsAtMost127)
{
  RecordingPlugin lowByte(TestDefinition(1));
  const char16_t name[] = {u'\u0163', u'u', u'b', u'a', u's', u'e', 0}; // 0x163 narrows to 'c'
  lowByte.SetHost(name);
  EXPECT_EQ(lowByte.GetHost(), plug::kHostCubase);

  std::u16string longName(127, u'x');
  longName += u"reaper";
  RecordingPlugin truncated(TestDefinition(1));
  truncated.SetHost(longName.c_str());
  EXPECT_EQ(truncated.GetHost(), plug::kHostUnknown);
}

TEST(IQueue, HoldsSlotsMinusOneInOrderAndDropsWhenFull)
{
  plug::IQueue<plug::IMidiMsg, 33> queue;
  plug::IMidiMsg message;
  EXPECT_FALSE(queue.Pop(message));
  for (int i = 0; i < 32; ++i)
    EXPECT_TRUE(queue.Push(plug::IMidiMsg{i, 0x90, 60, 1}));
  EXPECT_FALSE(queue.Push(plug::IMidiMsg{32, 0x90, 60, 1}));
  EXPECT_EQ(queue.ElementsAvailable(), 32u);
  for (int i = 0; i < 32; ++i)
  {
    ASSERT_TRUE(queue.Pop(message));
    EXPECT_EQ(message.offset, i);
  }
  EXPECT_FALSE(queue.Pop(message));
  // Wrapping around the end of the ring keeps the order.
  for (int round = 0; round < 3; ++round)
  {
    for (int i = 0; i < 20; ++i)
      ASSERT_TRUE(queue.Push(plug::IMidiMsg{i, 0, 0, 0}));
    for (int i = 0; i < 20; ++i)
    {
      ASSERT_TRUE(queue.Pop(message));
      EXPECT_EQ(message.offset, i);
    }
  }
}

TEST(IQueue, OneProducerAndOneConsumerThreadLoseNothing)
{
  plug::IQueue<plug::ParamTuple, 8> queue;
  constexpr int kCount = 200000;
  std::atomic<bool> produced{false};
  std::thread producer([&] {
    for (int i = 0; i < kCount;)
      if (queue.Push(plug::ParamTuple{i, i * 0.5}))
        ++i;
    produced = true;
  });
  int received = 0;
  bool inOrder = true;
  plug::ParamTuple entry;
  for (;;)
  {
    const bool finished = produced; // read before popping: nothing arrives after it turned true
    if (queue.Pop(entry))
    {
      inOrder = inOrder && entry.idx == received && entry.value == received * 0.5;
      ++received;
    }
    else if (finished)
      break;
  }
  producer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(received, kCount);
}

TEST(EditorQueues, MidiFromTheEditorIsQueuedAndThe33rdIsDropped)
{
  RecordingPlugin plugin(TestDefinition(1));
  for (int i = 0; i < 33; ++i)
    plugin.MidiFromEditor(plug::IMidiMsg{i, 0xB0, 7, 100});
  plug::IMidiMsg message;
  for (int i = 0; i < 32; ++i)
  {
    ASSERT_TRUE(plugin.mMidiMsgsFromEditor.Pop(message));
    EXPECT_EQ(message.offset, i);
  }
  EXPECT_FALSE(plugin.mMidiMsgsFromEditor.Pop(message));
}

TEST(EditorQueues, SysexFromTheEditorIsCopiedAndItsSizeBounded)
{
  RecordingPlugin plugin(TestDefinition(1));
  const uint8_t bytes[] = {0xF0, 0x7E, 0x01, 0xF7};
  plugin.SysexFromEditor(plug::ISysEx{5, 4, bytes});
  plugin.QueueSysexFromEditor(plug::ISysEx{6, 3, nullptr});
  std::vector<uint8_t> big(600, 0xAB);
  plugin.QueueSysexFromEditor(plug::ISysEx{7, 600, big.data()});

  plug::SysExData record;
  ASSERT_TRUE(plugin.mSysExDataFromEditor.Pop(record));
  EXPECT_EQ(record.offset, 5);
  EXPECT_EQ(record.size, 4);
  EXPECT_EQ(std::memcmp(record.data, bytes, 4), 0);

  ASSERT_TRUE(plugin.mSysExDataFromEditor.Pop(record));
  EXPECT_EQ(record.offset, 6);
  EXPECT_EQ(record.size, 3);
  EXPECT_EQ(record.data[0] | record.data[1] | record.data[2], 0);

  ASSERT_TRUE(plugin.mSysExDataFromEditor.Pop(record));
  EXPECT_EQ(record.size, plug::kMaxSysExBytes);
  EXPECT_EQ(record.data[511], 0xAB);
}

TEST(EditorQueues, ParameterValuesForTheEditorArePlain)
{
  RecordingPlugin plugin(TestDefinition(2));
  plugin.GetParameter(1)->SetupDouble("Threshold", 10.0, -20.0, 10.0, 0.1, "dB");
  plugin.QueueParameterForEditor(1, 0.5, true);
  plugin.QueueParameterForEditor(1, 3.0, false);
  plugin.QueueParameterForEditor(9, 3.0, false);
  plug::ParamTuple entry;
  ASSERT_TRUE(plugin.mParamChangeToEditorQueue.Pop(entry));
  EXPECT_EQ(entry.idx, 1);
  EXPECT_EQ(entry.value, -5.0);
  ASSERT_TRUE(plugin.mParamChangeToEditorQueue.Pop(entry));
  EXPECT_EQ(entry.value, 3.0);
  EXPECT_FALSE(plugin.mParamChangeToEditorQueue.Pop(entry));
}

TEST(ServiceQueues, HandsQueuedMessagesToTheEditorThenTicks)
{
  RecordingPlugin plugin(TestDefinition(1));
  plugin.mMidiMsgsForEditor.Push(plug::IMidiMsg{0, 0x90, 60, 1});
  plugin.mMidiMsgsForEditor.Push(plug::IMidiMsg{1, 0x80, 60, 0});
  plug::SysExData record;
  record.offset = 2;
  record.size = 1;
  record.data[0] = 0xF0;
  plugin.mSysExDataForEditor.Push(record);

  std::unique_ptr<plug::Timer> timer = plug::Timer::Launch([](plug::Timer&) {}, 1000);
  plugin.ServiceQueues(*timer);
  EXPECT_THAT(plugin.events, ElementsAre(Call("OnMidiForEditor", 0x90), Call("OnMidiForEditor", 0x80),
                                         Call("OnSysexForEditor", 2, 1, 0xF0), "OnIdleTick"));
  plugin.events.clear();
  plugin.ServiceQueues(*timer);
  EXPECT_THAT(plugin.events, ElementsAre("OnIdleTick"));
}

TEST(ServiceQueues, WithoutAnEditorTheQueuesStay)
{
  plug::IPluginDefinition def = TestDefinition(1);
  def.hasEditor = false;
  RecordingPlugin plugin(def);
  plugin.mMidiMsgsForEditor.Push(plug::IMidiMsg{0, 0x90, 60, 1});
  std::unique_ptr<plug::Timer> timer = plug::Timer::Launch([](plug::Timer&) {}, 1000);
  plugin.ServiceQueues(*timer);
  EXPECT_THAT(plugin.events, ElementsAre("OnIdleTick"));
  EXPECT_EQ(plugin.mMidiMsgsForEditor.ElementsAvailable(), 1u);
}

TEST(MatchesValues, ComparesEveryParameterAtFloatPrecision)
{
  RecordingPlugin plugin(TestDefinition(2));
  plugin.GetParameter(0)->SetupDouble("a", 0.25, 0.0, 1.0, 0.01);
  plugin.GetParameter(1)->SetupDouble("b", 0.5, 0.0, 1.0, 0.01);
  const double values[] = {9.0, 0.25, 0.5 + 1e-9, 7.0};
  EXPECT_TRUE(plugin.MatchesValues(values, 4, 1));
  EXPECT_FALSE(plugin.MatchesValues(values, 4, 0));
  EXPECT_FALSE(plugin.MatchesValues(values, 4, 3)); // would read past the end
  const double off[] = {0.25, 0.50002};
  EXPECT_FALSE(plugin.MatchesValues(off, 2, 0));
}

TEST(APIBase, CopiesTheDefinition)
{
  std::string name = "KORVEL";
  plug::IPluginDefinition def = TestDefinition(27, 1, "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2");
  def.pluginName = name.c_str();
  RecordingPlugin plugin(def);
  name = "changed";
  EXPECT_STREQ(plugin.GetPluginName(), "KORVEL");
  EXPECT_STREQ(plugin.GetMakerName(), "Vantrel");
  EXPECT_EQ(plugin.GetPluginCode(), 0x4B525631);
  EXPECT_EQ(plugin.GetMakerCode(), 0x5674726C);
  EXPECT_EQ(plugin.GetVersion(), 0x00010000);
  EXPECT_EQ(plugin.NParams(), 27);
  EXPECT_EQ(plugin.NPresets(), 1);
  EXPECT_TRUE(plugin.HasEditor());
  EXPECT_FALSE(plugin.HostMayResize());
}

#ifdef _WIN32
namespace {

// Runs the thread's message loop until done() or the time is up; Win32 thread timers fire from here.
template <typename Done>
void PumpMessages(int maxMs, Done done)
{
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < static_cast<DWORD>(maxMs))
  {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&msg);
    Sleep(1);
  }
}

} // namespace

TEST(Timer, SystemTimersCallTheirOwnCallbacksUntilHalted)
{
  int aTicks = 0;
  int bTicks = 0;
  plug::Timer* seenByA = nullptr;
  std::unique_ptr<plug::Timer> a = plug::Timer::Launch([&](plug::Timer& t) { ++aTicks, seenByA = &t; }, 10);
  std::unique_ptr<plug::Timer> b = plug::Timer::Launch([&](plug::Timer&) { ++bTicks; }, 10);
  ASSERT_TRUE(a->IsRunning());
  PumpMessages(5000, [&] { return aTicks >= 2 && bTicks >= 2; });
  EXPECT_GE(aTicks, 2);
  EXPECT_GE(bTicks, 2);
  EXPECT_EQ(seenByA, a.get());

  a->Halt();
  EXPECT_FALSE(a->IsRunning());
  const int aAfterHalt = aTicks;
  const int bBefore = bTicks;
  PumpMessages(5000, [&] { return bTicks >= bBefore + 3; });
  EXPECT_EQ(aTicks, aAfterHalt);
  EXPECT_GE(bTicks, bBefore + 3);

  b.reset(); // destruction halts too
  const int bAfterReset = bTicks;
  PumpMessages(100, [] { return false; });
  EXPECT_EQ(bTicks, bAfterReset);
}

TEST(Timer, IdleTimerServicesTheQueues)
{
  RecordingPlugin plugin(TestDefinition(1));
  plugin.LaunchIdleTimer();
  PumpMessages(5000, [&] { return !plugin.events.empty(); });
  ASSERT_FALSE(plugin.events.empty());
  EXPECT_EQ(plugin.events.front(), "OnIdleTick");
}
#else
TEST(Timer, TicksCallTimersWhoseIntervalHasPassedUntilHalted)
{
  using namespace std::chrono;
  const steady_clock::time_point before = steady_clock::now();
  int aTicks = 0;
  int bTicks = 0;
  plug::Timer* seenByA = nullptr;
  std::unique_ptr<plug::Timer> a = plug::Timer::Launch([&](plug::Timer& t) { ++aTicks, seenByA = &t; }, 20);
  std::unique_ptr<plug::Timer> b = plug::Timer::Launch([&](plug::Timer&) { ++bTicks; }, 50);
  const steady_clock::time_point launched = steady_clock::now();
  ASSERT_TRUE(a->IsRunning());

  plug::Timer::TickAll(before);
  EXPECT_EQ(aTicks, 0);
  plug::Timer::TickAll(launched + milliseconds(25));
  EXPECT_EQ(aTicks, 1);
  EXPECT_EQ(bTicks, 0);
  EXPECT_EQ(seenByA, a.get());
  plug::Timer::TickAll(launched + milliseconds(30)); // only 5 ms since a fired
  EXPECT_EQ(aTicks, 1);
  plug::Timer::TickAll(launched + milliseconds(60));
  EXPECT_EQ(aTicks, 2);
  EXPECT_EQ(bTicks, 1);

  a->Halt();
  EXPECT_FALSE(a->IsRunning());
  b.reset();
  plug::Timer::TickAll(launched + milliseconds(1000));
  EXPECT_EQ(aTicks, 2);
  EXPECT_EQ(bTicks, 1);
}

TEST(Timer, ACallbackMayHaltItsOwnTimer)
{
  std::unique_ptr<plug::Timer> timer;
  int ticks = 0;
  timer = plug::Timer::Launch([&](plug::Timer& t) { ++ticks, t.Halt(); }, 0);
  plug::Timer::TickAll();
  plug::Timer::TickAll();
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(timer->IsRunning());
}

TEST(Timer, IdleTimerServicesTheQueues)
{
  RecordingPlugin plugin(TestDefinition(1));
  plugin.LaunchIdleTimer();
  plug::Timer::TickAll(std::chrono::steady_clock::now() + std::chrono::milliseconds(plug::IPluginAPIBase::kIdleTimerIntervalMs));
  EXPECT_THAT(plugin.events, ElementsAre("OnIdleTick"));
}
#endif
