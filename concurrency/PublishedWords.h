// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vireon::concurrency {

/// A value of N 64-bit words that one thread publishes whole and other threads read whole: a
/// reader never pairs words of two publications. The publisher never waits, allocates or calls
/// the system; a reader that meets a publication under way tries again, which takes a few
/// stores' time.
template <std::size_t N>
class PublishedWords {
  public:
    using Words = std::array<std::uint64_t, N>;

    explicit PublishedWords(const Words& initial) noexcept {
        for (std::size_t i = 0; i < N; ++i) {
            words_[i].store(initial[i], std::memory_order_relaxed);
        }
    }

    /// The publishing thread only.
    void publish(const Words& words) noexcept {
        // An odd sequence marks a publication under way. Each word is stored with release, so a
        // reader that sees a new word also sees the odd sequence stored before it, and retries;
        // no separate fence, which the thread sanitizer cannot follow.
        const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        for (std::size_t i = 0; i < N; ++i) {
            words_[i].store(words[i], std::memory_order_release);
        }
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    /// Any thread: the words of the latest publication.
    Words read() const noexcept {
        for (;;) {
            const std::uint32_t before = sequence_.load(std::memory_order_acquire);
            Words words{};
            // Acquire loads: the sequence's second look cannot move before them.
            for (std::size_t i = 0; i < N; ++i) {
                words[i] = words_[i].load(std::memory_order_acquire);
            }
            if ((before & 1) == 0 && sequence_.load(std::memory_order_relaxed) == before) {
                return words;
            }
        }
    }

  private:
    std::atomic<std::uint32_t> sequence_{0};
    std::array<std::atomic<std::uint64_t>, N> words_{};
};

}  // namespace vireon::concurrency
