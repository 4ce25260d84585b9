// Drives the real windows as a user would ("GO !!!", a click on the diagonal, "Next 10000") and
// saves a picture of Form1 to the file named on the command line.
#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cstdio>

#include "windows/qt/qt_window_system.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quobel_screenshot <picture.png>\n");
        return 2;
    }
    using quobel::windows::MainButton;
    quobel::windows::qt::QtProgram program;
    program.events.start_up();
    quobel::windows::qt::Form1& form1 = *program.windows.form1();
    if (!QTest::qWaitForWindowExposed(&form1)) {
        std::fprintf(stderr, "quobel_screenshot: the main window was never shown\n");
        return 1;
    }
    QTest::mouseClick(form1.button(MainButton::Command1), Qt::LeftButton);
    // The middle of the diagonal is the start point.
    quobel::windows::qt::PlotPicture& plot = form1.plot_picture();
    QTest::mouseClick(&plot, Qt::LeftButton, Qt::NoModifier, plot.rect().center());
    QTest::mouseClick(form1.button(MainButton::Command5), Qt::LeftButton);
    QApplication::processEvents();
    if (!form1.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "quobel_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
