#pragma once

#include <array>
#include <cmath>

// Character curves of the detector: table lookups with linear interpolation
// over input magnitudes 0 to 1.4 (flat beyond), one table for negative inputs
// (sign bit set, so also -0.0) and one for the others. Only the entries'
// magnitudes count; the result takes the sign of the input.
struct ShapeTable {
    std::array<float, 200> entries;
    float scale;  // table positions per unit of input: 199 / 1.4, rounded
    int length;
};

extern const ShapeTable kVcaNegativeTable;
extern const ShapeTable kVcaPositiveTable;
extern const ShapeTable kFetNegativeTable;
extern const ShapeTable kFetPositiveTable;
extern const ShapeTable kOptoNegativeTable;
extern const ShapeTable kOptoPositiveTable;

// The interpolated lookup shared by the three curves.
inline double LookUpShape(const ShapeTable& negative, const ShapeTable& positive, double x)
{
    const ShapeTable& table = std::signbit(x) ? negative : positive;
    const auto& e = table.entries;
    const int last = table.length - 1;
    const double p = static_cast<double>(table.scale) * std::fabs(x);
    double value;
    if (std::isnan(p)) {
        value = e[0];
    } else if (p >= last) {  // also infinite and huge inputs: the curve stays flat
        value = e[last];
    } else {
        const int i = static_cast<int>(p);
        const double f = p - i;
        value = static_cast<double>(e[i]) * (1.0 - f) + static_cast<double>(e[i + 1]) * f;
    }
    return std::copysign(std::fabs(value), x);
}

inline double ShapeVca(double x)
{
    return LookUpShape(kVcaNegativeTable, kVcaPositiveTable, x);
}

inline double ShapeFet(double x)
{
    return LookUpShape(kFetNegativeTable, kFetPositiveTable, x);
}

inline constexpr double kOptoGain = 3.9810717055349727;  // 10^0.6

// Carries a gain of 10^0.6 of its own.
inline double ShapeOpto(double x)
{
    return LookUpShape(kOptoNegativeTable, kOptoPositiveTable, x) * kOptoGain;
}
