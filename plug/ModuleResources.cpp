#include "plug/ModuleResources.h"

#include "plug/ModuleResourcesDetail.h"
#include "plug/Trace.h"

#include <filesystem>
#include <system_error>

namespace plug {

namespace {

constexpr size_t kMinResourceSize = 8;

bool IsFileOnDisk(const char* path)
{
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

} // namespace

namespace detail {

std::string AsciiCase(const char* text, bool upper)
{
  std::string result = text ? text : "";
  for (char& c : result)
  {
    if (upper && c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (!upper && c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

bool MatchesStoredName(const char* storedName, const std::string& lowerFileName, std::string& strippedName)
{
  const std::string name = storedName ? storedName : "";
  if (name.size() < 2)
    return false;
  const std::string stripped = AsciiCase(name.substr(1, name.size() - 2).c_str(), false);
  if (stripped != lowerFileName)
    return false;
  strippedName = stripped;
  return true;
}

} // namespace detail

EResourceLocation FindModuleResource(const char* fileName, const char* type, std::string& located, ModuleRef module)
{
  PLUG_TRACE("plug::FindModuleResource");
  if (!fileName || !*fileName)
    return kNotFound;

  std::string strippedName;
  if (module &&
      detail::FindNamedResource(module, detail::AsciiCase(type, true), detail::AsciiCase(fileName, false), strippedName))
  {
    located = "\"" + strippedName + "\"";
    return kFoundInModule;
  }
  if (IsFileOnDisk(fileName))
  {
    located = fileName;
    return kFoundOnDisk;
  }
  return kNotFound;
}

const uint8_t* LoadResourceData(const char* locatedName, const char* type, int& size, ModuleRef module)
{
  PLUG_TRACE("plug::LoadResourceData");
  size = 0;
  if (!module || !locatedName || !*locatedName)
    return nullptr;
  size_t bytes = 0;
  const uint8_t* data = detail::LockResourceBytes(module, locatedName, detail::AsciiCase(type, true), bytes);
  if (!data || bytes < kMinResourceSize || bytes > static_cast<size_t>(INT32_MAX))
    return nullptr;
  size = static_cast<int>(bytes);
  return data;
}

} // namespace plug
