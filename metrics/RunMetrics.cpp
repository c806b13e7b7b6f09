#include "metrics/RunMetrics.h"

#include "pipeline/RunController.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace svglogger {

namespace {

// The histogram's bucket bounds in per mille of the nominal voltage (whole numbers, so that
// 102.5 % of 6600 V is 6765 V exactly).
constexpr std::array<int, 9> kVoltagePerMille{900, 920, 950, 975, 1000, 1025, 1050, 1080, 1100};

} // namespace

RunMetrics::RunMetrics(const Identity &identity, const RunController &run)
    : m_run(run)
{
    assert(identity.nominalVoltage > 0);
    m_state.version = identity.version;
    m_state.revision = identity.revision;
    m_state.mode = identity.mode;
    m_state.startTimeSeconds = identity.startTimeSeconds;
    m_state.uncompensatedServed = identity.uncompensatedServed;
    m_state.staleAfter = identity.staleAfter;
    for (std::size_t i = 0; i < kVoltagePerMille.size(); ++i)
        m_state.voltageBounds[i] = identity.nominalVoltage * kVoltagePerMille[i] / 1000.0;
}

MetricsState RunMetrics::snapshot() const
{
    const std::lock_guard lock(m_mutex);
    return m_state;
}

void RunMetrics::refresh()
{
    const std::lock_guard lock(m_mutex);
    refreshLocked();
}

void RunMetrics::refreshLocked()
{
    const RunController &run = m_run;
    m_state.linesReceived = run.linesHandled();
    m_state.rowsWritten = static_cast<std::uint64_t>(run.rowsWritten());
    m_state.rowsFailed = static_cast<std::uint64_t>(run.rowsFailed());
    m_state.triggerArmed = run.triggerState() == TriggerState::Armed;
}

void RunMetrics::setMqtt(const MetricsState::Mqtt &mqtt)
{
    const std::lock_guard lock(m_mutex);
    m_state.mqtt = mqtt;
}

void RunMetrics::setDiskFree(std::optional<std::int64_t> bytes)
{
    const std::lock_guard lock(m_mutex);
    m_state.diskFreeBytes = bytes;
}

void RunMetrics::setClockSynchronised(std::optional<bool> synchronised)
{
    const std::lock_guard lock(m_mutex);
    m_state.clockSynchronised = synchronised;
}

void RunMetrics::addRetentionRemoved(std::uint64_t files)
{
    const std::lock_guard lock(m_mutex);
    m_state.retentionRemoved += files;
}

void RunMetrics::setDiskShort(bool shortOfSpace)
{
    const std::lock_guard lock(m_mutex);
    m_state.diskShort = shortOfSpace;
}

void RunMetrics::lineRecorded(const LineRecord &record)
{
    const MeasurementSample &sample = record.sample;
    const double kw = sample[MeasurementSample::LoadActivePower];
    // Energy between two samples with the earlier one's power, over gaps no longer than the
    // watchdog's time (a longer silence is no measurement); only the import counts, so the
    // counter never goes down.
    double joules = 0;
    if (m_previousMilliseconds) {
        const std::int64_t step = record.epochMilliseconds - *m_previousMilliseconds;
        if (step > 0 && step <= m_state.staleAfter.count() && m_previousKw > 0 && std::isfinite(m_previousKw))
            joules = m_previousKw * 1000.0 * static_cast<double>(step) / 1000.0;
    }
    m_previousMilliseconds = record.epochMilliseconds;
    m_previousKw = kw;
    const double volts = sample[MeasurementSample::GridVoltage];

    const std::lock_guard lock(m_mutex);
    refreshLocked(); // the line is counted; its row, written after this, with the next
    m_state.last = sample;
    m_state.controllerVersion = record.controllerVersion();
    ++m_state.samples;
    m_state.lastSampleSeconds = static_cast<double>(record.epochMilliseconds) / 1000.0;
    m_state.lastSampleAt = std::chrono::steady_clock::now();
    m_state.loadEnergyJoules += joules;
    if (std::isfinite(volts)) {
        const auto bucket = std::lower_bound(m_state.voltageBounds.begin(), m_state.voltageBounds.end(), volts);
        ++m_state.voltageCounts[static_cast<std::size_t>(bucket - m_state.voltageBounds.begin())];
        m_state.voltageSum += volts;
    }
}

void RunMetrics::fileOpened(std::string_view)
{
    const std::lock_guard lock(m_mutex);
    m_state.fileOpen = true;
}

void RunMetrics::fileClosed(std::string_view, std::int64_t)
{
    const std::lock_guard lock(m_mutex);
    m_state.fileOpen = false;
}

void RunMetrics::triggerFired()
{
    const std::lock_guard lock(m_mutex);
    ++m_state.triggerFired;
}

void RunMetrics::fileProblemChanged(FileProblem problem, std::string_view)
{
    const std::lock_guard lock(m_mutex);
    m_state.fileError = problem != FileProblem::None;
}

void RunMetrics::portBack()
{
    const std::lock_guard lock(m_mutex);
    ++m_state.portReconnects;
}

void RunMetrics::linkChanged(LinkCondition condition)
{
    const std::lock_guard lock(m_mutex);
    m_state.link = condition;
}

void RunMetrics::controllerWoken(WakeReason reason)
{
    const std::lock_guard lock(m_mutex);
    ++m_state.wakeups.at(static_cast<std::size_t>(reason));
}

} // namespace svglogger
