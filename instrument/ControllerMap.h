// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "controls/Controls.h"

namespace vireon::instrument {

/// Controller numbers a control can be bound to. 120 to 127 are the channel mode messages (all
/// notes off, reset all controllers and the like), which no knob should turn into a control.
inline constexpr int kControllerNumbers = 120;

/// The highest value a control change carries.
inline constexpr int kControllerValueMax = 127;

/// Which MIDI controller moves which control: each control answers to at most one controller
/// and each controller moves at most one control. A plain value with fixed storage, so the
/// rendering side can keep one without allocating and the window can keep a copy to show.
class ControllerMap {
  public:
    /// A control moved by a controller, and the position the controller's value stands for.
    struct Move {
        controls::ControlId control;
        int position;
    };

    /// The controller number of a channel-1 control change (status 0xB0) packed as status |
    /// data1 << 8 | data2 << 16, when it is one that can be bound; nothing otherwise.
    static std::optional<int> controllerOf(std::uint32_t packed) noexcept;

    /// The position controller value `value` (0 to 127) stands for on `control`: the whole range
    /// spread over the values, rounded to the control's step; 0 is the minimum and 127 the
    /// maximum exactly.
    static int positionFor(const controls::Control& control, int value) noexcept;

    /// Binds `control` to controller `controller` (0 to kControllerNumbers - 1; any other
    /// number does nothing). The control lets go of its old controller, and a control that had
    /// this controller loses it.
    void bind(controls::ControlId control, int controller) noexcept;

    /// The control answers to no controller any more.
    void forget(controls::ControlId control) noexcept;

    /// The controller `control` is bound to, if any.
    std::optional<int> controllerFor(controls::ControlId control) const noexcept;

    /// What `packed` does here: a bound channel-1 control change moves its control.
    std::optional<Move> moveFor(std::uint32_t packed) const noexcept;

    bool empty() const noexcept;

    /// The whole map in a few words, a byte a control, so that it can cross threads as
    /// concurrency::PublishedWords.
    static constexpr std::size_t kPackedWords =
        (controls::kControlCount + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);
    using Packed = std::array<std::uint64_t, kPackedWords>;
    Packed packed() const noexcept;
    static ControllerMap fromPacked(const Packed& packed) noexcept;

    friend bool operator==(const ControllerMap&, const ControllerMap&) = default;

  private:
    static constexpr std::int8_t kUnbound = -1;
    using Controllers = std::array<std::int8_t, controls::kControlCount>;
    // Filled, not listed, so that a control added to the table starts unbound too, rather than
    // on controller 0.
    static constexpr Controllers allUnbound() {
        Controllers controllers{};
        controllers.fill(kUnbound);
        return controllers;
    }
    Controllers controllers_ = allUnbound();
};

}  // namespace vireon::instrument
