#pragma once

#include "common/Settings.h"
#include "mqtt/MqttConfig.h"
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>
#include <string>

namespace svglogger {

// Where a broker is: "mqtt://host:port" in its parts.
struct MqttAddress {
    std::string host;
    int port = 1883;
    bool tls = false;
};
// False when `url` is no mqtt:// or mqtts:// URL; an IPv6 address stands in brackets.
bool parseMqttUrl(const std::string &url, MqttAddress &address);

// What svg-logger-headless is told to do: its long options, or the same keys in the INI file
// of --config (the command line wins).
struct HeadlessOptions {
    std::string port;                     // entry, virtual port name or device; empty: the first
    std::string folder;                   // the log folder, with its separator at the end
    SamplingMode samplingMode = SamplingMode::Continuous;
    std::string interval = "1";           // seconds, read as Text4 is
    bool powerFlowCorrection = false;     // the "G" file names of Check4
    std::string triggerFile;              // empty: no trigger
    std::optional<double> durationSeconds; // stop by itself after that long
    bool quiet = false;                   // the journal keeps only faults
    int syncSeconds = 10;                 // rows reach the disk at most this often; 0: every row
    int keepDays = 0;                     // the logger's own files older than this go; 0: kept
    std::int64_t minFreeMb = 0;           // below this free space the oldest own files go; 0: off
    bool listPorts = false;
    // Publishing to an MQTT broker; no URL: none.
    std::string mqttUrl;                  // mqtt://host[:port] or mqtts://host[:port]
    MqttAddress mqttAddress;              // the URL's parts, read once
    std::string mqttCa;                   // the CA file for mqtts://
    std::string mqttTopic;                // empty: svg-logger/<host name>
    std::string mqttUser;
    std::string mqttPassword;             // INI file < systemd credential < SVG_LOGGER_MQTT_PASSWORD
    std::size_t mqttQueue = 18000;        // messages kept in memory while the broker is away (an hour)
    std::int64_t mqttSpoolMb = 100;       // on disk beyond memory and across a restart; 0: memory only
    // The free space the spool leaves its disk for the log files; unset: kSpoolMinFreeMb.
    std::optional<std::int64_t> spoolMinFreeMb;
    static constexpr std::int64_t kSpoolMinFreeMb = 1024; // the fleet's "disk low" alert's GiB
    std::string mqttClientId;             // empty: derived from the machine id and the topic prefix
    MqttProtocol mqttProtocol = MqttProtocol::Version5;
    std::string mqttCert;                 // the client's certificate and key for mutual TLS
    std::string mqttKey;
    std::string mqttKeyPassword;          // INI file < systemd credential < SVG_LOGGER_MQTT_KEY_PASSWORD
    bool mqttPublishRows = false;         // interval rows on <prefix>/interval instead of samples
    bool mqttCompact = false;             // a second's samples in one message on <prefix>/samples
    // A Prometheus endpoint; empty: no socket is opened.
    std::string metricsListen;            // "127.0.0.1:9464", "[::1]:9464", "[::]:9464"; port 0: any free one
    std::string metricsUser;              // basic auth with a plain-text password: loopback only
    std::string metricsPassword;          // INI file < systemd credential < SVG_LOGGER_METRICS_PASSWORD
    std::string metricsWebConfig;         // the exporters' web configuration: TLS, users with bcrypt hashes
    int metricsTimeoutSeconds = 5;        // a scrape connection's whole life
    int metricsMaxConnections = 512;      // connections served at once; beyond, they wait
    double nominalVoltage = 6600.0;       // V: the grid voltage histogram's buckets are shares of it
    std::string reactancePercent;         // "%X=" of the uncompensated voltage; empty: not exported
};


// The outcome of reading the command line: options to run with, a text to print and leave
// (--help, --version), or an error naming the option or the key and line (exit code 2).
struct ParsedOptions {
    HeadlessOptions options;
    std::string print;
    std::string error;
    std::vector<std::string> warnings; // for the journal: the run goes on
};

// `arguments` without the program's name; `homeFolder` gives the default log folder.
ParsedOptions parseHeadlessOptions(const QStringList &arguments, const std::string &homeFolder);

} // namespace svglogger
