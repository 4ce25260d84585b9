// The analysis window.
#include "windows/qt/analysis_window.hpp"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSize>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/boundary_exponents.hpp"
#include "model/number_text.hpp"
#include "storage/text_file.hpp"
#include "storage/trajectory_csv.hpp"

namespace quobel::windows::qt {

namespace {

using analysis::LongRunEnd;
using analysis::LongRunResult;

// Room for a PNG of a chart: beyond this an image takes gigabytes.
constexpr int largest_image_side = 16384;

QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Enough digits to compare exponents and averages, without the noise of all 17. Shares drawn at
// random are single-precision values, so they take 7 digits: 0.274, not 0.27399999.
QString number_text(double value, int digits = 8) {
    if (std::isnan(value)) {
        return QStringLiteral("undefined");
    }
    if (std::isinf(value)) {
        return value > 0 ? QStringLiteral("infinite") : QStringLiteral("minus infinite");
    }
    return QString::number(value, 'g', digits);
}

constexpr int share_digits = 7;

QString count_text(std::int64_t count) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(count));
}

QTableWidget* make_table(QWidget* parent) {
    auto* table = new QTableWidget(parent);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return table;
}

void set_cell(QTableWidget& table, int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                       : Qt::AlignRight | Qt::AlignVCenter);
    table.setItem(row, column, item);
}

QSpinBox* make_count_box(QWidget* parent, int lowest, int highest, int value, int step) {
    auto* box = new QSpinBox(parent);
    box->setRange(lowest, highest);
    box->setValue(value);
    box->setSingleStep(step);
    box->setGroupSeparatorShown(true);
    return box;
}

// Whether two model states hold the same system, whatever their current points.
bool same_parameters(const model::ModelState& a, const model::ModelState& b) {
    return a.num_maps == b.num_maps && a.num_stocks == b.num_stocks && a.prob == b.prob &&
           a.R == b.R && a.la1 == b.la1 && a.la2 == b.la2;
}

// An axis range around values that may all be equal.
std::pair<double, double> padded_range(double lowest, double highest) {
    const double margin = std::max((highest - lowest) * 0.05, 0.01);
    return {lowest - margin, highest + margin};
}

// Writes as every other file of the program is written, so a failure leaves any earlier file.
QString save_whole(const QString& name, const QByteArray& bytes) {
    const storage::FileOutcome outcome = storage::replace_file(
        QFile::encodeName(name).toStdString(),
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    return QString::fromStdString(outcome.reason);
}

}  // namespace

// The run and everything its thread touches; the window reads the result only after the queued
// signal, which the thread sends as its last act.
struct AnalysisWindow::Job {
    Job(const model::ModelState& model, const analysis::LongRunSettings& settings)
        : parameters(model), run(model, model.current_r.value(), settings) {}

    model::ModelState parameters;
    analysis::LongRun run;
    analysis::LongRunControl control;
    LongRunResult result;
};

AnalysisWindow::AnalysisWindow(const ProgramState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state) {
    setObjectName(QStringLiteral("AnalysisWindow"));
    setWindowTitle(QStringLiteral("Analysis"));

    auto* top = new QHBoxLayout;
    top->addWidget(make_boundary_box(), 3);
    top->addWidget(make_run_box(), 2);
    auto* charts = new QHBoxLayout;
    charts->addWidget(make_chart_box(Chart::histogram));
    charts->addWidget(make_chart_box(Chart::time_series));

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(charts, 1);
    layout->addWidget(status_);

    progress_timer_ = new QTimer(this);
    progress_timer_->setInterval(50);
    connect(progress_timer_, &QTimer::timeout, this, &AnalysisWindow::show_progress);
    connect(this, &AnalysisWindow::worker_done, this, &AnalysisWindow::take_result,
            Qt::QueuedConnection);
    refresh();
    // Room for the three map rows and the portfolio table without scrolling.
    resize(sizeHint().expandedTo(QSize(980, 820)));
}

