// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vireon::settings {

/// The first `limit` bytes of the regular file at `path` (all of it when shorter), for the small
/// text files Vireon keeps: a file of any size costs no more than the limit. Nothing when the
/// file cannot be opened (missing, not a regular file, not readable) or a read fails. Never
/// blocks on a pipe or device. Never throws but std::bad_alloc. Any thread.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t limit);

/// Writes `bytes` to `file` (a link is followed to the file it names), creating its folder when
/// it does not exist yet, so that the file holds either its old content or the complete new one
/// whatever happens meanwhile (see replaceFileAtomically). A read-only file or one that is not a
/// regular file is left alone. Returns whether the file now holds the bytes. Never throws but
/// std::bad_alloc. UI thread.
bool writeSmallFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace vireon::settings
