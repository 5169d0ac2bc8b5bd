// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace vireon::settings {

/// The directory that holds the settings file, worked out from the program's own path, the
/// temporary directory and the current directory. The file lives beside the program, except
/// when the program itself runs from the temporary directory (an unpacked download or an
/// installer's scratch copy): then the current directory is used, so the setting survives the
/// temporary copy. The result ends in a path separator, or is empty when no directory can be
/// determined (the file name alone then names a file in the current directory). Any thread;
/// the UI thread calls it.
std::string settingsDirectoryFor(std::string_view programPath, std::string_view temporaryDirectory,
                                 std::string_view currentDirectory);

/// The per-user folder for Vireon's settings: "vireon/" in `xdgConfigHome` when that is an
/// absolute path, otherwise in ".config/" below `home`. Empty when neither gives one. Any thread.
std::string userSettingsDirectoryFor(std::string_view xdgConfigHome, std::string_view home);

/// Whether this process can keep its settings file in `directory` (empty means the current
/// directory): it may create and rename files there, or the settings file there already exists
/// and may be written in place. Any thread.
bool canKeepSettingsIn(const std::string& directory);

/// Where this process keeps its settings file, worked out afresh at each call. The file lives
/// where settingsDirectoryFor puts it for the running executable, the canonical temporary
/// directory and the current directory, whenever the user can keep it there (a build folder, a
/// portable copy). An installed program's folder belongs to the system: a file there could
/// never be saved, so the user's own configuration folder (see userSettingsDirectoryFor, from
/// $XDG_CONFIG_HOME and $HOME) is used instead; it may not exist yet. UI thread.
std::string settingsDirectory();

}  // namespace vireon::settings
