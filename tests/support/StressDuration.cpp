// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StressDuration.h"

#include <cstdlib>

namespace vireon::testsupport {

std::chrono::duration<double> stressDuration() {
    if (const char* text = std::getenv("VIREON_STRESS_SECONDS")) {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && seconds >= 0.0 && seconds <= 3600.0) {
            return std::chrono::duration<double>(seconds);
        }
    }
    return std::chrono::seconds(1);
}

}  // namespace vireon::testsupport
