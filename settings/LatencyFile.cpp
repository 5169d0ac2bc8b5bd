// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/LatencyFile.h"

#include <string>

#include "settings/Platform.h"
#include "settings/SettingsDirectory.h"
#include "settings/SmallFile.h"

namespace vireon::settings {

namespace {

constexpr std::string_view kStandardWord = "standard";
constexpr std::string_view kLowWord = "low";
// One word and its line end; anything longer is not Vireon's file.
constexpr std::size_t kMaxLatencyFileBytes = 64;

}  // namespace

std::string_view latencyWord(Latency latency) {
    return latency == Latency::Low ? kLowWord : kStandardWord;
}

std::optional<Latency> latencyFromWord(std::string_view word) {
    if (word == kStandardWord) {
        return Latency::Standard;
    }
    if (word == kLowWord) {
        return Latency::Low;
    }
    return std::nullopt;
}

std::filesystem::path latencyFileBeside(const std::filesystem::path& settingsFile) {
    return settingsFile.parent_path() / kLatencyFileName;
}

std::filesystem::path latencyFile() {
    return platform::pathFromUtf8(settingsDirectory() + std::string(kLatencyFileName));
}

Latency loadLatency(const std::filesystem::path& file) {
    const std::optional<std::string> text = readSmallFile(file, kMaxLatencyFileBytes + 1);
    if (!text || text->size() > kMaxLatencyFileBytes) {
        return Latency::Standard;
    }
    std::string_view line(*text);
    line = line.substr(0, line.find('\n'));
    // A file edited by hand may have gained blanks or a Windows line end.
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return Latency::Standard;
    }
    line = line.substr(first, line.find_last_not_of(kBlanks) + 1 - first);
    return latencyFromWord(line).value_or(Latency::Standard);
}

bool saveLatency(Latency latency, const std::filesystem::path& file) {
    return writeSmallFile(file, std::string(latencyWord(latency)) + "\n");
}

}  // namespace vireon::settings
