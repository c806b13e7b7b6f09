#include "common/ProgramVersion.h"
#include "ui/MainWindow.h"

#include <QApplication>

#include <cstring>
#include <iostream>

int main(int argc, char *argv[])
{
    // Answered before any display is asked for: a packager's or a script's question.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << svglogger::versionLine("svg-logger");
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << "Usage: svg-logger [--help] [--version] [Qt's options, such as -platform NAME]\n"
                         "The SVG controller's data logger in a window: wakes the controller on the serial port\n"
                         "chosen in the window, shows its latest values and a trend graph, and records CSV files\n"
                         "(every line, per-interval average/max/min/count, or triggered captures).\n"
                         "\n"
                         "Options:\n"
                         "  -h, --help  Show this help.\n"
                         "  --version   Show the program's version.\n";
            return 0;
        }
    }
    QApplication app(argc, argv);
    svglogger::MainWindow window;
    QObject::connect(&window, &svglogger::MainWindow::exitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
    window.show();
    return QApplication::exec();
}