AnalysisWindow::~AnalysisWindow() {
    if (job_) {
        job_->control.cancel = true;
        worker_.join();
    }
}

QWidget* AnalysisWindow::make_boundary_box() {
    auto* box = new QGroupBox(QStringLiteral("Survival at the boundaries"), this);
    lambda_0_ = new QLabel(box);
    lambda_1_ = new QLabel(box);
    verdict_ = new QLabel(box);
    QFont bold = verdict_->font();
    bold.setBold(true);
    verdict_->setFont(bold);
    flags_ = new QLabel(box);
    flags_->setTextFormat(Qt::PlainText);
    flags_->setWordWrap(true);
    QPalette warning = flags_->palette();
    warning.setColor(QPalette::WindowText, QColor(176, 0, 0));
    flags_->setPalette(warning);
    terms_ = make_table(box);
    portfolios_ = make_table(box);

    auto* exponents = new QFormLayout;
    exponents->addRow(QStringLiteral("Lambda_0 (investor 1 rare):"), lambda_0_);
    exponents->addRow(QStringLiteral("Lambda_1 (investor 2 rare):"), lambda_1_);
    exponents->addRow(QStringLiteral("Verdict:"), verdict_);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(exponents);
    layout->addWidget(flags_);
    layout->addWidget(terms_);
    layout->addWidget(portfolios_);
    return box;
}

QWidget* AnalysisWindow::make_run_box() {
    auto* box = new QGroupBox(QStringLiteral("Run"), this);
    steps_ = make_count_box(box, 1, static_cast<int>(analysis::max_long_run_steps),
                            static_cast<int>(analysis::default_long_run_steps), 100'000);
    burn_in_ = make_count_box(box, 0, static_cast<int>(analysis::max_long_run_steps),
                              static_cast<int>(analysis::LongRunSettings{}.burn_in), 1000);
    seed_ = make_count_box(box, 0, std::numeric_limits<int>::max(), 1, 1);
    seed_->setGroupSeparatorShown(false);
    bins_ = make_count_box(box, 1, 1000, analysis::LongRunSettings{}.bins, 10);
    steps_->setToolTip(QStringLiteral("Steps from the current point, without drawing"));
    burn_in_->setToolTip(
        QStringLiteral("Steps left out of the histogram, the average and the exponent"));
    seed_->setToolTip(
        QStringLiteral("Seed of the run's own generator; the main window's draws are not touched"));

    run_ = new QPushButton(QStringLiteral("Run"), box);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), box);
    cancel_->setEnabled(false);
    progress_ = new QProgressBar(box);
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    statistics_ = new QLabel(box);
    statistics_->setTextFormat(Qt::PlainText);
    stale_ = new QLabel(QStringLiteral("The parameters have changed since this run."), box);
    stale_->setVisible(false);
    draws_ = make_table(box);
    export_csv_ = new QPushButton(QStringLiteral("Export trajectory as CSV..."), box);
    export_csv_->setEnabled(false);

    auto* settings = new QFormLayout;
    settings->addRow(QStringLiteral("Steps:"), steps_);
    settings->addRow(QStringLiteral("Burn-in:"), burn_in_);
    settings->addRow(QStringLiteral("Seed:"), seed_);
    settings->addRow(QStringLiteral("Histogram bins:"), bins_);
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

    // At least one step is left after the burn-in, so that a run always has statistics.
    burn_in_->setMaximum(steps_->value() - 1);
    connect(steps_, &QSpinBox::valueChanged, this,
            [this](int steps) { burn_in_->setMaximum(steps - 1); });
    connect(run_, &QPushButton::clicked, this, &AnalysisWindow::start_run);
    connect(cancel_, &QPushButton::clicked, this, &AnalysisWindow::cancel_run);
    connect(export_csv_, &QPushButton::clicked, this, &AnalysisWindow::ask_csv);
    return box;
}

