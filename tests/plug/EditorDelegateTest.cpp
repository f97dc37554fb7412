#include "PlugTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

using plugtest::Call;
using plugtest::GraphicsLog;
using plugtest::RecordingPlugin;
using plugtest::TestDefinition;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// A plug-in with three parameters: 0 is -20..10 dB, 1 is a switch, 2 is a linear 0..1.
class EditorDelegateTest : public testing::Test
{
protected:
  EditorDelegateTest() : plugin(TestDefinition(3))
  {
    plugin.GetParameter(0)->SetupDouble("Threshold", 10.0, -20.0, 10.0, 0.1, "dB");
    plugin.GetParameter(1)->SetType(plug::IParam::kTypeInt);
    plugin.GetParameter(1)->SetupDouble("Power", 1.0, 0.0, 1.0, 1.0, "", plug::IParam::kFlagStepped);
  }

  void* Open()
  {
    plugin.events.clear();
    void* window = plugin.OpenEditor(parent);
    log.calls.clear();
    return window;
  }

  RecordingPlugin plugin;
  GraphicsLog log;
  void* parent = reinterpret_cast<void*>(0x42);
};

} // namespace

TEST_F(EditorDelegateTest, ParameterListHasTheDeclaredCountAndNothingOutside)
{
  EXPECT_EQ(plugin.NParams(), 3);
  EXPECT_NE(plugin.GetParameter(2), nullptr);
  EXPECT_EQ(plugin.GetParameter(3), nullptr);
  EXPECT_EQ(plugin.GetParameter(-1), nullptr);
}

TEST_F(EditorDelegateTest, AnnounceAllParametersCallsBothHooksPerParameterInOrder)
{
  plugin.AnnounceAllParameters(plug::kReset);
  EXPECT_THAT(plugin.events, ElementsAre(Call("OnParamChange", 0), Call("OnParamChangeForEditor", 0, 0),
                                         Call("OnParamChange", 1), Call("OnParamChangeForEditor", 1, 0),
                                         Call("OnParamChange", 2), Call("OnParamChangeForEditor", 2, 0)));
}

TEST_F(EditorDelegateTest, SetParameterFromEditorSetsTellsTheHostThenThePlugin)
{
  plugin.SetParameterFromEditor(0, 0.5);
  EXPECT_EQ(plugin.GetParameter(0)->GetPlain(), -5.0);
  EXPECT_THAT(plugin.events, ElementsAre(Call("PerformHostEdit", 0, 0.5, -5.0), Call("OnParamChange", 0),
                                         Call("OnParamChangeForEditor", 0, plug::kUI)));

  plugin.events.clear();
  plugin.SetParameterFromEditor(7, 0.5);
  EXPECT_THAT(plugin.events, IsEmpty());
}

// A plug-in may correct a value in its change hook (a limit tied to another
// parameter); the editor's value is set once, before the hook, so the
// correction is what stays.
TEST_F(EditorDelegateTest, SetParameterFromEditorSetsTheValueOnceBeforeThePluginsHook)
{
  class CorrectingPlugin : public RecordingPlugin
  {
  public:
    using RecordingPlugin::RecordingPlugin;
    void OnParamChange(int paramIdx) override
    {
      RecordingPlugin::OnParamChange(paramIdx);
      if (paramIdx == 0 && GetParameter(0)->GetPlain() > 0.0)
        GetParameter(0)->SetPlain(0.0);
    }
  } correcting(TestDefinition(3));
  correcting.GetParameter(0)->SetupDouble("Threshold", -10.0, -20.0, 10.0, 0.1, "dB");
  correcting.SetParameterFromEditor(0, 0.9);
  EXPECT_EQ(correcting.GetParameter(0)->GetPlain(), 0.0);
  EXPECT_THAT(correcting.events, ElementsAre(Call("PerformHostEdit", 0, 0.9, 7.0), Call("OnParamChange", 0),
                                             Call("OnParamChangeForEditor", 0, plug::kUI)));
}

