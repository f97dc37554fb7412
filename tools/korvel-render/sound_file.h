#pragma once

#include <cstdint>
#include <string>

typedef struct sf_private_tag SNDFILE;

namespace korvel::render {

// Interleaved frames at a fixed rate and channel count.
class AudioSource
{
public:
    virtual ~AudioSource() = default;
    virtual int channels() const = 0;
    virtual double sampleRate() const = 0;
    virtual std::int64_t frames() const = 0;
    // Returns the frames read: fewer than asked only at the end.
    virtual std::int64_t read(float* interleaved, std::int64_t frames) = 0;
    virtual std::int64_t read(double* interleaved, std::int64_t frames) = 0;
};

// A given number of silent frames.
class Silence : public AudioSource
{
public:
    Silence(double sampleRate, int channels, std::int64_t frames)
    : sampleRate_(sampleRate), channels_(channels), left_(frames), frames_(frames)
    {
    }
    int channels() const override { return channels_; }
    double sampleRate() const override { return sampleRate_; }
    std::int64_t frames() const override { return frames_; }
    std::int64_t read(float* interleaved, std::int64_t frames) override { return fill(interleaved, frames); }
    std::int64_t read(double* interleaved, std::int64_t frames) override { return fill(interleaved, frames); }

private:
    template <typename Sample>
    std::int64_t fill(Sample* interleaved, std::int64_t frames)
    {
        std::int64_t count = frames < left_ ? frames : left_;
        for (std::int64_t i = 0; i < count * channels_; ++i)
            interleaved[i] = Sample(0);
        left_ -= count;
        return count;
    }

    double sampleRate_;
    int channels_;
    std::int64_t left_;
    std::int64_t frames_;
};

// Reads interleaved frames from any file that libsndfile understands.
class SoundReader : public AudioSource
{
public:
    explicit SoundReader(const std::string& path);
    ~SoundReader() override;
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    const std::string& path() const { return path_; }
    int channels() const override { return channels_; }
    double sampleRate() const override { return sampleRate_; }
    std::int64_t frames() const override { return frames_; }

    std::int64_t read(float* interleaved, std::int64_t frames) override;
    std::int64_t read(double* interleaved, std::int64_t frames) override;

private:
    std::int64_t checked(std::int64_t framesRead);

    std::string path_;
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    double sampleRate_ = 0.0;
    std::int64_t frames_ = 0;
};

// Where rendered frames go.
class AudioSink
{
public:
    virtual ~AudioSink() = default;
    virtual void write(const float* interleaved, std::int64_t frames) = 0;
    virtual void write(const double* interleaved, std::int64_t frames) = 0;
};

// Writes a 32-bit float WAV.
class SoundWriter : public AudioSink
{
public:
    // displayName names the file in messages (the path may be a temporary).
    SoundWriter(const std::string& path, const std::string& displayName, double sampleRate, int channels);
    ~SoundWriter() override;
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    void write(const float* interleaved, std::int64_t frames) override;
    void write(const double* interleaved, std::int64_t frames) override;
    void close();

private:
    void checked(std::int64_t framesWritten, std::int64_t framesAsked);

    std::string displayName_;
    SNDFILE* file_ = nullptr;
};

} // namespace korvel::render
