// SPDX-License-Identifier: GPL-3.0-or-later
// Loads arbitrary bytes as a Standard MIDI File: the chunk check runs in this process, the MIDI
// file library in the loader's child process, as in the renderer. A library fault that loops
// shows up as a libFuzzer timeout.

#include <pthread.h>
#include <sanitizer/common_interface_defs.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/PrivateFolder.h"
#include "tools/render/MidiFileReader.h"

namespace {

using vireon::fuzz::require;
using vireon::tools::MidiFileProblem;
using vireon::tools::TimedMessage;

/// Runs in the loader's child process right after the fork. The child inherits libFuzzer's crash
/// handlers, which would save every file the library aborts on as a crash of this target, although
/// the loader turns exactly those aborts into a refusal. With the defaults back, a library fault
/// ends the child the way it would end the renderer's, and the parent's handling is what is tested.
void forgetFuzzerHandlersInChild() {
    __sanitizer_set_death_callback(nullptr);
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGALRM, SIGINT, SIGTERM,
                             SIGUSR1, SIGUSR2, SIGXFSZ}) {
        std::signal(signal, SIG_DFL);
    }
}

void checkChunks(std::string_view input) {
    auto checked = vireon::tools::keepHeaderAndTracks(input);
    if (const auto* p = std::get_if<MidiFileProblem>(&checked)) {
        require(!p->reason.empty(), "a refused file says why");
        return;
    }
    const std::string& kept = std::get<std::string>(checked);
    require(kept.size() <= input.size() && kept.substr(0, 14) == input.substr(0, 14),
            "the kept file is the header and a selection of the chunks");
    auto again = vireon::tools::keepHeaderAndTracks(kept);
    const auto* keptAgain = std::get_if<std::string>(&again);
    require(keptAgain != nullptr && *keptAgain == kept, "a kept file passes the check unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (::pthread_atfork(nullptr, nullptr, forgetFuzzerHandlersInChild) != 0) {
        std::perror("pthread_atfork");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkChunks(input);

    static const vireon::fuzz::PrivateFolder folder;
    const std::filesystem::path file = folder.path() / "input.mid";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << input;
    auto result = vireon::tools::readMidiFile(file.string());
    if (const auto* error = std::get_if<std::string>(&result)) {
        require(error->find(file.string()) != std::string::npos && error->back() == '.',
                "a refusal is a sentence that names the file");
        return 0;
    }
    const auto& messages = std::get<std::vector<TimedMessage>>(result);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        require(messages[i].message >> 24 == 0 && (messages[i].message & 0x80) != 0,
                "a message is at most three bytes and starts with a status byte");
        require(i == 0 || messages[i - 1].sample <= messages[i].sample,
                "sample numbers never decrease");
    }
    return 0;
}
