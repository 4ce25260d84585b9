// Numbers and tables as the analysis window shows them.
#include "windows/qt/analysis_texts.hpp"

#include <QHeaderView>
#include <QLocale>
#include <QTableWidget>
#include <cmath>

namespace quobel::windows::qt {

QString number_text(double value, int digits) {
    if (std::isnan(value)) {
        return QStringLiteral("undefined");
    }
    if (std::isinf(value)) {
        return value > 0 ? QStringLiteral("infinite") : QStringLiteral("minus infinite");
    }
    return QString::number(value, 'g', digits);
}

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

}  // namespace quobel::windows::qt
