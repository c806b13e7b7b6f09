#pragma once

#include "mqtt/BrokerHealth.h"
#include "mqtt/MqttConfig.h"
#include "mqtt/MqttLog.h"
#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttSpool.h"
#include "mqtt/RepeatedWarning.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>

struct mosquitto;

namespace svglogger {

// The broker's side of publishing: the messages handed to it wait in the outbox, then in the
// spool (on disk across a restart) until the broker acknowledges them, and go out again, in
// order, on the next connection; what it acknowledged never does. The network runs on a
// thread of its own, where every libmosquitto call and callback happens; each connection is a
// new libmosquitto client, so the spool alone decides what is sent again. The logger's
// presence goes on <prefix>/status (retained; "offline" is the broker's last will).
class MqttSession
{
public:
    // Milliseconds since 1970-01-01 UTC, for the status messages.
    using WallClock = std::function<std::int64_t()>;

    // Unacknowledged messages handed to the broker at once; after a lost connection one,
    // doubling with each round the broker acknowledges, so a link that keeps failing repeats
    // one message, not the window.
    static constexpr std::size_t kWindow = 20;

    MqttSession(MqttConfig config, MqttLog &log, WallClock clock);
    ~MqttSession();
    MqttSession(const MqttSession &) = delete;
    MqttSession &operator=(const MqttSession &) = delete;

    const MqttConfig &config() const { return m_config; }

    // Checks the topic prefix and the CA, certificate and key files, opens the spool and
    // starts the network thread; an error text (a file that cannot be used, a spool folder in
    // use) or empty.
    std::string start();
    bool running() const { return m_thread.joinable(); }
    // Sends what it can within about a second, spools the rest, says "offline" and what became
    // of the run's messages, and ends the network thread.
    void stop();

    // From the engine's thread: a sample or an event to deliver, or the health message, which
    // replaces one still waiting to go out.
    void put(MqttOutbox::Message message) { m_outbox.put(std::move(message)); }
    // The run the status messages name from now on; from any thread.
    void setRun(std::string run);

    // Messages not yet acknowledged: in the outbox and in the spool.
    std::size_t queued() const { return m_outbox.waiting() + m_spooled.load(); }
    std::uint64_t droppedSamples() const { return m_outbox.droppedSamples() + m_spoolDroppedSamples.load(); }
    std::uint64_t droppedEvents() const { return m_outbox.droppedEvents() + m_spoolDroppedEvents.load(); }
    // Messages the broker refused (MQTT 5 acknowledgements with a failure reason, or too
    // large for libmosquitto to send); never sent again.
    std::uint64_t refused() const { return m_refused; }
    // Messages the broker acknowledged, the refused ones not counted.
    std::uint64_t delivered() const { return m_delivered; }
    // Spool records found damaged (never sent) and segment files set aside (MqttSpool).
    std::uint64_t damagedMessages() const { return m_spoolDamaged; }
    std::uint64_t segmentsSetAside() const { return m_spoolSetAside; }
    // Messages handed to the broker more than once in this run (again after a lost
    // connection); what an earlier run left in the spool counts only when handed over twice here.
    std::uint64_t repeated() const { return m_repeated; }
    // Connections made after the run's first.
    std::uint64_t reconnects() const { return m_reconnects; }
    // Whether another client with the same client id keeps taking the connection over.
    bool clientIdTaken() const { return m_clientIdTaken; }
    // Whether the broker has accepted the connection and not lost it since; from any thread.
    bool connectedNow() const { return m_connected.load(); }
    // The spool as it stood at the network thread's last look; from any thread.
    struct SpoolFigures {
        bool onDisk = false;
        std::uint64_t bytes = 0;       // of its segment files
        std::uint64_t messages = 0;    // waiting, in memory and on disk
        std::uint64_t limitBytes = 0;  // the most it may take now (its bound, or less at its free-space floor)
        std::uint64_t writeErrors = 0;
        // Neither delivered nor on disk at stop: the previous run's (kept in the folder), then this one's.
        std::uint64_t lost = 0;
    };
    SpoolFigures spoolFigures() const;

private:
    using Kind = MqttOutbox::Kind;
    using Message = MqttOutbox::Message;
    using SteadyClock = std::chrono::steady_clock;

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
    void sayConditions();
    BrokerHealth::Drops drops() const { return {droppedSamples(), droppedEvents()}; }
    std::string where() const;
    std::string waiting() const;
    static std::int64_t steadySeconds();
    void lost(const std::string &why);
    std::string currentRun() const;

    MqttConfig m_config;
    MqttLog &m_log;
    WallClock m_clock;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    // Written by the engine thread, read by the network thread for the status messages.
    std::string m_run;
    mutable std::mutex m_runMutex;
    // Shared with the engine thread:
    MqttOutbox m_outbox;
    std::atomic<std::size_t> m_spooled{0};
    std::atomic<std::uint64_t> m_spoolDroppedSamples{0};
    std::atomic<std::uint64_t> m_spoolDroppedEvents{0};
    std::atomic<std::uint64_t> m_refused{0};
    std::atomic<std::uint64_t> m_delivered{0};
    std::atomic<std::uint64_t> m_spoolDamaged{0};
    std::atomic<std::uint64_t> m_spoolSetAside{0};
    std::atomic<bool> m_connected{false};
    std::atomic<std::uint64_t> m_repeated{0};
    std::atomic<std::uint64_t> m_reconnects{0};
    std::atomic<bool> m_clientIdTaken{false};
    std::atomic<bool> m_spoolOnDisk{false};
    std::atomic<std::uint64_t> m_spoolBytes{0};
    std::atomic<std::uint64_t> m_spoolLimitBytes{0};
    std::atomic<std::uint64_t> m_spoolWriteErrors{0};
    std::atomic<std::uint64_t> m_lost{0};
    // Network thread only (and start() before it runs):
    mosquitto *m_client = nullptr;
    MqttSpool m_spool;
    bool m_connecting = false;
    bool m_refusedConnection = false; // the broker said why in its CONNACK: the loop's error is no news
    bool m_closed = false;            // the DISCONNECT of stop has gone out
    std::unordered_map<int, std::uint64_t> m_handed; // message id → spool number
    std::size_t m_window = kWindow;
    std::uint64_t m_handedEnd = 0;    // every spool number below it was handed over in this run
    BrokerHealth::Closed m_closedBy = BrokerHealth::Closed::Unsaid; // the broker's word on the last loss
    std::optional<Message> m_health;  // the newest health, sent after each connection
    bool m_healthSent = false;        // in this connection
    BrokerHealth m_broker;
    std::string m_logged; // libmosquitto's last logged error, until a failure takes it
    bool m_loggedFinal = false; // m_logged says it best: later lines do not replace it
    void logged(mosquitto *client, const std::string &text);
    std::string takeLogged();
    std::set<std::string> m_refusalsSaid;
    // The spool's two conditions, each said once, then at most hourly, and when it ends.
    RepeatedWarning m_writeWarning;
    RepeatedWarning m_floorWarning;
    std::uint64_t m_writeErrorsSeen = 0;
    std::uint64_t m_droppedSeen = 0;
    std::uint64_t m_lostAtStop = 0;
    int m_attempt = 0;
    SteadyClock::time_point m_nextTry;
    SteadyClock::time_point m_nextSync;
    std::mt19937 m_random{std::random_device{}()};
};

} // namespace svglogger
