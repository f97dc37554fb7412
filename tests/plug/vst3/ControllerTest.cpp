#include "PluginFixture.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <limits>

namespace Vst = Steinberg::Vst;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;

namespace {

std::u16string Text(const Vst::TChar* text)
{
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

std::vector<uint8_t> StateOf(TestPlugin& plugin)
{
  auto stream = Steinberg::owned(new TestStream());
  EXPECT_EQ(plugin.getState(stream), kResultOk);
  return stream->data;
}

} // namespace

using Controller = PluginFixture;

TEST_F(Controller, PublishesEveryParameterAndTheBypass)
{
  ASSERT_EQ(plugin->getParameterCount(), 1 + kNumTestParams);
  Vst::ParameterInfo info{};
  ASSERT_EQ(plugin->getParameterInfo(0, info), kResultTrue);
  EXPECT_EQ(info.id, plug::kBypassParamID);
  EXPECT_EQ(Text(info.title), u"Bypass");
  EXPECT_EQ(info.stepCount, 1);
  EXPECT_EQ(info.flags, 0x10009);
  EXPECT_EQ(info.unitId, 0);
  EXPECT_EQ(info.defaultNormalizedValue, 0.0);

  struct Expected
  {
    std::u16string title;
    std::u16string units;
    Steinberg::int32 stepCount;
    double defaultNormalized;
    Steinberg::int32 flags;
    Vst::UnitID unit;
  };
  const Expected expected[kNumTestParams] = {
    {u"Gain", u"dB", 0, 20.0 / 30.0, Vst::ParameterInfo::kCanAutomate, 0},
    {u"Mode", u"", 1, 0.0, Vst::ParameterInfo::kCanAutomate, 0}, // display text for 0: no units
    {u"Shape", u"", 2, 0.5, Vst::ParameterInfo::kCanAutomate | Vst::ParameterInfo::kIsList, 1},
    {u"Freeze", u"", 1, 0.0, 0, 1},
    {u"Rate", u"Hz", 0, plugin->GetParameter(kRate)->GetDefaultValue(true), Vst::ParameterInfo::kCanAutomate, 2},
    {u"Parameter 5", u"", 1, 0.0, Vst::ParameterInfo::kCanAutomate, 0}, // never declared: a made-up title
  };
  for (int i = 0; i < kNumTestParams; ++i)
  {
    ASSERT_EQ(plugin->getParameterInfo(1 + i, info), kResultTrue);
    EXPECT_EQ(info.id, static_cast<Vst::ParamID>(i));
    EXPECT_EQ(Text(info.title), expected[i].title) << i;
    EXPECT_EQ(Text(info.shortTitle), u"") << i;
    EXPECT_EQ(Text(info.units), expected[i].units) << i;
    EXPECT_EQ(info.stepCount, expected[i].stepCount) << i;
    EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, expected[i].defaultNormalized) << i;
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(i), expected[i].defaultNormalized) << i;
    EXPECT_EQ(info.flags, expected[i].flags) << i;
    EXPECT_EQ(info.unitId, expected[i].unit) << i;
  }

  ASSERT_EQ(plugin->getUnitCount(), 3);
  const std::pair<std::u16string, Vst::UnitID> units[] = {{u"Root", -1}, {u"Drive", 0}, {u"Mod", 0}};
  for (int i = 0; i < 3; ++i)
  {
    Vst::UnitInfo unit{};
    ASSERT_EQ(plugin->getUnitInfo(i, unit), kResultTrue);
    EXPECT_EQ(unit.id, i);
    EXPECT_EQ(Text(unit.name), units[i].first);
    EXPECT_EQ(unit.parentUnitId, units[i].second);
    EXPECT_EQ(unit.programListId, Vst::kNoProgramListId);
  }
  EXPECT_EQ(plugin->getParamNormalized(0x2000), 0.0) << "no such parameter";
}

TEST_F(Controller, InstrumentsHaveNoBypass)
{
  TestPluginOptions options;
  options.kind = plug::kInstrument;
  Create(u"Test Host", options);
  EXPECT_EQ(plugin->getParameterCount(), kNumTestParams);
  EXPECT_EQ(plugin->getParameterObject(plug::kBypassParamID), nullptr);
}

