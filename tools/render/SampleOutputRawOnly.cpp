// SPDX-License-Identifier: GPL-3.0-or-later
// SampleOutput where the build has no WAV library (the portable core, Windows among it): raw
// float32 on standard output only.

#include "tools/render/RawSamples.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SampleOutput.h"

namespace vireon::tools {

SampleOutput::~SampleOutput() = default;

std::optional<std::string> SampleOutput::open(const std::string& path,
                                              std::uint32_t /*sampleRate*/) {
    path_ = path;
    if (!isStandardOutput(path)) {
        return "this build of vireon-render writes no WAV files (it has no libsndfile), so not " +
               path + "; give -o - for raw float32 samples on standard output.";
    }
    toStandardOutput_ = true;
    return useBinaryStandardOutput();
}

std::optional<std::string> SampleOutput::write(std::span<const float> samples) {
    if (!toStandardOutput_) {
        return "the output " + path_ + " is not open; this is a bug in vireon-render.";
    }
    return writeRawSamples(samples);
}

std::optional<std::string> SampleOutput::finish() {
    if (!toStandardOutput_) {
        return "the output " + path_ + " is not open; this is a bug in vireon-render.";
    }
    return finishRawSamples();
}

void SampleOutput::discard() {}

}  // namespace vireon::tools
