// SPDX-License-Identifier: GPL-3.0-or-later
#include "exactmath/Sine.h"

#include <bit>
#include <limits>

namespace vireon::exactmath {
namespace sine_detail {
namespace {

using wide::add;
using wide::divide;
using wide::fromDouble;
using wide::fromUint64;
using wide::fromWords;
using wide::isZero;
using wide::multiply;
using wide::scaleByPowerOfTwo;
using wide::subtract;

// ---------------------------------------------------------------------------------------------
// Constants, computed at start-up in integer arithmetic (a few milliseconds), so no platform's
// libm or decimal conversion is involved.

constexpr std::size_t kPiWords = 48;  // 1536 bits: 1/(2 pi) is needed to 1408 bits
using PiFloat = WideFloat<kPiWords>;

/// True when |value| < 2^power.
template <std::size_t W>
constexpr bool isBelow(const WideFloat<W>& value, std::int64_t power) {
    return isZero(value) || value.exponent + 32 * static_cast<std::int64_t>(W) <= power;
}

/// atan(1/n) from its alternating series.
PiFloat arctanOfInverse(std::uint32_t n) {
    PiFloat power = divide(fromUint64<kPiWords>(1), n);  // 1 / n^(2k+1)
    PiFloat positive = power;
    PiFloat negative{};
    for (std::uint32_t k = 1;; ++k) {
        power = divide(divide(power, n), n);
        const PiFloat term = divide(power, 2 * k + 1);
        if (isBelow(term, -1560)) {
            break;
        }
        if (k % 2 == 1) {
            negative = add(negative, term);
        } else {
            positive = add(positive, term);
        }
    }
    return subtract(positive, negative);
}

PiFloat computeTwoPi() {
    // Machin: pi = 16 atan(1/5) - 4 atan(1/239).
    const PiFloat pi = subtract(scaleByPowerOfTwo(arctanOfInverse(5), 4),
                                scaleByPowerOfTwo(arctanOfInverse(239), 2));
    return scaleByPowerOfTwo(pi, 1);
}

const PiFloat kTwoPiWide = computeTwoPi();

std::array<std::uint32_t, kInverseTwoPiWords> computeInverseTwoPi() {
    // Newton's iteration y <- y (2 - 2 pi y) doubles the correct bits each time: 53 -> 1696.
    PiFloat y = fromDouble<kPiWords>(0.15915494309189535);
    const PiFloat two = fromUint64<kPiWords>(2);
    for (int i = 0; i < 6; ++i) {
        y = multiply(y, subtract(two, multiply(kTwoPiWide, y)));
    }
    std::array<std::uint32_t, kInverseTwoPiWords> words{};
    const std::int64_t scale = 32 * static_cast<std::int64_t>(kInverseTwoPiWords);
    for (std::size_t i = 0; i < kInverseTwoPiWords; ++i) {
        words[i] = wide::wordAt(y.words, 32 * static_cast<std::int64_t>(i) - y.exponent - scale);
    }
    return words;
}

const std::array<std::uint32_t, kInverseTwoPiWords> kInverseTwoPi = computeInverseTwoPi();

/// sin(theta) or cos(theta) for 0 <= theta <= pi/2 by Taylor series, in W words. Each term
/// and the final difference lose under 3 ulp, and the series stops below 2^-(32 W + 8):
/// with at most 50 terms the absolute error stays under 2^-(32 W - 9), plus theta's own error.
template <std::size_t W>
WideFloat<W> sineOrCosine(const WideFloat<W>& theta, bool cosine) {
    const WideFloat<W> square = multiply(theta, theta);
    WideFloat<W> term = cosine ? fromUint64<W>(1) : theta;
    WideFloat<W> positive = term;
    WideFloat<W> negative{};
    for (std::uint32_t n = cosine ? 1 : 2;; n += 2) {
        term = divide(multiply(term, square), n * (n + 1));
        if (isBelow(term, -(32 * static_cast<std::int64_t>(W) + 8))) {
            break;
        }
        if (((n + 1) / 2) % 2 == 1) {
            negative = add(negative, term);
        } else {
            positive = add(positive, term);
        }
    }
    return subtract(positive, negative);
}

/// A signed double-double from a positive wide value: hi + lo within 2^-106 relative.
template <std::size_t W>
void splitToDoubleDouble(const WideFloat<W>& value, double& hi, double& lo) {
    hi = wide::roundToDouble(value, value.exponent).value;
    const WideFloat<W> hiWide = fromDouble<W>(hi);
    lo = wide::lessThan(value, hiWide) ? -wide::roundToDouble(subtract(hiWide, value), 0).value
                                       : wide::roundToDouble(subtract(value, hiWide), 0).value;
    if (isZero(value)) {
        hi = lo = 0.0;
    }
}

constexpr std::size_t kTableWords = 5;

std::array<TableEntry, kTableEntries> computeTable() {
    const WideFloat<kTableWords> twoPi =
        fromWords<kTableWords>(kTwoPiWide.words, kTwoPiWide.exponent);
    std::array<TableEntry, kTableEntries> table{};
    for (std::size_t i = 0; i < kTableEntries; ++i) {
        const WideFloat<kTableWords> angle =
            scaleByPowerOfTwo(multiply(twoPi, fromUint64<kTableWords>(i)), -11);
        TableEntry& entry = table[i];
        splitToDoubleDouble(sineOrCosine(angle, false), entry.sinHi, entry.sinLo);
        splitToDoubleDouble(sineOrCosine(angle, true), entry.cosHi, entry.cosLo);
    }
    return table;
}

const std::array<TableEntry, kTableEntries> kTable = computeTable();

// ---------------------------------------------------------------------------------------------
// Fast path: integer range reduction to a 1/2048 turn, then double-double evaluation.

struct DoubleDouble {
    double hi;
    double lo;
};

// Error-free transformations (Dekker's product with Veltkamp's split, and below his fast
// two-sum): exact in round-to-nearest binary64 for the magnitudes met here, which neither
// overflow nor come near the subnormal range.
inline DoubleDouble split(double a) {
    const double scaled = 134217729.0 * a;  // 2^27 + 1
    const double hi = scaled - (scaled - a);
    return {hi, a - hi};
}

inline DoubleDouble twoProduct(double a, double b) {
    const double product = a * b;
    const DoubleDouble as = split(a);
    const DoubleDouble bs = split(b);
    const double error =
        ((as.hi * bs.hi - product) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {product, error};
}

struct Uint128 {
    std::uint64_t lo;
    std::uint64_t hi;
};

inline Uint128 multiply64(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
    // The same exact product, where the compiler offers a 128-bit type.
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return {static_cast<std::uint64_t>(product), static_cast<std::uint64_t>(product >> 64)};
#else
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32;
    const std::uint64_t b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return {(middle << 32) | (p00 & 0xFFFFFFFFu), p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32)};
#endif
}

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

/// The value with its sign bit flipped where `sign` has it set; the same bits as negation, and
/// unlike a comparison or a product with -1 it leaves no branch for the compiler to mispredict.
inline double flipSign(double value, std::uint64_t sign) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(value) ^ sign);
}

inline double absolute(double value) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(value) & ~kSignBit);
}

