#pragma once

// The host side of the fuzz targets: the tests' host stand-ins (an
// application with a chosen name, a counting component handler, a byte stream
// that misbehaves on request), KORVEL brought up as a host does, and a check
// that stops the run with a message.

#include "plug/vst3/VST3Sdk.h"

#include "KORVEL.h"
#include "FuzzCheck.h"
#include "TestHost.h"

#include "pluginterfaces/vst/ivsthostapplication.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

/** Host names that change the binding's behaviour, and an ordinary one. */
inline const char* FuzzHostName(int choice)
{
  static const char* const kNames[] = {"Fuzz Host", "Ardour", "Mixbus", "WaveLab", "Cubase", ""};
  return kNames[static_cast<size_t>(choice) % (sizeof(kNames) / sizeof(kNames[0]))];
}

/** A KORVEL instance initialized by a host; released with its host objects. */
class FuzzKorvel
{
public:
  explicit FuzzKorvel(const char* hostName = "Fuzz Host")
    : plugin(new KORVEL(plug::InstanceInfo{}))
    , host(Steinberg::owned(new TestHostApp(hostName)))
    , handler(Steinberg::owned(new CountingComponentHandler()))
  {
    FUZZ_CHECK(plugin->initialize(host->unknownCast()) == Steinberg::kResultOk, "initialize");
    plugin->setComponentHandler(handler);
  }
  ~FuzzKorvel()
  {
    plugin->terminate();
    plugin->release();
  }
  FuzzKorvel(const FuzzKorvel&) = delete;
  FuzzKorvel& operator=(const FuzzKorvel&) = delete;

  /** Every parameter holds a finite plain value inside its range. */
  void CheckParameters() const
  {
    for (int i = 0; i < plugin->NParams(); ++i)
    {
      const plug::IParam& param = *plugin->GetParameter(i);
      const double v = param.GetPlain();
      FUZZ_CHECK(v >= param.GetMin() && v <= param.GetMax(), "parameter %d holds %g outside [%g, %g]", i, v,
                 param.GetMin(), param.GetMax());
    }
  }

  KORVEL* plugin;
  Steinberg::IPtr<TestHostApp> host;
  Steinberg::IPtr<CountingComponentHandler> handler;
};
