// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "instrument/ControllerMap.h"

namespace vireon::settings {

/// The file beside the settings file that remembers which MIDI controller moves which control,
/// in the text form of instrument::parseControllers.
inline constexpr std::string_view kControllersFileName = "controllers.txt";

/// The most of a controllers file that is read: seven short lines need a few hundred bytes.
inline constexpr std::size_t kMaxControllersFileBytes = 64 * 1024;

/// The controllers file in the folder that holds `settingsFile`. Any thread.
std::filesystem::path controllersFileBeside(const std::filesystem::path& settingsFile);

/// The controllers file in settingsDirectory(). UI thread.
std::filesystem::path controllersFile();

/// The bindings `file` gives. A missing or unreadable file gives none, and a damaged line
/// (a hand edit gone wrong) is passed over, so start-up never fails on this file; only the
/// first kMaxControllersFileBytes are read, up to the last whole line in them. Never throws but
/// std::bad_alloc. UI thread.
instrument::ControllerMap loadControllers(const std::filesystem::path& file);

/// Writes `controllers` to `file` whole, as writeSmallFile does. Returns whether the file now
/// holds them. Never throws but std::bad_alloc. UI thread.
bool saveControllers(const instrument::ControllerMap& controllers,
                     const std::filesystem::path& file);

}  // namespace vireon::settings
