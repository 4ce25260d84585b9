// Speed of the sweep: long runs on every core against one long run on one thread, and the exact
// verdict plane of 500 x 500 points, once with a vector per axis and once with one vector for both.
#include <benchmark/benchmark.h>

#include "bench_models.hpp"
#include "sweep/sweep.hpp"

namespace {

using namespace quobel;

using bench::start_up_model;

constexpr std::int64_t steps_per_point = 1'000'000;

// One run of a sweep point's parameters on one thread: the figure the sweep is measured against.
void long_run(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    analysis::LongRunSettings settings;
    settings.steps = steps_per_point;
    const analysis::LongRun run(model, 0.5, settings);
    std::int64_t steps = 0;
    for (auto _ : bench) {
        analysis::LongRunControl control;
        benchmark::DoNotOptimize(run.run(control).mean_r);
        steps += steps_per_point;
    }
    bench.counters["steps_per_second"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}
BENCHMARK(long_run)->Unit(benchmark::kMillisecond)->UseRealTime();

// A line of n values of R(1,1), 16 million steps in all, on every core. The points' runs are the
// lanes of the engine's vectors: 16 values give each of two threads 8 lanes, 64 values 32.
void sweep(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    const std::int64_t values = bench.range(0);
    sweep::SweepSettings settings;
    settings.axes = {{{sweep::ParameterName::Table::R, 1, 1}, 0.1, 0.5, values}};
    settings.run.steps = 16 * steps_per_point / values;
    const int threads = sweep::core_count();
    std::int64_t steps = 0;
    sweep::RunMemory memory;  // as the Sweep window keeps one from sweep to sweep
    for (auto _ : bench) {
        sweep::SweepControl control;
        control.memory = &memory;
        sweep::run_sweep(
            model, settings, 0, values, threads, control,
            [](const sweep::PointResult& point) { benchmark::DoNotOptimize(point.mean_r); });
        steps += values * settings.run.steps;
    }
    bench.counters["steps_per_second"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
    bench.counters["threads"] = threads;
}
// Over real time: the steps of all threads in the time the sweep takes.
BENCHMARK(sweep)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The Sweep window's line as it opens: 99 values of R(1,1) from 0.01 to 0.99, 100,000 steps each
// with a burn-in of 1000, their log-odds rows kept, on every core.
void window_line(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    sweep::SweepSettings settings;
    settings.axes = {{{sweep::ParameterName::Table::R, 1, 1}, 0.01, 0.99, 99}};
    settings.run.steps = 100'000;
    settings.run.burn_in = 1000;
    settings.log_odds = true;
    const int threads = sweep::core_count();
    sweep::RunMemory memory;  // as the Sweep window keeps one from sweep to sweep
    for (auto _ : bench) {
        sweep::SweepControl control;
        control.memory = &memory;
        sweep::run_sweep(
            model, settings, 0, 99, threads, control,
            [](const sweep::PointResult& point) { benchmark::DoNotOptimize(point.mean_r); });
    }
    bench.counters["threads"] = threads;
}
BENCHMARK(window_line)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// Exact verdicts, no simulation, over a plane of 500 x 500 points of the start-up parameters.
void time_atlas(benchmark::State& bench, const sweep::Axis& across, const sweep::Axis& up) {
    const model::ModelState model = start_up_model();
    sweep::SweepSettings settings;
    settings.axes = {across, up};
    settings.run.steps = 0;
    const int threads = sweep::core_count();
    const std::int64_t points = across.count * up.count;
    std::vector<analysis::Verdict> verdicts(static_cast<std::size_t>(points));
    for (auto _ : bench) {
        sweep::SweepControl control;
        sweep::run_sweep(model, settings, 0, points, threads, control,
                         [&](const sweep::PointResult& point) {
                             verdicts[static_cast<std::size_t>(point.index)] = point.verdict;
                         });
        benchmark::DoNotOptimize(verdicts.data());
    }
}

// The survival atlas.
void atlas_500(benchmark::State& bench) {
    time_atlas(bench, {{sweep::ParameterName::Table::la1, 1, 1}, 0.01, 0.99, 500},
               {{sweep::ParameterName::Table::prob, 1, 0}, 0.01, 0.99, 500});
}
BENCHMARK(atlas_500)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// A plane whose two axes vary the same vector, as R(1,1) against R(1,2): every point's vector is
// renormalised afresh, so this is where that work shows beside the exponents.
void atlas_shared_vector_500(benchmark::State& bench) {
    time_atlas(bench, {{sweep::ParameterName::Table::R, 1, 1}, 0.01, 0.5, 500},
               {{sweep::ParameterName::Table::R, 1, 2}, 0.01, 0.5, 500});
}
BENCHMARK(atlas_shared_vector_500)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace
