// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace vireon::offline {

/// One short MIDI message and the index of the sample before which the note handler gets it.
struct TimedMessage {
    std::uint32_t sample;
    /// Packed as the note handler receives it: status in bits 0-7, data 1 in 8-15, data 2 in 16-23.
    std::uint32_t message;

    friend bool operator==(const TimedMessage&, const TimedMessage&) = default;
};

}  // namespace vireon::offline
