// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::testsupport {

/// From now on a crash of this test program (a bad access, an abort) prints the crashing
/// thread's stack on standard error before the program dies of the same signal. A crash inside
/// the sound libraries on a loaded machine is rare enough that its first report must say where.
/// Does nothing in sanitizer builds, whose own reports say more.
void traceCrashes();

}  // namespace vireon::testsupport
