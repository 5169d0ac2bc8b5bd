// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/ControllerText.h"

#include <algorithm>
#include <optional>

#include "text/TextLines.h"

namespace vireon::instrument {
namespace {

constexpr std::string_view kBlanks = " \t";

std::optional<int> controllerNumber(std::string_view digits) {
    // Three digits reach every controller number; more could only overflow.
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int number = 0;
    for (const char c : digits) {
        number = number * 10 + (c - '0');
    }
    return number < kControllerNumbers ? std::optional<int>(number) : std::nullopt;
}

/// The binding one line gives, or nothing for a damaged line.
std::optional<std::pair<controls::ControlId, int>> bindingOn(std::string_view line) {
    const std::size_t gap = line.find_first_of(kBlanks);
    if (gap == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<controls::ControlId> control =
        controls::controlWithSymbol(line.substr(0, gap));
    const std::optional<int> controller = controllerNumber(text::trimBlanks(line.substr(gap)));
    if (!control || !controller) {
        return std::nullopt;
    }
    return std::pair{*control, *controller};
}

}  // namespace

ParsedControllers parseControllers(std::string_view text) {
    ParsedControllers parsed;
    text::TextLines lines(text);
    while (const std::optional<std::string_view> line = lines.next()) {
        if (const auto binding = bindingOn(*line)) {
            parsed.controllers.bind(binding->first, binding->second);
        } else {
            parsed.damagedLines.push_back(lines.number());
        }
    }
    return parsed;
}

std::string formatControllers(const ControllerMap& controllers) {
    std::string text =
        "# Vireon's MIDI controllers: on each line a control and the controller number\n"
        "# (0 to 119) whose channel-1 control changes move it.\n";
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<controls::ControlId>(i);
        if (const std::optional<int> controller = controllers.controllerFor(control)) {
            text += std::string(controls::kControls[i].symbol) + ' ' + std::to_string(*controller) +
                    '\n';
        }
    }
    return text;
}

}  // namespace vireon::instrument
