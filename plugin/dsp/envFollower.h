#pragma once

#include <cstdint>
#include <cstring>

// Peak level follower: one-pole smoothing with separate attack and release
// coefficients and an optional hold before the release begins.
class envFollower {
public:
    envFollower();

    virtual void Setup(int mode, double attackMs, double releaseMs, double holdMs, double sampleRate);
    virtual void Follow(double sample);

    // Called every sample; the work is done only when a value changes.
    void SetAttack(double ms)
    {
        if (!SameBits(ms, attackMs_))
            ChangeAttack(ms);
    }
    void SetRelease(double ms)
    {
        if (!SameBits(ms, releaseMs_))
            ChangeRelease(ms);
    }
    void SetHold(double ms)
    {
        if (!SameBits(ms, holdMs_))
            ChangeHold(ms);
    }

    double AttackCoefficient() const { return attackCoefficient_; }
    double ReleaseCoefficient() const { return releaseCoefficient_; }
    double Envelope() const { return envelope_; }
    double SampleRate() const { return sampleRate_; }
    int HoldCounter() const { return holdCounter_; }
    int HoldLength() const { return holdLength_; }
    int Mode() const { return mode_; }

    // 0.01^(1 / (ms * sampleRate * 0.001)): a step settles to within 1 % after ms.
    static double Coefficient(double ms, double sampleRate);

protected:
    // Rising: attack. Falling: hold while the counter runs, then release.
    // Written as selections rather than branches: the direction changes
    // from sample to sample with audio, which a branch would mispredict.
    void FollowLevel(double detector)
    {
        const bool rising = detector > envelope_;
        const bool holding = !rising && holdCounter_ < holdLength_;
        const double coefficient = rising ? attackCoefficient_ : releaseCoefficient_;
        const double next = (envelope_ - detector) * coefficient + detector;
        holdCounter_ = rising ? 0 : holdCounter_ + (holding ? 1 : 0);
        envelope_ = holding ? envelope_ : next;
    }

private:
    // Bit equality, not ==: -0.0 and +0.0 give different coefficients (0 and inf).
    static bool SameBits(double a, double b)
    {
        std::uint64_t x = 0, y = 0;
        std::memcpy(&x, &a, sizeof x);
        std::memcpy(&y, &b, sizeof y);
        return x == y;
    }
    void ChangeAttack(double ms);
    void ChangeRelease(double ms);
    void ChangeHold(double ms);
    void Initialize(int mode, double attackMs, double releaseMs, double holdMs, double sampleRate);

    double attackCoefficient_ = 0.0;
    double releaseCoefficient_ = 0.0;
    double envelope_ = 0.0;
    double sampleRate_ = 0.0;
    int holdCounter_ = 0;
    int holdLength_ = 0;
    int mode_ = 0;
    // The times the coefficients and the hold length were computed from.
    double attackMs_ = 0.0;
    double releaseMs_ = 0.0;
    double holdMs_ = 0.0;
};
