// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::plugin {

/// The instrument's permanent name among LV2 plugins. Hosts store it in their sessions, so it
/// never changes; the Turtle in this folder names the same URI.
inline constexpr char kPluginUri[] = "urn:vireon:instrument";

}  // namespace vireon::plugin
