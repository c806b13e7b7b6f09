#include "ui/SVGCom.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    svglogger::SVGCom window;
    QObject::connect(&window, &svglogger::SVGCom::exitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
    window.show();
    return QApplication::exec();
}
