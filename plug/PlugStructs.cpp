#include "plug/PlugStructs.h"

namespace plug {

const char* ParamSourceName(int source)
{
  static const char* const kNames[] = {"Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown"};
  if (source < 0 || source > kUnknown)
    return kNames[kUnknown];
  return kNames[source];
}

} // namespace plug
