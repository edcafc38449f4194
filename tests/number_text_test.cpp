// writeNumber must write exactly what std::to_chars writes (the shortest text that reads
// back), also where its shortcut for amounts does not apply.
#include "consolidate/record/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace {

std::string reference(double x) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

std::string written(double x) {
    char text[sbx::kNumberTextSize];
    return std::string(text, sbx::writeNumber(text, x));
}

TEST(NumberTextTest, WritesWhatToCharsWrites) {
    const double cases[] = {0.0, -0.0, 0.01, -0.01, 0.05, 0.1, 0.5, 0.009, 0.015, 1, 12.5, 84743.37, 99999.99,
                            100000, 120000, 100001, 123456.7, 1e6, 16519614.36, 2500000, 9999999999999.99,
                            1e13, 1e13 + 0.5, 0.1 + 0.2, 1.005, 2.675, 1.0 / 3, 123456789.12345, -84743.37,
                            -120000, 1e300, 5e-324, std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::max()};
    for (const double x : cases) EXPECT_EQ(written(x), reference(x)) << reference(x);
}

TEST(NumberTextTest, WritesRandomAmountsAndNumbersAsToCharsDoes) {
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<long long> cents(-10'000'000'000'000'00ll, 10'000'000'000'000'00ll);
    std::uniform_int_distribution<int> scale(0, 8);
    std::uniform_real_distribution<double> any(-1e7, 1e7);
    for (int i = 0; i < 200000; ++i) {
        const double amount = static_cast<double>(cents(random) >> (4 * scale(random))) / 100;
        ASSERT_EQ(written(amount), reference(amount));
        const double whole = std::round(amount) * 10;
        ASSERT_EQ(written(whole), reference(whole));
        const double number = any(random);
        ASSERT_EQ(written(number), reference(number));
    }
}

}  // namespace
