#include "ProbeLayout.h"

#include "RecordingGfx.h"

#include "gfx/IGfx.h"

#include "plug/IParam.h"

#include <cstdint>

namespace gfxtest {

TestDelegate::TestDelegate() : plug::IGfxEditorDelegate(2)
{
  GetParameter(0)->SetupDouble("Gain", 0.0, -20.0, 10.0, 0.1, "dB");
  GetParameter(1)->SetType(plug::IParam::kTypeInt);
  GetParameter(1)->SetupDouble("Steps", 5.0, 0.0, 10.0, 1.0, "", plug::IParam::kFlagStepped);
  SetEditorDimensions(kLayoutWidth, kLayoutHeight);
  SetEditorSizeLimits(10, 4000, 10, 4000);
}

void TestDelegate::BeginHostEditFromEditor(int paramIdx) { edits.push_back(Call("Begin", {double(paramIdx)})); }

void TestDelegate::SetParameterFromEditor(int paramIdx, double normalized)
{
  edits.push_back(Call("Set", {double(paramIdx), normalized}));
  plug::IGfxEditorDelegate::SetParameterFromEditor(paramIdx, normalized);
}

void TestDelegate::EndHostEditFromEditor(int paramIdx) { edits.push_back(Call("End", {double(paramIdx)})); }

void TestDelegate::OnEditorFrameTick(double /*framePeriodMs*/)
{
  ++frameTicks;
  if (onFrameTick)
    onFrameTick();
}

bool LoadProbeImage(gfx::IGfx& g)
{
  static const uint8_t kPng[] = {
  0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d,
  0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02,
  0x08, 0x06, 0x00, 0x00, 0x00, 0x72, 0xb6, 0x0d, 0x24, 0x00, 0x00, 0x00,
  0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x10, 0x50, 0x30, 0xf8,
  0x0f, 0xc2, 0x0c, 0x30, 0x06, 0x00, 0x2b, 0xb4, 0x05, 0x7d, 0x5d, 0xb2,
  0x6f, 0x42, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42,
  0x60, 0x82,
  };
  static int loads = 0;
  const std::string name = "probe-image-" + std::to_string(++loads);
  return g.RequestBitmapFromData(name.c_str(), kPng, sizeof(kPng), 1, false).IsValid();
}

std::vector<std::string> EntriesOf(const std::vector<std::string>& log, const std::string& prefix)
{
  std::vector<std::string> out;
  for (const std::string& entry : log)
    if (entry.compare(0, prefix.size(), prefix) == 0)
      out.push_back(entry);
  return out;
}

} // namespace gfxtest
