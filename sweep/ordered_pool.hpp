// A pool of threads that computes the items of an index range and hands their results on in index
// order, a bounded number ahead of the one who takes them, until done or cancelled.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>  // std::jthread
#include <utility>
#include <vector>

namespace quobel::sweep {

// Computes items [first, last) on `threads` threads and hands each result to `emit` on the calling
// thread, in index order, as soon as it and every item before it are done.
//
// Each thread calls `make_worker()` once, on itself, for a callable that maps an index to its
// Result, so that it can keep state of its own (a copy of the parameters) between items. Threads
// claim `block` items at a time, which keeps the lock out of the way of items that take about a
// microsecond, and run at most four blocks per thread ahead of `emit`, so memory stays bounded.
// `cancelled()` is looked at before each item and each hand-on, and every few milliseconds while
// waiting; the pool then stops promptly and returns false. True when every item was handed on.
template <class MakeWorker, class Emit, class Cancelled>
bool run_in_order(std::int64_t first, std::int64_t last, int threads, std::int64_t block,
                  MakeWorker make_worker, Emit emit, Cancelled cancelled) {
    using Result = decltype(make_worker()(first));
    if (first >= last) {
        return true;
    }
    threads = std::max(threads, 1);
    block = std::max<std::int64_t>(block, 1);
    const std::int64_t window = block * threads * 4;  // items computed ahead of `emit`
    std::vector<std::optional<Result>> slots(static_cast<std::size_t>(window));
    const auto slot = [&](std::int64_t i) {
        return static_cast<std::size_t>((i - first) % window);
    };

    std::mutex mutex;
    std::condition_variable ready;  // an item is done
    std::condition_variable room;   // an item was handed on, or the pool stops
    std::int64_t next = first;      // the first item nobody has claimed
    std::int64_t emitted = first;   // the first item not yet handed on
    bool stopping = false;

    const auto work = [&] {
        auto compute = make_worker();
        std::vector<Result> done;
        for (;;) {
            std::int64_t begin = 0;
            std::int64_t end = 0;
            {
                std::unique_lock lock(mutex);
                room.wait(lock, [&] {
                    return stopping || next >= last ||
                           std::min(next + block, last) <= emitted + window;
                });
                if (stopping || next >= last) {
                    return;
                }
                begin = next;
                end = std::min(next + block, last);
                next = end;
            }
            done.clear();
            for (std::int64_t i = begin; i < end && !cancelled(); ++i) {
                done.push_back(compute(i));
            }
            {
                const std::lock_guard lock(mutex);
                for (std::size_t k = 0; k < done.size(); ++k) {
                    slots[slot(begin + static_cast<std::int64_t>(k))] = std::move(done[k]);
                }
            }
            ready.notify_one();
        }
    };

    std::vector<std::jthread> pool;
    // Declared after the pool, so it ends first: the workers are released before they are joined,
    // however this function is left.
    struct Release {
        std::mutex& mutex;
        std::condition_variable& room;
        bool& stopping;
        ~Release() {
            {
                const std::lock_guard lock(mutex);
                stopping = true;
            }
            room.notify_all();
        }
    } release{mutex, room, stopping};
    pool.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back(work);
    }

    // The items that are done in a row from the next one on, taken under one lock.
    std::vector<Result> batch;
    for (std::int64_t i = first; i < last;) {
        batch.clear();
        std::int64_t taken = i;  // the first item not in the batch
        {
            std::unique_lock lock(mutex);
            // Woken by each finished block, and every few milliseconds to look at the cancel flag.
            while (!slots[slot(i)] && !cancelled()) {
                ready.wait_for(lock, std::chrono::milliseconds(5));
            }
            if (cancelled()) {
                return false;
            }
            for (; taken < last && taken < i + block && slots[slot(taken)]; ++taken) {
                batch.push_back(std::move(*slots[slot(taken)]));
                slots[slot(taken)].reset();
            }
            emitted = taken;
        }
        // A worker waits for room for a whole block; waking it for less only costs a switch.
        if ((taken - first) / block != (i - first) / block) {
            room.notify_all();
        }
        for (const Result& result : batch) {
            if (cancelled()) {
                return false;
            }
            emit(result);
        }
        i = taken;
    }
    return !cancelled();
}

}  // namespace quobel::sweep
