// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "offline/RenderSettings.h"

namespace vireon::tools {

/// Everything the command line says about one rendering: how it sounds, which the renderer
/// takes as it is, and where the messages come from and the samples go.
struct RenderOptions : offline::RenderSettings {
    /// Where the messages come from; at most one of the two is non-empty.
    std::string eventsPath;
    std::string midiPath;
    /// Samples to render; without it the length follows from the messages.
    std::optional<std::uint32_t> length;
    /// A path ending in .wav, or "-" for raw float32 on standard output.
    std::string outputPath;
};

/// --help was given: print the usage and stop.
struct HelpRequest {};

/// --version was given: print versionText() and stop.
struct VersionRequest {};

/// --list-sounds was given: print soundListText() and stop.
struct ListSoundsRequest {};

/// What the command line asks for: a rendering, a request that stops there, or one sentence
/// saying what is wrong and what to do.
using ParsedCommandLine =
    std::variant<RenderOptions, HelpRequest, VersionRequest, ListSoundsRequest, std::string>;

/// Reads the command-line arguments (without the program name). --sound FILE reads that file.
/// Any thread.
ParsedCommandLine parseRenderOptions(std::span<const std::string_view> args);

/// The text --help prints.
std::string usageText();

/// The text --version prints: the program's name and version, then its licence.
std::string versionText();

/// The text --list-sounds prints: each factory sound's name and description.
std::string soundListText();

/// True when `path` asks for raw samples on standard output.
bool isStandardOutput(std::string_view path);

}  // namespace vireon::tools
