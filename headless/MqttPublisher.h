#pragma once

#include "headless/BrokerHealth.h"
#include "headless/MqttMessages.h"
#include "headless/MqttOutbox.h"
#include "headless/MqttLog.h"
#include "headless/MqttSpool.h"
#include "pipeline/RunEvents.h"

#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace svglogger {

enum class MqttProtocol { Version5, Version311 };

// Where and how to publish.
struct MqttConfig {
    std::string host;
    int port = 1883;
    bool tls = false;         // mqtts://
    std::string caFile;       // the CA that signed the broker's certificate
    std::string topicPrefix;  // <prefix>/sample, /interval, /event, /health, /status
    std::string user;
    std::string password;     // never written anywhere
    std::size_t queueBound = 18000; // messages in memory
    std::string clientId;
    std::string run;          // this run of the program, on every message; a clock step starts another
    bool intervalRows = false; // each interval row on <prefix>/interval instead of every sample
    MqttProtocol protocol = MqttProtocol::Version5;
    std::string certFile;     // the client's own certificate and key for mutual TLS
    std::string keyFile;
    std::string keyPassword;  // of an encrypted key; never written anywhere
    std::string spoolFolder;  // where unacknowledged messages outlive the program; empty: memory only
    std::uint64_t spoolBytes = 100ull << 20;
    int syncSeconds = 10;     // the spool reaches the disk at least this often (at least every second)
    int healthSeconds = 60;   // the health message's period; it expires after three
    bool compact = false;     // a second's samples in one message on <prefix>/samples
};

// Publishes every decoded sample (QoS 1, <prefix>/sample, JSON with the numbers of its CSV
// row) or, for interval rows, each row (<prefix>/interval); the recording's events
// (<prefix>/event), the run's health (<prefix>/health, retained, expiring) and the logger's
// presence (<prefix>/status, retained; "offline" is the broker's last will). The network runs
// on a thread of its own: the receive path only encodes and queues. Delivery is at least
// once: what the broker has not acknowledged waits in the spool (on disk across a restart)
// and is sent again, in order, on the next connection; what it acknowledged never is. Each
// connection is a new libmosquitto client, so the spool alone decides what is sent again.
class MqttPublisher final : public RunEvents
{
public:
    // Milliseconds since 1970-01-01 UTC; and of a clock that never steps, from any origin.
    using WallClock = std::function<std::int64_t()>;
    using SteadyMilliseconds = std::function<std::int64_t()>;
    static std::int64_t systemMilliseconds();
    static std::int64_t steadyMilliseconds();
    // The system clock may step (NTP, an operator) by more than this before a new run starts.
    static constexpr std::int64_t kClockStepMilliseconds = 1000;

    // Unacknowledged messages handed to the broker at once; after a lost connection one,
    // doubling with each round the broker acknowledges, so a link that keeps failing repeats
    // one message, not the window.
    static constexpr std::size_t kWindow = 20;

    MqttPublisher(MqttConfig config, MqttLog &log, WallClock clock = systemMilliseconds,
                  SteadyMilliseconds steady = steadyMilliseconds);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Opens the spool and starts the network thread; an error text (a CA, certificate or key
    // file that cannot be used, a spool folder in use) or empty.
    std::string start();
    // Sends what it can within about a second, spools the rest, says "offline" and what became
    // of the run's messages, and ends the network thread.
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

    // Messages not yet acknowledged: in the outbox and in the spool.
    std::size_t queued() const { return m_outbox.waiting() + m_spooled.load(); }
    std::uint64_t droppedSamples() const { return m_outbox.droppedSamples() + m_spoolDroppedSamples.load(); }
    std::uint64_t droppedEvents() const { return m_outbox.droppedEvents() + m_spoolDroppedEvents.load(); }
    // Messages the broker refused (MQTT 5 acknowledgements with a failure reason).
    std::uint64_t refused() const { return m_refused; }
    std::uint64_t delivered() const { return m_delivered; }
    // Whether the broker has accepted the connection and not lost it since; from any thread.
    bool connectedNow() const { return m_connected.load(); }

private:
    using Kind = MqttOutbox::Kind;
    using Message = MqttOutbox::Message;
    using SteadyClock = std::chrono::steady_clock;

    void event(const char *name, QJsonObject details = {});
    // A sample stamped `wallMilliseconds`: a step of the system clock since the last one
    // starts a new run, so that times within a run stay true and increasing.
    void followClock(std::int64_t wallMilliseconds);
    void run();
    std::string makeClient();
    void destroyClient();
    void takeFromOutbox();
    void sendWaiting();
    void sendHealth();
    void sync();
    void publishStatus(const char *presence);
    void connected(int reason);
    void disconnected(int reason);
    void acknowledged(int mid, int reason);
    void failed(const std::string &why);
    void scheduleRetry();
    void countFigures();
    void stopped();
    BrokerHealth::Drops drops() const { return {droppedSamples(), droppedEvents()}; }
    std::string where() const;

    MqttConfig m_config;
    MqttLog &m_log;
    WallClock m_clock;
    SteadyMilliseconds m_steady;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    // Written by the engine thread alone, under m_runMutex; read by the network thread for the
    // status messages through currentRun().
    std::string m_run;
    mutable std::mutex m_runMutex;
    std::string currentRun() const;
    // Engine thread only:
    std::optional<std::int64_t> m_clockOffset; // wall minus steady milliseconds at the last sample
    std::uint64_t m_sequence = 0;
    std::vector<mqtt::CompactSample> m_second; // the compact format's samples of this second
    ControllerVersion m_secondVersion = ControllerVersion::Unknown;
    std::uint64_t m_secondSequence = 0;        // of its first sample
    void putSecond();
    std::int64_t m_lastSampleTime = 0; // milliseconds: each sample's time follows the last
    std::string m_lastSampleIso;
    // Shared with the network thread:
    MqttOutbox m_outbox;
    std::atomic<std::size_t> m_spooled{0};
    std::atomic<std::uint64_t> m_spoolDroppedSamples{0};
    std::atomic<std::uint64_t> m_spoolDroppedEvents{0};
    std::atomic<std::uint64_t> m_refused{0};
    std::atomic<std::uint64_t> m_delivered{0};
    std::atomic<bool> m_connected{false};
    // Network thread only (and start() before it runs):
    mosquitto *m_client = nullptr;
    MqttSpool m_spool;
    bool m_connecting = false;
    bool m_refusedConnection = false;
    bool m_closed = false;            // the DISCONNECT of stop has gone out // the broker said why in its CONNACK: the loop's error is no news
    std::unordered_map<int, std::uint64_t> m_handed; // message id → spool number
    std::size_t m_window = kWindow;
    std::optional<Message> m_health;  // the newest health, sent after each connection
    bool m_healthSent = false;        // in this connection
    BrokerHealth m_broker;
    std::string m_logged; // libmosquitto's last logged error, until a failure takes it
    bool m_loggedFinal = false; // m_logged says it best: later lines do not replace it
    void logged(mosquitto *client, const std::string &text);
    std::string takeLogged();
    std::set<std::string> m_refusalsSaid;
    std::string m_spoolProblem;
    int m_attempt = 0;
    SteadyClock::time_point m_nextTry;
    SteadyClock::time_point m_nextSync;
    std::mt19937 m_random{std::random_device{}()};
};

} // namespace svglogger
