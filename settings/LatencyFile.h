// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace vireon::settings {

/// How much the sound output buffers: Standard is safe on any system; Low plays sooner after a
/// key is pressed, at the risk of dropouts on a busy machine.
enum class Latency { Standard, Low };

/// The file beside the settings file that remembers the latency chosen in the window.
inline constexpr std::string_view kLatencyFileName = "latency.txt";

/// The word that names `latency` in the file and on the command line: "standard" or "low".
std::string_view latencyWord(Latency latency);

/// The latency a word names, exactly as latencyWord writes it; nothing for any other text.
std::optional<Latency> latencyFromWord(std::string_view word);

/// The latency file in the folder that holds `settingsFile`. Any thread.
std::filesystem::path latencyFileBeside(const std::filesystem::path& settingsFile);

/// The latency file in settingsDirectory(). UI thread.
std::filesystem::path latencyFile();

/// The latency `file` remembers: its first line (surrounding blanks and a CR allowed) is one of
/// the words. A missing, unreadable or damaged file gives Latency::Standard, without a word, so
/// start-up never fails on it. Never throws but std::bad_alloc. UI thread.
Latency loadLatency(const std::filesystem::path& file);

/// Writes the word for `latency` and a line end to `file` whole, as writeSmallFile does.
/// Returns whether the file now holds it. Never throws but std::bad_alloc. UI thread.
bool saveLatency(Latency latency, const std::filesystem::path& file);

}  // namespace vireon::settings
