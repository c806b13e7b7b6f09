#pragma once

#include "support/PtyPeer.h"

#include <QDir>
#include <QString>

#include <chrono>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace svglogger::test {

// The controller's end of a pseudo-terminal played by the test itself, registered as a
// virtual port <runtime>/svg-logger/ports/<name> like the simulator's.
class ControllerPty
{
public:
    ControllerPty(const QString &portsFolder, const std::string &name)
    {
        QDir().mkpath(portsFolder);
        m_link = portsFolder.toStdString() + "/" + name;
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(m_master);
        unlockpt(m_master);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        // Not inherited by a program the test starts: hanging up must close the line.
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        const char *slave = ptsname(m_master);
        // Raw line discipline on the slave side, as the simulator sets it.
        const int s = ::open(slave, O_RDWR | O_NOCTTY);
        termios tio{};
        tcgetattr(s, &tio);
        cfmakeraw(&tio);
        tcsetattr(s, TCSANOW, &tio);
        ::close(s);
        ::unlink(m_link.c_str());
        (void)!::symlink(slave, m_link.c_str());
    }
    ~ControllerPty() { hangUp(); }
    ControllerPty(const ControllerPty &) = delete;
    ControllerPty &operator=(const ControllerPty &) = delete;

    void send(const std::string &bytes) { (void)!::write(m_master, bytes.data(), bytes.size()); }
    // Everything the logger wrote within `timeout` that includes `expected`, or all read.
    std::string readUntil(const std::string &expected, std::chrono::milliseconds timeout)
    {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.find(expected) == std::string::npos && std::chrono::steady_clock::now() < end) {
            char buffer[1024];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                out.append(buffer, static_cast<std::size_t>(n));
            else
                return out;
        }
        return out;
    }
    std::string readAvailable()
    {
        std::string out;
        char buffer[1024];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            out.append(buffer, static_cast<std::size_t>(n));
        return out;
    }
    // The controller goes away: the line drops, the link stays (as after an unplug).
    void hangUp()
    {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }
    const std::string &link() const { return m_link; }

private:
    int m_master = -1;
    std::string m_link;
};

} // namespace svglogger::test
