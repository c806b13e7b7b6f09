#include "mqtt/MqttMessages.h"

#include "link/Quantity.h"
#include "recording/CsvText.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <mosquitto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace svglogger::mqtt {

namespace {

constexpr std::size_t kMaxTopicBytes = 65535; // MQTT's length field
// The topics under the prefix; the longest decides how long a prefix may be.
constexpr const char *kSuffixes[] = {"/sample", "/samples", "/interval", "/event", "/health", "/status"};

QLatin1StringView latin1(std::string_view text)
{
    return QLatin1StringView(text.data(), static_cast<qsizetype>(text.size()));
}

// "2026-12-07T11:05:03[.234]+09:00": a local time with its offset. Integers only, so the
// same in every locale.
QByteArray isoText(const QDateTime &local, bool withMilliseconds)
{
    const QDate date = local.date();
    const QTime time = local.time();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    char text[48];
    int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", date.year(), date.month(),
                               date.day(), time.hour(), time.minute(), time.second());
    if (withMilliseconds)
        length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%03d", time.msec());
    std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "%c%02d:%02d",
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return QByteArray(text);
}

QJsonObject heading(const QByteArray &time, const std::string &run, std::uint64_t sequence,
                    ControllerVersion controllerVersion)
{
    return {{"time", QString::fromLatin1(time)},
            {"run", QString::fromStdString(run)},
            {"sequence", static_cast<qint64>(sequence)},
            {"controller_version", versionNumber(controllerVersion)}};
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray isoTime(std::int64_t milliseconds)
{
    return isoText(QDateTime::fromMSecsSinceEpoch(milliseconds), true);
}

QByteArray isoTime(const LocalDateTime &time)
{
    return isoText(QDateTime(QDate(time.year, time.month, time.day), QTime(time.hour, time.minute, time.second)),
                   false);
}

QByteArray samplePayload(const LineRecord &record, const QByteArray &time, std::uint64_t sequence,
                         const std::string &run)
{
    const ControllerVersion version = record.controllerVersion();
    QJsonObject object = heading(time, run, sequence, version);
    object.insert(latin1(kStatusWordKey), rowNumber(record.sample[MeasurementSample::StatusWord], 0));
    const std::size_t k = quantitiesSentBy(version);
    for (std::size_t q = 0; q < k; ++q)
        object.insert(latin1(kQuantities[q].jsonKey),
                      rowNumber(record.sample[kQuantities[q].index], kQuantities[q].continuousDecimals));
    return compact(object);
}

QByteArray compactPayload(const std::vector<CompactSample> &samples, ControllerVersion version,
                          std::uint64_t firstSequence, const std::string &run)
{
    const std::size_t k = quantitiesSentBy(version);
    QJsonArray keys;
    for (std::size_t q = 0; q < k; ++q)
        keys.append(latin1(kQuantities[q].compactKey));
    keys.append(latin1(kStatusWordCompactKey));
    QJsonArray rows;
    const std::int64_t first = samples.empty() ? 0 : samples.front().milliseconds;
    for (const CompactSample &s : samples) {
        QJsonArray row{static_cast<qint64>(s.milliseconds - first)};
        for (std::size_t q = 0; q < k; ++q)
            row.append(rowNumber(s.sample[kQuantities[q].index], kQuantities[q].continuousDecimals));
        row.append(rowNumber(s.sample[MeasurementSample::StatusWord], 0));
        rows.append(row);
    }
    return compact({{"run", QString::fromStdString(run)},
                    {"seq", static_cast<qint64>(firstSequence)},
                    {"t", static_cast<qint64>(first)},
                    {"v", versionNumber(version)},
                    {"k", keys},
                    {"d", rows}});
}

QByteArray intervalPayload(const IntervalFigures &figures, ControllerVersion controllerVersion,
                           std::uint64_t sequence, const std::string &run)
{
    QJsonObject object = heading(isoTime(figures.time), run, sequence, controllerVersion);
    for (std::size_t q = 0; q < figures.quantities; ++q) {
        const int decimals = kQuantities[q].intervalDecimals;
        const QString key = latin1(kQuantities[q].jsonKey);
        object.insert(key, rowNumber(figures.average[q], decimals));
        object.insert(key + "_max", rowNumber(figures.maximum[q], decimals));
        object.insert(key + "_min", rowNumber(figures.minimum[q], decimals));
    }
    object.insert("sample_count", figures.sampleCount);
    object.insert(latin1(kStatusWordKey), rowNumber(figures.statusWord, 0));
    return compact(object);
}

QByteArray eventPayload(const char *name, QJsonObject details, std::int64_t milliseconds, const std::string &run)
{
    details.insert("event", QString::fromLatin1(name));
    details.insert("time", QString::fromLatin1(isoTime(milliseconds)));
    details.insert("run", QString::fromStdString(run));
    return compact(details);
}

QByteArray healthPayload(const HealthReport &report, const OutboxFigures &outbox, std::int64_t milliseconds,
                         const std::string &run)
{
    auto textOrNull = [](const std::string &text) {
        return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(text));
    };
    return compact({
        {"time", QString::fromLatin1(isoTime(milliseconds))},
        {"run", QString::fromStdString(run)},
        {"client_id", QString::fromStdString(outbox.clientId)},
        {"link", QString::fromLatin1(report.linkName())},
        {"file", textOrNull(report.state.file)},
        {"lines_received", static_cast<qint64>(report.linesReceived)},
        {"rows_written", static_cast<qint64>(report.rowsWritten)},
        {"queue", static_cast<qint64>(outbox.queued)},
        {"dropped_samples", static_cast<qint64>(outbox.droppedSamples)},
        {"dropped_events", static_cast<qint64>(outbox.droppedEvents)},
        {"refused", static_cast<qint64>(outbox.refused)},
        {"log_error", textOrNull(report.state.logError)},
        {"free_disk_mb", report.freeDiskMb ? QJsonValue(static_cast<qint64>(*report.freeDiskMb))
                                           : QJsonValue(QJsonValue::Null)},
        {"last_sample_time", textOrNull(outbox.lastSampleTime)},
        {"clock_synchronised", report.clockSynchronised ? QJsonValue(*report.clockSynchronised)
                                                        : QJsonValue(QJsonValue::Null)},
    });
}

