#include "gfx/ResourceLookup.h"

#include "plug/Trace.h"

#include <fstream>
#include <limits>

namespace gfx {

namespace {

// After the target comes the largest variant that is normally shipped: an
// image scaled down stays sharp, one scaled up blurs.
constexpr int kPreferredLargerScale = 3;

std::vector<uint8_t> CopyModuleResource(const std::string& located, const char* type, plug::ModuleRef module)
{
  int size = 0;
  const uint8_t* data = plug::LoadResourceData(located.c_str(), type, size, module);
  if (!data)
    return {};
  return std::vector<uint8_t>(data, data + size);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
  std::ifstream file(path, std::ios::binary);
  if (!file || !file.seekg(0, std::ios::end))
    return {};
  const std::streamoff size = file.tellg();
  if (size <= 0 || static_cast<unsigned long long>(size) > std::numeric_limits<size_t>::max() ||
      !file.seekg(0, std::ios::beg))
    return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!file.read(reinterpret_cast<char*>(bytes.data()), size) || file.gcount() != size)
    return {};
  return bytes;
}

} // namespace

std::vector<int> ScaleSearchOrder(int targetScale)
{
  const int target = targetScale < 1 ? 1 : targetScale;
  std::vector<int> order{target};
  if (target != kPreferredLargerScale)
    order.push_back(kPreferredLargerScale);
  for (int scale = kPreferredLargerScale - 1; scale >= 1; --scale)
  {
    if (scale != target)
      order.push_back(scale);
  }
  return order;
}

std::string ScaledImageName(const std::string& name, int scale)
{
  if (scale == 1)
    return name;
  const size_t separator = name.find_last_of("/\\");
  const size_t fileStart = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = name.find_last_of('.');
  const size_t extensionStart = dot != std::string::npos && dot >= fileStart ? dot : name.size();
  return name.substr(0, extensionStart) + "@" + std::to_string(scale) + "x" + name.substr(extensionStart);
}

plug::EResourceLocation FindScaledImage(const char* name, const char* extension, std::string& location,
                                        int targetScale, int& foundScale, plug::ModuleRef module)
{
  PLUG_TRACE("gfx::FindScaledImage");
  if (!name || !*name)
    return plug::kNotFound;
  // Every variant compiled into the module comes before any file: a bare name
  // such as "OFF.png" is also a path relative to the host's working folder,
  // and a stray file there must not replace the module's own artwork.
  for (plug::EResourceLocation wanted : {plug::kFoundInModule, plug::kFoundOnDisk})
  {
    for (int scale : ScaleSearchOrder(targetScale))
    {
      const std::string candidate = ScaledImageName(name, scale);
      std::string located;
      if (plug::FindModuleResource(candidate.c_str(), extension ? extension : "", located, module) == wanted)
      {
        location = located;
        foundScale = scale;
        return wanted;
      }
    }
  }
  return plug::kNotFound;
}

std::vector<uint8_t> ReadResourceBytes(const char* name, const char* type, plug::ModuleRef module)
{
  PLUG_TRACE("gfx::ReadResourceBytes");
  std::string located;
  switch (plug::FindModuleResource(name, type ? type : "", located, module))
  {
    case plug::kFoundInModule:
      return CopyModuleResource(located, type ? type : "", module);
    case plug::kFoundOnDisk:
      return ReadWholeFile(located);
    case plug::kNotFound:
      break;
  }
  return {};
}

} // namespace gfx
