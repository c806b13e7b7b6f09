#include "headless/SystemdNotifier.h"

#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace svglogger {

SystemdNotifier::SystemdNotifier()
{
    const char *address = std::getenv("NOTIFY_SOCKET");
    if (!address || (address[0] != '/' && address[0] != '@') || std::strlen(address) >= sizeof(sockaddr_un::sun_path))
        return;
    m_address = address;
    // Never blocking: a reader that does not keep up loses a datagram, the event loop never waits.
    m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_socket < 0)
        return;
    // The watchdog is ours when WATCHDOG_PID is unset or names this process.
    const char *usec = std::getenv("WATCHDOG_USEC");
    const char *pid = std::getenv("WATCHDOG_PID");
    const long long microseconds = usec ? std::atoll(usec) : 0;
    if (microseconds > 0 && (!pid || std::atoll(pid) == static_cast<long long>(::getpid()))) {
        connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
        m_watchdog.start(static_cast<int>(std::max(1LL, std::min(microseconds / 2000, 1'000'000'000LL))));
    }
}

SystemdNotifier::~SystemdNotifier()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

void SystemdNotifier::ready()
{
    send("READY=1");
}

void SystemdNotifier::status(const std::string &text)
{
    if (text == m_lastStatus)
        return;
    m_lastStatus = text;
    send("STATUS=" + text);
}

void SystemdNotifier::stopping()
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_watchdog.stop();
    send("STOPPING=1");
}

void SystemdNotifier::send(const std::string &message)
{
    if (m_socket < 0)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_address.data(), m_address.size());
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0'; // the abstract namespace
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + m_address.size());
    (void)::sendto(m_socket, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&address),
                   length);
}

} // namespace svglogger
