#pragma once

// Files compiled into the plug-in module, found by name. Resources are
// stored under upper-case names wrapped in double quotes ("KNOB@2X.PNG") and
// an upper-case type ("PNG"); lookups ignore letter case. On Windows they are
// the module's Win32 resources; elsewhere the build embeds the same files as
// a table (see plug_embed_resources in plug/CMakeLists.txt). A name that is
// not a resource may still be a file on disk.

#include <cstddef>
#include <cstdint>
#include <string>

namespace plug {

/** One embedded file: type and quoted name as stored, and its bytes. */
struct EmbeddedResource
{
  const char* type;
  const char* name;
  const uint8_t* data;
  size_t size;
};

struct EmbeddedResourceTable
{
  const EmbeddedResource* entries;
  size_t count;
};

#ifdef _WIN32
using ModuleRef = void*; // HMODULE
#else
using ModuleRef = const EmbeddedResourceTable*;
#endif

/** Records the module whose resources CurrentModule() refers to (the module entry calls it). */
void SetModuleHandle(ModuleRef module);
/** The recorded module; on Windows, when none was recorded, the module that contains this code. */
ModuleRef CurrentModule();

enum EResourceLocation
{
  kNotFound = 0,
  kFoundOnDisk = 1,
  kFoundInModule = 2
};

/**
 * Locates a file among the module's resources of a type (case-insensitive),
 * else on disk. located gets the resource name in lower case wrapped in
 * double quotes, or the file name itself for a file on disk.
 */
EResourceLocation FindModuleResource(const char* fileName, const char* type, std::string& located, ModuleRef module);

/**
 * The bytes of a located resource, owned by the module and never freed.
 * nullptr (and size 0) when it is missing, cannot be loaded or is smaller than 8 bytes.
 */
const uint8_t* LoadResourceData(const char* locatedName, const char* type, int& size, ModuleRef module);

} // namespace plug
