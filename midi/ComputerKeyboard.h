// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace vireon::midi {

/// The computer keyboard played as a piano, the same in every face: the row Z S X D C V G B H N
/// J M is one octave, Q 2 W 3 E R 5 T 6 Y 7 U the next, minus and plus (or equals) shift both an
/// octave. Keys are given as their upper-case ASCII codes, which are also Qt's and Windows'
/// key codes for these keys. Each key plays once however long it is held, and its release ends
/// the note it started, even after an octave shift. UI thread.
class ComputerKeyboard {
  public:
    /// Receives each note message, packed as the note handler takes it.
    using NoteSender = std::function<void(std::uint32_t message)>;

    static constexpr int kLowestBase = 12;   ///< C0: the lowest octave shift
    static constexpr int kHighestBase = 96;  ///< C7: the top row then ends at B8
    static constexpr int kStartBase = 60;    ///< C4
    static constexpr std::uint8_t kVelocity = 100;

    explicit ComputerKeyboard(NoteSender send) : send_(std::move(send)) {}

    /// A key went down (`repeat`: the system's repeat of a held key). False when the key is not
    /// one of the keyboard's, for the face to handle.
    bool press(int key, bool repeat);

    /// A key came up. False when it holds no note.
    bool release(int key);

    /// Ends every note the keys hold: when the face loses the keys, their releases go
    /// elsewhere.
    void releaseAll();

    /// The note the Z key plays.
    int baseNote() const { return baseNote_; }

    /// The notes held now.
    std::set<int> heldNotes() const;

    /// What the keys play now, in one line for the face to show.
    std::string hint() const;

  private:
    NoteSender send_;
    int baseNote_ = kStartBase;
    // Keys held down, each with the note it started.
    std::map<int, int> heldKeys_;
};

/// A note's name with its octave, "C4" for 60.
std::string noteName(int note);

}  // namespace vireon::midi
