// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace vireon::concurrency {

/// A fixed queue that any number of producer threads fill and one consumer thread empties.
/// Nobody locks, waits, allocates or calls the system, so the consumer may be the audio
/// callback. A full queue refuses an item instead of making its producer wait. Items from one
/// producer come out in the order it pushed them; items of different producers interleave in
/// the order their pushes completed.
template <typename T, std::size_t Capacity>
class MpscQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "a power of two lets the positions wrap with a mask");

  public:
    MpscQueue() {
        for (std::size_t i = 0; i < Capacity; ++i) {
            cells_[i].sequence.store(i, std::memory_order_relaxed);
        }
    }

    MpscQueue(const MpscQueue&) = delete;
    MpscQueue& operator=(const MpscQueue&) = delete;

    /// Appends `item`; false, with nothing appended, when the queue is full. Any thread.
    bool push(const T& item) noexcept {
        std::size_t position = enqueuePosition_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[position & kMask];
            const std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
            const auto lag = static_cast<std::ptrdiff_t>(sequence - position);
            if (lag == 0) {
                if (enqueuePosition_.compare_exchange_weak(position, position + 1,
                                                           std::memory_order_relaxed)) {
                    cell.value = item;
                    cell.sequence.store(position + 1, std::memory_order_release);
                    return true;
                }
            } else if (lag < 0) {
                return false;
            } else {
                position = enqueuePosition_.load(std::memory_order_relaxed);
            }
        }
    }

    /// Hands every item completed so far to `take`, oldest first, and returns how many: at most
    /// one queue's worth, so that producers pushing without pause cannot hold the consumer.
    /// The consumer thread only; `take` must not throw.
    template <typename Take>
    std::size_t popAll(Take&& take) noexcept {
        std::size_t taken = 0;
        while (taken < Capacity) {
            Cell& cell = cells_[dequeuePosition_ & kMask];
            if (cell.sequence.load(std::memory_order_acquire) != dequeuePosition_ + 1) {
                return taken;
            }
            const T item = cell.value;
            // The cell is the producers' again one lap later.
            cell.sequence.store(dequeuePosition_ + Capacity, std::memory_order_release);
            ++dequeuePosition_;
            ++taken;
            take(item);
        }
        return taken;
    }

    /// The oldest item completed so far, left in the queue, or null when there is none. It stays
    /// where it is, unchanged, until pop(). For a consumer that takes items only once they are
    /// due. The consumer thread only.
    const T* front() const noexcept {
        const Cell& cell = cells_[dequeuePosition_ & kMask];
        return cell.sequence.load(std::memory_order_acquire) == dequeuePosition_ + 1 ? &cell.value
                                                                                      : nullptr;
    }

    /// How many items producers have claimed room for and the consumer has not taken: at most
    /// Capacity, some perhaps still being written. The consumer thread only.
    std::size_t claimed() const noexcept {
        return enqueuePosition_.load(std::memory_order_relaxed) - dequeuePosition_;
    }

    /// Removes the item front() gave, which must not have been null. The consumer thread only.
    void pop() noexcept {
        cells_[dequeuePosition_ & kMask].sequence.store(dequeuePosition_ + Capacity,
                                                        std::memory_order_release);
        ++dequeuePosition_;
    }

  private:
    // The bounded queue of D. Vyukov: a cell's sequence says whose turn it is, a producer's
    // (equal to the position) or the consumer's (position + 1).
    struct Cell {
        std::atomic<std::size_t> sequence;
        T value{};
    };
    static constexpr std::size_t kMask = Capacity - 1;
    static constexpr std::size_t kLine = 64;

    std::array<Cell, Capacity> cells_;
    alignas(kLine) std::atomic<std::size_t> enqueuePosition_{0};
    alignas(kLine) std::size_t dequeuePosition_ = 0;
};

}  // namespace vireon::concurrency
