#include "support/Broker.h"
#include "support/HeadlessSite.h"
#include "support/Files.h"
#include "support/Split.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <csignal>

using namespace std::chrono_literals;

namespace svglogger {
namespace {

using Clock = std::chrono::steady_clock;
using test::split;
using test::Site;
constexpr const char *kTopic = Site::kTopic;

// The CSV's form of a sample's ISO time: "2026-12-07T09:05:03.234+09:00" is "2026/12/07 9:05:03".
std::string csvTime(const std::string &iso)
{
    const std::string date = iso.substr(0, 10);
    const int hour = std::stoi(iso.substr(11, 2));
    const std::string rest = iso.substr(13, 6);
    std::string text = date.substr(0, 4) + "/" + date.substr(5, 2) + "/" + date.substr(8, 2);
    if (hour == 0 && rest == ":00:00")
        return text;
    return text + " " + std::to_string(hour) + rest;
}

// The time of a row as seconds since midnight ("2026/12/07 9:05:03" is 32703).
int secondsOfDay(const std::string &row)
{
    const std::string time = split(row, ',')[0];
    const std::size_t space = time.find(' ');
    if (space == std::string::npos)
        return 0;
    const std::vector<std::string> parts = split(time.substr(space + 1), ':');
    return std::stoi(parts[0]) * 3600 + std::stoi(parts[1]) * 60 + std::stoi(parts[2]);
}

// Each row has its sample, with the same numbers, and the samples come once each, in order.
void expectSamplesAsTheRows(const std::vector<test::Subscriber::Message> &messages, const std::vector<std::string> &rows,
                            bool duplicatesAllowed = false)
{
    ASSERT_FALSE(rows.empty());
    const char *keys[] = {"grid_voltage_v", "load_active_power_kw", "load_reactive_power_kvar", "svg_output_kvar",
                          "negative_sequence_voltage_d_v", "negative_sequence_voltage_q_v",
                          "negative_sequence_command_d_a", "negative_sequence_command_q_a", "status_word"};
    std::vector<QJsonObject> samples;
    std::set<qint64> seen;
    qint64 last = 0;
    for (const auto &message : messages) {
        const QJsonObject sample = QJsonDocument::fromJson(QByteArray::fromStdString(message.payload)).object();
        const qint64 sequence = sample.value("sequence").toInteger();
        if (!seen.insert(sequence).second) {
            EXPECT_TRUE(duplicatesAllowed) << "sample " << sequence << " came twice";
            continue;
        }
        EXPECT_EQ(sequence, last + 1) << "samples out of order or missing";
        last = sequence;
        samples.push_back(sample);
    }
    ASSERT_EQ(samples.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string> fields = split(rows[i], ',');
        ASSERT_EQ(fields.size(), 10u) << rows[i];
        // The moment the line was decoded, just after its row was stamped.
        const int decoded = secondsOfDay(csvTime(samples[i].value("time").toString().toStdString()));
        EXPECT_GE(decoded, secondsOfDay(fields[0])) << rows[i];
        EXPECT_LE(decoded, secondsOfDay(fields[0]) + 1) << rows[i];
        EXPECT_EQ(samples[i].value("controller_version").toInt(), 2);
        for (std::size_t k = 0; k < 9; ++k)
            EXPECT_EQ(samples[i].value(keys[k]).toDouble(), std::strtod(fields[k + 1].c_str(), nullptr))
                << keys[k] << " of " << rows[i];
    }
}

// A broker of the test's own with the test's subscriber on it, and a site publishing to it.
struct MqttFixture : ::testing::Test {
    std::unique_ptr<test::Broker> broker;
    std::unique_ptr<test::Subscriber> subscriber;
    Site site;

