#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvel::render::test {

struct Sound
{
    int rate = 48000;
    int channels = 2;
    std::vector<float> samples; // interleaved
    std::int64_t frames() const { return channels ? static_cast<std::int64_t>(samples.size()) / channels : 0; }
    float at(std::int64_t frame, int channel) const { return samples[frame * channels + channel]; }
};

Sound makeSound(int rate, int channels, std::int64_t frames, const std::function<float(std::int64_t, int)>& value);
// A deterministic, level-varying test signal: a chord whose loudness steps
// every quarter second, different on each channel.
Sound testSignal(int rate, int channels, double seconds);

// Writes 32-bit float WAV unless another libsndfile format is given.
void writeSound(const std::string& path, const Sound& sound, int format = 0);
Sound readSound(const std::string& path);

// A fresh folder under the system's temporary folder, removed with its content.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const; // names, sorted
private:
    std::string path_;
};

struct RunResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

RunResult runInProcess(const std::vector<std::string>& args);
RunResult runExecutable(const std::vector<std::string>& args);

std::string zamBundle(const std::string& name); // empty when the Zam plug-ins are not installed

std::vector<std::string> linesOf(const std::string& text);
// Rows of cells, the header row included.
std::vector<std::vector<std::string>> readCsv(const std::string& path);

} // namespace korvel::render::test