QWidget* AnalysisWindow::make_chart_box(Chart which) {
    const bool histogram = which == Chart::histogram;
    ChartParts& chart_parts = charts_[static_cast<std::size_t>(which)];
    auto* chart = new QChart;
    chart->setTitle(histogram ? QStringLiteral("Density of r after the burn-in")
                              : QStringLiteral("The last 1000 steps"));
    chart->legend()->hide();
    chart_parts.series = new QLineSeries(chart);
    chart->addSeries(chart_parts.series);
    chart_parts.x = new QValueAxis(chart);
    chart_parts.y = new QValueAxis(chart);
    chart_parts.x->setTitleText(histogram ? QStringLiteral("r") : QStringLiteral("step"));
    chart_parts.y->setTitleText(histogram ? QStringLiteral("density") : QStringLiteral("r"));
    chart_parts.x->setRange(0, 1);
    chart_parts.y->setRange(0, 1);
    if (!histogram) {
        chart_parts.x->setLabelFormat(QStringLiteral("%.0f"));
    }
    chart->addAxis(chart_parts.x, Qt::AlignBottom);
    chart->addAxis(chart_parts.y, Qt::AlignLeft);
    chart_parts.series->attachAxis(chart_parts.x);
    chart_parts.series->attachAxis(chart_parts.y);

    auto* box = new QWidget(this);
    chart_parts.view = new QChartView(chart, box);
    chart_parts.view->setRenderHint(QPainter::Antialiasing);
    chart_parts.view->setMinimumSize(380, 260);
    auto* png = new QPushButton(QStringLiteral("Export as PNG..."), box);
    auto* svg = new QPushButton(QStringLiteral("Export as SVG..."), box);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    if (histogram) {
        // One scale serves both charts; it sits with the first of them.
        png_scale_ = new QDoubleSpinBox(box);
        png_scale_->setRange(0.25, 8);
        png_scale_->setSingleStep(0.5);
        png_scale_->setValue(1);
        png_scale_->setPrefix(QStringLiteral("PNG scale "));
        png_scale_->setToolTip(QStringLiteral("1 gives the chart's resolution on the screen"));
        buttons->addWidget(png_scale_);
    }
    buttons->addWidget(png);
    buttons->addWidget(svg);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart_parts.view, 1);
    layout->addLayout(buttons);
    connect(png, &QPushButton::clicked, this, [this, which] { ask_chart(which, false); });
    connect(svg, &QPushButton::clicked, this, [this, which] { ask_chart(which, true); });
    return box;
}

