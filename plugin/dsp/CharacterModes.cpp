#include "CharacterModes.h"

#include "ShapeCurves.h"

namespace {

constexpr CharacterMode kModes[] = {
    {1, 1, {ShapeVca, nullptr, nullptr}, 1.0, 1.0, 0.0},
    {5, 1, {ShapeFet, nullptr, nullptr}, 1.2589254117941673, 0.8, 0.0},     // 10^0.1
    {6, 2, {ShapeFet, ShapeVca, nullptr}, 1.7782794100389228, 0.8, 0.0},    // 10^0.25
    {10, 1, {ShapeOpto, nullptr, nullptr}, 1.0, 0.9, 0.3},
    {11, 2, {ShapeOpto, ShapeVca, nullptr}, 1.333521432163324, 1.0, 0.3},   // 10^0.125
    {15, 2, {ShapeOpto, ShapeFet, nullptr}, 1.8836490894898006, 0.8, 0.3},  // 10^0.275
    {16, 3, {ShapeOpto, ShapeFet, ShapeVca}, 2.2387211385683394, 1.0, 0.1}, // 10^0.35
};

} // namespace

const CharacterMode* FindCharacterMode(int code)
{
    for (const CharacterMode& mode : kModes)
        if (mode.code == code)
            return &mode;
    return nullptr;
}

double ShapeDetector(const CharacterMode& mode, double x)
{
    for (int i = 0; i < mode.shapeCount; ++i)
        x = mode.shapes[i](x);
    return x;
}

double KneeFactorForRatio(const CharacterMode& mode, double ratio)
{
    return mode.k1 + (ratio - 1.0) / (20.0 - 1.0) * (mode.k20 - mode.k1);
}
