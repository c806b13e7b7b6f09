#include "metrics/MetricsEndpoint.h"

#include "metrics/ListenAddress.h"

#include <prometheus/text_serializer.h>

// libmicrohttpd, not prometheus-cpp's Exposer over civetweb: civetweb gives each connection a
// thread of a fixed few for as long as it waits for a request, so two sockets trickling a byte a
// second stalled every scrape, and Debian builds it without IPv6. libmicrohttpd waits on all
// connections with epoll in one thread, serves IPv6 and TLS (GnuTLS) and answers HEAD.
#include <gnutls/gnutls.h>
#include <microhttpd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace svglogger {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kLandingPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>svg-logger-headless</title></head>\n"
    "<body><h1>svg-logger-headless</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";
constexpr char kRealm[] = "svg-logger-headless";
constexpr char kTextFormat[] = "text/plain; charset=utf-8";
constexpr unsigned kServerThreads = 2; // a bcrypt check or a TLS handshake in one leaves the other free
constexpr int kSpareFds = 64;          // the program's own files, ports and sockets beside the connections

// Whether the request's Accept-Encoding takes gzip: named, and not with q=0.
bool takesGzip(const char *accepted)
{
    if (!accepted)
        return false;
    const std::string text = accepted;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        std::string item = text.substr(at, comma - at);
        item.erase(std::remove(item.begin(), item.end(), ' '), item.end());
        const std::size_t semicolon = std::min(item.find(';'), item.size());
        if (item.substr(0, semicolon) == "gzip") {
            const std::string weight = item.substr(std::min(semicolon + 1, item.size()));
            return !weight.starts_with("q=") || std::strtod(weight.c_str() + 2, nullptr) > 0;
        }
        at = comma + 1;
    }
    return false;
}

// `text` in gzip's format; empty when zlib cannot.
std::string gzipped(const std::string &text)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return done ? out : std::string();
}

// Room for the connections among the open files: the soft limit raised towards the hard one
// (systemd gives 1024 and 524288), as a server that polls with epoll may.
void makeRoomForConnections(int connections)
{
    rlimit limit{};
    const rlim_t wanted = static_cast<rlim_t>(connections + kSpareFds);
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

class MetricsEndpoint::Server
{
public:
    Server(const Collect &collect, const Config &config)
        : m_collect(collect)
        , m_config(config)
    {
    }
    ~Server()
    {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_reaper.joinable())
            m_reaper.join();
        if (m_daemon)
            MHD_stop_daemon(m_daemon); // closes the listening socket too
        else if (m_listening >= 0)
            ::close(m_listening);
    }

    std::string start(const ListenAddress &address, int &port)
    {
        const std::string where = "cannot listen on " + m_config.listen + ": ";
        m_listening = ::socket(address.address()->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_listening < 0)
            return where + std::strerror(errno);
        const int on = 1, off = 0;
        ::setsockopt(m_listening, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        // "[::]" takes IPv4 too (as ::ffff:a.b.c.d); "[::1]" is IPv6's alone anyway.
        if (address.ipv6())
            ::setsockopt(m_listening, IPPROTO_IPV6, IPV6_V6ONLY, address.any() ? &off : &on, sizeof on);
        if (::bind(m_listening, address.address(), address.length()) != 0 || ::listen(m_listening, SOMAXCONN) != 0)
            return where + std::strerror(errno);
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(m_listening, reinterpret_cast<sockaddr *>(&bound), &length);
        port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                                 : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
        makeRoomForConnections(m_config.maxConnections);

        std::vector<MHD_OptionItem> options{
            {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Server::log), this},
            {MHD_OPTION_LISTEN_SOCKET, m_listening, nullptr},
            {MHD_OPTION_CONNECTION_LIMIT, m_config.maxConnections, nullptr},
            {MHD_OPTION_THREAD_POOL_SIZE, kServerThreads, nullptr},
            {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Server::notify), this},
        };
        unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
        if (const auto &tls = m_config.tls) {
            flags |= MHD_USE_TLS;
            options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(tls->certPem.c_str())});
            options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(tls->keyPem.c_str())});
            options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char *>(tls->priorities.c_str())});
            if (!tls->clientCaPem.empty())
                options.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char *>(tls->clientCaPem.c_str())});
        }
        options.push_back({MHD_OPTION_END, 0, nullptr});
        m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Server::answer, this, MHD_OPTION_ARRAY,
                                    options.data(), MHD_OPTION_END);
        if (!m_daemon) {
            ::close(m_listening);
            m_listening = -1;
            return where + (m_startLog.empty() ? std::string("libmicrohttpd does not start") : m_startLog);
        }
        m_started = true;
        m_reaper = std::thread([this] { reap(); });
        return {};
    }

