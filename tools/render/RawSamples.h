// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>
#include <string>

namespace vireon::tools {

// Raw little-endian float32 samples on standard output, the same bytes on every system.

/// Makes standard output pass bytes unchanged: Windows' C runtime opens it in text mode, where
/// every 0x0A byte of a sample would gain a 0x0D before it. Call before the first write. On
/// failure returns one sentence. Main thread.
std::optional<std::string> useBinaryStandardOutput();

/// Writes `samples` to standard output. On failure returns one sentence.
std::optional<std::string> writeRawSamples(std::span<const float> samples);

/// Flushes standard output and reports any write that failed on the way.
std::optional<std::string> finishRawSamples();

}  // namespace vireon::tools
