#pragma once

// Diagnostics hook: operations on the framework's main paths report their
// qualified name and source line here. This build records nothing.

namespace plug {

inline void Trace(const char* /*qualifiedName*/, int /*line*/) {}

} // namespace plug

#define PLUG_TRACE(qualifiedName) ::plug::Trace(qualifiedName, __LINE__)
