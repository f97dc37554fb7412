// The component's read-out of the values the processing sends to the editor:
// a host sees the readings there, and nowhere else.

#include "PluginFixture.h"

namespace Vst = Steinberg::Vst;
using Steinberg::kResultOk;

namespace {

class EditorValueReadout : public PluginFixture
{
protected:
  void SetUp() override
  {
    PluginFixture::SetUp();
    void* obj = nullptr;
    ASSERT_EQ(plugin->queryInterface(plug::IEditorValueReadout_iid, &obj), kResultOk);
    readout = Steinberg::owned(static_cast<plug::IEditorValueReadout*>(obj));
    Prepare(Vst::kSample32);
    data.outputParameterChanges = &outputChanges;
  }

  void TearDown() override
  {
    readout = nullptr;
    PluginFixture::TearDown();
  }

  std::vector<uint8_t> State()
  {
    auto stream = Steinberg::owned(new TestStream());
    EXPECT_EQ(plugin->getState(stream), kResultOk);
    return stream->data;
  }

  Steinberg::IPtr<plug::IEditorValueReadout> readout;
  Vst::ParameterChanges outputChanges{16};
};

} // namespace

TEST_F(EditorValueReadout, ShowsTheLastPlainValueOfEachParameterSentByTheProcessing)
{
  for (int i = 0; i < kNumTestParams; ++i)
    EXPECT_EQ(readout->getLastEditorValue(i), 0.0) << "before any block, parameter " << i;

  plugin->readingsToSend = {{kRate, 7.5}, {kUnused, 0.25}, {kUnused, 0.625}};
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(readout->getLastEditorValue(kRate), 7.5);
  EXPECT_EQ(readout->getLastEditorValue(kUnused), 0.625) << "the later send of the block";
  EXPECT_EQ(readout->getLastEditorValue(kGain), 0.0) << "nothing sent for it";

  plugin->readingsToSend = {{kRate, 2.0}};
  ASSERT_EQ(Process(), kResultOk);
  EXPECT_EQ(readout->getLastEditorValue(kRate), 2.0);
  EXPECT_EQ(readout->getLastEditorValue(kUnused), 0.625) << "kept until the next reading";
}

TEST_F(EditorValueReadout, UnknownIndexesReadZero)
{
  plugin->readingsToSend = {{kRate, 7.5}, {-1, 3.0}, {kNumTestParams, 3.0}};
  ASSERT_EQ(Process(), kResultOk);
  for (Steinberg::int32 index : {-1, static_cast<int>(kNumTestParams), 1000, static_cast<int>(plug::kBypassParamID)})
    EXPECT_EQ(readout->getLastEditorValue(index), 0.0) << index;
}

TEST_F(EditorValueReadout, NormalizedEchoesOfParameterValuesAreNoReadings)
{
  plugin->readingsToSend = {{kRate, 7.5}};
  ASSERT_EQ(Process(), kResultOk);
  ASSERT_EQ(plugin->setParamNormalized(kRate, 0.5), kResultOk);
  ASSERT_EQ(plugin->setParamNormalized(kGain, 0.25), kResultOk);
  plugin->OnEditorOpened();
  ASSERT_GT(plugin->valuesSentToEditor.size(), 2u) << "the echoes went to the editor";
  EXPECT_EQ(readout->getLastEditorValue(kRate), 7.5);
  EXPECT_EQ(readout->getLastEditorValue(kGain), 0.0);
}

TEST_F(EditorValueReadout, ReadingsStayOutOfParametersOutputChangesAndState)
{
  const std::vector<uint8_t> stateBefore = State();
  const double rateBefore = plugin->getParamNormalized(kRate);
  plugin->readingsToSend = {{kRate, 7.5}, {kUnused, 0.25}};
  ASSERT_EQ(Process(), kResultOk);
  ASSERT_EQ(readout->getLastEditorValue(kRate), 7.5);

  EXPECT_EQ(outputChanges.getParameterCount(), 0);
  EXPECT_EQ(plugin->getParamNormalized(kRate), rateBefore);
  EXPECT_EQ(plugin->getParamNormalized(kUnused), 0.0);
  EXPECT_EQ(plugin->GetParameter(kRate)->GetPlain(), 4.0);
  EXPECT_EQ(State(), stateBefore);
}
