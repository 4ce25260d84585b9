// Speed of the analysis: the long run's steps per second and the boundary exponents.
#include <benchmark/benchmark.h>

#include "analysis/boundary_exponents.hpp"
#include "analysis/long_run.hpp"
#include "bench_models.hpp"

namespace {

using namespace quobel;

using bench::start_up_model;

// A million steps with the default burn-in and histogram, three maps and four stocks: per step
// one draw, tau, its complement and its slope over the stocks, and a bin of r and of its
// log-odds.
void long_run(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    analysis::LongRunSettings settings;
    settings.steps = 1'000'000;
    const analysis::LongRun run(model, 0.5, settings);
    std::int64_t steps = 0;
    for (auto _ : bench) {
        analysis::LongRunControl control;
        const analysis::LongRunResult result = run.run(control);
        benchmark::DoNotOptimize(result.mean_r);
        steps += result.steps_taken;
    }
    bench.counters["steps_per_second"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}
// The rate is over CPU time: the run takes one core, and others' work on the machine should not
// count against it.
BENCHMARK(long_run)->Unit(benchmark::kMillisecond);

// What the analysis window recomputes on every change of the parameters.
void boundary_exponents(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    for (auto _ : bench) {
        benchmark::DoNotOptimize(analysis::boundary_exponents(model));
    }
}
BENCHMARK(boundary_exponents);

// What a sweep computes at each of its points: the exponents and the verdict alone.
void survival(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    for (auto _ : bench) {
        benchmark::DoNotOptimize(analysis::survival(model));
    }
}
BENCHMARK(survival);

// The rows as the analysis reads them, which the exponents start from.
void analysed_maps(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    for (auto _ : bench) {
        benchmark::DoNotOptimize(analysis::analysed_maps(model));
    }
}
BENCHMARK(analysed_maps);

}  // namespace