TEST_F(Controller, TextsComeFromTheParameters)
{
  Vst::String128 text{};
  ASSERT_EQ(plugin->getParamStringByValue(kMode, 1.0, text), kResultOk);
  EXPECT_EQ(Text(text), u"Mode On");
  ASSERT_EQ(plugin->getParamStringByValue(kGain, 0.5, text), kResultOk);
  EXPECT_EQ(Text(text), u"-5.0");
  ASSERT_EQ(plugin->getParamStringByValue(plug::kBypassParamID, 1.0, text), kResultOk);
  EXPECT_EQ(Text(text), u"on");

  struct Case
  {
    int idx;
    const char16_t* text;
    double normalized;
  };
  const Case cases[] = {
    {kMode, u"Mode On", 1.0},
    {kShape, u"Clip", 1.0},
    {kShape, u"Soft", 0.0},
    {kGain, u"-5", 0.5},
    {kGain, u"40", 1.0},
  };
  for (const Case& c : cases)
  {
    std::u16string input = c.text;
    Vst::ParamValue value = -1.0;
    ASSERT_EQ(plugin->getParamValueByString(c.idx, reinterpret_cast<Vst::TChar*>(&input[0]), value), kResultOk);
    EXPECT_DOUBLE_EQ(value, c.normalized) << c.idx;
  }
  EXPECT_DOUBLE_EQ(plugin->normalizedParamToPlain(kRate, 1.0), 20.0);
  EXPECT_DOUBLE_EQ(plugin->plainParamToNormalized(kGain, -20.0), 0.0);
}

// A host may ask for the text or plain value of any number: values beyond
// 0..1 count as the nearest end. (The SDK's list parameter threw through
// the host for the bypass text of -0.5, found by fuzzing.)
TEST_F(Controller, TextsOfValuesOutsideTheNormalizedRangeAreTheEnds)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct
  {
    double asked;
    const char16_t* bypass;
    const char16_t* gain;
  } cases[] = {
    {-0.5, u"off", u"-20.0"}, {-1e300, u"off", u"-20.0"}, {1.5, u"on", u"10.0"}, {1e300, u"on", u"10.0"},
    {nan, u"off", u"-20.0"},
  };
  for (const auto& c : cases)
  {
    Vst::String128 text{};
    ASSERT_EQ(plugin->getParamStringByValue(plug::kBypassParamID, c.asked, text), kResultOk);
    EXPECT_EQ(Text(text), c.bypass) << c.asked;
    ASSERT_EQ(plugin->getParamStringByValue(kGain, c.asked, text), kResultOk);
    EXPECT_EQ(Text(text), c.gain) << c.asked;
    const double plain = plugin->normalizedParamToPlain(plug::kBypassParamID, c.asked);
    EXPECT_EQ(plain, Text(c.bypass) == u"on" ? 1.0 : 0.0) << c.asked;
  }
}

TEST_F(Controller, SetParamNormalizedReachesTheEditorButNotTheProcessingHook)
{
  plugin->paramChanges.clear();
  plugin->editorChanges.clear();
  ASSERT_EQ(plugin->setParamNormalized(plug::kBypassParamID, 1.0), kResultOk);
  EXPECT_EQ(plugin->getParamNormalized(plug::kBypassParamID), 1.0);
  EXPECT_FALSE(plugin->GetBypassed()) << "the processor follows through process()";
  EXPECT_TRUE(plugin->editorChanges.empty());
  EXPECT_TRUE(plugin->valuesSentToEditor.empty());

  ASSERT_EQ(plugin->setParamNormalized(kGain, 0.25), kResultOk);
  EXPECT_DOUBLE_EQ(plugin->GetParameter(kGain)->GetPlain(), -12.5);
  EXPECT_EQ(plugin->getParamNormalized(kGain), 0.25);
  ASSERT_FALSE(plugin->editorChanges.empty());
  EXPECT_EQ(plugin->editorChanges.front(), std::make_pair(static_cast<int>(kGain), static_cast<int>(plug::kHost)));
  ASSERT_EQ(plugin->valuesSentToEditor.size(), 1u);
  EXPECT_EQ(plugin->valuesSentToEditor[0], std::make_pair(static_cast<int>(kGain), 0.25));
  EXPECT_TRUE(plugin->paramChanges.empty());

  EXPECT_EQ(plugin->setParamNormalized(0x2000, 0.5), kResultFalse);
}

