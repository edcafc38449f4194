#include "consolidate/record/number_text.h"

#include <charconv>
#include <cmath>

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
                if (n < 0) *at++ = '-';
                at = std::to_chars(at, at + 20, whole).ptr;
                if (part != 0) {
                    *at++ = '.';
                    *at++ = static_cast<char>('0' + part / 10);
                    if (part % 10 != 0) *at++ = static_cast<char>('0' + part % 10);
                }
                return at;
            }
        }
    }
    return std::to_chars(at, at + kNumberTextSize, x).ptr;
}

}  // namespace sbx
