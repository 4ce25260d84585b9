// Speed of the analysis: the long run's steps per second and the boundary exponents.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "analysis/boundary_exponents.hpp"
#include "analysis/chain_engine.hpp"
#include "analysis/ensemble.hpp"
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

// An ensemble of 64 chains of the same million steps, their counts pooled as the analysis window
// and `run --chains` pool them, on the kernel's best target or on the one named (empty: the
// best). The rate counts the steps of all chains.
void run_64_chains(benchmark::State& bench, const std::string& name) {
    std::int64_t target = 0;
    for (const std::int64_t compiled : analysis::engine::kernel_targets()) {
        target = analysis::engine::kernel_target_name(compiled) == name ? compiled : target;
    }
    if (!name.empty() && target == 0) {
        bench.SkipWithError("the processor lacks the target");
        return;
    }
    analysis::engine::force_kernel_target(target);
    const model::ModelState model = start_up_model();
    analysis::LongRunSettings settings;
    settings.steps = 1'000'000;
    const analysis::LongRun run(model, 0.5, settings);
    std::int64_t steps = 0;
    for (auto _ : bench) {
        analysis::LongRunControl control;
        const analysis::EnsembleResult ensemble = analysis::run_ensemble(run, 64, control);
        benchmark::DoNotOptimize(ensemble.pooled.mean_r);
        steps += ensemble.pooled.steps_taken;
    }
    bench.SetItemsProcessed(steps);
    bench.SetLabel(analysis::engine::kernel_target_name(analysis::engine::kernel_target()));
    analysis::engine::force_kernel_target(0);
}

void ensemble(benchmark::State& bench) {
    run_64_chains(bench, "");
}
BENCHMARK(ensemble)->Unit(benchmark::kMillisecond);

void ensemble_avx2(benchmark::State& bench) {
    run_64_chains(bench, "AVX2");
}
BENCHMARK(ensemble_avx2)->Unit(benchmark::kMillisecond);

// The anchor: the loop a researcher writes first for the same three maps of four stocks, tau
// term by term, a map drawn by the standard library's generator, the running mean of r.
void plain_loop(benchmark::State& bench) {
    const model::ModelState model = start_up_model();
    const int stocks = model.stocks_in_tables();
    std::int64_t steps = 0;
    for (auto _ : bench) {
        std::mt19937 random(1);
        std::uniform_real_distribution<double> uniform(0, 1);
        double r = 0.5;
        double sum = 0;
        for (int t = 0; t < 1'000'000; ++t) {
            const double u = uniform(random);
            const int s = u < model.prob(1) ? 1 : u < model.prob(1) + model.prob(2) ? 2 : 3;
            double next = 0;
            for (int k = 1; k <= stocks; ++k) {
                const double la1 = model.la1(s, k).value();
                const double la2 = model.la2(s, k);
                next += model.R(s, k).value() * la1 * r / (la1 * r + la2 * (1 - r));
            }
            r = next;
            sum += r;
        }
        benchmark::DoNotOptimize(sum);
        steps += 1'000'000;
    }
    bench.SetItemsProcessed(steps);
}
BENCHMARK(plain_loop)->Unit(benchmark::kMillisecond);

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
