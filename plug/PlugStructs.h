#pragma once

// Small records shared by the framework layers, the VST3 binding and the
// graphics layer: MIDI and system-exclusive messages, key events, bus
// directions and the parameter-change source codes.

#include <cstdint>

namespace plug {

/** One MIDI message: sample offset in the block, status and two data bytes. */
struct IMidiMsg
{
  int32_t offset = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};
static_assert(sizeof(IMidiMsg) == 8, "a MIDI message is 8 bytes");

/** A system-exclusive message that refers to bytes it does not own. */
struct ISysEx
{
  int offset = 0;
  int size = 0;
  const uint8_t* data = nullptr;
};

constexpr int kMaxSysExBytes = 512;

/** A system-exclusive message copied into a queue record (520 bytes). */
struct SysExData
{
  int32_t offset = 0;
  int32_t size = 0;
  uint8_t data[kMaxSysExBytes] = {};
};
static_assert(sizeof(SysExData) == 520, "a queued system-exclusive record is 520 bytes");

/** A parameter index with a plain value, as queued for the editor. */
struct ParamTuple
{
  int32_t idx = 0;
  double value = 0.0;
};
static_assert(sizeof(ParamTuple) == 16, "a queued parameter value is 16 bytes");

/** A key press or release: virtual key code, its UTF-8 text and modifiers. */
struct IKeyEvent
{
  int32_t vk = 0;
  char utf8[5] = {};
  bool shift = false;
  bool control = false;
  bool alt = false;
};

/** Direction of a bus or channel. */
enum ERoute
{
  kInput = 0,
  kOutput = 1
};

/** Where a parameter change came from; passed to the change hooks. */
enum EParamSource
{
  kReset = 0,
  kHost = 1,
  kPresetRecall = 2,
  kUI = 3,
  kDelegate = 4,
  kRecompile = 5,
  kUnknown = 6
};

/** Display name of a parameter-change source code ("Unknown" for codes outside the table). */
const char* ParamSourceName(int source);

} // namespace plug
