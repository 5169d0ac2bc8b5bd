// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace vireon::settings::test {

/// While an object lives, records in order every fsync and rename that code linked into this
/// test program makes, as "fsync PATH" and "rename FROM TO": what a power cut would leave
/// depends on that order. One object at a time, on one thread.
class FileSyncLog {
  public:
    FileSyncLog();
    ~FileSyncLog();
    FileSyncLog(const FileSyncLog&) = delete;
    FileSyncLog& operator=(const FileSyncLog&) = delete;

    const std::vector<std::string>& events() const;
};

}  // namespace vireon::settings::test
