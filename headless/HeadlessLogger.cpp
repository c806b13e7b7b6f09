#include "headless/HeadlessLogger.h"

#include "common/ProgramVersion.h"
#include "headless/LogRetention.h"
#include "link/PortEntry.h"
#include "metrics/MetricFamilies.h"
#include "metrics/ProcessMetrics.h"
#include "metrics/WebConfig.h"
#include "mqtt/SiteIdentity.h"
#include "recording/TriggerFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/timex.h>
#include <unistd.h>

namespace svglogger {

namespace {

constexpr int kSummaryMilliseconds = 60 * 1000;
constexpr int kHealthCheckMilliseconds = 1000;
constexpr int kHealthEveryChecks = 60; // a health message at least once a minute
constexpr int kRetentionMilliseconds = 60 * 60 * 1000;
constexpr int kShortRetentionMilliseconds = 60 * 1000;
constexpr std::string_view kDiskShort = "ディスクの空き容量が不足しています: ";

int g_signalPipe[2] = {-1, -1};
std::atomic<int> g_signals{0}; // lock-free on every platform the program is built for

// SIGTERM, SIGINT and SIGHUP (a closed terminal, `systemctl kill -s HUP`): the first goes to
// the event loop, which stops the run; a second one ends the program at once. Only
// async-signal-safe calls here.
extern "C" void onSignal(int number)
{
    if (g_signals.fetch_add(1) >= 1)
        ::_exit(128 + number);
    const char byte = static_cast<char>(number);
    (void)!::write(g_signalPipe[1], &byte, 1);
}

// Whether the kernel counts the system clock as synchronised (by NTP or the like); none
// where it cannot be asked (a seccomp filter without adjtimex).
std::optional<bool> clockSynchronised()
{
    timex state{};
    const int result = ::adjtimex(&state);
    if (result < 0)
        return std::nullopt;
    return result != TIME_ERROR && (state.status & STA_UNSYNC) == 0;
}

// The file system that holds a path, or would once it is made: that of its nearest existing
// folder; none when not even the root can be asked.
std::optional<dev_t> fileSystemOf(std::filesystem::path path)
{
    path = std::filesystem::absolute(path);
    for (;;) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0)
            return status.st_dev;
        if (!path.has_relative_path())
            return std::nullopt;
        path = path.parent_path();
    }
}

std::string modeText(const HeadlessOptions &options)
{
    return options.samplingMode == SamplingMode::Interval ? "interval " + options.interval + " s" : "continuous";
}

} // namespace

HeadlessLogger::PortChoice HeadlessLogger::choosePort(const std::string &wanted, PortInventory &inventory)
{
    inventory.discover();
    const QStringList &entries = inventory.entries();
    auto byEntry = [&](const QString &entry) {
        return PortChoice{entry.toStdString(),
                          inventory.deviceForPort(portNumberFromEntry(entry.toStdString())).toStdString()};
    };
    if (wanted.empty())
        return entries.isEmpty() ? PortChoice{} : byEntry(entries.constFirst());
    const QString name = QString::fromStdString(wanted);
    for (const QString &entry : entries)
        if (entry == name)
            return byEntry(entry);
    // A virtual port by its name, as the simulator registers it.
    if (const QString folder = PortInventory::virtualPortsFolder(); !folder.isEmpty()) {
        const int index = inventory.indexOfDevice(QDir(folder).filePath(name));
        if (index >= 0)
            return byEntry(entries[index]);
    }
    // Else a device by its name or path ("/dev/ttyUSB0", "COM3"), tried as it is.
    return PortChoice{wanted, wanted};
}

