#include "OutputSaturator.h"

#include <cmath>

namespace {
constexpr double kInputScale = 0.12589254117941673;  // 10^-0.9
constexpr double kOutputScale = 7.0794578438413795;  // 10^0.85
constexpr double kSinOfLimit = 0.706825181105366;    // sin(0.785)
} // namespace

double OutputSaturator(double x)
{
    double t = kInputScale * x;
    if (t > 1.0)
        t = 1.0;
    if (t < -1.0)
        t = -1.0;
    double s = std::sin(0.785 * t) / kSinOfLimit;
    if (s < -1.0)
        s = -1.0;
    if (s > 1.0)
        s = 1.0;
    return kOutputScale * s;
}