/// a + b + carry modulo 2^128.
inline Uint128 add128(Uint128 a, Uint128 b, std::uint64_t carry) {
#if defined(__SIZEOF_INT128__)
    __extension__ using Wide = unsigned __int128;
    const Wide sum =
        ((static_cast<Wide>(a.hi) << 64) | a.lo) + ((static_cast<Wide>(b.hi) << 64) | b.lo) + carry;
    return {static_cast<std::uint64_t>(sum), static_cast<std::uint64_t>(sum >> 64)};
#else
    const std::uint64_t partial = a.lo + b.lo;
    const std::uint64_t lo = partial + carry;
    const std::uint64_t carryOut = (partial < a.lo ? 1 : 0) + (lo < partial ? 1 : 0);
    return {lo, a.hi + b.hi + carryOut};
#endif
}

/// a + b exactly as hi + lo, given that b's exponent does not exceed a's (or a is zero).
inline DoubleDouble fastTwoSum(double a, double b) {
    const double sum = a + b;
    return {sum, b - (sum - a)};
}

/// a + b exactly as hi + lo, whatever their magnitudes (Knuth's two-sum).
inline DoubleDouble twoSum(double a, double b) {
    const double sum = a + b;
    const double bPart = sum - a;
    return {sum, (a - (sum - bPart)) + (b - bPart)};
}

