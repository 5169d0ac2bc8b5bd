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

/// settingsDirectoryFor applied to this process: the running executable, the canonical
/// temporary directory and the current directory, queried afresh at each call. UI thread.
std::string settingsDirectory();

}  // namespace vireon::settings
