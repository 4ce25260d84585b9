// The analysis window's survival at the boundaries: the exponents, their verdict and flags, each
// map's terms and the portfolios, recomputed from the parameters on every refresh.
#pragma once

#include <QGroupBox>

#include "model/model_state.hpp"

class QLabel;
class QTableWidget;

namespace quobel::windows::qt {

class BoundaryPanel final : public QGroupBox {
  public:
    explicit BoundaryPanel(QWidget* parent);

    void refresh(const model::ModelState& model);

    QLabel* lambda_0_label() const { return lambda_0_; }
    QLabel* lambda_1_label() const { return lambda_1_; }
    QLabel* verdict_label() const { return verdict_; }
    QLabel* explanation_label() const { return explanation_; }
    QLabel* flags_label() const { return flags_; }
    QTableWidget* terms_table() const { return terms_; }
    QTableWidget* portfolio_table() const { return portfolios_; }

  private:
    QLabel* lambda_0_ = nullptr;
    QLabel* lambda_1_ = nullptr;
    QLabel* verdict_ = nullptr;
    QLabel* explanation_ = nullptr;
    QLabel* flags_ = nullptr;
    QTableWidget* terms_ = nullptr;
    QTableWidget* portfolios_ = nullptr;
};

}  // namespace quobel::windows::qt
