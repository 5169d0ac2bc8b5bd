// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>

#include <gtest/gtest.h>

#include "exactmath/Sine.h"
#include "tests/support/Mpfr.h"

namespace vireon::exactmath {
namespace {

// The reduction's exactness rests on each of the first three pieces being a multiple of 2^e
// below 2^(e + 16), with the pieces so far within 2^e of 2 pi / 2048; its accuracy on the
// four together being within 2^-112.
TEST(SineReduction, TurnPiecesAreTheBitsOfTheTurnFraction) {
    const auto& pieces = sine_detail::kTurnPieces;
    const int lowestBit[] = {-24, -40, -56};
    for (int i = 0; i < 3; ++i) {
        const double unit = std::ldexp(1.0, lowestBit[i]);
        EXPECT_EQ(std::fmod(pieces[i], unit), 0.0) << i;
        EXPECT_LT(std::fabs(pieces[i]), unit * 65536.0) << i;
        EXPECT_LE(test::turnFractionError(pieces.data(), i + 1, 2048), lowestBit[i]) << i;
    }
    EXPECT_LE(test::turnFractionError(pieces.data(), 4, 2048), -112);
}

}  // namespace
}  // namespace vireon::exactmath
