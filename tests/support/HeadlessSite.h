#pragma once

#include "support/Files.h"
#include "support/Split.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <csignal>

namespace svglogger::test {

// A site: the simulator on a virtual port and svg-logger-headless publishing its lines.
struct Site {
    static constexpr const char *kTopic = "svg-logger/test-site";

    QTemporaryDir runtime;
    QTemporaryDir logs;
    QTemporaryDir state; // the spool's folder, the site's own
    QString stateHome;   // another one (a small disk's folder); empty: `state`
    QProcess simulator;
    QProcess logger;
    std::string journal;

    explicit Site(const QStringList &simulatorArguments = {"--rate", "20", "--seed", "9"})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        simulator.setProcessEnvironment(env);
        simulator.start(SVG_SIM_PATH, simulatorArguments);
        for (int i = 0; i < 250 && !QFileInfo::exists(runtime.path() + "/svg-logger/ports/svg-sim"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~Site()
    {
        for (QProcess *p : {&logger, &simulator}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }
    void start(const QStringList &mqttArguments, const QString &password = {}, const QString &keyPassword = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_STATE_HOME", stateHome.isEmpty() ? state.path() : stateHome);
        env.remove("STATE_DIRECTORY");
        if (!password.isEmpty())
            env.insert("SVG_LOGGER_MQTT_PASSWORD", password);
        if (!keyPassword.isEmpty())
            env.insert("SVG_LOGGER_MQTT_KEY_PASSWORD", keyPassword);
        logger.setProcessEnvironment(env);
        logger.start(SVG_HEADLESS_PATH,
                     QStringList{"--port", "svg-sim", "--folder", logs.path(), "--mqtt-topic", kTopic} + mqttArguments);
        logger.waitForStarted();
    }
    // Reads the journal for a while, or until it says `text`.
    bool journalSays(const std::string &text, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (journal.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            logger.waitForReadyRead(50);
            journal += logger.readAllStandardError().toStdString();
        }
        return journal.find(text) != std::string::npos;
    }
    void run(std::chrono::milliseconds duration) { journalSays("\x01never", duration); }
    int stop()
    {
        ::kill(static_cast<pid_t>(logger.processId()), SIGTERM);
        logger.waitForFinished(10000);
        journal += logger.readAllStandardError().toStdString();
        return logger.exitCode();
    }
    // The rows of the log files in the order they were written (a run that crosses the hour
    // has two), or of the newest file alone; without the headers.
    std::vector<std::string> rows(bool newest = false) const
    {
        QStringList files = QDir(logs.path()).entryList({"*.csv"}, QDir::Files, QDir::Time | QDir::Reversed);
        if (newest && !files.isEmpty())
            files = QStringList{files.constLast()};
        std::vector<std::string> out;
        for (const QString &file : files) {
            const std::vector<std::string> lines = test::split(readBytes((logs.path() + "/" + file).toStdString()), '\n');
            for (std::size_t i = 1; i < lines.size(); ++i)
                if (!lines[i].empty())
                    out.push_back(lines[i].substr(0, lines[i].size() - 1)); // without the CR
        }
        return out;
    }
};

} // namespace svglogger::test
