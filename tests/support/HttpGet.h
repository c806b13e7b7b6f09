#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace svglogger::test {

// One HTTP/1.0 GET on loopback: the status line's code, the headers and the body as they
// came; code 0 when nothing answered. `authorization` is the header's value, if any.
struct HttpReply {
    int code = 0;
    std::string headers;
    std::string body;
};

inline HttpReply httpGet(int port, const std::string &path, const std::string &authorization = {})
{
    HttpReply reply;
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{5, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(s);
        return reply;
    }
    std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
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

} // namespace svglogger::test
