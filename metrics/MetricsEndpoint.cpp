#include "metrics/MetricsEndpoint.h"

#include <prometheus/collectable.h>
#include <prometheus/exposer.h>

#include <CivetServer.h>
#include <civetweb.h>

#include <cstring>
#include <exception>

namespace svglogger {

namespace {

constexpr char kLandingPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>svg-logger-headless</title></head>\n"
    "<body><h1>svg-logger-headless</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

// civetweb's hook before its handlers: "/" gets the landing page, everything else goes on
// to /metrics' handler or civetweb's 404.
int landingPage(mg_connection *connection)
{
    const mg_request_info *request = mg_get_request_info(connection);
    if (!request || !request->local_uri || std::strcmp(request->local_uri, "/") != 0)
        return 0;
    mg_printf(connection,
              "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: %zu\r\n"
              "Connection: close\r\n\r\n%s",
              sizeof kLandingPage - 1, kLandingPage);
    return 200;
}

} // namespace

// The families of each scrape, handed to the Exposer, which holds it weakly.
class MetricsEndpoint::Source final : public prometheus::Collectable
{
public:
    explicit Source(MetricsEndpoint::Collect collect)
        : m_collect(std::move(collect))
    {
    }
    std::vector<prometheus::MetricFamily> Collect() const override { return m_collect(); }

private:
    MetricsEndpoint::Collect m_collect;
};

MetricsEndpoint::MetricsEndpoint(Collect collect)
    : m_source(std::make_shared<Source>(std::move(collect)))
{
}

MetricsEndpoint::~MetricsEndpoint() = default;

std::string MetricsEndpoint::start(const Config &config)
{
    static const CivetCallbacks callbacks = [] {
        CivetCallbacks c;
        c.begin_request = landingPage;
        return c;
    }();
    try {
        // Two threads: a scrape never waits behind a slow client; no keep-alive to hold them.
        m_exposer = std::make_unique<prometheus::Exposer>(
            std::vector<std::string>{"listening_ports", config.listen, "num_threads", "2"}, &callbacks);
    } catch (const std::exception &error) {
        m_exposer.reset();
        return "cannot listen on " + config.listen + " (in use, or not an address of this machine): " + error.what();
    }
    m_exposer->RegisterCollectable(m_source);
    if (!config.user.empty())
        m_exposer->RegisterAuth([user = config.user, password = config.password](const std::string &u, const std::string &p) {
            return u == user && p == password;
        }, "svg-logger-headless");
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    m_port = ports.empty() ? 0 : ports.front();
    return {};
}

} // namespace svglogger
