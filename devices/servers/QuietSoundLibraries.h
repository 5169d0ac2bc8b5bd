// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::servers {

/// Stops ALSA and libjack from printing their diagnostics to standard error. Probing audio
/// devices or MIDI systems that are not there makes both write lines that mean nothing to a
/// musician; the program reports what matters in its own words. Our own output to standard
/// error is untouched. Process-wide. Call before the first probe. UI thread.
void silenceSoundLibraryMessages();

}  // namespace vireon::servers
