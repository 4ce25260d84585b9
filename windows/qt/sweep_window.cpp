// The Sweep window.
#include "windows/qt/sweep_window.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "storage/text_file.hpp"
#include "sweep/sweep_csv.hpp"
#include "windows/exports.hpp"
#include "windows/qt/controls.hpp"
#include "windows/qt/image_export.hpp"

namespace quobel::windows::qt {

namespace {

const QString no_second = QStringLiteral("(none)");

enum Export { png, svg, csv };

QDoubleSpinBox* make_value_box(QWidget* parent, double value) {
    auto* box = new QDoubleSpinBox(parent);
    box->setDecimals(6);
    box->setRange(-1000, 1000);
    box->setSingleStep(0.05);
    box->setValue(value);
    return box;
}

QString seconds_text(std::chrono::steady_clock::duration elapsed) {
    return QString::number(std::chrono::duration<double>(elapsed).count(), 'f', 2);
}

}  // namespace

SweepWindow::SweepWindow(Events& events, QWidget* parent)
    : QWidget(parent, Qt::Window), events_(events), job_(new SweepJob(this)) {
    setObjectName(QStringLiteral("SweepWindow"));
    setWindowTitle(QStringLiteral("Sweep"));

    plot_ = new SweepPlot(results_, this);
    point_ = new QLabel(this);
    point_->setObjectName(QStringLiteral("Point"));
    point_->setTextFormat(Qt::PlainText);
    point_->setWordWrap(true);
    point_->setMinimumHeight(2 * point_->fontMetrics().lineSpacing());
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(make_settings());
    auto* right = new QVBoxLayout;
    right->addWidget(plot_, 1);
    right->addWidget(point_);
    right->addWidget(status_);
    layout->addLayout(right, 1);

    connect(job_, &SweepJob::progressed, this, &SweepWindow::take_points);
    connect(job_, &SweepJob::ended, this, &SweepWindow::sweep_ended);
    connect(plot_, &SweepPlot::hovered, point_, &QLabel::setText);
    connect(plot_, &SweepPlot::chosen, this, &SweepWindow::choose);
    fill_parameter_lists();
    resize(sizeHint().expandedTo(QSize(1100, 700)));
}

// The job, a child, cancels a sweep under way and waits for its threads.
SweepWindow::~SweepWindow() = default;

QLayout* SweepWindow::make_axes(QWidget* box) {
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("From"), box), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("To"), box), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Values"), box), 0, 3);
    const std::array<QString, 2> captions{QStringLiteral("Across:"), QStringLiteral("Up:")};
    for (std::size_t a = 0; a < 2; ++a) {
        names_[a] = new QComboBox(box);
        names_[a]->setObjectName(QStringLiteral("Parameter%1").arg(a + 1));
        from_[a] = make_value_box(box, 0.01);
        to_[a] = make_value_box(box, 0.99);
        count_[a] = make_count_box(box, 1, static_cast<int>(max_line_count), 99);
        auto* name = new QVBoxLayout;
        name->addWidget(new QLabel(captions[a], box));
        name->addWidget(names_[a]);
        grid->addLayout(name, static_cast<int>(a) + 1, 0);
        grid->addWidget(from_[a], static_cast<int>(a) + 1, 1, Qt::AlignBottom);
        grid->addWidget(to_[a], static_cast<int>(a) + 1, 2, Qt::AlignBottom);
        grid->addWidget(count_[a], static_cast<int>(a) + 1, 3, Qt::AlignBottom);
        connect(names_[a], &QComboBox::currentIndexChanged, this, [this] { show_mode(); });
    }
    names_[0]->setToolTip(QStringLiteral("The parameter along the horizontal axis"));
    names_[1]->setToolTip(
        QStringLiteral("A second parameter makes a plane: the survival atlas of exact verdicts"));
    return grid;
}

