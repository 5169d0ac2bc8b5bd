// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace vireon::testsupport {

/// How a child process ended.
struct ChildOutcome {
    bool timedOut = false;  ///< it was still running at the timeout and was killed
    bool exited = false;    ///< it ended through exit; exitCode is valid
    int exitCode = -1;
    int signal = 0;           ///< the signal that ended it, when it did not exit
    std::string errorOutput;  ///< everything it wrote to standard error
    std::chrono::milliseconds duration{0};

    /// One line for a failure message: how it ended, when, and its standard error.
    std::string describe() const;
};

/// Runs `body` in a forked copy of this process and ends the child with body's return value
/// (125 if it throws). The child's standard error is captured; its standard output is shared.
/// A child still running after `timeout` is killed with its process group (SIGKILL), so a hang
/// in a library under test fails the test instead of hanging it.
///
/// Fork from a test with no other threads running: the child gets only the calling thread, and
/// a lock held elsewhere at the fork would stay locked in it for ever.
ChildOutcome runInChildProcess(const std::function<int()>& body, std::chrono::milliseconds timeout);

/// The user and group id of "nobody", who owns nothing on the machine.
inline constexpr unsigned kNobodyId = 65534;

/// For a forked child running as root: continues as "nobody", for whom file permissions bind
/// as they bind any user. False when that failed; the child must then not go on.
bool becomeNobody();

}  // namespace vireon::testsupport
