#include "headless/MqttPublisher.h"

#include "headless/Journal.h"
#include "platform/SystemClock.h"
#include "recording/CsvText.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace svglogger {

namespace {

constexpr int kQos = 1;
constexpr int kInflight = 20;            // sent, not yet acknowledged
constexpr int kLoopMilliseconds = 20;    // the most a queued message waits before it goes out
constexpr int kKeepAliveSeconds = 30;
constexpr int kFirstRetryMilliseconds = 1000;
constexpr int kLastRetryMilliseconds = 30000;
constexpr const char *kOnline = "online";
constexpr const char *kOffline = "offline";

// A quantity as its CSV row writes it, as a number.
double rowNumber(float value, int decimals)
{
    std::string text;
    appendNumberText(text, value, decimals);
    return std::strtod(text.c_str(), nullptr);
}

std::string failureText(int result, const std::string &logged)
{
    if (!logged.empty())
        return logged;
    if (result == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(result);
}

} // namespace

MqttPublisher::MqttPublisher(MqttConfig config, Journal &journal)
    : m_config(std::move(config))
    , m_journal(journal)
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
            static_cast<MqttPublisher *>(self)->m_lastError = text;
    });
    const std::string status = m_config.topicPrefix + "/status";
    mosquitto_will_set(m_client, status.c_str(), static_cast<int>(std::strlen(kOffline)), kOffline, kQos, true);
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
    if (m_config.tls) {
        const int result = mosquitto_tls_set(m_client, m_config.caFile.empty() ? nullptr : m_config.caFile.c_str(),
                                             m_config.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr,
                                             nullptr);
        if (result != MOSQ_ERR_SUCCESS)
            return "the CA file " + m_config.caFile + " cannot be used: " + mosquitto_strerror(result);
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

QByteArray MqttPublisher::isoTime(const LocalDateTime &time)
{
    const QDateTime local(QDate(time.year, time.month, time.day), QTime(time.hour, time.minute, time.second));
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return QByteArray(text);
}

QByteArray MqttPublisher::samplePayload(const LocalDateTime &time, const MeasurementSample &sample,
                                        int controllerVersion, std::uint64_t sequence)
{
    using S = MeasurementSample;
    QJsonObject object;
    object.insert("time", QString::fromLatin1(isoTime(time)));
    object.insert("sequence", static_cast<qint64>(sequence));
    object.insert("controller_version", controllerVersion);
    object.insert("status_word", rowNumber(sample[S::StatusWord], 0));
    object.insert("grid_voltage_v", rowNumber(sample[S::GridVoltage], -1));
    object.insert("load_active_power_kw", rowNumber(sample[S::LoadActivePower], 1));
    object.insert("load_reactive_power_kvar", rowNumber(sample[S::LoadReactivePower], 1));
    object.insert("svg_output_kvar", rowNumber(sample[S::SvgOutput], 1));
    if (controllerVersion == 2) {
        object.insert("negative_sequence_voltage_d_v", rowNumber(sample[S::NegSeqVoltageD], 1));
        object.insert("negative_sequence_voltage_q_v", rowNumber(sample[S::NegSeqVoltageQ], 1));
        object.insert("negative_sequence_command_d_a", rowNumber(sample[S::NegSeqCommandD], 1));
        object.insert("negative_sequence_command_q_a", rowNumber(sample[S::NegSeqCommandQ], 1));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void MqttPublisher::enqueue(std::string topic, QByteArray payload)
{
    const std::lock_guard lock(m_mutex);
    if (m_queue.size() >= m_config.queueBound && !m_queue.empty()) {
        m_queue.pop_front();
        ++m_dropped;
    }
    m_queue.push_back({std::move(topic), std::move(payload), 0});
}

void MqttPublisher::lineRecorded(const LocalDateTime &time, const MeasurementSample &sample, int controllerVersion)
{
    enqueue(m_config.topicPrefix + "/sample", samplePayload(time, sample, controllerVersion, ++m_sequence));
}

void MqttPublisher::event(const char *name, QJsonObject details)
{
    details.insert("event", QString::fromLatin1(name));
    details.insert("time", QString::fromLatin1(isoTime(SystemClock().now())));
    enqueue(m_config.topicPrefix + "/event", QJsonDocument(details).toJson(QJsonDocument::Compact));
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

std::size_t MqttPublisher::queued() const
{
    const std::lock_guard lock(m_mutex);
    return m_queue.size();
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
        const std::string why = failureText(result, m_lastError);
        if (why != m_lastError || !m_lossReported) {
            m_journal.fault("mqtt: cannot reach the broker " + where + ": " + why + " — retrying; samples wait in "
                            "memory, up to " + std::to_string(m_config.queueBound));
            m_lossReported = true;
            m_droppedAtLoss = m_dropped;
        }
        m_lastError = why;
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
            if (m_connected)
                disconnected(result);
            failed(result);
        } else if (m_connected) {
            retry = kFirstRetryMilliseconds;
        }
    }

    // Stop: "offline" replaces the retained "online", then the connection closes; what is
    // still queued goes out within about a second.
    if (m_connected) {
        const auto end = Clock::now() + std::chrono::seconds(1);
        while (Clock::now() < end && m_connected && queued() > 0) {
            sendWaiting();
            mosquitto_loop(m_client, kLoopMilliseconds, 1);
        }
        publishStatus(kOffline);
        mosquitto_disconnect(m_client);
        for (int i = 0; i < 10 && m_connected; ++i)
            mosquitto_loop(m_client, kLoopMilliseconds, 1);
    }
}

void MqttPublisher::sendWaiting()
{
    if (!m_connected)
        return;
    const std::lock_guard lock(m_mutex);
    int inflight = 0;
    for (Message &message : m_queue) {
        if (message.mid != 0) {
            ++inflight;
            continue;
        }
        if (inflight >= kInflight)
            break;
        int mid = 0;
        if (mosquitto_publish(m_client, &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                              message.payload.constData(), kQos, false)
            != MOSQ_ERR_SUCCESS)
            break;
        message.mid = mid;
        ++inflight;
    }
}

void MqttPublisher::publishStatus(const char *presence)
{
    const std::string status = m_config.topicPrefix + "/status";
    mosquitto_publish(m_client, nullptr, status.c_str(), static_cast<int>(std::strlen(presence)), presence, kQos,
                      true);
}

void MqttPublisher::connected(int result)
{
    const std::string where = m_config.host + ":" + std::to_string(m_config.port);
    if (result != 0) {
        const std::string why = std::string("the broker refused the connection: ") + mosquitto_connack_string(result);
        if (why != m_lastError)
            m_journal.fault("mqtt: " + where + ": " + why + " — retrying; logging goes on");
        m_lastError = why;
        m_lossReported = true;
        return;
    }
    m_connected = true;
    publishStatus(kOnline);
    if (!m_everConnected) {
        m_journal.info("mqtt: connected to " + where + ", publishing under " + m_config.topicPrefix);
    } else {
        const std::uint64_t dropped = m_dropped - m_droppedAtLoss;
        m_journal.fault("mqtt: broker back at " + where
                        + (dropped ? ", " + std::to_string(dropped) + " samples dropped while it was away" : ""));
    }
    if (!m_everConnected && m_lossReported && m_dropped > m_droppedAtLoss)
        m_journal.fault("mqtt: " + std::to_string(m_dropped - m_droppedAtLoss) + " samples dropped before the broker "
                        "was reached");
    m_everConnected = true;
    m_lossReported = false;
    m_lastError.clear();
}

void MqttPublisher::disconnected(int reason)
{
    if (!m_connected)
        return;
    m_connected = false;
    {
        // Sent but not acknowledged: they go again, in order, on the next connection.
        const std::lock_guard lock(m_mutex);
        for (Message &message : m_queue)
            message.mid = 0;
    }
    if (m_stopping)
        return;
    m_droppedAtLoss = m_dropped;
    m_lossReported = true;
    m_journal.fault("mqtt: broker lost (" + failureText(reason, {}) + ") — samples wait in memory, up to "
                    + std::to_string(m_config.queueBound));
}

void MqttPublisher::acknowledged(int mid)
{
    const std::lock_guard lock(m_mutex);
    const auto found = std::find_if(m_queue.begin(), m_queue.end(), [mid](const Message &m) { return m.mid == mid; });
    if (found != m_queue.end())
        m_queue.erase(found);
}

} // namespace svglogger
