// The quobel program: one program state, the Qt windows, start-up, then the event loop.
#include <QApplication>

#include "windows/qt/qt_window_system.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    quobel::windows::qt::QtProgram program;
    program.events.start_up();
    return QApplication::exec();
}
