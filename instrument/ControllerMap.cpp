// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/ControllerMap.h"

#include <algorithm>

namespace vireon::instrument {
namespace {

constexpr std::uint32_t kControlChangeChannel1 = 0xB0;
constexpr std::uint32_t kByte = 0xFF;

}  // namespace

std::optional<int> ControllerMap::controllerOf(std::uint32_t packed) noexcept {
    const int controller = static_cast<int>((packed >> 8) & kByte);
    if ((packed & kByte) != kControlChangeChannel1 || controller >= kControllerNumbers) {
        return std::nullopt;
    }
    return controller;
}

int ControllerMap::positionFor(const controls::Control& control, int value) noexcept {
    const int held = std::clamp(value, 0, kControllerValueMax);
    if (held == kControllerValueMax) {
        // The maximum itself, even where the range is not a whole number of steps.
        return control.max;
    }
    const int steps = (control.max - control.min) / control.step;
    // Rounded to the nearest step; value * steps / 127 never falls on a half, as 127 is odd.
    const int step = (2 * held * steps + kControllerValueMax) / (2 * kControllerValueMax);
    return control.min + step * control.step;
}

void ControllerMap::bind(controls::ControlId control, int controller) noexcept {
    if (controller < 0 || controller >= kControllerNumbers) {
        return;
    }
    std::replace(controllers_.begin(), controllers_.end(), static_cast<std::int8_t>(controller),
                 kUnbound);
    controllers_[static_cast<std::size_t>(control)] = static_cast<std::int8_t>(controller);
}

void ControllerMap::forget(controls::ControlId control) noexcept {
    controllers_[static_cast<std::size_t>(control)] = kUnbound;
}

std::optional<int> ControllerMap::controllerFor(controls::ControlId control) const noexcept {
    const std::int8_t controller = controllers_[static_cast<std::size_t>(control)];
    return controller == kUnbound ? std::nullopt : std::optional<int>(controller);
}

std::optional<ControllerMap::Move> ControllerMap::moveFor(std::uint32_t packed) const noexcept {
    const std::optional<int> controller = controllerOf(packed);
    if (!controller) {
        return std::nullopt;
    }
    const auto bound = std::find(controllers_.begin(), controllers_.end(), *controller);
    if (bound == controllers_.end()) {
        return std::nullopt;
    }
    const auto control = static_cast<controls::ControlId>(bound - controllers_.begin());
    const int value = static_cast<int>((packed >> 16) & kByte);
    return Move{control, positionFor(controls::control(control), value)};
}

ControllerMap::Packed ControllerMap::packed() const noexcept {
    Packed words{};
    for (std::size_t i = 0; i < controllers_.size(); ++i) {
        words[i / 8] |= std::uint64_t{static_cast<std::uint8_t>(controllers_[i])} << (8 * (i % 8));
    }
    return words;
}

ControllerMap ControllerMap::fromPacked(const Packed& packed) noexcept {
    ControllerMap map;
    for (std::size_t i = 0; i < map.controllers_.size(); ++i) {
        map.controllers_[i] = static_cast<std::int8_t>((packed[i / 8] >> (8 * (i % 8))) & kByte);
    }
    return map;
}

bool ControllerMap::empty() const noexcept {
    return std::all_of(controllers_.begin(), controllers_.end(),
                       [](std::int8_t controller) { return controller == kUnbound; });
}

}  // namespace vireon::instrument
