// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vireon::testsupport {

/// What a started program reads: nothing at all, or a pipe the test holds open until
/// closeInput(), for programs that end when their input ends.
enum class ProgramInput { Empty, HeldOpen };

/// A program started by a test, with its own environment additions ("NAME=value"; of two with
/// one name the later wins) and working folder; its standard output and error go to files. A
/// program still running when the object goes is killed, by its process id.
class RunningProgram {
  public:
    RunningProgram(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& extraEnvironment,
                   const std::filesystem::path& workingFolder,
                   const std::vector<std::string>& removedEnvironment = {},
                   ProgramInput input = ProgramInput::Empty);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return pid_; }

    /// The exit status once it has exited within `timeout`; nothing if it is still running or
    /// was ended by a signal.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    bool running();

    /// Ends a held-open input, as a user closing the terminal would.
    void closeInput();

    /// What the program wrote to standard error, and the signal that ended it, if one did.
    std::string errorOutput() const;
    std::string standardOutput() const;

    /// Processor time the program has used so far, user and system together; zero once it
    /// has been reaped.
    std::chrono::milliseconds processorTime() const;

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    bool exited_ = false;
    int status_ = 0;
    int signal_ = 0;
    int inputWriteEnd_ = -1;
    std::filesystem::path outputFile_;
    std::filesystem::path errorFile_;
};

/// Runs a command to its end (at most `timeout`) and returns its standard output, or nothing
/// when it failed or timed out.
std::optional<std::string> runCommand(const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& extraEnvironment,
                                      std::chrono::milliseconds timeout);

/// A private X server (Xvfb) for the lifetime of the object.
class VirtualDisplay {
  public:
    VirtualDisplay();
    ~VirtualDisplay();
    /// "DISPLAY=:N" for the environment of programs that should use it.
    std::string environmentEntry() const { return "DISPLAY=" + display_; }

  private:
    std::optional<RunningProgram> server_;
    std::string display_;
};

}  // namespace vireon::testsupport
