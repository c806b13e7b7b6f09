#pragma once

#include "support/Broker.h"

#include <poll.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace svglogger::test {

// A TCP proxy on a free loopback port in front of a broker. What the client sends goes
// through at once; what the broker answers can be held back (`hold()`: acknowledgements
// never arrive) and the connections cut (`cut()`: the client sees its connection lost with
// its messages unacknowledged). New connections after a cut pass freely.
class HoldingProxy
{
public:
    explicit HoldingProxy(int brokerPort)
        : port(freeLoopbackPort())
        , m_brokerPort(brokerPort)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address = loopback(port);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 8);
        m_thread = std::thread([this] { serve(); });
    }
    ~HoldingProxy()
    {
        m_stopping = true;
        m_thread.join();
        ::close(m_listener);
        for (const Pair &pair : m_pairs) {
            ::close(pair.client);
            ::close(pair.broker);
        }
    }
    HoldingProxy(const HoldingProxy &) = delete;
    HoldingProxy &operator=(const HoldingProxy &) = delete;

    void hold() { m_holding = true; }
    // Closes every connection; what was held is never delivered.
    void cut()
    {
        m_cutRequested = true;
        while (m_cutRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_holding = false;
    }
    int connections() const { return m_connections; }

    const int port;

private:
    struct Pair {
        int client = -1;
        int broker = -1;
    };

    static sockaddr_in loopback(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    // One thread polls everything: no locks, and a cut happens between two reads.
    void serve()
    {
        char buffer[65536];
        while (!m_stopping) {
            if (m_cutRequested) {
                for (const Pair &pair : m_pairs) {
                    ::shutdown(pair.client, SHUT_RDWR);
                    ::close(pair.client);
                    ::close(pair.broker);
                }
                m_pairs.clear();
                m_cutRequested = false;
            }
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
            for (const Pair &pair : m_pairs) {
                fds.push_back({pair.client, POLLIN, 0});
                fds.push_back({pair.broker, static_cast<short>(m_holding ? 0 : POLLIN), 0});
            }
            if (::poll(fds.data(), fds.size(), 10) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int client = ::accept(m_listener, nullptr, nullptr);
                const int broker = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in address = loopback(m_brokerPort);
                if (client >= 0 && ::connect(broker, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
                    m_pairs.push_back({client, broker});
                    ++m_connections;
                } else {
                    ::close(client);
                    ::close(broker);
                }
                continue; // the list of descriptors changed
            }
            std::vector<std::size_t> closed;
            const bool holding = m_holding;
            for (std::size_t i = 0; i < m_pairs.size(); ++i) {
                const Pair pair = m_pairs[i];
                for (const auto &[from, to, revents] : {std::tuple{pair.client, pair.broker, fds[1 + 2 * i].revents},
                                                        std::tuple{pair.broker, pair.client, fds[2 + 2 * i].revents}}) {
                    if (!(revents & (POLLIN | POLLHUP | POLLERR)) || (holding && from == pair.broker))
                        continue;
                    const ssize_t n = ::read(from, buffer, sizeof buffer);
                    if (n <= 0 || ::send(to, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) {
                        closed.push_back(i);
                        break;
                    }
                }
            }
            for (auto i = closed.rbegin(); i != closed.rend(); ++i) {
                ::close(m_pairs[*i].client);
                ::close(m_pairs[*i].broker);
                m_pairs.erase(m_pairs.begin() + static_cast<std::ptrdiff_t>(*i));
            }
        }
    }

    const int m_brokerPort;
    int m_listener = -1;
    std::vector<Pair> m_pairs; // the serving thread's
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_cutRequested{false};
    std::atomic<int> m_connections{0};
};

} // namespace svglogger::test
