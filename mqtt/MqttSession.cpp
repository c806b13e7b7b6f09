#include "mqtt/MqttSession.h"

#include "mqtt/MqttMessages.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include <poll.h>
#include <sys/socket.h>

namespace svglogger {

namespace {

constexpr int kQos = 1;
constexpr int kLoopMilliseconds = 20;    // the most a queued message waits before it goes out
constexpr int kKeepAliveSeconds = 30;
constexpr int kConnectSeconds = 15;      // a CONNACK later than this is a failed attempt
constexpr int kRetryCeilingSeconds = 60;
constexpr const char *kOnline = "online";
constexpr const char *kOffline = "offline";

std::string failureText(int result, const std::string &logged)
{
    if (!logged.empty())
        return logged;
    switch (result) {
    case MOSQ_ERR_ERRNO:
        return std::strerror(errno);
    case MOSQ_ERR_KEEPALIVE:
        return "no answer from the broker for " + std::to_string(kKeepAliveSeconds * 3 / 2) + " s (keepalive)";
    default:
        return mosquitto_strerror(result);
    }
}

bool isAuthorisationRefusal(MqttProtocol protocol, int reason)
{
    if (protocol == MqttProtocol::Version311)
        return reason == CONNACK_REFUSED_BAD_USERNAME_PASSWORD || reason == CONNACK_REFUSED_NOT_AUTHORIZED;
    return reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED;
}

using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;
using PrivateKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

// The first certificate of a PEM file; null with the reason in `problem`.
Certificate readCertificate(const std::string &path, std::string &problem)
{
    Certificate certificate(nullptr, X509_free);
    FILE *file = std::fopen(path.c_str(), "r");
    if (!file) {
        problem = "cannot be read: " + std::string(std::strerror(errno));
        return certificate;
    }
    certificate.reset(PEM_read_X509(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    ERR_clear_error();
    if (!certificate)
        problem = "holds no PEM certificate";
    return certificate;
}

// Why a PEM file cannot serve as a certificate, or empty.
std::string certificateProblem(const std::string &path)
{
    std::string problem;
    readCertificate(path, problem);
    return problem;
}

int passwordCallback(char *buffer, int size, int, void *password)
{
    const auto *text = static_cast<const std::string *>(password);
    const int length = static_cast<int>(std::min<std::size_t>(text->size(), static_cast<std::size_t>(size)));
    std::memcpy(buffer, text->data(), static_cast<std::size_t>(length));
    return length;
}

// The client's private key from a PEM file with this password; null with the reason in `problem`.
PrivateKey readKey(const std::string &path, const std::string &password, std::string &problem)
{
    PrivateKey key(nullptr, EVP_PKEY_free);
    FILE *file = std::fopen(path.c_str(), "r");
    if (!file) {
        problem = "cannot be read: " + std::string(std::strerror(errno));
        return key;
    }
    std::string given = password;
    key.reset(PEM_read_PrivateKey(file, nullptr, passwordCallback, &given));
    std::fclose(file);
    ERR_clear_error();
    if (!key)
        problem = password.empty() ? "holds no private key (or one that needs a password: give it by the credential "
                                     "mqtt-key-password or SVG_LOGGER_MQTT_KEY_PASSWORD)"
                                   : "holds no private key this password opens";
    return key;
}

// Why the client's certificate and key cannot serve together, or empty. A key of another
// certificate fails every TLS handshake: said at start, not retried for ever.
std::string clientPairProblem(const MqttConfig &config)
{
    std::string problem;
    const Certificate certificate = readCertificate(config.certFile, problem);
    if (!certificate)
        return "the client certificate " + config.certFile + " " + problem;
    const PrivateKey key = readKey(config.keyFile, config.keyPassword, problem);
    if (!key)
        return "the client key " + config.keyFile + " " + problem;
    const bool pair = X509_check_private_key(certificate.get(), key.get()) == 1;
    ERR_clear_error();
    if (!pair)
        return "the client key " + config.keyFile + " does not belong to the client certificate " + config.certFile
            + " (its public key is another): give the key the certificate was made for";
    return {};
}

// Why a connection still being made is closed before it was made, or empty while it is being
// made (or is). libmosquitto's TLS path takes a refused connection for a handshake that would
// block and waits for ever, losing the reason; `lastError` is errno just after its call,
// as the socket's own error may be taken already.
std::string closedBeforeMade(int socket, int lastError)
{
    if (socket < 0)
        return {};
    pollfd state{socket, POLLOUT, 0};
    if (::poll(&state, 1, 0) != 1 || (state.revents & (POLLHUP | POLLERR)) == 0)
        return {};
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr *>(&peer), &length) == 0)
        return {}; // connected: the handshake's own failures are libmosquitto's to say
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error == 0)
        error = lastError;
    switch (error) {
    case ECONNREFUSED:
    case ECONNRESET:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ETIMEDOUT:
        return std::strerror(error);
    default:
        return "the connection was closed before it was made";
    }
}

} // namespace