QLayout* SweepWindow::make_run_settings(QWidget* box) {
    const analysis::LongRunSettings defaults;
    steps_ = make_count_box(box, 0, 10'000'000, 100'000, 10'000);
    steps_->setToolTip(QStringLiteral("Steps of each value's long run; 0 for the exponents alone"));
    burn_in_ = make_count_box(box, 0, 10'000'000, 1'000, 1'000);
    seed_ = make_count_box(box, 0, std::numeric_limits<int>::max(), 1);
    seed_->setGroupSeparatorShown(false);
    seed_->setToolTip(QStringLiteral(
        "Each value's run is the chain of this seed numbered by its place in the grid"));
    bins_ = make_count_box(box, 1, 1000, defaults.bins);
    start_ = new QDoubleSpinBox(box);
    start_->setDecimals(6);
    start_->setRange(0, 1);
    start_->setSingleStep(0.1);
    start_->setValue(0.5);
    auto* run = new QGridLayout;
    const std::array<std::pair<QString, QWidget*>, 5> rows{{{QStringLiteral("Steps:"), steps_},
                                                            {QStringLiteral("Burn-in:"), burn_in_},
                                                            {QStringLiteral("Seed:"), seed_},
                                                            {QStringLiteral("Bins of r:"), bins_},
                                                            {QStringLiteral("Start r:"), start_}}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        run->addWidget(new QLabel(rows[i].first, box), static_cast<int>(i), 0);
        run->addWidget(rows[i].second, static_cast<int>(i), 1);
    }
    return run;
}

void SweepWindow::make_actions(QWidget* box) {
    log_odds_ = new QCheckBox(QStringLiteral("Log-odds up the side"), box);
    log_odds_->setToolTip(
        QStringLiteral("Show log(r / (1 - r)) instead of r, to see a run close "
                       "to a boundary"));
    recompute_ = new QCheckBox(QStringLiteral("Recompute when the parameters change"), box);
    sweep_ = new QPushButton(QStringLiteral("Sweep"), box);
    sweep_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), box);
    cancel_->setEnabled(false);
    progress_ = make_progress_bar(box);
    stale_ = new QLabel(QStringLiteral("The parameters have changed since this sweep."), box);
    stale_->setWordWrap(true);
    stale_->setVisible(false);
    use_ = new QPushButton(QStringLiteral("Use this point"), box);
    use_->setToolTip(
        QStringLiteral("Writes the clicked point's values into the main window's "
                       "fields; \"Recalculate !!!\" applies them"));
    use_->setEnabled(false);

    connect(sweep_, &QPushButton::clicked, this, &SweepWindow::start_sweep);
    connect(cancel_, &QPushButton::clicked, this, &SweepWindow::cancel_sweep);
    connect(use_, &QPushButton::clicked, this, &SweepWindow::use_point);
    connect(log_odds_, &QCheckBox::toggled, this,
            [this](bool on) { plot_->set_rows(on ? LineRows::log_odds : LineRows::r); });
}

