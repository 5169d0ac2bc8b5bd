// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace vireon::tools {

/// Reads the whole regular file at `path` into `contents`. On failure returns the reason as a
/// lower-case phrase ("no such file or directory", "it is a directory", "it is larger than ...").
/// Any thread.
std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes,
                                         std::string& contents);

}  // namespace vireon::tools
