// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ControllerFile.h"

#include <string>

#include "instrument/ControllerText.h"
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
    return writeSmallFile(file, instrument::formatControllers(controllers));
}

}  // namespace vireon::settings
