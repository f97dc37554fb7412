#include "progress.h"

#include <string>
#include <unistd.h>

namespace korvel::render {

ProgressBar::ProgressBar(std::ostream& out, std::int64_t totalFrames, bool enabled)
: out_(out), total_(totalFrames), enabled_(enabled && totalFrames > 0)
{
}

ProgressBar::~ProgressBar()
{
    if (enabled_ && shownPercent_ >= 0)
        out_ << "\r\033[K" << std::flush;
}

void ProgressBar::update(std::int64_t framesDone)
{
    if (!enabled_)
        return;
    int percent = static_cast<int>(100 * framesDone / total_);
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    out_ << "\rrendering [" << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << percent << "%" << std::flush;
}

bool wantProgressBar(std::int64_t frames, double sampleRate)
{
    constexpr double kSeconds = 5.0;
    return isatty(STDERR_FILENO) && sampleRate > 0 && frames > kSeconds * sampleRate;
}

} // namespace korvel::render