    void startBroker(const std::string &passwordFile = {}, const test::Broker::Tls *tls = nullptr)
    {
        broker = std::make_unique<test::Broker>(passwordFile, tls);
        ASSERT_TRUE(broker->start());
        subscriber = std::make_unique<test::Subscriber>(broker->plainPort, std::string(kTopic) + "/#");
        ASSERT_TRUE(subscriber->waitUntilSubscribed());
    }
    QStringList mqtt(const char *scheme = "mqtt") const
    {
        return {"--mqtt", QString("%1://127.0.0.1:%2").arg(scheme).arg(broker->port)};
    }
    std::vector<test::Subscriber::Message> messages(const char *topic) const
    {
        return subscriber->messages(std::string(kTopic) + "/" + topic);
    }
    // The broker goes away for `away` while the site goes on, then comes back.
    void outage(std::chrono::milliseconds away, const std::string &backSays)
    {
        broker->stop();
        ASSERT_TRUE(site.journalSays("mqtt: broker lost")) << site.journal;
        site.run(away);
        ASSERT_TRUE(broker->start());
        // The back-off's ceiling is 60 s, jittered: after a long outage the next attempt may
        // come up to a minute after the broker is back.
        ASSERT_TRUE(site.journalSays(backSays, 65s)) << site.journal;
    }
};

TEST_F(MqttFixture, EverySampleArrivesOnceInOrderWithTheCsvNumbers)
{
    startBroker();
    site.start(mqtt() + QStringList{"--duration", "3"});
    ASSERT_TRUE(site.logger.waitForFinished(10000));
    EXPECT_EQ(site.logger.exitCode(), 0);
    site.journal += site.logger.readAllStandardError().toStdString();
    std::this_thread::sleep_for(300ms);
    expectSamplesAsTheRows(messages("sample"), site.rows());
    const auto status = messages("status");
    ASSERT_GE(status.size(), 2u) << site.journal;
    const QJsonObject online = QJsonDocument::fromJson(QByteArray::fromStdString(status.front().payload)).object();
    const QJsonObject offline = QJsonDocument::fromJson(QByteArray::fromStdString(status.back().payload)).object();
    EXPECT_EQ(online.value("status").toString(), "online");
    EXPECT_EQ(offline.value("status").toString(), "offline");
    const QJsonObject sample =
        QJsonDocument::fromJson(QByteArray::fromStdString(messages("sample").front().payload)).object();
    for (const QJsonObject &presence : {online, offline}) {
        EXPECT_EQ(presence.value("run"), sample.value("run"));
        EXPECT_TRUE(presence.value("time").isString());
        EXPECT_FALSE(presence.contains("unexpected"));
    }
    const auto events = messages("event");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0].payload.find("\"event\":\"file_opened\""), std::string::npos);
    EXPECT_NE(events[1].payload.find("\"rows\":" + std::to_string(site.rows().size())), std::string::npos)
        << events[1].payload;
}

TEST_F(MqttFixture, BrokerAwayThirtySecondsLosesNoSampleAndNoRow)
{
    startBroker();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays("mqtt: connected"));
    site.run(2s);
    outage(30s, "mqtt: broker back");
    site.run(2s);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(500ms);
    const std::vector<std::string> rows = site.rows();
    EXPECT_GT(rows.size(), 600u) << "20 lines a second for 34 s and more, every one a row";
    // The rows go on through the outage: no second without its rows.
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_LE(secondsOfDay(rows[i]) - secondsOfDay(rows[i - 1]), 1) << rows[i - 1] << " then " << rows[i];
    expectSamplesAsTheRows(messages("sample"), rows, true);
}

TEST_F(MqttFixture, BeyondTheBoundTheOldestAreDroppedCountedAndTheRestSentInOrder)
{
    startBroker();
    site.start(mqtt() + QStringList{"--mqtt-queue", "20", "--mqtt-spool-mb", "0"}); // memory alone
    ASSERT_TRUE(site.journalSays("mqtt: connected"));
    site.run(1s);
    outage(3s, "samples dropped while it was away"); // some 60 samples at 20 a second
    EXPECT_EQ(site.stop(), 0);
    // The stop line counts what was dropped while away and what was still unacknowledged at
    // stop (lost without a spool; it may have reached the broker all the same).
    const std::smatch counts = [&] {
        static const std::regex stopLine("mqtt: stop: \\d+ messages delivered, (\\d+) lost[^,]*, (\\d+) dropped, ");
        std::smatch match;
        std::regex_search(site.journal, match, stopLine);
        return match;
    }();
    ASSERT_EQ(counts.size(), 3u) << site.journal;
    const std::size_t lost = std::stoul(counts[1].str());
    const std::size_t dropped = std::stoul(counts[2].str());
    EXPECT_GE(dropped, 1u);
    const std::size_t rowCount = site.rows().size();
    // The subscriber comes back on its own second after the broker: wait for what it is owed.
    std::set<qint64> distinct;
    std::vector<qint64> sequences;
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(100ms);
        sequences.clear();
        for (const auto &m : messages("sample"))
            sequences.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object().value("sequence").toInteger());
        distinct = std::set<qint64>(sequences.begin(), sequences.end());
        if (distinct.size() + dropped + lost >= rowCount)
            break;
    }
    ASSERT_FALSE(sequences.empty());
    EXPECT_TRUE(std::is_sorted(sequences.begin(), sequences.end()));
    // Gaps where the oldest waiting were dropped; every row still in the file; what is missing
    // is what the stop line counts.
    std::size_t gaps = 0;
    for (std::size_t i = 1; i < sequences.size(); ++i)
        gaps += sequences[i] > sequences[i - 1] + 1;
    EXPECT_GE(gaps, 1u);
    const std::size_t missing = rowCount - distinct.size();
    EXPECT_GE(missing, dropped) << site.journal;
    EXPECT_LE(missing, dropped + lost) << site.journal;
    EXPECT_LE(rowCount - static_cast<std::size_t>(sequences.back()), lost);
}

