// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace vireon::fuzz {

/// A new, empty folder in the temporary directory that only this process uses, removed with
/// everything in it when the object is destroyed. Keep one in a function-local static so that
/// it lives until the run ends.
class PrivateFolder {
  public:
    PrivateFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vireon-fuzz-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("could not make a private temporary folder");
            std::abort();
        }
        path_ = pattern;
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace vireon::fuzz
