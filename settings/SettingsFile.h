// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace vireon::settings {

/// Name of the one-line file that carries the Disorder text from one run to the next.
inline constexpr std::string_view kSettingsFileName = "chaos.txt";

/// Disorder text used when there is no readable settings file; it gives kDefaultDisorder.
inline constexpr std::string_view kDefaultDisorderText = "10";

/// The most of the settings file's first line that is ever read. The Disorder box shows the text
/// and the number comes from its first few bytes; a longer line (a file that is not Vireon's, or
/// hundreds of megabytes without a line end) would only make start-up slow and the box unusable.
inline constexpr std::size_t kMaxDisorderTextBytes = 64 * 1024;

/// Reads the settings file in settingsDirectory() and returns the Disorder text. UI thread, once
/// at start-up.
std::string loadSettings();

/// Reads the first line of `file` (every byte up to the first CR, LF or NUL, or the end, but at
/// most kMaxDisorderTextBytes): the Disorder text, whose leading number (parseNumber) is the
/// Disorder value. When the file cannot be opened or read, or is not a regular file, returns
/// kDefaultDisorderText. Never blocks and never throws. UI thread.
std::string loadSettings(const std::filesystem::path& file);

/// Writes `text` to the settings file in settingsDirectory(), creating that folder (the user's
/// configuration folder) when it does not exist yet. UI thread, once at shutdown.
bool saveSettings(std::string_view text);

/// Writes the bytes of `text` followed by CR LF to `file`, replacing its content. The previous
/// file stays intact unless the new content was written completely, and the new content is on
/// the disk before it takes the old one's place, so a power cut leaves one or the other; a
/// read-only file, a directory or another non-regular file is left alone. A text of
/// kMaxDisorderTextBytes that the file's longer first line begins with is what loading cut from
/// that line: the file already gives that text, and is kept whole. Returns whether loading the file
/// now gives the text; failures are meant to be silent, so callers may ignore it. Never throws. UI
/// thread.
bool saveSettings(std::string_view text, const std::filesystem::path& file);

}  // namespace vireon::settings
