// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>

#include "devices/audio/ScopeTap.h"

class QLabel;

namespace vireon::ui {

class PianoKeys;
class ScopeView;

/// The on-screen keyboard with its scope. Anyone without a MIDI keyboard plays here: with the
/// mouse on the piano keys, or with the computer keyboard while this window has the focus (the
/// row Z S X D C V G B H N J M is one octave, Q 2 W 3 E R 5 T 6 Y 7 U the next, minus and plus
/// shift both an octave). Notes leave as MIDI messages for the same note handling as MIDI
/// input. Closing the window, losing the focus or quitting ends every note it holds.
class KeyboardWindow : public QWidget {
  public:
    /// Receives each note message, packed as the note handler takes it. UI thread.
    using NoteSender = std::function<void(std::uint32_t message)>;

    static constexpr int kLowestBase = 12;   ///< C0: the lowest octave shift
    static constexpr int kHighestBase = 96;  ///< C7: the top row then ends at B8
    static constexpr int kStartBase = 60;    ///< C4
    static constexpr std::uint8_t kVelocity = 100;

    /// `attachScope` hands the scope's tap to the audio stream (or null to stop it); `tap` must
    /// outlive the stream.
    KeyboardWindow(NoteSender send, audio::ScopeTap& tap,
                   std::function<void(audio::ScopeTap*)> attachScope);
    /// Ends every note still held.
    ~KeyboardWindow() override;

    /// The note the Z key plays.
    int baseNote() const { return baseNote_; }

    /// Ends every note this window holds, from the mouse and the computer keyboard.
    void releaseAllNotes();

    PianoKeys* keys() const { return keys_; }
    ScopeView* scope() const { return scope_; }
    QLabel* octaveLabel() const { return octaveLabel_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void noteOn(int note);
    void noteOff(int note);
    void shiftOctave(int octaves);
    void showHeldKeys();

    NoteSender send_;
    int baseNote_ = kStartBase;
    // Computer keys held down, each with the note it started: a key released after an octave
    // shift ends the note it played, not the one it would play now.
    std::map<int, int> heldKeys_;
    PianoKeys* keys_ = nullptr;
    ScopeView* scope_ = nullptr;
    QLabel* octaveLabel_ = nullptr;
};

}  // namespace vireon::ui
