#include "consolidate/record/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace sbx {

char* writeNumber(char* at, double x) {
    const double magnitude = std::fabs(x);
    // Below 1e13 a double's step is under 0.002, so no other text of two decimals or fewer
    // reads back as x: n / 100 is then the shortest text, and fixed notation is the shorter one
    // except for whole numbers from 100000 with trailing zeros (1e+05).
    if (magnitude >= 0.01 && magnitude < 1e13) {
        const double cents = x * 100;
        const auto n = static_cast<long long>(cents < 0 ? cents - 0.5 : cents + 0.5);
        if (static_cast<double>(n) / 100 == x) {
            const unsigned long long u = static_cast<unsigned long long>(n < 0 ? -n : n);
            const unsigned long long whole = u / 100, part = u % 100;
            if (part != 0 || whole < 100000 || whole % 10 != 0) {
                // Written from the right, two digits a step: a record has one number for each
                // value of the pool.
                static constexpr char kPairs[] =
                    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                    "8081828384858687888990919293949596979899";
                char text[24];
                char* p = text + sizeof text;
                if (part != 0) {
                    if (part % 10 != 0) *--p = static_cast<char>('0' + part % 10);
                    *--p = static_cast<char>('0' + part / 10);
                    *--p = '.';
                }
                unsigned long long rest = whole;
                while (rest >= 100) {
                    p -= 2;
                    std::memcpy(p, kPairs + 2 * (rest % 100), 2);
                    rest /= 100;
                }
                if (rest >= 10) {
                    p -= 2;
                    std::memcpy(p, kPairs + 2 * rest, 2);
                } else {
                    *--p = static_cast<char>('0' + rest);
                }
                if (n < 0) *--p = '-';
                const auto length = static_cast<size_t>(text + sizeof text - p);
                std::memcpy(at, p, length);
                return at + length;
            }
        }
    }
    return std::to_chars(at, at + kNumberTextSize, x).ptr;
}

}  // namespace sbx
