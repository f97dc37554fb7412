// korvel-demo-audio: the audio chores of make_demo.sh.
//
//   korvel-demo-audio loop KITDIR MIX.wav KICK.wav
//       Builds an 8-second drum loop (4 bars at 120 bpm, 48 kHz, stereo) from
//       the Colombo acoustic kit of Debian's hydrogen-drumkits, and the same
//       kick hits alone as a mono side-chain track.
//   korvel-demo-audio summary NAME IN.wav OUT.wav METERS.csv KIND [LABEL,...]
//       Prints one line: peak and RMS of input and output in dBFS and the
//       largest gain reduction of each meter column. KIND says what the meters
//       read: "squared-gain" (1 = no reduction, falling to 0 while a stage is
//       off) or "db". An empty LABEL list stands for one unnamed meter.

#include "errors.h"
#include "pending_file.h"
#include "sound_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace korvel::render;

namespace {

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;

struct Stereo
{
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
};

// Windowed-sinc interpolation from a precomputed table: the kit is recorded
// at 44.1 kHz and the loop is made at 48 kHz.
class Resampler
{
public:
    Resampler()
    {
        table_.resize(static_cast<size_t>(kHalfWidth * kPhases + 1));
        for (size_t i = 0; i < table_.size(); ++i)
        {
            double x = static_cast<double>(i) / kPhases;
            double sinc = x == 0.0 ? 1.0 : std::sin(kPi * kCutoff * x) / (kPi * kCutoff * x);
            double window = 0.42 + 0.5 * std::cos(kPi * x / kHalfWidth) + 0.08 * std::cos(2 * kPi * x / kHalfWidth);
            table_[i] = kCutoff * sinc * window;
        }
    }

    std::vector<float> run(const std::vector<float>& in, double fromRate) const
    {
        double step = fromRate / kRate;
        auto frames = static_cast<size_t>(static_cast<double>(in.size()) / step);
        std::vector<float> out(frames);
        for (size_t n = 0; n < frames; ++n)
            out[n] = static_cast<float>(at(in, static_cast<double>(n) * step));
        return out;
    }

private:
    static constexpr int kHalfWidth = 24;
    static constexpr int kPhases = 512;
    static constexpr double kCutoff = 0.92;

    double kernel(double distance) const
    {
        double position = std::fabs(distance) * kPhases;
        auto index = static_cast<size_t>(position);
        if (index + 1 >= table_.size())
            return 0.0;
        double fraction = position - static_cast<double>(index);
        return table_[index] + fraction * (table_[index + 1] - table_[index]);
    }

    double at(const std::vector<float>& in, double position) const
    {
        auto centre = static_cast<long>(position);
        double sum = 0.0;
        for (long k = centre - kHalfWidth + 1; k <= centre + kHalfWidth; ++k)
            if (k >= 0 && k < static_cast<long>(in.size()))
                sum += in[static_cast<size_t>(k)] * kernel(position - static_cast<double>(k));
        return sum;
    }

