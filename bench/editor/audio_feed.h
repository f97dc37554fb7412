#pragma once

// A host's audio thread: processes blocks of 512 stereo frames at 48 kHz at
// real-time pace (one block every 10.67 ms) and hands the values the
// processor reports (meters) to the controller on the user-interface thread,
// as hosts do; KORVEL's own editor queue is fed by its processing either way.

#include "plugin.h"

#include <array>
#include <atomic>
#include <thread>

namespace editorbench {

enum class Signal
{
  Silence,
  Steady, // a 1 kHz tone at -6 dBFS: the meters settle and rest
  Moving, // the same tone switched between -40 and -3 dBFS every 0.4 s: the meters swing
};

class AudioFeed
{
public:
  static constexpr double kSampleRate = 48000.0;
  static constexpr int kBlock = 512;

  AudioFeed(korvel::render::Plugin& plugin, Signal signal);
  ~AudioFeed();
  AudioFeed(const AudioFeed&) = delete;
  AudioFeed& operator=(const AudioFeed&) = delete;

  /** User-interface thread: the newest reported value of each parameter to the controller. */
  void ForwardToController();
  long Blocks() const { return mBlocks.load(); }

private:
  struct Slot
  {
    std::atomic<Steinberg::Vst::ParamID> id{0};
    std::atomic<double> value{0.0};
    std::atomic<bool> fresh{false};
  };

  void Run();
  void Publish(Steinberg::Vst::ParamID id, double value);

  korvel::render::Plugin& mPlugin;
  Signal mSignal;
  std::atomic<bool> mStop{false};
  std::atomic<long> mBlocks{0};
  std::array<Slot, 32> mSlots;
  std::atomic<int> mUsedSlots{0};
  std::thread mThread;
};

} // namespace editorbench
