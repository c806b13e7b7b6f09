#pragma once

#include "headless/BrokerHealth.h"
#include "headless/MqttMessages.h"
#include "headless/MqttOutbox.h"
#include "pipeline/RunEvents.h"

#include <QJsonObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
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

    // Starts the network thread; an error text (a CA file that cannot be read, a will that
    // libmosquitto refuses) or empty.
    std::string start();
    // Says "offline", sends what it can within about a second, and ends the network thread.
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

    // Messages not yet acknowledged: waiting, and handed to libmosquitto.
    std::size_t queued() const { return m_outbox.queued(); }
    std::uint64_t droppedSamples() const { return m_outbox.droppedSamples(); }
    std::uint64_t droppedEvents() const { return m_outbox.droppedEvents(); }

private:
    using Kind = MqttOutbox::Kind;
    using Message = MqttOutbox::Message;

    void event(const char *name, QJsonObject details = {});
    void run();
    void sendWaiting();
    // "online" or "offline" on <prefix>/status, retained, as the last will says "offline".
    void publishStatus(const char *presence);
    void connected(int result);
    void disconnected(int reason);
    void acknowledged(int mid);
    BrokerHealth::Drops drops() const { return {droppedSamples(), droppedEvents()}; }

    MqttConfig m_config;
    Journal &m_journal;
    WallClock m_clock;
    mosquitto *m_client = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    // Engine thread only:
    std::uint64_t m_sequence = 0;
    std::int64_t m_lastSampleTime = 0; // milliseconds: each sample's time follows the last
    std::string m_lastSampleIso;
    // Shared with the network thread:
    MqttOutbox m_outbox;
    // Network thread only:
    std::unordered_set<int> m_handed; // message ids libmosquitto holds until acknowledged
    BrokerHealth m_broker;
    std::string m_logged; // libmosquitto's last logged error, until a failure takes it
};

} // namespace svglogger
