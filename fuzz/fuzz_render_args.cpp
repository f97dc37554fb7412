// korvel-render's command line: the input split at NUL bytes into
// arguments. A malformed command line is a usage error, never a crash or
// another exception; what parses keeps the tool's limits.

#include "FuzzCheck.h"
#include "errors.h"
#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size && args.size() <= 64; ++i)
  {
    if (data[i] == 0)
      args.emplace_back();
    else
      args.back().push_back(static_cast<char>(data[i]));
  }
  using namespace korvel::render;
  try
  {
    const Options options = parseOptions(args, "default.vst3");
    FUZZ_CHECK(options.blockSize >= 1 && options.blockSize <= kMaxBlockSize, "block size %d", options.blockSize);
    FUZZ_CHECK(options.help || options.listParams || savesSettingsOnly(options) ||
                 (!options.input.empty() && !options.output.empty()),
               "a render without --in or --out that saves no settings");
    std::set<ParamId> ids;
    for (const ParamSetting& setting : options.params)
      FUZZ_CHECK(ids.insert(setting.id).second, "parameter %u given twice", setting.id);
  }
  catch (const UsageError&)
  {
  }
  return 0;
}
