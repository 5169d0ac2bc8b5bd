// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::audio {

/// Stops ALSA, libjack and PortAudio from printing their diagnostics to standard error. Without
/// sound cards or a JACK server, probing the audio devices writes dozens of lines that mean
/// nothing to a musician; PortAudio's error codes already say what failed. Everything else
/// written to standard error passes unchanged.
///
/// PortAudio's lines need more than silence: when a sound server goes away under a stream, its
/// ALSA host API can loop for ever inside its stream thread, printing one line per turn and
/// never reaching a point where its own abort could end the thread. While such lines flood in,
/// the thread that prints them is slowed down, and a thread that has been asked to end (aborted)
/// ends at its next line. Call before the audio library is initialised; once is enough, more
/// calls do no harm. UI thread.
void silenceAudioLibraryMessages();

}  // namespace vireon::audio