MqttSession::MqttSession(MqttConfig config, MqttLog &log, WallClock clock)
    : m_config(std::move(config))
    , m_log(log)
    , m_clock(std::move(clock))
    , m_run(m_config.run)
    , m_outbox(m_config.queueBound)
    , m_spool({m_config.spoolBytes, m_config.queueBound, 1ull << 20, m_config.spoolMinFreeBytes})
{
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
}

MqttSession::~MqttSession()
{
    stop();
    destroyClient();
}

std::string MqttSession::where() const
{
    const bool literal = m_config.host.find(':') != std::string::npos; // an IPv6 address
    return (literal ? "[" + m_config.host + "]" : m_config.host) + ":" + std::to_string(m_config.port);
}

std::string MqttSession::start()
{
    if (const std::string problem = mqtt::prefixProblem(m_config.topicPrefix); !problem.empty())
        return "the topic prefix " + problem;
    if (m_config.tls) {
        if (!m_config.caFile.empty()) {
            if (!std::filesystem::is_regular_file(m_config.caFile))
                return "the CA file " + m_config.caFile + " does not exist (or is no file)";
            if (const std::string problem = certificateProblem(m_config.caFile); !problem.empty())
                return "the CA file " + m_config.caFile + " " + problem;
        }
        if (m_config.certFile.empty() != m_config.keyFile.empty())
            return "a client certificate needs its key, and a key its certificate (--mqtt-cert and --mqtt-key)";
        if (!m_config.certFile.empty())
            if (const std::string problem = clientPairProblem(m_config); !problem.empty())
                return problem;
    } else if (!m_config.certFile.empty() || !m_config.keyFile.empty()) {
        return "a client certificate needs TLS: give the broker as mqtts://";
    }
    if (const std::string problem = makeClient(); !problem.empty())
        return problem;
    destroyClient();

    if (!m_config.spoolFolder.empty()) {
        const MqttSpool::Opened opened = m_spool.open(m_config.spoolFolder);
        if (opened.failure == MqttSpool::OpenFailure::InUse)
            return opened.error;
        if (opened.failure != MqttSpool::OpenFailure::None)
            m_log.warning("mqtt: " + opened.error + " — what the broker has not acknowledged waits in memory "
                          "only, and is lost at stop");
        if (opened.tornBytes != 0)
            m_log.warning("mqtt: " + std::to_string(opened.tornBytes) + " bytes of a message cut short (a crash or "
                          "a power cut) dropped from the spool " + m_config.spoolFolder);
        for (const MqttSpool::Opened::Damage &damage : opened.damaged)
            m_log.warning("mqtt: spool: " + std::to_string(damage.records) + " damaged record"
                          + (damage.records == 1 ? "" : "s") + " skipped in " + damage.path
                          + " (not sent; the rest of the file is)");
        for (const MqttSpool::Opened::SetAside &aside : opened.setAside)
            m_log.warning("mqtt: spool: " + aside.path
                          + (aside.error.empty() ? " set aside as " + aside.to
                                                 : " left where it is, unread (it cannot be moved aside: " + aside.error + ")")
                          + ": " + aside.why + " — kept, not sent");
        if (opened.pending != 0)
            m_log.info("mqtt: " + std::to_string(opened.pending) + " messages an earlier run did not deliver "
                       "wait in " + m_config.spoolFolder + " and go first");
        if (const std::uint64_t lost = m_spool.lostByEarlierRun(); lost != 0)
            m_log.info("mqtt: the previous run lost " + std::to_string(lost) + " messages at its stop (neither "
                       "delivered nor on disk), counted as lost");
    }
    countFigures();
    m_thread = std::thread(&MqttSession::run, this);
    return {};
}

