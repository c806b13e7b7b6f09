#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace svglogger::test {

// One HTTP/1.0 request on a numeric address (loopback unless told): the status line's code,
// the headers and the body as they came; code 0 when nothing answered within 5 s.
// `authorization` is the header's value, if any.
struct HttpReply {
    int code = 0;
    std::string headers;
    std::string body;
};

inline HttpReply httpRequest(const std::string &method, int port, const std::string &path,
                             const std::string &authorization = {}, const std::string &host = "127.0.0.1")
{
    HttpReply reply;
    sockaddr_storage address{};
    socklen_t length = 0;
    if (auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address); host.find(':') != std::string::npos) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) != 1)
            return reply;
        length = sizeof *v6;
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) != 1)
            return reply;
        length = sizeof *v4;
    }
    const int s = ::socket(address.ss_family, SOCK_STREAM, 0);
    timeval timeout{5, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(s, reinterpret_cast<sockaddr *>(&address), length) != 0) {
        ::close(s);
        return reply;
    }
    const std::string hostHeader = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::string request = method + " " + path + " HTTP/1.0\r\nHost: " + hostHeader + "\r\n";
    if (!authorization.empty())
        request += "Authorization: " + authorization + "\r\n";
    request += "\r\n";
    (void)!::send(s, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    char buffer[16384];
    for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(s);
    const std::size_t end = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.", 0) != 0 || end == std::string::npos)
        return reply;
    reply.code = std::stoi(text.substr(9, 3));
    reply.headers = text.substr(0, end + 2);
    reply.body = text.substr(end + 4);
    return reply;
}

inline HttpReply httpGet(int port, const std::string &path, const std::string &authorization = {})
{
    return httpRequest("GET", port, path, authorization);
}

} // namespace svglogger::test
