// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace vireon::settings {

/// Writes all of `bytes` to the file descriptor `fd`, going on after short writes and
/// interrupted calls. False when a write fails or writes nothing. Makes no allocation, so a
/// forked child may call it too. Any thread.
bool writeAll(int fd, std::string_view bytes);

}  // namespace vireon::settings
