#include "app.h"

#include "buses.h"
#include "errors.h"
#include "meters.h"
#include "options.h"
#include "pending_file.h"
#include "plugin.h"
#include "progress.h"
#include "render.h"
#include "sound_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace korvel::render {
namespace {

constexpr const char* kProgram = "korvel-render";

std::unique_ptr<SoundReader> openInput(const std::string& path, const char* role)
{
    auto reader = std::make_unique<SoundReader>(path);
    if (reader->channels() < 1 || reader->channels() > 2)
        throw RenderError(path + ": " + std::to_string(reader->channels()) + " channels; the " + role +
                          " must be mono or stereo");
    return reader;
}

void checkSameRate(const SoundReader& input, const SoundReader& sidechain)
{
    if (input.sampleRate() != sidechain.sampleRate())
        throw RenderError(sidechain.path() + " is at " + std::to_string(static_cast<int>(sidechain.sampleRate())) +
                          " Hz but " + input.path() + " is at " +
                          std::to_string(static_cast<int>(input.sampleRate())) + " Hz");
}

void writeBytes(const std::string& path, const std::string& displayName, const std::vector<char>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file)
        written &= std::fclose(file) == 0;
    if (!written)
        throw RenderError("cannot write " + displayName + ": " + std::strerror(errno));
}

void printTime(std::ostream& out, const RenderStats& stats, double sampleRate, int blockSize)
{
    double audioSeconds = static_cast<double>(stats.frames) / sampleRate;
    char line[256];
    if (stats.processCpuSeconds > 0.0)
        std::snprintf(line, sizeof line,
                      "process: %.4f s CPU for %.3f s of audio, %.1fx real time (%lld blocks of up to %d frames)\n",
                      stats.processCpuSeconds, audioSeconds, audioSeconds / stats.processCpuSeconds,
                      static_cast<long long>(stats.blocks), blockSize);
    else
        std::snprintf(line, sizeof line, "process: no measurable CPU time for %.3f s of audio\n", audioSeconds);
    out << line;
}

int listParameters(const Options& options, std::ostream& out)
{
    Plugin plugin(options.bundle);
    out << plugin.name() << " (" << options.bundle << ")\n" << formatParameterTable(plugin.parameters());
    return 0;
}

std::unique_ptr<SoundReader> openSidechain(const Options& options, const SoundReader& input)
{
    if (options.sidechain.empty())
        return nullptr;
    auto sidechain = openInput(options.sidechain, "side-chain");
    checkSameRate(input, *sidechain);
    return sidechain;
}

// Every output is written under a temporary name: all of them appear at the
// end of a successful run, none after a failure.
class Outputs
{
public:
    Outputs(const Options& options, const AudioSource& input) : options_(options)
    {
        if (!options.output.empty())
        {
            audioFile_.emplace(options.output);
            audio_.emplace(audioFile_->path(), options.output, input.sampleRate(), input.channels());
        }
        if (!options.stateOut.empty())
            stateFile_.emplace(options.stateOut);
        if (!options.presetOut.empty())
            presetFile_.emplace(options.presetOut);
        if (!options.metersCsv.empty())
            metersFile_.emplace(options.metersCsv);
    }

    SoundWriter* audio() { return audio_ ? &*audio_ : nullptr; }

    std::optional<MeterRecorder> meterRecorder(Plugin& plugin) const
    {
        if (!metersFile_)
            return std::nullopt;
        return std::make_optional<MeterRecorder>(plugin, options_.meterIds, metersFile_->path(), options_.metersCsv);
    }

    void saveSettings(Plugin& plugin)
    {
        if (stateFile_)
            writeBytes(stateFile_->path(), options_.stateOut, plugin.saveState());
        if (presetFile_)
            writeBytes(presetFile_->path(), options_.presetOut, plugin.savePreset());
    }

    void commit()
    {
        if (audio_)
        {
            audio_->close();
            audioFile_->commit();
        }
        for (auto* file : {&stateFile_, &presetFile_, &metersFile_})
            if (*file)
                (*file)->commit();
    }

private:
    const Options& options_;
    std::optional<PendingFile> audioFile_;
    std::optional<SoundWriter> audio_;
    std::optional<PendingFile> stateFile_, presetFile_, metersFile_;
};

// Settings alone reach the processor the way they would in a host: through a
// process call, here one block of stereo silence.
constexpr double kSettingsOnlyRate = 48000.0;

int renderFile(const Options& options, std::ostream& out, std::ostream& err)
{
    std::unique_ptr<AudioSource> input;
    std::unique_ptr<SoundReader> sidechain;
    if (savesSettingsOnly(options))
        input = std::make_unique<Silence>(kSettingsOnlyRate, 2, options.blockSize);
    else
    {
        auto file = openInput(options.input, "input");
        sidechain = openSidechain(options, *file);
        input = std::move(file);
    }
    Outputs outputs(options, *input);
    Plugin plugin(options.bundle);
    if (!options.stateIn.empty())
        plugin.loadState(options.stateIn);
    if (!options.presetIn.empty())
        plugin.loadPreset(options.presetIn);
    auto buses = arrangeBuses(plugin.component(), plugin.processor(), input->channels(),
                              sidechain ? sidechain->channels() : 0);
    auto meters = outputs.meterRecorder(plugin);
    bool showProgress = !savesSettingsOnly(options) && wantProgressBar(input->frames(), input->sampleRate());
    ProgressBar progress(err, input->frames(), showProgress);

    RenderJob job;
    job.input = input.get();
    job.sidechain = sidechain.get();
    job.output = outputs.audio();
    job.blockSize = options.blockSize;
    job.doublePrecision = options.doublePrecision;
    job.initialChanges = applyParamSettings(plugin, options.params);
    job.automation = makeAutomationLanes(plugin, options.automation, input->sampleRate());
    job.afterBlock = [&](const BlockReport& block) {
        if (meters)
            meters->record(block);
        progress.update(block.firstFrame + block.frames);
    };
    auto stats = render(plugin, buses, job);

    outputs.saveSettings(plugin);
    if (meters)
        meters->close();
    outputs.commit();
    if (options.time)
        printTime(out, stats, input->sampleRate(), options.blockSize);
    return 0;
}

} // namespace

int runRenderer(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    try
    {
        auto options = parseOptions(args, KORVEL_DEFAULT_BUNDLE);
        if (options.help)
        {
            out << usageText();
            return 0;
        }
        return options.listParams ? listParameters(options, out) : renderFile(options, out, err);
    }
    catch (const UsageError& e)
    {
        err << kProgram << ": " << e.what() << " (see --help)\n";
        return 2;
    }
    catch (const std::exception& e)
    {
        err << kProgram << ": " << e.what() << "\n";
        return 1;
    }
}

} // namespace korvel::render
