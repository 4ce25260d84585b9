// The analysis window: survival at the boundaries from the parameters, long runs on a worker
// thread with their charts, and the exports of charts and trajectory.
//
// Data flow: refresh() reads the model and shows the boundary exponents at once; Run copies the
// parameters and the current point into a long run of one or more chains that goes on a thread of
// its own, with its own generator, and hands its result back through a queued signal. The window
// never writes the model and never draws from the program's generator.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"
#include "windows/program_state.hpp"
#include "windows/qt/boundary_panel.hpp"
#include "windows/qt/long_run_job.hpp"
#include "windows/qt/run_chart.hpp"

class QDoubleSpinBox;
class QLabel;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quobel::windows::qt {

class AnalysisWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit AnalysisWindow(const ProgramState& state, QWidget* parent = nullptr);
    ~AnalysisWindow() override;

    enum class Chart { histogram, time_series, log_odds };

    // The exports without a dialog; the outcome is told in the status line.
    // Saved safely, as storage::replace_file (storage/text_file.hpp) says.
    // A PNG has the chart's on-screen resolution times `scale`.
    bool export_chart_png(Chart which, const QString& name, double scale = 1.0);
    bool export_chart_svg(Chart which, const QString& name);
    bool export_trajectory_csv(const QString& name);

    bool running() const { return job_->running(); }
    // The last run's result, its chains pooled, once a run has ended; else null.
    const analysis::LongRunResult* result() const {
        return ensemble_ ? &ensemble_->pooled : nullptr;
    }
    const std::optional<analysis::EnsembleResult>& ensemble() const { return ensemble_; }

    // The controls, for tests.
    QLabel* lambda_0_label() const { return boundary_->lambda_0_label(); }
    QLabel* lambda_1_label() const { return boundary_->lambda_1_label(); }
    QLabel* verdict_label() const { return boundary_->verdict_label(); }
    QLabel* explanation_label() const { return boundary_->explanation_label(); }
    QLabel* flags_label() const { return boundary_->flags_label(); }
    QTableWidget* terms_table() const { return boundary_->terms_table(); }
    QTableWidget* portfolio_table() const { return boundary_->portfolio_table(); }
    QSpinBox* steps_box() const { return steps_; }
    QSpinBox* burn_in_box() const { return burn_in_; }
    QSpinBox* seed_box() const { return seed_; }
    QSpinBox* bins_box() const { return bins_; }
    QSpinBox* chains_box() const { return chains_; }
    QPushButton* run_button() const { return run_; }
    QPushButton* cancel_button() const { return cancel_; }
    QProgressBar* progress_bar() const { return progress_; }
    QLabel* status_label() const { return status_; }
    QLabel* statistics_label() const { return statistics_; }
    QLabel* stale_label() const { return stale_; }
    QTableWidget* draws_table() const { return draws_; }
    QLineSeries* histogram_series() const { return chart(Chart::histogram).series(); }
    QLineSeries* time_series() const { return chart(Chart::time_series).series(); }
    QLineSeries* log_odds_series() const { return chart(Chart::log_odds).series(); }

  public slots:
    // Recomputes the boundary exponents from the model; the main window calls it whenever the
    // model's parameters change. A long run keeps its result, marked when the parameters differ
    // from it.
    void refresh();
    void start_run();
    void cancel_run();

  signals:
    // A run ended (finished, cancelled or stopped) and its result is shown.
    void run_finished();

  private:
    QWidget* make_run_box();
    void make_charts();
    void take_result(const FinishedRun& run);
    void show_result();
    void show_charts();
    // Asks for a file name and exports the chart as SVG or, at the chosen scale, as PNG.
    void ask_chart(Chart which, bool svg);
    void ask_csv();
    void tell(const QString& text);
    const RunChart& chart(Chart which) const { return *charts_[static_cast<std::size_t>(which)]; }

    const ProgramState& state_;
    LongRunJob* job_ = nullptr;
    std::optional<analysis::EnsembleResult> ensemble_;
    // The parameters and settings the shown result was run with.
    model::ModelState run_model_;
    analysis::LongRunSettings run_settings_;

    BoundaryPanel* boundary_ = nullptr;
    QSpinBox* steps_ = nullptr;
    QSpinBox* burn_in_ = nullptr;
    QSpinBox* seed_ = nullptr;
    QSpinBox* bins_ = nullptr;
    QSpinBox* chains_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_csv_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* statistics_ = nullptr;
    QLabel* stale_ = nullptr;
    QTableWidget* draws_ = nullptr;
    QLabel* status_ = nullptr;

    std::array<std::unique_ptr<RunChart>, 3> charts_;  // by Chart
    QDoubleSpinBox* png_scale_ = nullptr;
};

}  // namespace quobel::windows::qt
