// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the settings loader as the content of the settings file.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "engine/ChaosOscillator.h"
#include "engine/SynthState.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/PrivateFolder.h"
#include "settings/NumberParser.h"
#include "settings/SettingsFile.h"

namespace {

using vireon::fuzz::require;

std::uint32_t bitsOf(const vireon::engine::SynthState& state) {
    return std::bit_cast<std::uint32_t>(state.s.load());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace settings = vireon::settings;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // A folder of the run's own, so no other program ever shares the file.
    static const vireon::fuzz::PrivateFolder folder;
    const std::filesystem::path file = folder.path() / settings::kSettingsFileName;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << input;

    vireon::engine::SynthState loaded;
    const std::string text = settings::loadSettings(loaded, file);
    require(text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
            "the loaded text holds no line terminator");
    require(input.starts_with(text), "the loaded text is where the file begins");
    // The first terminator, or the end of the file, is exactly where the text stops.
    require(text.size() == input.size() || input[text.size()] == '\r' ||
                input[text.size()] == '\n' || input[text.size()] == '\0',
            "the loaded text is the whole first line");

    vireon::engine::SynthState expected;
    vireon::engine::setDisorder(expected, settings::parseNumber(text));
    require(bitsOf(loaded) == bitsOf(expected), "Disorder comes from the text's leading number");

    require(settings::saveSettings(text, file), "saving into a private folder succeeds");
    vireon::engine::SynthState reloaded;
    require(settings::loadSettings(reloaded, file) == text, "the saved text loads back unchanged");
    require(bitsOf(reloaded) == bitsOf(loaded), "the saved text gives the same Disorder");
    return 0;
}
