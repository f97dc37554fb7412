#pragma once

#include <array>

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

double ShapeVca(double x);
double ShapeFet(double x);
double ShapeOpto(double x);  // carries a gain of 10^0.6 of its own

// The interpolated lookup shared by the three curves.
double LookUpShape(const ShapeTable& negative, const ShapeTable& positive, double x);