// The compact format: every row's sample once, in order, a second's samples a message, in
// at most 35 % of the bytes of a message a sample.
TEST_F(MqttFixture, CompactFormatCarriesEveryRowInAThirdOfTheBytes)
{
    startBroker();
    site.start(mqtt() + QStringList{"--duration", "3", "--mqtt-format", "compact"});
    ASSERT_TRUE(site.logger.waitForFinished(10000));
    EXPECT_EQ(site.logger.exitCode(), 0);
    std::this_thread::sleep_for(300ms);
    const std::vector<std::string> rows = site.rows();
    std::size_t compactBytes = 0;
    qint64 next = 1;
    std::size_t i = 0;
    for (const auto &message : messages("samples")) {
        compactBytes += message.payload.size() + message.topic.size();
        const QJsonObject second = QJsonDocument::fromJson(QByteArray::fromStdString(message.payload)).object();
        EXPECT_EQ(second.value("seq").toInteger(), next) << "in order, none missing";
        const QJsonArray d = second.value("d").toArray();
        next += d.size();
        EXPECT_LE(d.size(), 21) << "one second's samples at 20 a second";
        for (const QJsonValue &sample : d) {
            ASSERT_LT(i, rows.size());
            const std::vector<std::string> fields = split(rows[i++], ',');
            const QJsonArray numbers = sample.toArray();
            ASSERT_EQ(numbers.size(), static_cast<qsizetype>(fields.size()));
            for (std::size_t c = 1; c < fields.size(); ++c)
                EXPECT_EQ(numbers[static_cast<qsizetype>(c)].toDouble(), std::strtod(fields[c].c_str(), nullptr));
        }
    }
    EXPECT_EQ(i, rows.size());
    EXPECT_TRUE(messages("sample").empty());

    // The same site's samples a message each, for their bytes.
    Site json;
    json.start(mqtt() + QStringList{"--duration", "3"});
    ASSERT_TRUE(json.logger.waitForFinished(10000));
    std::this_thread::sleep_for(300ms);
    std::size_t jsonBytes = 0;
    const auto samples = messages("sample");
    for (const auto &message : samples)
        jsonBytes += message.payload.size() + message.topic.size();
    ASSERT_FALSE(samples.empty());
    const double compactPerSample = static_cast<double>(compactBytes) / static_cast<double>(rows.size());
    const double jsonPerSample = static_cast<double>(jsonBytes) / static_cast<double>(samples.size());
    EXPECT_LE(compactPerSample, 0.35 * jsonPerSample) << compactPerSample << " against " << jsonPerSample;
}

