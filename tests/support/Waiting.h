// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

namespace vireon::testsupport {

/// Checks `condition` every `interval` until it holds (true) or `timeout` has passed (false).
/// For waiting on another process or thread, which gives no signal of its own.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval = std::chrono::milliseconds(10));

}  // namespace vireon::testsupport
