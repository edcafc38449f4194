#pragma once
// Adding many amounts without the drift of plain floating-point addition: Neumaier's
// compensated sum keeps what each addition rounds away and adds it back at the end, so the
// total of a thousand reports is the correctly rounded sum of their numbers in nearly every
// case (ten times 0.1 is 1, not 0.9999999999999999), whatever order the files come in.
#include <cmath>

namespace sbx {

class CompensatedSum {
public:
    CompensatedSum() = default;
    explicit CompensatedSum(double start) : sum_(start) {}

    void add(double x) {
        const double t = sum_ + x;
        if (std::isfinite(t)) {
            c_ += std::abs(sum_) >= std::abs(x) ? (sum_ - t) + x : (x - t) + sum_;
        }
        sum_ = t;
    }
    double value() const { return std::isfinite(sum_) ? sum_ + c_ : sum_; }

private:
    double sum_ = 0.0;
    double c_ = 0.0;
};

}  // namespace sbx
