#pragma once
// The colour of the hint box's text, redrawn about ten times a second.
#include <cstdint>

namespace sbx {

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

// From three draws in [0, 1): red and blue take the whole part of r × 255, green r × 255
// rounded to the nearest integer, halves to even.
Rgb hintColour(double r1, double r2, double r3);

// One tick: a generator seeded afresh from the clock, three draws, the colour.
Rgb hintColourFromSeed(std::uint64_t seed);

// The seed of a tick: the time of day in microseconds.
std::uint64_t clockSeed();

// The least contrast of text against its background that reads well (WCAG 2, level AA).
inline constexpr double kReadableContrast = 4.5;

// WCAG 2 relative luminance of an sRGB colour: 0 for black, 1 for white.
double relativeLuminance(Rgb colour);
// (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on white.
double contrastRatio(Rgb first, Rgb second);

// The hint's colour as it is shown on `background`: `colour` itself when it reads, otherwise
// darkened (on a light background) or lightened (on a dark one) step by step, keeping its
// hue, until its contrast is at least kReadableContrast.
Rgb readableOn(Rgb colour, Rgb background);

}  // namespace sbx
