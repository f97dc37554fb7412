#include "plug/ModuleResourcesDetail.h"

#include <windows.h>

#include <atomic>

namespace plug {

namespace {

std::atomic<ModuleRef> gModule{nullptr};

struct NameSearch
{
  const std::string* lowerFileName;
  std::string* strippedName;
  bool found;
};

BOOL CALLBACK VisitResourceName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param)
{
  if (IS_INTRESOURCE(name))
    return TRUE; // numbered resources have no file name
  NameSearch& search = *reinterpret_cast<NameSearch*>(param);
  search.found = detail::MatchesStoredName(name, *search.lowerFileName, *search.strippedName);
  return search.found ? FALSE : TRUE;
}

} // namespace

void SetModuleHandle(ModuleRef module)
{
  gModule.store(module);
}

ModuleRef CurrentModule()
{
  if (ModuleRef module = gModule.load())
    return module;
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&CurrentModule), &self);
  return self;
}

namespace detail {

bool FindNamedResource(ModuleRef module, const std::string& upperType, const std::string& lowerFileName,
                       std::string& strippedName)
{
  NameSearch search{&lowerFileName, &strippedName, false};
  EnumResourceNamesA(static_cast<HMODULE>(module), upperType.c_str(), VisitResourceName,
                     reinterpret_cast<LONG_PTR>(&search));
  return search.found;
}

const uint8_t* LockResourceBytes(ModuleRef module, const char* name, const std::string& upperType, size_t& size)
{
  size = 0;
  HMODULE handle = static_cast<HMODULE>(module);
  HRSRC resource = FindResourceA(handle, name, upperType.c_str());
  if (!resource)
    return nullptr;
  HGLOBAL loaded = LoadResource(handle, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes)
    return nullptr;
  size = SizeofResource(handle, resource);
  return static_cast<const uint8_t*>(bytes);
}

} // namespace detail

} // namespace plug