private:
    struct Open {
        int fd = -1;
        Clock::time_point deadline;
        bool cut = false;
    };

    // libmicrohttpd's messages: the reason at start; later ones (a client's broken handshake)
    // are the clients' business, not the journal's.
    static void log(void *self, const char *format, va_list arguments)
    {
        auto *server = static_cast<Server *>(self);
        if (server->m_started || std::this_thread::get_id() != server->m_starter)
            return;
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        server->m_startLog = text;
        while (!server->m_startLog.empty() && server->m_startLog.back() == '\n')
            server->m_startLog.pop_back();
    }

    // Each connection's deadline from its accept; the close is seen before the socket is
    // closed, so the reaper never shuts a descriptor that has been given to another file.
    static void notify(void *self, MHD_Connection *connection, void **, MHD_ConnectionNotificationCode code)
    {
        auto *server = static_cast<Server *>(self);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            server->requireClientCertificate(connection);
            const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            if (!info)
                return;
            {
                const std::lock_guard<std::mutex> hold(server->m_lock);
                server->m_open[connection] = {info->connect_fd,
                                              Clock::now() + std::chrono::seconds(server->m_config.timeoutSeconds)};
            }
            server->m_wake.notify_one(); // its deadline may be the earliest
        } else {
            const std::lock_guard<std::mutex> hold(server->m_lock);
            server->m_open.erase(connection);
        }
    }

    // libmicrohttpd's own timeout counts idleness only: a client trickling a byte a second would
    // keep its connection for ever. The deadline counts from the accept.
    void reap()
    {
        std::unique_lock<std::mutex> hold(m_lock);
        while (!m_stopping) {
            // Asleep until the earliest deadline; with no connection open, until one comes.
            std::optional<Clock::time_point> earliest;
            for (const auto &[connection, open] : m_open)
                if (!open.cut && (!earliest || open.deadline < *earliest))
                    earliest = open.deadline;
            if (earliest)
                m_wake.wait_until(hold, *earliest);
            else
                m_wake.wait(hold);
            const Clock::time_point now = Clock::now();
            for (auto &[connection, open] : m_open)
                if (!open.cut && now >= open.deadline) {
                    ::shutdown(open.fd, SHUT_RDWR); // libmicrohttpd sees the end and closes it
                    open.cut = true;
                }
        }
    }

    // RequireAndVerifyClientCert: the handshake itself fails without a certificate the client
    // CA vouches for. (VerifyClientCertIfGiven cannot be told to GnuTLS's handshake, which
    // would refuse a client without one: answer() verifies the one given.)
    void requireClientCertificate(MHD_Connection *connection) const
    {
        if (!m_config.tls || m_config.tls->clientAuth != WebConfig::ClientAuth::RequireAndVerify)
            return;
        const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
        if (!info || !info->tls_session)
            return; // answer() refuses it then
        auto session = static_cast<gnutls_session_t>(info->tls_session);
        gnutls_certificate_server_set_request(session, GNUTLS_CERT_REQUIRE);
        gnutls_session_set_verify_cert(session, nullptr, 0);
    }

    // The client's certificate as the configuration asks for it, looked at once more on the
    // established session: the rule holds even where the handshake could not be told.
    bool clientCertificateAccepted(MHD_Connection *connection) const
    {
        if (!m_config.tls || m_config.tls->clientAuth == WebConfig::ClientAuth::None)
            return true;
        const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
        if (!info || !info->tls_session)
            return false;
        auto session = static_cast<gnutls_session_t>(info->tls_session);
        unsigned count = 0;
        if (!gnutls_certificate_get_peers(session, &count) || count == 0)
            return m_config.tls->clientAuth == WebConfig::ClientAuth::VerifyIfGiven;
        unsigned status = 0;
        return gnutls_certificate_verify_peers2(session, &status) == 0 && status == 0;
    }

    static MHD_Result reply(MHD_Connection *connection, unsigned status, const std::string &body, const char *type,
                            bool gzip = false, const char *allow = nullptr)
    {
        MHD_Response *response =
            MHD_create_response_from_buffer(body.size(), const_cast<char *>(body.data()), MHD_RESPMEM_MUST_COPY);
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
        if (gzip)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
        if (allow)
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
        const MHD_Result queued = status == MHD_HTTP_UNAUTHORIZED
            ? MHD_queue_basic_auth_fail_response(connection, kRealm, response)
            : MHD_queue_response(connection, status, response);
        MHD_destroy_response(response);
        return queued;
    }

    bool authorised(MHD_Connection *connection) const
    {
        if (!m_config.auth.required())
            return true;
        char *password = nullptr;
        char *user = MHD_basic_auth_get_username_password(connection, &password);
        const bool allowed = user && password && m_config.auth.allows(user, password);
        if (password) {
            std::memset(password, 0, std::strlen(password));
            MHD_free(password);
        }
        if (user)
            MHD_free(user);
        return allowed;
    }

    static MHD_Result answer(void *self, MHD_Connection *connection, const char *url, const char *method,
                             const char *, const char *, std::size_t *uploadSize, void **request)
    {
        auto *server = static_cast<Server *>(self);
        // A body (there should be none) is read to its end before the answer.
        if (!*request) {
            static int seen;
            *request = &seen;
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            *uploadSize = 0;
            return MHD_YES;
        }
        if (!server->clientCertificateAccepted(connection))
            return MHD_NO; // closed without an answer, as a failed handshake would be
        if (!server->authorised(connection))
            return reply(connection, MHD_HTTP_UNAUTHORIZED, "Unauthorized\n", kTextFormat);
        const std::string path = url;
        if (path != "/" && path != "/metrics")
            return reply(connection, MHD_HTTP_NOT_FOUND, "Not Found\n", kTextFormat);
        if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
            return reply(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Method Not Allowed\n", kTextFormat, false, "GET, HEAD");
        if (path == "/")
            return reply(connection, MHD_HTTP_OK, kLandingPage, "text/html; charset=utf-8");
        const std::string text = prometheus::TextSerializer().Serialize(server->m_collect());
        if (takesGzip(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING)))
            if (const std::string packed = gzipped(text); !packed.empty())
                return reply(connection, MHD_HTTP_OK, packed, kTextFormat, true);
        return reply(connection, MHD_HTTP_OK, text, kTextFormat);
    }

    const Collect &m_collect;
    const Config m_config;
    int m_listening = -1;
    MHD_Daemon *m_daemon = nullptr;
    std::atomic<bool> m_started{false};
    const std::thread::id m_starter = std::this_thread::get_id(); // the only thread that writes m_startLog
    std::string m_startLog;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<MHD_Connection *, Open> m_open;
    std::thread m_reaper;
};

MetricsEndpoint::MetricsEndpoint(Collect collect)
    : m_collect(std::move(collect))
{
}

MetricsEndpoint::~MetricsEndpoint() = default;

std::string MetricsEndpoint::start(const Config &config)
{
    const std::optional<ListenAddress> address = ListenAddress::parse(config.listen);
    if (!address)
        return "cannot listen on " + config.listen + ": not a numeric address and port";
    auto server = std::make_unique<Server>(m_collect, config);
    if (std::string error = server->start(*address, m_port); !error.empty()) {
        m_port = 0;
        return error;
    }
    m_server = std::move(server);
    return {};
}

} // namespace svglogger