void AnalysisWindow::refresh() {
    const model::ModelState& model = state_.model;
    const analysis::BoundaryExponents exponents = analysis::boundary_exponents(model);
    const int maps = exponents.maps.count;
    stale_->setVisible(result_ && !same_parameters(model, run_model_));

    terms_->clear();
    portfolios_->clear();
    if (maps == 0) {
        lambda_0_->setText(QStringLiteral("-"));
        lambda_1_->setText(QStringLiteral("-"));
        verdict_->setText(QStringLiteral("no map in use"));
        flags_->setText(QStringLiteral("The map count is %1; the iteration uses 1, 2 or 3 maps.")
                            .arg(from_utf8(model::general_text(model.num_maps))));
        flags_->setVisible(true);
        terms_->setRowCount(0);
        terms_->setColumnCount(0);
        portfolios_->setRowCount(0);
        portfolios_->setColumnCount(0);
        return;
    }
    lambda_0_->setText(number_text(exponents.lambda_0));
    lambda_1_->setText(number_text(exponents.lambda_1));
    verdict_->setText(from_utf8(analysis::verdict_text(exponents.verdict)));
    QStringList flags;
    for (const analysis::Flag& flag : exponents.flags) {
        flags << from_utf8(flag.text);
    }
    flags_->setText(flags.join(QLatin1Char('\n')));
    flags_->setVisible(!flags.isEmpty());

    terms_->setColumnCount(8);
    terms_->setHorizontalHeaderLabels({QStringLiteral("Map"), QStringLiteral("prob"),
                                       QStringLiteral("Chance"), QStringLiteral("tau'(0)"),
                                       QStringLiteral("log tau'(0)"), QStringLiteral("tau'(1)"),
                                       QStringLiteral("log tau'(1)"), QStringLiteral("Sum of R")});
    terms_->setRowCount(maps);
    for (int row = 0; row < maps; ++row) {
        const analysis::MapTerms& terms = exponents.terms[static_cast<std::size_t>(row)];
        set_cell(*terms_, row, 0, QString::number(terms.map));
        set_cell(*terms_, row, 1, number_text(model.prob(terms.map)));
        set_cell(*terms_, row, 2, number_text(terms.chance));
        set_cell(*terms_, row, 3, number_text(terms.slope_at_0));
        set_cell(*terms_, row, 4, number_text(terms.log_slope_at_0));
        set_cell(*terms_, row, 5, number_text(terms.slope_at_1));
        set_cell(*terms_, row, 6, number_text(terms.log_slope_at_1));
        set_cell(*terms_, row, 7, number_text(terms.share_sum));
    }

    // The Kelly portfolio first, then each map's portfolios of the two investors beside it.
    const int stocks = exponents.stocks;
    portfolios_->setColumnCount(stocks + 1);
    QStringList headers{QStringLiteral("Portfolio")};
    for (int k = 1; k <= stocks; ++k) {
        headers << QStringLiteral("Stock %1").arg(k);
    }
    portfolios_->setHorizontalHeaderLabels(headers);
    portfolios_->setRowCount(1 + 2 * maps);
    set_cell(*portfolios_, 0, 0, QStringLiteral("Kelly"));
    for (int k = 1; k <= stocks; ++k) {
        set_cell(*portfolios_, 0, k,
                 number_text(exponents.kelly[static_cast<std::size_t>(k - 1)], share_digits));
    }
    for (int s = 1; s <= maps; ++s) {
        const int row = 2 * s - 1;
        set_cell(*portfolios_, row, 0, QStringLiteral("la1, map %1").arg(s));
        set_cell(*portfolios_, row + 1, 0, QStringLiteral("la2, map %1").arg(s));
        for (int k = 1; k <= stocks; ++k) {
            set_cell(*portfolios_, row, k, number_text(model.la1(s, k).value(), share_digits));
            set_cell(*portfolios_, row + 1, k, number_text(model.la2(s, k), share_digits));
        }
    }
}

void AnalysisWindow::start_run() {
    if (job_) {
        return;
    }
    analysis::LongRunSettings settings;
    settings.steps = steps_->value();
    settings.burn_in = burn_in_->value();
    settings.seed = static_cast<std::uint64_t>(seed_->value());
    settings.bins = bins_->value();
    job_ = std::make_unique<Job>(state_.model, settings);
    run_->setEnabled(false);
    cancel_->setEnabled(true);
    progress_->setValue(0);
    tell(QStringLiteral("Running %1 steps from r = %2...")
             .arg(count_text(job_->run.settings().steps),
                  from_utf8(model::general_text(state_.model.current_r))));
    progress_timer_->start();
    Job* job = job_.get();
    worker_ = std::thread([this, job] {
        job->result = job->run.run(job->control);
        emit worker_done(QPrivateSignal());
    });
}

void AnalysisWindow::cancel_run() {
    if (job_) {
        job_->control.cancel = true;
        cancel_->setEnabled(false);
    }
}

void AnalysisWindow::show_progress() {
    if (!job_) {
        return;
    }
    const auto steps = job_->run.settings().steps;
    const auto done = job_->control.steps_done.load(std::memory_order_relaxed);
    progress_->setValue(steps == 0 ? 1000 : static_cast<int>(done * 1000 / steps));
}

