// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the settings loader as the content of the settings file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "fuzz/PrivateFolder.h"
#include "settings/SettingsFile.h"

namespace {

using vireon::fuzz::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace settings = vireon::settings;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // A folder of the run's own, so no other program ever shares the file.
    static const vireon::fuzz::PrivateFolder folder;
    const std::filesystem::path file = folder.path() / settings::kSettingsFileName;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << input;

    const std::string text = settings::loadSettings(file);
    require(text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
            "the loaded text holds no line terminator");
    require(input.starts_with(text), "the loaded text is where the file begins");
    // The first terminator, or the end of the file, is exactly where the text stops.
    require(text.size() == input.size() || input[text.size()] == '\r' ||
                input[text.size()] == '\n' || input[text.size()] == '\0',
            "the loaded text is the whole first line");

    require(settings::saveSettings(text, file), "saving into a private folder succeeds");
    require(settings::loadSettings(file) == text, "the saved text loads back unchanged");
    return 0;
}
