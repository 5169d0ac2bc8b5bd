// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program tests' names for the shared child-process harness.
#include "tests/support/RunningProgram.h"

namespace vireon::ui::test {

using testsupport::runCommand;
using testsupport::RunningProgram;
using testsupport::VirtualDisplay;

}  // namespace vireon::ui::test
