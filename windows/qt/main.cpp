// The quobel program: the command line, one program state, the Qt windows, start-up, then the
// event loop.
#include <QApplication>
#include <iostream>

#include "windows/command_line.hpp"
#include "windows/qt/qt_window_system.hpp"

int main(int argc, char** argv) {
    // Qt's own options, which QApplication takes out of the arguments itself.
    const quobel::windows::ToolkitOptions qt_options{
        {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
         "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style", "stylesheet"},
        {"style", "stylesheet"},
        {"reverse", "widgetcount"}};
    const quobel::windows::CommandLine command = quobel::windows::read_command_line(
        std::span<const char* const>(argv, static_cast<std::size_t>(argc))
            .subspan(argc > 0 ? 1 : 0),
        qt_options);
    if (command.exit_status) {
        std::cout << command.output;
        std::cerr << command.error;
        return *command.exit_status;
    }
    QApplication application(argc, argv);
    quobel::windows::qt::identify_program();
    quobel::windows::qt::QtProgram program;
    program.events.start_up();
    if (command.file) {
        program.events.open_file(*command.file);
    }
    return QApplication::exec();
}
