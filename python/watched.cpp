// Long computations off the interpreter's thread: the GIL is free while they run, and Ctrl+C or a
// progress callback that raises stops them within one wake-up.
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "python/bindings.hpp"

namespace py = pybind11;

namespace quobel::python {

namespace {

// Often enough that Ctrl+C stops a run well within 0.1 s, rarely enough to cost nothing.
constexpr auto wake_interval = std::chrono::milliseconds(20);

}  // namespace

void run_watched(const std::function<void()>& work, std::atomic<bool>& cancel,
                 const std::function<void()>& progress) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    });
    std::optional<py::error_already_set> raised;
    for (;;) {
        bool stopped = false;
        {
            const py::gil_scoped_release release;
            std::unique_lock lock(mutex);
            stopped = finished.wait_for(lock, wake_interval, [&] { return done; });
        }
        if (stopped) {
            break;
        }
        if (raised) {
            continue;  // cancelled: waiting for the work to notice
        }
        try {
            if (PyErr_CheckSignals() != 0) {
                throw py::error_already_set();
            }
            progress();
        } catch (const py::error_already_set& error) {
            raised.emplace(error);
            cancel.store(true);
        }
    }
    worker.join();
    if (raised) {
        throw *raised;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    progress();
}

std::function<void()> progress_reporter(const py::object& progress,
                                        const std::atomic<std::int64_t>& done, std::int64_t total) {
    if (progress.is_none()) {
        return [] {};
    }
    return [progress, &done, total] { progress(done.load(), total); };
}

}  // namespace quobel::python
