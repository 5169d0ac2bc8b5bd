// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

namespace vireon::engine {

/// The four envelope slider values, kept current by the user interface and read by the audio
/// thread at each note start without asking the user-interface thread for anything.
struct AdsrSettings {
    static constexpr std::int32_t kAttackMin = 1, kAttackMax = 2000, kAttackInitial = 1;
    static constexpr std::int32_t kDecayMin = 1, kDecayMax = 5000, kDecayInitial = 1000;
    static constexpr std::int32_t kSustainMin = 0, kSustainMax = 100, kSustainInitial = 50;
    static constexpr std::int32_t kReleaseMin = 1, kReleaseMax = 5000, kReleaseInitial = 1500;

    std::atomic<std::int32_t> attack{kAttackInitial};
    std::atomic<std::int32_t> decay{kDecayInitial};
    std::atomic<std::int32_t> sustain{kSustainInitial};
    std::atomic<std::int32_t> release{kReleaseInitial};
};

}  // namespace vireon::engine
