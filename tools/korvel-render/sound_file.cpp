#include "sound_file.h"

#include "errors.h"

#include <sndfile.h>
#include <sys/stat.h>

namespace korvel::render {
namespace {

std::string oneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    for (auto& c : text)
        if (c == '\n')
            c = ' ';
    return text;
}

void checkIsRegularFile(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw RenderError(path + ": no such file");
    if (!S_ISREG(info.st_mode))
        throw RenderError(path + ": not a regular file");
}

} // namespace

SoundReader::SoundReader(const std::string& path) : path_(path)
{
    checkIsRegularFile(path);
    SF_INFO info {};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (!file_)
        throw RenderError(path + ": not a readable audio file (" + oneLine(sf_strerror(nullptr)) + ")");
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    frames_ = info.frames;
}

SoundReader::~SoundReader()
{
    if (file_)
        sf_close(file_);
}

std::int64_t SoundReader::read(float* interleaved, std::int64_t frames)
{
    return checked(sf_readf_float(file_, interleaved, frames));
}

std::int64_t SoundReader::read(double* interleaved, std::int64_t frames)
{
    return checked(sf_readf_double(file_, interleaved, frames));
}

std::int64_t SoundReader::checked(std::int64_t framesRead)
{
    if (sf_error(file_) != SF_ERR_NO_ERROR)
        throw RenderError(path_ + ": read error (" + oneLine(sf_strerror(file_)) + ")");
    return framesRead;
}

SoundWriter::SoundWriter(const std::string& path, const std::string& displayName, double sampleRate,
                         int channels)
: displayName_(displayName)
{
    SF_INFO info {};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_)
        throw RenderError("cannot write " + displayName + ": " + oneLine(sf_strerror(nullptr)));
    // The PEAK chunk carries a time stamp: without it the same render gives the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

SoundWriter::~SoundWriter()
{
    if (file_)
        sf_close(file_);
}

void SoundWriter::write(const float* interleaved, std::int64_t frames)
{
    checked(sf_writef_float(file_, interleaved, frames), frames);
}

void SoundWriter::write(const double* interleaved, std::int64_t frames)
{
    checked(sf_writef_double(file_, interleaved, frames), frames);
}

void SoundWriter::close()
{
    int status = sf_close(file_);
    file_ = nullptr;
    if (status != 0)
        throw RenderError("cannot write " + displayName_ + ": " + oneLine(sf_error_number(status)));
}

void SoundWriter::checked(std::int64_t framesWritten, std::int64_t framesAsked)
{
    if (framesWritten != framesAsked)
        throw RenderError("cannot write " + displayName_ + ": " + oneLine(sf_strerror(file_)));
}

} // namespace korvel::render
