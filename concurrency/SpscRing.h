// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <new>

namespace vireon::concurrency {

/// A fixed ring of values handed from exactly one producer thread to exactly one consumer
/// thread. Neither side locks, waits, allocates or calls the system, so the producer may be the
/// audio callback. A full ring takes fewer values than offered instead of waiting: the producer
/// must never be held up by a slow reader.
///
/// Each index is written by one side only and published with release ordering after the values
/// it covers, so whatever the other side sees through it is complete: nothing is ever torn.
template <typename T, std::size_t Capacity>
class SpscRing {
    static_assert(Capacity > 0 && (Capacity & (Capacity - 1)) == 0,
                  "a power of two lets the indices run freely and wrap with a mask");

  public:
    static constexpr std::size_t kCapacity = Capacity;

    /// Appends up to `count` values and returns how many fitted. Producer thread only.
    std::size_t push(const T* values, std::size_t count) noexcept {
        const std::size_t write = write_.load(std::memory_order_relaxed);
        const std::size_t read = read_.load(std::memory_order_acquire);
        const std::size_t taken = std::min(count, Capacity - (write - read));
        for (std::size_t i = 0; i < taken; ++i) {
            slots_[(write + i) & kMask] = values[i];
        }
        write_.store(write + taken, std::memory_order_release);
        return taken;
    }

    /// Moves up to `count` of the oldest values into `out` and returns how many. Consumer
    /// thread only.
    std::size_t pop(T* out, std::size_t count) noexcept {
        const std::size_t read = read_.load(std::memory_order_relaxed);
        const std::size_t write = write_.load(std::memory_order_acquire);
        const std::size_t taken = std::min(count, write - read);
        for (std::size_t i = 0; i < taken; ++i) {
            out[i] = slots_[(read + i) & kMask];
        }
        read_.store(read + taken, std::memory_order_release);
        return taken;
    }

    /// How many values wait to be popped; at least this many from the consumer's side.
    /// Consumer thread only.
    std::size_t available() const noexcept {
        return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
    }

  private:
    static constexpr std::size_t kMask = Capacity - 1;
    // Apart, so that the two threads do not bounce one cache line between their cores.
    static constexpr std::size_t kLine = 64;

    alignas(kLine) std::atomic<std::size_t> write_{0};
    alignas(kLine) std::atomic<std::size_t> read_{0};
    alignas(kLine) std::array<T, Capacity> slots_{};
};

}  // namespace vireon::concurrency
