#pragma once

#include <optional>
#include <string>

#include <sys/socket.h>

namespace svglogger {

// A numeric address and port to listen on, as --metrics-listen takes it: "127.0.0.1:9464",
// "0.0.0.0:9464", "[::1]:9464", "[::]:9464" (IPv6 and IPv4 both); port 0 takes a free one.
class ListenAddress
{
public:
    // None when `text` is not a numeric address with a port from 0 to 65535.
    static std::optional<ListenAddress> parse(const std::string &text);

    // 127.0.0.0/8 or ::1: only this machine can connect.
    bool loopback() const;
    bool ipv6() const { return m_address.ss_family == AF_INET6; }
    // The unspecified address of its family: every interface.
    bool any() const;
    const sockaddr *address() const { return reinterpret_cast<const sockaddr *>(&m_address); }
    socklen_t length() const { return m_length; }
    // The address without its port, as a URL writes it ("127.0.0.1", "[::1]").
    const std::string &host() const { return m_host; }

private:
    sockaddr_storage m_address{};
    socklen_t m_length = 0;
    std::string m_host;
};

} // namespace svglogger
