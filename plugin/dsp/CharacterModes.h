#pragma once

// The detector's character modes. A stage's mode code is the sum of its
// switches: VCA 1, FET 5, Opto 10; code 0 switches the stage off. Each code
// selects the shaping curves (innermost first), a drive factor applied after
// the detector band filter, and the knee factor's line over the ratio.
using ShapeCurve = double (*)(double);

struct CharacterMode {
    int code;
    int shapeCount;
    ShapeCurve shapes[3];  // innermost first: Opto, then FET, then VCA
    double drive;
    double k1;   // knee factor at ratio 1
    double k20;  // knee factor at ratio 20
};

// nullptr for code 0 (stage off) and for codes that no switch setting gives.
const CharacterMode* FindCharacterMode(int code);

// The mode's curves applied to x, innermost first.
double ShapeDetector(const CharacterMode& mode, double x);

// Straight line from k1 at ratio 1 to k20 at ratio 20.
double KneeFactorForRatio(const CharacterMode& mode, double ratio);
