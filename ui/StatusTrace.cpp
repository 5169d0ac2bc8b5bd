// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StatusTrace.h"

#include <cstdio>
#include <cstdlib>

namespace vireon::ui {

void traceStatusText(int field, std::string_view text) {
    static std::FILE* const trace = [] {
        const char* path = std::getenv("VIREON_STATUS_TRACE");
        return path != nullptr && *path != '\0' ? std::fopen(path, "a") : nullptr;
    }();
    if (trace != nullptr) {
        std::fprintf(trace, "%d\t%.*s\n", field, static_cast<int>(text.size()), text.data());
        std::fflush(trace);
    }
}

}  // namespace vireon::ui
