#pragma once

#include "metrics/MetricsState.h"
#include "pipeline/RunEvents.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace svglogger {

class RunController;

// Follows a run and keeps what the Prometheus endpoint serves. Every change happens on the
// engine's thread under one lock held for a few assignments; snapshot() copies the state out
// under the same lock from any thread.
class RunMetrics final : public RunEvents
{
public:
    struct Identity {
        std::string version;
        std::string revision;
        SamplingMode mode = SamplingMode::Continuous;
        double startTimeSeconds = 0;
        double nominalVoltage = 6600;             // V
        bool uncompensatedServed = false;
        std::chrono::milliseconds staleAfter{5000};
    };
    RunMetrics(const Identity &identity, const RunController &run);

    MetricsState snapshot() const;

    // The run's own counters and the trigger, looked at once a second and at every line; the
    // link and the file are the events' alone (the file is told open before the recorder says so).
    void refresh();
    void setMqtt(const MetricsState::Mqtt &mqtt);
    void setDiskFree(std::optional<std::int64_t> bytes);
    void setClockSynchronised(std::optional<bool> synchronised);
    void addRetentionRemoved(std::uint64_t files);
    // Below --min-free-mb with nothing left to remove: no row is lost for it (yet).
    void setDiskShort(bool shortOfSpace);

    void lineRecorded(const LineRecord &record) override;
    void fileOpened(std::string_view path) override;
    void fileClosed(std::string_view path, std::int64_t rows) override;
    void triggerFired() override;
    void fileProblemChanged(FileProblem problem, std::string_view text) override;
    void portBack() override;
    void linkChanged(LinkCondition condition) override;
    void controllerWoken(WakeReason reason) override;

private:
    void refreshLocked();

    const RunController &m_run;
    mutable std::mutex m_mutex;
    MetricsState m_state;
    // The previous sample for the energy: its time (ms since 1970) and active power (kW).
    std::optional<std::int64_t> m_previousMilliseconds;
    double m_previousKw = 0;
};

} // namespace svglogger
