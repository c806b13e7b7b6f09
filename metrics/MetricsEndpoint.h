#pragma once

#include <prometheus/metric_family.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace prometheus {
class Exposer;
}

namespace svglogger {

// The Prometheus endpoint: /metrics serves what `collect` gives at each scrape, on the
// server's own threads; / is a page linking it. prometheus-cpp's Exposer over civetweb does
// the HTTP, the text format and basic auth.
class MetricsEndpoint
{
public:
    using Collect = std::function<std::vector<prometheus::MetricFamily>()>;

    struct Config {
        std::string listen;   // "127.0.0.1:9464", "[::1]:0"
        std::string user;     // basic auth when not empty
        std::string password;
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
    class Source;
    std::shared_ptr<Source> m_source;
    std::unique_ptr<prometheus::Exposer> m_exposer;
    int m_port = 0;
};

} // namespace svglogger