TEST_F(Controller, MidiControllerAssignment)
{
  struct Case
  {
    Steinberg::int32 bus;
    Steinberg::int16 channel;
    Vst::CtrlNumber controller;
    Steinberg::tresult result;
    Vst::ParamID id;
  };
  const Case cases[] = {
    {0, 0, 7, kResultTrue, 0x10009},
    {0, 0, Vst::kPitchBend, kResultTrue, 0x10083},
    {0, 1, 7, kResultFalse, 0},
    {1, 0, 7, kResultFalse, 0},
    {0, -1, Vst::kAfterTouch, kResultFalse, 0},  // would land on the bypass id
    {0, 0, -2, kResultFalse, 0},
    {0, 0, Vst::kCtrlProgramChange, kResultFalse, 0},
  };
  for (const Case& c : cases)
  {
    Vst::ParamID id = 0;
    EXPECT_EQ(plugin->getMidiControllerAssignment(c.bus, c.channel, c.controller, id), c.result)
      << c.bus << "/" << c.channel << "/" << c.controller;
    if (c.result == kResultTrue)
    {
      EXPECT_EQ(id, c.id);
    }
  }
}

TEST_F(Controller, StateIsTheParametersAndABypassWord)
{
  plugin->GetParameter(kGain)->SetPlain(-3.0);
  plugin->GetParameter(kShape)->SetPlain(2.0);
  plugin->SetBypassed(true);
  const std::vector<uint8_t> state = StateOf(*plugin);
  ASSERT_EQ(state.size(), kNumTestParams * sizeof(double) + 4);
  EXPECT_EQ(std::vector<uint8_t>(state.end() - 4, state.end()), (std::vector<uint8_t>{1, 0, 0, 0}));

  Create(u"Test Host");
  plugin->paramChanges.clear();
  auto stream = Steinberg::owned(new TestStream(state));
  ASSERT_EQ(plugin->setState(stream), kResultOk);
  EXPECT_EQ(plugin->GetParameter(kGain)->GetPlain(), -3.0);
  EXPECT_EQ(plugin->getParamNormalized(kGain), plugin->GetParameter(kGain)->GetNormalized());
  EXPECT_EQ(plugin->getParamNormalized(kShape), 1.0);
  EXPECT_EQ(plugin->getParamNormalized(plug::kBypassParamID), 1.0);
  EXPECT_FALSE(plugin->GetBypassed()) << "the processor's flag follows through process()";
  EXPECT_EQ(plugin->statesRestored, 1);
  EXPECT_EQ(plugin->paramChanges.size(), static_cast<size_t>(kNumTestParams)) << "announced as a preset recall";
  EXPECT_EQ(plugin->paramChanges[0].source, plug::kPresetRecall);
}

TEST_F(Controller, StateWithoutTheBypassWordLoadsButFails)
{
  std::vector<uint8_t> state = StateOf(*plugin);
  plugin->GetParameter(kGain)->SetPlain(7.0);
  state.resize(state.size() - 4);
  auto stream = Steinberg::owned(new TestStream(state));
  EXPECT_EQ(plugin->setState(stream), kResultFalse);
  EXPECT_EQ(plugin->GetParameter(kGain)->GetPlain(), 0.0) << "the parameters are loaded";
  EXPECT_EQ(plugin->statesRestored, 0) << "the editor is not refreshed";
}

TEST_F(Controller, TruncatedStateFailsWithoutSeekingBeforeTheStart)
{
  std::vector<uint8_t> state = StateOf(*plugin);
  state.resize(20);
  auto stream = Steinberg::owned(new TestStream(state));
  EXPECT_EQ(plugin->setState(stream), kResultFalse);
  EXPECT_TRUE(stream->seeks.empty());
  auto empty = Steinberg::owned(new TestStream());
  EXPECT_EQ(plugin->setState(empty), kResultFalse);
  EXPECT_EQ(plugin->setState(nullptr), kResultFalse);
  EXPECT_EQ(plugin->getState(nullptr), kResultFalse);
}

