#pragma once
// The colour of the hint box's text, redrawn by Timer1 about ten times a second.
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

}  // namespace sbx