std::uint64_t inverseTwoPiWord(std::size_t index) {
    return (std::uint64_t{kInverseTwoPi[2 * index + 1]} << 32) | kInverseTwoPi[2 * index];
}

// The top 192 bits of 1/(2 pi), most significant first.
const std::uint64_t kB0 = inverseTwoPiWord(kInverseTwoPiWords / 2 - 1);
const std::uint64_t kB1 = inverseTwoPiWord(kInverseTwoPiWords / 2 - 2);
const std::uint64_t kB2 = inverseTwoPiWord(kInverseTwoPiWords / 2 - 3);

// 2 pi as a double-double (hi + lo within 2^-104 of 2 pi).
constexpr double kTwoPiHi = 0x1.921fb54442d18p+2;
constexpr double kTwoPiLo = 0x1.1a62633145c07p-52;

// Bound on the fast path's absolute error; the derivation is beside fastSine.
constexpr double kFastError = 0x1p-69;

struct SineAndCosine {
    DoubleDouble sine;
    DoubleDouble cosine;
};

/// sin(2 pi i / 2048) for i = 0 to 512, copied from the table (cos(2 pi i / 2048) is entry
/// 512 - i): half the memory, so the two entries a sine reads are more often in the cache.
std::array<DoubleDouble, kTableEntries + 1> quarterWaveFromTable() {
    std::array<DoubleDouble, kTableEntries + 1> quarterWave{};
    for (std::size_t i = 0; i < kTableEntries; ++i) {
        quarterWave[i] = {kTable[i].sinHi, kTable[i].sinLo};
    }
    quarterWave[kTableEntries] = {kTable[0].cosHi, kTable[0].cosLo};
    return quarterWave;
}

const std::array<DoubleDouble, kTableEntries + 1> kQuarterWave = quarterWaveFromTable();

constexpr double kPlusMinusOne[2] = {1.0, -1.0};

/// The quarter-wave entry of |sin(2 pi index / 2048)|: offset in even quadrants, 512 - offset in
/// odd ones; |cos| is at 512 minus that. Arithmetic rather than a branch, as the quadrant is as
/// random as the argument.
inline std::uint64_t quarterWaveIndex(std::uint64_t index) {
    const std::uint64_t odd = (index >> 9) & 1;
    const std::uint64_t offset = index & 511;
    return offset + odd * (kTableEntries - 2 * offset);
}

/// sin and cos of 2 pi index / 2048 for any index below 2048, from the quarter wave by mirroring
/// and by products with +-1, which are exact.
inline SineAndCosine tableEntry(std::uint64_t index) {
    const std::uint64_t quadrant = index >> 9;
    const std::uint64_t sineIndex = quarterWaveIndex(index);
    const DoubleDouble& sine = kQuarterWave[sineIndex];
    const DoubleDouble& cosine = kQuarterWave[kTableEntries - sineIndex];
    const double sSign = kPlusMinusOne[(quadrant >> 1) & 1];
    const double cSign = kPlusMinusOne[((quadrant + 1) >> 1) & 1];
    return {{sine.hi * sSign, sine.lo * sSign}, {cosine.hi * cSign, cosine.lo * cSign}};
}

