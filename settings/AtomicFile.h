// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string_view>

#include "settings/Platform.h"

namespace vireon::settings {

/// Writes `bytes` into a new file beside `target` and puts it in the place of `target` in one
/// step, so that a reader finds either the old content or the complete new one, also after a
/// power cut: the new content is on the disk before its name points at it. When `targetExists`,
/// the replacement keeps the old file's owner and permissions. `target` must not be a link
/// (resolve it first). kDenied when the folder does not let a new file be made or renamed
/// there; the temporary file never stays behind. Never throws for a failed system call; may
/// throw std::bad_alloc. Any thread.
platform::Outcome replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                        bool targetExists);

}  // namespace vireon::settings
