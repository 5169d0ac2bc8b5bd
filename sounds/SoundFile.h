// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "sounds/SoundFormat.h"

namespace vireon::sounds {

/// The folder for the user's own sounds: "vireon/sounds" in `xdgDataHome` when that is an
/// absolute path, otherwise in ".local/share" below `home`; empty when neither gives one. Any
/// thread.
std::filesystem::path userSoundsFolderFor(std::string_view xdgDataHome, std::string_view home);

/// userSoundsFolderFor from this process's $XDG_DATA_HOME and $HOME; on Windows "Vireon\sounds"
/// in the user's roaming application data (%APPDATA%). Any thread.
std::filesystem::path userSoundsFolder();

/// Reads the sound file at `path`, or says why it is refused (a clause like parseSound's: "there
/// is no such file", "it is larger than ..."). Only regular files are read, and never more than
/// kMaxSoundFileBytes. Never throws but std::bad_alloc. Any thread.
ParsedSound readSoundFile(const std::filesystem::path& path);

/// Writes `sound` to `path` so that the file holds either its old content or the complete new
/// one, whatever happens meanwhile (see settings::replaceFileAtomically); a link is followed
/// to the file it names. Returns why it failed (a clause), or an empty text. Refuses an invalid
/// sound, a read-only file and anything that is not a regular file. The folder must exist.
/// Never throws but std::bad_alloc. Any thread.
std::string saveSoundFile(const std::filesystem::path& path, const Sound& sound);

}  // namespace vireon::sounds