void MqttSession::stop()
{
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    m_thread.join();
}

void MqttSession::setRun(std::string run)
{
    const std::lock_guard lock(m_runMutex);
    m_run = std::move(run);
}

std::string MqttSession::currentRun() const
{
    const std::lock_guard lock(m_runMutex);
    return m_run;
}

// --- The network thread: every libmosquitto call and callback happens here -----------------

std::string MqttSession::makeClient()
{
    destroyClient();
    m_client = mosquitto_new(m_config.clientId.empty() ? nullptr : m_config.clientId.c_str(), true, this);
    if (!m_client)
        return std::string("libmosquitto cannot make a client: ") + std::strerror(errno);
    const bool version5 = m_config.protocol == MqttProtocol::Version5;
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, version5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_connect_v5_callback_set(m_client, [](mosquitto *, void *self, int reason, int, const mosquitto_property *) {
        static_cast<MqttSession *>(self)->connected(reason);
    });
    mosquitto_disconnect_v5_callback_set(m_client, [](mosquitto *, void *self, int reason, const mosquitto_property *) {
        static_cast<MqttSession *>(self)->disconnected(reason);
    });
    mosquitto_publish_v5_callback_set(m_client, [](mosquitto *, void *self, int mid, int reason, const mosquitto_property *) {
        static_cast<MqttSession *>(self)->acknowledged(mid, reason);
    });
    // libmosquitto says why a connection failed (a certificate, a refused socket) in its log.
    mosquitto_log_callback_set(m_client, [](mosquitto *client, void *self, int level, const char *text) {
        if (level & MOSQ_LOG_ERR)
            static_cast<MqttSession *>(self)->logged(client, text);
    });
    if (!m_config.user.empty())
        mosquitto_username_pw_set(m_client, m_config.user.c_str(),
                                  m_config.password.empty() ? nullptr : m_config.password.c_str());
    const std::string status = m_config.topicPrefix + "/status";
    const QByteArray will = mqtt::statusPayload(kOffline, currentRun(), m_clock(), true);
    if (const int result = mosquitto_will_set_v5(m_client, status.c_str(), static_cast<int>(will.size()),
                                                 will.constData(), kQos, true, nullptr);
        result != MOSQ_ERR_SUCCESS)
        return "the last will on " + status + " is refused: " + mosquitto_strerror(result);
    if (m_config.tls) {
        // Without a CA file of its own the broker's certificate is checked against the
        // system's trusted CAs, wherever the operating system keeps them.
        int result = MOSQ_ERR_SUCCESS;
        const char *cert = m_config.certFile.empty() ? nullptr : m_config.certFile.c_str();
        const char *key = m_config.keyFile.empty() ? nullptr : m_config.keyFile.c_str();
        // libmosquitto hands OpenSSL's password callback the client, whose user data is this.
        auto password = [](char *buffer, int size, int rwflag, void *client) {
            auto *self = static_cast<MqttSession *>(mosquitto_userdata(static_cast<mosquitto *>(client)));
            return passwordCallback(buffer, size, rwflag, &self->m_config.keyPassword);
        };
        if (m_config.caFile.empty()) {
            result = mosquitto_int_option(m_client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            if (result == MOSQ_ERR_SUCCESS && cert)
                result = mosquitto_tls_set(m_client, nullptr, "/etc/ssl/certs", cert, key, password);
        } else {
            result = mosquitto_tls_set(m_client, m_config.caFile.c_str(), nullptr, cert, key, password);
        }
        if (result != MOSQ_ERR_SUCCESS)
            return (m_config.caFile.empty() ? std::string("the system's CA certificates") : "the CA file " + m_config.caFile)
                + " cannot be used: " + mosquitto_strerror(result);
    }
    return {};
}

// OpenSSL's own word is "certificate verify failed" whatever failed: while the TLS session
// is still there, its verification result says what (an unknown CA, an expired certificate),
// and libmosquitto's host name check says so before it.
void MqttSession::logged(mosquitto *client, const std::string &text)
{
    if (text.find("host name verification failed") != std::string::npos) {
        m_logged = "the broker's certificate is not made out to " + m_config.host + " (host name verification failed)";
        m_loggedFinal = true;
        return;
    }
    if (m_loggedFinal)
        return;
    m_logged = text;
    if (text.find("certificate verify failed") == std::string::npos)
        return;
    if (const auto *session = static_cast<const SSL *>(mosquitto_ssl_get(client))) {
        const long result = SSL_get_verify_result(session);
        if (result != X509_V_OK)
            m_logged = std::string("the broker's certificate is not trusted: ") + X509_verify_cert_error_string(result)
                + " (" + text + ")";
    }
}

std::string MqttSession::takeLogged()
{
    m_loggedFinal = false;
    std::string text;
    text.swap(m_logged);
    return text;
}

void MqttSession::destroyClient()
{
    if (!m_client)
        return;
    mosquitto_destroy(m_client);
    m_client = nullptr;
    m_connected = false;
    m_connecting = false;
    m_handed.clear();
    m_closedBy = BrokerHealth::Closed::Unsaid;
}

void MqttSession::takeFromOutbox()
{
    for (Message &message : m_outbox.takeMessages())
        m_spool.append(std::move(message));
    if (std::optional<Message> health = m_outbox.takeHealth()) {
        m_health = std::move(health);
        m_healthSent = false;
    }
    if (!m_healthSent)
        sendHealth();
    countFigures();
}

void MqttSession::countFigures()
{
    m_spooled = static_cast<std::size_t>(m_spool.pending());
    m_spoolDroppedSamples = m_spool.droppedSamples();
    m_spoolDroppedEvents = m_spool.droppedEvents();
    m_spoolDamaged = m_spool.damaged();
    m_spoolSetAside = m_spool.segmentsSetAside();
    // The spool settles a refused message as it does an acknowledged one.
    m_delivered = m_spool.delivered() - m_refused;
    m_spoolOnDisk = m_spool.onDisk();
    m_spoolBytes = m_spool.bytes();
    m_spoolLimitBytes = m_spool.onDisk() ? m_spool.limitBytes() : 0;
    m_spoolWriteErrors = m_spool.writeErrors();
    m_lost = m_spool.lostByEarlierRun() + m_lostAtStop;
}

MqttSession::SpoolFigures MqttSession::spoolFigures() const
{
    return {m_spoolOnDisk.load(), m_spoolBytes.load(), m_spooled.load(), m_spoolLimitBytes.load(),
            m_spoolWriteErrors.load(), m_lost.load()};
}

std::int64_t MqttSession::steadySeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now().time_since_epoch()).count();
}