/// The largest h with every value within h of y rounding to y: half the gap to the nearer
/// neighbour (at a power of two, the gap below is the smaller). Zero for tiny y.
inline double halfGap(double y) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(y) & ~(std::uint64_t{1} << 63);
    const std::uint64_t biased = bits >> 52;
    const bool powerOfTwo = (bits & ((std::uint64_t{1} << 52) - 1)) == 0;
    const std::uint64_t shift = powerOfTwo ? 54 : 53;
    if (biased <= shift) {
        return 0.0;
    }
    return std::bit_cast<double>((biased - shift) << 52);
}

}  // namespace

const std::array<std::uint32_t, kInverseTwoPiWords>& inverseTwoPi() {
    return kInverseTwoPi;
}

const std::array<TableEntry, kTableEntries>& table() {
    return kTable;
}

// For 2^-26 <= x < 2^64, with x = m 2^(e-52):
//
// Reduction. t = frac(x / (2 pi)) in 128-bit fixed point is bits [116 - e, 244 - e) of
// m * B, B = floor(2^192 / (2 pi)). The dropped part of 1/(2 pi) is worth under
// m 2^(e-52) 2^-192 < 2^-128 turns for e <= 63, the floor under 2^-128: the fixed-point t is
// within 2^-127 turns. j = round(2048 t) mod 2048 and u = t - j / 2048, |u| <= 2^-12 turns;
// u = uh + ul with uh exact and ul truncated (2^-117). r = 2 pi u is formed as a
// double-double to 2^-111, with |r.hi| < 2^-9.35 and |r.lo| < 2^-60.5.
//
// Evaluation. With a = 2 pi j / 2048, S = sin a and C = cos a from the table (2^-106),
//   sin(a + r) = S + C r + S (cos r - 1) + C (sin r - r).
// C r is split into two exact products and three small ones, to 2^-88 (r.hi - r1 is below
// 2^-36, and C's and r's low parts are tiny). S (cos r - 1) = (S z) (-1/2 + z/24 - z^2/720)
// - S r.hi r.lo with z = fl(r.hi^2), |z| < 2^-18.7. Its errors: z's rounding (2^-72, halved),
// S z's rounding (2^-72, halved), the polynomial's roundings (2^-54, times |S z|: 2^-72.7),
// the product's rounding (2^-73), the truncation (2^-90) and the dropped S.lo (cos r - 1)
// (2^-73.7). sin r - r is r^3 (-1/6 + ...) to 2^-80. The last sum of the small terms rounds
// by 2^-73. The total is below 2^-70.4; kFastError = 2^-69 leaves a factor of 1.3.
// Both sums are exact fast two-sums, their first operand the larger: S is zero or
// |S| >= sin(2 pi / 2048) > 0.003 > |C r|, so the head S + c1 r1 exceeds 0.0014 > |tail|; and
// with S zero, the head c1 r1 = +-r1 is zero or at least 2^-35, while the tail is below
// 2^-36 + |r|^3.
//
// Rounding test. y = yh + yl exactly with yh = fl(y), so |yl| <= ulp(yh)/2. If
// fl(|yl| + e) < h, where h (a power of two) is half the smaller gap around yh, then the exact
// |yl| + e is below h as well (rounding is monotonic and h is a double), so sin x lies within h
// of yh and rounds to it.
namespace {

// The fast path proper, kept inline so that sine() pays no call for it.
#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline bool
fastSineInline(double x, double& result) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const int exponent = static_cast<int>(bits >> 52) - 1023;
    const std::uint64_t mantissa =
        (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);

    // m * B in four 64-bit words, least significant first.
    const Uint128 low = multiply64(mantissa, kB2);
    const Uint128 middle = multiply64(mantissa, kB1);
    const Uint128 high = multiply64(mantissa, kB0);
    // The carries are as likely as not, so they are added as numbers, never tested.
    std::uint64_t p[5];
    p[0] = low.lo;
    p[1] = low.hi + middle.lo;
    const std::uint64_t carry1 = p[1] < low.hi ? 1 : 0;
    const Uint128 upper = add128({middle.hi, high.hi}, {high.lo, 0}, carry1);
    p[2] = upper.lo;
    p[3] = upper.hi;
    p[4] = 0;

