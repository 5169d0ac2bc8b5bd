// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::concurrency {

/// Lets another thread run before this one spins again. Kept out of the headers so that the
/// lock-free pieces also build where the standard library has no threads (WebAssembly), which
/// links a version of its own. Any thread; never blocks.
void yieldThread() noexcept;

}  // namespace vireon::concurrency
