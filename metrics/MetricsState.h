#pragma once

#include "link/ControllerVersion.h"
#include "link/MeasurementSample.h"
#include "pipeline/RunEvents.h"
#include "recording/CsvLayout.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace svglogger {

// What the Prometheus endpoint serves, as one value: copied out under a lock at each scrape,
// so a scrape never waits on the receive path nor changes the run.
struct MetricsState {
    using SteadyTime = std::chrono::steady_clock::time_point;

    // Who serves it and since when.
    std::string version;
    std::string revision;                        // git's, empty outside a checkout
    SamplingMode mode = SamplingMode::Continuous;
    ControllerVersion controllerVersion = ControllerVersion::Unknown;
    double startTimeSeconds = 0;                 // since 1970-01-01 UTC

    // The link.
    LinkCondition link = LinkCondition::Stopped;
    std::array<std::uint64_t, kWakeReasonCount> wakeups{}; // by WakeReason
    std::uint64_t portReconnects = 0;

    // Data.
    std::uint64_t linesReceived = 0;             // every line, prompts and garbled ones too
    std::uint64_t samples = 0;                   // decoded measurement lines
    std::uint64_t rowsWritten = 0;
    std::uint64_t rowsFailed = 0;
    std::optional<double> lastSampleSeconds;     // the last sample's time, since 1970-01-01 UTC
    std::optional<SteadyTime> lastSampleAt;      // the same on the monotonic clock: staleness
    std::chrono::milliseconds staleAfter{5000};  // the watchdog's no-data time

    // The log file and its disk.
    bool fileOpen = false;
    bool fileError = false;                      // the file's own failure: rows are being lost
    bool diskShort = false;                      // below --min-free-mb with nothing left to remove
    std::optional<std::int64_t> diskFreeBytes;
    std::uint64_t retentionRemoved = 0;

    // The trigger.
    bool triggerArmed = false;
    std::uint64_t triggerFired = 0;

    // MQTT, when a broker is configured.
    struct Mqtt {
        bool connected = false;
        std::uint64_t queued = 0;
        std::uint64_t droppedSamples = 0;
        std::uint64_t droppedEvents = 0;
        std::uint64_t damaged = 0;          // spool records found damaged, never sent
        std::uint64_t segmentsSetAside = 0; // spool files of an unknown format, moved aside
        std::uint64_t delivered = 0;
        std::uint64_t refused = 0;
        std::uint64_t repeated = 0;   // handed to the broker more than once in this run
        std::uint64_t reconnects = 0; // connections after the run's first
        bool clientIdTaken = false;   // another client with the same id takes the connections
        bool spoolOnDisk = false;            // else memory only
        std::uint64_t spoolBytes = 0;        // of its segment files
        std::uint64_t spoolMessages = 0;     // waiting in memory and on disk
        std::uint64_t spoolLimitBytes = 0;   // its bound, or less at its free-space floor
        std::uint64_t spoolWriteErrors = 0;
        std::uint64_t lostMessages = 0;      // neither delivered nor on disk at a stop
    };
    std::optional<Mqtt> mqtt;

    // Whether the kernel counts the system clock as synchronised; none when it cannot say.
    std::optional<bool> clockSynchronised;

    // The last sample's values (units as the line gives them: V, kW, kVar, A).
    MeasurementSample last{};
    bool uncompensatedServed = false;            // a percentage reactance was given
    double loadEnergyJoules = 0;                 // the load's active power over time, import only

    // The grid voltage histogram: bucket bounds in V, counts per bucket (not cumulative; the
    // last one above the highest bound), the sum in V.
    std::array<double, 9> voltageBounds{};
    std::array<std::uint64_t, 10> voltageCounts{};
    double voltageSum = 0;

    // Whether the last values are fresh at `now`.
    bool fresh(SteadyTime now) const { return lastSampleAt && now - *lastSampleAt <= staleAfter; }
};

} // namespace svglogger
