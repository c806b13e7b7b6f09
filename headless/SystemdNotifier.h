#pragma once

#include <QObject>
#include <QTimer>

#include <string>

namespace svglogger {

// Tells systemd how the service is doing through the datagram socket it names in
// NOTIFY_SOCKET (the sd_notify protocol): READY=1 once the run has started, STATUS= lines,
// STOPPING=1 at the end, and WATCHDOG=1 every half of WATCHDOG_USEC from the event loop, so
// a program whose loop hangs is restarted. Without NOTIFY_SOCKET nothing is sent.
class SystemdNotifier final : public QObject
{
    Q_OBJECT

public:
    SystemdNotifier();
    ~SystemdNotifier() override;
    SystemdNotifier(const SystemdNotifier &) = delete;
    SystemdNotifier &operator=(const SystemdNotifier &) = delete;

    bool active() const { return m_socket >= 0; }
    void ready();
    // A STATUS= line; the same text twice is sent once.
    void status(const std::string &text);
    void stopping();

private:
    void send(const std::string &message);

    int m_socket = -1;
    std::string m_address; // the socket's path; a leading '@' names the abstract namespace
    std::string m_lastStatus;
    bool m_stopping = false;
    QTimer m_watchdog;
};

} // namespace svglogger
