// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "live/ScopeTap.h"
#include "midi/ComputerKeyboard.h"

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

    static constexpr int kLowestBase = midi::ComputerKeyboard::kLowestBase;
    static constexpr int kHighestBase = midi::ComputerKeyboard::kHighestBase;
    static constexpr int kStartBase = midi::ComputerKeyboard::kStartBase;
    static constexpr std::uint8_t kVelocity = midi::ComputerKeyboard::kVelocity;

    /// `attachScope` hands the scope's tap to the audio stream (or null to stop it); `tap` must
    /// outlive the stream.
    KeyboardWindow(NoteSender send, live::ScopeTap& tap,
                   std::function<void(live::ScopeTap*)> attachScope);
    /// Ends every note still held.
    ~KeyboardWindow() override;

    /// The note the Z key plays.
    int baseNote() const { return computerKeys_.baseNote(); }

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
    void showKeys();

    NoteSender send_;
    midi::ComputerKeyboard computerKeys_;
    PianoKeys* keys_ = nullptr;
    ScopeView* scope_ = nullptr;
    QLabel* octaveLabel_ = nullptr;
};

}  // namespace vireon::ui
