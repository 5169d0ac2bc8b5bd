// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace vireon::exactmath {

/// A positive binary floating-point number with a mantissa of W 32-bit words, for the constants
/// and the rare arguments where double-double precision cannot settle a rounding. Everything is
/// integer arithmetic, so it gives the same bits on every platform and at compile time.
///
/// The value is mantissa * 2^exponent, the mantissa being sum(words[i] * 2^(32 i)). A nonzero
/// value is normalised: the top bit of words[W - 1] is set. Operations truncate, each losing
/// less than one unit in the last place (ulp) of its result.
template <std::size_t W>
struct WideFloat {
    static_assert(W >= 2);
    std::array<std::uint32_t, W> words{};
    std::int32_t exponent = 0;
};

/// The correctly rounded double of a WideFloat known to within some ulps, when that interval
/// holds only one rounding; `decided` is false when it straddles a midpoint between doubles.
struct RoundedDouble {
    double value;
    bool decided;
};

namespace wide {

/// Bits [bit, bit + 32) of the little-endian word array; bits outside the array are zero.
template <std::size_t M>
constexpr std::uint32_t wordAt(const std::array<std::uint32_t, M>& source, std::int64_t bit) {
    const std::int64_t word = bit >= 0 ? bit / 32 : -((-bit + 31) / 32);
    const int shift = static_cast<int>(bit - word * 32);
    auto at = [&](std::int64_t i) -> std::uint64_t {
        return i >= 0 && i < static_cast<std::int64_t>(M) ? source[static_cast<std::size_t>(i)] : 0;
    };
    const std::uint64_t pair = (at(word + 1) << 32) | at(word);
    return static_cast<std::uint32_t>(pair >> shift);
}

/// Index of the highest set bit, or -1 for zero.
template <std::size_t M>
constexpr std::int64_t highestBit(const std::array<std::uint32_t, M>& source) {
    for (std::size_t i = M; i-- > 0;) {
        if (source[i] != 0) {
            return static_cast<std::int64_t>(i) * 32 + 31 - std::countl_zero(source[i]);
        }
    }
    return -1;
}

/// The top W words of source * 2^exponent, normalised; the bits below are dropped.
template <std::size_t W, std::size_t M>
constexpr WideFloat<W> fromWords(const std::array<std::uint32_t, M>& source,
                                 std::int64_t exponent) {
    WideFloat<W> result;
    const std::int64_t top = highestBit(source);
    if (top < 0) {
        return result;
    }
    const std::int64_t low = top - (32 * static_cast<std::int64_t>(W) - 1);
    for (std::size_t i = 0; i < W; ++i) {
        result.words[i] = wordAt(source, low + 32 * static_cast<std::int64_t>(i));
    }
    result.exponent = static_cast<std::int32_t>(exponent + low);
    return result;
}

template <std::size_t W>
constexpr WideFloat<W> fromUint64(std::uint64_t value, std::int64_t exponent = 0) {
    const std::array<std::uint32_t, 2> source{static_cast<std::uint32_t>(value),
                                              static_cast<std::uint32_t>(value >> 32)};
    return fromWords<W>(source, exponent);
}

/// The exact value of a finite, non-negative double.
template <std::size_t W>
constexpr WideFloat<W> fromDouble(double value) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const std::uint64_t biased = (bits >> 52) & 0x7FF;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0) {
        return fromUint64<W>(fraction, -1074);
    }
    return fromUint64<W>(fraction | (std::uint64_t{1} << 52),
                         static_cast<std::int64_t>(biased) - 1075);
}

template <std::size_t W>
constexpr bool isZero(const WideFloat<W>& value) {
    return value.words[W - 1] == 0;
}

