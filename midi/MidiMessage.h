// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace vireon::midi {

/// Kinds of input-callback message, numbered as the platform's MIDI input driver numbers them.
enum class MidiMessageKind : std::uint32_t {
    Open = 0x3C1,
    Close = 0x3C2,  ///< the device is being closed
    Data = 0x3C3,   ///< one short message, packed into param1
};

/// Packs a short message the way it arrives: status in bits 0-7, data 1 in 8-15, data 2 in 16-23.
constexpr std::uint32_t packShortMessage(std::uint8_t status, std::uint8_t data1,
                                         std::uint8_t data2) {
    return std::uint32_t{status} | (std::uint32_t{data1} << 8) | (std::uint32_t{data2} << 16);
}

/// Where an input device delivers its messages: `param1` is a packed short message for Data,
/// `param2` the device's time stamp, unused. Called on the device's own thread.
class MidiReceiver {
  public:
    virtual void onMidiMessage(MidiMessageKind kind, std::uint32_t param1,
                               std::uint32_t param2) = 0;

  protected:
    ~MidiReceiver() = default;
};

}  // namespace vireon::midi
