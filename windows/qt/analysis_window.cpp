// The analysis window.
#include "windows/qt/analysis_window.hpp"

#include <QChartView>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSize>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#include "analysis/chart_data.hpp"
#include "model/number_text.hpp"
#include "windows/exports.hpp"
#include "windows/qt/analysis_texts.hpp"
#include "windows/qt/controls.hpp"
#include "windows/qt/image_export.hpp"
#include "windows/qt/run_statistics.hpp"

namespace quobel::windows::qt {

namespace {

using analysis::LongRunEnd;
using analysis::LongRunResult;

}  // namespace

AnalysisWindow::AnalysisWindow(const ProgramState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), job_(new LongRunJob(this)) {
    setObjectName(QStringLiteral("AnalysisWindow"));
    setWindowTitle(QStringLiteral("Analysis"));

    boundary_ = new BoundaryPanel(this);
    auto* top = new QHBoxLayout;
    top->addWidget(boundary_, 3);
    top->addWidget(make_run_box(), 2);
    make_charts();
    auto* charts = new QHBoxLayout;
    for (const Chart which : {Chart::histogram, Chart::log_odds, Chart::time_series}) {
        charts->addWidget(chart(which).box());
    }

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(charts, 1);
    layout->addWidget(status_);

    connect(job_, &LongRunJob::progressed, progress_, &QProgressBar::setValue);
    // Queued: Cancel ends the run before the click returns, and the window shows the result on
    // its next turn, as it does for a run that reaches its end.
    connect(job_, &LongRunJob::ended, this, &AnalysisWindow::take_result, Qt::QueuedConnection);
    refresh();
    // Room for the three map rows and the portfolio table without scrolling.
    resize(sizeHint().expandedTo(QSize(980, 820)));
}

// The job, a child, cancels a run under way and waits for its thread.
AnalysisWindow::~AnalysisWindow() = default;

QWidget* AnalysisWindow::make_run_box() {
    auto* box = new QGroupBox(QStringLiteral("Run"), this);
    steps_ = make_count_box(box, 1, static_cast<int>(analysis::max_long_run_steps),
                            static_cast<int>(analysis::default_long_run_steps), 100'000);
    burn_in_ = make_count_box(box, 0, static_cast<int>(analysis::max_long_run_steps),
                              static_cast<int>(analysis::LongRunSettings{}.burn_in), 1000);
    seed_ = make_count_box(box, 0, std::numeric_limits<int>::max(), 1, 1);
    seed_->setGroupSeparatorShown(false);
    bins_ = make_count_box(box, 1, 1000, analysis::LongRunSettings{}.bins, 10);
    chains_ = make_count_box(box, 1, analysis::max_chains, 1, 1);
    steps_->setToolTip(QStringLiteral("Steps from the current point, without drawing"));
    burn_in_->setToolTip(
        QStringLiteral("Steps left out of the histogram, the average and the exponent"));
    seed_->setToolTip(
        QStringLiteral("Seed of the run's own generator; the main window's draws are not touched"));
    chains_->setToolTip(
        QStringLiteral("Independent chains of the seed from the same point, pooled; with more than "
                       "one, each error is also told from the spread between the chains"));

    run_ = new QPushButton(QStringLiteral("Run"), box);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), box);
    cancel_->setEnabled(false);
    progress_ = make_progress_bar(box);
    statistics_ = new QLabel(box);
    statistics_->setTextFormat(Qt::PlainText);
    statistics_->setWordWrap(true);
    stale_ = new QLabel(QStringLiteral("The parameters have changed since this run."), box);
    stale_->setVisible(false);
    draws_ = make_table(box);
    // Room for the header and three maps; the statistics above it keep every line.
    draws_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    draws_->setMaximumHeight(4 * draws_->verticalHeader()->defaultSectionSize() + 8);
    export_csv_ = new QPushButton(QStringLiteral("Export trajectory as CSV..."), box);
    export_csv_->setEnabled(false);