std::string MqttSession::waiting() const
{
    return m_spool.onDisk() ? "messages wait in the spool"
                            : "messages wait in memory, up to " + std::to_string(m_config.queueBound) + " (no spool)";
}

// Full jitter between 1 s and a ceiling that doubles with each failed attempt up to 60 s:
// after a loss the first retry comes within 1–2 s, and a fleet whose broker was away does
// not come back all in the same second.
void MqttSession::scheduleRetry()
{
    const int ceiling = std::min(kRetryCeilingSeconds, 2 << std::min(m_attempt, 6));
    ++m_attempt;
    std::uniform_int_distribution<int> milliseconds(1000, ceiling * 1000);
    m_nextTry = SteadyClock::now() + std::chrono::milliseconds(milliseconds(m_random));
}

void MqttSession::failed(const std::string &why)
{
    m_connected = false;
    if (!m_broker.failed(why, drops(), steadySeconds()))
        return;
    const std::uint64_t unsaid = m_broker.unsaidAttempts();
    m_log.warning("mqtt: " + std::string(m_refusedConnection ? "" : "cannot reach the broker ") + where() + ": "
                  + why + (unsaid != 0 ? " (still; " + std::to_string(unsaid) + " more attempts since it was said)" : "")
                  + " — retrying; " + waiting());
}