// SIGTERM with the broker away, then a start with it back: the first run's samples come from
// the spool, in order, before the second run's, and every row of both runs has its sample.
TEST_F(MqttFixture, WhatWasNotDeliveredAtStopIsSentFirstAfterTheRestart)
{
    startBroker();
    broker->stop();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays("file opened: ")) << site.journal;
    site.run(2s);
    EXPECT_EQ(site.stop(), 0);
    const std::size_t firstRows = site.rows().size();
    ASSERT_GT(firstRows, 20u);
    EXPECT_NE(site.journal.find("mqtt: stop: 0 messages delivered, " + std::to_string(firstRows + 2)
                                + " left in the spool for the next start "),
              std::string::npos)
        << "every sample and both file events, none dropped\n" << site.journal;

    ASSERT_TRUE(broker->start());
    site.journal.clear();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays(std::to_string(firstRows + 2) + " messages an earlier run did not deliver"))
        << site.journal;
    ASSERT_TRUE(site.journalSays("mqtt: connected", 10s)) << site.journal;
    site.run(1s);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(500ms);
    const std::vector<std::string> rows = site.rows();
    std::vector<std::string> runs; // in the order of their first sample
    std::map<std::string, std::vector<qint64>> sequences;
    for (const auto &m : messages("sample")) {
        const QJsonObject sample = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
        const std::string run = sample.value("run").toString().toStdString();
        if (sequences.find(run) == sequences.end())
            runs.push_back(run);
        sequences[run].push_back(sample.value("sequence").toInteger());
    }
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(sequences[runs[0]].size(), firstRows) << "the spooled run first, whole";
    std::size_t total = 0;
    for (const std::string &run : runs) {
        const std::vector<qint64> &s = sequences[run];
        for (std::size_t i = 0; i < s.size(); ++i)
            EXPECT_EQ(s[i], static_cast<qint64>(i + 1)) << "in order, once, none missing";
        total += s.size();
    }
    EXPECT_EQ(total, rows.size());
    EXPECT_NE(site.journal.find(", 0 left in the spool for the next start "), std::string::npos) << site.journal;
}

// kill -9 with the broker away: what reached the spool (every --sync-seconds) is sent after the
// restart; at most the last sync period's samples are lost.
TEST_F(MqttFixture, KillNineLosesAtMostTheLastSyncPeriod)
{
    startBroker();
    broker->stop();
    site.start(mqtt() + QStringList{"--sync-seconds", "1"});
    ASSERT_TRUE(site.journalSays("file opened: ")) << site.journal;
    site.run(3s);
    site.logger.kill();
    site.logger.waitForFinished(5000);
    const std::size_t firstRows = site.rows().size();
    ASSERT_GT(firstRows, 40u);
    ASSERT_TRUE(broker->start());
    site.journal.clear();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays("mqtt: connected", 10s)) << site.journal;
    site.run(1s);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(500ms);
    std::map<std::string, std::vector<qint64>> sequences;
    std::string firstRun;
    for (const auto &m : messages("sample")) {
        const QJsonObject sample = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
        const std::string run = sample.value("run").toString().toStdString();
        if (firstRun.empty())
            firstRun = run;
        sequences[run].push_back(sample.value("sequence").toInteger());
    }
    const std::vector<qint64> &first = sequences[firstRun];
    ASSERT_FALSE(first.empty()) << site.journal;
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(first[i], static_cast<qint64>(i + 1)) << "the spooled run from its start, in order";
    // 20 samples a second; a sync period and the moment it takes at most.
    EXPECT_GE(first.size() + 45, firstRows) << first.size() << " of " << firstRows;
    EXPECT_LE(first.size(), firstRows);
}

TEST_F(MqttFixture, NoBrokerAtStartLogsAndPublishesOnceOneAppears)
{
    startBroker(); // the subscriber's session is kept over the broker's restart
    broker->stop();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays("mqtt: cannot reach the broker")) << site.journal;
    site.run(2s);
    EXPECT_TRUE(site.journalSays("file opened: "));
    ASSERT_TRUE(broker->start());
    ASSERT_TRUE(site.journalSays("mqtt: connected", 20s)) << site.journal;
    site.run(1s);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(1s);
    expectSamplesAsTheRows(messages("sample"), site.rows());
}

