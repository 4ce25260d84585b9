// Tests of the ordered pool: results in index order whatever the threads, bounded work ahead and a
// prompt stop on cancel.
#include "sweep/ordered_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace quobel::sweep {
namespace {

using namespace std::chrono_literals;

// Uneven work, so that later items often finish before earlier ones.
std::int64_t slow_square(std::int64_t i) {
    if (i % 7 == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(200 + (i * 37) % 300));
    }
    return i * i;
}

TEST(OrderedPool, HandsOnEveryResultInIndexOrderOnTheCallingThread) {
    for (const auto& [threads, block] : {std::pair{16, 1}, std::pair{16, 7}, std::pair{1, 3}}) {
        const std::int64_t first = 5;
        const std::int64_t last = 1200;
        std::vector<std::int64_t> results;
        std::atomic<int> workers{0};
        bool on_caller = true;
        const auto caller = std::this_thread::get_id();
        const bool complete = run_in_order(
            first, last, threads, block,
            [&] {
                ++workers;
                return slow_square;
            },
            [&](std::int64_t square) {
                on_caller = on_caller && std::this_thread::get_id() == caller;
                results.push_back(square);
            },
            [] { return false; });
        EXPECT_TRUE(complete);
        EXPECT_TRUE(on_caller);
        EXPECT_EQ(workers, threads);
        ASSERT_EQ(results.size(), static_cast<std::size_t>(last - first)) << threads;
        for (std::int64_t i = first; i < last; ++i) {
            ASSERT_EQ(results[static_cast<std::size_t>(i - first)], i * i) << threads << " " << i;
        }
    }
}

TEST(OrderedPool, WorksOnlyABoundedStretchAheadOfTheResultsHandedOn) {
    constexpr int threads = 4;
    constexpr std::int64_t block = 3;
    std::atomic<std::int64_t> handed_on{0};
    std::atomic<std::int64_t> furthest_ahead{0};
    run_in_order(
        0, 2000, threads, block,
        [&] {
            return [&](std::int64_t i) {
                std::int64_t ahead = i - handed_on.load();
                std::int64_t seen = furthest_ahead.load();
                while (ahead > seen && !furthest_ahead.compare_exchange_weak(seen, ahead)) {
                }
                return i;
            };
        },
        [&](std::int64_t) {
            // A slow consumer: the workers would run far ahead if nothing held them back.
            if (handed_on % 50 == 0) {
                std::this_thread::sleep_for(1ms);
            }
            ++handed_on;
        },
        [] { return false; });
    EXPECT_EQ(handed_on, 2000);
    // Four blocks per thread ahead, and the batch being handed on.
    EXPECT_LT(furthest_ahead, block * threads * 4 + block);
}

TEST(OrderedPool, CancelStopsPromptly) {
    // Cancelled while handing on: no result after the flag is seen.
    std::atomic<bool> cancel{false};
    std::int64_t handed_on = 0;
    EXPECT_FALSE(run_in_order(
        0, 100'000, 4, 1, [] { return [](std::int64_t i) { return i; }; },
        [&](std::int64_t) {
            if (++handed_on == 10) {
                cancel = true;
            }
        },
        [&] { return cancel.load(); }));
    EXPECT_EQ(handed_on, 10);

    // Cancelled while the next item is still being computed: the caller does not wait for it.
    cancel = false;
    std::atomic<bool> release{false};
    const auto started = std::chrono::steady_clock::now();
    std::jthread canceller([&] {
        std::this_thread::sleep_for(20ms);
        cancel = true;
    });
    EXPECT_FALSE(run_in_order(
        0, 8, 2, 1,
        [&] {
            return [&](std::int64_t i) {
                // Item 0 never ends on its own; the pool may only join it once it is released.
                while (i == 0 && !release) {
                    std::this_thread::sleep_for(1ms);
                }
                return i;
            };
        },
        [](std::int64_t) { ADD_FAILURE() << "nothing is handed on after the cancel"; },
        [&] {
            const bool stop = cancel.load();
            release = release || stop;
            return stop;
        }));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);

    // An empty range is complete without a worker being made.
    EXPECT_TRUE(run_in_order(
        3, 3, 4, 1,
        [] {
            ADD_FAILURE() << "no worker is needed";
            return [](std::int64_t i) { return i; };
        },
        [](std::int64_t) {}, [] { return false; }));
}

}  // namespace
}  // namespace quobel::sweep
