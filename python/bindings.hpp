// The parts of the Python module quobel: each defines its classes and functions in the module.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "analysis/long_run.hpp"
#include "model/model_state.hpp"
#include "sweep/parameter_names.hpp"

namespace quobel::python {

// A parameter set as Python holds it: immutable, so that a run or a sweep may read it from
// another thread while Python goes on.
struct Parameters {
    model::ModelState model;
};

// A component named as the file's listing names it, which `model` has unless it is null; else
// ValueError.
sweep::ParameterName parameter_name(const model::ModelState* model, const std::string& text);

void define_parameters(pybind11::module_& module);
void define_analysis(pybind11::module_& module);
void define_sweep(pybind11::module_& module);

// The settings of a run, checked against quobel-cli's ranges: ValueError where it would refuse.
struct RunOptions {
    analysis::LongRunSettings settings;
    double start = 0.5;
};
RunOptions run_options(std::int64_t steps, std::int64_t burn_in, std::uint64_t seed, double start,
                       int bins);

// Runs `work` on a thread of its own with the GIL released. Meanwhile the calling thread wakes
// every 20 ms to take the GIL, deliver signals (Ctrl+C raises KeyboardInterrupt) and call
// `progress`; either raising sets `cancel`, and once the work has stopped the exception goes on.
void run_watched(const std::function<void()>& work, std::atomic<bool>& cancel,
                 const std::function<void()>& progress);

// Calls progress(done, total) when `progress` is not None.
std::function<void()> progress_reporter(const pybind11::object& progress,
                                        const std::atomic<std::int64_t>& done, std::int64_t total);

}  // namespace quobel::python
