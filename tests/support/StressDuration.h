// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace vireon::testsupport {

/// How long the tests that drive threads against each other run: VIREON_STRESS_SECONDS (0 to
/// 3600), 1 s unless set. The ThreadSanitizer build sets it longer.
std::chrono::duration<double> stressDuration();

}  // namespace vireon::testsupport
