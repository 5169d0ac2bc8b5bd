// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vireon::text {

/// The About box's text: name, version and maker on the first line, a carriage return, then what
/// the program is. Every desktop face shows it.
inline constexpr std::string_view kAboutText =
    "Vireon v1.01 by the Vireon developers\rSound Synthesizer using chaos functions";


/// The help window's text, the same in every desktop face, in the pieces it was written in. Each carriage return starts a new line
/// in the help window; there are no line feeds.
inline constexpr std::array<std::string_view, 11> kHelpFragments = {
    "\rVireon distorts the Phase of a sinewave by two simple chaos functions.\r",
    "\rNormally for a sinewave, the Phase value is incremented each time by (1/NumSamples), where "
    "NumSamples = number of",
    "\rsamples needed to define one wavelength of the sound at the pitch of the note being played. "
    "In other words, it",
    "\rwould be like this:\r",
    "\rPhase = Phase + (1/NumSamples)\r",
    "\rBut here, we manipulate the Phase value as follows:\r",
    "\rPhase = Phase + (1/NumSamples) + Omega + (k/2Pi)*sin(2Pi*k)",
    "\rPhase = Phase + (1/NumSamples) + Mod(s*Phase, 1)\r",
    "\rOn the GUI, s = Disorder, Omega = Havoc, k = Bedlam\r",
    "\rThe s value only takes effect when you start the application. So, before you close the "
    "application, set Disorder to",
    "\rthe value you want it to be when you next start the application.\r",
};

/// The whole help text: the pieces joined with nothing between them.
inline std::string helpText() {
    std::size_t length = 0;
    for (const std::string_view piece : kHelpFragments) {
        length += piece.size();
    }
    std::string text;
    text.reserve(length);
    for (const std::string_view piece : kHelpFragments) {
        text += piece;
    }
    return text;
}

}  // namespace vireon::text
