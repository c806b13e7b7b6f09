#pragma once

#include "recording/RecordingEvents.h"

#include <QByteArray>
#include <QJsonObject>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;

namespace svglogger {

class Journal;

// Where and how to publish.
struct MqttConfig {
    std::string host;
    int port = 1883;
    bool tls = false;         // mqtts://
    std::string caFile;       // the CA that signed the broker's certificate
    std::string topicPrefix;  // <prefix>/sample, <prefix>/event, <prefix>/status
    std::string user;
    std::string password;     // never written anywhere
    std::size_t queueBound = 18000;
    std::string clientId;
};

// Publishes every decoded sample (QoS 1, <prefix>/sample, JSON with the numbers of its CSV
// row), the recording's events (<prefix>/event) and the logger's presence (<prefix>/status,
// retained; "offline" is the broker's last will). The network runs on a thread of its own:
// the receive path only encodes and queues, so a slow or dead broker never delays a line, a
// row or Stop. While the broker is away samples wait in memory up to the bound, the oldest
// dropped and counted; they go out in order when it is back.
class MqttPublisher final : public RecordingEvents
{
public:
    MqttPublisher(MqttConfig config, Journal &journal);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Starts the network thread; an error text (a CA file that cannot be read) or empty.
    std::string start();
    // Says "offline", sends what it can within about a second, and ends the network thread.
    void stop();

    // RecordingEvents
    void lineRecorded(const LocalDateTime &time, const MeasurementSample &sample, int controllerVersion) override;
    void fileOpened(std::string_view path) override;
    void fileClosed(std::string_view path, std::int64_t rows) override;
    void triggerFired() override;
    // The serial port went away during a run, and came back.
    void portLost();
    void portBack();

    std::size_t queued() const;
    std::uint64_t dropped() const { return m_dropped; }

    // The JSON of one sample: the time (ISO 8601 with the local offset), the controller's
    // version, the status word and every quantity the CSV row holds, with the row's numbers.
    static QByteArray samplePayload(const LocalDateTime &time, const MeasurementSample &sample, int controllerVersion,
                                    std::uint64_t sequence);
    // "2026-12-07T11:05:03+09:00"
    static QByteArray isoTime(const LocalDateTime &time);

private:
    struct Message {
        std::string topic;
        QByteArray payload;
        int mid = 0; // the message id while it waits for its acknowledgement, else 0
    };

    void enqueue(std::string topic, QByteArray payload);
    void event(const char *name, QJsonObject details = {});
    void run();
    void sendWaiting();
    // "online" or "offline" on <prefix>/status, retained, as the last will says "offline".
    void publishStatus(const char *presence);
    void connected(int result);
    void disconnected(int reason);
    void acknowledged(int mid);

    MqttConfig m_config;
    Journal &m_journal;
    mosquitto *m_client = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::deque<Message> m_queue;
    std::uint64_t m_sequence = 0;
    std::atomic<std::uint64_t> m_dropped{0};
    // Network thread only:
    bool m_connected = false;
    bool m_everConnected = false;
    bool m_lossReported = false;
    std::uint64_t m_droppedAtLoss = 0;
    std::string m_lastError;
};

} // namespace svglogger
