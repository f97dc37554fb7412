#include "render_test_support.h"

#include "app.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace korvel::render::test {

namespace fs = std::filesystem;

Sound makeSound(int rate, int channels, std::int64_t frames, const std::function<float(std::int64_t, int)>& value)
{
    Sound sound {rate, channels, {}};
    sound.samples.resize(static_cast<size_t>(frames * channels));
    for (std::int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            sound.samples[static_cast<size_t>(i * channels + c)] = value(i, c);
    return sound;
}

Sound testSignal(int rate, int channels, double seconds)
{
    constexpr double kPi = 3.14159265358979323846;
    static constexpr double levels[] = {0.05, 0.9, 0.3, 0.7, 0.1, 0.5};
    return makeSound(rate, channels, static_cast<std::int64_t>(seconds * rate), [rate](std::int64_t i, int c) {
        double t = static_cast<double>(i) / rate;
        double level = levels[static_cast<size_t>(t * 4) % 6];
        double tone = 0.6 * std::sin(2 * kPi * (110.0 + 7 * c) * t) + 0.4 * std::sin(2 * kPi * 277.0 * t + c);
        return static_cast<float>(level * tone);
    });
}

void writeSound(const std::string& path, const Sound& sound, int format)
{
    SF_INFO info {};
    info.samplerate = sound.rate;
    info.channels = sound.channels;
    info.format = format ? format : SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        throw std::runtime_error("cannot write test file " + path);
    sf_writef_float(file, sound.samples.data(), sound.frames());
    sf_close(file);
}

Sound readSound(const std::string& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    Sound sound {info.samplerate, info.channels, {}};
    sound.samples.resize(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    return sound;
}

TempFolder::TempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "korvel-render-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult runInProcess(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    RunResult result;
    result.exitCode = runRenderer(args, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

RunResult runExecutable(const std::vector<std::string>& args)
{
    TempFolder capture;
    auto outPath = capture.file("stdout"), errPath = capture.file("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<std::string> command {KORVEL_RENDER_EXE};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : command)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    RunResult result;
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 && waitpid(pid, &status, 0) == pid)
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    posix_spawn_file_actions_destroy(&actions);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

std::string zamBundle(const std::string& name)
{
    std::string path = std::string(ZAM_BUNDLE_FOLDER) + "/" + name + ".vst3";
    return fs::is_directory(path) ? path : std::string();
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::vector<std::string>> readCsv(const std::string& path)
{
    std::vector<std::vector<std::string>> rows;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
    {
        rows.emplace_back();
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            rows.back().push_back(cell);
    }
    return rows;
}

} // namespace korvel::render::test
