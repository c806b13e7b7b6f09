#include "headless/MqttPublisher.h"

#include "headless/Journal.h"

#include <QJsonObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace svglogger {

namespace {

constexpr int kQos = 1;
constexpr int kInflight = 20;            // handed to libmosquitto, not yet acknowledged
constexpr int kLoopMilliseconds = 20;    // the most a queued message waits before it goes out
constexpr int kKeepAliveSeconds = 30;
constexpr int kFirstRetryMilliseconds = 1000;
constexpr int kLastRetryMilliseconds = 30000;
constexpr const char *kOnline = "online";
constexpr const char *kOffline = "offline";

std::string failureText(int result, const std::string &logged)
{
    if (!logged.empty())
        return logged;
    if (result == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(result);
}

} // namespace

std::int64_t MqttPublisher::systemMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

MqttPublisher::MqttPublisher(MqttConfig config, Journal &journal, WallClock clock)
    : m_config(std::move(config))
    , m_journal(journal)
    , m_clock(std::move(clock))
    , m_outbox(m_config.queueBound)
{
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    m_client = mosquitto_new(m_config.clientId.empty() ? nullptr : m_config.clientId.c_str(), true, this);
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, [](mosquitto *, void *self, int result) {
        static_cast<MqttPublisher *>(self)->connected(result);
    });
    mosquitto_disconnect_callback_set(m_client, [](mosquitto *, void *self, int reason) {
        static_cast<MqttPublisher *>(self)->disconnected(reason);
    });
    mosquitto_publish_callback_set(m_client, [](mosquitto *, void *self, int mid) {
        static_cast<MqttPublisher *>(self)->acknowledged(mid);
    });
    // libmosquitto says why a connection failed (a certificate, a refused socket) in its log.
    mosquitto_log_callback_set(m_client, [](mosquitto *, void *self, int level, const char *text) {
        if (level & MOSQ_LOG_ERR)
            static_cast<MqttPublisher *>(self)->m_logged = text;
    });
    if (!m_config.user.empty())
        mosquitto_username_pw_set(m_client, m_config.user.c_str(),
                                  m_config.password.empty() ? nullptr : m_config.password.c_str());
}

MqttPublisher::~MqttPublisher()
{
    stop();
    mosquitto_destroy(m_client);
}

std::string MqttPublisher::start()
{
    if (const std::string problem = mqtt::prefixProblem(m_config.topicPrefix); !problem.empty())
        return "the topic prefix " + problem;
    const std::string status = m_config.topicPrefix + "/status";
    if (const int result = mosquitto_will_set(m_client, status.c_str(), static_cast<int>(std::strlen(kOffline)),
                                              kOffline, kQos, true);
        result != MOSQ_ERR_SUCCESS)
        return std::string("the last will on ") + status + " is refused: " + mosquitto_strerror(result);
    if (m_config.tls) {
        if (!m_config.caFile.empty() && !std::filesystem::is_regular_file(m_config.caFile))
            return "the CA file " + m_config.caFile + " does not exist (or is no file)";
        // Without a CA file of its own the broker's certificate is checked against the
        // system's trusted CAs, wherever the operating system keeps them.
        const int result = m_config.caFile.empty()
            ? mosquitto_int_option(m_client, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
            : mosquitto_tls_set(m_client, m_config.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (result != MOSQ_ERR_SUCCESS)
            return (m_config.caFile.empty() ? std::string("the system's CA certificates") : "the CA file " + m_config.caFile)
                + " cannot be used: " + mosquitto_strerror(result);
    }
    m_thread = std::thread(&MqttPublisher::run, this);
    return {};
}

void MqttPublisher::stop()
{
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    m_thread.join();
}

// --- The receive path: encode and queue, nothing else -------------------------------------

void MqttPublisher::lineRecorded(const LineRecord &record)
{
    if (m_config.intervalRows) {
        if (!record.interval)
            return;
        m_outbox.put({Kind::Sample, m_config.topicPrefix + "/interval",
                      mqtt::intervalPayload(*record.interval, record.controllerVersion(), ++m_sequence, m_config.run),
                      false});
        m_lastSampleIso = mqtt::isoTime(record.epochMilliseconds).toStdString();
        return;
    }
    // The moment the line was handled, strictly increasing, so that a store keyed by time
    // keeps every sample of the run.
    m_lastSampleTime = std::max(record.epochMilliseconds, m_lastSampleTime + 1);
    const QByteArray time = mqtt::isoTime(m_lastSampleTime);
    m_outbox.put({Kind::Sample, m_config.topicPrefix + "/sample",
                  mqtt::samplePayload(record, time, ++m_sequence, m_config.run), false});
    m_lastSampleIso.assign(time.constData(), static_cast<std::size_t>(time.size()));
}

void MqttPublisher::event(const char *name, QJsonObject details)
{
    m_outbox.put({Kind::Event, m_config.topicPrefix + "/event",
                  mqtt::eventPayload(name, std::move(details), m_clock(), m_config.run), false});
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
    const OutboxFigures figures{queued(), droppedSamples(), droppedEvents(), m_lastSampleIso};
    m_outbox.put({Kind::Health, m_config.topicPrefix + "/health",
                  mqtt::healthPayload(report, figures, m_clock(), m_config.run), true});
}

// --- The network thread: every libmosquitto call and callback happens here -----------------

void MqttPublisher::run()
{
    using Clock = std::chrono::steady_clock;
    bool connecting = false;
    bool firstAttempt = true;
    int retry = kFirstRetryMilliseconds;
    Clock::time_point nextTry = Clock::now();
    const std::string where = m_config.host + ":" + std::to_string(m_config.port);
    auto failed = [&](int result) {
        const std::string why = failureText(result, std::exchange(m_logged, std::string()));
        if (m_broker.failed(why, drops()))
            m_journal.warning("mqtt: cannot reach the broker " + where + ": " + why + " — retrying; samples wait in "
                            "memory, up to " + std::to_string(m_config.queueBound));
        connecting = false;
        nextTry = Clock::now() + std::chrono::milliseconds(retry);
        retry = std::min(retry * 2, kLastRetryMilliseconds);
    };

    while (!m_stopping) {
        if (!connecting) {
            if (Clock::now() < nextTry) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kLoopMilliseconds));
                continue;
            }
            const int result = firstAttempt
                ? mosquitto_connect_async(m_client, m_config.host.c_str(), m_config.port, kKeepAliveSeconds)
                : mosquitto_reconnect_async(m_client);
            firstAttempt = false;
            if (result != MOSQ_ERR_SUCCESS) {
                failed(result);
                continue;
            }
            connecting = true;
        }
        sendWaiting();
        const int result = mosquitto_loop(m_client, kLoopMilliseconds, 1);
        if (result != MOSQ_ERR_SUCCESS) {
            if (m_broker.connected())
                disconnected(result);
            failed(result);
        } else if (m_broker.connected()) {
            retry = kFirstRetryMilliseconds;
        }
    }

    // Stop: what is still queued or unacknowledged goes out within about a second, then
    // "offline" replaces the retained "online" and the connection closes.
    if (m_broker.connected()) {
        const auto end = Clock::now() + std::chrono::seconds(1);
        while (Clock::now() < end && m_broker.connected() && queued() > 0) {
            sendWaiting();
            mosquitto_loop(m_client, kLoopMilliseconds, 1);
        }
        publishStatus(kOffline);
        mosquitto_disconnect(m_client);
        for (int i = 0; i < 10 && m_broker.connected(); ++i)
            mosquitto_loop(m_client, kLoopMilliseconds, 1);
    }
}

