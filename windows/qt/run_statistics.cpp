// The figures of a long run as the analysis window shows them.
#include "windows/qt/run_statistics.hpp"

#include <QStringList>
#include <QTableWidget>
#include <array>
#include <cmath>

#include "analysis/chart_data.hpp"
#include "windows/qt/analysis_texts.hpp"

namespace quobel::windows::qt {

namespace {

// "0.5 ± 0.0012", or the value alone when there are too few batches for an error.
QString with_error(double value, double error) {
    if (std::isnan(error)) {
        return number_text(value) + QStringLiteral(" (too few steps for an error)");
    }
    return number_text(value) + QStringLiteral(" \u00b1 ") + number_text(error, 2);
}

// Of several chains, the value with both errors: "0.5 ± 0.0012 by batches, ± 0.0013 between
// chains".
QString with_errors(const analysis::EnsembleResult& ensemble, double value, double error,
                    double chain_error) {
    if (ensemble.chains == 1) {
        return with_error(value, error);
    }
    const auto error_text = [](double e) {
        return std::isnan(e) ? QStringLiteral("no error")
                             : QStringLiteral("\u00b1 ") + number_text(e, 2);
    };
    return number_text(value) + QLatin1Char(' ') + error_text(error) +
           QStringLiteral(" by batches, ") + error_text(chain_error) +
           QStringLiteral(" between chains");
}

QString step_text(std::int64_t step) {
    return step < 0 ? QStringLiteral("never") : QStringLiteral("step %1").arg(count_text(step));
}

}  // namespace

QString statistics_text(const analysis::EnsembleResult& ensemble, std::uint64_t seed) {
    const analysis::LongRunResult& result = ensemble.pooled;
    QStringList lines;
    if (ensemble.chains == 1) {
        lines << QStringLiteral("From r = %1 with seed %2; %3 steps after the burn-in.")
                     .arg(number_text(result.start))
                     .arg(seed)
                     .arg(count_text(result.recorded));
    } else {
        lines << QStringLiteral("From r = %1 with seed %2; %3 chains, %4 steps after the burn-in.")
                     .arg(number_text(result.start))
                     .arg(seed)
                     .arg(ensemble.chains)
                     .arg(count_text(result.recorded));
    }
    QString average = QStringLiteral("Time average of r: %1")
                          .arg(with_errors(ensemble, result.mean_r, result.mean_r_error,
                                           ensemble.mean_r_chain_error));
    if (const std::string note = analysis::ensemble_absorbed_average_note(ensemble);
        !note.empty()) {
        average += QLatin1Char(' ') + QString::fromStdString(note);
    }
    lines << average;
    QString lyapunov = QStringLiteral("Lyapunov exponent of the orbit: %1")
                           .arg(with_errors(ensemble, result.lyapunov, result.lyapunov_error,
                                            ensemble.lyapunov_chain_error));
    if (result.approached >= 0) {
        const auto boundary = static_cast<std::size_t>(result.approached);
        lyapunov += QStringLiteral(", beside Lambda_%1 = %2 of r = %1, which %3")
                        .arg(result.approached)
                        .arg(number_text(result.boundary_lambda[boundary]))
                        .arg(ensemble.chains == 1 ? QStringLiteral("it approached")
                                                  : QStringLiteral("every chain approached"));
    } else if (ensemble.chains == 1) {
        lyapunov += QStringLiteral(" (it ended near neither boundary)");
    } else {
        lyapunov += QStringLiteral(" (not every chain ended near the same boundary)");
    }
    lines << lyapunov;
    if (const std::string warning = analysis::error_bar_warning(result); !warning.empty()) {
        // Right under the errors it doubts, in the words quobel-cli uses for it.
        QString line = QString::fromStdString(warning);
        line[0] = line[0].toUpper();
        lines << line + QStringLiteral(
                            " (batches a quarter as long gave clearly smaller errors, so the "
                            "steps are correlated over longer than a batch).");
    }
    for (std::size_t level = 0; level < analysis::nearness.size(); ++level) {
        lines << QStringLiteral("First within %1 of r = 0: %2; of r = 1: %3")
                     .arg(QString::fromStdString(analysis::nearness_text(level)),
                          step_text(result.boundaries[0].first_within[level]),
                          step_text(result.boundaries[1].first_within[level]));
    }
    if (const std::string absorption = analysis::ensemble_absorption_text(ensemble);
        !absorption.empty()) {
        lines << QStringLiteral("Absorbed: %1.").arg(QString::fromStdString(absorption));
    }
    if (result.below + result.above > 0) {
        lines << QStringLiteral("Points outside [0, 1]: %1 below, %2 above")
                     .arg(count_text(result.below), count_text(result.above));
    }
    return lines.join(QLatin1Char('\n'));
}

void show_draws(QTableWidget& table, const analysis::LongRunResult& result,
                const model::ModelState& model) {
    const int maps = result.maps.count;
    const std::array<double, 3> shares = analysis::draw_shares(result);
    table.clear();
    table.setColumnCount(5);
    table.setHorizontalHeaderLabels({QStringLiteral("Map"), QStringLiteral("Drawn"),
                                     QStringLiteral("Share"), QStringLiteral("Chance"),
                                     QStringLiteral("prob")});
    table.setRowCount(maps);
    for (int s = 1; s <= maps; ++s) {
        const auto i = static_cast<std::size_t>(s - 1);
        set_cell(table, s - 1, 0, QString::number(s));
        set_cell(table, s - 1, 1, count_text(result.draws[i]));
        set_cell(table, s - 1, 2, number_text(shares[i]));
        set_cell(table, s - 1, 3, number_text(result.maps.chance[i]));
        set_cell(table, s - 1, 4, number_text(model.prob(s)));
    }
}

}  // namespace quobel::windows::qt
