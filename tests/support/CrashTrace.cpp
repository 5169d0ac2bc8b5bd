// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/CrashTrace.h"

#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VIREON_SANITIZED 1
#else
#define VIREON_SANITIZED 0
#endif

namespace vireon::testsupport {
namespace {

constexpr int kDeepestFrames = 64;

void printStackAndDie(int signalNumber) {
    void* frames[kDeepestFrames];
    const int count = ::backtrace(frames, kDeepestFrames);
    static constexpr char kHeading[] = "\n*** The test program crashed here:\n";
    static_cast<void>(::write(STDERR_FILENO, kHeading, sizeof kHeading - 1));
    ::backtrace_symbols_fd(frames, count, STDERR_FILENO);
    // The handler was reset on entry: the signal now ends the program as it would have.
    ::raise(signalNumber);
}

}  // namespace

void traceCrashes() {
    if (VIREON_SANITIZED) {
        return;
    }
    static std::once_flag once;
    std::call_once(once, [] {
        // The first backtrace() loads the unwinder, which must not happen inside the handler.
        void* frame = nullptr;
        ::backtrace(&frame, 1);
        struct sigaction action {};
        action.sa_handler = printStackAndDie;
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        ::sigemptyset(&action.sa_mask);
        for (const int signalNumber : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) {
            ::sigaction(signalNumber, &action, nullptr);
        }
    });
}

}  // namespace vireon::testsupport
