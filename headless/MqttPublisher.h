#pragma once

#include "headless/BrokerHealth.h"
#include "pipeline/RunEvents.h"

#include <QByteArray>
#include <QJsonObject>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>

struct mosquitto;

namespace svglogger {

class Journal;

// Where and how to publish.
struct MqttConfig {
    std::string host;
    int port = 1883;
    bool tls = false;         // mqtts://
    std::string caFile;       // the CA that signed the broker's certificate
    std::string topicPrefix;  // <prefix>/sample, /interval, /event, /health, /status
    std::string user;
    std::string password;     // never written anywhere
    std::size_t queueBound = 18000;
    std::string clientId;
    std::string run;          // this run of the program, on every message
    bool intervalRows = false; // each interval row on <prefix>/interval instead of every sample
};

// What the health message says of the run; the publisher adds its own numbers.
struct HealthReport {
    const char *link = "stopped"; // streaming, awaiting_prompt, no_answer, no_data, port_lost, stopped
    std::string file;             // the open log file; empty: none
    std::uint64_t linesReceived = 0;
    std::int64_t rowsWritten = 0;
    std::string logError;         // the log file's status text; empty: none
    std::optional<std::int64_t> freeDiskMb; // of the log folder's disk; none when it cannot be asked
};

// Publishes every decoded sample (QoS 1, <prefix>/sample, JSON with the numbers of its CSV
// row) or, for interval rows, each row (<prefix>/interval); the recording's events
// (<prefix>/event), the run's health (<prefix>/health, retained) and the logger's presence
// (<prefix>/status, retained; "offline" is the broker's last will). The network runs on a
// thread of its own: the receive path only encodes and queues. Each message is handed to
// libmosquitto once, in order; what it holds unacknowledged over a lost connection it sends
// again itself, so a subscriber sees every message at least once and at most twice.
class MqttPublisher final : public RunEvents
{
public:
    // Milliseconds since 1970-01-01 UTC.
    using WallClock = std::function<std::int64_t()>;
    static std::int64_t systemMilliseconds();

    MqttPublisher(MqttConfig config, Journal &journal, WallClock clock = systemMilliseconds);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Why a topic prefix cannot be published under (an empty level, a leading "$", a
    // wildcard, invalid UTF-8, too long for MQTT), or empty when it can.
    static std::string prefixProblem(const std::string &prefix);

    // Starts the network thread; an error text (a CA file that cannot be read, a will that
    // libmosquitto refuses) or empty.
    std::string start();
    // Says "offline", sends what it can within about a second, and ends the network thread.
    void stop();

    // RunEvents
    void lineRecorded(const LocalDateTime &time, const MeasurementSample &sample,
                      ControllerVersion controllerVersion) override;
    void rowMade(std::string_view row) override;
    void fileOpened(std::string_view path) override;
    void fileClosed(std::string_view path, std::int64_t rows) override;
    void triggerFired() override;
    void portLost() override;
    void portBack() override;
    // The retained health message; one still waiting to go out is replaced.
    void publishHealth(const HealthReport &report);

    // Messages not yet acknowledged: waiting, and handed to libmosquitto.
    std::size_t queued() const;
    std::uint64_t droppedSamples() const { return m_droppedSamples; }
    std::uint64_t droppedEvents() const { return m_droppedEvents; }

    // The JSON of one sample: its time, the run, the controller's version, the status word
    // and every quantity the CSV row holds, with the row's numbers.
    static QByteArray samplePayload(std::int64_t milliseconds, const MeasurementSample &sample, ControllerVersion controllerVersion,
                                    std::uint64_t sequence, const std::string &run);
    // The JSON of an interval row as the CSV holds it; empty for a text that is no such row.
    static QByteArray intervalPayload(std::string_view row, std::uint64_t sequence, const std::string &run);
    // "2026-12-07T11:05:03.234+09:00": milliseconds since 1970 in local time with its offset.
    static QByteArray isoTime(std::int64_t milliseconds);
    // "2026-12-07T11:05:03+09:00": a local time of the CSV.
    static QByteArray isoTime(const LocalDateTime &time);

private:
    static QByteArray samplePayload(const QByteArray &time, const MeasurementSample &sample, ControllerVersion controllerVersion,
                                    std::uint64_t sequence, const std::string &run);

    enum class Kind { Sample, Event, Health };
    struct Message {
        Kind kind = Kind::Sample;
        std::string topic;
        QByteArray payload;
        bool retain = false;
    };

    void enqueue(Message message);
    void event(const char *name, QJsonObject details = {});
    void run();
    void sendWaiting();
    // "online" or "offline" on <prefix>/status, retained, as the last will says "offline".
    void publishStatus(const char *presence);
    void connected(int result);
    void disconnected(int reason);
    void acknowledged(int mid);
    BrokerHealth::Drops drops() const { return {m_droppedSamples, m_droppedEvents}; }

    MqttConfig m_config;
    Journal &m_journal;
    WallClock m_clock;
    mosquitto *m_client = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    // Engine thread only:
    std::uint64_t m_sequence = 0;
    std::int64_t m_lastSampleTime = 0; // milliseconds: each sample's time follows the last
    // Shared with the network thread:
    mutable std::mutex m_mutex;
    std::deque<Message> m_queue; // never handed to libmosquitto yet
    std::string m_lastSampleIso; // guarded by m_mutex
    std::atomic<std::size_t> m_handedCount{0};
    std::atomic<std::uint64_t> m_droppedSamples{0};
    std::atomic<std::uint64_t> m_droppedEvents{0};
    // Network thread only:
    std::unordered_set<int> m_handed; // message ids libmosquitto holds until acknowledged
    BrokerHealth m_broker;
    std::string m_logged; // libmosquitto's last logged error, until a failure takes it
};

} // namespace svglogger