TEST_F(MqttFixture, WrongPasswordIsNamedInTheJournalAndLoggingGoesOn)
{
    QTemporaryDir dir;
    const QString passwords = dir.path() + "/passwords";
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-c", "-b", passwords, "site", "right-secret-42"}), 0);
    startBroker(passwords.toStdString());
    site.start(mqtt() + QStringList{"--mqtt-user", "site"}, "wrong-secret-77");
    ASSERT_TRUE(site.journalSays("the broker refused the connection")) << site.journal;
    site.run(6s); // several attempts: said once, and never as a broker that cannot be reached
    EXPECT_EQ(site.stop(), 0);
    std::size_t said = 0;
    for (std::size_t at = site.journal.find("not authorised"); at != std::string::npos;
         at = site.journal.find("not authorised", at + 1))
        ++said;
    EXPECT_EQ(said, 1u) << site.journal;
    EXPECT_EQ(site.journal.find("cannot reach the broker"), std::string::npos) << site.journal;
    EXPECT_EQ(site.journal.find("wrong-secret-77"), std::string::npos) << "the password is never written";
    EXPECT_GT(site.rows().size(), 10u);

    // The right one, from the INI file.
    Site second;
    const std::string ini = dir.path().toStdString() + "/headless.ini";
    std::ofstream(ini) << "mqtt-user = site\nmqtt-password = right-secret-42\n";
    second.start(mqtt() + QStringList{"--config", QString::fromStdString(ini)});
    EXPECT_TRUE(second.journalSays("mqtt: connected")) << second.journal;
    EXPECT_EQ(second.stop(), 0);
}

QJsonObject payloadOf(const test::Subscriber::Message &message)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(message.payload)).object();
}

// After kill -9 the controller streams on; the next run's first lines come before its
// version line. They are no samples: every published sample is a row of the run's file.
TEST_F(MqttFixture, RestartWhileTheControllerStillStreamsPublishesOnlyTheRunsRows)
{
    startBroker();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays("file opened: ")) << site.journal;
    site.run(1s);
    site.logger.kill(); // no ESC: the simulator goes on streaming
    site.logger.waitForFinished(5000);
    site.run(500ms);
    // The broker says it for the logger: its last will, "offline", unexpected.
    bool willSent = false;
    for (const auto &message : messages("status")) {
        const QJsonObject status = payloadOf(message);
        willSent = willSent || (status.value("status") == "offline" && status.value("unexpected").toBool()
                                && status.value("online_since").isString());
    }
    EXPECT_TRUE(willSent);
    site.journal.clear();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays("file opened: ")) << site.journal;
    site.run(2s);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(500ms);

    std::vector<std::string> runs;
    std::map<std::string, std::vector<test::Subscriber::Message>> byRun;
    for (const auto &message : messages("sample")) {
        const QJsonObject sample = payloadOf(message);
        EXPECT_EQ(sample.value("controller_version").toInt(), 2) << message.payload;
        EXPECT_NE(sample.value("grid_voltage_v").toDouble(), 0) << message.payload;
        const std::string run = sample.value("run").toString().toStdString();
        if (byRun[run].empty())
            runs.push_back(run);
        byRun[run].push_back(message);
    }
    ASSERT_EQ(runs.size(), 2u) << "each run of the program names itself";
    EXPECT_NE(runs[0], runs[1]);
    expectSamplesAsTheRows(byRun[runs[1]], site.rows(true));
}

// The retained health follows the link: streaming, the port lost when the controller goes
// away, and "stopped" before the retained "offline" at the end.
TEST_F(MqttFixture, HealthFollowsTheLinkAndSaysStoppedBeforeOffline)
{
    startBroker();
    site.start(mqtt());
    ASSERT_TRUE(site.journalSays("file opened: ")) << site.journal;
    site.run(1500ms);
    site.simulator.kill(); // the pseudo-terminal hangs up: the port is lost
    site.simulator.waitForFinished(5000);
    ASSERT_TRUE(site.journalSays("status: COMポート切断")) << site.journal;
    site.run(1500ms);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(500ms);

    std::vector<std::string> links;
    int stoppedAt = -1, offlineAt = -1, index = 0;
    QJsonObject streaming;
    for (const auto &message : subscriber->all()) {
        if (message.topic == std::string(kTopic) + "/health") {
            const QJsonObject health = payloadOf(message);
            const std::string link = health.value("link").toString().toStdString();
            if (links.empty() || links.back() != link)
                links.push_back(link);
            if (link == "streaming")
                streaming = health;
            if (link == "stopped")
                stoppedAt = index;
        }
        if (message.topic == std::string(kTopic) + "/status" && message.payload.find("\"status\":\"offline\"") != std::string::npos)
            offlineAt = index;
        ++index;
    }
    ASSERT_FALSE(links.empty());
    EXPECT_NE(std::find(links.begin(), links.end(), "streaming"), links.end());
    EXPECT_NE(std::find(links.begin(), links.end(), "port_lost"), links.end());
    EXPECT_EQ(links.back(), "stopped");
    EXPECT_GE(stoppedAt, 0);
    EXPECT_LT(stoppedAt, offlineAt) << "the last health comes before the retained offline";
    ASSERT_FALSE(streaming.isEmpty());
    EXPECT_TRUE(streaming.value("file").toString().endsWith(".csv"));
    EXPECT_TRUE(streaming.value("log_error").isNull());
    EXPECT_GT(streaming.value("free_disk_mb").toInteger(), 0);
    EXPECT_EQ(streaming.value("run").toString(), payloadOf(messages("sample").front()).value("run").toString());
    for (const char *key : {"time", "lines_received", "rows_written", "queue", "dropped_samples", "dropped_events",
                            "last_sample_time"})
        EXPECT_TRUE(streaming.contains(key)) << key;
}

