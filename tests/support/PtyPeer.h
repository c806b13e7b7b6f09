#pragma once

#include <chrono>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace svglogger::test {

// The logger's side of a pseudo-terminal line, opened raw, read with deadlines.
class PtyPeer
{
public:
    explicit PtyPeer(const std::string &path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios tio{};
            tcgetattr(m_fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~PtyPeer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void write(const std::string &bytes) { (void)!::write(m_fd, bytes.data(), bytes.size()); }

    // Everything that arrives within `duration`.
    std::string readFor(std::chrono::milliseconds duration)
    {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + duration;
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return out;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                if (n > 0)
                    out.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }

    // Reads until `expected` has arrived or `timeout` has passed.
    std::string readUntil(const std::string &expected, std::chrono::milliseconds timeout)
    {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.find(expected) == std::string::npos && std::chrono::steady_clock::now() < end)
            out += readFor(std::chrono::milliseconds(20));
        return out;
    }

private:
    int m_fd = -1;
};

} // namespace svglogger::test
