// Timings of the real windows: "Next 10000" and "GO !!!" against a bare painter, the memory of
// many long runs, and the sweep window's repaint and Cancel while a sweep runs.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cstdio>
#include <memory>
#include <vector>

#include "model/iteration.hpp"
#include "model/random_source.hpp"
#include "plot/cobweb.hpp"
#include "plot/plot_surface.hpp"
#include "support/qt_test_support.hpp"
#include "windows/qt/qt_window_system.hpp"
#include "windows/qt/sweep_window.hpp"

namespace {

using quobel::windows::MainButton;
using quobel::windows::qt::Form1;
using quobel::windows::qt::QtProgram;
using quobel::windows::qt::testing::PaintCounter;

// A started program on the screen, graphs drawn, the start point in the middle of the diagonal.
std::unique_ptr<QtProgram> ready_program() {
    auto program = quobel::windows::qt::testing::started_program();
    Form1& form1 = *program->windows.form1();
    form1.button(MainButton::Command1)->click();
    QTest::mouseClick(&form1.plot_picture(), Qt::LeftButton, Qt::NoModifier,
                      form1.plot_picture().rect().center());
    QCoreApplication::processEvents();
    return program;
}

// One press of a button as the user gives it, and the repaint that follows.
void press(Form1& form1, MainButton button) {
    form1.button(button)->click();
    QCoreApplication::processEvents();
}

double resident_kib() {
    long pages_total = 0, pages_resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages_total, &pages_resident) != 2) {
            pages_resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<double>(pages_resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024;
}

void next_10000(benchmark::State& state) {
    auto program = ready_program();
    Form1& form1 = *program->windows.form1();
    PaintCounter counter;
    form1.plot_picture().installEventFilter(&counter);
    for (auto _ : state) {
        press(form1, MainButton::Command5);
    }
    state.counters["repaints_per_press"] =
        static_cast<double>(counter.paints) / static_cast<double>(state.iterations());
    form1.plot_picture().removeEventFilter(&counter);
}
BENCHMARK(next_10000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the segments of a run as the pixel lines the plot draws for them.
class PixelLines final : public quobel::plot::PlotSurface {
  public:
    void set_world_window(double, double, double, double) override {}
    void clear() override { lines.clear(); }
    void draw_line(float x1, float y1, float x2, float y2, quobel::plot::PaletteColour) override {
        lines.emplace_back(pixel(x1, y1), pixel(x2, y2));
    }
    void draw_point(float, float, quobel::plot::PaletteColour) override {}

    std::vector<QLine> lines;

  private:
    static QPoint pixel(double x, double y) {
        using namespace quobel::plot;
        return {static_cast<int>((x - world_left) / (world_right - world_left) * 497),
                static_cast<int>((y - world_top) / (world_bottom - world_top) * 497)};
    }
};

// The 20000 segments of a run of 10000 steps of the program's own maps, drawn with one painter on
// a bare image: the floor under "Next 10000".
void bare_painter(benchmark::State& state) {
    const auto program = ready_program();
    quobel::model::ModelState model = program->state.model;
    quobel::model::UniformGenerator random;
    PixelLines run;
    quobel::model::run_steps(model, random, 10000, [&run](const quobel::model::StepResult& step) {
        quobel::plot::draw_cobweb_step(run, step.from, step.to);
    });
    QImage image(497, 497, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setPen(QPen(QColor(255, 0, 255), 0));
        for (const QLine& line : run.lines) {
            painter.drawLine(line);
        }
    }
    state.counters["segments"] = static_cast<double>(run.lines.size());
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(bare_painter)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void go(benchmark::State& state) {
    auto program = ready_program();
    Form1& form1 = *program->windows.form1();
    for (auto _ : state) {
        press(form1, MainButton::Command1);
    }
}
BENCHMARK(go)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// 100 presses of "Next 10000" after a warm-up: the resident memory must not grow with them.
void next_10000_memory(benchmark::State& state) {
    auto program = ready_program();
    Form1& form1 = *program->windows.form1();
    for (int i = 0; i < 10; ++i) {
        press(form1, MainButton::Command5);
    }
    const double before = resident_kib();
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            press(form1, MainButton::Command5);
        }
    }
    const double after = resident_kib();
    state.counters["rss_before_kib"] = before;
    state.counters["rss_after_kib"] = after;
    state.counters["rss_growth_kib"] = after - before;
}
BENCHMARK(next_10000_memory)->Unit(benchmark::kMillisecond)->Iterations(1);

// The sweep window on the screen, a sweep under way on every core: a line of `values` long runs
// of `steps` steps, or with `plane` the atlas of values x values points.
struct SweepUnderWay {
    std::unique_ptr<QtProgram> program = quobel::windows::qt::testing::started_program();
    quobel::windows::qt::SweepWindow* window = nullptr;

    SweepUnderWay(int values, int steps, bool plane = false) {
        program->windows.show_sweep_window();
        window = program->windows.sweep_window();
        window->parameter_box(0)->setCurrentText(QStringLiteral("la1(1,1)"));
        if (plane) {
            window->parameter_box(1)->setCurrentText(QStringLiteral("prob(1)"));
            window->count_box(1)->setValue(values);
        }
        window->count_box(0)->setValue(values);
        window->steps_box()->setValue(steps);
        window->sweep_button()->click();
    }
};

// A repaint of the sweep window's picture while a sweep runs, with the points so far coloured
// and, for a line, the strip of exponents drawn: it must stay under 16 ms, a frame, for the
// window to stay responsive. Between repaints the points come in as they do on the screen.
void sweep_repaint(benchmark::State& state) {
    const bool plane = state.range(0) == 1;
    SweepUnderWay sweep(plane ? 1000 : 2000, 100'000, plane);
    QWidget& plot = *sweep.window->plot();
    for (auto _ : state) {
        state.PauseTiming();
        QTest::qWait(5);
        state.ResumeTiming();
        plot.repaint();
    }
    state.counters["points_done"] = static_cast<double>(sweep.window->results().done());
    state.SetLabel(plane ? "atlas of 1000 x 1000" : "line of 2000 runs");
}
BENCHMARK(sweep_repaint)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(200);

// Cancel on a sweep of long runs under way: it must return within 100 ms, its threads stopped.
void sweep_cancel(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        SweepUnderWay sweep(2000, 10'000'000);
        QTest::qWait(50);
        state.ResumeTiming();
        sweep.window->cancel_button()->click();
        if (sweep.window->running()) {
            state.SkipWithError("the sweep still runs after Cancel");
        }
    }
}
BENCHMARK(sweep_cancel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    // Headless unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
