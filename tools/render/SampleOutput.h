// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// libsndfile's handle, declared as sndfile.h declares it, so that builds without the library
// (the portable core, which writes raw samples only) can include this header.
typedef struct sf_private_tag SNDFILE;

namespace vireon::tools {

/// Where rendered samples go: a 32-bit float mono WAV file that appears under its name only once
/// it is complete, or raw little-endian float32 on standard output. A build without libsndfile
/// (SampleOutputRawOnly.cpp) has only the second.
///
/// The WAV file is written under a temporary name in the same folder and renamed at finish(),
/// so a failed or interrupted rendering never leaves a partial file under the requested name
/// (nor replaces an older one). Destroying an unfinished output deletes the temporary file.
class SampleOutput {
  public:
    SampleOutput() = default;
    SampleOutput(const SampleOutput&) = delete;
    SampleOutput& operator=(const SampleOutput&) = delete;
    ~SampleOutput();

    /// Opens `path`: "-" for standard output, otherwise a path ending in .wav, whose header says
    /// `sampleRate` frames per second. On failure returns one sentence naming the path. Call
    /// once. Main thread.
    std::optional<std::string> open(const std::string& path, std::uint32_t sampleRate);

    /// Appends samples. On failure returns one sentence; the output is then unusable.
    std::optional<std::string> write(std::span<const float> samples);

    /// Completes the output: flushes standard output, or closes the WAV file and moves it to
    /// its name. On failure returns one sentence and leaves no file behind.
    std::optional<std::string> finish();

  private:
    void discard();

    std::string path_;
    std::string temporaryPath_;
    int fd_ = -1;
    SNDFILE* wav_ = nullptr;
    bool toStandardOutput_ = false;
};

}  // namespace vireon::tools
