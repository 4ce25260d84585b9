// Showing and closing the Qt windows.
#include "windows/qt/qt_window_system.hpp"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

namespace quobel::windows::qt {

namespace {

// Form2's client area opens at this place on the screen, in pixels.
constexpr QPoint save_load_position{388, 319};

}  // namespace

QtWindowSystem::~QtWindowSystem() {
    delete form1_.data();
    delete form2_.data();
    // Waits for a long run under way, which it cancels first.
    delete analysis_.data();
    delete sweep_.data();
    for (const QPointer<QWidget>& window : closed_) {
        delete window.data();
    }
}

void QtWindowSystem::attach(Events& events) {
    events_ = &events;
    events.on_parameters_changed([this] {
        if (analysis_) {
            analysis_->refresh();
        }
        if (sweep_) {
            sweep_->parameters_changed();
        }
    });
}

template <class Form>
Form* QtWindowSystem::create(QPointer<Form>& slot) {
    auto* form = new Form(*events_);
    form->setAttribute(Qt::WA_DeleteOnClose);
    slot = form;
    // The user's close box: from then on the window is gone for the logic too.
    QObject::connect(form, &Form::closed, form, [this, form] { forget(form); });
    return form;
}

void QtWindowSystem::show_main_window() {
    if (form1_) {
        form1_->show();
        return;
    }
    Form1* form1 = create(form1_);
    QObject::connect(form1, &Form1::analysis_requested, form1, [this] { show_analysis_window(); });
    QObject::connect(form1, &Form1::sweep_requested, form1, [this] { show_sweep_window(); });
    QObject::connect(form1, &Form1::quit_requested, form1, [this] { quit(); });
    events_->main_window_loaded(*form1);
    // After Reset the fresh window takes the place of the one it replaces.
    if (main_position_) {
        form1->move(*main_position_);
    }
    form1->show();
}

void QtWindowSystem::close_main_window() {
    Form1* form1 = form1_.data();
    if (form1 == nullptr) {
        return;
    }
    // Reset closes the window from inside its own button's click: hiding it (rather than closing)
    // keeps the program from ending while no window shows, and the event loop destroys it once
    // the click has been handled.
    main_position_ = form1->pos();
    form1->hide();
    form1->deleteLater();
    forget(form1);
}

void QtWindowSystem::forget(QWidget* window) {
    if (form1_ == window) {
        form1_ = nullptr;
    }
    if (form2_ == window) {
        form2_ = nullptr;
    }
    std::erase_if(closed_, [](const QPointer<QWidget>& closed) { return closed.isNull(); });
    closed_.emplace_back(window);
}

void QtWindowSystem::show_save_load_window() {
    if (form2_) {
        form2_->show();
        form2_->raise();
        form2_->activateWindow();
        return;
    }
    Form2* form2 = create(form2_);
    events_->save_load_window_loaded(*form2);
    QPoint origin = save_load_position;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        origin += screen->geometry().topLeft();
    }
    // setGeometry places the client area, not the frame.
    form2->setGeometry(QRect(origin, form2->size()));
    form2->show();
}

void QtWindowSystem::show_analysis_window() {
    if (!analysis_) {
        // No parent: a window of its own that Reset, which replaces Form1, leaves alone.
        analysis_ = new AnalysisWindow(events_->state());
    }
    analysis_->show();
    analysis_->raise();
    analysis_->activateWindow();
}

void QtWindowSystem::show_sweep_window() {
    if (!sweep_) {
        sweep_ = new SweepWindow(*events_);
    }
    sweep_->show();
    sweep_->raise();
    sweep_->activateWindow();
}

void identify_program() {
    QGuiApplication::setDesktopFileName(QStringLiteral("quobel"));
    // The same drawing that the desktop entry's icon is rendered from, built into the program.
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quobel.svg")));
}

void QtWindowSystem::quit() {
    if (analysis_) {
        analysis_->close();
    }
    if (sweep_) {
        sweep_->close();
    }
    if (form2_) {
        form2_->close();
    }
    if (form1_) {
        form1_->close();
    }
    QCoreApplication::quit();
}

}  // namespace quobel::windows::qt
