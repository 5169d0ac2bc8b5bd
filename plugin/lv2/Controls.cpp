// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/lv2/Controls.h"

#include <algorithm>
#include <cmath>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"

namespace vireon::plugin {

using engine::AdsrSettings;

const std::array<ControlDescription, kControlCount> kControls{{
    {"havoc", engine::kHavocRange.min, engine::kHavocRange.max, engine::kHavocRange.initial},
    {"bedlam", engine::kBedlamRange.min, engine::kBedlamRange.max, engine::kBedlamRange.initial},
    {"attack", AdsrSettings::kAttackMin, AdsrSettings::kAttackMax, AdsrSettings::kAttackInitial},
    {"decay", AdsrSettings::kDecayMin, AdsrSettings::kDecayMax, AdsrSettings::kDecayInitial},
    {"sustain", AdsrSettings::kSustainMin, AdsrSettings::kSustainMax,
     AdsrSettings::kSustainInitial},
    {"release", AdsrSettings::kReleaseMin, AdsrSettings::kReleaseMax,
     AdsrSettings::kReleaseInitial},
    {"disorder", engine::kDisorderRange.min, engine::kDisorderRange.max,
     engine::kDisorderRange.initial},
}};

const ControlDescription& controlDescription(Control control) {
    return kControls[static_cast<std::size_t>(control)];
}

int controlPosition(float value, const ControlDescription& control, int current) {
    if (std::isnan(value)) {
        return current;
    }
    // Clamped before rounding, so infinities and huge values never reach the integer conversion.
    const float held =
        std::clamp(value, static_cast<float>(control.min), static_cast<float>(control.max));
    return static_cast<int>(std::nearbyint(held));
}

}  // namespace vireon::plugin