    std::vector<double> table_;
};

Stereo loadHit(const std::string& path, const Resampler& resampler)
{
    SoundReader reader(path);
    std::vector<float> interleaved(static_cast<size_t>(reader.frames() * reader.channels()));
    reader.read(interleaved.data(), reader.frames());
    Stereo hit;
    for (size_t i = 0; i < interleaved.size(); i += static_cast<size_t>(reader.channels()))
    {
        hit.left.push_back(interleaved[i]);
        hit.right.push_back(interleaved[i + (reader.channels() > 1 ? 1 : 0)]);
    }
    if (reader.sampleRate() != kRate)
    {
        hit.left = resampler.run(hit.left, reader.sampleRate());
        hit.right = resampler.run(hit.right, reader.sampleRate());
    }
    return hit;
}

void addHit(Stereo& track, const Stereo& hit, size_t start, float gain)
{
    for (size_t i = 0; i < hit.frames() && start + i < track.frames(); ++i)
    {
        track.left[start + i] += gain * hit.left[i];
        track.right[start + i] += gain * hit.right[i];
    }
}

struct Hit
{
    const char* sample;
    int bar;  // 0..3; -1 for every bar
    int step; // sixteenth note 0..15
    float gain;
};

// A straight rock beat with a few variations in bars 2 and 4.
const Hit kPattern[] = {
    {"kick", -1, 0, 1.0f},     {"kick", -1, 8, 0.9f},       {"kick", 1, 10, 0.6f},     {"kick", 3, 10, 0.7f},
    {"kick", 3, 7, 0.5f},      {"snare", -1, 4, 0.9f},      {"snare", -1, 12, 1.0f},   {"ghost", 3, 15, 0.35f},
    {"hat", -1, 0, 0.55f},     {"hat", -1, 2, 0.35f},       {"hat", -1, 4, 0.5f},      {"hat", -1, 6, 0.35f},
    {"hat", -1, 8, 0.55f},     {"hat", -1, 10, 0.35f},      {"hat", -1, 12, 0.5f},     {"hat", 0, 14, 0.35f},
    {"hat", 1, 14, 0.35f},     {"hat", 2, 14, 0.35f},       {"open hat", 3, 14, 0.45f},
};

const std::map<std::string, std::string> kSamples {
    {"kick", "bassdrum-4mics-br-stereo-normal3.flac"},
    {"snare", "snare-opaque-normal-mic-normal_shot2.flac"},
    {"ghost", "snare-opaque-normal-mic-normal_shot3.flac"},
    {"hat", "hihat-closed-1.flac"},
    {"open hat", "hihat-open-1.flac"},
};

constexpr int kBars = 4;
constexpr int kFramesPerStep = kRate * 60 / 120 / 4;

void writeTrack(const std::string& path, const std::vector<float>& interleaved, int channels)
{
    PendingFile pending(path);
    SoundWriter writer(pending.path(), path, kRate, channels);
    writer.write(interleaved.data(), static_cast<std::int64_t>(interleaved.size()) / channels);
    writer.close();
    pending.commit();
}

int makeLoop(const std::string& kit, const std::string& mixPath, const std::string& kickPath)
{
    Resampler resampler;
    std::map<std::string, Stereo> hits;
    for (const auto& [name, file] : kSamples)
        hits[name] = loadHit(kit + "/" + file, resampler);

    const size_t frames = static_cast<size_t>(kBars) * 16 * kFramesPerStep;
    Stereo mix {std::vector<float>(frames), std::vector<float>(frames)};
    Stereo kick = mix;
    for (int bar = 0; bar < kBars; ++bar)
        for (const auto& hit : kPattern)
            if (hit.bar < 0 || hit.bar == bar)
            {
                size_t start = static_cast<size_t>((bar * 16 + hit.step) * kFramesPerStep);
                addHit(mix, hits[hit.sample], start, hit.gain);
                if (std::string(hit.sample) == "kick")
                    addHit(kick, hits[hit.sample], start, hit.gain);
            }

    float peak = 0.0f;
    for (size_t i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const float scale = peak > 0.0f ? 0.708f / peak : 1.0f; // peaks at -3 dBFS
    std::vector<float> stereo(frames * 2), mono(frames);
    for (size_t i = 0; i < frames; ++i)
    {
        stereo[2 * i] = scale * mix.left[i];
        stereo[2 * i + 1] = scale * mix.right[i];
        mono[i] = scale * 0.5f * (kick.left[i] + kick.right[i]);
    }
    writeTrack(mixPath, stereo, 2);
    writeTrack(kickPath, mono, 1);
    return 0;
}

struct Level
{
    double peakDb, rmsDb;
};

double toDb(double amplitude)
{
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -INFINITY;
}

Level measure(const std::string& path)
{
    SoundReader reader(path);
    std::vector<float> samples(static_cast<size_t>(reader.frames() * reader.channels()));
    reader.read(samples.data(), reader.frames());
    double peak = 0.0, sum = 0.0;
    for (float s : samples)
    {
        peak = std::max(peak, static_cast<double>(std::fabs(s)));
        sum += static_cast<double>(s) * s;
    }
    return {toDb(peak), toDb(std::sqrt(sum / std::max<size_t>(1, samples.size())))};
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

// A squared-gain meter of a stage that is off aims at 0: it falls from its
// resting 1 and never rises again (with the plug-in switched off it reads 0
// from the start). Falling by more than 60 dB without ever rising is
// decay, not gain reduction: no drum loop is compressed like that.
class SquaredGainColumn
{
public:
    void add(double value)
    {
        rose_ |= count_ > 0 && value > last_;
        last_ = value;
        ++count_;
        if (value <= 0.0)
            return;
        double reduction = -10.0 * std::log10(value);
        most_ = std::isnan(most_) ? reduction : std::max(most_, reduction);
    }

    double largestReduction() const
    {
        constexpr double kDecayed = 1e-6;
        bool off = std::isnan(most_) || (!rose_ && last_ < kDecayed);
        return off ? NAN : most_;
    }

private:
    double most_ = NAN;
    double last_ = 0.0;
    long count_ = 0;
    bool rose_ = false;
};

// Largest reduction per meter column in dB; NAN for a stage that stayed off.
std::vector<double> largestReductions(const std::string& csvPath, const std::string& kind, size_t meters)
{
    std::ifstream csv(csvPath);
    if (!csv)
        throw RenderError(csvPath + ": no such file");
    std::string line;
    std::getline(csv, line);
    std::vector<SquaredGainColumn> squaredGains(meters);
    std::vector<double> most(meters, NAN);
    while (std::getline(csv, line))
    {
        auto cells = split(line, ',');
        if (cells.size() != meters + 3)
            throw RenderError(csvPath + ": expected " + std::to_string(meters + 3) + " columns: " + line);
        for (size_t m = 0; m < meters; ++m)
        {
            double value = std::stod(cells[m + 2]);
            if (kind == "squared-gain")
                squaredGains[m].add(value);
            else
                most[m] = std::isnan(most[m]) ? value : std::max(most[m], value);
        }
    }
    if (kind == "squared-gain")
        for (size_t m = 0; m < meters; ++m)
            most[m] = squaredGains[m].largestReduction();
    return most;
}

int summarize(const std::vector<std::string>& args)
{
    const auto& [name, in, out, csv, kind, labelList] =
        std::tie(args[0], args[1], args[2], args[3], args[4], args[5]);
    if (kind != "squared-gain" && kind != "db")
        throw RenderError("meter kind must be squared-gain or db, not " + kind);
    auto labels = split(labelList, ',');
    if (labels.empty())
        labels.push_back(""); // one meter, named by the line's "max GR" alone
    auto before = measure(in), after = measure(out);
    auto reductions = largestReductions(csv, kind, labels.size());

    std::printf("%-14s in peak %6.1f dBFS, RMS %6.1f dBFS | out peak %6.1f dBFS, RMS %6.1f dBFS | max GR", name.c_str(),
                before.peakDb, before.rmsDb, after.peakDb, after.rmsDb);
    for (size_t m = 0; m < labels.size(); ++m)
    {
        std::printf("%s%s%s", m ? ", " : " ", labels[m].c_str(), labels[m].empty() ? "" : " ");
        if (std::isnan(reductions[m]))
            std::printf("off");
        else
            std::printf("%.1f dB", std::max(0.0, reductions[m]));
    }
    std::printf("\n");
    return 0;
}

int usage()
{
    std::cerr << "usage: korvel-demo-audio loop KITDIR MIX.wav KICK.wav\n"
                 "       korvel-demo-audio summary NAME IN.wav OUT.wav METERS.csv squared-gain|db [LABEL,...]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try
    {
        if (args.size() == 4 && args[0] == "loop")
            return makeLoop(args[1], args[2], args[3]);
        if ((args.size() == 6 || args.size() == 7) && args[0] == "summary")
        {
            args.resize(7);
            return summarize({args.begin() + 1, args.end()});
        }
        return usage();
    }
    catch (const std::exception& e)
    {
        std::cerr << "korvel-demo-audio: " << e.what() << "\n";
        return 1;
    }
}
