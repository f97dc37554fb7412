// Audio files korvel-render reads: the input written to a file and opened,
// read to the end in blocks of both sample sizes, then given to the renderer
// as --in and --sidechain (it checks the file and prepares its outputs
// before it looks for the plug-in, which this run never finds).
//
// Promises checked: a file that opens reports sane figures and never yields
// more frames than it has; the renderer fails with its one-line error.

#include "FuzzCheck.h"
#include "app.h"
#include "errors.h"
#include "sound_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ScratchPath(const char* name)
{
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/korvel-fuzz-" + std::to_string(getpid()) + "-" + name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  using namespace korvel::render;
  static const std::string input = ScratchPath("in.wav");
  static const std::string output = ScratchPath("out.wav");
  if (std::FILE* file = std::fopen(input.c_str(), "wb"))
  {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }

  bool opened = false;
  try
  {
    SoundReader reader(input);
    opened = true;
    FUZZ_CHECK(reader.channels() > 0, "%d channels", reader.channels());
    FUZZ_CHECK(reader.frames() >= 0, "%lld frames", static_cast<long long>(reader.frames()));
    constexpr std::int64_t kBlock = 64;
    if (reader.channels() <= 1024)
    {
      std::vector<float> floats(static_cast<size_t>(kBlock * reader.channels()));
      std::vector<double> doubles(floats.size());
      std::int64_t total = 0;
      for (int block = 0; block < 4096; ++block)
      {
        const std::int64_t got = block % 2 ? reader.read(doubles.data(), kBlock) : reader.read(floats.data(), kBlock);
        FUZZ_CHECK(got >= 0 && got <= kBlock, "a read of %lld frames gave %lld", static_cast<long long>(kBlock),
                   static_cast<long long>(got));
        total += got;
        if (got < kBlock)
          break;
      }
      FUZZ_CHECK(total <= reader.frames(), "%lld frames read of %lld", static_cast<long long>(total),
                 static_cast<long long>(reader.frames()));
    }
  }
  catch (const RenderError&)
  {
  }

  if (opened)
  {
    std::ostringstream out, err;
    const int status = runRenderer({"--in", input, "--sidechain", input, "--out", output, "--plugin",
                                    "/nonexistent/Missing.vst3"},
                                   out, err);
    FUZZ_CHECK(status == 1, "status %d: %s", status, err.str().c_str());
    FUZZ_CHECK(err.str().rfind("korvel-render: ", 0) == 0 && err.str().find('\n') == err.str().size() - 1,
               "error message '%s'", err.str().c_str());
    FUZZ_CHECK(access(output.c_str(), F_OK) != 0, "a failed render left %s", output.c_str());
  }
  return 0;
}