// The connection that was up is lost. Another client with the same client id makes the
// broker close each connection soon after it is made: that is said once, with the id, and
// again hourly with its count, instead of every loss and every return.
void MqttSession::lost(const std::string &why)
{
    const BrokerHealth::Lost lost = m_broker.down(drops(), m_stopping, steadySeconds(), m_closedBy);
    m_clientIdTaken = m_broker.takenOver();
    if (lost.said)
        m_log.warning("mqtt: broker lost (" + why + ") — " + waiting());
    if (!lost.takeover)
        return;
    const std::string taken = "mqtt: another client connected with the client id " + m_config.clientId;
    if (lost.takenSince != 0) {
        m_log.warning(taken + " (still; " + std::to_string(lost.takenSince) + " connections taken since it was said)"
                      + " — " + waiting());
        return;
    }
    const std::string seen = lost.shortInARow >= BrokerHealth::kShortInARow
        ? "the broker closed " + std::to_string(lost.shortInARow) + " connections in a row within "
            + std::to_string(BrokerHealth::kShortSeconds) + " s of making them"
        : why;
    m_log.warning(taken + ": " + seen + " — two loggers with one id? (--mqtt-client-id sets another); retrying "
                  "without a line for each loss; " + waiting());
}

void MqttSession::run()
{
    const std::chrono::seconds syncPeriod(std::max(1, m_config.syncSeconds));
    m_nextTry = SteadyClock::now();
    m_nextSync = SteadyClock::now() + syncPeriod;
    SteadyClock::time_point connectingSince;

    while (!m_stopping) {
        takeFromOutbox();
        const auto now = SteadyClock::now();
        if (now >= m_nextSync) {
            sync();
            m_nextSync = now + syncPeriod;
        }
        if (!m_client) {
            if (now < m_nextTry) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kLoopMilliseconds));
                continue;
            }
            if (const std::string problem = makeClient(); !problem.empty()) {
                failed(problem);
                destroyClient();
                scheduleRetry();
                continue;
            }
            const int result = mosquitto_connect_async(m_client, m_config.host.c_str(), m_config.port, kKeepAliveSeconds);
            const int error = errno;
            std::string closed = result == MOSQ_ERR_SUCCESS ? closedBeforeMade(mosquitto_socket(m_client), error) : "";
            if (result != MOSQ_ERR_SUCCESS || !closed.empty()) {
                errno = error;
                failed(closed.empty() ? failureText(result, takeLogged()) : closed);
                destroyClient();
                scheduleRetry();
                continue;
            }
            m_connecting = true;
            m_refusedConnection = false;
            connectingSince = now;
        }
        sendWaiting();
        int result = mosquitto_loop(m_client, kLoopMilliseconds, 1);
        const int error = errno;
        if (result == MOSQ_ERR_SUCCESS && m_connecting && !m_broker.connected()) {
            if (std::string closed = closedBeforeMade(mosquitto_socket(m_client), error); !closed.empty()) {
                m_logged = std::move(closed);
                m_loggedFinal = true;
                result = MOSQ_ERR_NO_CONN;
            } else if (SteadyClock::now() - connectingSince > std::chrono::seconds(kConnectSeconds)) {
                m_logged = "no answer to the connection within " + std::to_string(kConnectSeconds) + " s";
                result = MOSQ_ERR_NO_CONN;
            }
        }
        if (result == MOSQ_ERR_SUCCESS) {
            if (m_broker.takenOver() && m_broker.connected())
                if (const std::optional<std::string> dropped = m_broker.held(drops(), steadySeconds())) {
                    m_clientIdTaken = false;
                    const std::string line = "mqtt: the connection to " + where() + " has held "
                        + std::to_string(BrokerHealth::kShortSeconds) + " s: no other client takes the client id "
                        + m_config.clientId + " any more";
                    if (dropped->empty())
                        m_log.info(line);
                    else
                        m_log.warning(line + "; " + *dropped + " meanwhile");
                }
            continue;
        }
        // The connection ended: what the broker had not acknowledged is sent again on the
        // next one, from one message at a time.
        errno = error;
        const std::string why = failureText(result, takeLogged());
        if (m_broker.connected()) {
            lost(why);
        } else if (!m_refusedConnection) {
            failed(why);
        }
        if (m_spool.inFlight() != 0)
            m_window = 1;
        m_spool.rewind();
        destroyClient();
        scheduleRetry();
    }
    stopped();
}