TEST_F(EditorDelegateTest, BareDelegateSetsTheParameterWithoutHostOrPlugin)
{
  struct Delegate : plug::IEditorDelegate
  {
    Delegate() : IEditorDelegate(1) {}
    void OnParamChange(int) override { ++changes; }
    void OnParamChangeForEditor(int, int source) override { lastSource = source; }
    bool ReceiveMessage(int messageTag, int controlTag, int, const void*) override
    {
      received = Call("ReceiveMessage", messageTag, controlTag);
      return true;
    }
    int changes = 0;
    int lastSource = -1;
    std::string received;
  } delegate;
  delegate.GetParameter(0)->SetupDouble("p", 0.0, 0.0, 10.0, 0.1);
  delegate.SetParameterFromEditor(0, 0.25);
  EXPECT_EQ(delegate.GetParameter(0)->GetPlain(), 2.5);
  EXPECT_EQ(delegate.changes, 0);
  EXPECT_EQ(delegate.lastSource, plug::kUI);
  EXPECT_EQ(delegate.OpenEditor(nullptr), nullptr);
  EXPECT_FALSE(delegate.ForwardKeyDown(plug::IKeyEvent{}));
  delegate.SendControlMessageToEditor(5, 9, 0, nullptr);
  EXPECT_EQ(delegate.received, Call("ReceiveMessage", 9, 5));
}

TEST_F(EditorDelegateTest, HostEditsAndResizeRequestsFromTheEditor)
{
  plugin.BeginHostEditFromEditor(1);
  plugin.EndHostEditFromEditor(1);
  EXPECT_TRUE(plugin.ResizeFromEditor(600, 300, false));
  EXPECT_FALSE(plugin.ResizeFromEditor(600, 300, true));
  plugin.GetParameter(2)->SetPlain(0.75);
  plugin.PushAllParametersToHost();
  EXPECT_THAT(plugin.events, ElementsAre(Call("BeginHostEdit", 1), Call("EndHostEdit", 1), Call("RequestEditorResize", 600, 300),
                                         Call("PerformHostEdit", 0, 1.0, 10.0), Call("PerformHostEdit", 1, 1.0, 1.0),
                                         Call("PerformHostEdit", 2, 0.75, 0.75)));
}

TEST_F(EditorDelegateTest, MessagesWithoutAnOpenEditor)
{
  plugin.SendControlMessageToEditor(5, 9, 3, "abc"); // addressed to a control: no editor, no control
  plugin.SendControlValueToEditor(5, 0.5);
  plugin.SendMessageToEditor(9, 0, nullptr);
  EXPECT_TRUE(plugin.MessageFromEditor(8, 2, 1, "x"));
  plugin.SendMidiToEditor(plug::IMidiMsg{0, 0x90, 60, 100});
  const uint8_t bytes[] = {0xF0, 0xF7};
  plugin.SendSysexToEditor(plug::ISysEx{3, 2, bytes});
  EXPECT_THAT(plugin.events, ElementsAre(Call("ReceiveMessage", 9, -1, 0), Call("ReceiveMessage", 8, 2, 1),
                                         Call("OnMidiForEditor", 0x90), Call("OnSysexForEditor", 3, 2, 0xF0)));
}

TEST_F(EditorDelegateTest, OpenEditorBuildsTheContextAndOpensItsWindowInTheParent)
{
  EXPECT_EQ(plugin.OpenEditor(parent), nullptr); // no MakeGraphicsFunction: nothing opens
  EXPECT_EQ(plugin.GetEditor(), nullptr);

  plugin.UseFakeGraphics(log);
  EXPECT_EQ(plugin.OpenEditor(parent), log.window);
  ASSERT_NE(plugin.GetEditor(), nullptr);
  // Nothing remembered yet (all zero): the context keeps its own size.
  EXPECT_THAT(log.calls, ElementsAre(Call("OpenEditorWindow", 0x42)));
}

TEST_F(EditorDelegateTest, LayoutFunctionRunsWhenTheContextAsksForIt)
{
  plug::IEditor* laidOut = nullptr;
  plugin.LayoutFunction = [&laidOut](plug::IEditor* graphics) { laidOut = graphics; };
  plugin.UseFakeGraphics(log);
  Open();
  plugin.BuildLayout(plugin.GetEditor());
  EXPECT_EQ(laidOut, plugin.GetEditor());
}

