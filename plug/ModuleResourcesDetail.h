#pragma once

// Internal to the resource lookup: the platform part (Win32 resources or the
// embedded table) and the name rules both parts share.

#include "plug/ModuleResources.h"

#include <string>

namespace plug {
namespace detail {

/** Enumerates the named resources of a type; on a match strippedName gets the unquoted lower-case name. */
bool FindNamedResource(ModuleRef module, const std::string& upperType, const std::string& lowerFileName,
                       std::string& strippedName);
/** The bytes of a resource looked up by stored name and type; nullptr when missing or not lockable. */
const uint8_t* LockResourceBytes(ModuleRef module, const char* name, const std::string& upperType, size_t& size);

/** Whether a stored (quoted) resource name, unquoted and lower-cased, equals the file name. */
bool MatchesStoredName(const char* storedName, const std::string& lowerFileName, std::string& strippedName);
std::string AsciiCase(const char* text, bool upper);

} // namespace detail
} // namespace plug
