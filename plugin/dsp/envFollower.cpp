#include "envFollower.h"

#include <climits>
#include <cmath>

namespace {

// Truncation toward zero that saturates instead of overflowing; NaN gives 0.
int TruncateToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT_MAX;
    if (v <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(v);
}

int HoldSamples(double ms, double sampleRate)
{
    return TruncateToInt(ms / 1000.0 * sampleRate);
}

} // namespace

envFollower::envFollower()
{
    Initialize(0, 5.0, 50.0, 0.0, 44100.0);
}

double envFollower::Coefficient(double ms, double sampleRate)
{
    return std::pow(0.01, 1.0 / (ms * sampleRate * 0.001));
}

void envFollower::Setup(int mode, double attackMs, double releaseMs, double holdMs, double sampleRate)
{
    Initialize(mode, attackMs, releaseMs, holdMs, sampleRate);
}

void envFollower::Initialize(int mode, double attackMs, double releaseMs, double holdMs, double sampleRate)
{
    mode_ = mode;
    sampleRate_ = sampleRate;
    attackMs_ = attackMs;
    releaseMs_ = releaseMs;
    holdMs_ = holdMs;
    attackCoefficient_ = Coefficient(attackMs, sampleRate);
    releaseCoefficient_ = Coefficient(releaseMs, sampleRate);
    envelope_ = 0.0;
    holdCounter_ = 0;
    holdLength_ = HoldSamples(holdMs, sampleRate);
}

void envFollower::Follow(double sample)
{
    FollowLevel(std::fabs(sample));
}

void envFollower::ChangeAttack(double ms)
{
    attackMs_ = ms;
    attackCoefficient_ = Coefficient(ms, sampleRate_);
}

void envFollower::ChangeRelease(double ms)
{
    releaseMs_ = ms;
    releaseCoefficient_ = Coefficient(ms, sampleRate_);
}

void envFollower::ChangeHold(double ms)
{
    holdMs_ = ms;
    holdLength_ = HoldSamples(ms, sampleRate_);
}
