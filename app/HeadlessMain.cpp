#include "headless/HeadlessLogger.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return svglogger::runHeadlessLogger(QCoreApplication::arguments().mid(1));
}
