// Timings of the map evaluation and of the longest run a button starts ("Next 10000").
#include <benchmark/benchmark.h>

#include "model/iteration.hpp"
#include "model/maps.hpp"
#include "model/start_up.hpp"
#include "plot/cobweb.hpp"

namespace {

using namespace quobel;

// A surface that only counts the lines, so the run is timed without any drawing back end.
class DiscardingSurface final : public plot::PlotSurface {
  public:
    void set_world_window(double, double, double, double) override {}
    void clear() override {}
    void draw_line(float, float, float, float, plot::PaletteColour) override { ++lines; }
    void draw_point(float, float, plot::PaletteColour) override {}

    long lines = 0;
};

struct StartUp {
    StartUp() { model::initialise_model(state, random); }
    model::ModelState state;
    model::UniformGenerator random;
};

// One press of "Next 10000" from the start-up state after a click on the diagonal (from the unset
// point every step would stay at 0): 10000 map choices, 10000 evaluations of tau and 20000
// segments handed to the surface.
void iterate_10000(benchmark::State& bench) {
    StartUp start;
    DiscardingSurface surface;
    start.state.current_r = model::RealCell::of_single(0.4534884f);
    for (auto _ : bench) {
        model::ModelState state = start.state;
        model::UniformGenerator random = start.random;
        const model::RunResult run =
            model::run_steps(state, random, 10000, [&surface](const model::StepResult& step) {
                plot::draw_cobweb_step(surface, step.from, step.to);
            });
        benchmark::DoNotOptimize(run);
        if (run.steps_taken != 10000) {
            bench.SkipWithError("the run stopped early");
            break;
        }
    }
    bench.counters["lines_per_run"] = benchmark::Counter(static_cast<double>(surface.lines) /
                                                         static_cast<double>(bench.iterations()));
    bench.SetItemsProcessed(bench.iterations() * 10000);
}
BENCHMARK(iterate_10000)->Unit(benchmark::kMicrosecond);

// One evaluation of tau with the four stocks of start-up, along the grid of the graphs.
void tau(benchmark::State& bench) {
    const StartUp start;
    int j = 0;
    for (auto _ : bench) {
        const double r = 0.01 * j;
        benchmark::DoNotOptimize(model::tau(start.state, 1 + j % 3, r));
        j = j == 100 ? 0 : j + 1;
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(tau);

}  // namespace
