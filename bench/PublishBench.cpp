#include "BenchEngine.h"

#include "headless/Journal.h"
#include "mqtt/MqttPublisher.h"
#include "common/Settings.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <thread>

namespace svglogger {
namespace {

MqttConfig benchConfig(int port)
{
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = port;
    config.topicPrefix = "svg-logger/bench";
    config.clientId = "bench";
    config.run = "bench-run";
    config.protocol = MqttProtocol::Version311; // the stalled broker answers an MQTT 3.1.1 CONNECT
    return config;
}

// One decoded version-2 sample into the publisher: its JSON (time with milliseconds and the
// local offset, the CSV row's numbers) and its place in the bounded queue, which is full and
// drops its oldest, as while a broker is away. No network: that runs on its own thread.
void BM_PublishSample(benchmark::State &state)
{
    std::ostringstream out;
    Journal journal(out, true);
    MqttPublisher publisher(benchConfig(1883), journal);
    LineRecord record;
    const float values[10] = {6601, 149.3f, 114.1f, 102.5f, 18, 0.4f, 3.7f, 2.0f, 6712, 0};
    for (std::size_t q = 0; q < MeasurementSample::FieldCount; ++q)
        record.sample[q] = values[q];
    record.time = {2026, 12, 7, 11, 51, 17};
    record.epochMilliseconds = 1796611877234;
    record.layout = {SamplingMode::Continuous, ControllerVersion::Version2};
    for (auto _ : state) {
        publisher.lineRecorded(record);
        record.sample[MeasurementSample::GridVoltage] += 1; // the next sample, as a stream brings it
        record.epochMilliseconds += 200;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["queued"] = static_cast<double>(publisher.queued());
}
BENCHMARK(BM_PublishSample)->Unit(benchmark::kMicrosecond);

// A broker that accepts the connection, answers CONNECT with a CONNACK and then never reads
// again: the logger's socket fills and stays full.
class StalledBroker
{
public:
    StalledBroker()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            m_client = ::accept(m_listener, nullptr, nullptr);
            char connect[256];
            (void)!::read(m_client, connect, sizeof connect);
            const unsigned char connack[] = {0x20, 0x02, 0x00, 0x00};
            (void)!::write(m_client, connack, sizeof connack);
        });
    }
    ~StalledBroker()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_client);
        ::close(m_listener);
    }
    int port = 0;

private:
    int m_listener = -1;
    int m_client = -1;
    std::thread m_thread;
};

// Version-2 lines through the whole receive procedure as BM_ReceiveVersion2Lines, with a
// publisher following the recording: /0 no broker (nothing listens on its port), /1 a broker
// that stopped reading. The receive path never waits on the network: both cost the same.
void BM_ReceiveWhileTheBrokerStalls(benchmark::State &state)
{
    test::NullLogFile file;
    bench::BenchEngine engine(file);
    std::ostringstream out;
    Journal journal(out, true);
    std::unique_ptr<StalledBroker> broker;
    if (state.range(0) == 1)
        broker = std::make_unique<StalledBroker>();
    // Port 1 on the loopback: refused at once, as a broker that is away.
    auto publisher = std::make_unique<MqttPublisher>(benchConfig(broker ? broker->port : 1), journal);
    publisher->start();
    engine.handler.recorder().setEvents(publisher.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // connected (or refused), CONNACK read
    bench::receiveVersion2Stream(state, engine);
    state.counters["queued"] = static_cast<double>(publisher->queued());
    publisher->stop();
}
BENCHMARK(BM_ReceiveWhileTheBrokerStalls)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace svglogger
