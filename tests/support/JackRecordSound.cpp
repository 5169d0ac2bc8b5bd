// SPDX-License-Identifier: GPL-3.0-or-later
// Records what another program plays into a JACK server, for tests that drive that program from a
// shell (the Windows program under wine): the samples from the first sound on, as raw float32.
//
//   vireon-jack-record-sound SERVER PORT-PATTERN COUNT OUT.raw
//
// Waits up to 20 s for an output port matching PORT-PATTERN (ECMAScript) and as long for COUNT
// samples of sound. Exits 0 when all were recorded without a loss, 1 otherwise.

#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/JackRecorder.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: vireon-jack-record-sound SERVER PORT-PATTERN COUNT OUT.raw\n", stderr);
        return 1;
    }
    try {
        using namespace std::chrono_literals;
        const std::size_t count = std::stoul(argv[3]);
        vireon::testsupport::JackRecorder recorder(argv[1]);
        // A port may exist before it takes connections (ALSA's JACK plugin before its start).
        std::string port;
        for (int attempt = 0; port.empty() && attempt < 40; ++attempt) {
            try {
                port = recorder.connect(argv[2], 500ms);
            } catch (const std::exception&) {
            }
        }
        if (port.empty()) {
            std::fprintf(stderr, "no port matching %s took a connection\n", argv[2]);
            return 1;
        }
        const std::vector<float> sound = recorder.recordSound(count, 20s);
        std::ofstream(argv[4], std::ios::binary)
            .write(reinterpret_cast<const char*>(sound.data()),
                   static_cast<std::streamsize>(sound.size() * sizeof(float)));
        if (sound.size() < count || recorder.droppedSamples() != 0 || recorder.lateCycles() != 0) {
            std::fprintf(stderr, "%zu of %zu samples, %llu lost, %llu late cycles\n", sound.size(),
                         count, static_cast<unsigned long long>(recorder.droppedSamples()),
                         static_cast<unsigned long long>(recorder.lateCycles()));
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