void AnalysisWindow::take_result() {
    if (!job_) {
        return;
    }
    // The signal is the thread's last act, so this wait is over at once.
    worker_.join();
    result_ = std::move(job_->result);
    run_model_ = job_->parameters;
    run_settings_ = job_->run.settings();
    const auto steps = run_settings_.steps;
    job_.reset();
    progress_timer_->stop();
    progress_->setValue(steps == 0 ? 1000 : static_cast<int>(result_->steps_taken * 1000 / steps));
    run_->setEnabled(true);
    cancel_->setEnabled(false);
    show_result();
    emit run_finished();
}

void AnalysisWindow::show_result() {
    const LongRunResult& result = *result_;
    stale_->setVisible(!same_parameters(state_.model, run_model_));
    export_csv_->setEnabled(!result.last_steps.empty());
    switch (result.end) {
        case LongRunEnd::finished:
            tell(QStringLiteral("Finished: %1 steps.").arg(count_text(result.steps_taken)));
            break;
        case LongRunEnd::cancelled:
            tell(QStringLiteral("Cancelled after %1 steps.").arg(count_text(result.steps_taken)));
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

    QString statistics = QStringLiteral("From r = %1 with seed %2; %3 steps after the burn-in.\n")
                             .arg(number_text(result.start))
                             .arg(run_settings_.seed)
                             .arg(count_text(result.recorded));
    statistics += QStringLiteral("Time average of r: %1\n").arg(number_text(result.mean_r));
    statistics +=
        QStringLiteral("Lyapunov exponent of the orbit: %1").arg(number_text(result.lyapunov));
    if (result.below + result.above > 0) {
        statistics += QStringLiteral("\nPoints outside [0, 1]: %1 below, %2 above")
                          .arg(count_text(result.below), count_text(result.above));
    }
    statistics_->setText(statistics);

    const int maps = result.maps.count;
    draws_->clear();
    draws_->setColumnCount(5);
    draws_->setHorizontalHeaderLabels({QStringLiteral("Map"), QStringLiteral("Drawn"),
                                       QStringLiteral("Share"), QStringLiteral("Chance"),
                                       QStringLiteral("prob")});
    draws_->setRowCount(maps);
    for (int s = 1; s <= maps; ++s) {
        const auto i = static_cast<std::size_t>(s - 1);
        const double share = result.steps_taken == 0 ? std::numeric_limits<double>::quiet_NaN()
                                                     : static_cast<double>(result.draws[i]) /
                                                           static_cast<double>(result.steps_taken);
        set_cell(*draws_, s - 1, 0, QString::number(s));
        set_cell(*draws_, s - 1, 1, count_text(result.draws[i]));
        set_cell(*draws_, s - 1, 2, number_text(share));
        set_cell(*draws_, s - 1, 3, number_text(result.maps.chance[i]));
        set_cell(*draws_, s - 1, 4, number_text(run_model_.prob(s)));
    }

    // The density as steps: each bin's height from its left edge to its right edge.
    const std::vector<double> density = result.density();
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(2 * density.size()));
    double highest = 0;
    const double width = 1.0 / static_cast<double>(density.size());
    for (std::size_t i = 0; i < density.size(); ++i) {
        points.append({static_cast<double>(i) * width, density[i]});
        points.append({static_cast<double>(i + 1) * width, density[i]});
        highest = std::max(highest, density[i]);
    }
    const ChartParts& histogram = parts(Chart::histogram);
    histogram.series->replace(points);
    histogram.y->setRange(0, highest > 0 ? highest * 1.05 : 1);

    points.clear();
    double lowest_r = std::numeric_limits<double>::infinity();
    double highest_r = -lowest_r;
    for (const analysis::TrajectoryPoint& point : result.last_steps) {
        points.append({static_cast<double>(point.step), point.r});
        lowest_r = std::min(lowest_r, point.r);
        highest_r = std::max(highest_r, point.r);
    }
    const ChartParts& time = parts(Chart::time_series);
    time.series->replace(points);
    if (!result.last_steps.empty()) {
        time.x->setRange(static_cast<double>(result.last_steps.front().step),
                         static_cast<double>(result.last_steps.back().step));
        const auto [low, high] = padded_range(lowest_r, highest_r);
        time.y->setRange(low, high);
    }
}

