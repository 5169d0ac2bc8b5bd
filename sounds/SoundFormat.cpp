// SPDX-License-Identifier: GPL-3.0-or-later
#include "sounds/SoundFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "text/TextLines.h"

namespace vireon::sounds {
namespace {

constexpr std::string_view kEnd = "end";
constexpr std::string_view kNameKey = "name";
constexpr std::string_view kDescriptionKey = "description";
constexpr std::size_t kShownValueBytes = 24;
// The header's version is compared digit by digit below.
static_assert(kSoundFormatVersion >= 1 && kSoundFormatVersion <= 9);

using text::trimBlanks;

constexpr auto kFirstPlayingControl = static_cast<std::size_t>(controls::kFirstPlayingControl);

/// How many controls, from the table's start, a sound of format `version` holds.
std::size_t controlsInFormat(int version) {
    return version == kFirstSoundFormatVersion ? kFirstPlayingControl : controls::kControlCount;
}

/// A value as an error message shows it: printable ASCII only, cut short.
std::string shown(std::string_view value) {
    std::string text = "\"";
    for (const char c : value.substr(0, kShownValueBytes)) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    return text + (value.size() > kShownValueBytes ? "...\"" : "\"");
}

/// Whether `text` is UTF-8 without control characters, so it shows as written in a menu.
bool isPrintableUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        std::uint32_t code = lead;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0x80) {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) {
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (overlong || surrogate || code > 0x10FFFF || code < 0x20 || code == 0x7F ||
            (code >= 0x80 && code < 0xA0)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string checkText(std::string_view what, std::string_view text, std::size_t maxBytes) {
    if (text.size() > maxBytes) {
        return "the " + std::string(what) + " is longer than " + std::to_string(maxBytes) +
               " bytes";
    }
    if (!isPrintableUtf8(text)) {
        return "the " + std::string(what) + " is not UTF-8 text or holds control characters";
    }
    return {};
}

// Where a message points in the text.
std::string where(const text::TextLines& lines) {
    return "line " + std::to_string(lines.number());
}

/// Reads one sound, from its header to its "end", into `sound`; returns why it is refused, or
/// an empty text.
std::string readSound(text::TextLines& lines, std::string_view header, Sound& sound) {
    // The header: "vireon-sound", a space and a version number, which may be any size.
    const std::string_view version =
        trimBlanks(header.substr(std::min(header.size(), kSoundHeader.size())));
    const bool isHeader =
        header.starts_with(kSoundHeader) && header.size() > kSoundHeader.size() &&
        (header[kSoundHeader.size()] == ' ' || header[kSoundHeader.size()] == '\t') &&
        std::all_of(version.begin(), version.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::string_view significant =
        version.substr(std::min(version.find_first_not_of('0'), version.size()));
    if (!isHeader || significant.empty()) {
        return "it is not a Vireon sound: " + where(lines) + " should be \"" +
               std::string(kSoundHeader) + ' ' + std::to_string(kFirstSoundFormatVersion) +
               "\" but is " + shown(header);
    }
    if (significant.size() > 1 || significant[0] - '0' > kSoundFormatVersion) {
        return "it was written by a newer version of Vireon (sound format " +
               std::string(significant.substr(0, kShownValueBytes)) +
               "; this version reads format " + std::to_string(kSoundFormatVersion) + ")";
    }

    const std::size_t controlsHeld = controlsInFormat(significant[0] - '0');
    std::array<bool, controls::kControlCount> given{};
    bool hasName = false, hasDescription = false;
    for (;;) {
        const std::optional<std::string_view> line = lines.next();
        if (!line) {
            return "it ends before its closing line \"end\", so it is incomplete";
        }
        if (*line == kEnd) {
            break;
        }
        const std::size_t equals = line->find('=');
        if (equals == std::string_view::npos) {
            return where(lines) + " is not of the form \"entry = value\": " + shown(*line);
        }
        const std::string_view key = trimBlanks(line->substr(0, equals));
        const std::string_view value = trimBlanks(line->substr(equals + 1));
        const auto twice = [&] { return where(lines) + " gives " + shown(key) + " a second time"; };
        if (key == kNameKey || key == kDescriptionKey) {
            bool& seen = key == kNameKey ? hasName : hasDescription;
            if (seen) {
                return twice();
            }
            seen = true;
            (key == kNameKey ? sound.name : sound.description) = value;
            continue;
        }
        const std::optional<controls::ControlId> id = controls::controlWithSymbol(key);
        if (!id || static_cast<std::size_t>(*id) >= controlsHeld) {
            return where(lines) + " has an unknown entry " + shown(key);
        }
        const auto index = static_cast<std::size_t>(*id);
        const controls::Control* control = &controls::control(*id);
        if (given[index]) {
            return twice();
        }
        given[index] = true;
        long long position = 0;
        const auto [valueEnd, valueError] =
            std::from_chars(value.data(), value.data() + value.size(), position);
        if (value.empty() || valueError == std::errc::invalid_argument ||
            valueEnd != value.data() + value.size()) {
            return where(lines) + " gives " + std::string(key) + " as " + shown(value) +
                   ", which is not a whole number";
        }
        if (valueError != std::errc() || position < control->min || position > control->max) {
            return where(lines) + " gives " + std::string(key) + " as " + shown(value) +
                   ", outside its range of " + std::to_string(control->min) + " to " +
                   std::to_string(control->max);
        }
        sound.positions[index] = static_cast<int>(position);
    }

    if (!hasName) {
        return "it has no name";
    }
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (i >= controlsHeld) {
            sound.positions[i] = controls::kControls[i].initial;
        } else if (!given[i]) {
            return "it has no value for " + std::string(controls::kControls[i].symbol);
        }
    }
    return checkSound(sound);
}

}  // namespace

bool sameSoundName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string checkSound(const Sound& sound) {
    if (sound.name.empty()) {
        return "the name is empty";
    }
    if (std::string problem = checkText(kNameKey, sound.name, kMaxNameBytes); !problem.empty()) {
        return problem;
    }
    if (std::string problem = checkText(kDescriptionKey, sound.description, kMaxDescriptionBytes);
        !problem.empty()) {
        return problem;
    }
    // Spaces at either end would not survive a save and a load.
    if (trimBlanks(sound.name) != sound.name ||
        trimBlanks(sound.description) != sound.description) {
        return "the name or description begins or ends with a space";
    }
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const controls::Control& c = controls::kControls[i];
        if (sound.positions[i] < c.min || sound.positions[i] > c.max) {
            return std::string(c.symbol) + " is " + std::to_string(sound.positions[i]) +
                   ", outside its range of " + std::to_string(c.min) + " to " +
                   std::to_string(c.max);
        }
    }
    return {};
}

ParsedSound parseSound(std::string_view text) {
    text::TextLines lines(text);
    const std::optional<std::string_view> header = lines.next();
    if (!header) {
        return std::string("it is empty");
    }
    Sound sound;
    if (std::string problem = readSound(lines, *header, sound); !problem.empty()) {
        return problem;
    }
    if (lines.next()) {
        return where(lines) + " follows the closing line \"end\"";
    }
    return sound;
}

std::variant<std::vector<Sound>, std::string> parseSoundList(std::string_view text) {
    text::TextLines lines(text);
    std::vector<Sound> sounds;
    while (const std::optional<std::string_view> header = lines.next()) {
        Sound sound;
        if (std::string problem = readSound(lines, *header, sound); !problem.empty()) {
            return "sound " + std::to_string(sounds.size() + 1) + ": " + problem;
        }
        for (const Sound& earlier : sounds) {
            if (sameSoundName(earlier.name, sound.name)) {
                return "two sounds are called " + shown(sound.name);
            }
        }
        sounds.push_back(std::move(sound));
    }
    return sounds;
}

std::string formatSound(const Sound& sound) {
    int version = kFirstSoundFormatVersion;
    for (std::size_t i = kFirstPlayingControl; i < controls::kControlCount; ++i) {
        if (sound.positions[i] != controls::kControls[i].initial) {
            version = kSoundFormatVersion;
        }
    }
    std::string text = std::string(kSoundHeader) + ' ' + std::to_string(version) + '\n';
    text += std::string(kNameKey) + " = " + sound.name + '\n';
    text += std::string(kDescriptionKey) + " = " + sound.description + '\n';
    for (std::size_t i = 0; i < controlsInFormat(version); ++i) {
        text += std::string(controls::kControls[i].symbol) + " = " +
                std::to_string(sound.positions[i]) + '\n';
    }
    return text + std::string(kEnd) + '\n';
}

}  // namespace vireon::sounds
