// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

namespace vireon::fuzz {

/// Stops the run with a message when an invariant fails. The fuzz build defines NDEBUG like any
/// optimised build, so assert() would check nothing; abort() is what libFuzzer records as a crash
/// and saves the input for.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

}  // namespace vireon::fuzz