    const int shift = 116 - exponent;  // 53 to 142
    const int word = shift / 64;
    const int bit = shift % 64;
    std::uint64_t tLo, tHi;
    if (bit == 0) {
        tLo = p[word];
        tHi = p[word + 1];
    } else {
        tLo = (p[word] >> bit) | (p[word + 1] << (64 - bit));
        tHi = (p[word + 1] >> bit) | (p[word + 2] << (64 - bit));
    }

    const std::uint64_t index = ((tHi + (std::uint64_t{1} << 52)) >> 53) & 2047;
    const std::int64_t uHi = static_cast<std::int64_t>(tHi - (index << 53));
    const double uh = static_cast<double>(uHi) * 0x1p-64;
    const double ul = static_cast<double>(tLo >> 11) * 0x1p-117;  // 53 bits: exact

    // r = 2 pi u, left unnormalised: |r.lo| < 2^-60.5.
    const DoubleDouble product = twoProduct(uh, kTwoPiHi);
    const DoubleDouble r{product.hi, product.lo + (uh * kTwoPiLo + ul * kTwoPiHi)};

    const SineAndCosine table = tableEntry(index);
    const DoubleDouble& s = table.sine;
    const DoubleDouble& c = table.cosine;

    // C r without a full product: r1, r.hi rounded to a multiple of 2^-35, has at most 26
    // bits, as have both halves of C's split, so c1 r1 and c2 r1 are exact.
    constexpr double kRoundTo2ToThe35 = 0x1.8p17;
    const double r1 = (r.hi + kRoundTo2ToThe35) - kRoundTo2ToThe35;
    const DoubleDouble cSplit = split(c.hi);
    const double crLow = cSplit.lo * r1 + (c.hi * (r.hi - r1) + (c.hi * r.lo + c.lo * r.hi));
    // The polynomials in Estrin's form: this chain is the longest one.
    const double z = r.hi * r.hi;
    const double z2 = z * z;
    const double cosMinusOneOverZ = (-0.5 + z * (1.0 / 24.0)) + z2 * (-1.0 / 720.0);
    const double sinMinusROverRZ = (-1.0 / 6.0 + z * (1.0 / 120.0)) + z2 * (-1.0 / 5040.0);
    const double small = (s.hi * z) * cosMinusOneOverZ + (c.hi * (r.hi * z)) * sinMinusROverRZ;
    // r^2 = z + 2 r.hi r.lo, so S (cos r - 1) also holds -S r.hi r.lo.
    const double cross = -(s.hi * r.hi) * r.lo;
    const DoubleDouble head = fastTwoSum(s.hi, cSplit.hi * r1);
    const double tail = ((crLow + s.lo) + (head.lo + cross)) + small;
    const DoubleDouble y = fastTwoSum(head.hi, tail);

    // Beside the zeros of sine (S = 0, so C = +-1) the terms with large absolute errors vanish and
    // y = +-(r + (sin r - r)): the bound becomes relative, 2^-72 |r| for the polynomial, plus
    // the reduction's 2^-111.
    const double error = s.hi == 0.0 ? absolute(r.hi) * 0x1p-69 + 0x1p-109 : kFastError;
    result = y.hi;
    return absolute(y.lo) + error < halfGap(y.hi);
}