QByteArray statusPayload(const char *status, const std::string &run, std::int64_t milliseconds, bool will)
{
    QJsonObject object{{"status", QString::fromLatin1(status)}, {"run", QString::fromStdString(run)}};
    object.insert(will ? "online_since" : "time", QString::fromLatin1(isoTime(milliseconds)));
    if (will)
        object.insert("unexpected", true);
    return compact(object);
}

std::string prefixProblem(const std::string &prefix)
{
    if (prefix.empty())
        return "is empty";
    if (mosquitto_validate_utf8(prefix.c_str(), static_cast<int>(std::min(prefix.size(), kMaxTopicBytes + 1)))
        != MOSQ_ERR_SUCCESS)
        return "is not valid UTF-8 (or holds a control character)";
    if (prefix.size() + std::strlen("/interval") > kMaxTopicBytes)
        return "is longer than MQTT's " + std::to_string(kMaxTopicBytes - std::strlen("/interval")) + " bytes";
    if (prefix.front() == '$')
        return "starts with '$', which brokers keep for themselves";
    if (prefix.find_first_of("+#") != std::string::npos)
        return "holds a wildcard ('+' or '#')";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return "has an empty level (a '/' at either end, or '//')";
    for (const char *suffix : kSuffixes)
        if (mosquitto_pub_topic_check((prefix + suffix).c_str()) != MOSQ_ERR_SUCCESS)
            return "is refused by libmosquitto";
    return {};
}

} // namespace svglogger::mqtt