bool AnalysisWindow::export_chart_png(Chart chart, const QString& name, double scale) {
    QChartView& view = *parts(chart).view;
    const double factor = view.devicePixelRatioF() * scale;
    const double longest = factor * std::max(view.width(), view.height());
    // Checked before any size is formed, so that no scale can overflow it.
    if (!(longest >= 1 && longest <= largest_image_side)) {
        tell(QStringLiteral("The chart cannot be exported at the scale %1: it would be %2 pixels "
                            "wide or high, and at most %3 fit.")
                 .arg(scale)
                 .arg(longest)
                 .arg(largest_image_side));
        return false;
    }
    const QSize size = (QSizeF(view.size()) * factor).toSize();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(factor);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        view.render(&painter);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    if (const QString failure = save_whole(name, bytes); !failure.isEmpty()) {
        tell(QStringLiteral("Cannot write %1: %2").arg(name, failure));
        return false;
    }
    tell(QStringLiteral("Saved the chart as %1 (%2 x %3 pixels).")
             .arg(name)
             .arg(size.width())
             .arg(size.height()));
    return true;
}

bool AnalysisWindow::export_chart_svg(Chart chart, const QString& name) {
    QChartView& view = *parts(chart).view;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(view.size());
    generator.setViewBox(QRect(QPoint(0, 0), view.size()));
    generator.setTitle(view.chart()->title());
    {
        QPainter painter(&generator);
        view.render(&painter);
    }
    if (const QString failure = save_whole(name, bytes); !failure.isEmpty()) {
        tell(QStringLiteral("Cannot write %1: %2").arg(name, failure));
        return false;
    }
    tell(QStringLiteral("Saved the chart as %1.").arg(name));
    return true;
}

bool AnalysisWindow::export_trajectory_csv(const QString& name) {
    if (!result_ || result_->last_steps.empty()) {
        tell(QStringLiteral("There is no trajectory to export: run first."));
        return false;
    }
    const storage::FileOutcome outcome =
        storage::save_trajectory_csv(result_->last_steps, QFile::encodeName(name).toStdString());
    if (!outcome.ok) {
        tell(from_utf8(outcome.reason));
        return false;
    }
    tell(QStringLiteral("Saved the last %1 steps as %2.")
             .arg(count_text(static_cast<std::int64_t>(result_->last_steps.size())), name));
    return true;
}

void AnalysisWindow::ask_chart(Chart chart, bool svg) {
    const QString suggested =
        chart == Chart::histogram ? QStringLiteral("density") : QStringLiteral("steps");
    const QString name =
        svg ? QFileDialog::getSaveFileName(this, QStringLiteral("Export chart as SVG"),
                                           suggested + QStringLiteral(".svg"),
                                           QStringLiteral("SVG images (*.svg)"))
            : QFileDialog::getSaveFileName(this, QStringLiteral("Export chart as PNG"),
                                           suggested + QStringLiteral(".png"),
                                           QStringLiteral("PNG images (*.png)"));
    if (name.isEmpty()) {
        return;
    }
    if (svg) {
        export_chart_svg(chart, name);
    } else {
        export_chart_png(chart, name, png_scale_->value());
    }
}

void AnalysisWindow::ask_csv() {
    const QString name = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export trajectory as CSV"), QStringLiteral("trajectory.csv"),
        QStringLiteral("CSV files (*.csv)"));
    if (!name.isEmpty()) {
        export_trajectory_csv(name);
    }
}

void AnalysisWindow::tell(const QString& text) {
    status_->setText(text);
}

}  // namespace quobel::windows::qt
