#pragma once

#include <cstdint>
#include <string>

namespace svglogger {

enum class MqttProtocol { Version5, Version311 };

// Where and how to publish.
struct MqttConfig {
    std::string host;
    int port = 1883;
    bool tls = false;         // mqtts://
    std::string caFile;       // the CA that signed the broker's certificate
    std::string topicPrefix;  // <prefix>/sample, /interval, /event, /health, /status
    std::string user;
    std::string password;     // never written anywhere
    std::size_t queueBound = 18000; // messages in memory
    std::string clientId;
    std::string run;          // this run of the program, on every message; a clock step starts another
    bool intervalRows = false; // each interval row on <prefix>/interval instead of every sample
    MqttProtocol protocol = MqttProtocol::Version5;
    std::string certFile;     // the client's own certificate and key for mutual TLS
    std::string keyFile;
    std::string keyPassword;  // of an encrypted key; never written anywhere
    std::string spoolFolder;  // where unacknowledged messages outlive the program; empty: memory only
    std::uint64_t spoolBytes = 100ull << 20;
    std::uint64_t spoolMinFreeBytes = 0; // left free on the spool's file system; 0: none
    int syncSeconds = 10;     // the spool reaches the disk at least this often (at least every second)
    int healthSeconds = 60;   // the health message's period; it expires after three
    bool compact = false;     // a second's samples in one message on <prefix>/samples
};

} // namespace svglogger
