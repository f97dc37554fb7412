#include "plug/ModuleResourcesDetail.h"

#include <atomic>

namespace plug {

namespace {

std::atomic<ModuleRef> gModule{nullptr};

bool SameType(const char* storedType, const std::string& upperType)
{
  return detail::AsciiCase(storedType, true) == upperType;
}

} // namespace

void SetModuleHandle(ModuleRef module)
{
  gModule.store(module);
}

ModuleRef CurrentModule()
{
  return gModule.load();
}

namespace detail {

bool FindNamedResource(ModuleRef module, const std::string& upperType, const std::string& lowerFileName,
                       std::string& strippedName)
{
  for (size_t i = 0; i < module->count; ++i)
  {
    const EmbeddedResource& resource = module->entries[i];
    if (SameType(resource.type, upperType) && MatchesStoredName(resource.name, lowerFileName, strippedName))
      return true;
  }
  return false;
}

const uint8_t* LockResourceBytes(ModuleRef module, const char* name, const std::string& upperType, size_t& size)
{
  size = 0;
  const std::string upperName = AsciiCase(name, true);
  for (size_t i = 0; i < module->count; ++i)
  {
    const EmbeddedResource& resource = module->entries[i];
    if (SameType(resource.type, upperType) && AsciiCase(resource.name, true) == upperName)
    {
      size = resource.size;
      return resource.data;
    }
  }
  return nullptr;
}

} // namespace detail

} // namespace plug