// A port missing at start: exit 3, and the broker is told why before "offline".
TEST_F(MqttFixture, APortMissingAtStartIsToldToTheBrokerWithItsReason)
{
    startBroker();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", site.runtime.path());
    env.insert("XDG_STATE_HOME", site.state.path());
    site.logger.setProcessEnvironment(env);
    site.logger.start(SVG_HEADLESS_PATH, QStringList{"--port", "/dev/ttyNoSuchAdapter", "--folder", site.logs.path(),
                                                     "--mqtt-topic", kTopic} + mqtt());
    ASSERT_TRUE(site.logger.waitForFinished(10000));
    EXPECT_EQ(site.logger.exitCode(), 3);
    std::this_thread::sleep_for(300ms);
    const auto health = messages("health");
    ASSERT_FALSE(health.empty());
    const QJsonObject last = QJsonDocument::fromJson(QByteArray::fromStdString(health.back().payload)).object();
    EXPECT_EQ(last.value("link").toString(), "port_missing");
    EXPECT_NE(last.value("log_error").toString().toStdString().find("/dev/ttyNoSuchAdapter"), std::string::npos)
        << health.back().payload;
    const auto status = messages("status");
    ASSERT_FALSE(status.empty());
    EXPECT_NE(status.back().payload.find("\"status\":\"offline\""), std::string::npos);
}

// A log folder that cannot be made: the health message carries the status text.
TEST_F(MqttFixture, HealthCarriesTheLogFilesStatusText)
{
    startBroker();
    QTemporaryDir dir;
    const QString blocker = dir.path() + "/a-file";
    std::ofstream(blocker.toStdString()) << "not a folder";
    site.logger.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", site.runtime.path());
    env.insert("XDG_STATE_HOME", site.state.path());
    site.logger.setProcessEnvironment(env);
    site.logger.start(SVG_HEADLESS_PATH, QStringList{"--port", "svg-sim", "--folder", blocker + "/logs", "--mqtt-topic",
                                                     kTopic} + mqtt());
    ASSERT_TRUE(site.journalSays("ログファイルを作成できません")) << site.journal;
    site.run(1500ms);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(300ms);
    bool said = false;
    for (const auto &message : messages("health"))
        said = said || payloadOf(message).value("log_error").toString().startsWith("ログファイルを作成できません");
    EXPECT_TRUE(said) << site.journal;
}

