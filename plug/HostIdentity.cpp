#include "plug/HostIdentity.h"

#include <string>

namespace plug {

namespace {

struct HostName
{
  const char* text;
  EHost code;
};

// Searched in this order: "wavelab elements" before "wavelab", the generic
// "standalone" and "www" last.
const HostName kHostNames[] = {
  {"reaper", kHostReaper},
  {"protools", kHostProTools},
  {"cubase", kHostCubase},
  {"nuendo", kHostNuendo},
  {"cakewalk", kHostSonar},
  {"vegas", kHostVegas},
  {"fruity", kHostFL},
  {"samplitude", kHostSamplitude},
  {"live", kHostAbletonLive},
  {"tracktion", kHostTracktion},
  {"ntracks", kHostNTracks},
  {"melodyne", kHostMelodyneStudio},
  {"vstmanlib", kHostVSTScanner},
  {"aulab", kHostAULab},
  {"forte", kHostForte},
  {"chainer", kHostChainer},
  {"audition", kHostAudition},
  {"orion", kHostOrion},
  {"bias", kHostBias},
  {"sawstudio", kHostSAWStudio},
  {"logic", kHostLogic},
  {"garageband", kHostGarageBand},
  {"digital", kHostDigitalPerformer},
  {"audiomulch", kHostAudioMulch},
  {"presonus", kHostStudioOne},
  {"vst3plugintesthost", kHostVST3TestHost},
  {"ardour", kHostArdour},
  {"renoise", kHostRenoise},
  {"openmpt", kHostOpenMPT},
  {"wavelab elements", kHostWaveLabElements},
  {"wavelab", kHostWaveLab},
  {"twistedwave", kHostTwistedWave},
  {"bitwig studio", kHostBitwig},
  {"reason", kHostReason},
  {"gwvst", kHostGoldWave5x},
  {"waveform", kHostWaveform},
  {"audacity", kHostAudacity},
  {"acoustica", kHostAcoustica},
  {"plugindoctor", kHostPluginDoctor},
  {"izotope rx", kHostiZotopeRX},
  {"savihost", kHostSAVIHost},
  {"blue cat's vst host", kHostBlueCat},
  {"mixbus", kHostMixbus},
  {"standalone", kHostStandalone},
  {"www", kHostWWW},
};

} // namespace

EHost IdentifyHost(const char* name)
{
  std::string lower = name ? name : "";
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  for (const HostName& host : kHostNames)
    if (lower.find(host.text) != std::string::npos)
      return host.code;
  return kHostUnknown;
}

} // namespace plug
