#include "common/ProgramVersion.h"
#include "viewer/ViewerCommands.h"
#include "viewer/ViewerOptions.h"
#include "viewer/SystemClockZone.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <iostream>

int main(int argc, char *argv[])
{
    using namespace svglogger;
    // The rows' stamps are the wall clock's: read by the system's zone (TZ), its daylight saving.
    setLocalClock(std::make_shared<SystemClockZone>());
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ViewerOptions options = parseViewerOptions(arguments);
    if (!options.error.empty() || arguments.contains("--help") || arguments.contains("-h")) {
        // Asked for, the usage goes to standard output; after a refusal, to standard error.
        if (!options.error.empty())
            std::cerr << "svg-logger-view: " << options.error << "\n" << viewerUsage();
        else
            std::cout << viewerUsage();
        return options.error.empty() ? kViewOk : kViewBadInput;
    }
    if (options.printVersion) {
        std::cout << versionLine("svg-logger-view");
        return kViewOk;
    }
    if (options.mode != ViewerOptions::Mode::Window) {
        // Pictures are drawn without a display (cron jobs on a headless box).
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return runViewerCommand(options, std::cout, std::cerr);
    }
    // The event list's settings: a bad file is said before any window opens.
    const ReportSettingsFile settings = readReportSettings(options.reportSettings, options.reportOverrides);
    if (!settings.error.empty()) {
        std::cerr << "svg-logger-view: " << settings.error << "\n";
        return kViewBadInput;
    }
    QApplication app(argc, argv);
    ViewerWindow window;
    if (!options.reportSettings.empty() || !options.reportOverrides.empty())
        window.setReportSettings(settings.settings, options.reportSettings.empty()
                                                        ? QString::fromUtf8("コマンドライン")
                                                        : QFileInfo(QString::fromStdString(options.reportSettings)).fileName());
    window.show();
    QStringList inputs;
    for (const std::string &input : options.inputs)
        inputs << QString::fromStdString(input);
    if (!options.triggerFile.empty()) {
        // The window opens with the marks where a run with these settings would have fired.
        QObject::connect(&window, &ViewerWindow::loaded, &window, [&window, &options] {
            window.replayTrigger(QString::fromStdString(options.triggerFile));
        });
    }
    window.setFollowing(options.follow);
    window.open(inputs);
    return QApplication::exec();
}