// Hands waiting messages to libmosquitto in order while fewer than kInflight await their
// acknowledgement. The queue's lock is never held across a libmosquitto call: its callbacks
// may run inside one.
void MqttPublisher::sendWaiting()
{
    while (m_broker.connected() && m_handed.size() < static_cast<std::size_t>(kInflight)) {
        std::optional<Message> message = m_outbox.take();
        if (!message)
            return;
        int mid = 0;
        const int result = mosquitto_publish(m_client, &mid, message->topic.c_str(),
                                             static_cast<int>(message->payload.size()), message->payload.constData(),
                                             kQos, message->retain);
        const bool held = result == MOSQ_ERR_SUCCESS
            || (mid != 0 && result != MOSQ_ERR_NOMEM && result != MOSQ_ERR_PAYLOAD_SIZE && result != MOSQ_ERR_INVAL);
        if (held) {
            // libmosquitto has it and sends it again itself after a lost connection.
            m_handed.insert(mid);
            if (result != MOSQ_ERR_SUCCESS)
                return; // the connection is failing: the loop will say so
            continue;
        }
        if (result == MOSQ_ERR_NO_CONN) {
            m_outbox.putBack(std::move(*message)); // not taken: it goes first next time
            return;
        }
        // Refused outright: said, and publishing goes on with the next message.
        m_outbox.refused(message->kind);
        m_journal.fault("mqtt: a message on " + message->topic + " was refused: " + failureText(result, {})
                        + " — publishing goes on");
    }
}

void MqttPublisher::publishStatus(const char *presence)
{
    const std::string status = m_config.topicPrefix + "/status";
    const int result = mosquitto_publish(m_client, nullptr, status.c_str(), static_cast<int>(std::strlen(presence)),
                                         presence, kQos, true);
    if (result != MOSQ_ERR_SUCCESS && result != MOSQ_ERR_NO_CONN && result != MOSQ_ERR_CONN_LOST)
        m_journal.fault("mqtt: " + status + " was refused: " + failureText(result, {}));
}

void MqttPublisher::connected(int result)
{
    const std::string where = m_config.host + ":" + std::to_string(m_config.port);
    if (result != 0) {
        const std::string why = std::string("the broker refused the connection: ") + mosquitto_connack_string(result);
        const bool changed = why != m_broker.lastError();
        m_broker.failed(why, drops());
        if (changed)
            m_journal.warning("mqtt: " + where + ": " + why + " — retrying; logging goes on");
        return;
    }
    const BrokerHealth::Up up = m_broker.up(drops());
    publishStatus(kOnline);
    if (up.first) {
        m_journal.info("mqtt: connected to " + where + ", publishing under " + m_config.topicPrefix);
        if (!up.dropped.empty())
            m_journal.warning("mqtt: " + up.dropped + " before the broker was reached");
    } else {
        m_journal.warning("mqtt: broker back at " + where + (up.dropped.empty() ? "" : ", " + up.dropped + " while it was away"));
    }
}

void MqttPublisher::disconnected(int reason)
{
    // What libmosquitto holds unacknowledged it sends again after the next connection;
    // nothing is handed to it twice.
    if (!m_broker.down(drops(), m_stopping))
        return;
    m_journal.warning("mqtt: broker lost (" + failureText(reason, {}) + ") — samples wait in memory, up to "
                    + std::to_string(m_config.queueBound));
}

void MqttPublisher::acknowledged(int mid)
{
    if (m_handed.erase(mid) != 0)
        m_outbox.settle();
}

} // namespace svglogger
