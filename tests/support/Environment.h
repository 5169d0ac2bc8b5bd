#pragma once

#include <optional>
#include <string>

namespace vireon::testsupport {

/// Sets an environment variable of this process for the object's lifetime, then restores the
/// previous value (or its absence). Not thread-safe, like setenv itself: use it while the test
/// runs no other threads that read the environment.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(std::string name, const std::string& value);
    ~ScopedEnvironmentVariable();

    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace vireon::testsupport
