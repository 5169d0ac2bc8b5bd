// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

#include "controls/Controls.h"

namespace vireon::engine {

/// The envelope's controls: the four slider values, the fade and the velocity sensitivity, kept
/// current by the user interface and read by the audio thread at each note start without asking
/// the user-interface thread for anything.
struct AdsrSettings {
    static constexpr const controls::Control& kAttack =
        controls::control(controls::ControlId::Attack);
    static constexpr const controls::Control& kDecay =
        controls::control(controls::ControlId::Decay);
    static constexpr const controls::Control& kSustain =
        controls::control(controls::ControlId::Sustain);
    static constexpr const controls::Control& kRelease =
        controls::control(controls::ControlId::Release);
    static constexpr std::int32_t kAttackMin = kAttack.min, kAttackMax = kAttack.max,
                                  kAttackInitial = kAttack.initial;
    static constexpr std::int32_t kDecayMin = kDecay.min, kDecayMax = kDecay.max,
                                  kDecayInitial = kDecay.initial;
    static constexpr std::int32_t kSustainMin = kSustain.min, kSustainMax = kSustain.max,
                                  kSustainInitial = kSustain.initial;
    static constexpr std::int32_t kReleaseMin = kRelease.min, kReleaseMax = kRelease.max,
                                  kReleaseInitial = kRelease.initial;

    std::atomic<std::int32_t> attack{kAttackInitial};
    std::atomic<std::int32_t> decay{kDecayInitial};
    std::atomic<std::int32_t> sustain{kSustainInitial};
    std::atomic<std::int32_t> release{kReleaseInitial};
    /// Length of the retrigger fade in samples.
    std::atomic<std::int32_t> fade{controls::control(controls::ControlId::Fade).initial};
    /// Velocity sensitivity in percent.
    std::atomic<std::int32_t> velocity{controls::control(controls::ControlId::Velocity).initial};
};

}  // namespace vireon::engine
