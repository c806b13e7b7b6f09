#pragma once

#include "common/Clock.h"
#include "pipeline/LinkCondition.h"
#include "recording/LineRecord.h"

#include <QByteArray>
#include <QJsonObject>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace svglogger {

// What the health message says of the run; the publisher adds its own numbers.
struct HealthReport {
    // The run's state: a change of it is sent at once, the counts only with the next message.
    struct State {
        LinkCondition link = LinkCondition::Stopped;
        bool portMissing = false; // the run could not start for want of its port: "port_missing" whatever link is
        std::string file;         // the open log file; empty: none
        std::string logError;     // the log file's status text; empty: none
        bool operator==(const State &) const = default;
    };
    State state;
    std::uint64_t linesReceived = 0;
    std::int64_t rowsWritten = 0;
    std::optional<std::int64_t> freeDiskMb; // of the log folder's disk; none when it cannot be asked
    std::optional<bool> clockSynchronised;  // the kernel's word (NTP); none when it cannot be asked

    // The link as the message names it: "port_missing" or the condition's word.
    const char *linkName() const { return state.portMissing ? "port_missing" : linkConditionName(state.link); }
    bool operator==(const HealthReport &) const = default;
};

// The publisher's own numbers in the health message.
struct OutboxFigures {
    std::size_t queued = 0;
    std::uint64_t droppedSamples = 0;
    std::uint64_t droppedEvents = 0;
    std::string lastSampleTime; // ISO time of the last sample or interval row; empty: none yet
    std::uint64_t refused = 0;  // messages the broker refused
    std::string clientId;
};

// The MQTT messages' payloads, as pure functions of what they carry: compact JSON with
// numbers that do not depend on the C locale. Every message names its run.
namespace mqtt {

// "2026-12-07T11:05:03.234+09:00": milliseconds since 1970 in local time with its offset.
QByteArray isoTime(std::int64_t milliseconds);
// "2026-12-07T11:05:03+09:00": a local time of the CSV.
QByteArray isoTime(const LocalDateTime &time);

// One sample: its time (isoTime's text), the run, the sequence, the controller's version, the
// status word and every quantity the controller sends, each the number its continuous row writes.
QByteArray samplePayload(const LineRecord &record, const QByteArray &time, std::uint64_t sequence,
                         const std::string &run);
// A sample as the compact format carries it.
struct CompactSample {
    std::int64_t milliseconds = 0; // its time since 1970 (UTC)
    MeasurementSample sample;
};
// The samples of one second, for links that pay by the byte: the run, the first sample's
// sequence ("seq", the others follow it by one), its time in milliseconds since 1970 UTC
// ("t"), the controller's version ("v"), the columns' names ("k": the quantities in the CSV's
// order, then "st", the status word) and one row a sample ("d": milliseconds after "t", then
// the numbers its continuous row writes).
QByteArray compactPayload(const std::vector<CompactSample> &samples, ControllerVersion version,
                          std::uint64_t firstSequence, const std::string &run);

// One interval row: its stamp, averages (under the sample keys), maxima (_max), minima (_min),
// the sample count and the status word, each the number its row writes.
QByteArray intervalPayload(const IntervalFigures &figures, ControllerVersion controllerVersion,
                           std::uint64_t sequence, const std::string &run);
// An event of the recording or the port ("file_opened", "port_lost", ...) with its details.
QByteArray eventPayload(const char *name, QJsonObject details, std::int64_t milliseconds, const std::string &run);
// The retained health message.
QByteArray healthPayload(const HealthReport &report, const OutboxFigures &outbox, std::int64_t milliseconds,
                         const std::string &run);

// The logger's presence on <prefix>/status: "online" or "offline" with the run and the time;
// the last will is "offline" with the time the connection was made ("online_since") and
// "unexpected", as the broker sends it when the logger vanished.
QByteArray statusPayload(const char *status, const std::string &run, std::int64_t milliseconds, bool will = false);

// Why a topic prefix cannot be published under (an empty level, a leading "$", a wildcard,
// invalid UTF-8, too long for MQTT), or empty when it can.
std::string prefixProblem(const std::string &prefix);

} // namespace mqtt

} // namespace svglogger
