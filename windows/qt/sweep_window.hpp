// The Sweep window: one parameter across a range gives the random bifurcation diagram, two give
// the survival atlas.
//
// Data flow: Sweep copies the parameters and the settings into a job that computes the points on
// every core; the points come back in grid order every 50 ms and colour their cells. The window
// reads the model and writes a chosen point's values into the main window's fields through the
// event routing, as pending edits: it never changes the model itself and never draws from the
// program's generator.
#pragma once

#include <QString>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <optional>

#include "windows/events.hpp"
#include "windows/qt/sweep_job.hpp"
#include "windows/qt/sweep_plot.hpp"
#include "windows/sweep_view.hpp"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace quobel::windows::qt {

class SweepWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit SweepWindow(Events& events, QWidget* parent = nullptr);
    ~SweepWindow() override;

    // The settings the controls give, brought into the ranges a sweep takes.
    sweep::SweepSettings settings() const;
    const SweepResults& results() const { return results_; }
    bool running() const { return job_->running(); }

    // The exports without a dialog, each through the safe replacement of a file; the outcome is
    // told in the status line. The PNG has the picture's size on the screen times `scale`.
    bool export_png(const QString& name, double scale = 1.0);
    bool export_svg(const QString& name);
    // The CSV that quobel-cli sweep writes for the same parameters and settings, and its settings
    // file beside it.
    bool export_csv(const QString& name);

    // The controls, for tests.
    QComboBox* parameter_box(int axis) const { return names_[static_cast<std::size_t>(axis)]; }
    QDoubleSpinBox* from_box(int axis) const { return from_[static_cast<std::size_t>(axis)]; }
    QDoubleSpinBox* to_box(int axis) const { return to_[static_cast<std::size_t>(axis)]; }
    QSpinBox* count_box(int axis) const { return count_[static_cast<std::size_t>(axis)]; }
    QSpinBox* steps_box() const { return steps_; }
    QSpinBox* burn_in_box() const { return burn_in_; }
    QSpinBox* seed_box() const { return seed_; }
    QSpinBox* bins_box() const { return bins_; }
    QDoubleSpinBox* start_box() const { return start_; }
    QCheckBox* log_odds_box() const { return log_odds_; }
    QCheckBox* recompute_box() const { return recompute_; }
    QPushButton* sweep_button() const { return sweep_; }
    QPushButton* cancel_button() const { return cancel_; }
    QPushButton* use_button() const { return use_; }
    QProgressBar* progress_bar() const { return progress_; }
    QLabel* status_label() const { return status_; }
    QLabel* point_label() const { return point_; }
    QLabel* stale_label() const { return stale_; }
    SweepPlot* plot() const { return plot_; }

  public slots:
    // The model's parameters changed: the parameter lists follow the counts, the marks move, and
    // with "Recompute" checked the sweep starts again.
    void parameters_changed();
    void start_sweep();
    void cancel_sweep();
    // Writes the chosen point's values into the main window's fields.
    void use_point();
    void choose(std::int64_t index);

  signals:
    // A sweep ended, complete or cancelled, and its points are shown.
    void sweep_finished();

  private:
    QWidget* make_settings();
    // The two axes: each one's parameter, range and count of values.
    QLayout* make_axes(QWidget* box);
    // The settings of each value's long run.
    QLayout* make_run_settings(QWidget* box);
    // The check boxes, Sweep, Cancel, the progress and "Use this point", wired.
    void make_actions(QWidget* box);
    void fill_parameter_lists();
    void take_points();
    void sweep_ended(bool complete);
    void show_mode();
    void ask_export(int kind);
    void tell(const QString& text);

    Events& events_;
    SweepJob* job_ = nullptr;
    SweepResults results_;
    std::optional<std::int64_t> chosen_;
    std::chrono::steady_clock::time_point started_;

    std::array<QComboBox*, 2> names_{};
    std::array<QDoubleSpinBox*, 2> from_{};
    std::array<QDoubleSpinBox*, 2> to_{};
    std::array<QSpinBox*, 2> count_{};
    QSpinBox* steps_ = nullptr;
    QSpinBox* burn_in_ = nullptr;
    QSpinBox* seed_ = nullptr;
    QSpinBox* bins_ = nullptr;
    QDoubleSpinBox* start_ = nullptr;
    QCheckBox* log_odds_ = nullptr;
    QCheckBox* recompute_ = nullptr;
    QPushButton* sweep_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* use_ = nullptr;
    std::array<QPushButton*, 3> exports_{};  // PNG, SVG, CSV
    QDoubleSpinBox* png_scale_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* point_ = nullptr;
    QLabel* stale_ = nullptr;
    QLabel* status_ = nullptr;
    SweepPlot* plot_ = nullptr;
};

}  // namespace quobel::windows::qt