QWidget* SweepWindow::make_settings() {
    auto* box = new QGroupBox(QStringLiteral("Sweep"), this);
    QLayout* grid = make_axes(box);
    QLayout* run = make_run_settings(box);
    make_actions(box);

    const std::array<QString, 3> export_captions{QStringLiteral("PNG..."), QStringLiteral("SVG..."),
                                                 QStringLiteral("CSV...")};
    auto* exports = new QHBoxLayout;
    for (std::size_t i = 0; i < exports_.size(); ++i) {
        exports_[i] = new QPushButton(export_captions[i], box);
        exports_[i]->setEnabled(false);
        exports->addWidget(exports_[i]);
        connect(exports_[i], &QPushButton::clicked, this,
                [this, i] { ask_export(static_cast<int>(i)); });
    }
    exports_[csv]->setToolTip(
        QStringLiteral("The files quobel-cli sweep writes for these settings: the CSV, and "
                       "its settings beside it (.json)"));
    png_scale_ = make_png_scale_box(box);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(sweep_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(grid);
    layout->addLayout(run);
    layout->addWidget(log_odds_);
    layout->addWidget(recompute_);
    layout->addLayout(buttons);
    layout->addWidget(progress_);
    layout->addWidget(stale_);
    layout->addWidget(use_);
    layout->addWidget(new QLabel(QStringLiteral("Export:"), box));
    layout->addLayout(exports);
    layout->addWidget(png_scale_);
    layout->addStretch();
    return box;
}

void SweepWindow::fill_parameter_lists() {
    const std::vector<std::string> names = sweep_parameter_names(events_.state().model);
    for (std::size_t a = 0; a < 2; ++a) {
        QComboBox* box = names_[a];
        const QString kept = box->currentText();
        const QSignalBlocker quiet(box);
        box->clear();
        if (a == 1) {
            box->addItem(no_second);
        }
        for (const std::string& name : names) {
            box->addItem(from_utf8(name));
        }
        // The choice stays when the model still has it; a fresh list starts at la1(1,1).
        const int index =
            box->findText(kept.isEmpty() && a == 0 ? QStringLiteral("la1(1,1)") : kept);
        box->setCurrentIndex(std::max(index, 0));
    }
    show_mode();
}

void SweepWindow::show_mode() {
    const bool plane = names_[1]->currentIndex() > 0;
    // A plane is the exact atlas: no runs.
    for (QWidget* box : {static_cast<QWidget*>(steps_), static_cast<QWidget*>(burn_in_),
                         static_cast<QWidget*>(seed_), static_cast<QWidget*>(bins_),
                         static_cast<QWidget*>(start_), static_cast<QWidget*>(log_odds_)}) {
        box->setEnabled(!plane);
    }
    for (QWidget* box : {static_cast<QWidget*>(from_[1]), static_cast<QWidget*>(to_[1]),
                         static_cast<QWidget*>(count_[1])}) {
        box->setEnabled(plane);
    }
    count_[0]->setMaximum(static_cast<int>(plane ? max_plane_count : max_line_count));
    count_[1]->setMaximum(static_cast<int>(max_plane_count));
}

sweep::SweepSettings SweepWindow::settings() const {
    sweep::SweepSettings settings;
    for (std::size_t a = 0; a < 2; ++a) {
        if (a == 1 && names_[1]->currentIndex() <= 0) {
            break;
        }
        const auto name = sweep::parse_parameter_name(names_[a]->currentText().toStdString());
        if (!name) {
            break;
        }
        settings.axes.push_back({*name, from_[a]->value(), to_[a]->value(), count_[a]->value()});
    }
    const bool plane = settings.axes.size() == 2;
    settings.run.steps = plane ? 0 : steps_->value();
    // As quobel-cli takes them: no burn-in without a run, and one that takes the whole run as the
    // user gave it, for sweep_refusal to refuse.
    settings.run.burn_in = settings.run.steps > 0 ? burn_in_->value() : 0;
    settings.run.seed = static_cast<std::uint64_t>(seed_->value());
    settings.run.bins = bins_->value();
    settings.start = start_->value();
    settings.log_odds = !plane;
    return settings;
}

void SweepWindow::start_sweep() {
    if (job_->running()) {
        job_->cancel();
    }
    const model::ModelState& model = events_.state().model;
    const sweep::SweepSettings settings = this->settings();
    if (const std::string refusal = sweep_refusal(model, settings); !refusal.empty()) {
        tell(from_utf8(refusal));
        return;
    }
    results_ = SweepResults(model, settings);
    chosen_.reset();
    plot_->reset();
    plot_->set_marks(results_.marks(model));
    stale_->setVisible(false);
    use_->setEnabled(false);
    for (QPushButton* button : exports_) {
        button->setEnabled(false);
    }
    progress_->setValue(0);
    started_ = std::chrono::steady_clock::now();
    job_->start(model, settings);
    cancel_->setEnabled(true);
    tell(QStringLiteral("Sweeping %1 points...").arg(results_.size()));
}

void SweepWindow::cancel_sweep() {
    job_->cancel();
}

void SweepWindow::take_points() {
    const std::int64_t first = results_.done();
    for (const sweep::PointResult& point : job_->take_points()) {
        results_.add(point);
    }
    if (results_.done() > first) {
        plot_->extend(first, results_.done());
    }
    if (results_.size() > 0) {
        progress_->setValue(static_cast<int>(results_.done() * 1000 / results_.size()));
    }
}

void SweepWindow::sweep_ended(bool complete) {
    take_points();
    cancel_->setEnabled(false);
    for (QPushButton* button : exports_) {
        button->setEnabled(true);
    }
    // Only a whole sweep has the CSV that quobel-cli writes.
    exports_[csv]->setEnabled(complete);
    const QString seconds = seconds_text(std::chrono::steady_clock::now() - started_);
    tell(complete ? QStringLiteral("%1 points in %2 s.").arg(results_.size()).arg(seconds)
                  : QStringLiteral("Cancelled after %1 of %2 points.")
                        .arg(results_.done())
                        .arg(results_.size()));
    emit sweep_finished();
}

void SweepWindow::parameters_changed() {
    fill_parameter_lists();
    const model::ModelState& model = events_.state().model;
    plot_->set_marks(results_.marks(model));
    if (results_.empty()) {
        return;
    }
    if (recompute_->isChecked()) {
        start_sweep();
        return;
    }
    stale_->setVisible(!model::same_parameters(model, results_.parameters()));
}

void SweepWindow::choose(std::int64_t index) {
    chosen_ = index;
    plot_->set_chosen(index);
    use_->setEnabled(true);
}

void SweepWindow::use_point() {
    if (!chosen_ || *chosen_ >= results_.done()) {
        tell(QStringLiteral("Click a point of the picture first."));
        return;
    }
    const auto values = results_.values(*chosen_);
    const std::string refusal = events_.enter_values(values);
    if (!refusal.empty()) {
        tell(from_utf8(refusal));
        return;
    }
    QString written;
    for (const auto& [name, value] : values) {
        written += (written.isEmpty() ? QString() : QStringLiteral(", ")) +
                   from_utf8(sweep::parameter_name_text(name) + " = " + sweep::number_text(value));
    }
    tell(QStringLiteral("Written into the main window: %1. \"Recalculate !!!\" there applies it.")
             .arg(written));
}

bool SweepWindow::export_png(const QString& name, double scale) {
    const QSize size = plot_->size();
    // Checked before any size is formed, so that no scale can overflow it.
    const std::string refusal = image_size_refusal(size.width() * scale, size.height() * scale);
    if (!refusal.empty()) {
        tell(from_utf8(refusal));
        return false;
    }
    const QSize pixels(static_cast<int>(size.width() * scale),
                       static_cast<int>(size.height() * scale));
    QImage image(pixels, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        painter.scale(scale, scale);
        plot_->paint_picture(painter, size);
    }
    const std::optional<QByteArray> bytes = png_bytes(image);
    if (!bytes) {
        tell(QStringLiteral("The picture could not be encoded as PNG."));
        return false;
    }
    const storage::FileOutcome outcome = save_image_bytes(name, *bytes);
    tell(outcome.ok ? QStringLiteral("Saved %1.").arg(name) : from_utf8(outcome.reason));
    return outcome.ok;
}

bool SweepWindow::export_svg(const QString& name) {
    const QSize size = plot_->size();
    const QByteArray bytes =
        svg_bytes(size, QStringLiteral("Quobel sweep"),
                  [&](QPainter& painter) { plot_->paint_picture(painter, size); });
    const storage::FileOutcome outcome = save_image_bytes(name, bytes);
    tell(outcome.ok ? QStringLiteral("Saved %1.").arg(name) : from_utf8(outcome.reason));
    return outcome.ok;
}

bool SweepWindow::export_csv(const QString& name) {
    if (!results_.complete()) {
        tell(
            QStringLiteral("Only a complete sweep has a CSV file: press Sweep and let it finish."));
        return false;
    }
    const std::string csv = results_.csv();
    const storage::FileOutcome outcome = sweep::save_sweep(
        QFile::encodeName(name).toStdString(), [&csv](const storage::TextPieces& put) { put(csv); },
        results_.settings_json());
    tell(outcome.ok ? QStringLiteral("Saved %1.").arg(name) : from_utf8(outcome.reason));
    return outcome.ok;
}

void SweepWindow::ask_export(int kind) {
    static constexpr std::array<ExportFile, 3> files{ExportFile::png, ExportFile::svg,
                                                     ExportFile::csv};  // by Export
    const QString name = ask_export_name(*this, files[static_cast<std::size_t>(kind)],
                                         QStringLiteral("sweep"), QStringLiteral("sweep"));
    if (name.isEmpty()) {
        return;
    }
    if (kind == png) {
        export_png(name, png_scale_->value());
    } else if (kind == svg) {
        export_svg(name);
    } else {
        export_csv(name);
    }
}

void SweepWindow::tell(const QString& text) {
    status_->setText(text);
}

}  // namespace quobel::windows::qt
