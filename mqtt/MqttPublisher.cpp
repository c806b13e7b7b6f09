#include "mqtt/MqttPublisher.h"

#include <QJsonObject>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace svglogger {

std::int64_t MqttPublisher::systemMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t MqttPublisher::steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

MqttPublisher::MqttPublisher(MqttConfig config, MqttLog &log, WallClock clock, SteadyMilliseconds steady)
    : m_log(log)
    , m_clock(clock)
    , m_steady(std::move(steady))
    , m_run(config.run)
    , m_session(std::move(config), log, std::move(clock))
{
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

void MqttPublisher::stop()
{
    if (!m_session.running())
        return;
    putSecond();
    m_session.stop();
}

// --- The receive path: encode and queue, nothing else -------------------------------------

void MqttPublisher::followClock(std::int64_t wallMilliseconds)
{
    const std::int64_t offset = wallMilliseconds - m_steady();
    const std::optional<std::int64_t> last = std::exchange(m_clockOffset, offset);
    if (!last || std::abs(offset - *last) <= kClockStepMilliseconds)
        return;
    const std::int64_t step = offset - *last;
    putSecond(); // the old run's samples under the old run
    const std::string previous =
        std::exchange(m_run, QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString());
    m_session.setRun(m_run);
    m_sequence = 0;
    m_lastSampleTime = 0;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", std::abs(static_cast<double>(step)) / 1000.0);
    m_log.warning(std::string("clock: the system clock stepped ") + (step < 0 ? "back " : "forward ") + seconds
                  + " s — the samples from here on are run " + m_run + " (was " + previous + ")");
    event("clock_stepped", {{"step_seconds", static_cast<double>(step) / 1000.0},
                            {"previous_run", QString::fromStdString(previous)}});
}

void MqttPublisher::lineRecorded(const LineRecord &record)
{
    followClock(record.epochMilliseconds);
    if (config().intervalRows) {
        if (!record.interval)
            return;
        m_session.put({Kind::Sample, config().topicPrefix + "/interval",
                       mqtt::intervalPayload(*record.interval, record.controllerVersion(), ++m_sequence, m_run),
                       false});
        m_lastSampleIso = mqtt::isoTime(record.epochMilliseconds).toStdString();
        return;
    }
    // The moment the line was handled, strictly increasing, so that a store keyed by time
    // keeps every sample of the run.
    m_lastSampleTime = std::max(record.epochMilliseconds, m_lastSampleTime + 1);
    if (config().compact) {
        const ControllerVersion version = record.controllerVersion();
        if (!m_second.empty()
            && (m_second.front().milliseconds / 1000 != m_lastSampleTime / 1000 || version != m_secondVersion))
            putSecond();
        if (m_second.empty()) {
            m_secondVersion = version;
            m_secondSequence = m_sequence + 1;
        }
        ++m_sequence;
        m_second.push_back({m_lastSampleTime, record.sample});
        m_lastSampleIso = mqtt::isoTime(m_lastSampleTime).toStdString();
        return;
    }
    const QByteArray time = mqtt::isoTime(m_lastSampleTime);
    m_session.put({Kind::Sample, config().topicPrefix + "/sample",
                   mqtt::samplePayload(record, time, ++m_sequence, m_run), false});
    m_lastSampleIso.assign(time.constData(), static_cast<std::size_t>(time.size()));
}

void MqttPublisher::putSecond()
{
    if (m_second.empty())
        return;
    m_session.put({Kind::Sample, config().topicPrefix + "/samples",
                   mqtt::compactPayload(m_second, m_secondVersion, m_secondSequence, m_run), false});
    m_second.clear();
}

void MqttPublisher::tick()
{
    if (!m_second.empty() && m_clock() / 1000 > m_second.front().milliseconds / 1000)
        putSecond();
}

void MqttPublisher::event(const char *name, QJsonObject details)
{
    putSecond(); // the samples before an event go before it
    m_session.put({Kind::Event, config().topicPrefix + "/event",
                   mqtt::eventPayload(name, std::move(details), m_clock(), m_run), false});
}

void MqttPublisher::fileOpened(std::string_view path)
{
    event("file_opened", {{"file", QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()))}});
}

void MqttPublisher::fileClosed(std::string_view path, std::int64_t rows)
{
    event("file_closed", {{"file", QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()))},
                          {"rows", static_cast<qint64>(rows)}});
}

void MqttPublisher::triggerFired()
{
    event("trigger_fired");
}

void MqttPublisher::portLost()
{
    event("port_lost");
}

void MqttPublisher::portBack()
{
    event("port_back");
}

// Called on the engine's thread, as the samples are.
void MqttPublisher::publishHealth(const HealthReport &report)
{
    OutboxFigures figures;
    figures.queued = queued();
    figures.droppedSamples = droppedSamples();
    figures.droppedEvents = droppedEvents();
    figures.lastSampleTime = m_lastSampleIso;
    figures.refused = refused();
    figures.clientId = config().clientId;
    m_session.put({Kind::Health, config().topicPrefix + "/health",
                   mqtt::healthPayload(report, figures, m_clock(), m_run), true});
}

} // namespace svglogger