/// a * b, truncated.
template <std::size_t W>
constexpr WideFloat<W> multiply(const WideFloat<W>& a, const WideFloat<W>& b) {
    std::array<std::uint32_t, 2 * W> product{};
    for (std::size_t i = 0; i < W; ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < W; ++j) {
            const std::uint64_t t = std::uint64_t{a.words[i]} * b.words[j] + product[i + j] + carry;
            product[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        product[i + W] = static_cast<std::uint32_t>(carry);
    }
    return fromWords<W>(product, std::int64_t{a.exponent} + b.exponent);
}

/// a / divisor for a small positive divisor, truncated.
template <std::size_t W>
constexpr WideFloat<W> divide(const WideFloat<W>& a, std::uint32_t divisor) {
    // One extra word below the mantissa keeps the quotient's truncation under one ulp.
    std::array<std::uint32_t, W + 1> quotient{};
    std::uint64_t remainder = 0;
    for (std::size_t i = W + 1; i-- > 0;) {
        const std::uint64_t current = (remainder << 32) | (i > 0 ? a.words[i - 1] : 0u);
        quotient[i] = static_cast<std::uint32_t>(current / divisor);
        remainder = current % divisor;
    }
    return fromWords<W>(quotient, std::int64_t{a.exponent} - 32);
}

/// a + b (add) or a - b (subtract, with a >= b), truncated. The smaller operand's bits below
/// 2^-32 ulp of the larger are dropped, so the error stays under 2 ulp of the larger operand.
template <std::size_t W>
constexpr WideFloat<W> addOrSubtract(const WideFloat<W>& a, const WideFloat<W>& b, bool subtract) {
    const bool aLarger = isZero(b) || (!isZero(a) && a.exponent >= b.exponent);
    if (subtract && !aLarger) {
        return WideFloat<W>{};  // callers subtract only a smaller value
    }
    const WideFloat<W>& large = aLarger ? a : b;
    const WideFloat<W>& small = aLarger ? b : a;
    // Both operands in units of 2^(large.exponent - 32), in W + 2 words.
    std::array<std::uint32_t, W + 2> x{};
    std::array<std::uint32_t, W + 2> y{};
    for (std::size_t i = 0; i < W; ++i) {
        x[i + 1] = large.words[i];
    }
    if (!isZero(small)) {
        const std::int64_t offset = std::int64_t{large.exponent} - 32 - small.exponent;
        for (std::size_t i = 0; i < W + 1; ++i) {
            y[i] = wordAt(small.words, offset + 32 * static_cast<std::int64_t>(i));
        }
    }
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < W + 2; ++i) {
        if (subtract) {
            const std::uint64_t t = std::uint64_t{x[i]} - y[i] - carry;
            x[i] = static_cast<std::uint32_t>(t);
            carry = (t >> 32) & 1;
        } else {
            const std::uint64_t t = std::uint64_t{x[i]} + y[i] + carry;
            x[i] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
    }
    return fromWords<W>(x, std::int64_t{large.exponent} - 32);
}

template <std::size_t W>
constexpr WideFloat<W> add(const WideFloat<W>& a, const WideFloat<W>& b) {
    return addOrSubtract(a, b, false);
}

template <std::size_t W>
constexpr WideFloat<W> subtract(const WideFloat<W>& a, const WideFloat<W>& b) {
    return addOrSubtract(a, b, true);
}

template <std::size_t W>
constexpr WideFloat<W> scaleByPowerOfTwo(WideFloat<W> a, std::int32_t power) {
    if (!isZero(a)) {
        a.exponent += power;
    }
    return a;
}

/// source * 2^exponent rounded to the nearest double, ties to even. The value must lie in the
/// normal range, as every value rounded here does.
template <std::size_t M>
constexpr double roundWords(const std::array<std::uint32_t, M>& source, std::int64_t exponent) {
    const std::int64_t top = highestBit(source);
    if (top < 0) {
        return 0.0;
    }
    const std::int64_t low = top - 52;
    std::uint64_t mantissa = (std::uint64_t{wordAt(source, low + 32)} << 32) | wordAt(source, low);
    mantissa &= (std::uint64_t{1} << 53) - 1;
    const bool roundBit = ((wordAt(source, low - 1) >> 0) & 1) != 0;
    bool sticky = false;
    for (std::int64_t bit = low - 2; bit >= 0 && !sticky; bit -= 32) {
        const std::int64_t from = bit - 31 < 0 ? 0 : bit - 31;
        const std::uint32_t chunk = wordAt(source, from);
        const int width = static_cast<int>(bit - from + 1);
        sticky = (width == 32 ? chunk : (chunk & ((1u << width) - 1))) != 0;
    }
    std::int64_t resultExponent = exponent + low;
    if (roundBit && (sticky || (mantissa & 1) != 0)) {
        ++mantissa;
        if (mantissa == (std::uint64_t{1} << 53)) {
            mantissa >>= 1;
            ++resultExponent;
        }
    }
    const std::uint64_t biased = static_cast<std::uint64_t>(resultExponent + 52 + 1023);
    return std::bit_cast<double>((biased << 52) | (mantissa & ((std::uint64_t{1} << 52) - 1)));
}

/// a < b.
template <std::size_t W>
constexpr bool lessThan(const WideFloat<W>& a, const WideFloat<W>& b) {
    if (isZero(a) || isZero(b)) {
        return isZero(a) && !isZero(b);
    }
    if (a.exponent != b.exponent) {
        return a.exponent < b.exponent;
    }
    for (std::size_t i = W; i-- > 0;) {
        if (a.words[i] != b.words[i]) {
            return a.words[i] < b.words[i];
        }
    }
    return false;
}

/// Rounds a value whose true counterpart lies strictly within 2^errorExponent of it.
template <std::size_t W>
constexpr RoundedDouble roundToDouble(const WideFloat<W>& value, std::int64_t errorExponent) {
    // The error as a number of units of the mantissa's last bit (at least one).
    const std::int64_t errorBit =
        errorExponent > value.exponent ? errorExponent - value.exponent : 0;
    std::array<std::uint32_t, W + 2> below{};
    std::array<std::uint32_t, W + 2> above{};
    std::uint64_t borrow = 0;
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < W + 2; ++i) {
        const std::uint64_t word = i < W ? value.words[i] : 0;
        const std::int64_t offset = errorBit - 32 * static_cast<std::int64_t>(i);
        const std::uint64_t delta = offset >= 0 && offset < 32 ? std::uint64_t{1} << offset : 0;
        const std::uint64_t down = word - delta - borrow;
        below[i] = static_cast<std::uint32_t>(down);
        borrow = (down >> 32) & 1;
        const std::uint64_t up = word + delta + carry;
        above[i] = static_cast<std::uint32_t>(up);
        carry = up >> 32;
    }
    const double low = roundWords(below, value.exponent);
    const double high = roundWords(above, value.exponent);
    return RoundedDouble{roundWords(value.words, value.exponent), low == high};
}

}  // namespace wide
}  // namespace vireon::exactmath
