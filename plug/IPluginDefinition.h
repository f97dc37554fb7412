#pragma once

// The configuration record a plug-in hands to the framework constructors.

#include <cstdint>

namespace plug {

/** Four characters packed with the first one in the most significant byte ('KRV1'). */
constexpr int32_t MakeFourCharCode(const char (&code)[5])
{
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(code[3])));
}

enum EPluginKind
{
  kEffect = 0,
  kInstrument = 1,
  kMidiEffect = 2
};

/** Field order follows the framework's record; texts are copied by the constructors. */
struct IPluginDefinition
{
  int32_t paramCount = 0;
  int32_t presetCount = 0;
  const char* channelIO = "";  // e.g. "1-1 2-2"; grammar in IPluginProcessor
  const char* pluginName = "";
  const char* productName = "";
  const char* makerName = "";
  int32_t version = 0;         // major << 16 | minor << 8 | patch
  int32_t pluginCode = 0;      // MakeFourCharCode("....")
  int32_t makerCode = 0;
  int32_t latency = 0;         // samples
  bool midiIn = false;
  bool midiOut = false;
  bool mpe = false;
  bool stateAsChunk = true;
  int32_t kind = kEffect;      // EPluginKind
  bool hasEditor = false;
  int32_t editorWidth = 0;
  int32_t editorHeight = 0;
  int32_t minWidth = 0;
  int32_t maxWidth = 0;
  int32_t minHeight = 0;
  int32_t maxHeight = 0;
  bool hostResize = false;
  const char* bundleID = "";
};

} // namespace plug
