// korvel-editor-bench: one measurement of a VST3 plug-in's editor per
// process, loaded through the bundle's factory like a host does (component
// and controller, connected), shown in an X window on the display in DISPLAY
// with the host's run loop served on the main thread. bench/editor_side_by_side.sh
// runs it for KORVEL and ZamCompX2 in interleaved rounds and prints the table.
//
//   open --plugin BUNDLE [--scale S] [--reopen N]
//     The first opening in this process, then N reopenings (each shown for
//     0.1 s, closed, 0.05 s later opened again). Prints the time of attached(),
//     the time until the first frame's swap has returned, and the process CPU
//     of each and the view's size, then the resident set before the first opening, while open,
//     and after the last closing.
//   cpu --plugin BUNDLE --audio none|silence|steady|moving [--editor] [--scale S] [--seconds T]
//     The process's CPU over T seconds (default 10, after 2 s to settle) while
//     the host processes the signal at real-time pace (none: no processing),
//     with the editor open or not, and the frames it presented per second.
//
// Output lines are "key value..." for the script to read.

#include "audio_feed.h"
#include "editor_session.h"
#include "swap_counter.h"

#include "plugin.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace editorbench {
namespace {

struct Options
{
  std::string mode;
  std::string plugin;
  float scale = 1.f;
  int reopen = 0;
  std::string audio = "none";
  bool editor = false;
  double seconds = 10.0;
};

Options Parse(int argc, char** argv)
{
  if (argc < 2)
    throw std::invalid_argument("usage: korvel-editor-bench open|cpu --plugin BUNDLE [options]");
  Options o;
  o.mode = argv[1];
  for (int i = 2; i < argc; ++i)
  {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc)
        throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--plugin")
      o.plugin = value();
    else if (arg == "--scale")
      o.scale = std::stof(value());
    else if (arg == "--reopen")
      o.reopen = std::stoi(value());
    else if (arg == "--audio")
      o.audio = value();
    else if (arg == "--editor")
      o.editor = true;
    else if (arg == "--seconds")
      o.seconds = std::stod(value());
    else
      throw std::invalid_argument("unknown option " + arg);
  }
  if (o.plugin.empty() || (o.mode != "open" && o.mode != "cpu"))
    throw std::invalid_argument("usage: korvel-editor-bench open|cpu --plugin BUNDLE [options]");
  return o;
}

void PrintOpening(const char* key, const OpeningTimes& t)
{
  std::printf("%s attached_ms %.2f on_screen_ms %.2f cpu_ms %.2f size %dx%d\n", key, t.attachedMs, t.onScreenMs,
              t.cpuMs, t.width, t.height);
}

void MeasureOpenings(const Options& o)
{
  korvel::render::Plugin plugin(o.plugin);
  EditorSession session;
  session.Frame().RunFor(std::chrono::milliseconds(50));
  std::printf("rss_closed_kib %ld\n", ResidentKiB());
  PrintOpening("first", session.Open(plugin.controller(), o.scale));
  session.Frame().RunFor(std::chrono::milliseconds(100));
  std::printf("rss_open_kib %ld\n", ResidentKiB());
  for (int i = 0; i < o.reopen; ++i)
  {
    session.Close();
    session.Frame().RunFor(std::chrono::milliseconds(50));
    PrintOpening("reopen", session.Open(plugin.controller(), o.scale));
    session.Frame().RunFor(std::chrono::milliseconds(100));
  }
  session.Close();
  session.Frame().RunFor(std::chrono::milliseconds(50));
  std::printf("rss_after_kib %ld openings %d\n", ResidentKiB(), o.reopen + 1);
}

Signal SignalNamed(const std::string& name)
{
  if (name == "silence")
    return Signal::Silence;
  if (name == "steady")
    return Signal::Steady;
  if (name == "moving")
    return Signal::Moving;
  throw std::invalid_argument("--audio takes none, silence, steady or moving");
}

void MeasureCpu(const Options& o)
{
  korvel::render::Plugin plugin(o.plugin);
  EditorSession session;
  std::unique_ptr<AudioFeed> feed;
  if (o.audio != "none")
    feed = std::make_unique<AudioFeed>(plugin, SignalNamed(o.audio));
  // A host refreshes its controllers from the processor's reports about as often as it draws.
  session.Frame().AddHostTimer(16, [&feed] {
    if (feed)
      feed->ForwardToController();
  });
  if (o.editor)
    session.Open(plugin.controller(), o.scale);
  session.Frame().RunFor(std::chrono::seconds(2));

  const long swaps = SwapCount();
  const double cpu = ProcessCpuMs();
  const double start = NowMs();
  session.Frame().RunFor(std::chrono::milliseconds(static_cast<long>(o.seconds * 1000.0)));
  const double wall = NowMs() - start;
  std::printf("cpu_pct %.3f frames_per_s %.2f seconds %.2f\n", 100.0 * (ProcessCpuMs() - cpu) / wall,
              1000.0 * static_cast<double>(SwapCount() - swaps) / wall, wall / 1000.0);
  session.Close();
}

} // namespace
} // namespace editorbench

int main(int argc, char** argv)
{
  try
  {
    const editorbench::Options options = editorbench::Parse(argc, argv);
    if (options.mode == "open")
      editorbench::MeasureOpenings(options);
    else
      editorbench::MeasureCpu(options);
    std::fflush(stdout);
    return 0;
  }
  catch (const std::exception& e)
  {
    std::fprintf(stderr, "korvel-editor-bench: %s\n", e.what());
    return 1;
  }
}
