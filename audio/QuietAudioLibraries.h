#pragma once

namespace vireon::audio {

/// Stops ALSA and libjack from printing their diagnostics to standard error. Without sound cards
/// or a JACK server, probing the audio devices writes dozens of lines that mean nothing to a
/// musician; PortAudio's error codes already say what failed. Our own output to standard error
/// is untouched. Call before the audio library is initialised. UI thread.
void silenceAudioLibraryMessages();

}  // namespace vireon::audio