HeadlessLogger::HeadlessLogger(const HeadlessOptions &options, std::ostream &journal)
    : m_options(options)
    , m_journal(journal, options.quiet, Journal::standardErrorIsTheJournal())
{
    m_settings.graph = false; // nothing to draw on
    m_settings.sampling = options.samplingMode;
    m_settings.interval = options.interval;
    m_settings.powerFlow = options.powerFlowCorrection;
    m_settings.trigger = !options.triggerFile.empty();
    if (!options.reactancePercent.empty())
        m_settings.reactancePercent = options.reactancePercent;
    m_station.logFile().setSyncSeconds(options.syncSeconds);
    run().follow(&m_journal);
    // The run tells when the link, the file or the status text change; once a minute the health
    // goes out unchanged as well. systemd's status line every second.
    connect(&m_healthTimer, &QTimer::timeout, this, [this] {
        if (m_publisher)
            m_publisher->tick();
        refreshMetrics();
        reportHealth(++m_healthTicks % kHealthEveryChecks == 0);
        tellSystemd();
    });
    connect(&m_summaryTimer, &QTimer::timeout, this, [this] {
        m_journal.summary(run().linesHandled(), run().rowsWritten(), run().linkState(),
                          run().waitingForPort());
        if (m_publisher)
            m_journal.info("mqtt: " + std::to_string(m_publisher->queued()) + " waiting, "
                           + std::to_string(m_publisher->droppedSamples()) + " samples and "
                           + std::to_string(m_publisher->droppedEvents()) + " events dropped");
    });
    connect(&m_retentionTimer, &QTimer::timeout, this, [this] { applyRetention(); });
    m_durationTimer.setSingleShot(true);
    connect(&m_durationTimer, &QTimer::timeout, this, [this] { durationStep(); });
}

HeadlessLogger::~HeadlessLogger()
{
    run().endProgram();
    if (m_publisher)
        m_publisher->stop();
    if (g_signalPipe[0] >= 0) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
    }
}

