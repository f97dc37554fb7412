#include "ProbeLayout.h"

#include "RecordingGfx.h"

#include "plug/IParam.h"

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

std::vector<std::string> EntriesOf(const std::vector<std::string>& log, const std::string& prefix)
{
  std::vector<std::string> out;
  for (const std::string& entry : log)
    if (entry.compare(0, prefix.size(), prefix) == 0)
      out.push_back(entry);
  return out;
}

} // namespace gfxtest
