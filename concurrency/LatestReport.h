// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

namespace vireon::concurrency {

/// The latest of the values one thread reports, and how many it has reported, for other threads
/// to read. Value and count share one lock-free word, so a reader never pairs one report's value
/// with another's count, and a reader that sees the count change knows a report came even when
/// the value repeats. Neither side waits, allocates or calls the system.
class LatestReport {
  public:
    struct Reading {
        std::uint32_t value = 0;
        std::uint32_t count = 0;
    };

    /// The reporting thread only.
    void report(std::uint32_t value) noexcept {
        const std::uint64_t count = (word_.load(std::memory_order_relaxed) >> 32) + 1;
        word_.store(count << 32 | value, std::memory_order_release);
    }

    /// Any thread: the latest value, and the count of reports so far (0: none yet).
    Reading read() const noexcept {
        const std::uint64_t word = word_.load(std::memory_order_acquire);
        return {static_cast<std::uint32_t>(word), static_cast<std::uint32_t>(word >> 32)};
    }

  private:
    std::atomic<std::uint64_t> word_{0};
};

}  // namespace vireon::concurrency
