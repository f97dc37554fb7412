#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvel::render {

// The VST3 preset file (.vstpreset), all little-endian:
//   'VST3', version (int32, 1), class ID (32 ASCII hex digits), offset of the chunk list (int64);
//   the chunks' data;
//   'List', entry count (int32), per entry: chunk ID (4 chars), offset (int64), size (int64).
// 'Comp' holds the component state, 'Cont' the controller's own state (optional).
struct PresetContents
{
    std::string classId; // as written in the file
    std::vector<char> componentState;
    std::optional<std::vector<char>> controllerState;
};

std::vector<char> writePresetFile(const PresetContents& preset);

// Throws RenderError naming `displayName` and what is wrong; never reads outside `bytes`.
PresetContents readPresetFile(const std::vector<char>& bytes, const std::string& displayName);

// The class ID text of 16 class-ID bytes as a Windows host writes it (the bytes read as
// a COM GUID: the first three fields as little-endian numbers), and the same bytes
// in memory order, which the SDK writes on other systems.
std::string classIdComForm(const char (&uid)[16]);
std::string classIdByteForm(const char (&uid)[16]);

} // namespace korvel::render
