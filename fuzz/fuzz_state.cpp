// Project states: arbitrary bytes through the plug-in's LoadState and the
// framework's UnserializeParams at any position, and through the
// component's and the controller's setState with streams that deliver in
// short reads, report errors or fail to seek.
//
// Promises checked: every parameter ends inside its range, the processing
// that follows stays finite, a state that loaded saves and loads again to
// the same values, and nothing crashes on the way.

#include "FuzzHost.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

namespace {

enum EEntry
{
  kLoadState,
  kUnserializeParams,
  kComponentSetState,
  kControllerSetState,
  kNumEntries
};

void CheckProcessing(KORVEL& plugin)
{
  constexpr int kFrames = 32;
  std::vector<double> channels[4];
  double* inputs[4];
  for (int ch = 0; ch < 4; ++ch)
  {
    channels[ch].resize(kFrames);
    for (int n = 0; n < kFrames; ++n)
      channels[ch][n] = ((n * 7 + ch * 3) % 11) / 5.0 - 1.0;
    inputs[ch] = channels[ch].data();
  }
  std::vector<double> left(kFrames), right(kFrames);
  double* outputs[2] = {left.data(), right.data()};
  plugin.ProcessAudio(inputs, outputs, kFrames);
  for (int n = 0; n < kFrames; ++n)
    FUZZ_CHECK(std::isfinite(left[n]) && std::isfinite(right[n]), "frame %d after the load: %g %g", n, left[n],
               right[n]);
}

std::vector<double> PlainValues(KORVEL& plugin)
{
  std::vector<double> values;
  for (int i = 0; i < plugin.NParams(); ++i)
    values.push_back(plugin.GetParameter(i)->GetPlain());
  return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzedDataProvider input(data, size);
  const auto entry = static_cast<EEntry>(input.ConsumeIntegralInRange<int>(0, kNumEntries - 1));
  const int hostChoice = input.ConsumeIntegralInRange<int>(0, 7);
  const int startPos = input.ConsumeIntegralInRange<int>(-2, 16);
  auto stream = Steinberg::owned(new TestStream());
  stream->readLimit = input.ConsumeIntegralInRange<int>(0, 300);
  if (stream->readLimit == 0)
    stream->readLimit = 1 << 30;
  static const Steinberg::tresult kReadResults[] = {Steinberg::kResultOk, Steinberg::kResultFalse,
                                                    Steinberg::kInternalError};
  stream->readResult = kReadResults[input.ConsumeIntegralInRange<int>(0, 2)];
  stream->failReadsAfter = input.ConsumeIntegralInRange<int>(-1, 6);
  stream->seekFails = input.ConsumeBool();
  stream->tellFails = input.ConsumeBool();
  const bool withEditor = input.ConsumeBool();
  stream->data = input.ConsumeRemainingBytes<uint8_t>();

  FuzzKorvel korvel(FuzzHostName(hostChoice));
  KORVEL& plugin = *korvel.plugin;
  if (withEditor)
    plugin.OpenEditor(nullptr);  // no graphics today: the delegate's closed-editor paths

  plug::StateChunk chunk;
  if (!stream->data.empty())
    chunk.PutBytes(stream->data.data(), static_cast<int>(stream->data.size()));
  bool loaded = false;
  switch (entry)
  {
  case kLoadState: loaded = plugin.LoadState(chunk, startPos) >= 0; break;
  case kUnserializeParams: loaded = plugin.UnserializeParams(chunk, startPos) >= 0; break;
  case kComponentSetState: loaded = plugin.setState(stream) == Steinberg::kResultOk; break;
  case kControllerSetState: plugin.setEditorState(stream); break;
  default: break;
  }
  FUZZ_CHECK(stream->misuses == 0, "the plug-in called the host's stream with a null buffer or a negative size");
  korvel.CheckParameters();
  CheckProcessing(plugin);

  if (loaded)
  {
    // What loaded saves, and loads again to the same values.
    const std::vector<double> before = PlainValues(plugin);
    auto saved = Steinberg::owned(new TestStream());
    FUZZ_CHECK(plugin.getState(saved) == Steinberg::kResultOk, "getState after a load");
    saved->position = 0;
    FUZZ_CHECK(plugin.setState(saved) == Steinberg::kResultOk, "the saved state does not load");
    FUZZ_CHECK(PlainValues(plugin) == before, "a saved state loads to other values");
    FUZZ_CHECK(saved->misuses == 0, "the plug-in called the host's stream with a null buffer or a negative size");
  }
  plugin.CloseEditor();
  return 0;
}