TEST_F(EditorDelegateTest, CloseEditorRemembersSizeAndReopeningRestoresIt)
{
  plugin.UseFakeGraphics(log);
  Open();
  log.width = 1500;
  log.height = 580;
  log.drawScale = 1.5f;
  plugin.CloseEditor();
  EXPECT_TRUE(log.destroyed);
  EXPECT_EQ(plugin.GetEditor(), nullptr);
  EXPECT_THAT(log.calls, ElementsAre("CloseEditorWindow"));
  EXPECT_THAT(plugin.events, ElementsAre("OnEditorClosed"));
  EXPECT_EQ(plugin.GetRememberedWidth(), 1500);
  EXPECT_EQ(plugin.GetRememberedHeight(), 580);
  EXPECT_EQ(plugin.GetRememberedScale(), 1.5f);

  log = GraphicsLog{}; // a fresh context starts at 998 x 386, scale 1
  plugin.OpenEditor(parent);
  EXPECT_THAT(log.calls, ElementsAre(Call("SetEditorSize", 1500, 580, 1.5), Call("OpenEditorWindow", 0x42)));
}

TEST(EditorDelegateParking, OneClosedEditorInTheProcessIsKeptForItsNextOpening)
{
  void* const parent = reinterpret_cast<void*>(0x42);
  GraphicsLog firstLog, secondLog;
  firstLog.canPark = secondLog.canPark = true;
  {
    RecordingPlugin first(TestDefinition(1));
    first.UseFakeGraphics(firstLog);
    {
      RecordingPlugin second(TestDefinition(1));
      second.UseFakeGraphics(secondLog);

      first.OpenEditor(parent);
      first.CloseEditor();
      EXPECT_EQ(first.GetEditor(), nullptr) << "a parked editor is not open";
      EXPECT_FALSE(firstLog.destroyed);
      EXPECT_THAT(firstLog.calls, ElementsAre(Call("OpenEditorWindow", 0x42), "ParkEditorWindow"));
      first.SendParameterValueToEditor(0, 0.25, true);
      first.DeliverPendingEditorValues();
      EXPECT_THAT(firstLog.calls, testing::Not(testing::Contains(Call("SetControlValuesOfParam", 0, 0.25))))
        << "values wait for the opening";

      firstLog.calls.clear();
      first.OpenEditor(parent);
      EXPECT_EQ(firstLog.built, 1) << "the parked editor opens again";
      EXPECT_THAT(firstLog.calls, ElementsAre(Call("SetEditorSize", 998, 386, 1.0), Call("OpenEditorWindow", 0x42)))
        << "at the size remembered when it closed";
      first.CloseEditor();

      second.OpenEditor(parent);
      second.CloseEditor();
      EXPECT_TRUE(firstLog.destroyed) << "parking another editor releases the one parked before";
      EXPECT_FALSE(secondLog.destroyed);
    }
    EXPECT_TRUE(secondLog.destroyed) << "a plug-in that goes releases its parked editor";

    first.OpenEditor(parent);
    EXPECT_EQ(firstLog.built, 2);
    first.CloseEditor();
  }
  EXPECT_TRUE(firstLog.destroyed);
  // The slot is empty again: parking now touches no plug-in that is gone.
  RecordingPlugin third(TestDefinition(1));
  third.UseFakeGraphics(secondLog);
  third.OpenEditor(parent);
  third.CloseEditor();
  EXPECT_FALSE(secondLog.destroyed);
}

TEST_F(EditorDelegateTest, AnIncompleteRememberedSizeIsNotApplied)
{
  plugin.UseFakeGraphics(log);
  const struct
  {
    int width, height;
    float scale;
  } cases[] = {{1500, 580, 0.f}, {1500, 0, 1.5f}, {0, 580, 1.5f}};
  for (const auto& c : cases)
  {
    plugin.RememberEditorSize(c.width, c.height, c.scale);
    plugin.OpenEditor(parent);
    EXPECT_THAT(log.calls, ElementsAre(Call("OpenEditorWindow", 0x42)));
    plugin.CloseEditor();
    log = GraphicsLog{};
  }
}

