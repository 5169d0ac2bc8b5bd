// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <new>

#include "concurrency/ThreadYield.h"

namespace vireon::concurrency {

/// Lets any number of threads hand items to one handler that must see them one at a time,
/// without a lock and without any thread waiting for another. A thread leaves its item in a
/// bounded queue; whichever thread then finds the handler idle handles every item waiting, its
/// own and those other threads left meanwhile. Items from one thread are handled in the order
/// that thread submitted them.
///
/// The only wait is when more than Capacity items are waiting at once: the submitter then
/// helps with the handling, or yields until there is room.
template <typename T, std::size_t Capacity>
class SerialFunnel {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "a power of two lets the positions wrap with a mask");

  public:
    SerialFunnel() {
        for (std::size_t i = 0; i < Capacity; ++i) {
            cells_[i].sequence.store(i, std::memory_order_relaxed);
        }
    }

    SerialFunnel(const SerialFunnel&) = delete;
    SerialFunnel& operator=(const SerialFunnel&) = delete;

    /// Queues `item` and, unless another thread is handling at this moment (it then takes the
    /// item too), calls `handle` for every waiting item before returning. An item whose
    /// handling throws is dropped; the exception does not leave this call. Any thread.
    template <typename Handle>
    void submit(const T& item, Handle&& handle) {
        while (!tryEnqueue(item)) {
            if (!drain(handle)) {
                yieldThread();
            }
        }
        drain(handle);
    }

  private:
    struct Cell {
        std::atomic<std::size_t> sequence;
        T value{};
    };
    static constexpr std::size_t kMask = Capacity - 1;
    static constexpr std::size_t kLine = 64;

    // The bounded multi-producer queue of D. Vyukov: a cell's sequence says whose turn it is,
    // the producer's (equal to the position) or the consumer's (position + 1).
    bool tryEnqueue(const T& item) {
        std::size_t position = enqueuePosition_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[position & kMask];
            const std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
            const auto lag = static_cast<std::ptrdiff_t>(sequence - position);
            if (lag == 0) {
                if (enqueuePosition_.compare_exchange_weak(position, position + 1,
                                                           std::memory_order_relaxed)) {
                    cell.value = item;
                    // Sequentially consistent, like the handler's release and re-check below,
                    // so that an item published just as the handler goes idle is never left
                    // behind: either its thread finds the handler idle, or the handler sees it.
                    cell.sequence.store(position + 1, std::memory_order_seq_cst);
                    return true;
                }
            } else if (lag < 0) {
                return false;  // full
            } else {
                position = enqueuePosition_.load(std::memory_order_relaxed);
            }
        }
    }

    bool nextReady() const {
        const std::size_t position = dequeuePosition_.load(std::memory_order_relaxed);
        return cells_[position & kMask].sequence.load(std::memory_order_seq_cst) == position + 1;
    }

    // Becomes the handling thread, if no other thread is, and handles until nothing is ready.
    // False when another thread was handling.
    template <typename Handle>
    bool drain(Handle& handle) {
        do {
            if (handling_.exchange(true, std::memory_order_seq_cst)) {
                return false;
            }
            while (nextReady()) {
                const std::size_t position = dequeuePosition_.load(std::memory_order_relaxed);
                Cell& cell = cells_[position & kMask];
                const T item = cell.value;
                cell.sequence.store(position + Capacity, std::memory_order_release);
                dequeuePosition_.store(position + 1, std::memory_order_relaxed);
                try {
                    handle(item);
                } catch (...) {
                }
            }
            handling_.store(false, std::memory_order_seq_cst);
            // An item may have been published after the last look but before the release.
        } while (nextReady());
        return true;
    }

    std::array<Cell, Capacity> cells_;
    alignas(kLine) std::atomic<std::size_t> enqueuePosition_{0};
    // Moved only by the handling thread; atomic because others look at it to re-check.
    alignas(kLine) std::atomic<std::size_t> dequeuePosition_{0};
    alignas(kLine) std::atomic<bool> handling_{false};
};

}  // namespace vireon::concurrency
