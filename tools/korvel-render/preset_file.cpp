#include "preset_file.h"

#include "errors.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace korvel::render {
namespace {

constexpr char kHeaderId[4] = {'V', 'S', 'T', '3'};
constexpr char kListId[4] = {'L', 'i', 's', 't'};
constexpr char kComponentId[4] = {'C', 'o', 'm', 'p'};
constexpr char kControllerId[4] = {'C', 'o', 'n', 't'};
constexpr std::int32_t kFormatVersion = 1;
constexpr std::size_t kClassIdSize = 32;
constexpr std::size_t kHeaderSize = 4 + 4 + kClassIdSize + 8;
constexpr std::size_t kEntrySize = 4 + 8 + 8;

template <typename T>
void put(std::vector<char>& bytes, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes.push_back(static_cast<char>(static_cast<std::uint64_t>(value) >> (8 * i)));
}

template <typename T>
T get(const std::vector<char>& bytes, std::size_t at)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return static_cast<T>(value);
}

struct Entry
{
    char id[4];
    std::int64_t offset;
    std::int64_t size;
};

std::string hexBytes(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < count; ++i)
    {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

} // namespace

std::string classIdByteForm(const char (&uid)[16])
{
    return hexBytes(reinterpret_cast<const unsigned char*>(uid), 16);
}

std::string classIdComForm(const char (&uid)[16])
{
    const auto* b = reinterpret_cast<const unsigned char*>(uid);
    const unsigned char reordered[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6],
                                         b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
    return hexBytes(reordered, 16);
}

std::vector<char> writePresetFile(const PresetContents& preset)
{
    std::vector<char> bytes;
    bytes.reserve(kHeaderSize + preset.componentState.size() + 256);
    bytes.insert(bytes.end(), kHeaderId, kHeaderId + 4);
    put<std::int32_t>(bytes, kFormatVersion);
    std::string classId = preset.classId;
    classId.resize(kClassIdSize, '0');
    bytes.insert(bytes.end(), classId.begin(), classId.end());
    const std::size_t listOffsetAt = bytes.size();
    put<std::int64_t>(bytes, 0);

    std::vector<Entry> entries;
    auto addChunk = [&](const char (&id)[4], const std::vector<char>& data) {
        Entry entry {{id[0], id[1], id[2], id[3]}, static_cast<std::int64_t>(bytes.size()),
                     static_cast<std::int64_t>(data.size())};
        bytes.insert(bytes.end(), data.begin(), data.end());
        entries.push_back(entry);
    };
    addChunk(kComponentId, preset.componentState);
    if (preset.controllerState)
        addChunk(kControllerId, *preset.controllerState);

    const auto listOffset = static_cast<std::int64_t>(bytes.size());
    for (std::size_t i = 0; i < 8; ++i)
        bytes[listOffsetAt + i] = static_cast<char>(static_cast<std::uint64_t>(listOffset) >> (8 * i));
    bytes.insert(bytes.end(), kListId, kListId + 4);
    put<std::int32_t>(bytes, static_cast<std::int32_t>(entries.size()));
    for (const auto& entry : entries)
    {
        bytes.insert(bytes.end(), entry.id, entry.id + 4);
        put<std::int64_t>(bytes, entry.offset);
        put<std::int64_t>(bytes, entry.size);
    }
    return bytes;
}

PresetContents readPresetFile(const std::vector<char>& bytes, const std::string& displayName)
{
    auto fail = [&](const std::string& why) { return RenderError(displayName + ": " + why); };
    const std::size_t size = bytes.size();
    if (size < 4 || std::memcmp(bytes.data(), kHeaderId, 4) != 0)
        throw fail("not a VST3 preset (it does not begin with 'VST3')");
    if (size < kHeaderSize)
        throw fail("damaged VST3 preset (the header is cut short)");

    PresetContents preset;
    preset.classId.assign(bytes.data() + 8, kClassIdSize);
    for (char c : preset.classId)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            throw fail("damaged VST3 preset (the class ID is not 32 hexadecimal digits)");

    const auto listOffset = get<std::int64_t>(bytes, 8 + kClassIdSize);
    if (listOffset < static_cast<std::int64_t>(kHeaderSize) || static_cast<std::uint64_t>(listOffset) > size - 8 ||
        std::memcmp(bytes.data() + listOffset, kListId, 4) != 0)
        throw fail("damaged VST3 preset (no chunk list where the header points)");
    const auto count = get<std::int32_t>(bytes, static_cast<std::size_t>(listOffset) + 4);
    const std::size_t entriesAt = static_cast<std::size_t>(listOffset) + 8;
    if (count < 0 || static_cast<std::uint64_t>(count) > (size - entriesAt) / kEntrySize)
        throw fail("damaged VST3 preset (the chunk list is cut short)");

    bool hasComponent = false;
    for (std::int32_t i = 0; i < count; ++i)
    {
        const std::size_t at = entriesAt + static_cast<std::size_t>(i) * kEntrySize;
        const auto offset = get<std::int64_t>(bytes, at + 4);
        const auto length = get<std::int64_t>(bytes, at + 12);
        if (offset < 0 || length < 0 || static_cast<std::uint64_t>(offset) > size ||
            static_cast<std::uint64_t>(length) > size - static_cast<std::uint64_t>(offset))
            throw fail("damaged VST3 preset (chunk " + std::to_string(i + 1) + " lies outside the file)");
        std::vector<char> data(bytes.begin() + offset, bytes.begin() + offset + length);
        if (std::memcmp(bytes.data() + at, kComponentId, 4) == 0)
        {
            preset.componentState = std::move(data);
            hasComponent = true;
        }
        else if (std::memcmp(bytes.data() + at, kControllerId, 4) == 0)
            preset.controllerState = std::move(data);
    }
    if (!hasComponent)
        throw fail("VST3 preset without a component state ('Comp' chunk)");
    return preset;
}

} // namespace korvel::render
