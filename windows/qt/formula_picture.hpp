// Picture1: the formula of the maps, drawn as vector text and lines so that it is sharp at any
// scale.
#pragma once

#include <QWidget>

namespace quobel::windows::qt {

class FormulaPicture final : public QWidget {
    Q_OBJECT

  public:
    explicit FormulaPicture(QWidget* parent) : QWidget(parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quobel::windows::qt