TEST_F(Controller, StateIsReadFromWhereTheStreamStands)
{
  plugin->GetParameter(kRate)->SetPlain(9.0);
  const std::vector<uint8_t> state = StateOf(*plugin);
  std::vector<uint8_t> bytes = {0xAA, 0xBB, 0xCC};
  bytes.insert(bytes.end(), state.begin(), state.end());
  Create(u"Test Host");
  auto stream = Steinberg::owned(new TestStream(bytes));
  stream->position = 3;
  ASSERT_EQ(plugin->setState(stream), kResultOk);
  EXPECT_EQ(plugin->GetParameter(kRate)->GetPlain(), 9.0);
}

TEST_F(Controller, ReadErrorsEndTheStateExceptForWaveLab)
{
  plugin->GetParameter(kGain)->SetPlain(4.0);
  const std::vector<uint8_t> state = StateOf(*plugin);
  for (const auto& [name, result] : {std::pair<const char16_t*, Steinberg::tresult>{u"Test Host", kResultFalse},
                                     {u"WaveLab 11", kResultOk}})
  {
    Create(name);
    auto stream = Steinberg::owned(new TestStream(state));
    stream->readLimit = 16;
    stream->readResult = kResultFalse;
    EXPECT_EQ(plugin->setState(stream), result) << "host " << (result == kResultOk ? "WaveLab" : "other");
  }
  EXPECT_EQ(plugin->GetParameter(kGain)->GetPlain(), 4.0);
}

// A stream that delivers a few bytes per read, also within the bypass word
// at the end (found by fuzzing: a load from such a stream failed).
TEST_F(Controller, StateLoadsFromAStreamThatDeliversInSmallPieces)
{
  plugin->GetParameter(kGain)->SetPlain(4.0);
  ASSERT_EQ(plugin->setParamNormalized(plug::kBypassParamID, 1.0), kResultOk);
  plugin->SetBypassed(true);
  const std::vector<uint8_t> state = StateOf(*plugin);
  for (Steinberg::int64 pieces : {1, 2, 3, 5, 7})
  {
    Create(u"Test Host");
    auto stream = Steinberg::owned(new TestStream(state));
    stream->readLimit = pieces;
    EXPECT_EQ(plugin->setState(stream), kResultOk) << pieces << " bytes per read";
    EXPECT_EQ(plugin->GetParameter(kGain)->GetPlain(), 4.0) << pieces << " bytes per read";
    EXPECT_EQ(plugin->getParamNormalized(plug::kBypassParamID), 1.0) << pieces << " bytes per read";
  }
}

TEST_F(Controller, ProgramNamesComeFromThePresets)
{
  Vst::String128 name{};
  ASSERT_EQ(plugin->getProgramName(plug::kPresetParamID, 0, name), kResultOk);
  EXPECT_EQ(Text(name), u"empty");
  ASSERT_EQ(plugin->getProgramName(plug::kPresetParamID, 5, name), kResultOk);
  EXPECT_EQ(Text(name), u"");
  EXPECT_EQ(plugin->getProgramName(0, 0, name), kResultFalse);
  EXPECT_EQ(plugin->getProgramListCount(), 0);
}