TEST_F(EditorDelegateTest, CloseEditorCalledFromOnEditorClosedReturnsAtOnce)
{
  plugin.UseFakeGraphics(log);
  Open();
  plugin.closeAgainWhenClosed = true;
  plugin.CloseEditor();
  EXPECT_THAT(plugin.events, ElementsAre("OnEditorClosed"));
  EXPECT_THAT(log.calls, ElementsAre("CloseEditorWindow"));
  EXPECT_FALSE(plugin.IsClosing());
}

TEST_F(EditorDelegateTest, ParameterValuesWaitForTheEditorsFrameAndArriveNormalizedLatestFirst)
{
  plugin.SendParameterValueToEditor(0, -5.0, false);
  EXPECT_THAT(plugin.events, ElementsAre(Call("OnParamChangeForEditor", 0, plug::kDelegate)));
  plugin.DeliverPendingEditorValues(); // no editor: the value waits, nothing breaks

  plugin.UseFakeGraphics(log);
  Open();
  plugin.SendParameterValueToEditor(2, 1.7, false); // meter readings above the range arrive clamped
  plugin.SendParameterValueToEditor(0, -5.0, false);
  EXPECT_THAT(log.calls, ElementsAre()) << "nothing reaches the editor before its frame";
  plugin.SendParameterValueToEditor(0, 0.25, true);
  plugin.SendParameterValueToEditor(7, 0.5, true); // no such parameter: dropped
  plugin.DeliverPendingEditorValues();
  EXPECT_THAT(log.calls, ElementsAre(Call("SetControlValuesOfParam", 0, 0.25), Call("SetControlValuesOfParam", 2, 1.0)));
  log.calls.clear();
  plugin.DeliverPendingEditorValues();
  EXPECT_THAT(log.calls, ElementsAre()) << "each value is delivered once";
  plugin.SendParameterValueToEditor(0, -20.0, false);
  plugin.DeliverPendingEditorValues();
  EXPECT_THAT(log.calls, ElementsAre(Call("SetControlValuesOfParam", 0, 0.0)));
}

TEST_F(EditorDelegateTest, OnEditorOpenedAndStateRestoreSendEveryNormalizedValue)
{
  plugin.UseFakeGraphics(log);
  Open();
  plugin.GetParameter(0)->SetPlain(-20.0);
  plugin.GetParameter(2)->SetPlain(0.3);
  plugin.OnEditorOpened();
  plugin.DeliverPendingEditorValues();
  const std::vector<std::string> expected = {Call("SetControlValuesOfParam", 0, 0.0), Call("SetControlValuesOfParam", 1, 1.0),
                                             Call("SetControlValuesOfParam", 2, 0.3)};
  EXPECT_EQ(log.calls, expected);
  log.calls.clear();
  plugin.AfterStateRestored();
  plugin.DeliverPendingEditorValues();
  EXPECT_EQ(log.calls, expected);
}

TEST_F(EditorDelegateTest, ControlValuesMessagesMidiAndScaleReachTheOpenContext)
{
  plugin.UseFakeGraphics(log);
  Open();
  plugin.SendControlValueToEditor(7, 0.25);
  plugin.SendControlMessageToEditor(7, 3, 2, "ab");
  plugin.SendMidiToEditor(plug::IMidiMsg{0, 0xB0, 1, 2});
  plugin.ApplyScreenScale(2.f);
  EXPECT_THAT(log.calls, ElementsAre(Call("SetControlValueByTag", 7, 0.25), Call("SendMessageToControl", 7, 3, 2),
                                     Call("SendMidiToControls", 0xB0), Call("SetDisplayScale", 2.0)));
  EXPECT_THAT(plugin.events, ElementsAre(Call("OnMidiForEditor", 0xB0)));
}