// Stop: what is still waiting goes out within about a second, the last health and "offline"
// follow, the connection closes, and what the broker has not acknowledged goes to the spool.
void MqttSession::stopped()
{
    takeFromOutbox();
    if (m_client && m_broker.connected()) {
        const auto end = SteadyClock::now() + std::chrono::seconds(1);
        while (SteadyClock::now() < end && m_broker.connected() && m_spool.pending() > 0) {
            sendWaiting();
            mosquitto_loop(m_client, kLoopMilliseconds, 1);
        }
        sendHealth(); // unless the last one went out already
        publishStatus(kOffline);
        // Until the DISCONNECT is out (a second at most): a socket closed before it makes the
        // broker send the last will after "offline".
        m_closed = false;
        if (mosquitto_disconnect(m_client) == MOSQ_ERR_SUCCESS)
            for (int i = 0; i < 50 && !m_closed; ++i)
                mosquitto_loop(m_client, kLoopMilliseconds, 1);
    }
    destroyClient();
    m_spool.rewind();
    const std::string problem = m_spool.flush();
    m_lostAtStop = m_spool.settleLoss();
    countFigures();
    // What is on disk waits for the next start; what is neither there nor delivered is lost.
    const std::uint64_t lost = m_lostAtStop;
    const std::uint64_t left = m_spool.pending() - lost;
    const std::uint64_t dropped = droppedSamples() + droppedEvents();
    std::string line = "mqtt: stop: " + std::to_string(delivered()) + " messages delivered";
    if (m_spool.onDisk())
        line += ", " + std::to_string(left) + " left in the spool for the next start (" + m_spool.folder() + ")";
    line += ", " + std::to_string(lost) + " lost";
    if (lost != 0) {
        if (!m_spool.onDisk())
            line += " (no spool folder)";
        else if (!problem.empty())
            line += " (not on disk: " + problem + ")";
        else
            line += m_spool.atFloor() ? " (no room above the spool's free-space floor)" : " (no room in the spool)";
    }
    line += ", " + std::to_string(dropped) + " dropped, " + std::to_string(refused()) + " refused by the broker";
    if (m_spool.damaged() != 0)
        line += ", " + std::to_string(m_spool.damaged()) + " damaged in the spool";
    if (lost != 0 || dropped != 0 || m_spool.damaged() != 0)
        m_log.warning(line);
    else
        m_log.info(line);
}

void MqttSession::sync()
{
    m_spool.flush();
    countFigures();
    sayConditions();
}