TEST_F(Controller, ChannelContextKeysAreReadIndependently)
{
  EXPECT_EQ(plugin->setChannelContextInfos(nullptr), kResultFalse);

  auto list = Vst::HostAttributeList::make();
  const std::u16string name = u"Drums \u00e9";
  list->setInt(Vst::ChannelContext::kChannelNameLengthKey, static_cast<Steinberg::int64>(name.size()));
  list->setString(Vst::ChannelContext::kChannelNameKey, reinterpret_cast<const Vst::TChar*>(name.c_str()));
  list->setInt(Vst::ChannelContext::kChannelColorKey, 0xFF112233);
  list->setInt(Vst::ChannelContext::kChannelIndexKey, 4);
  list->setInt(Vst::ChannelContext::kChannelIndexNamespaceOrderKey, 2);
  list->setString(Vst::ChannelContext::kChannelIndexNamespaceKey, STR16("Audio"));
  ASSERT_EQ(plugin->setChannelContextInfos(list), kResultOk);

  std::string text;
  plugin->TrackName(text);
  EXPECT_EQ(text, "Drums \xC3\xA9");
  int red = 0, green = 0, blue = 0;
  plugin->TrackColour(red, green, blue);
  EXPECT_EQ(std::make_tuple(red, green, blue), std::make_tuple(0x11, 0x22, 0x33));
  EXPECT_EQ(plugin->TrackIndex(), 4);
  EXPECT_EQ(plugin->TrackNamespaceIndex(), 2);
  plugin->TrackNamespace(text);
  EXPECT_EQ(text, "Audio");

  auto colourOnly = Vst::HostAttributeList::make();
  colourOnly->setInt(Vst::ChannelContext::kChannelColorKey, 0x00000080);
  colourOnly->setInt(Vst::ChannelContext::kChannelNameLengthKey, 1 << 30); // no name follows
  ASSERT_EQ(plugin->setChannelContextInfos(colourOnly), kResultOk);
  plugin->TrackName(text);
  EXPECT_EQ(text, "Drums \xC3\xA9");
  plugin->TrackColour(red, green, blue);
  EXPECT_EQ(blue, 0x80);
}

namespace {

// A host's attribute list that writes more text than the buffer it is handed:
// Ardour 7 states a channel name shorter than the one it copies whole, and
// takes the size in bytes for a count of UTF-16 units.
class OverreachingAttributes : public Steinberg::FObject, public Vst::IAttributeList
{
public:
  enum class Reach
  {
    WholeText,        // copies all of the text and its terminator, whatever the size
    SizeTakenAsUnits, // copies up to sizeInBytes units
  };

  OverreachingAttributes(Reach reach, std::u16string name, Steinberg::int64 statedLength)
    : mReach(reach), mName(std::move(name)), mStatedLength(statedLength)
  {
  }

  Steinberg::tresult PLUGIN_API getString(AttrID id, Vst::TChar* string, Steinberg::uint32 sizeInBytes) override
  {
    if (std::string(id) != Vst::ChannelContext::kChannelNameKey)
      return kResultFalse;
    const size_t units = mReach == Reach::WholeText ? mName.size() + 1 : std::min<size_t>(mName.size() + 1, sizeInBytes);
    std::copy(mName.c_str(), mName.c_str() + units, reinterpret_cast<char16_t*>(string));
    return kResultTrue;
  }
  Steinberg::tresult PLUGIN_API getInt(AttrID id, Steinberg::int64& value) override
  {
    if (std::string(id) != Vst::ChannelContext::kChannelNameLengthKey || mStatedLength < 0)
      return kResultFalse;
    value = mStatedLength;
    return kResultTrue;
  }
  Steinberg::tresult PLUGIN_API setInt(AttrID, Steinberg::int64) override { return kResultFalse; }
  Steinberg::tresult PLUGIN_API setFloat(AttrID, double) override { return kResultFalse; }
  Steinberg::tresult PLUGIN_API getFloat(AttrID, double&) override { return kResultFalse; }
  Steinberg::tresult PLUGIN_API setString(AttrID, const Vst::TChar*) override { return kResultFalse; }
  Steinberg::tresult PLUGIN_API setBinary(AttrID, const void*, Steinberg::uint32) override { return kResultFalse; }
  Steinberg::tresult PLUGIN_API getBinary(AttrID, const void*&, Steinberg::uint32&) override { return kResultFalse; }

  OBJ_METHODS(OverreachingAttributes, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Vst::IAttributeList)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  Reach mReach;
  std::u16string mName;
  Steinberg::int64 mStatedLength;
};

} // namespace

