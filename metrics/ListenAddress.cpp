#include "metrics/ListenAddress.h"

#include <cstdint>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace svglogger {

std::optional<ListenAddress> ListenAddress::parse(const std::string &text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    const std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos
        || std::stoi(port) > 65535)
        return std::nullopt;
    const auto portNumber = htons(static_cast<std::uint16_t>(std::stoi(port)));

    ListenAddress result;
    result.m_host = host;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return std::nullopt;
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = portNumber;
        if (::inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &address.sin6_addr) != 1)
            return std::nullopt;
        std::memcpy(&result.m_address, &address, sizeof address);
        result.m_length = sizeof address;
    } else {
        // inet_pton takes the dotted quad alone: no "10.1", no leading zeros read as octal.
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = portNumber;
        if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
            return std::nullopt;
        std::memcpy(&result.m_address, &address, sizeof address);
        result.m_length = sizeof address;
    }
    return result;
}

bool ListenAddress::loopback() const
{
    if (ipv6()) {
        const auto *address = reinterpret_cast<const sockaddr_in6 *>(&m_address);
        return IN6_IS_ADDR_LOOPBACK(&address->sin6_addr);
    }
    const auto *address = reinterpret_cast<const sockaddr_in *>(&m_address);
    return (ntohl(address->sin_addr.s_addr) >> 24) == 127;
}

bool ListenAddress::any() const
{
    if (ipv6()) {
        const auto *address = reinterpret_cast<const sockaddr_in6 *>(&m_address);
        return IN6_IS_ADDR_UNSPECIFIED(&address->sin6_addr);
    }
    return reinterpret_cast<const sockaddr_in *>(&m_address)->sin_addr.s_addr == htonl(INADDR_ANY);
}

} // namespace svglogger