TEST_F(EditorDelegateTest, KeysGoToTheOpenContextAtTheCursor)
{
  plug::IKeyEvent key;
  key.vk = 37;
  EXPECT_FALSE(plugin.ForwardKeyDown(key));

  plugin.UseFakeGraphics(log);
  Open();
  log.cursorX = 12.f;
  log.cursorY = 34.f;
  EXPECT_TRUE(plugin.ForwardKeyDown(key));
  log.keyHandled = false;
  EXPECT_FALSE(plugin.ForwardKeyUp(key));
  EXPECT_THAT(log.calls, ElementsAre(Call("OnKeyDown", 12, 34, 37), Call("OnKeyUp", 12, 34, 37)));
}

TEST_F(EditorDelegateTest, EditorSizeComesFromTheDefinitionWithLimitsInOrder)
{
  EXPECT_EQ(plugin.GetEditorWidth(), 998);
  EXPECT_EQ(plugin.GetEditorHeight(), 386);
  EXPECT_EQ(plugin.GetMinWidth(), 499);
  EXPECT_EQ(plugin.GetMaxWidth(), 1996);

  plug::IPluginDefinition def = TestDefinition(1);
  def.minWidth = 800;
  def.maxWidth = 400;
  def.minHeight = 300;
  def.maxHeight = 200;
  RecordingPlugin swapped(def);
  EXPECT_EQ(swapped.GetMinWidth(), 400);
  EXPECT_EQ(swapped.GetMaxWidth(), 800);
  EXPECT_EQ(swapped.GetMinHeight(), 200);
  EXPECT_EQ(swapped.GetMaxHeight(), 300);

  plug::IEditorDelegate bare(0);
  EXPECT_EQ(bare.GetMinWidth(), 10);
  EXPECT_EQ(bare.GetMaxHeight(), 100000);
}

namespace {

// Records on which threads its controls were set and whether it was ever
// called after its destruction began.
struct ThreadRecord
{
  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::atomic<long> valuesReceived{0};
};

class ThreadRecordingGraphics : public plugtest::FakeGraphics
{
public:
  ThreadRecordingGraphics(GraphicsLog& log, ThreadRecord& record) : FakeGraphics(log), mRecord(record) {}
  void SetControlValuesOfParam(int, double) override
  {
    {
      std::lock_guard<std::mutex> lock(mRecord.mutex);
      mRecord.threads.insert(std::this_thread::get_id());
    }
    ++mRecord.valuesReceived;
  }
  void CloseEditorWindow() override {}
  void* OpenEditorWindow(void*) override { return nullptr; }

private:
  ThreadRecord& mRecord;
};

} // namespace

TEST(EditorDelegateThreads, MeterValuesFromTheAudioThreadReachTheEditorOnlyOnItsOwnThread)
{
  plug::IPluginAPIBase plugin(TestDefinition(27)); // no logging hooks: they would race between the threads
  GraphicsLog log;
  ThreadRecord record;
  plugin.MakeGraphicsFunction = [&log, &record] { return std::make_unique<ThreadRecordingGraphics>(log, record); };
  std::atomic<bool> stop{false};
  std::atomic<long> sent{0};
  std::thread audio([&] {
    while (!stop)
    {
      plugin.SendParameterValueToEditor(25, 0.5, false);
      plugin.SendParameterValueToEditor(26, 0.25, false);
      ++sent;
    }
  });
  // Editors open and close while the meters run; each open editor gets a few frames.
  for (int i = 0; i < 2000; ++i)
  {
    plugin.OpenEditor(nullptr);
    plugin.DeliverPendingEditorValues();
    std::this_thread::yield();
    plugin.DeliverPendingEditorValues();
    plugin.CloseEditor();
  }
  // On a loaded machine the sender may not have run yet: keep one editor open until it has.
  plugin.OpenEditor(nullptr);
  for (int waited = 0; record.valuesReceived.load() == 0 && waited < 5000; ++waited)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    plugin.DeliverPendingEditorValues();
  }
  plugin.CloseEditor();
  stop = true;
  audio.join();
  EXPECT_GT(sent.load(), 0);
  EXPECT_GT(record.valuesReceived.load(), 0);
  EXPECT_THAT(record.threads, ElementsAre(std::this_thread::get_id()));
}