// Interval rows instead of every line: each row of the file once, with its numbers.
TEST_F(MqttFixture, IntervalRowsArePublishedInsteadOfSamples)
{
    startBroker();
    site.start(mqtt() + QStringList{"--mode", "interval", "--interval", "1", "--mqtt-publish", "rows"});
    ASSERT_TRUE(site.journalSays("file opened: ")) << site.journal;
    site.run(3500ms);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(messages("sample").empty());
    const std::vector<std::string> rows = site.rows();
    const auto published = messages("interval");
    ASSERT_GE(rows.size(), 2u);
    ASSERT_EQ(published.size(), rows.size());
    const char *keys[] = {"grid_voltage_v", "load_active_power_kw", "load_reactive_power_kvar", "svg_output_kvar",
                          "negative_sequence_voltage_d_v", "negative_sequence_voltage_q_v",
                          "negative_sequence_command_d_a", "negative_sequence_command_q_a"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string> fields = split(rows[i], ',');
        ASSERT_EQ(fields.size(), 27u) << rows[i];
        const QJsonObject row = payloadOf(published[i]);
        EXPECT_EQ(csvTime(row.value("time").toString().toStdString()), fields[0]);
        for (std::size_t k = 0; k < 8; ++k) {
            EXPECT_EQ(row.value(keys[k]).toDouble(), std::strtod(fields[1 + k].c_str(), nullptr)) << keys[k];
            EXPECT_EQ(row.value(QString(keys[k]) + "_max").toDouble(), std::strtod(fields[9 + k].c_str(), nullptr));
            EXPECT_EQ(row.value(QString(keys[k]) + "_min").toDouble(), std::strtod(fields[17 + k].c_str(), nullptr));
        }
        EXPECT_EQ(row.value("sample_count").toDouble(), std::strtod(fields[25].c_str(), nullptr));
        EXPECT_EQ(row.value("status_word").toDouble(), std::strtod(fields[26].c_str(), nullptr));
    }
}

// A certificate authority and a broker certificate for 127.0.0.1, made with openssl.
bool makeCertificates(const QString &folder, const QString &name)
{
    const QString ca = folder + "/" + name;
    auto run = [](const QStringList &arguments) {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels); // its progress dots stay out of the log
        openssl.start("openssl", arguments);
        return openssl.waitForFinished(30000) && openssl.exitCode() == 0;
    };
    return run({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca + "-ca.key", "-out", ca + "-ca.pem",
                "-days", "2", "-subj", "/CN=svg-logger test CA " + name})
        && run({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", ca + "-server.key", "-out", ca + "-server.csr",
                "-subj", "/CN=localhost"})
        && run({"x509", "-req", "-in", ca + "-server.csr", "-CA", ca + "-ca.pem", "-CAkey", ca + "-ca.key",
                "-CAcreateserial", "-out", ca + "-server.pem", "-days", "2", "-extfile", folder + "/san.cnf"});
}

bool runOpenssl(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl", arguments);
    return openssl.waitForFinished(30000) && openssl.exitCode() == 0;
}

