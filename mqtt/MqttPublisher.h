#pragma once

#include "mqtt/MqttConfig.h"
#include "mqtt/MqttLog.h"
#include "mqtt/MqttMessages.h"
#include "mqtt/MqttSession.h"
#include "pipeline/RunEvents.h"

#include <QJsonObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace svglogger {

// Publishes every decoded sample (QoS 1, <prefix>/sample, JSON with the numbers of its CSV
// row) or, for interval rows, each row (<prefix>/interval); the recording's events
// (<prefix>/event) and the run's health (<prefix>/health, retained, expiring). It only encodes
// on the engine's thread and hands the messages to its session, which delivers them at least
// once (MqttSession).
class MqttPublisher final : public RunEvents
{
public:
    // Milliseconds since 1970-01-01 UTC; and of a clock that never steps, from any origin.
    using WallClock = MqttSession::WallClock;
    using SteadyMilliseconds = std::function<std::int64_t()>;
    static std::int64_t systemMilliseconds();
    static std::int64_t steadyMilliseconds();
    // The system clock may step (NTP, an operator) by more than this before a new run starts.
    static constexpr std::int64_t kClockStepMilliseconds = 1000;

    MqttPublisher(MqttConfig config, MqttLog &log, WallClock clock = systemMilliseconds,
                  SteadyMilliseconds steady = steadyMilliseconds);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Starts the session; an error text (a CA, certificate or key file that cannot be used, a
    // spool folder in use) or empty.
    std::string start() { return m_session.start(); }
    // The compact format's last second goes out, then the session stops (MqttSession::stop).
    void stop();

    // RunEvents: a sample per record, or its interval row with intervalRows.
    void lineRecorded(const LineRecord &record) override;
    void fileOpened(std::string_view path) override;
    void fileClosed(std::string_view path, std::int64_t rows) override;
    void triggerFired() override;
    void portLost() override;
    void portBack() override;
    // The retained health message; one still waiting to go out is replaced.
    void publishHealth(const HealthReport &report);
    // Once a second and before stop, on the engine's thread: with the compact format, the
    // samples of a second that has passed go out.
    void tick();

    // The session's figures (MqttSession).
    std::size_t queued() const { return m_session.queued(); }
    std::uint64_t droppedSamples() const { return m_session.droppedSamples(); }
    std::uint64_t droppedEvents() const { return m_session.droppedEvents(); }
    std::uint64_t refused() const { return m_session.refused(); }
    std::uint64_t delivered() const { return m_session.delivered(); }
    std::uint64_t damagedMessages() const { return m_session.damagedMessages(); }
    std::uint64_t segmentsSetAside() const { return m_session.segmentsSetAside(); }
    std::uint64_t repeated() const { return m_session.repeated(); }
    std::uint64_t reconnects() const { return m_session.reconnects(); }
    bool clientIdTaken() const { return m_session.clientIdTaken(); }
    bool connectedNow() const { return m_session.connectedNow(); }
    MqttSession::SpoolFigures spoolFigures() const { return m_session.spoolFigures(); }

private:
    using Kind = MqttOutbox::Kind;

    void event(const char *name, QJsonObject details = {});
    // A sample stamped `wallMilliseconds`: a step of the system clock since the last one
    // starts a new run, so that times within a run stay true and increasing.
    void followClock(std::int64_t wallMilliseconds);
    void putSecond();
    const MqttConfig &config() const { return m_session.config(); }

    // Engine thread only:
    MqttLog &m_log;
    WallClock m_clock;
    SteadyMilliseconds m_steady;
    std::string m_run;
    std::optional<std::int64_t> m_clockOffset; // wall minus steady milliseconds at the last sample
    std::uint64_t m_sequence = 0;
    std::vector<mqtt::CompactSample> m_second; // the compact format's samples of this second
    ControllerVersion m_secondVersion = ControllerVersion::Unknown;
    std::uint64_t m_secondSequence = 0;        // of its first sample
    std::int64_t m_lastSampleTime = 0; // milliseconds: each sample's time follows the last
    std::string m_lastSampleIso;
    MqttSession m_session;
};

} // namespace svglogger
