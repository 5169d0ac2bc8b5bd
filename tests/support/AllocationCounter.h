// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace vireon::testsupport {

/// Counts the heap allocations (malloc, calloc, realloc, the aligned variants, and so operator
/// new) that the constructing thread makes while the counter lives, through a malloc of this
/// process's own that stands in for the C library's: code that must not allocate (an audio
/// callback, a plugin's run) is called inside one and the count is checked.
///
/// Only the constructing thread is watched, so other threads' allocations meanwhile do not
/// count. Counters do not nest. Not available in sanitizer builds, whose runtimes own malloc:
/// there `available()` is false and nothing is counted.
class AllocationCounter {
  public:
    AllocationCounter();
    ~AllocationCounter();

    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    /// Allocations on this thread since construction.
    std::uint64_t count() const { return count_; }

    /// Whether allocations are counted in this build.
    static bool available();

  private:
    std::uint64_t count_ = 0;
};

}  // namespace vireon::testsupport
