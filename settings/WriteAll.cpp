// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/WriteAll.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace vireon::settings {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace vireon::settings
