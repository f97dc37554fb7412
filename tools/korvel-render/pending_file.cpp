#include "pending_file.h"

#include "errors.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::render {
namespace {

// Fixed storage: the signal handler may only read plain memory.
constexpr std::size_t kSlots = 8;
constexpr std::size_t kPathBytes = 4096;
std::array<std::array<char, kPathBytes>, kSlots> gTemporaryPaths {};
std::array<std::atomic<bool>, kSlots> gSlotInUse {};

int registerTemporary(const std::string& path)
{
    if (path.size() >= kPathBytes)
        return -1;
    for (std::size_t i = 0; i < kSlots; ++i)
    {
        bool expected = false;
        if (gSlotInUse[i].compare_exchange_strong(expected, true))
        {
            std::memcpy(gTemporaryPaths[i].data(), path.c_str(), path.size() + 1);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void unregisterTemporary(int slot)
{
    if (slot >= 0)
        gSlotInUse[static_cast<std::size_t>(slot)] = false;
}

extern "C" void removeTemporariesAndDie(int signal)
{
    for (std::size_t i = 0; i < kSlots; ++i)
        if (gSlotInUse[i])
            unlink(gTemporaryPaths[i].data());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string folderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkstemp creates files readable by the owner only; a finished output should
// get the permissions of any other new file.
void applyUmask(int fd)
{
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
}

} // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target))
{
    if (target_.empty() || target_.back() == '/')
        throw RenderError("'" + target_ + "' is not a file name");
    struct stat existing {};
    if (stat(target_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        throw RenderError("cannot write " + target_ + ": it is a folder");
    std::string pattern = folderOf(target_) + "/." + fileNameOf(target_) + ".partial-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw RenderError("cannot write " + target_ + ": " + std::strerror(errno));
    applyUmask(fd);
    close(fd);
    temporary_ = pattern;
    slot_ = registerTemporary(temporary_);
}

PendingFile::~PendingFile()
{
    if (!committed_)
        std::remove(temporary_.c_str());
    unregisterTemporary(slot_);
}

void PendingFile::commit()
{
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw RenderError("cannot write " + target_ + ": " + std::strerror(errno));
    committed_ = true;
}

void removePendingFilesOnSignals()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, removeTemporariesAndDie);
}

} // namespace korvel::render