int HeadlessLogger::exec()
{
    if (!m_options.triggerFile.empty()) {
        const TriggerFile trigger = TriggerFile::read(m_options.triggerFile);
        if (!trigger.error.empty()) {
            m_journal.fault("svg-logger-headless: " + trigger.error);
            return kBadOptions;
        }
        m_triggerSettings = trigger.settings;
        for (const std::string &correction : trigger.corrections)
            m_journal.info("trigger settings: " + correction);
        run().setTriggerConditionCount(static_cast<std::int16_t>(trigger.enabledConditions));
    }
    run().setLogFolder(m_options.folder);

    if (!m_options.mqttUrl.empty()) {
        const MqttAddress &address = m_options.mqttAddress;
        const std::string host = QSysInfo::machineHostName().toStdString();
        MqttConfig config;
        config.host = address.host;
        config.port = address.port;
        config.tls = address.tls;
        config.caFile = m_options.mqttCa;
        config.topicPrefix = m_options.mqttTopic.empty() ? "svg-logger/" + host : m_options.mqttTopic;
        config.user = m_options.mqttUser;
        config.password = m_options.mqttPassword;
        config.queueBound = m_options.mqttQueue;
        config.run = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
        config.intervalRows = m_options.mqttPublishRows && m_options.samplingMode == SamplingMode::Interval;
        config.protocol = m_options.mqttProtocol;
        config.certFile = m_options.mqttCert;
        config.keyFile = m_options.mqttKey;
        config.keyPassword = m_options.mqttKeyPassword;
        config.syncSeconds = m_options.syncSeconds;
        config.compact = m_options.mqttCompact;
        config.spoolBytes = static_cast<std::uint64_t>(m_options.mqttSpoolMb) << 20;
        // The default prefix holds the host name, which may be no valid topic level.
        if (const std::string problem = mqtt::prefixProblem(config.topicPrefix); !problem.empty()) {
            m_journal.fault("svg-logger-headless: mqtt-topic: the prefix '" + config.topicPrefix + "' " + problem
                            + "; give one with --mqtt-topic");
            return kBadOptions;
        }
        if (m_options.mqttTopic.empty())
            m_journal.info("mqtt: topic prefix " + config.topicPrefix + ", from the host name (--mqtt-topic sets "
                           "another; boxes cloned from one image share a host name)");
        const std::string state = site::stateFolder(
            [](const char *name) { return qEnvironmentVariable(name).toStdString(); }, QDir::homePath().toStdString());
        if (m_options.mqttClientId.empty()) {
            const std::string machine = site::machineId(state);
            config.clientId = machine.empty()
                ? "svg-logger-" + QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString()
                : site::clientId(machine, config.topicPrefix);
            m_journal.info("mqtt: client id " + config.clientId
                           + (machine.empty() ? " (random: no machine id could be read or kept)"
                                              : " (from the machine id and the topic prefix)"));
        } else {
            config.clientId = m_options.mqttClientId;
            m_journal.info("mqtt: client id " + config.clientId);
        }
        if (m_options.mqttSpoolMb > 0) {
            config.spoolFolder = state + "/mqtt-spool/" + site::folderName(config.clientId);
            const std::optional<dev_t> spoolDisk = fileSystemOf(config.spoolFolder);
            m_spoolSharesLogDisk = spoolDisk && spoolDisk == fileSystemOf(m_options.folder);
            // On the log folder's disk the spool's floor is never below --min-free-mb: the spool
            // gives back its room before the retention would remove a CSV file for it.
            std::int64_t floorMb = m_options.spoolMinFreeMb.value_or(HeadlessOptions::kSpoolMinFreeMb);
            if (m_spoolSharesLogDisk && floorMb < m_options.minFreeMb) {
                if (m_options.spoolMinFreeMb)
                    warn("spool-min-free-mb " + std::to_string(floorMb) + " is below min-free-mb "
                         + std::to_string(m_options.minFreeMb) + " on the log folder's disk: the spool keeps "
                         + std::to_string(m_options.minFreeMb) + " MiB free");
                floorMb = m_options.minFreeMb;
            }
            config.spoolMinFreeBytes = static_cast<std::uint64_t>(floorMb) << 20;
        }
        m_publisher = std::make_unique<MqttPublisher>(std::move(config), m_journal);
        if (const std::string error = m_publisher->start(); !error.empty()) {
            m_journal.fault("svg-logger-headless: " + error);
            return kBadOptions;
        }
        run().follow(m_publisher.get());
    }
    run().follow(this); // after the publisher: a file's event goes out before the health it changes
    if (!m_options.metricsListen.empty()) {
        if (const std::string error = startMetrics(); !error.empty()) {
            m_journal.fault("svg-logger-headless: " + error);
            if (m_publisher)
                m_publisher->stop();
            return kBadOptions;
        }
    }

    if (::pipe(g_signalPipe) == 0) {
        ::fcntl(g_signalPipe[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(g_signalPipe[1], F_SETFD, FD_CLOEXEC);
        m_signals = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        connect(m_signals.get(), &QSocketNotifier::activated, this, &HeadlessLogger::signalled);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        std::signal(SIGHUP, onSignal);
    }
    // A journal whose reader went away (`… 2>&1 | head -1`) must not end the logging: the
    // write fails instead, and the journal's stream drops what follows.
    std::signal(SIGPIPE, SIG_IGN);

    const PortChoice port = choosePort(m_options.port, m_station.inventory());
    m_journal.info("start: port " + (port.entry.empty() ? std::string("(none)") : port.entry) + ", folder "
                   + m_options.folder + ", mode " + modeText(m_options) + ", trigger "
                   + (m_options.triggerFile.empty() ? std::string("off") : m_options.triggerFile));
    if (const std::optional<bool> synchronised = clockSynchronised(); synchronised && !*synchronised)
        m_journal.warning("clock: the system clock is not synchronised (no NTP): the rows' times are the box's own");
    if (!run().start(port.entry, port.device)) {
        // The journal has the reason; the broker is told it too, before "offline".
        if (m_publisher) {
            HealthReport report = health();
            report.state.portMissing = true;
            report.state.logError = m_lastStatusText;
            if (const std::int64_t free = LogRetention::systemFreeSpace(m_options.folder); free >= 0)
                report.freeDiskMb = free / (1024 * 1024);
            m_publisher->publishHealth(report);
            m_publisher->stop();
        }
        return kNoPort;
    }

    m_summaryTimer.start(kSummaryMilliseconds);
    if (m_options.keepDays > 0 || m_options.minFreeMb > 0) {
        applyRetention();
        // A free-space floor is looked at every minute: a disk fills faster than an hour.
        m_retentionTimer.start(m_options.minFreeMb > 0 ? kShortRetentionMilliseconds : kRetentionMilliseconds);
    }
    reportHealth(true);
    m_notifier.ready();
    tellSystemd();
    m_healthTimer.start(kHealthCheckMilliseconds);
    if (m_options.durationSeconds) {
        m_durationEnd = std::chrono::steady_clock::now()
            + std::chrono::milliseconds(static_cast<std::int64_t>(std::min(*m_options.durationSeconds, 1e12) * 1000.0));
        durationStep();
    }
    QCoreApplication::exec();
    return m_exitCode;
}

// A timer waits at most about 24 days: a longer duration is waited for in steps.
void HeadlessLogger::durationStep()
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_durationEnd - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        stop("the duration has passed");
        return;
    }
    m_durationTimer.start(static_cast<int>(std::min<std::int64_t>(left.count(), 1'000'000'000)));
}

void HeadlessLogger::stop(const char *why)
{
    if (run().measuring())
        run().stop();
    finish(why);
}

// The run has stopped: the journal says why, the publisher sends what is still queued
// (within about a second) and the event loop ends.
void HeadlessLogger::finish(const char *why)
{
    m_summaryTimer.stop();
    m_healthTimer.stop();
    m_retentionTimer.stop();
    m_notifier.stopping();
    m_journal.info(std::string("stop: ") + why);
    if (m_publisher) {
        reportHealth(true); // "stopped", before the retained "offline"
        m_publisher->stop();
    }
    QCoreApplication::exit(kStopped);
}

void HeadlessLogger::linkChanged(LinkCondition)
{
    reportHealth(false);
}

void HeadlessLogger::statusChanged(const RunStatus &status)
{
    if (!status.text.empty())
        m_lastStatusText = status.text;
    reportHealth(false);
}

void HeadlessLogger::fileOpened(std::string_view)
{
    reportHealth(false);
}

void HeadlessLogger::fileClosed(std::string_view, std::int64_t)
{
    reportHealth(false);
}

HealthReport HeadlessLogger::health() const
{
    HealthReport report;
    report.state.link = run().linkCondition();
    report.state.file = run().openPath();
    report.linesReceived = run().linesHandled();
    report.rowsWritten = run().rowsWritten();
    report.state.logError = run().fileStatus().text.empty() ? m_diskStatus : run().fileStatus().text;
    report.clockSynchronised = clockSynchronised();
    return report;
}

void HeadlessLogger::applyRetention()
{
    // The spool on the log folder's disk gives back its room (its oldest samples) before any
    // CSV file goes for space: its bytes count as free here, and its floor keeps min-free-mb.
    const LogRetention::FreeSpace freeSpace = [this](const std::filesystem::path &folder) {
        const std::int64_t free = LogRetention::systemFreeSpace(folder);
        if (free < 0 || !m_publisher || !m_spoolSharesLogDisk)
            return free;
        return free + static_cast<std::int64_t>(m_publisher->spoolFigures().bytes);
    };
    const LogRetention::Outcome outcome =
        LogRetention::apply(m_options.folder, {m_options.keepDays, m_options.minFreeMb}, run().openPath(),
                            std::filesystem::file_time_type::clock::now(), freeSpace);
    for (const std::string &path : outcome.removed)
        m_journal.info("retention: removed " + path);
    if (m_metrics) {
        m_metrics->addRetentionRemoved(outcome.removed.size());
        m_metrics->setDiskShort(outcome.stillShort);
    }
    for (const std::string &failure : outcome.failures)
        m_journal.warning("retention: cannot remove " + failure);
    std::string status;
    if (outcome.stillShort)
        status = std::string(kDiskShort) + std::to_string(outcome.freeMb) + " MB (" + std::to_string(m_options.minFreeMb)
            + " MB wanted) — no file of the logger's own is left to remove but the open one and the one closed last";
    if (status != m_diskStatus) {
        m_diskStatus = status;
        if (status.empty())
            m_journal.info("status cleared: the disk has room again");
        else
            m_journal.fault("status: " + status);
        reportHealth(true);
    }
}

// STATUS= for systemctl status: the link as the health message names it and the rows.
void HeadlessLogger::tellSystemd()
{
    if (!m_notifier.active())
        return;
    const HealthReport report = health();
    m_notifier.status(std::string("link ") + report.linkName() + ", " + std::to_string(report.rowsWritten) + " rows written"
                      + (report.state.logError.empty() ? "" : ", " + report.state.logError));
}

void HeadlessLogger::reportHealth(bool always)
{
    if (!m_publisher)
        return;
    HealthReport report = health();
    if (!always && report.state == m_lastHealth)
        return;
    m_lastHealth = report.state;
    if (const std::int64_t free = LogRetention::systemFreeSpace(m_options.folder); free >= 0)
        report.freeDiskMb = free / (1024 * 1024);
    m_publisher->publishHealth(report);
}

std::string HeadlessLogger::startMetrics()
{
    RunMetrics::Identity identity;
    identity.version = projectVersion();
    identity.revision = buildRevision();
    identity.mode = m_options.samplingMode;
    identity.startTimeSeconds = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    identity.nominalVoltage = m_options.nominalVoltage;
    identity.uncompensatedServed = !m_options.reactancePercent.empty();
    identity.staleAfter = std::chrono::milliseconds(RunController::kDataMilliseconds);
    m_metrics = std::make_unique<RunMetrics>(identity, run());
    refreshMetrics();
    MetricsEndpoint::Config config;
    config.listen = m_options.metricsListen;
    config.timeoutSeconds = m_options.metricsTimeoutSeconds;
    config.maxConnections = m_options.metricsMaxConnections;
    std::string guard = m_options.metricsUser.empty() ? "" : " (basic auth, user " + m_options.metricsUser + ")";
    if (!m_options.metricsWebConfig.empty()) {
        const WebConfig web = WebConfig::read(m_options.metricsWebConfig);
        if (!web.error.empty())
            return "metrics-web-config: " + web.error;
        if (!web.users.empty() && !m_options.metricsUser.empty())
            return "metrics-web-config: " + m_options.metricsWebConfig + " has basic_auth_users and metrics-user is "
                   "given too: give the users in one place";
        config.tls = web.tls;
        if (!web.users.empty()) {
            config.auth = ScraperAuth::hashed(web.users);
            guard = " (basic auth, " + std::to_string(web.users.size()) + (web.users.size() == 1 ? " user" : " users")
                + " of " + m_options.metricsWebConfig + ")";
        }
        if (web.tls && web.tls->clientAuth != WebConfig::ClientAuth::None)
            guard += web.tls->clientAuth == WebConfig::ClientAuth::RequireAndVerify
                ? " (client certificates required)" : " (client certificates verified when given)";
    }
    if (!m_options.metricsUser.empty())
        config.auth = ScraperAuth::plain(m_options.metricsUser, m_options.metricsPassword);
    m_metricsEndpoint = std::make_unique<MetricsEndpoint>([metrics = m_metrics.get()] {
        std::vector<prometheus::MetricFamily> families = metricFamilies(metrics->snapshot(), std::chrono::steady_clock::now());
        std::vector<prometheus::MetricFamily> process = processMetricFamilies();
        families.insert(families.end(), std::make_move_iterator(process.begin()), std::make_move_iterator(process.end()));
        return families;
    });
    if (std::string error = m_metricsEndpoint->start(config); !error.empty()) {
        m_metricsEndpoint.reset();
        m_metrics.reset();
        return "metrics-listen: " + error;
    }
    run().follow(m_metrics.get());
    const std::string host = m_options.metricsListen.substr(0, m_options.metricsListen.rfind(':'));
    m_journal.info("metrics: serving " + std::string(config.tls ? "https" : "http") + "://" + host + ":"
                   + std::to_string(m_metricsEndpoint->port()) + "/metrics" + guard);
    return {};
}

// The counters the run keeps itself, the broker's figures, the clock's synchronisation and the disk, once
// a second.
void HeadlessLogger::refreshMetrics()
{
    if (!m_metrics)
        return;
    m_metrics->refresh();
    if (m_publisher) {
        MetricsState::Mqtt mqtt;
        mqtt.connected = m_publisher->connectedNow();
        mqtt.queued = m_publisher->queued();
        mqtt.droppedSamples = m_publisher->droppedSamples();
        mqtt.droppedEvents = m_publisher->droppedEvents();
        mqtt.delivered = m_publisher->delivered();
        mqtt.refused = m_publisher->refused();
        mqtt.repeated = m_publisher->repeated();
        mqtt.reconnects = m_publisher->reconnects();
        mqtt.clientIdTaken = m_publisher->clientIdTaken();
        mqtt.damaged = m_publisher->damagedMessages();
        mqtt.segmentsSetAside = m_publisher->segmentsSetAside();
        const MqttSession::SpoolFigures spool = m_publisher->spoolFigures();
        mqtt.spoolOnDisk = spool.onDisk;
        mqtt.spoolBytes = spool.bytes;
        mqtt.spoolMessages = spool.messages;
        mqtt.spoolLimitBytes = spool.limitBytes;
        mqtt.spoolWriteErrors = spool.writeErrors;
        mqtt.lostMessages = spool.lost;
        m_metrics->setMqtt(mqtt);
    }
    m_metrics->setClockSynchronised(clockSynchronised()); // one adjtimex call
    const std::int64_t free = LogRetention::systemFreeSpace(m_options.folder);
    m_metrics->setDiskFree(free >= 0 ? std::optional<std::int64_t>(free) : std::nullopt);
}

void HeadlessLogger::signalled()
{
    char number = 0;
    (void)!::read(g_signalPipe[0], &number, 1);
    stop(number == SIGINT ? "SIGINT" : number == SIGHUP ? "SIGHUP" : "SIGTERM");
}

// A complete single-shot capture has stopped the run: the program's work is done.
void HeadlessLogger::runEnded()
{
    finish("the single-shot capture is complete");
}

int runHeadlessLogger(const QStringList &arguments)
{
    const ParsedOptions parsed = parseHeadlessOptions(arguments, QDir::homePath().toStdString());
    if (!parsed.error.empty()) {
        std::cerr << (Journal::standardErrorIsTheJournal() ? "<3>" : "") << "svg-logger-headless: " << parsed.error
                  << std::endl;
        return HeadlessLogger::kBadOptions;
    }
    if (!parsed.print.empty()) {
        std::cout << parsed.print << std::flush;
        return 0;
    }
    if (parsed.options.listPorts) {
        PortInventory inventory;
        inventory.discover();
        for (const QString &entry : inventory.entries())
            std::cout << entry.toStdString() << '\n';
        std::cout << std::flush;
        return 0;
    }
    HeadlessLogger logger(parsed.options, std::cerr);
    for (const std::string &warning : parsed.warnings)
        logger.warn(warning);
    return logger.exec();
}

} // namespace svglogger
