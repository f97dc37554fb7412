#include "ShapeCurves.h"

#include <cmath>

namespace {

// The curves are measured at these indices; the entries between two of them
// lie on the straight line joining them.
constexpr int kMeasuredCount = 21;
constexpr std::array<int, kMeasuredCount> kMeasuredIndices = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 40, 60, 80, 100, 120, 140, 160, 180, 199};

using Measured = std::array<double, kMeasuredCount>;

constexpr Measured kVcaMeasured = {
    0, 0.004215, 0.00843, 0.012645, 0.016859, 0.021073, 0.025287, 0.0295, 0.033713, 0.037926, 0.042138,
    0.084242, 0.168359, 0.252366, 0.336266, 0.420062, 0.503754, 0.587344, 0.67083, 0.754214, 0.833333};
constexpr Measured kFetNegativeMeasured = {
    0, 0.001367, 0.005039, 0.010215, 0.016265, 0.022789, 0.029558, 0.036451, 0.043407, 0.050395, 0.057397,
    0.127562, 0.267922, 0.408287, 0.548656, 0.689028, 0.829404, 0.969783, 1.110166, 1.250552, 1.383922};
constexpr Measured kOptoNegativeMeasured = {
    0, 0.001016, 0.002031, 0.003046, 0.004061, 0.005075, 0.006088, 0.007101, 0.008114, 0.009126, 0.010138,
    0.02023, 0.040279, 0.060145, 0.079829, 0.099329, 0.118647, 0.137783, 0.156736, 0.175508, 0.193174};
// Positive inputs of both FET and Opto.
constexpr Measured kFetOptoPositiveMeasured = {
    0, 0.001016, 0.002033, 0.003049, 0.004066, 0.005083, 0.0061, 0.007118, 0.008135, 0.009153, 0.010171,
    0.020365, 0.040814, 0.061345, 0.081954, 0.102635, 0.123383, 0.144193, 0.165058, 0.185971, 0.205874};

constexpr ShapeTable MakeTable(const Measured& measured)
{
    ShapeTable table{};
    table.scale = 142.143f;
    table.length = 200;
    for (int k = 0; k + 1 < kMeasuredCount; ++k) {
        const int a = kMeasuredIndices[k];
        const int b = kMeasuredIndices[k + 1];
        const double ea = measured[k];
        const double eb = measured[k + 1];
        for (int i = a; i < b; ++i)
            table.entries[i] = static_cast<float>(ea + (eb - ea) * (i - a) / (b - a));
    }
    table.entries[199] = static_cast<float>(measured[kMeasuredCount - 1]);
    return table;
}

} // namespace

constexpr ShapeTable kVcaNegativeTable = MakeTable(kVcaMeasured);
constexpr ShapeTable kVcaPositiveTable = MakeTable(kVcaMeasured);
constexpr ShapeTable kFetNegativeTable = MakeTable(kFetNegativeMeasured);
constexpr ShapeTable kFetPositiveTable = MakeTable(kFetOptoPositiveMeasured);
constexpr ShapeTable kOptoNegativeTable = MakeTable(kOptoNegativeMeasured);
constexpr ShapeTable kOptoPositiveTable = MakeTable(kFetOptoPositiveMeasured);
