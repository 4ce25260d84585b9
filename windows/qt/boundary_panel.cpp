// The analysis window's survival at the boundaries.
#include "windows/qt/boundary_panel.hpp"

#include <QFormLayout>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/boundary_exponents.hpp"
#include "model/number_text.hpp"
#include "windows/qt/analysis_texts.hpp"
#include "windows/qt/controls.hpp"

namespace quobel::windows::qt {

namespace {

// One row per map in use: its probability, its chance and the slopes of the map at both ends.
void show_terms(QTableWidget& table, const model::ModelState& model,
                const analysis::BoundaryExponents& exponents) {
    const int maps = exponents.maps.count;
    table.setColumnCount(8);
    table.setHorizontalHeaderLabels({QStringLiteral("Map"), QStringLiteral("prob"),
                                     QStringLiteral("Chance"), QStringLiteral("tau'(0)"),
                                     QStringLiteral("log tau'(0)"), QStringLiteral("tau'(1)"),
                                     QStringLiteral("log tau'(1)"), QStringLiteral("Sum of R")});
    table.setRowCount(maps);
    for (int row = 0; row < maps; ++row) {
        const analysis::MapTerms& terms = exponents.terms[static_cast<std::size_t>(row)];
        set_cell(table, row, 0, QString::number(terms.map));
        set_cell(table, row, 1, number_text(model.prob(terms.map)));
        set_cell(table, row, 2, number_text(terms.chance));
        set_cell(table, row, 3, number_text(terms.slope_at_0));
        set_cell(table, row, 4, number_text(terms.log_slope_at_0));
        set_cell(table, row, 5, number_text(terms.slope_at_1));
        set_cell(table, row, 6, number_text(terms.log_slope_at_1));
        set_cell(table, row, 7, number_text(terms.share_sum));
    }
}

// The Kelly portfolio first, then each map's portfolios of the two investors beside it.
void show_portfolios(QTableWidget& table, const model::ModelState& model,
                     const analysis::BoundaryExponents& exponents) {
    const int maps = exponents.maps.count;
    const int stocks = exponents.stocks;
    table.setColumnCount(stocks + 1);
    QStringList headers{QStringLiteral("Portfolio")};
    for (int k = 1; k <= stocks; ++k) {
        headers << QStringLiteral("Stock %1").arg(k);
    }
    table.setHorizontalHeaderLabels(headers);
    table.setRowCount(1 + 2 * maps);
    set_cell(table, 0, 0, QStringLiteral("Kelly"));
    for (int k = 1; k <= stocks; ++k) {
        set_cell(table, 0, k,
                 number_text(exponents.kelly[static_cast<std::size_t>(k - 1)], share_digits));
    }
    for (int s = 1; s <= maps; ++s) {
        const int row = 2 * s - 1;
        set_cell(table, row, 0, QStringLiteral("la1, map %1").arg(s));
        set_cell(table, row + 1, 0, QStringLiteral("la2, map %1").arg(s));
        for (int k = 1; k <= stocks; ++k) {
            set_cell(table, row, k, number_text(model.la1(s, k).value(), share_digits));
            set_cell(table, row + 1, k, number_text(model.la2(s, k), share_digits));
        }
    }
}

}  // namespace

BoundaryPanel::BoundaryPanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Survival at the boundaries"), parent) {
    lambda_0_ = new QLabel(this);
    lambda_1_ = new QLabel(this);
    verdict_ = new QLabel(this);
    QFont bold = verdict_->font();
    bold.setBold(true);
    verdict_->setFont(bold);
    explanation_ = new QLabel(this);
    explanation_->setTextFormat(Qt::PlainText);
    explanation_->setWordWrap(true);
    flags_ = new QLabel(this);
    flags_->setTextFormat(Qt::PlainText);
    flags_->setWordWrap(true);
    QPalette warning = flags_->palette();
    warning.setColor(QPalette::WindowText, QColor(176, 0, 0));
    flags_->setPalette(warning);
    terms_ = make_table(this);
    portfolios_ = make_table(this);

    auto* exponents = new QFormLayout;
    exponents->addRow(QStringLiteral("Lambda_0 (investor 1 rare):"), lambda_0_);
    exponents->addRow(QStringLiteral("Lambda_1 (investor 2 rare):"), lambda_1_);
    exponents->addRow(QStringLiteral("Verdict:"), verdict_);
    exponents->addRow(QString(), explanation_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(exponents);
    layout->addWidget(flags_);
    layout->addWidget(terms_);
    layout->addWidget(portfolios_);
}

void BoundaryPanel::refresh(const model::ModelState& model) {
    const analysis::BoundaryExponents exponents = analysis::boundary_exponents(model);
    terms_->clear();
    portfolios_->clear();
    if (exponents.maps.count == 0) {
        lambda_0_->setText(QStringLiteral("-"));
        lambda_1_->setText(QStringLiteral("-"));
        verdict_->setText(QStringLiteral("no map in use"));
        explanation_->setText(QStringLiteral("Without a map there is no iteration to judge."));
        flags_->setText(QStringLiteral("The map count is %1; the iteration uses 1, 2 or 3 maps.")
                            .arg(from_utf8(model::general_text(model.num_maps))));
        flags_->setVisible(true);
        for (QTableWidget* table : {terms_, portfolios_}) {
            table->setRowCount(0);
            table->setColumnCount(0);
        }
        return;
    }
    lambda_0_->setText(number_text(exponents.lambda_0));
    lambda_1_->setText(number_text(exponents.lambda_1));
    verdict_->setText(from_utf8(analysis::verdict_text(exponents.verdict)));
    explanation_->setText(from_utf8(analysis::verdict_explanation(exponents)));
    QStringList flags;
    for (const analysis::Flag& flag : exponents.flags) {
        flags << from_utf8(flag.text);
    }
    flags_->setText(flags.join(QLatin1Char('\n')));
    flags_->setVisible(!flags.isEmpty());
    show_terms(*terms_, model, exponents);
    show_portfolios(*portfolios_, model, exponents);
}

}  // namespace quobel::windows::qt