// Mutual TLS: a broker that asks for a client certificate refuses the logger without one and
// takes it with its certificate and its encrypted key, the password from the environment.
// A certificate made out to another host is named as such; a CA file that is no certificate
// is refused at start.
TEST_F(MqttFixture, ClientCertificatesHostNamesAndBadCaFiles)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    std::ofstream((d + "/san.cnf").toStdString()) << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    ASSERT_TRUE(makeCertificates(d, "site"));
    ASSERT_TRUE(runOpenssl({"req", "-newkey", "rsa:2048", "-passout", "pass:key-secret-9", "-keyout", d + "/client.key",
                            "-out", d + "/client.csr", "-subj", "/CN=svg-logger site"}));
    ASSERT_TRUE(runOpenssl({"x509", "-req", "-in", d + "/client.csr", "-CA", d + "/site-ca.pem", "-CAkey",
                            d + "/site-ca.key", "-CAcreateserial", "-out", d + "/client.pem", "-days", "2"}));
    const std::string base = d.toStdString() + "/site";
    test::Broker::Tls tls{base + "-ca.pem", base + "-server.pem", base + "-server.key", true};
    startBroker({}, &tls);
    const QStringList ca{"--mqtt-ca", d + "/site-ca.pem"};

    Site without;
    without.start(mqtt("mqtts") + ca);
    ASSERT_TRUE(without.journalSays("mqtt: cannot reach the broker")) << without.journal;
    EXPECT_EQ(without.stop(), 0);

    site.start(mqtt("mqtts") + ca + QStringList{"--mqtt-cert", d + "/client.pem", "--mqtt-key", d + "/client.key"},
               {}, "key-secret-9");
    ASSERT_TRUE(site.journalSays("mqtt: connected")) << site.journal;
    site.run(1s);
    EXPECT_EQ(site.stop(), 0);
    EXPECT_EQ(site.journal.find("key-secret-9"), std::string::npos) << "the key's password is never written";
    std::this_thread::sleep_for(300ms);
    expectSamplesAsTheRows(messages("sample"), site.rows());

    Site wrongPassword;
    wrongPassword.start(mqtt("mqtts") + ca + QStringList{"--mqtt-cert", d + "/client.pem", "--mqtt-key", d + "/client.key"},
                        {}, "not-the-password");
    ASSERT_TRUE(wrongPassword.logger.waitForFinished(10000));
    EXPECT_EQ(wrongPassword.logger.exitCode(), 2);
    EXPECT_NE(wrongPassword.logger.readAllStandardError().toStdString().find("holds no private key this password opens"),
              std::string::npos);

    // A server certificate for another host than the one asked for.
    QTemporaryDir otherDir;
    std::ofstream((otherDir.path() + "/san.cnf").toStdString()) << "subjectAltName=DNS:elsewhere.example\n";
    ASSERT_TRUE(makeCertificates(otherDir.path(), "site"));
    const std::string other = otherDir.path().toStdString() + "/site";
    test::Broker::Tls elsewhere{other + "-ca.pem", other + "-server.pem", other + "-server.key"};
    test::Broker misnamed({}, &elsewhere);
    ASSERT_TRUE(misnamed.start());
    Site wrongHost;
    wrongHost.start({"--mqtt", QString("mqtts://127.0.0.1:%1").arg(misnamed.port), "--mqtt-ca",
                     otherDir.path() + "/site-ca.pem"});
    ASSERT_TRUE(wrongHost.journalSays("not made out to 127.0.0.1")) << wrongHost.journal;
    EXPECT_EQ(wrongHost.stop(), 0);

    // A CA file that holds no certificate.
    std::ofstream((d + "/not-a-ca.pem").toStdString()) << "hello\n";
    Site badCa;
    badCa.start(mqtt("mqtts") + QStringList{"--mqtt-ca", d + "/not-a-ca.pem"});
    ASSERT_TRUE(badCa.logger.waitForFinished(10000));
    EXPECT_EQ(badCa.logger.exitCode(), 2);
    EXPECT_NE(badCa.logger.readAllStandardError().toStdString().find("holds no PEM certificate"), std::string::npos);
}

TEST_F(MqttFixture, TlsBrokerAcceptsTheLoggerWithItsCaAndAnotherCaIsRefused)
{
    QTemporaryDir dir;
    std::ofstream(dir.path().toStdString() + "/san.cnf") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    ASSERT_TRUE(makeCertificates(dir.path(), "site"));
    ASSERT_TRUE(makeCertificates(dir.path(), "other"));
    const std::string base = dir.path().toStdString() + "/site";
    const test::Broker::Tls tls{base + "-ca.pem", base + "-server.pem", base + "-server.key"};
    startBroker({}, &tls);
    site.start(mqtt("mqtts") + QStringList{"--mqtt-ca", dir.path() + "/site-ca.pem"});
    ASSERT_TRUE(site.journalSays("mqtt: connected")) << site.journal;
    site.run(1s);
    EXPECT_EQ(site.stop(), 0);
    std::this_thread::sleep_for(300ms);
    expectSamplesAsTheRows(messages("sample"), site.rows());

    Site refused;
    refused.start(mqtt("mqtts") + QStringList{"--mqtt-ca", dir.path() + "/other-ca.pem"});
    ASSERT_TRUE(refused.journalSays("mqtt: cannot reach the broker")) << refused.journal;
    refused.run(1s);
    EXPECT_EQ(refused.stop(), 0);
    EXPECT_NE(refused.journal.find("certificate verify failed"), std::string::npos) << refused.journal;
    EXPECT_NE(refused.journal.find("the broker's certificate is not trusted: "),
              std::string::npos)
        << refused.journal;
    EXPECT_GT(refused.rows().size(), 10u);

    // Without a CA of its own the system's trusted CAs decide: TLS is spoken, and the test's
    // CA, which the system does not know, is refused.
    Site systemCas;
    systemCas.start(mqtt("mqtts"));
    ASSERT_TRUE(systemCas.journalSays("mqtt: cannot reach the broker")) << systemCas.journal;
    EXPECT_EQ(systemCas.stop(), 0);
    EXPECT_NE(systemCas.journal.find("certificate verify failed"), std::string::npos) << systemCas.journal;
}

} // namespace
} // namespace svglogger