// ---------------------------------------------------------------------------------------------
// Cheap path for 2^-26 <= x < 2^28, which holds every argument the oscillator makes from a
// phase within 2^24 cycles: a Cody-Waite reduction in doubles and a plain double evaluation,
// settling about 99 of 100 arguments. The rest go to the fast path above, which costs twice as
// much but leaves a rounding undecided only once in some ten thousand.
//
// Reduction. P = 2 pi / 2048. T = fl(x fl(1/P)) is within 2^36.35 2^-52 < 2^-15.6 of x / P,
// and adding and taking away 1.5 2^52 rounds it to the integer K < 2^37 (the sum's low bits are
// K, so they give the table index too). r* = x - K P then has |r*| <= P (1/2 + 2^-15.6) <
// 2^-9.34. P1, P2, P3 are the bits of P from 2^-9 down to 2^-24, 2^-40 and 2^-56, so P - Q_i <
// 2^e_i with Q_i = P1 + ... + P_i and e_i = -24, -40, -56, and K P_i is exact (16 bits times 37).
// Each d_i = x - K Q_i is exact too: it is a multiple of 2^min(e_x - 52, e_i), where
// 2^e_x <= x < 2^(e_x + 1), and |d_i| <= |r*| + K 2^e_i. If e_x - 52 <= e_i, then K >= 1 means
// x >= 0.49 P, e_x >= -10, and |d_i| <= 2^-9.34 + x 2^-15.6 + 2^-24 < 2^(e_x + 1); otherwise
// |d_i| < 2^-9.34 + 2^(37 + e_i) < 2^(e_i + 53) as e_i >= -61. (K = 0 leaves d_i = x.) The
// rest, K (P - Q3) < 2^-20, is K P4 with P4 = fl(P - Q3): rounding the product costs 2^-73 and
// P4's own error (2^-112.2) 2^-75.8. r = r.hi + r.lo is within 2^-72.8 of r*, |r.lo| <= 2^-63.
//
// Evaluation. With S = sin(2 pi K / 2048) and C = cos(...) from the table (2^-106),
//   sin x = S + C r* + S (cos r* - 1) + C (sin r* - r*),
// computed as y = S.hi + C.hi r.hi + [(S.lo + (C.hi r.lo + C.lo r.hi)) + ((S.hi z) (-1/2 +
// z/24) + (C.hi r.hi z) (-1/6 + z/120))] with z = fl(r.hi^2) < 2^-18.68. Two errors are large:
// the rounding of C.hi r.hi (below 2^-9.34), 2^-63, and the dropped S r^6/720, 2^-65.53. The
// others are each 2^-72 or less: r's error (2^-72.8; sine's slope is at most 1), r.hi^2 for r^2
// and z's rounding (2^-71.3 and 2^-72, both halved), S.hi z's, the polynomial's and the
// product's roundings (2^-73, 2^-73.7, 2^-73), the dropped S.lo (cos r - 1) (2^-73.7), three
// roundings of sums below 2^-19 (2^-73 each), and the sine polynomial's roundings and
// truncation (under 2^-77); they add up to under 2^-69.6. The total is below 1.19 2^-63, and
// kCheapError = 1.25 2^-63. S.hi + C.hi r.hi and the final sum are exact fast two-sums: S is
// zero or |S| >= 0.003 > |C r|, and the bracket is below 2^-19; with S zero, C is +-1, the head
// is +-r.hi exactly and the bracket is below |r.hi| / 2. Beside the zeros of sine (|y| < 2^-9.3)
// the bound exceeds half an ulp of y, so those arguments always pass on to the fast path with
// its relative bound.

constexpr std::uint64_t kTinyBits = 0x3E50000000000000u;        // 2^-26
constexpr std::uint64_t kCheapLimitBits = 0x41B0000000000000u;  // 2^28
constexpr double kPiecesPerTurnInverse = 0x1.45f306dc9c883p+8;  // fl(2048 / (2 pi))
constexpr double kCheapError = 0x1.4p-63;

