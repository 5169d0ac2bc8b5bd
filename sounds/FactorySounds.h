// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string_view>

#include "sounds/Sound.h"

namespace vireon::sounds {

/// The sounds Vireon comes with, in the order menus list them. They are read from
/// share/sounds/factory-sounds.txt, built into the program; the build fails when that text is
/// refused. Any thread; the first call parses.
std::span<const Sound> factorySounds();

/// The factory sound called `name`, ignoring case, or null. Any thread.
const Sound* findFactorySound(std::string_view name);

/// The factory sounds' text exactly as share/ holds it. Any thread.
std::string_view factorySoundsText();

}  // namespace vireon::sounds
