// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

namespace vireon::servers {

/// Waits between two looks at a helper thread: sleeps, or serves the window's events meanwhile.
using WaitFunction = std::function<void(std::chrono::milliseconds)>;

/// Runs `work` on a helper thread and waits at most `deadline` for it to return, calling `wait`
/// between looks. A sound server that has stopped answering can block a call for ever, and the
/// program must still be able to quit and save.
///
/// True when `work` returned in time. False when it is still running: the helper is then left
/// to it, so whatever `work` uses must stay valid for as long as it might run (capture shared
/// ownership). When `wait` throws, the helper is left the same way and the exception passes on.
/// Without a thread to spare, `work` runs on the calling thread, with no deadline, and the
/// result is true. An exception from `work` is swallowed: nothing could catch it on the helper.
/// Any thread but the audio thread.
bool callWithin(std::function<void()> work, std::chrono::milliseconds deadline,
                const WaitFunction& wait = {});

}  // namespace vireon::servers
