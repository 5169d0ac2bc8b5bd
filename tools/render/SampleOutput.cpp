// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/SampleOutput.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/render/RawSamples.h"
#include "tools/render/RenderOptions.h"

namespace vireon::tools {
namespace {

std::string systemReason(int error) {
    return std::strerror(error);
}

std::string wavFailure(const std::string& what, const std::string& path, SNDFILE* file) {
    return "could not " + what + " the output file " + path + " (" + sf_strerror(file) +
           "); check that the folder exists and is writable and the disk has space.";
}

}  // namespace

SampleOutput::~SampleOutput() {
    discard();
}

std::optional<std::string> SampleOutput::open(const std::string& path, std::uint32_t sampleRate) {
    path_ = path;
    if (isStandardOutput(path)) {
        toStandardOutput_ = true;
        return useBinaryStandardOutput();
    }

    std::string name = path + ".partial-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return "could not create the output file " + path + " (" + systemReason(errno) +
               "); check that the folder exists and is writable.";
    }
    temporaryPath_ = name;
    fd_ = fd;
    // mkstemp makes the file private to its owner; give it the permissions any new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    wav_ = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (wav_ == nullptr) {
        const std::string failure = wavFailure("start", path, nullptr);
        discard();
        return failure;
    }
    return std::nullopt;
}

std::optional<std::string> SampleOutput::write(std::span<const float> samples) {
    if (toStandardOutput_) {
        return writeRawSamples(samples);
    }
    if (wav_ == nullptr) {
        return "the output file " + path_ + " is not open; this is a bug in vireon-render.";
    }
    const auto count = static_cast<sf_count_t>(samples.size());
    if (sf_write_float(wav_, samples.data(), count) != count) {
        const std::string failure = wavFailure("write", path_, wav_);
        discard();
        return failure;
    }
    return std::nullopt;
}

std::optional<std::string> SampleOutput::finish() {
    if (toStandardOutput_) {
        return finishRawSamples();
    }
    if (wav_ == nullptr) {
        return "the output file " + path_ + " is not open; this is a bug in vireon-render.";
    }
    // Closing writes the final header sizes, so a failure here is as bad as a failed write.
    const int closeError = sf_close(wav_);
    wav_ = nullptr;
    const int descriptorError = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    if (closeError != 0 || descriptorError != 0) {
        const std::string reason =
            closeError != 0 ? sf_error_number(closeError) : systemReason(descriptorError);
        discard();
        return "could not complete the output file " + path_ + " (" + reason +
               "); check that the disk has space.";
    }
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        const std::string failure = "could not move the finished output to " + path_ + " (" +
                                    systemReason(errno) +
                                    "); check that the name is not a folder and is writable.";
        discard();
        return failure;
    }
    temporaryPath_.clear();
    return std::nullopt;
}

void SampleOutput::discard() {
    if (wav_ != nullptr) {
        sf_close(wav_);
        wav_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

}  // namespace vireon::tools
