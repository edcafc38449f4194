#include "app/hint_colour.h"

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

std::uint64_t clockSeed() {
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(duration_cast<microseconds>(now).count() % (24LL * 3600 * 1000000));
}

}  // namespace sbx
