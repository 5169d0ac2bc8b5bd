// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ControllerFile.h"

#include <algorithm>
#include <exception>
#include <string>

#include "instrument/ControllerText.h"
#include "settings/AtomicFile.h"
#include "settings/Platform.h"
#include "settings/SettingsDirectory.h"
#include "settings/SmallFile.h"

namespace vireon::settings {

std::filesystem::path controllersFileBeside(const std::filesystem::path& settingsFile) {
    return settingsFile.parent_path() / kControllersFileName;
}

std::filesystem::path controllersFile() {
    return platform::pathFromUtf8(settingsDirectory() + std::string(kControllersFileName));
}

instrument::ControllerMap loadControllers(const std::filesystem::path& file) {
    std::optional<std::string> text = readSmallFile(file, kMaxControllersFileBytes + 1);
    if (!text) {
        return {};
    }
    if (text->size() > kMaxControllersFileBytes) {
        // Cut off at the limit: a line cut short could name another controller ("havoc 1" of
        // "havoc 12"), so only whole lines count.
        text->resize(kMaxControllersFileBytes);
        text->erase(text->rfind('\n') + 1);
    }
    return instrument::parseControllers(*text).controllers;
}

bool saveControllers(const instrument::ControllerMap& controllers,
                     const std::filesystem::path& file) {
    try {
        platform::createFolders(file.parent_path());
        const std::filesystem::path target = platform::resolveLinks(file);
        if (target.empty()) {
            return false;
        }
        const platform::PathKind kind = platform::kindOf(target);
        if (kind != platform::PathKind::kMissing && kind != platform::PathKind::kWritableFile) {
            return false;
        }
        return replaceFileAtomically(target, instrument::formatControllers(controllers),
                                     kind == platform::PathKind::kWritableFile) ==
               platform::Outcome::kDone;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // A path the system cannot handle: nothing was put in the file's place.
        return false;
    }
}

}  // namespace vireon::settings
