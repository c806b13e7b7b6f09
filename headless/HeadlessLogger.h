#pragma once

#include "common/Settings.h"
#include "headless/HeadlessOptions.h"
#include "headless/Journal.h"
#include "headless/SystemdNotifier.h"
#include "metrics/MetricsEndpoint.h"
#include "metrics/RunMetrics.h"
#include "mqtt/MqttPublisher.h"
#include "pipeline/NoDisplay.h"
#include "pipeline/RunController.h"
#include "pipeline/RunEvents.h"
#include "platform/PortInventory.h"
#include "platform/RunStation.h"
#include "recording/TriggerSettings.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>

namespace svglogger {

// svg-logger-headless: one measurement run as the window's Start makes it, with the settings
// of the options instead of the controls, until a signal, --duration or a complete single-shot
// capture stops it. SIGTERM, SIGINT and SIGHUP stop the run as Stop does; a second signal
// ends the program at once. A closed journal pipe does not end it.
class HeadlessLogger final : public QObject, public RunEvents
{
    Q_OBJECT

public:
    // Exit codes.
    static constexpr int kStopped = 0;
    static constexpr int kBadOptions = 2;
    static constexpr int kNoPort = 3;

    HeadlessLogger(const HeadlessOptions &options, std::ostream &journal);
    // Said in the journal before the run: what the options' reading noticed.
    void warn(const std::string &text) { m_journal.warning("svg-logger-headless: " + text); }
    ~HeadlessLogger() override;

    // Runs until the run stops; the program's exit code.
    int exec();

    // A port chosen by --port: the entry the window would show and the device to open.
    struct PortChoice {
        std::string entry;
        std::string device;
    };
    static PortChoice choosePort(const std::string &wanted, PortInventory &inventory);

    // RunEvents: the end of a single shot ends the program; what the health message says
    // is looked at again when the link, the status text or the file changes.
    void runEnded() override;
    void linkChanged(LinkCondition condition) override;
    void statusChanged(const RunStatus &status) override;
    void fileOpened(std::string_view path) override;
    void fileClosed(std::string_view path, std::int64_t rows) override;

private:
    void durationStep();
    void stop(const char *why);
    void finish(const char *why);
    void signalled();
    // The health message: published when the link's state, the open file or the log file's
    // status text changed, and with `always` (once a minute, at start and at the end).
    HealthReport health() const;
    RunController &run() { return m_station.run(); }
    const RunController &run() const { return m_station.run(); }
    void reportHealth(bool always);
    void tellSystemd();
    // The log folder's retention, at start and every hour.
    void applyRetention();
    // The Prometheus endpoint of --metrics-listen: follows the run from before its start.
    std::string startMetrics();
    void refreshMetrics();

    HeadlessOptions m_options;
    Journal m_journal;
    Settings m_settings;
    TriggerSettings m_triggerSettings;
    NoDisplay m_display;
    RunStation m_station{m_settings, m_triggerSettings, {m_display, m_display, m_display}};
    std::unique_ptr<MqttPublisher> m_publisher;
    std::unique_ptr<RunMetrics> m_metrics;
    std::unique_ptr<MetricsEndpoint> m_metricsEndpoint;
    QTimer m_summaryTimer;
    SystemdNotifier m_notifier;
    QTimer m_retentionTimer;
    std::string m_diskStatus; // the free space is short with nothing left to remove
    bool m_spoolSharesLogDisk = false; // the MQTT spool's folder is on the log folder's file system
    QTimer m_healthTimer; // every second: the health message and systemd's status
    int m_healthTicks = 0;
    std::optional<HealthReport::State> m_lastHealth; // what the last health message said of the run's state
    std::string m_lastStatusText; // the run's last status text that said something
    QTimer m_durationTimer;
    std::chrono::steady_clock::time_point m_durationEnd;
    std::unique_ptr<QSocketNotifier> m_signals;
    int m_exitCode = kStopped;
};

// The whole program: options, then the run; `arguments` without the program's name.
int runHeadlessLogger(const QStringList &arguments);

} // namespace svglogger
