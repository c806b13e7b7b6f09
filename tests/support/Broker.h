#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace svglogger::test {

// A TCP port on the loopback interface that nothing listens on right now.
inline int freeLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

inline bool acceptsConnections(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

// A real mosquitto broker of the test's own, on free loopback ports: `port` for the logger
// (plain, with a password file, or TLS), `plainPort` for the test's subscriber (anonymous,
// the same port when the logger's is too). Ended with the object: no process is left behind.
class Broker
{
public:
    struct Tls {
        std::string caFile, certFile, keyFile;
        bool requireCertificate = false; // mutual TLS: clients show a certificate of the CA
    };

    // `listenerLines`: more settings of the logger's listener (an acl_file, say).
    explicit Broker(const std::string &passwordFile = {}, const Tls *tls = nullptr, const std::string &listenerLines = {})
        : port(freeLoopbackPort())
        , plainPort(tls || !passwordFile.empty() ? freeLoopbackPort() : port)
    {
        const std::string folder = m_dir.path().toStdString();
        std::ofstream conf(folder + "/mosquitto.conf");
        conf << "per_listener_settings true\npersistence true\npersistence_location " << folder << "/\n";
        // Started as root, mosquitto would become its own user and lose the test's files.
        if (const passwd *user = ::getpwuid(::getuid()))
            conf << "user " << user->pw_name << "\n";
        conf << "listener " << port << " 127.0.0.1\n";
        if (tls)
            conf << "cafile " << tls->caFile << "\ncertfile " << tls->certFile << "\nkeyfile " << tls->keyFile << "\n"
                 << (tls->requireCertificate ? "require_certificate true\n" : "");
        conf << listenerLines;
        if (passwordFile.empty())
            conf << "allow_anonymous true\n";
        else
            conf << "allow_anonymous false\npassword_file " << passwordFile << "\n";
        if (plainPort != port)
            conf << "listener " << plainPort << " 127.0.0.1\nallow_anonymous true\n";
    }
    ~Broker() { stop(); }

    bool start()
    {
        m_process.start("mosquitto", {"-c", m_dir.path() + "/mosquitto.conf"});
        for (int i = 0; i < 200; ++i) {
            if (acceptsConnections(port) && acceptsConnections(plainPort))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    const int port;
    const int plainPort;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// The test's subscriber: every message under a topic filter, in arrival order, across broker
// restarts (a persistent session at QoS 1).
class Subscriber
{
public:
    struct Message {
        std::string topic;
        std::string payload;
    };

    Subscriber(int port, std::string filter) : m_filter(std::move(filter))
    {
        mosquitto_lib_init();
        // An id of its own: a second subscriber with the first one's id would take its session over.
        static std::atomic<int> made{0};
        m_client = mosquitto_new(("test-subscriber-" + std::to_string(port) + "-" + std::to_string(made++)).c_str(),
                                 false, this);
        mosquitto_connect_callback_set(m_client, [](mosquitto *client, void *self, int result) {
            auto *me = static_cast<Subscriber *>(self);
            if (result == 0)
                mosquitto_subscribe(client, nullptr, me->m_filter.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(m_client, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<Subscriber *>(self)->m_subscribed = true;
        });
        mosquitto_message_callback_set(m_client, [](mosquitto *, void *self, const mosquitto_message *m) {
            auto *me = static_cast<Subscriber *>(self);
            const std::lock_guard lock(me->m_mutex);
            me->m_messages.push_back({m->topic, std::string(static_cast<const char *>(m->payload),
                                                            static_cast<std::size_t>(m->payloadlen))});
        });
        mosquitto_reconnect_delay_set(m_client, 1, 1, false);
        mosquitto_connect_async(m_client, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_client);
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, true);
        mosquitto_destroy(m_client);
    }
    bool waitUntilSubscribed()
    {
        for (int i = 0; i < 200 && !m_subscribed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return m_subscribed;
    }
    // Every message of every topic, in arrival order.
    std::vector<Message> all() const
    {
        const std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<Message> messages(const std::string &topic) const
    {
        const std::lock_guard lock(m_mutex);
        std::vector<Message> out;
        for (const Message &m : m_messages)
            if (m.topic == topic)
                out.push_back(m);
        return out;
    }

private:
    std::string m_filter;
    mosquitto *m_client = nullptr;
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
    std::atomic<bool> m_subscribed{false};
};

} // namespace svglogger::test
