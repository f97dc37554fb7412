#pragma once

#include <cstdint>
#include <string>

typedef struct sf_private_tag SNDFILE;

namespace korvel::render {

// Reads interleaved frames from any file that libsndfile understands.
class SoundReader
{
public:
    explicit SoundReader(const std::string& path);
    ~SoundReader();
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    const std::string& path() const { return path_; }
    int channels() const { return channels_; }
    double sampleRate() const { return sampleRate_; }
    std::int64_t frames() const { return frames_; }

    // Returns the frames read: fewer than asked only at the end of the file.
    std::int64_t read(float* interleaved, std::int64_t frames);
    std::int64_t read(double* interleaved, std::int64_t frames);

private:
    std::int64_t checked(std::int64_t framesRead);

    std::string path_;
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    double sampleRate_ = 0.0;
    std::int64_t frames_ = 0;
};

// Writes a 32-bit float WAV.
class SoundWriter
{
public:
    // displayName names the file in messages (the path may be a temporary).
    SoundWriter(const std::string& path, const std::string& displayName, double sampleRate, int channels);
    ~SoundWriter();
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    void write(const float* interleaved, std::int64_t frames);
    void write(const double* interleaved, std::int64_t frames);
    void close();

private:
    void checked(std::int64_t framesWritten, std::int64_t framesAsked);

    std::string displayName_;
    SNDFILE* file_ = nullptr;
};

} // namespace korvel::render