// Each of the spool's conditions is one warning, whatever its text each time: said when it
// begins, at most hourly with its count while it lasts, and once when it ends.
void MqttSession::sayConditions()
{
    const std::int64_t seconds =
        std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now().time_since_epoch()).count();
    const std::string memory = " — messages wait in memory, up to " + std::to_string(m_config.queueBound);
    const std::uint64_t errors = m_spool.writeErrors();
    RepeatedWarning::Verdict write;
    if (const std::string &failure = m_spool.writeFailure(); !failure.empty()) {
        write = m_writeWarning.holds(seconds, errors - m_writeErrorsSeen);
        if (write.say == RepeatedWarning::Say::Began)
            m_log.warning("mqtt: " + failure + memory);
        else if (write.say == RepeatedWarning::Say::Still)
            m_log.warning("mqtt: " + failure + " (still; " + std::to_string(write.count)
                          + " more failed writes since it was said)" + memory);
    } else if (write = m_writeWarning.cleared(); write.say == RepeatedWarning::Say::Ended) {
        m_log.info("mqtt: the spool is written again, after " + std::to_string(write.count) + " failed writes");
    }
    m_writeErrorsSeen = errors;

    const std::uint64_t dropped = m_spool.droppedSamples() + m_spool.droppedEvents();
    const bool floor = m_config.spoolMinFreeBytes != 0;
    const std::string condition = floor ? "spool at its free-space floor" : "spool disk full";
    const std::string where = floor ? "the disk of " + m_spool.folder() + " keeps "
            + std::to_string(m_config.spoolMinFreeBytes >> 20) + " MiB free for the log files"
                                    : "no room left on the disk of " + m_spool.folder();
    RepeatedWarning::Verdict room;
    if (m_spool.atFloor()) {
        room = m_floorWarning.holds(seconds, dropped - m_droppedSeen);
        if (room.say == RepeatedWarning::Say::Began)
            m_log.warning("mqtt: " + condition + ": " + where + "; the oldest samples of the spool are dropped "
                          "(counted), and what finds no room waits in memory");
        else if (room.say == RepeatedWarning::Say::Still)
            m_log.warning("mqtt: " + condition + " (still; " + std::to_string(room.count)
                          + " messages dropped since it was said): " + where);
    } else if (room = m_floorWarning.cleared(); room.say == RepeatedWarning::Say::Ended) {
        m_log.info("mqtt: the spool has room again" + std::string(floor ? " above its free-space floor" : "")
                   + ", after " + std::to_string(room.count) + " messages dropped for it");
    }
    m_droppedSeen = dropped;
}

// Hands waiting messages to libmosquitto in order while fewer than the window await their
// acknowledgement.
void MqttSession::sendWaiting()
{
    assert(m_window >= 1 && m_window <= kWindow);
    while (m_client && m_broker.connected() && m_spool.inFlight() < m_window) {
        std::optional<MqttSpool::Entry> entry = m_spool.next();
        if (!entry)
            return;
        const Message &message = entry->message;
        int mid = 0;
        const int result = mosquitto_publish_v5(m_client, &mid, message.topic.c_str(),
                                                static_cast<int>(message.payload.size()), message.payload.constData(),
                                                kQos, false, nullptr);
        if (result == MOSQ_ERR_SUCCESS) {
            m_handed[mid] = entry->number;
            // The spool hands numbers in ascending order but for a rewind: one below the
            // highest handed so far was handed before, in this run.
            if (entry->number < m_handedEnd)
                ++m_repeated;
            m_handedEnd = std::max(m_handedEnd, entry->number + 1);
            continue;
        }
        if (result == MOSQ_ERR_NO_CONN || result == MOSQ_ERR_CONN_LOST || result == MOSQ_ERR_ERRNO)
            return; // the connection is failing: the loop will say so, and the spool sends it again
        // Refused by libmosquitto itself (too large for MQTT): said, and publishing goes on.
        m_spool.acknowledge(entry->number);
        ++m_refused;
        m_log.fault("mqtt: a message on " + message.topic + " cannot be sent: " + failureText(result, {})
                    + " — publishing goes on");
    }
}

// The newest health, retained; with MQTT 5 it expires after three periods, so that a box
// that died does not say "streaming" for ever.
void MqttSession::sendHealth()
{
    if (!m_health || m_healthSent || !m_client || !m_broker.connected())
        return;
    mosquitto_property *properties = nullptr;
    if (m_config.protocol == MqttProtocol::Version5)
        mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL,
                                     static_cast<std::uint32_t>(3 * m_config.healthSeconds));
    const int result = mosquitto_publish_v5(m_client, nullptr, m_health->topic.c_str(),
                                            static_cast<int>(m_health->payload.size()), m_health->payload.constData(),
                                            kQos, true, properties);
    mosquitto_property_free_all(&properties);
    m_healthSent = result == MOSQ_ERR_SUCCESS;
    if (result != MOSQ_ERR_SUCCESS && result != MOSQ_ERR_NO_CONN && result != MOSQ_ERR_CONN_LOST)
        m_log.fault("mqtt: " + m_health->topic + " cannot be sent: " + failureText(result, {}));
}

