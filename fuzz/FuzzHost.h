#pragma once

// The host side of the fuzz targets: a host application with a chosen name,
// a component handler, a byte stream that misbehaves on request, KORVEL
// brought up as a host does, and a check that stops the run with a message.

#include "plug/vst3/VST3Sdk.h"

#include "KORVEL.h"

#include "pluginterfaces/vst/ivsthostapplication.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A broken promise of the plug-in: libFuzzer keeps the input that led here.
#define FUZZ_CHECK(condition, ...)                                         \
  do                                                                       \
  {                                                                        \
    if (!(condition))                                                      \
    {                                                                      \
      std::fprintf(stderr, "check failed: %s: ", #condition);              \
      std::fprintf(stderr, __VA_ARGS__);                                   \
      std::fprintf(stderr, "\n");                                          \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

class FuzzHostApp : public Steinberg::FObject, public Steinberg::Vst::IHostApplication
{
public:
  explicit FuzzHostApp(const char* name) : mName(name) {}

  Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override
  {
    size_t i = 0;
    for (; mName[i] && i < 127; ++i)
      name[i] = static_cast<Steinberg::Vst::TChar>(mName[i]);
    name[i] = 0;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID, Steinberg::TUID, void** obj) override
  {
    *obj = nullptr;
    return Steinberg::kResultFalse;
  }

  OBJ_METHODS(FuzzHostApp, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Vst::IHostApplication)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  const char* mName;
};

/** Accepts every request; counts the restarts (latency changes) it is asked for. */
class FuzzComponentHandler : public Steinberg::FObject, public Steinberg::Vst::IComponentHandler
{
public:
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue) override
  {
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32) override
  {
    ++restarts;
    return Steinberg::kResultOk;
  }

  OBJ_METHODS(FuzzComponentHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Vst::IComponentHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  int restarts = 0;
};

/**
 * A byte stream in memory with the faults of real hosts' streams: reads that
 * deliver fewer bytes than asked, reads that report an error (with or
 * without delivering), seeks and tells that fail.
 */
class FuzzStream : public Steinberg::FObject, public Steinberg::IBStream
{
public:
  std::vector<uint8_t> data;
  Steinberg::int64 position = 0;
  Steinberg::int32 readLimit = 1 << 30;           // most bytes one read delivers
  Steinberg::tresult readResult = Steinberg::kResultOk;  // reported by reads that deliver
  int failReadsAfter = -1;                         // reads from then on deliver nothing and fail
  bool seekFails = false;
  bool tellFails = false;
  int reads = 0;

  Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesRead) override
  {
    if (numBytesRead)
      *numBytesRead = 0;
    if (failReadsAfter >= 0 && reads++ >= failReadsAfter)
      return Steinberg::kInternalError;
    FUZZ_CHECK(numBytes >= 0 && buffer, "read of %d bytes into %p", numBytes, buffer);
    const Steinberg::int64 available = std::max<Steinberg::int64>(0, static_cast<Steinberg::int64>(data.size()) - position);
    const auto n = static_cast<Steinberg::int32>(
      std::min<Steinberg::int64>({static_cast<Steinberg::int64>(numBytes), available, static_cast<Steinberg::int64>(readLimit)}));
    if (n > 0)
      std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
    position += n;
    if (numBytesRead)
      *numBytesRead = n;
    return n > 0 ? readResult : Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesWritten) override
  {
    FUZZ_CHECK(numBytes >= 0 && (buffer || numBytes == 0), "write of %d bytes from %p", numBytes, buffer);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (position + numBytes > static_cast<Steinberg::int64>(data.size()))
      data.resize(static_cast<size_t>(position + numBytes));
    std::copy(bytes, bytes + numBytes, data.begin() + position);
    position += numBytes;
    if (numBytesWritten)
      *numBytesWritten = numBytes;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64* result) override
  {
    if (seekFails)
      return Steinberg::kInternalError;
    const Steinberg::int64 base =
      mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? position : static_cast<Steinberg::int64>(data.size());
    if (pos < -(Steinberg::int64{1} << 40) || pos > (Steinberg::int64{1} << 40) || base + pos < 0)
      return Steinberg::kInvalidArgument;
    position = base + pos;
    if (result)
      *result = position;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override
  {
    if (tellFails)
      return Steinberg::kInternalError;
    if (pos)
      *pos = position;
    return Steinberg::kResultOk;
  }

  OBJ_METHODS(FuzzStream, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::IBStream)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)
};

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
    , host(Steinberg::owned(new FuzzHostApp(hostName)))
    , handler(Steinberg::owned(new FuzzComponentHandler()))
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
  Steinberg::IPtr<FuzzHostApp> host;
  Steinberg::IPtr<FuzzComponentHandler> handler;
};
