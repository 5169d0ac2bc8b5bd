// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/RawSamples.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace vireon::tools {
namespace {

std::string standardOutputFailure(int error) {
    return "could not write the samples to standard output (" + std::string(std::strerror(error)) +
           "); check what standard output is connected to.";
}

}  // namespace

std::optional<std::string> useBinaryStandardOutput() {
#ifdef _WIN32
    std::fflush(stdout);
    if (::_setmode(::_fileno(stdout), _O_BINARY) == -1) {
        return "could not switch standard output to binary mode (" +
               std::string(std::strerror(errno)) + "); write to a WAV file instead.";
    }
#endif
    return std::nullopt;
}

std::optional<std::string> writeRawSamples(std::span<const float> samples) {
    std::size_t written;
    if constexpr (std::endian::native == std::endian::little) {
        written = std::fwrite(samples.data(), sizeof(float), samples.size(), stdout);
    } else {
        std::vector<std::uint32_t> swapped(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto bits = std::bit_cast<std::uint32_t>(samples[i]);
            swapped[i] =
                (bits >> 24) | ((bits >> 8) & 0xFF00) | ((bits << 8) & 0xFF0000) | (bits << 24);
        }
        written = std::fwrite(swapped.data(), sizeof(float), swapped.size(), stdout);
    }
    if (written != samples.size()) {
        return standardOutputFailure(errno);
    }
    return std::nullopt;
}

std::optional<std::string> finishRawSamples() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return standardOutputFailure(errno);
    }
    return std::nullopt;
}

}  // namespace vireon::tools