void MqttSession::publishStatus(const char *presence)
{
    const std::string status = m_config.topicPrefix + "/status";
    const QByteArray payload = mqtt::statusPayload(presence, currentRun(), m_clock());
    const int result = mosquitto_publish_v5(m_client, nullptr, status.c_str(), static_cast<int>(payload.size()),
                                            payload.constData(), kQos, true, nullptr);
    if (result != MOSQ_ERR_SUCCESS && result != MOSQ_ERR_NO_CONN && result != MOSQ_ERR_CONN_LOST)
        m_log.fault("mqtt: " + status + " was refused: " + failureText(result, {}));
}

void MqttSession::connected(int reason)
{
    m_connecting = false;
    if (reason != 0) {
        const bool version5 = m_config.protocol == MqttProtocol::Version5;
        std::string why = std::string("the broker refused the connection: ")
            + (version5 ? mosquitto_reason_string(reason) : mosquitto_connack_string(reason));
        if (isAuthorisationRefusal(m_config.protocol, reason))
            why = "not authorised: " + why + " (check mqtt-user and the password)";
        m_refusedConnection = true;
        failed(why);
        return;
    }
    m_attempt = 0;
    m_connected = true;
    const BrokerHealth::Up up = m_broker.up(drops(), steadySeconds());
    m_reconnects = m_broker.reconnects();
    publishStatus(kOnline);
    m_healthSent = false; // after each connection, at once
    sendHealth();
    const std::string protocol = m_config.protocol == MqttProtocol::Version5 ? "MQTT 5" : "MQTT 3.1.1";
    if (up.first) {
        m_log.info("mqtt: connected to " + where() + " (" + protocol + ") as " + m_config.clientId
                   + ", publishing under " + m_config.topicPrefix);
        if (!up.dropped.empty())
            m_log.warning("mqtt: " + up.dropped + " before the broker was reached");
    } else if (!up.quiet) {
        m_log.warning("mqtt: broker back at " + where() + (up.dropped.empty() ? "" : ", " + up.dropped + " while it was away"));
    }
}

// libmosquitto's own word on a lost connection; the loop that sees the loss says it. A
// broker of MQTT 5 may say why it closed the connection.
void MqttSession::disconnected(int reason)
{
    m_connected = false;
    if (reason == 0) {
        m_closed = true; // the DISCONNECT this side asked for is out
        return;
    }
    if (m_config.protocol != MqttProtocol::Version5 || reason < MQTT_RC_UNSPECIFIED)
        return;
    m_logged = std::string("the broker closed the connection: ") + mosquitto_reason_string(reason);
    m_closedBy = reason == MQTT_RC_SESSION_TAKEN_OVER ? BrokerHealth::Closed::SessionTakenOver
                                                      : BrokerHealth::Closed::OtherReason;
}

void MqttSession::acknowledged(int mid, int reason)
{
    const auto handed = m_handed.find(mid);
    if (handed == m_handed.end())
        return; // the health or the status
    const std::uint64_t number = handed->second;
    m_handed.erase(handed);
    if (reason >= MQTT_RC_UNSPECIFIED) {
        // Refused for good (an ACL, a quota): counted, said once per reason, never sent again.
        ++m_refused;
        const std::string said = mosquitto_reason_string(reason);
        if (m_refusalsSaid.insert(said).second)
            m_log.fault("mqtt: the broker refused a message: " + said + " (reason code " + std::to_string(reason)
                        + ") — counted as refused, said once; publishing goes on");
    }
    m_spool.acknowledge(number);
    if (m_window < kWindow)
        ++m_window;
}

} // namespace svglogger
