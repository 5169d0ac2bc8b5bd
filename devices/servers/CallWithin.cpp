// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/servers/CallWithin.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

namespace vireon::servers {
namespace {

constexpr std::chrono::milliseconds kPollInterval{1};

}  // namespace

bool callWithin(std::function<void()> work, std::chrono::milliseconds deadline,
                const WaitFunction& wait) {
    // Shared with the helper, which may outlive this call.
    const auto done = std::make_shared<std::atomic<bool>>(false);
    auto run = [work = std::move(work), done] {
        try {
            work();
        } catch (...) {
        }
        done->store(true, std::memory_order_release);
    };
    std::thread helper;
    try {
        helper = std::thread(run);
    } catch (const std::system_error&) {
        run();
        return true;
    }

    const auto giveUpAt = std::chrono::steady_clock::now() + deadline;
    try {
        while (!done->load(std::memory_order_acquire)) {
            if (std::chrono::steady_clock::now() >= giveUpAt) {
                helper.detach();
                return false;
            }
            if (wait) {
                wait(kPollInterval);
            } else {
                std::this_thread::sleep_for(kPollInterval);
            }
        }
    } catch (...) {
        helper.detach();
        throw;
    }
    helper.join();
    return true;
}

}  // namespace vireon::servers
