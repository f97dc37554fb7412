// korvel-bench-audio: the input files of side_by_side.sh, made from integer
// arithmetic and fixed formulas so that every run times the same samples.
//
//   korvel-bench-audio music OUT.wav SECONDS
//       A music-like stereo mix at 48 kHz: kick, snare, hats, a bass line and
//       chords at 120 bpm with bar-to-bar dynamics, peaks near -1 dBFS.
//   korvel-bench-audio burst OUT.wav SECONDS
//       One second of the mix 12 dB hotter, then digital silence: every
//       filter and follower decays from a loud state toward zero.
//   korvel-bench-audio silence OUT.wav SECONDS
//       Digital silence throughout.

#include "errors.h"
#include "pending_file.h"
#include "sound_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

using namespace korvel::render;

namespace {

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;
constexpr double kBeat = 0.5;  // seconds at 120 bpm

class Noise
{
public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  // Uniform in [-1, 1).
  double Next()
  {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<double>(state_ >> 8) * (1.0 / 8388608.0) - 1.0;
  }

private:
  std::uint32_t state_;
};

double NoteHz(int midi)
{
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// Interleaved stereo, 32-bit float as written.
std::vector<float> Music(int frames)
{
  std::vector<double> left(frames, 0.0), right(frames, 0.0);
  Noise noise(7);
  const int bassLine[8] = {36, 36, 43, 41, 38, 38, 45, 43};
  const int chords[4][3] = {{60, 64, 67}, {57, 60, 64}, {62, 65, 69}, {55, 59, 62}};
  double hatState = 0.0, snareState = 0.0;
  for (int n = 0; n < frames; ++n)
  {
    const double t = static_cast<double>(n) / kRate;
    const int beat = static_cast<int>(t / kBeat);
    const int bar = beat / 4;
    const double inBeat = t - beat * kBeat;
    const double inEighth = std::fmod(t, kBeat / 2);
    // Quieter and louder bars, so a compressor works in and out of reduction.
    const double dynamics = 0.45 + 0.55 * (0.5 + 0.5 * std::sin(2.0 * kPi * bar / 7.0));

    const double kick = beat % 2 == 0
                          ? std::sin(2.0 * kPi * (50.0 * inBeat + 60.0 * (1.0 - std::exp(-inBeat * 30.0)) / 30.0)) *
                              std::exp(-inBeat * 9.0)
                          : 0.0;
    const double white = noise.Next();
    snareState = 0.6 * snareState + 0.4 * white;
    const double snare = beat % 2 == 1 ? (snareState * 0.8 + 0.3 * std::sin(2.0 * kPi * 190.0 * inBeat)) *
                                           std::exp(-inBeat * 14.0)
                                       : 0.0;
    hatState = white - 0.95 * hatState;  // bright noise
    const double hat = 0.12 * hatState * std::exp(-inEighth * 60.0);
    const double bassHz = NoteHz(bassLine[(beat / 2) % 8]);
    const double bassPhase = std::fmod(bassHz * t, 1.0);
    const double bass = 0.35 * (2.0 * bassPhase - 1.0) * (0.6 + 0.4 * std::exp(-std::fmod(t, 2 * kBeat) * 4.0));
    double pad = 0.0;
    for (int k = 0; k < 3; ++k)
      pad += std::sin(2.0 * kPi * NoteHz(chords[bar % 4][k]) * t + k);
    pad *= 0.07 * (0.7 + 0.3 * std::sin(2.0 * kPi * t / 4.0));

    const double centre = dynamics * (0.55 * kick + 0.35 * snare + 0.4 * bass);
    left[n] = centre + dynamics * (0.8 * hat + pad);
    right[n] = centre + dynamics * (0.5 * hat + 0.8 * pad + 0.02 * white);
  }
  std::vector<float> interleaved(2 * static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n)
  {
    interleaved[2 * n] = static_cast<float>(0.85 * left[n]);
    interleaved[2 * n + 1] = static_cast<float>(0.85 * right[n]);
  }
  return interleaved;
}

void Write(const std::string& path, const std::vector<float>& interleaved)
{
  PendingFile pending(path);
  SoundWriter writer(pending.path(), path, kRate, 2);
  writer.write(interleaved.data(), static_cast<std::int64_t>(interleaved.size() / 2));
  writer.close();
  pending.commit();
}

int Usage()
{
  std::fprintf(stderr, "usage: korvel-bench-audio music|burst|silence OUT.wav SECONDS\n");
  return 2;
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 4)
    return Usage();
  const std::string kind = argv[1];
  char* end = nullptr;
  const double seconds = std::strtod(argv[3], &end);
  if (*end != '\0' || !(seconds >= 1.0 && seconds <= 3600.0))
    return Usage();
  const int frames = static_cast<int>(seconds * kRate);
  try
  {
    removePendingFilesOnSignals();
    if (kind == "music")
      Write(argv[2], Music(frames));
    else if (kind == "burst")
    {
      std::vector<float> samples = Music(kRate);
      for (float& s : samples)
        s *= 4.0f;
      samples.resize(2 * static_cast<size_t>(frames), 0.0f);
      Write(argv[2], samples);
    }
    else if (kind == "silence")
      Write(argv[2], std::vector<float>(2 * static_cast<size_t>(frames), 0.0f));
    else
      return Usage();
  }
  catch (const std::exception& e)
  {
    std::fprintf(stderr, "korvel-bench-audio: %s\n", e.what());
    return 1;
  }
  return 0;
}
