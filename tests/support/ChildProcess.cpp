// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "tests/support/Waiting.h"

namespace vireon::testsupport {
namespace {

constexpr int kExitOnException = 125;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

// Appends whatever the pipe holds now; false once the writing side is closed.
bool readAvailable(int fd, std::string& text) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            return false;
        } else {
            return errno == EAGAIN || errno == EINTR;
        }
    }
}

[[noreturn]] void runChild(const std::function<int()>& body, int errorPipe) {
    ::setpgid(0, 0);
    ::dup2(errorPipe, STDERR_FILENO);
    ::close(errorPipe);
    int code = kExitOnException;
    try {
        code = body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "exception: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "unknown exception\n");
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // No static destructors or atexit handlers: the parent's test framework owns those.
    ::_exit(code);
}

}  // namespace

std::string ChildOutcome::describe() const {
    std::string text;
    if (timedOut) {
        text = "still running after " + std::to_string(duration.count()) + " ms, killed";
    } else if (exited) {
        text = "exited with code " + std::to_string(exitCode) + " after " +
               std::to_string(duration.count()) + " ms";
    } else {
        text = "ended by signal " + std::to_string(signal) + " after " +
               std::to_string(duration.count()) + " ms";
    }
    return text + "; standard error: \"" + errorOutput + "\"";
}

ChildOutcome runInChildProcess(const std::function<int()>& body,
                               std::chrono::milliseconds timeout) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        throw std::system_error(error, std::generic_category(), "fork");
    }
    if (pid == 0) {
        ::close(pipeEnds[0]);
        runChild(body, pipeEnds[1]);
    }
    ::close(pipeEnds[1]);
    // The child joins its own process group at once; do it here too so a kill at the timeout
    // cannot race with that.
    ::setpgid(pid, pid);
    ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);

    ChildOutcome outcome;
    bool pipeOpen = true;
    int status = 0;
    // While the pipe is open, poll() paces the loop and the child's error output is drained so
    // that it cannot block on a full pipe.
    const bool ended = waitUntil(
        [&] {
            if (pipeOpen) {
                pollfd readable{pipeEnds[0], POLLIN, 0};
                ::poll(&readable, 1, static_cast<int>(kPollInterval.count()));
                pipeOpen = readAvailable(pipeEnds[0], outcome.errorOutput);
            } else {
                std::this_thread::sleep_for(kPollInterval);
            }
            return ::waitpid(pid, &status, WNOHANG) == pid;
        },
        timeout, std::chrono::milliseconds(0));
    if (!ended) {
        outcome.timedOut = true;
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    outcome.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    // Whatever is still in the pipe; processes the child started may hold it open, so only
    // what is already there is read.
    if (pipeOpen) {
        readAvailable(pipeEnds[0], outcome.errorOutput);
    }
    ::close(pipeEnds[0]);
    if (!outcome.timedOut) {
        outcome.exited = WIFEXITED(status);
        outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -1;
        outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return outcome;
}

bool becomeNobody() {
    // Supplementary groups first: root's would otherwise stay with the child.
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobodyId) == 0 && ::setuid(kNobodyId) == 0;
}

}  // namespace vireon::testsupport