#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline bool
cheapSineInline(double x, double& result, std::uint64_t& sign) {
    constexpr double kRoundToInteger = 0x1.8p52;
    const double shifted = x * kPiecesPerTurnInverse + kRoundToInteger;
    const double k = shifted - kRoundToInteger;
    const std::uint64_t index = std::bit_cast<std::uint64_t>(shifted) & 2047;
    const double exactPart = ((x - k * kTurnPieces[0]) - k * kTurnPieces[1]) - k * kTurnPieces[2];
    const DoubleDouble r = twoSum(exactPart, k * -kTurnPieces[3]);

    // In quadrant q, sin x = s_q (S' + c_q C' r + S' (cos r - 1) + c_q C' (sin r - r)) with S'
    // and C' read from the quarter wave, s_q = -1 for q >= 2 and c_q = -1 for odd q: the signs
    // come in by two exact products, not by branches.
    const std::uint64_t quadrant = index >> 9;
    const std::uint64_t sineIndex = quarterWaveIndex(index);
    const DoubleDouble& s = kQuarterWave[sineIndex];
    const DoubleDouble& cosine = kQuarterWave[kTableEntries - sineIndex];
    const double cSign = kPlusMinusOne[quadrant & 1];
    const DoubleDouble c{cosine.hi * cSign, cosine.lo * cSign};

    const double z = r.hi * r.hi;
    const double cosMinusOneOverZ = -0.5 + z * (1.0 / 24.0);
    const double sinMinusROverRZ = -1.0 / 6.0 + z * (1.0 / 120.0);
    const double small = (s.lo + (c.hi * r.lo + c.lo * r.hi)) +
                         ((s.hi * z) * cosMinusOneOverZ + (c.hi * (r.hi * z)) * sinMinusROverRZ);
    const DoubleDouble head = fastTwoSum(s.hi, c.hi * r.hi);
    const DoubleDouble y = fastTwoSum(head.hi, head.lo + small);
    result = y.hi;
    sign = (quadrant >> 1) << 63;
    // Rounding is monotonic: if both ends of y +- kCheapError round to y.hi, so does sin x. The
    // sums y.lo +- kCheapError round by under 2^-106, so they still lie beyond y.lo +- 1.19
    // 2^-63, the ends that the error bound needs.
    return y.hi + (y.lo + kCheapError) == y.hi && y.hi + (y.lo - kCheapError) == y.hi;
}

/// Everything but the cheap path, kept out of line so that sine() stays small.
#if defined(__GNUC__)
[[gnu::noinline]]
#endif
double
slowSine(double x);

}  // namespace

std::optional<double> fastSine(double x) {
    double result;
    if (fastSineInline(x, result)) {
        return result;
    }
    return std::nullopt;
}

// For any finite x >= 2^-26, with x = m 2^(e-52), e <= 1023. t = frac(x / (2 pi)) is taken to
// 352 bits from m times 1408 bits of 1/(2 pi) (the dropped part is worth under
// 2^(e + 1 - 1408) <= 2^-383 turns). t = q/4 + f with |f| <= 1/8, and sin x is +-sin or
// +-cos of theta = 2 pi |f| <= pi/4, which is formed in 320 bits to 2^-316 and expanded to
// 2^-311 (sineOrCosine). 2^-300 bounds the whole error. Most roundings are settled first in 160
// bits, in a fraction of the time, where the same steps give 2^-156, 2^-151 and a bound of
// 2^-140; the rest are taken again in 320.
//
// The rounding is left undecided only if sin x lies within 2^-300 of a midpoint between two
// doubles. |sin x| exceeds 2^-62 for every double x >= 2^-26, so that would take a closeness
// of 2^-238 relative, far beyond the hardest cases that searches of the double range have
// found. Should it ever happen, the nearest rounding of the 320-bit value is returned, still
// the same on every platform.
namespace {

/// sin(2 pi f) or cos(2 pi f), for f = fraction 2^-fractionBits <= 1/8, in W words and rounded
/// with the error bound 2^errorExponent.
template <std::size_t W, std::size_t M>
RoundedDouble sineOfTurns(const std::array<std::uint32_t, M>& fraction, std::int64_t fractionBits,
                          bool cosine, std::int64_t errorExponent) {
    const WideFloat<W> turns = fromWords<W>(fraction, -fractionBits);
    const WideFloat<W> twoPi = fromWords<W>(kTwoPiWide.words, kTwoPiWide.exponent);
    return wide::roundToDouble(sineOrCosine(multiply(turns, twoPi), cosine), errorExponent);
}

}  // namespace

