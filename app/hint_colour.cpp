#include "app/hint_colour.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <random>

namespace sbx {

Rgb hintColour(double r1, double r2, double r3) {
    return Rgb{static_cast<int>(std::floor(r1 * 255.0)), static_cast<int>(std::nearbyint(r2 * 255.0)),
               static_cast<int>(std::floor(r3 * 255.0))};
}

Rgb hintColourFromSeed(std::uint64_t seed) {
    std::mt19937_64 generator(seed);
    std::uniform_real_distribution<double> draw(0.0, 1.0);
    const double r1 = draw(generator);
    const double r2 = draw(generator);
    const double r3 = draw(generator);
    return hintColour(r1, r2, r3);
}

double relativeLuminance(Rgb colour) {
    // The linear light of each channel value, worked out once: ten ticks a second need it.
    static const std::array<double, 256> linear = [] {
        std::array<double, 256> values{};
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double c = static_cast<double>(i) / 255.0;
            values[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return values;
    }();
    const auto at = [](int channel) { return linear[static_cast<std::size_t>(std::clamp(channel, 0, 255))]; };
    return 0.2126 * at(colour.red) + 0.7152 * at(colour.green) + 0.0722 * at(colour.blue);
}

double contrastRatio(Rgb first, Rgb second) {
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

Rgb readableOn(Rgb colour, Rgb background) {
    // Towards whichever of black and white stands out more on the background.
    const bool darken = contrastRatio(Rgb{0, 0, 0}, background) >= contrastRatio(Rgb{255, 255, 255}, background);
    const auto step = [darken](int channel) {
        return darken ? channel * 7 / 8 : channel + (255 - channel + 7) / 8;
    };
    // Each step moves every channel at least one nearer the end, so 256 steps reach it.
    for (int i = 0; i < 256 && contrastRatio(colour, background) < kReadableContrast; ++i) {
        colour = Rgb{step(colour.red), step(colour.green), step(colour.blue)};
    }
    return colour;
}

std::uint64_t clockSeed() {
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(duration_cast<microseconds>(now).count() % (24LL * 3600 * 1000000));
}

}  // namespace sbx
