// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vireon::testsupport {

/// Sets (or, given nothing, removes) an environment variable of this process for the object's
/// lifetime, then restores the previous value (or its absence). Not thread-safe, like setenv
/// itself: use it while the test runs no other threads that read the environment.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value);
    ~ScopedEnvironmentVariable();

    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

/// The program `name` in a folder of the PATH, if there is one.
std::optional<std::filesystem::path> findOnPath(const std::string& name);

/// A fresh folder in the temporary directory, named from `stem`; the caller removes it.
/// Throws std::system_error.
std::filesystem::path makeTemporaryFolder(const std::string& stem);

}  // namespace vireon::testsupport
