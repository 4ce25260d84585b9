// Numbers and tables as the analysis window shows them.
#pragma once

#include <QString>
#include <cstdint>

class QTableWidget;
class QWidget;

namespace quobel::windows::qt {

// Enough digits to compare exponents and averages, without the noise of all 17. "undefined" for
// NaN, "infinite" and "minus infinite" for the infinities.
QString number_text(double value, int digits = 8);

// Shares drawn at random are single-precision values, so they take 7 digits: 0.274, not
// 0.27399999.
inline constexpr int share_digits = 7;

// With thousands separators: 1,000,000.
QString count_text(std::int64_t count);

// A read-only table without row numbers whose columns fit their contents.
QTableWidget* make_table(QWidget* parent);

// Text at the left in the first column, at the right in the others.
void set_cell(QTableWidget& table, int row, int column, const QString& text);

}  // namespace quobel::windows::qt