    auto* settings = new QFormLayout;
    settings->addRow(QStringLiteral("Steps:"), steps_);
    settings->addRow(QStringLiteral("Burn-in:"), burn_in_);
    settings->addRow(QStringLiteral("Seed:"), seed_);
    settings->addRow(QStringLiteral("Histogram bins:"), bins_);
    settings->addRow(QStringLiteral("Chains:"), chains_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(run_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(settings);
    layout->addLayout(buttons);
    layout->addWidget(progress_);
    layout->addWidget(statistics_);
    layout->addWidget(stale_);
    layout->addWidget(draws_);
    layout->addWidget(export_csv_);
    layout->addStretch();

    connect(run_, &QPushButton::clicked, this, &AnalysisWindow::start_run);
    connect(cancel_, &QPushButton::clicked, this, &AnalysisWindow::cancel_run);
    connect(export_csv_, &QPushButton::clicked, this, &AnalysisWindow::ask_csv);
    return box;
}

void AnalysisWindow::make_charts() {
    charts_[static_cast<std::size_t>(Chart::histogram)] = std::make_unique<RunChart>(
        this, ChartTitles{QStringLiteral("Density of r after the burn-in"), QStringLiteral("r"),
                          QStringLiteral("density"), false});
    charts_[static_cast<std::size_t>(Chart::log_odds)] = std::make_unique<RunChart>(
        this, ChartTitles{QStringLiteral("Density of log(r / (1 - r)) after the burn-in"),
                          QStringLiteral("log(r / (1 - r))"), QStringLiteral("density"), false});
    charts_[static_cast<std::size_t>(Chart::time_series)] = std::make_unique<RunChart>(
        this, ChartTitles{QStringLiteral("The last 1000 steps"), QStringLiteral("step"),
                          QStringLiteral("r"), true});
    // One scale serves every chart; it sits with the first of them.
    png_scale_ = make_png_scale_box(this);
    chart(Chart::histogram).buttons()->insertWidget(1, png_scale_);
    for (const Chart which : {Chart::histogram, Chart::log_odds, Chart::time_series}) {
        connect(chart(which).png_button(), &QPushButton::clicked, this,
                [this, which] { ask_chart(which, false); });
        connect(chart(which).svg_button(), &QPushButton::clicked, this,
                [this, which] { ask_chart(which, true); });
    }
}

void AnalysisWindow::refresh() {
    stale_->setVisible(ensemble_ && !model::same_parameters(state_.model, run_model_));
    boundary_->refresh(state_.model);
}

void AnalysisWindow::start_run() {
    analysis::LongRunSettings settings;
    settings.steps = steps_->value();
    settings.burn_in = burn_in_->value();
    settings.seed = static_cast<std::uint64_t>(seed_->value());
    settings.bins = bins_->value();
    // A burn-in that takes the whole run is refused as quobel-cli refuses it, rather than cut
    // short behind the user's back.
    if (const std::string refusal = analysis::run_settings_refusal(settings); !refusal.empty()) {
        tell(from_utf8(refusal));
        return;
    }
    const int chains = chains_->value();
    if (!job_->start(state_.model, settings, chains)) {
        return;
    }
    run_->setEnabled(false);
    cancel_->setEnabled(true);
    progress_->setValue(0);
    const QString from = from_utf8(model::general_text(state_.model.current_r));
    const QString steps = count_text(job_->settings().steps);
    tell(chains == 1 ? QStringLiteral("Running %1 steps from r = %2...").arg(steps, from)
                     : QStringLiteral("Running %1 chains of %2 steps from r = %3...")
                           .arg(QString::number(chains), steps, from));
}

void AnalysisWindow::cancel_run() {
    if (job_->running()) {
        job_->cancel();
        cancel_->setEnabled(false);
    }
}

void AnalysisWindow::take_result(const FinishedRun& run) {
    ensemble_ = run.result;
    run_model_ = run.parameters;
    run_settings_ = run.settings;
    progress_->setValue(LongRunJob::per_mille(ensemble_->pooled.steps_taken,
                                              run_settings_.steps * ensemble_->chains));
    run_->setEnabled(true);
    cancel_->setEnabled(false);
    show_result();
    emit run_finished();
}

void AnalysisWindow::show_result() {
    const LongRunResult& result = ensemble_->pooled;
    const int chains = ensemble_->chains;
    stale_->setVisible(!model::same_parameters(state_.model, run_model_));
    export_csv_->setEnabled(!result.last_steps.empty());
    switch (result.end) {
        case LongRunEnd::finished:
            tell(chains == 1
                     ? QStringLiteral("Finished: %1 steps.").arg(count_text(result.steps_taken))
                     : QStringLiteral("Finished: %1 chains of %2 steps.")
                           .arg(QString::number(chains), count_text(result.steps_taken / chains)));
            break;
        case LongRunEnd::cancelled:
            tell(chains == 1 ? QStringLiteral("Cancelled after %1 steps.")
                                   .arg(count_text(result.steps_taken))
                             : QStringLiteral("Cancelled after %1 steps of %2 chains together.")
                                   .arg(count_text(result.steps_taken), QString::number(chains)));
            break;
        case LongRunEnd::not_finite:
            tell(QStringLiteral("Stopped before step %1: map %2 has no finite value at r = %3.")
                     .arg(count_text(result.steps_taken + 1))
                     .arg(result.failed_map)
                     .arg(number_text(result.failed_from)));
            break;
        case LongRunEnd::no_map:
            tell(QStringLiteral("No map in use: the map count is %1.")
                     .arg(from_utf8(model::general_text(run_model_.num_maps))));
            break;
    }

    statistics_->setText(statistics_text(*ensemble_, run_settings_.seed));

    show_draws(*draws_, result, run_model_);
    show_charts();
}

void AnalysisWindow::show_charts() {
    const LongRunResult& result = ensemble_->pooled;
    const std::vector<double> density = result.density();
    RunChart& histogram = *charts_[static_cast<std::size_t>(Chart::histogram)];
    histogram.show(analysis::histogram_steps(density));
    histogram.set_x_range({0, 1});
    histogram.set_y_range(analysis::height_range(density));

    const analysis::LogOddsChart log_odds = analysis::log_odds_chart(result);
    RunChart& odds = *charts_[static_cast<std::size_t>(Chart::log_odds)];
    odds.show(log_odds.steps);
    if (!log_odds.steps.empty()) {
        odds.set_x_range(log_odds.x);
        std::vector<double> heights;
        for (const analysis::ChartPoint& point : log_odds.steps) {
            heights.push_back(point.y);
        }
        odds.set_y_range(analysis::height_range(heights));
    }

    RunChart& time = *charts_[static_cast<std::size_t>(Chart::time_series)];
    time.set_title(ensemble_->chains == 1 ? QStringLiteral("The last 1000 steps")
                                          : QStringLiteral("The last 1000 steps of chain 0"));
    time.show(analysis::trajectory_points(result.last_steps));
    if (!result.last_steps.empty()) {
        time.set_x_range({static_cast<double>(result.last_steps.front().step),
                          static_cast<double>(result.last_steps.back().step)});
        time.set_y_range(analysis::r_range(result.last_steps));
    }
}

bool AnalysisWindow::export_chart_png(Chart which, const QString& name, double scale) {
    const QChartView& view = *chart(which).view();
    const double factor = view.devicePixelRatioF() * scale;
    // Checked before any size is formed, so that no scale can overflow it.
    const std::string refusal = image_size_refusal(factor * view.width(), factor * view.height());
    if (!refusal.empty()) {
        tell(from_utf8(refusal));
        return false;
    }
    const QImage image = chart(which).image(factor);
    const std::optional<QByteArray> bytes = png_bytes(image);
    const storage::FileOutcome outcome =
        bytes ? save_image_bytes(name, *bytes)
              : storage::FileOutcome{false, "the chart could not be turned into a PNG image"};
    if (!outcome.ok) {
        tell(QStringLiteral("Cannot write %1: %2").arg(name, from_utf8(outcome.reason)));
        return false;
    }
    tell(QStringLiteral("Saved the chart as %1 (%2 x %3 pixels).")
             .arg(name)
             .arg(image.width())
             .arg(image.height()));
    return true;
}

bool AnalysisWindow::export_chart_svg(Chart which, const QString& name) {
    const storage::FileOutcome outcome = save_image_bytes(name, chart(which).svg());
    if (!outcome.ok) {
        tell(QStringLiteral("Cannot write %1: %2").arg(name, from_utf8(outcome.reason)));
        return false;
    }
    tell(QStringLiteral("Saved the chart as %1.").arg(name));
    return true;
}

bool AnalysisWindow::export_trajectory_csv(const QString& name) {
    static const std::vector<model::TrajectoryPoint> none;
    const storage::FileOutcome outcome = windows::export_trajectory_csv(
        ensemble_ ? ensemble_->pooled.last_steps : none, QFile::encodeName(name).toStdString(),
        "There is no trajectory to export: run first.");
    if (!outcome.ok) {
        tell(from_utf8(outcome.reason));
        return false;
    }
    tell(
        QStringLiteral("Saved the last %1 steps as %2.")
            .arg(count_text(static_cast<std::int64_t>(ensemble_->pooled.last_steps.size())), name));
    return true;
}

void AnalysisWindow::ask_chart(Chart which, bool svg) {
    const QString stem = which == Chart::histogram  ? QStringLiteral("density")
                         : which == Chart::log_odds ? QStringLiteral("log_odds")
                                                    : QStringLiteral("steps");
    const QString name = ask_export_name(*this, svg ? ExportFile::svg : ExportFile::png,
                                         QStringLiteral("chart"), stem);
    if (name.isEmpty()) {
        return;
    }
    if (svg) {
        export_chart_svg(which, name);
    } else {
        export_chart_png(which, name, png_scale_->value());
    }
}

void AnalysisWindow::ask_csv() {
    const QString name = ask_export_name(*this, ExportFile::csv, QStringLiteral("trajectory"),
                                         QStringLiteral("trajectory"));
    if (!name.isEmpty()) {
        export_trajectory_csv(name);
    }
}

void AnalysisWindow::tell(const QString& text) {
    status_->setText(text);
}

}  // namespace quobel::windows::qt
