#pragma once

// Scenarios for proving the processing chain against the chain written out
// step by step: every mode of both stages, sidechain, mix, make-up, input
// gain, oversampling, settings changed between blocks, power, sample rate
// changes and resets. Each scenario runs its phases in order: a phase applies
// its settings (and a new sample rate or a reset), then renders its frames.

#include "KorvelParams.h"
#include "TestSignals.h"

#include <string>
#include <utility>
#include <vector>

namespace chain_scenarios {

using Settings = std::vector<std::pair<int, double>>;

struct Phase
{
  Settings settings;
  int frames;
  int blockSize;
  bool resetFirst = false;
  double sampleRate = 0.0;  // 0: unchanged
};

struct Scenario
{
  std::string name;
  std::vector<Phase> phases;
};

inline Settings ModeSwitches(int stage, int code)
{
  const int first = stage == 0 ? kVcaInt : kVcaExt;
  return {{first, code % 5 == 1 ? 1.0 : 0.0},
          {first + 1, code % 10 >= 5 ? 1.0 : 0.0},
          {first + 2, code >= 10 ? 1.0 : 0.0}};
}

inline Settings Join(Settings a, const Settings& b)
{
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Settings StageSettings(int stage, double threshold, double ratio, double attack, double release, double makeUp,
                       double input, double mix, double highPass)
{
  return {{kThresholdInt + stage, threshold}, {kRatioInt + stage, ratio},   {kAttackInt + stage, attack},
          {kReleaseInt + stage, release},     {kMakeUpInt + stage, makeUp}, {kInputInt + stage, input},
          {kMixInt + stage, mix},             {kHighPassInt + stage, highPass}};
}

inline std::vector<Scenario> Scenarios()
{
  std::vector<Scenario> list;
  for (int code : {1, 5, 6, 10, 11, 15, 16})
  {
    const std::string c = std::to_string(code);

    Scenario intStage{"Int mode " + c, {}};
    auto& a = intStage.phases;
    a.push_back({Join(ModeSwitches(0, code), StageSettings(0, -12.0, 6.0, 0.5, 0.2, 4.0, 3.0, 80.0, 120.0)),
                 6000, 300});
    a.push_back({Join({{kRatioInt, 1.5}, {kThresholdInt, -18.0}}, ModeSwitches(0, 16)), 5000, 1024});
    a.push_back({{{kOversampling, 1.0}}, 3000, 512, true});
    // Settings changed while the stage is off reach it all the same.
    a.push_back({Join(ModeSwitches(0, 0), {{kThresholdInt, 5.0}, {kRatioInt, 3.0}, {kAttackInt, 30.0}}), 1000, 512});
    a.push_back({ModeSwitches(0, code), 1000, 512});
    list.push_back(intStage);

    Scenario extStage{"Int/Ext mode " + c + " on the sidechain", {}};
    auto& b = extStage.phases;
    b.push_back({Join(Join(ModeSwitches(1, code), StageSettings(1, -8.0, 20.0, 0.1, 0.05, -3.0, -6.0, 60.0, 400.0)),
                      {{kExternalSidechain, 1.0}}),
                 6000, 256});
    b.push_back({{{kExternalSidechain, 0.0}, {kOversampling, 1.0}}, 5000, 1000});
    b.push_back({{{kMixExt, 0.0}}, 2000, 64});
    b.push_back({Join(ModeSwitches(1, 0), {{kThresholdExt, 0.0}, {kReleaseExt, 1.0}}), 1000, 512});
    b.push_back({ModeSwitches(1, code), 1000, 512});
    list.push_back(extStage);
  }

  Scenario everything{"both stages, every character, oversampled", {}};
  everything.phases.push_back({Join(Join(ModeSwitches(0, 16), ModeSwitches(1, 16)),
                                    Join(StageSettings(0, -20.0, 4.0, 10.0, 0.1, 6.0, 0.0, 100.0, 20.0),
                                         Join(StageSettings(1, -10.0, 8.0, 2.0, 1.0, 0.0, 9.0, 50.0, 750.0),
                                              {{kOversampling, 1.0}, {kExternalSidechain, 1.0}}))),
                               8000, 512});
  everything.phases.push_back({{{kPower, 0.0}}, 1500, 512});
  everything.phases.push_back({{{kPower, 1.0}, {kThresholdInt, 10.0}}, 4000, 333, true});
  list.push_back(everything);

  Scenario sampleRates{"new sample rate", {}};
  sampleRates.phases.push_back({Join(ModeSwitches(0, 6), ModeSwitches(1, 10)), 4000, 512});
  sampleRates.phases.push_back({{{kHighPassInt, 500.0}}, 6000, 441, true, 44100.0});
  sampleRates.phases.push_back({{}, 3000, 1024, true, 96000.0});
  list.push_back(sampleRates);
  return list;
}

inline Signal ChainSignal(int frames)
{
  Signal s(frames);
  AddNoise(s.channels[0], 11, 0.3);
  AddTone(s.channels[0], kTone60Hz, 1.5);
  AddNoise(s.channels[1], 12, 0.2);
  AddTone(s.channels[1], kTone5kHz, 0.7);
  Gate(s.channels[0], 2500, 1.0, 0.05);
  Gate(s.channels[1], 1700, 1.0, 0.1);
  AddNoise(s.channels[2], 13, 0.9);
  AddTone(s.channels[3], kTone1kHz, 1.2);
  Gate(s.channels[2], 3100, 0.02, 1.0);
  Gate(s.channels[3], 3100, 0.02, 1.0);
  return s;
}

} // namespace chain_scenarios
