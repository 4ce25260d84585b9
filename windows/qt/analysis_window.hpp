// The analysis window: survival at the boundaries from the parameters, long runs on a worker
// thread with their charts, and the exports of charts and trajectory.
//
// Data flow: refresh() reads the model and shows the boundary exponents at once; Run copies the
// parameters and the current point into a long run that goes on a thread of its own, with its own
// generator, and hands its result back through a queued signal. The window never writes the
// model and never draws from the program's generator.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <thread>

#include "analysis/long_run.hpp"
#include "windows/program_state.hpp"

class QChartView;
class QDoubleSpinBox;
class QLabel;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class QValueAxis;

namespace quobel::windows::qt {

class AnalysisWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit AnalysisWindow(const ProgramState& state, QWidget* parent = nullptr);
    // Cancels a run under way and waits for its thread, a fraction of a millisecond.
    ~AnalysisWindow() override;

    enum class Chart { histogram, time_series };

    // The exports without a dialog. Each writes a temporary file and renames it over the target,
    // so a failure leaves an earlier file as it was; the outcome is told in the status line.
    // A PNG has the chart's on-screen resolution times `scale`.
    bool export_chart_png(Chart chart, const QString& name, double scale = 1.0);
    bool export_chart_svg(Chart chart, const QString& name);
    bool export_trajectory_csv(const QString& name);

    bool running() const { return job_ != nullptr; }
    // The last run's result, once a run has ended.
    const std::optional<analysis::LongRunResult>& result() const { return result_; }

    // The controls, for tests.
    QLabel* lambda_0_label() const { return lambda_0_; }
    QLabel* lambda_1_label() const { return lambda_1_; }
    QLabel* verdict_label() const { return verdict_; }
    QLabel* flags_label() const { return flags_; }
    QTableWidget* terms_table() const { return terms_; }
    QTableWidget* portfolio_table() const { return portfolios_; }
    QSpinBox* steps_box() const { return steps_; }
    QSpinBox* burn_in_box() const { return burn_in_; }
    QSpinBox* seed_box() const { return seed_; }
    QSpinBox* bins_box() const { return bins_; }
    QPushButton* run_button() const { return run_; }
    QPushButton* cancel_button() const { return cancel_; }
    QProgressBar* progress_bar() const { return progress_; }
    QLabel* status_label() const { return status_; }
    QLabel* statistics_label() const { return statistics_; }
    QLabel* stale_label() const { return stale_; }
    QTableWidget* draws_table() const { return draws_; }
    QLineSeries* histogram_series() const { return charts_[0].series; }
    QLineSeries* time_series() const { return charts_[1].series; }

  public slots:
    // Recomputes the boundary exponents from the model; the lead calls it whenever the model's
    // parameters change. A long run keeps its result, marked when the parameters differ from it.
    void refresh();
    void start_run();
    void cancel_run();

  signals:
    // A run ended (finished, cancelled or stopped) and its result is shown.
    void run_finished();
    // From the worker thread to the window, queued.
    void worker_done(QPrivateSignal);

  private:
    struct Job;

    QWidget* make_boundary_box();
    QWidget* make_run_box();
    QWidget* make_chart_box(Chart chart);
    void take_result();
    void show_result();
    void show_progress();
    // Asks for a file name and exports the chart as SVG or, at the chosen scale, as PNG.
    void ask_chart(Chart chart, bool svg);
    void ask_csv();
    void tell(const QString& text);

    // One chart of a run's result: the view, its one line and its axes.
    struct ChartParts {
        QChartView* view = nullptr;
        QLineSeries* series = nullptr;
        QValueAxis* x = nullptr;
        QValueAxis* y = nullptr;
    };
    const ChartParts& parts(Chart chart) const { return charts_[static_cast<int>(chart)]; }

    const ProgramState& state_;
    std::unique_ptr<Job> job_;
    std::thread worker_;
    std::optional<analysis::LongRunResult> result_;
    // The parameters and settings the shown result was run with.
    model::ModelState run_model_;
    analysis::LongRunSettings run_settings_;

    QLabel* lambda_0_ = nullptr;
    QLabel* lambda_1_ = nullptr;
    QLabel* verdict_ = nullptr;
    QLabel* flags_ = nullptr;
    QTableWidget* terms_ = nullptr;
    QTableWidget* portfolios_ = nullptr;

    QSpinBox* steps_ = nullptr;
    QSpinBox* burn_in_ = nullptr;
    QSpinBox* seed_ = nullptr;
    QSpinBox* bins_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_csv_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTimer* progress_timer_ = nullptr;
    QLabel* statistics_ = nullptr;
    QLabel* stale_ = nullptr;
    QTableWidget* draws_ = nullptr;
    QLabel* status_ = nullptr;

    std::array<ChartParts, 2> charts_{};  // by Chart
    QDoubleSpinBox* png_scale_ = nullptr;
};

}  // namespace quobel::windows::qt
