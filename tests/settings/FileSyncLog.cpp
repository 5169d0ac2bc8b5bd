// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSyncLog.h"

#include <dlfcn.h>
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace vireon::settings::test {
namespace {

bool recording = false;
std::vector<std::string> recorded;

template <typename Function>
Function* nextDefinition(const char* name) {
    return reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
}

std::string pathOf(int fd) {
    std::error_code error;
    const std::filesystem::path path =
        std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    return error ? "fd " + std::to_string(fd) : path.string();
}

}  // namespace

FileSyncLog::FileSyncLog() {
    recorded.clear();
    recording = true;
}

FileSyncLog::~FileSyncLog() {
    recording = false;
}

const std::vector<std::string>& FileSyncLog::events() const {
    return recorded;
}

}  // namespace vireon::settings::test

// These definitions take the place of the C library's for everything linked into the test
// program, the settings library included, and pass each call on to the real function.
extern "C" int fsync(int fd) {
    using vireon::settings::test::recording;
    if (recording) {
        vireon::settings::test::recorded.push_back("fsync " + vireon::settings::test::pathOf(fd));
    }
    static auto* const real = vireon::settings::test::nextDefinition<int(int)>("fsync");
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    using vireon::settings::test::recording;
    if (recording) {
        vireon::settings::test::recorded.push_back(std::string("rename ") + from + " " + to);
    }
    static auto* const real =
        vireon::settings::test::nextDefinition<int(const char*, const char*)>("rename");
    return real(from, to);
}
