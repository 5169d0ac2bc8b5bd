// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sounds/Sound.h"

namespace vireon::sounds {

// A sound is stored as UTF-8 text, one entry per line:
//
//   vireon-sound 1
//   name = Glass Bells
//   description = Bright strikes with a long inharmonic tail.
//   havoc = 72
//   ...                    (every control of the table, by its symbol)
//   end
//
// The first line names the format's version; "end" closes the sound, so a file cut short is
// always noticed. Every entry appears exactly once, in any order; blank lines and lines
// starting with '#' are ignored; lines end in LF or CR LF. A later version that changes the
// entries gets a new number, which this version refuses rather than misreads.
//
// Format 1 holds the controls before the playing controls (Fade and after); those take their
// start-up positions. Format 2 holds every control. A sound whose playing controls are all at
// their start-up positions is written as format 1, so that every Vireon reads it; any other
// is written as format 2, which a Vireon that knows only format 1 refuses as newer.

/// The newest version this build reads and writes.
inline constexpr int kSoundFormatVersion = 2;

/// The version that holds only the controls before the playing controls.
inline constexpr int kFirstSoundFormatVersion = 1;
/// The word that starts a sound, before its version.
inline constexpr std::string_view kSoundHeader = "vireon-sound";
/// What sound files are called.
inline constexpr std::string_view kSoundFileExtension = ".vireon-sound";
/// The longest name and description, in bytes; they have to fit a menu and a status bar.
inline constexpr std::size_t kMaxNameBytes = 64;
inline constexpr std::size_t kMaxDescriptionBytes = 200;
/// A sound file is a few hundred bytes; anything far larger is not one.
inline constexpr std::size_t kMaxSoundFileBytes = 64 * 1024;

/// A sound, or why the text is refused: a lower-case clause to follow "it is refused: ", such as
/// "line 5 gives havoc as 150, outside its range of 1 to 100".
using ParsedSound = std::variant<Sound, std::string>;

/// Reads a text holding exactly one sound. Any thread.
ParsedSound parseSound(std::string_view text);

/// Reads a text holding one sound after another, such as the factory sounds; their names must
/// differ (ignoring case). Any thread.
std::variant<std::vector<Sound>, std::string> parseSoundList(std::string_view text);

/// The text parseSound reads back as `sound`. The sound must be valid (checkSound). Any thread.
std::string formatSound(const Sound& sound);

/// Whether two names are one sound's: letters compare ignoring case. Any thread.
bool sameSoundName(std::string_view a, std::string_view b);

/// Why `sound` cannot be stored (a clause like parseSound's), or an empty text when it can.
std::string checkSound(const Sound& sound);

}  // namespace vireon::sounds
