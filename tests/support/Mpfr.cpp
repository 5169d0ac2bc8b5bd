// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Mpfr.h"

#include <cmath>
#include <limits>

#include <mpfr.h>

namespace vireon::test {
namespace {

// A 53-bit MPFR number confined to the double exponent range, so that rounding (subnormals
// included) matches the hardware's.
class DoubleRange {
  public:
    DoubleRange() {
        oldMin_ = mpfr_get_emin();
        oldMax_ = mpfr_get_emax();
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
    }
    ~DoubleRange() {
        mpfr_set_emin(oldMin_);
        mpfr_set_emax(oldMax_);
    }
    DoubleRange(const DoubleRange&) = delete;
    DoubleRange& operator=(const DoubleRange&) = delete;

  private:
    mpfr_exp_t oldMin_;
    mpfr_exp_t oldMax_;
};

class Number {
  public:
    explicit Number(mpfr_prec_t precision) { mpfr_init2(value_, precision); }
    ~Number() { mpfr_clear(value_); }
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;
    mpfr_ptr get() { return value_; }

  private:
    mpfr_t value_;
};

}  // namespace

double referenceSine(double x) {
    if (!std::isfinite(x)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const DoubleRange range;
    Number result(53);
    mpfr_set_d(result.get(), x, MPFR_RNDN);
    const int ternary = mpfr_sin(result.get(), result.get(), MPFR_RNDN);
    mpfr_subnormalize(result.get(), ternary, MPFR_RNDN);
    return mpfr_get_d(result.get(), MPFR_RNDN);
}

double referencePower(double base, double exponent) {
    const DoubleRange range;
    Number result(53);
    Number b(53);
    Number e(53);
    mpfr_set_d(b.get(), base, MPFR_RNDN);
    mpfr_set_d(e.get(), exponent, MPFR_RNDN);
    const int ternary = mpfr_pow(result.get(), b.get(), e.get(), MPFR_RNDN);
    mpfr_subnormalize(result.get(), ternary, MPFR_RNDN);
    return mpfr_get_d(result.get(), MPFR_RNDN);
}

void referenceInverseTwoPi(std::uint32_t* words, int wordCount) {
    Number value(32 * wordCount + 64);
    mpfr_const_pi(value.get(), MPFR_RNDN);
    mpfr_mul_2ui(value.get(), value.get(), 1, MPFR_RNDN);
    mpfr_ui_div(value.get(), 1, value.get(), MPFR_RNDN);
    for (int i = wordCount - 1; i >= 0; --i) {
        // Peel off the next 32 bits below the binary point.
        mpfr_mul_2ui(value.get(), value.get(), 32, MPFR_RNDN);
        Number integer(64);
        mpfr_floor(integer.get(), value.get());
        words[i] = static_cast<std::uint32_t>(mpfr_get_ui(integer.get(), MPFR_RNDZ));
        mpfr_sub(value.get(), value.get(), integer.get(), MPFR_RNDN);
    }
}

namespace {

// The smallest e (down to -200) with |difference| < 2^e.
int errorExponent(Number& difference) {
    mpfr_abs(difference.get(), difference.get(), MPFR_RNDN);
    for (int e = -200; e < 0; ++e) {
        if (mpfr_cmp_d(difference.get(), std::ldexp(1.0, e)) < 0) {
            return e;
        }
    }
    return 0;
}

}  // namespace

int sineTableError(double hi, double lo, std::uint32_t numerator, std::uint32_t denominator,
                   bool cosine) {
    Number angle(400);
    mpfr_const_pi(angle.get(), MPFR_RNDN);
    mpfr_mul_ui(angle.get(), angle.get(), 2 * numerator, MPFR_RNDN);
    mpfr_div_ui(angle.get(), angle.get(), denominator, MPFR_RNDN);
    Number exact(400);
    if (cosine) {
        mpfr_cos(exact.get(), angle.get(), MPFR_RNDN);
    } else {
        mpfr_sin(exact.get(), angle.get(), MPFR_RNDN);
    }
    Number difference(400);
    mpfr_set_d(difference.get(), hi, MPFR_RNDN);
    mpfr_add_d(difference.get(), difference.get(), lo, MPFR_RNDN);
    mpfr_sub(difference.get(), difference.get(), exact.get(), MPFR_RNDN);
    return errorExponent(difference);
}

int turnFractionError(const double* parts, int count, std::uint32_t denominator) {
    Number difference(400);
    mpfr_const_pi(difference.get(), MPFR_RNDN);
    mpfr_mul_ui(difference.get(), difference.get(), 2, MPFR_RNDN);
    mpfr_div_ui(difference.get(), difference.get(), denominator, MPFR_RNDN);
    for (int i = 0; i < count; ++i) {
        mpfr_sub_d(difference.get(), difference.get(), parts[i], MPFR_RNDN);
    }
    return errorExponent(difference);
}

}  // namespace vireon::test
