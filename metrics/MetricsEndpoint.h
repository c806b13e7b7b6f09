#pragma once

#include "metrics/ScraperAuth.h"
#include "metrics/WebConfig.h"

#include <prometheus/metric_family.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace svglogger {

// The Prometheus endpoint: /metrics serves what `collect` gives at each scrape, in Prometheus'
// text format (gzip when the scraper takes it); / is a page linking it; both answer GET and
// HEAD, behind the basic auth when there is one. Every connection is closed after its answer
// and at the latest `timeoutSeconds` after it was accepted, however it trickles.
class MetricsEndpoint
{
public:
    using Collect = std::function<std::vector<prometheus::MetricFamily>()>;

    struct Config {
        std::string listen;                 // "127.0.0.1:9464", "[::1]:0", "[::]:9464" (IPv6 and IPv4)
        int timeoutSeconds = 5;             // a connection's whole life: request, answer and all
        int maxConnections = 512;           // beyond, new ones wait in the kernel's backlog
        std::optional<WebConfig::Tls> tls;  // HTTPS, perhaps with client certificates
        ScraperAuth auth;
    };

    explicit MetricsEndpoint(Collect collect);
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint &) = delete;
    MetricsEndpoint &operator=(const MetricsEndpoint &) = delete;

    // Binds and serves; the reason when it cannot (the address is taken or not this machine's).
    std::string start(const Config &config);
    // The bound port (the free one port 0 found); 0 before start.
    int port() const { return m_port; }

private:
    class Server;
    Collect m_collect;
    std::unique_ptr<Server> m_server;
    int m_port = 0;
};

} // namespace svglogger
