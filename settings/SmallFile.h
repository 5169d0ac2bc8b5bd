// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace vireon::settings {

/// The first `limit` bytes of the regular file at `path` (all of it when shorter), for the small
/// text files Vireon keeps: a file of any size costs no more than the limit. Nothing when the
/// file cannot be opened (missing, not a regular file, not readable) or a read fails. Never
/// blocks on a pipe or device. Never throws but std::bad_alloc. Any thread.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t limit);

}  // namespace vireon::settings