// Seen in Ardour 7 under valgrind: the name's copy ran past KORVEL's buffer and
// Ardour later died of the damaged heap. AddressSanitizer stops at such a write.
TEST_F(Controller, ChannelNameFromAHostThatWritesPastTheStatedSize)
{
  using Reach = OverreachingAttributes::Reach;
  const std::u16string longName(5000, u'x');
  struct Case
  {
    Reach reach;
    std::u16string name;
    Steinberg::int64 statedLength;
    std::string kept;
  };
  const Case cases[] = {
    {Reach::WholeText, u"Drums", 3, "Drums"},
    {Reach::WholeText, u"Drums", 0, "Drums"},
    {Reach::SizeTakenAsUnits, u"Bass", -1, "Bass"},
    {Reach::SizeTakenAsUnits, longName, -1, std::string(4096, 'x')},
    {Reach::SizeTakenAsUnits, longName, 5000, std::string(4096, 'x')},
  };
  for (const Case& c : cases)
  {
    auto list = Steinberg::owned(new OverreachingAttributes(c.reach, c.name, c.statedLength));
    ASSERT_EQ(plugin->setChannelContextInfos(list), kResultOk);
    std::string name;
    plugin->TrackName(name);
    EXPECT_EQ(name, c.kept) << "stated length " << c.statedLength;
  }
}

TEST_F(Controller, QueryInterface)
{
  struct Case
  {
    const Steinberg::TUID& iid;
    bool offered;
    const char* name;
  };
  const Case cases[] = {
    {Vst::IMidiMapping::iid, true, "IMidiMapping"},
    {Vst::ChannelContext::IInfoListener::iid, true, "IInfoListener"},
    {Vst::IComponent::iid, true, "IComponent"},
    {Vst::IAudioProcessor::iid, true, "IAudioProcessor"},
    {Vst::IProcessContextRequirements::iid, true, "IProcessContextRequirements"},
    {Vst::IUnitInfo::iid, true, "IUnitInfo"},
    {Vst::IEditController::iid, true, "IEditController"},
    {Vst::IEditController2::iid, true, "IEditController2"},
    {Vst::IConnectionPoint::iid, false, "IConnectionPoint"},
    {plug::IEditorValueReadout::iid, true, "IEditorValueReadout"},
  };
  for (const Case& c : cases)
  {
    void* obj = nullptr;
    const Steinberg::tresult result = plugin->queryInterface(c.iid, &obj);
    EXPECT_EQ(result == kResultOk, c.offered) << c.name;
    EXPECT_EQ(obj != nullptr, c.offered) << c.name;
    if (obj)
      static_cast<Steinberg::FUnknown*>(obj)->release();
  }
  EXPECT_EQ(plugin->getProcessContextRequirements(), 0u);
}

TEST_F(Controller, HostEditsGoToTheComponentHandler)
{
  plugin->GetParameter(kGain)->SetPlain(-20.0);
  plugin->PushAllParametersToHost();
  EXPECT_EQ(plugin->getParamNormalized(kGain), 0.0);
  ASSERT_EQ(handler->calls.size(), static_cast<size_t>(kNumTestParams + 2));
  EXPECT_EQ(handler->calls.front(), "start group");
  EXPECT_EQ(handler->calls[1], "perform 0");
  EXPECT_EQ(handler->calls.back(), "finish group");

  handler->calls.clear();
  plugin->BeginHostEditFromEditor(kRate);
  plugin->SetParameterFromEditor(kRate, 1.0);
  plugin->EndHostEditFromEditor(kRate);
  EXPECT_EQ(handler->calls, (std::vector<std::string>{"begin 4", "perform 4", "end 4"}));
  EXPECT_EQ(plugin->getParamNormalized(kRate), 1.0);
  EXPECT_EQ(plugin->GetParameter(kRate)->GetPlain(), 20.0);

  plugin->HostParameterInfoChanged();
  EXPECT_EQ(handler->restarts, (std::vector<Steinberg::int32>{Vst::kParamTitlesChanged}));
}

TEST_F(Controller, EditControllerStateCallsAreAccepted)
{
  auto stream = Steinberg::owned(new TestStream());
  Vst::IEditController* controller = plugin;
  EXPECT_EQ(controller->setComponentState(stream), kResultOk);
  EXPECT_EQ(controller->setEditorState(stream), kResultOk); // the host calls it setState
  EXPECT_EQ(controller->getEditorState(stream), kResultOk);
  EXPECT_TRUE(stream->data.empty());
}
