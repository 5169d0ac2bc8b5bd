#pragma once

#include <cstddef>
#include <vector>

namespace vireon::testsupport {

/// The samples from the first non-zero one on (empty if there is none). A recording of a live
/// stream starts at an unknown point, so recordings are compared from where the sound begins.
std::vector<float> alignAtFirstNonZero(const std::vector<float>& samples);

/// Index of the first sample whose bits differ between `a` and `b` within their common length,
/// or that common length when they agree.
std::size_t firstBitDifference(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace vireon::testsupport
