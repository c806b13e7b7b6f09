#pragma once

#include "ui/MainWindow.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace svglogger::test {

// A shown main window whose runtime folder holds no virtual port (so only the system's ports
// are listed), active as the operator has it in front of them.
struct WindowOnEmptyRuntime {
    QTemporaryDir runtime;
    std::unique_ptr<MainWindow> window;

    WindowOnEmptyRuntime()
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        window = std::make_unique<MainWindow>();
        window->show();
        QApplication::setActiveWindow(window.get());
    }
    bool active() { return QTest::qWaitForWindowActive(window.get()); }
};

} // namespace svglogger::test
