#pragma once

class HalfbandFir;

// The output saturator of one channel, run at the host rate (factor 0) or at
// twice the rate between an up- and a down-sampling halfband filter (factor 2,
// 64 samples of delay at the host rate). Any other factor counts as 0.
double SaturateOversampled(double x, int factor, HalfbandFir& up, HalfbandFir& down);
