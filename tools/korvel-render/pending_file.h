#pragma once

#include <string>

namespace korvel::render {

// An output written under a temporary name in the target's folder and renamed
// over the target only by commit(), so that a failed or interrupted run never
// leaves a partial file where the user expects a result.
class PendingFile
{
public:
    explicit PendingFile(std::string target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return temporary_; }
    const std::string& target() const { return target_; }
    void commit();

private:
    std::string target_;
    std::string temporary_;
    int slot_ = -1;
    bool committed_ = false;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporaries of pending files
// before the process ends.
void removePendingFilesOnSignals();

} // namespace korvel::render
