#include "headless/MqttPublisher.h"

#include "headless/Journal.h"
#include "link/Quantity.h"
#include "recording/CsvText.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace svglogger {

namespace {

constexpr int kQos = 1;
constexpr int kInflight = 20;            // handed to libmosquitto, not yet acknowledged
constexpr int kLoopMilliseconds = 20;    // the most a queued message waits before it goes out
constexpr int kKeepAliveSeconds = 30;
constexpr int kFirstRetryMilliseconds = 1000;
constexpr int kLastRetryMilliseconds = 30000;
constexpr std::size_t kMaxTopicBytes = 65535; // MQTT's length field
constexpr const char *kOnline = "online";
constexpr const char *kOffline = "offline";
// The topics under the prefix; the longest decides how long a prefix may be.
constexpr const char *kSuffixes[] = {"/sample", "/interval", "/event", "/health", "/status"};

QLatin1StringView latin1(std::string_view text)
{
    return QLatin1StringView(text.data(), static_cast<qsizetype>(text.size()));
}

// A number of the CSV as a JSON number: std::from_chars reads it whatever the C locale says.
std::optional<double> csvNumber(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A quantity as its CSV row writes it, as a number.
double rowNumber(float value, int decimals)
{
    std::string text;
    appendNumberText(text, value, decimals);
    return csvNumber(text).value_or(0.0);
}

// "2026/12/07 9:05:03" or "2026/12/07" (midnight), as the CSV writes its times.
std::optional<LocalDateTime> csvTime(std::string_view text)
{
    LocalDateTime time;
    int *const parts[] = {&time.year, &time.month, &time.day, &time.hour, &time.minute, &time.second};
    const char separators[] = {'/', '/', ' ', ':', ':', '\0'};
    const char *at = text.data();
    const char *const end = at + text.size();
    time.hour = time.minute = time.second = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        const auto [next, error] = std::from_chars(at, end, *parts[i]);
        if (error != std::errc())
            return std::nullopt;
        at = next;
        if (at == end)
            return i == 2 || i == 5 ? std::optional(time) : std::nullopt;
        if (*at++ != separators[i])
            return std::nullopt;
    }
    return std::nullopt;
}

// "2026-12-07T11:05:03[.234]+09:00": a local time with its offset. Integers only, so the
// same in every locale.
QByteArray isoText(const QDateTime &local, bool withMilliseconds)
{
    const QDate date = local.date();
    const QTime time = local.time();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    char text[48];
    int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", date.year(), date.month(),
                               date.day(), time.hour(), time.minute(), time.second());
    if (withMilliseconds)
        length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%03d", time.msec());
    std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "%c%02d:%02d",
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return QByteArray(text);
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

std::int64_t MqttPublisher::systemMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string MqttPublisher::prefixProblem(const std::string &prefix)
{
    if (prefix.empty())
        return "is empty";
    if (mosquitto_validate_utf8(prefix.c_str(), static_cast<int>(std::min(prefix.size(), kMaxTopicBytes + 1)))
        != MOSQ_ERR_SUCCESS)
        return "is not valid UTF-8 (or holds a control character)";
    if (prefix.size() + std::strlen("/interval") > kMaxTopicBytes)
        return "is longer than MQTT's " + std::to_string(kMaxTopicBytes - std::strlen("/interval")) + " bytes";
    if (prefix.front() == '$')
        return "starts with '$', which brokers keep for themselves";
    if (prefix.find_first_of("+#") != std::string::npos)
        return "holds a wildcard ('+' or '#')";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return "has an empty level (a '/' at either end, or '//')";
    for (const char *suffix : kSuffixes)
        if (mosquitto_pub_topic_check((prefix + suffix).c_str()) != MOSQ_ERR_SUCCESS)
            return "is refused by libmosquitto";
    return {};
}

MqttPublisher::MqttPublisher(MqttConfig config, Journal &journal, WallClock clock)
    : m_config(std::move(config))
    , m_journal(journal)
    , m_clock(std::move(clock))
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
    if (const std::string problem = prefixProblem(m_config.topicPrefix); !problem.empty())
        return "the topic prefix " + problem;
    const std::string status = m_config.topicPrefix + "/status";
    if (const int result = mosquitto_will_set(m_client, status.c_str(), static_cast<int>(std::strlen(kOffline)),
                                              kOffline, kQos, true);
        result != MOSQ_ERR_SUCCESS)
        return std::string("the last will on ") + status + " is refused: " + mosquitto_strerror(result);
    if (m_config.tls) {
        if (!m_config.caFile.empty() && !std::filesystem::is_regular_file(m_config.caFile))
            return "the CA file " + m_config.caFile + " does not exist (or is no file)";
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

QByteArray MqttPublisher::isoTime(std::int64_t milliseconds)
{
    return isoText(QDateTime::fromMSecsSinceEpoch(milliseconds), true);
}

QByteArray MqttPublisher::isoTime(const LocalDateTime &time)
{
    return isoText(QDateTime(QDate(time.year, time.month, time.day), QTime(time.hour, time.minute, time.second)),
                   false);
}

QByteArray MqttPublisher::samplePayload(std::int64_t milliseconds, const MeasurementSample &sample,
                                        ControllerVersion controllerVersion, std::uint64_t sequence,
                                        const std::string &run)
{
    return samplePayload(isoTime(milliseconds), sample, controllerVersion, sequence, run);
}

QByteArray MqttPublisher::samplePayload(const QByteArray &time, const MeasurementSample &sample,
                                        ControllerVersion controllerVersion, std::uint64_t sequence,
                                        const std::string &run)
{
    using S = MeasurementSample;
    QJsonObject object;
    object.insert("time", QString::fromLatin1(time));
    object.insert("run", QString::fromStdString(run));
    object.insert("sequence", static_cast<qint64>(sequence));
    object.insert("controller_version", versionNumber(controllerVersion));
    object.insert(latin1(kStatusWordKey), rowNumber(sample[S::StatusWord], 0));
    // As the continuous row writes them.
    const std::size_t k = quantitiesSentBy(controllerVersion);
    for (std::size_t q = 0; q < k; ++q)
        object.insert(latin1(kQuantities[q].jsonKey),
                      rowNumber(sample[kQuantities[q].index], kQuantities[q].continuousDecimals));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray MqttPublisher::intervalPayload(std::string_view row, std::uint64_t sequence, const std::string &run)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = row.find(',', start);
        fields.push_back(row.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    // time, k averages, k maxima, k minima, the count, the status word
    const std::size_t k = fields.size() >= 3 ? (fields.size() - 3) / 3 : 0;
    const std::optional<LocalDateTime> time = csvTime(fields[0]);
    const bool older = k == quantitiesSentBy(ControllerVersion::Older);
    if ((!older && k != quantitiesSentBy(ControllerVersion::Version2)) || fields.size() != 3 * k + 3 || !time)
        return {};
    QJsonObject object;
    object.insert("time", QString::fromLatin1(isoTime(*time)));
    object.insert("run", QString::fromStdString(run));
    object.insert("sequence", static_cast<qint64>(sequence));
    object.insert("controller_version",
                  versionNumber(older ? ControllerVersion::Older : ControllerVersion::Version2));
    for (std::size_t q = 0; q < k; ++q) {
        const std::optional<double> average = csvNumber(fields[1 + q]);
        const std::optional<double> maximum = csvNumber(fields[1 + k + q]);
        const std::optional<double> minimum = csvNumber(fields[1 + 2 * k + q]);
        if (!average || !maximum || !minimum)
            return {};
        const QString key = latin1(kQuantities[q].jsonKey);
        object.insert(key, *average);
        object.insert(key + "_max", *maximum);
        object.insert(key + "_min", *minimum);
    }
    const std::optional<double> samples = csvNumber(fields[3 * k + 1]);
    const std::optional<double> status = csvNumber(fields[3 * k + 2]);
    if (!samples || !status)
        return {};
    object.insert("sample_count", *samples);
    object.insert(latin1(kStatusWordKey), *status);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void MqttPublisher::enqueue(Message message)
{
    const std::lock_guard lock(m_mutex);
    if (message.kind == Kind::Health) {
        // Only the newest health counts: one still waiting is replaced.
        const auto waiting = std::find_if(m_queue.begin(), m_queue.end(),
                                          [](const Message &m) { return m.kind == Kind::Health; });
        if (waiting != m_queue.end())
            m_queue.erase(waiting);
    }
    if (m_queue.size() >= m_config.queueBound) {
        // The oldest sample or event goes; the one health message waiting stays.
        auto oldest = m_queue.begin();
        if (oldest != m_queue.end() && oldest->kind == Kind::Health)
            ++oldest;
        if (oldest != m_queue.end()) {
            ++(oldest->kind == Kind::Sample ? m_droppedSamples : m_droppedEvents);
            m_queue.erase(oldest);
        }
    }
    m_queue.push_back(std::move(message));
}

void MqttPublisher::lineRecorded(const LocalDateTime &, const MeasurementSample &sample,
                                 ControllerVersion controllerVersion)
{
    if (m_config.intervalRows)
        return;
    // The moment the line was decoded; strictly increasing, so that a store keyed by time
    // keeps every sample of the run.
    m_lastSampleTime = std::max(m_clock(), m_lastSampleTime + 1);
    const QByteArray time = isoTime(m_lastSampleTime);
    QByteArray payload = samplePayload(time, sample, controllerVersion, ++m_sequence, m_config.run);
    {
        const std::lock_guard lock(m_mutex);
        m_lastSampleIso.assign(time.constData(), static_cast<std::size_t>(time.size()));
    }
    enqueue({Kind::Sample, m_config.topicPrefix + "/sample", std::move(payload), false});
}

void MqttPublisher::rowMade(std::string_view row)
{
    if (!m_config.intervalRows)
        return;
    QByteArray payload = intervalPayload(row, m_sequence + 1, m_config.run);
    if (payload.isEmpty())
        return; // a continuous row: the run's mode is not the interval mode
    ++m_sequence;
    {
        const std::lock_guard lock(m_mutex);
        m_lastSampleIso = isoTime(m_clock()).toStdString();
    }
    enqueue({Kind::Sample, m_config.topicPrefix + "/interval", std::move(payload), false});
}

void MqttPublisher::event(const char *name, QJsonObject details)
{
    details.insert("event", QString::fromLatin1(name));
    details.insert("time", QString::fromLatin1(isoTime(m_clock())));
    details.insert("run", QString::fromStdString(m_config.run));
    enqueue({Kind::Event, m_config.topicPrefix + "/event", QJsonDocument(details).toJson(QJsonDocument::Compact),
             false});
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

void MqttPublisher::publishHealth(const HealthReport &report)
{
    auto textOrNull = [](const std::string &text) {
        return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(text));
    };
    QJsonObject object{
        {"time", QString::fromLatin1(isoTime(m_clock()))},
        {"run", QString::fromStdString(m_config.run)},
        {"link", QString::fromLatin1(report.link)},
        {"file", textOrNull(report.file)},
        {"lines_received", static_cast<qint64>(report.linesReceived)},
        {"rows_written", static_cast<qint64>(report.rowsWritten)},
        {"queue", static_cast<qint64>(queued())},
        {"dropped_samples", static_cast<qint64>(m_droppedSamples.load())},
        {"dropped_events", static_cast<qint64>(m_droppedEvents.load())},
        {"log_error", textOrNull(report.logError)},
        {"free_disk_mb", report.freeDiskMb ? QJsonValue(static_cast<qint64>(*report.freeDiskMb))
                                           : QJsonValue(QJsonValue::Null)},
    };
    {
        const std::lock_guard lock(m_mutex);
        object.insert("last_sample_time", textOrNull(m_lastSampleIso));
    }
    enqueue({Kind::Health, m_config.topicPrefix + "/health", QJsonDocument(object).toJson(QJsonDocument::Compact),
             true});
}

std::size_t MqttPublisher::queued() const
{
    const std::lock_guard lock(m_mutex);
    return m_queue.size() + m_handedCount;
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
        Message message;
        {
            const std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return;
            message = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_handedCount; // counted as waiting while it is between the two
        }
        int mid = 0;
        const int result = mosquitto_publish(m_client, &mid, message.topic.c_str(),
                                             static_cast<int>(message.payload.size()), message.payload.constData(),
                                             kQos, message.retain);
        const bool held = result == MOSQ_ERR_SUCCESS
            || (mid != 0 && result != MOSQ_ERR_NOMEM && result != MOSQ_ERR_PAYLOAD_SIZE && result != MOSQ_ERR_INVAL);
        if (held) {
            // libmosquitto has it and sends it again itself after a lost connection.
            m_handed.insert(mid);
            if (result != MOSQ_ERR_SUCCESS)
                return; // the connection is failing: the loop will say so
            continue;
        }
        const std::lock_guard lock(m_mutex);
        --m_handedCount;
        if (result == MOSQ_ERR_NO_CONN) {
            m_queue.push_front(std::move(message)); // not taken: it goes first next time
            return;
        }
        // Refused outright: said, and publishing goes on with the next message.
        ++(message.kind == Kind::Sample ? m_droppedSamples : m_droppedEvents);
        m_journal.fault("mqtt: a message on " + message.topic + " was refused: " + failureText(result, {})
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
    if (m_handed.erase(mid) != 0) {
        const std::lock_guard lock(m_mutex);
        --m_handedCount;
    }
}

} // namespace svglogger