RoundedDouble accurateSine(double x) {
    constexpr std::size_t kFirstWords = 5;
    constexpr std::size_t kWords = 10;
    constexpr std::int64_t kFractionBits = 352;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const std::int64_t exponent = static_cast<std::int64_t>(bits >> 52) - 1023;
    const std::uint64_t mantissa =
        (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);

    std::array<std::uint32_t, kInverseTwoPiWords + 2> product{};
    const std::uint32_t m[2] = {static_cast<std::uint32_t>(mantissa),
                                static_cast<std::uint32_t>(mantissa >> 32)};
    for (std::size_t i = 0; i < 2; ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < kInverseTwoPiWords; ++j) {
            const std::uint64_t t = std::uint64_t{m[i]} * kInverseTwoPi[j] + product[i + j] + carry;
            product[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        product[i + kInverseTwoPiWords] = static_cast<std::uint32_t>(carry);
    }

    // The product is x / (2 pi) in units of 2^(e - 52 - 1408): its binary point is at `point`.
    const std::int64_t point = 32 * static_cast<std::int64_t>(kInverseTwoPiWords) + 52 - exponent;
    std::array<std::uint32_t, kFractionBits / 32> fraction{};
    for (std::size_t i = 0; i < fraction.size(); ++i) {
        fraction[i] =
            wide::wordAt(product, point - kFractionBits + 32 * static_cast<std::int64_t>(i));
    }

    std::uint32_t& top = fraction.back();
    const std::uint32_t quadrant = ((top + (1u << 29)) >> 30) & 3;
    top -= quadrant << 30;
    const bool fNegative = (top >> 31) != 0;
    if (fNegative) {
        std::uint64_t borrow = 0;
        for (std::uint32_t& word : fraction) {
            const std::uint64_t t = 0 - std::uint64_t{word} - borrow;
            word = static_cast<std::uint32_t>(t);
            borrow = (t >> 32) & 1;
        }
    }

    const bool odd = (quadrant & 1) != 0;
    RoundedDouble result = sineOfTurns<kFirstWords>(fraction, kFractionBits, odd, -140);
    if (!result.decided) {
        result = sineOfTurns<kWords>(fraction, kFractionBits, odd, -300);
    }
    const bool negative = (quadrant >= 2) != (!odd && fNegative);
    if (negative) {
        result.value = -result.value;
    }
    return result;
}

namespace {

/// sine() for the arguments the cheap path does not take or cannot decide.
double slowSine(double x) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const std::uint64_t magnitude = bits & ~kSignBit;
    if (magnitude >= 0x7FF0000000000000u) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    // Below 2^-26, x - sin x < x^3/6 is under half the gap below x, so sin x rounds to x.
    if (magnitude < kTinyBits) {
        return x;
    }
    const double ax = std::bit_cast<double>(magnitude);
    double result;
    if (!(ax < 0x1p64 && fastSineInline(ax, result))) {
        result = accurateSine(ax).value;
    }
    return flipSign(result, bits & kSignBit);
}

}  // namespace
}  // namespace sine_detail

double sine(double x) {
    using namespace sine_detail;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const std::uint64_t magnitude = bits & ~kSignBit;
    // One unsigned comparison for 2^-26 <= |x| < 2^28.
    if (magnitude - kTinyBits < kCheapLimitBits - kTinyBits) {
        double result;
        std::uint64_t sign;
        if (cheapSineInline(std::bit_cast<double>(magnitude), result, sign)) {
            return flipSign(result, sign ^ (bits & kSignBit));
        }
    }
    return slowSine(x);
}

}  // namespace vireon::exactmath
