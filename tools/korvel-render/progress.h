#pragma once

#include <cstdint>
#include <ostream>

namespace korvel::render {

// A one-line progress bar, redrawn only when the shown percentage changes.
class ProgressBar
{
public:
    ProgressBar(std::ostream& out, std::int64_t totalFrames, bool enabled);
    ~ProgressBar();
    void update(std::int64_t framesDone);

private:
    std::ostream& out_;
    std::int64_t total_;
    bool enabled_;
    int shownPercent_ = -1;
};

// Shown for files longer than a few seconds when stderr is a terminal.
bool wantProgressBar(std::int64_t frames, double sampleRate);

} // namespace korvel::render
