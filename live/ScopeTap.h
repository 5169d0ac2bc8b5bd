// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

#include "concurrency/SpscRing.h"

namespace vireon::live {

/// Where the stream callback copies what it plays while a scope is watching: a lock-free ring
/// from the audio thread to the UI thread, and the rate of what is in it.
struct ScopeTap {
    /// A third of a second at 48000 Hz: far more than the scope takes between two repaints.
    concurrency::SpscRing<float, 16384> ring;
    /// Frames per second of the samples in the ring; set before the tap is attached.
    std::atomic<std::uint32_t> rate{0};
};

}  // namespace vireon::live
