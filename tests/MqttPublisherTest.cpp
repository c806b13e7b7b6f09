#include "mqtt/BrokerHealth.h"
#include "mqtt/MqttPublisher.h"
#include "link/Quantity.h"
#include "common/Settings.h"
#include "recording/CsvLayout.h"
#include "support/Broker.h"
#include "support/CommaLocale.h"
#include "support/HoldingProxy.h"
#include "support/Split.h"
#include "support/TextLog.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QJsonDocument>
#include <QDateTime>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace svglogger {
namespace {

using namespace std::chrono_literals;
using S = MeasurementSample;

MeasurementSample sampleOf(std::initializer_list<float> values)
{
    MeasurementSample s;
    std::size_t q = 0;
    for (float v : values)
        s[q++] = v;
    return s;
}

double number(const std::string &text)
{
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// A continuous record of a sample handled at `milliseconds`.
LineRecord recordOf(const MeasurementSample &sample, ControllerVersion version, std::int64_t milliseconds)
{
    LineRecord record;
    record.sample = sample;
    record.layout = {SamplingMode::Continuous, version};
    record.epochMilliseconds = milliseconds;
    return record;
}


const MeasurementSample kSamples[] = {
    sampleOf({6601, 149.3f, 114.1f, 102.5f, 18, 0.4f, 3.7f, 2.0f, 6712, 0}),
    sampleOf({6601, 12.25f, -0.04f, 102.5f, 30.04f, -40.05f, 26.2444f, 0.04f, 6700, -1}),
    sampleOf({6612.5f, -1234.567f, 0.1f, 99999.95f, -0.05f, 16265.44f, 9.998513f, -2.999554f, 0, 32767}),
    sampleOf({12345678.0f, 1.0f / 3.0f, 0.25f, -0.4f, 7, 8, 9, 10, 0, -32768}),
};

// --- Numbers: the JSON holds the CSV row's numbers, whatever the C locale says -------------

void expectTheRowsNumbers(const char *locale)
{
    for (const MeasurementSample &sample : kSamples) {
        for (ControllerVersion version : {ControllerVersion::Older, ControllerVersion::Version2}) {
            const std::vector<std::string> row =
                test::split(continuousRow({2026, 12, 7, 9, 5, 3}, sample, version), ',');
            const QJsonObject object = json(mqtt::samplePayload(recordOf(sample, version, 0), mqtt::isoTime(1796611877234), 1, "r"));
            const std::size_t quantities = quantitiesSentBy(version);
            ASSERT_EQ(row.size(), quantities + 2);
            // Every quantity of the table that the controller sends, under its key.
            for (std::size_t q = 0; q < quantities; ++q) {
                const QString key = QString::fromUtf8(kQuantities[q].jsonKey.data(),
                                                      static_cast<qsizetype>(kQuantities[q].jsonKey.size()));
                ASSERT_TRUE(object.contains(key)) << kQuantities[q].jsonKey;
                EXPECT_EQ(object.value(key).toDouble(), number(row[q + 1]))
                    << kQuantities[q].jsonKey << " = " << row[q + 1] << " under " << locale;
            }
            EXPECT_EQ(object.value("status_word").toDouble(), number(row.back()));
            EXPECT_EQ(object.size(), static_cast<qsizetype>(quantities + 5)); // time, run, sequence, version, status
            // The compact format: the same numbers in the CSV's column order, after the offset.
            const QJsonObject second = json(mqtt::compactPayload({{1796611877000, sample}, {1796611877200, sample}},
                                                                 version, 41, "r"));
            EXPECT_EQ(second.value("seq").toInteger(), 41);
            EXPECT_EQ(second.value("t").toInteger(), 1796611877000);
            EXPECT_EQ(second.value("k").toArray().size(), static_cast<qsizetype>(quantities + 1));
            const QJsonArray rows = second.value("d").toArray();
            ASSERT_EQ(rows.size(), 2);
            EXPECT_EQ(rows[1].toArray()[0].toInteger(), 200);
            for (std::size_t c = 1; c < row.size(); ++c)
                EXPECT_EQ(rows[0].toArray()[static_cast<qsizetype>(c)].toDouble(), number(row[c]))
                    << "column " << c << " under " << locale;
        }
    }
}

TEST(MqttNumbers, TheSampleCarriesTheCsvRowsNumbersInTheCAndADecimalCommaLocale)
{
    expectTheRowsNumbers("C");
    const test::CommaLocale german;
    if (!german.active())
        GTEST_SKIP() << "no locale with a decimal comma can be had here";
    expectTheRowsNumbers("de_DE");
    const QByteArray payload = mqtt::samplePayload(recordOf(kSamples[0], ControllerVersion::Version2, 0), mqtt::isoTime(1796611877234), 1, "r");
    EXPECT_NE(payload.indexOf("\"load_active_power_kw\":149.3"), -1) << payload.toStdString();
}

// --- Times: milliseconds with the local offset ---------------------------------------------

struct ZoneCase {
    const char *tz;
    std::int64_t milliseconds;
    const char *expected;
};

class MqttTime : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(MqttTime, MillisecondsWithTheLocalOffset)
{
    const char *previous = std::getenv("TZ");
    const std::string kept = previous ? previous : "";
    ::setenv("TZ", GetParam().tz, 1);
    ::tzset();
    EXPECT_EQ(mqtt::isoTime(GetParam().milliseconds).toStdString(), GetParam().expected);
    if (previous)
        ::setenv("TZ", kept.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

INSTANTIATE_TEST_SUITE_P(Zones, MqttTime, ::testing::Values(
    ZoneCase{"JST-9", 1796611877234, "2026-12-07T11:51:17.234+09:00"},
    ZoneCase{"UTC0", 1796611877234, "2026-12-07T02:51:17.234+00:00"},
    ZoneCase{"EST5", 1796611877005, "2026-12-06T21:51:17.005-05:00"},
    ZoneCase{"IST-5:30", 1796611877999, "2026-12-07T08:21:17.999+05:30"}));

// --- Interval rows: the row's numbers under the sample keys ---------------------------------

IntervalFigures figuresOf(LocalDateTime time, std::size_t quantities, float first, std::int16_t count, float status)
{
    IntervalFigures figures;
    figures.time = time;
    figures.quantities = quantities;
    for (std::size_t q = 0; q < quantities; ++q) {
        figures.average[q] = first + static_cast<float>(q);
        figures.maximum[q] = first + static_cast<float>(q + quantities);
        figures.minimum[q] = first + static_cast<float>(q + 2 * quantities);
    }
    figures.sampleCount = count;
    figures.statusWord = status;
    return figures;
}

TEST(MqttIntervalRows, EachRowWithItsStampKeysAndTheNumbersItsCsvRowWrites)
{
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
    IntervalFigures older = figuresOf({2026, 12, 7, 9, 5, 10}, 4, 0.5f, 5, 16);
    older.average = {6600.04f, 10.55f, 5, -3}; // rounded as the row rounds them
    older.minimum[3] = -4.46f;
    const QJsonObject v1 = json(mqtt::intervalPayload(older, ControllerVersion::Older, 3, "run-1"));
    EXPECT_EQ(v1.value("time").toString(), "2026-12-07T09:05:10+09:00");
    EXPECT_EQ(v1.value("run").toString(), "run-1");
    EXPECT_EQ(v1.value("sequence").toInteger(), 3);
    EXPECT_EQ(v1.value("controller_version").toInt(), 1);
    EXPECT_EQ(v1.value("grid_voltage_v").toDouble(), 6600);
    EXPECT_EQ(v1.value("load_active_power_kw").toDouble(), 10.6);
    EXPECT_EQ(v1.value("svg_output_kvar_max").toDouble(), 7.5);
    EXPECT_EQ(v1.value("svg_output_kvar_min").toDouble(), -4.5);
    EXPECT_EQ(v1.value("sample_count").toInt(), 5);
    EXPECT_EQ(v1.value("status_word").toInt(), 16);
    EXPECT_FALSE(v1.contains("negative_sequence_voltage_d_v"));
    EXPECT_EQ(v1.size(), 4 + 3 * 4 + 2);

    // Every number equals the one the CSV row writes, for both layouts.
    for (const auto &[figures, version] :
         {std::pair{older, ControllerVersion::Older},
          std::pair{figuresOf({2026, 12, 8, 0, 0, 0}, 8, 1.0f / 3.0f, 32767, -1), ControllerVersion::Version2}}) {
        const std::vector<std::string> row = test::split(intervalRow(figures), ',');
        const QJsonObject object = json(mqtt::intervalPayload(figures, version, 4, "run-1"));
        const std::size_t k = figures.quantities;
        ASSERT_EQ(row.size(), 3 * k + 3);
        for (std::size_t q = 0; q < k; ++q) {
            const QString key = QString::fromLatin1(kQuantities[q].jsonKey.data(),
                                                    static_cast<qsizetype>(kQuantities[q].jsonKey.size()));
            EXPECT_EQ(object.value(key).toDouble(), number(row[1 + q])) << row[1 + q];
            EXPECT_EQ(object.value(key + "_max").toDouble(), number(row[1 + k + q])) << row[1 + k + q];
            EXPECT_EQ(object.value(key + "_min").toDouble(), number(row[1 + 2 * k + q])) << row[1 + 2 * k + q];
        }
        EXPECT_EQ(object.value("sample_count").toDouble(), number(row[3 * k + 1]));
        EXPECT_EQ(object.value("status_word").toDouble(), number(row[3 * k + 2]));
    }
    const QJsonObject v2 = json(mqtt::intervalPayload(figuresOf({2026, 12, 8, 0, 0, 0}, 8, 0.5f, 32767, -1),
                                                      ControllerVersion::Version2, 4, "run-1"));
    EXPECT_EQ(v2.value("time").toString(), "2026-12-08T00:00:00+09:00");
    EXPECT_EQ(v2.value("controller_version").toInt(), 2);
    EXPECT_EQ(v2.value("negative_sequence_command_q_a").toDouble(), 7.5);
    EXPECT_EQ(v2.value("sample_count").toInt(), 32767);
    ::unsetenv("TZ");
    ::tzset();
}

// --- The outbox: bounded, samples dropped before events, the newest health alone ----------

MqttConfig configFor(int port, const std::string &run, std::size_t bound = 18000, const std::string &caFile = {})
{
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = port;
    config.tls = !caFile.empty();
    config.caFile = caFile;
    config.topicPrefix = "site";
    config.queueBound = bound;
    config.clientId = "publisher-" + run;
    config.run = run;
    return config;
}

TEST(MqttQueue, BeyondTheBoundTheOldestSamplesAreDroppedBeforeAnyEvent)
{
    test::TextLog log;
    MqttPublisher publisher(configFor(1, "run", 50), log);
    publisher.fileOpened("/log/a.csv");
    publisher.publishHealth({});
    for (int i = 0; i < 56; ++i)
        publisher.lineRecorded(recordOf(kSamples[0], ControllerVersion::Older, 1796611877234));
    EXPECT_EQ(publisher.queued(), 50u);
    EXPECT_EQ(publisher.droppedEvents(), 0u) << "the file's event stays";
    EXPECT_EQ(publisher.droppedSamples(), 7u);
    publisher.publishHealth({});
    EXPECT_EQ(publisher.queued(), 50u) << "health is not queued: the newest one replaces the last";
    EXPECT_EQ(log.text(), "") << "nothing is sent or said before the publisher starts";
}

TEST(MqttOutboxSteps, InOrderTheNewestHealthAndEventsOutliveSamples)
{
    using Kind = MqttOutbox::Kind;
    MqttOutbox outbox(3);
    outbox.put({Kind::Sample, "t/sample", "a", false});
    outbox.put({Kind::Event, "t/event", "b", false});
    outbox.put({Kind::Health, "t/health", "h1", true});
    outbox.put({Kind::Sample, "t/sample", "c", false});
    outbox.put({Kind::Health, "t/health", "h2", true});
    outbox.put({Kind::Sample, "t/sample", "d", false}); // beyond the bound: "a" goes
    outbox.put({Kind::Event, "t/event", "e", false});   // and then "c"
    EXPECT_EQ(outbox.droppedSamples(), 2u);
    EXPECT_EQ(outbox.droppedEvents(), 0u);
    EXPECT_EQ(outbox.waiting(), 3u);
    std::vector<std::string> taken;
    for (const MqttOutbox::Message &m : outbox.takeMessages())
        taken.push_back(m.payload.toStdString());
    EXPECT_EQ(taken, (std::vector<std::string>{"b", "d", "e"}));
    const std::optional<MqttOutbox::Message> health = outbox.takeHealth();
    ASSERT_TRUE(health);
    EXPECT_EQ(health->payload, "h2");
    EXPECT_FALSE(outbox.takeHealth());
    EXPECT_EQ(outbox.waiting(), 0u);
}

// The broker's health as the journal tells it: each failure reason once, the loss once, and
// when the broker is back, what was dropped since it was first missed.
TEST(BrokerHealthSteps, EachReasonOnceAndTheDropsSinceTheBrokerWasMissed)
{
    enum class Step { Fail, Up, Down, DownStopping };
    struct Row {
        Step step;
        const char *why;             // for Fail
        BrokerHealth::Drops now;     // the publisher's drop counts at the step
        bool said;                   // Fail, Down: to be said
        bool first;                  // Up
        const char *dropped;         // Up
    };
    const Row rows[] = {
        {Step::Fail, "refused", {0, 0}, true, false, ""},
        {Step::Fail, "refused", {5, 0}, false, false, ""},  // the same reason again: quiet
        {Step::Fail, "timed out", {9, 1}, true, false, ""}, // another reason
        {Step::Up, "", {12, 1}, false, true, "12 samples and 1 event dropped"},
        {Step::Down, "", {12, 1}, true, false, ""},
        {Step::Fail, "refused", {13, 1}, true, false, ""},  // the reason was cleared when it came up
        {Step::Up, "", {14, 1}, false, false, "2 samples dropped"},    // counted from the loss
        {Step::Down, "", {14, 3}, true, false, ""},
        {Step::Up, "", {14, 4}, false, false, "1 event dropped"},
        {Step::DownStopping, "", {20, 4}, false, false, ""},           // Stop: not said
        {Step::Down, "", {20, 4}, false, false, ""},                   // not up: nothing
    };
    BrokerHealth broker;
    int i = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE("row " + std::to_string(i++));
        switch (row.step) {
        case Step::Fail:
            EXPECT_EQ(broker.failed(row.why, row.now), row.said);
            EXPECT_EQ(broker.lastError(), row.why);
            EXPECT_FALSE(broker.connected());
            break;
        case Step::Up: {
            const BrokerHealth::Up up = broker.up(row.now);
            EXPECT_EQ(up.first, row.first);
            EXPECT_EQ(up.dropped, row.dropped);
            EXPECT_TRUE(broker.connected());
            EXPECT_EQ(broker.lastError(), "");
            break;
        }
        case Step::Down:
        case Step::DownStopping:
            EXPECT_EQ(broker.down(row.now, row.step == Step::DownStopping).said, row.said);
            EXPECT_FALSE(broker.connected());
            break;
        }
    }
}

// Another client with the same client id: the broker closes each connection soon after
// making it. Three such losses in a row (or MQTT 5's Session taken over at once) are one
// takeover, said once and again after an hour with its count; its connections are not said
// one by one; a connection that holds ends it. A failed attempt or a reason of the broker's
// own breaks the row.
TEST(BrokerHealthSteps, ConnectionsLostWithinSecondsOfBeingMadeAreOneTakeover)
{
    using Closed = BrokerHealth::Closed;
    enum class Step { Up, Down, Fail, Held };
    struct Row {
        Step step;
        std::int64_t seconds;
        Closed closed = Closed::Unsaid; // Down
        bool said = false;              // Down: "broker lost"; Up: "broker back" (not quiet)
        bool takeover = false;          // Down: the takeover to be said
        std::uint64_t takenSince = 0;   // Down: with the takeover said again
        bool taken = false;             // after the step
        const char *over = nullptr;     // Held: the takeover ends, with these drops
        BrokerHealth::Drops drops = {};
    };
    constexpr std::int64_t kHour = BrokerHealth::kRemindSeconds;
    const Row rows[] = {
        {Step::Up, 0, {}, false},
        {Step::Down, 100, {}, true},                    // held 100 s: an ordinary loss
        {Step::Up, 102, {}, true},
        {Step::Down, 104, {}, true},                    // 2 s: the first short one
        {Step::Up, 106, {}, true},
        {Step::Down, 109, {}, true},                    // 3 s: the second
        {Step::Up, 111, {}, true},
        {Step::Down, 113, {}, false, true, 0, true, nullptr, {10, 0}},   // the third: a takeover
        {Step::Up, 115, {}, false, false, 0, true},     // quiet
        {Step::Held, 120, {}, false, false, 0, true},   // 5 s: not yet held
        {Step::Down, 121, {}, false, false, 0, true},   // quiet, counted
        {Step::Up, 123, {}, false, false, 0, true},
        {Step::Down, 130, {}, false, false, 0, true},
        {Step::Up, 110 + kHour, {}, false, false, 0, true},
        {Step::Down, 113 + kHour, {}, false, true, 3, true},             // an hour on: 3 since
        {Step::Up, 115 + kHour, {}, false, false, 0, true},
        {Step::Held, 125 + kHour, {}, false, false, 0, false, "15 samples and 1 event dropped", {25, 1}},
        {Step::Down, 127 + kHour, {}, true, false, 0, false},            // after it: said again
        // A failed attempt breaks the row: two short losses, a failure, two more: none.
        {Step::Up, 200 + kHour, {}, true},
        {Step::Down, 201 + kHour, {}, true},
        {Step::Up, 202 + kHour, {}, true},
        {Step::Down, 203 + kHour, {}, true},
        {Step::Fail, 204 + kHour},
        {Step::Up, 206 + kHour, {}, true},
        {Step::Down, 207 + kHour, {}, true},
        {Step::Up, 208 + kHour, {}, true},
        {Step::Down, 209 + kHour, {}, true},
        // The broker's own reason (a packet too large, say) breaks it too.
        {Step::Up, 210 + kHour, {}, true},
        {Step::Down, 211 + kHour, Closed::OtherReason, true},
        {Step::Up, 212 + kHour, {}, true},
        {Step::Down, 213 + kHour, {}, true},
        {Step::Up, 214 + kHour, {}, true},
        {Step::Down, 215 + kHour, {}, true},
        // MQTT 5's word is enough at once, even after a long connection.
        {Step::Up, 300 + kHour, {}, true},
        {Step::Down, 900 + kHour, Closed::SessionTakenOver, false, true, 0, true},
    };
    BrokerHealth broker;
    std::uint64_t ups = 0;
    int i = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE("row " + std::to_string(i++));
        switch (row.step) {
        case Step::Up: {
            const BrokerHealth::Up up = broker.up(row.drops, row.seconds);
            EXPECT_EQ(up.first, ups == 0);
            EXPECT_EQ(!up.first && !up.quiet, row.said);
            EXPECT_EQ(broker.reconnects(), ups++);
            break;
        }
        case Step::Down: {
            const BrokerHealth::Lost lost = broker.down(row.drops, false, row.seconds, row.closed);
            EXPECT_EQ(lost.said, row.said);
            EXPECT_EQ(lost.takeover, row.takeover);
            EXPECT_EQ(lost.takenSince, row.takenSince);
            break;
        }
        case Step::Fail:
            broker.failed("refused", row.drops, row.seconds);
            break;
        case Step::Held: {
            const std::optional<std::string> over = broker.held(row.drops, row.seconds);
            ASSERT_EQ(over.has_value(), row.over != nullptr);
            if (over) {
                EXPECT_EQ(*over, row.over);
            }
            break;
        }
        }
        EXPECT_EQ(broker.takenOver(), row.taken);
    }
}

TEST(MqttStart, AMissingCaFileIsNamedAsMissing)
{
    test::TextLog log;
    MqttPublisher publisher(configFor(8883, "r", 50, "/nonexistent/ca.pem"), log);
    EXPECT_EQ(publisher.start(), "the CA file /nonexistent/ca.pem does not exist (or is no file)");
}

// A spool folder another program holds fails the start; one that cannot be made leaves the
// publisher in memory, said as a warning.
TEST(MqttStart, OnlyASpoolFolderInUseFailsTheStart)
{
    QTemporaryDir dir;
    const std::string held = dir.path().toStdString() + "/held";
    test::TextLog holderLog;
    MqttConfig holderConfig = configFor(1, "holder", 50);
    holderConfig.spoolFolder = held;
    MqttPublisher holder(holderConfig, holderLog);
    ASSERT_EQ(holder.start(), "");
    std::ofstream(dir.path().toStdString() + "/file") << "x";
    const struct Case {
        std::string folder;
        std::string startError;
        std::string logged; // the log's start; empty: nothing said
    } cases[] = {
        {held, "the spool folder " + held + " is in use by another svg-logger-headless with the same client id", ""},
        {dir.path().toStdString() + "/file/spool", "",
         "mqtt: cannot make the spool folder " + dir.path().toStdString() + "/file/spool: "},
    };
    for (const Case &c : cases) {
        test::TextLog log;
        MqttConfig config = configFor(1, "second", 50);
        config.spoolFolder = c.folder;
        MqttPublisher publisher(config, log);
        EXPECT_EQ(publisher.start(), c.startError) << c.folder;
        publisher.stop();
        EXPECT_EQ(log.text().empty(), c.logged.empty()) << log.text();
        EXPECT_EQ(log.text().rfind(c.logged, 0), 0u) << log.text();
    }
}

// --- Against a real broker ------------------------------------------------------------------

// A publisher of the test's own on a real broker, with a clock the test sets, and the test's
// subscriber on the broker itself.
struct PublisherFixture : ::testing::Test {
    test::Broker broker;
    std::unique_ptr<test::Subscriber> subscriber;
    test::TextLog log;
    std::atomic<std::int64_t> now{1796611877234};
    std::atomic<std::int64_t> steady{5000}; // moved with `now` unless the test steps the wall clock

    void SetUp() override
    {
        ASSERT_TRUE(broker.start());
        subscriber = std::make_unique<test::Subscriber>(broker.port, "site/#");
        ASSERT_TRUE(subscriber->waitUntilSubscribed());
    }
    std::unique_ptr<MqttPublisher> publisher(int port, const std::string &run, std::size_t bound = 18000)
    {
        auto p = std::make_unique<MqttPublisher>(configFor(port, run, bound), log, [this] { return now.load(); },
                                                 [this] { return steady.load(); });
        EXPECT_EQ(p->start(), "");
        return p;
    }
    std::vector<QJsonObject> received(const char *topic, std::size_t atLeast)
    {
        for (int i = 0; i < 400 && subscriber->messages(std::string("site/") + topic).size() < atLeast; ++i)
            std::this_thread::sleep_for(25ms);
        std::vector<QJsonObject> out;
        for (const auto &m : subscriber->messages(std::string("site/") + topic))
            out.push_back(json(QByteArray::fromStdString(m.payload)));
        return out;
    }
};

TEST_F(PublisherFixture, TimesIncreaseStrictlyWithinARunAndEveryMessageNamesItsRun)
{
    auto p = publisher(broker.port, "run-a");
    // Five samples within one millisecond, then a clock that goes back a second.
    for (int i = 0; i < 5; ++i)
        p->lineRecorded(recordOf(kSamples[0], ControllerVersion::Version2, now));
    now -= 1000;
    p->lineRecorded(recordOf(kSamples[0], ControllerVersion::Version2, now));
    p->fileOpened("/log/Tarmin7D11H51M17.csv");
    const std::vector<QJsonObject> samples = received("sample", 6);
    ASSERT_EQ(samples.size(), 6u);
    const char *expected[] = {"234", "235", "236", "237", "238", "239"};
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].value("sequence").toInteger(), static_cast<qint64>(i + 1));
        EXPECT_EQ(samples[i].value("time").toString().mid(20, 3).toStdString(), expected[i])
            << samples[i].value("time").toString().toStdString();
        EXPECT_EQ(samples[i].value("run").toString(), "run-a");
    }
    const std::vector<QJsonObject> events = received("event", 1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].value("run").toString(), "run-a");
    p->stop();
}

// A step of the system clock of more than a second either way starts a new run: said in the
// journal with its size, sent as an event, and the times within each run stay true.
TEST_F(PublisherFixture, AClockStepStartsANewRunSaidAndSent)
{
    auto p = publisher(broker.port, "run-s");
    auto sample = [&](std::int64_t wallStep) {
        now += wallStep;
        steady += 200;
        p->lineRecorded(recordOf(kSamples[0], ControllerVersion::Version2, now));
    };
    sample(200);
    sample(200);
    sample(200 - 120'000); // back two minutes
    sample(200);
    sample(200 + 120'000); // and forward again
    sample(1200);          // 1 s late against the steady clock: no step
    const std::vector<QJsonObject> samples = received("sample", 6);
    ASSERT_EQ(samples.size(), 6u);
    std::vector<std::pair<std::string, qint64>> runs;
    for (const QJsonObject &s : samples)
        runs.emplace_back(s.value("run").toString().toStdString(), s.value("sequence").toInteger());
    EXPECT_EQ(runs[0], (std::pair<std::string, qint64>{"run-s", 1}));
    EXPECT_EQ(runs[1], (std::pair<std::string, qint64>{"run-s", 2}));
    EXPECT_NE(runs[2].first, "run-s");
    EXPECT_EQ(runs[2].second, 1) << "a new run counts from 1";
    EXPECT_EQ(runs[3], (std::pair<std::string, qint64>{runs[2].first, 2}));
    EXPECT_NE(runs[4].first, runs[2].first);
    EXPECT_EQ(runs[5], (std::pair<std::string, qint64>{runs[4].first, 2}));
    // Within the second run the times are the stepped clock's, 200 ms apart, not 1 ms.
    const QDateTime second = QDateTime::fromString(samples[2].value("time").toString(), Qt::ISODateWithMs);
    const QDateTime third = QDateTime::fromString(samples[3].value("time").toString(), Qt::ISODateWithMs);
    EXPECT_EQ(second.msecsTo(third), 200);
    const std::vector<QJsonObject> events = received("event", 2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].value("event").toString(), "clock_stepped");
    EXPECT_DOUBLE_EQ(events[0].value("step_seconds").toDouble(), -120.0);
    EXPECT_EQ(events[0].value("previous_run").toString(), "run-s");
    EXPECT_EQ(events[0].value("run").toString().toStdString(), runs[2].first);
    EXPECT_DOUBLE_EQ(events[1].value("step_seconds").toDouble(), 120.0);
    p->stop();
    EXPECT_NE(log.text().find("clock: the system clock stepped back 120.0 s"), std::string::npos)
        << log.text();
    EXPECT_NE(log.text().find("clock: the system clock stepped forward 120.0 s"), std::string::npos);
}

TEST_F(PublisherFixture, HealthIsRetainedAndTheLastOneWins)
{
    auto p = publisher(broker.port, "run-h");
    p->lineRecorded(recordOf(kSamples[0], ControllerVersion::Version2, now));
    HealthReport report;
    report.state.link = LinkCondition::NoData;
    report.state.file = "/log/Tarmin7D11H51M17.csv";
    report.linesReceived = 12;
    report.rowsWritten = 11;
    report.state.logError = "ログファイルに書き込めません: /log/Tarmin7D11H51M17.csv";
    report.freeDiskMb = 5;
    p->publishHealth(report);
    ASSERT_EQ(received("health", 1).size(), 1u);
    report.state.link = LinkCondition::Stopped;
    report.state.file.clear();
    report.state.logError.clear();
    report.freeDiskMb.reset();
    p->publishHealth(report);
    ASSERT_EQ(received("health", 2).size(), 2u);
    p->stop();

    // A subscriber that comes later is given the last health message by the broker.
    test::Subscriber later(broker.port, "site/health");
    ASSERT_TRUE(later.waitUntilSubscribed());
    std::this_thread::sleep_for(200ms);
    const auto retained = later.messages("site/health");
    ASSERT_EQ(retained.size(), 1u);
    const QJsonObject health = json(QByteArray::fromStdString(retained[0].payload));
    EXPECT_EQ(health.value("link").toString(), "stopped");
    EXPECT_TRUE(health.value("file").isNull());
    EXPECT_TRUE(health.value("log_error").isNull());
    EXPECT_TRUE(health.value("free_disk_mb").isNull());
    EXPECT_EQ(health.value("run").toString(), "run-h");
    EXPECT_EQ(health.value("lines_received").toInteger(), 12);
    EXPECT_EQ(health.value("rows_written").toInteger(), 11);
    EXPECT_EQ(health.value("last_sample_time").toString(), QString::fromLatin1(mqtt::isoTime(now)));
    for (const char *key : {"time", "queue", "dropped_samples", "dropped_events"})
        EXPECT_TRUE(health.contains(key)) << key;
    const QJsonObject first = received("health", 2)[0];
    EXPECT_EQ(first.value("link").toString(), "no_data");
    EXPECT_EQ(first.value("free_disk_mb").toInteger(), 5);
    EXPECT_EQ(first.value("log_error").toString().toStdString(), "ログファイルに書き込めません: /log/Tarmin7D11H51M17.csv");
}

// A broker whose ACL refuses the events: with MQTT 5 its acknowledgement says so; each reason
// is said once, every refusal counted, and the samples go on.
TEST(MqttRefusals, TheBrokersReasonIsSaidOnceAndEveryRefusalCounted)
{
    QTemporaryDir dir;
    const std::string acl = dir.path().toStdString() + "/acl";
    std::ofstream(acl) << "topic read site/#\ntopic write site/sample\ntopic write site/status\ntopic write site/health\n";
    test::Broker broker({}, nullptr, "acl_file " + acl + "\n");
    ASSERT_TRUE(broker.start());
    test::Subscriber subscriber(broker.port, "site/#");
    ASSERT_TRUE(subscriber.waitUntilSubscribed());
    test::TextLog log;
    MqttPublisher publisher(configFor(broker.port, "acl"), log);
    ASSERT_EQ(publisher.start(), "");
    for (int i = 0; i < 3; ++i) {
        publisher.lineRecorded(recordOf(kSamples[0], ControllerVersion::Version2, 1796611877234 + i * 200));
        publisher.triggerFired();
    }
    for (int i = 0; i < 200 && (publisher.refused() < 3 || subscriber.messages("site/sample").size() < 3); ++i)
        std::this_thread::sleep_for(25ms);
    EXPECT_EQ(publisher.refused(), 3u);
    EXPECT_EQ(subscriber.messages("site/sample").size(), 3u);
    EXPECT_EQ(publisher.delivered(), subscriber.messages("site/sample").size()) << "the refused are not delivered";
    EXPECT_TRUE(subscriber.messages("site/event").empty());
    EXPECT_EQ(publisher.queued(), 0u) << "a refused message is settled, never sent again";
    publisher.stop();
    const std::string said = log.text();
    const std::string reason = "mqtt: the broker refused a message: Not authorized (reason code 135)";
    ASSERT_NE(said.find(reason), std::string::npos) << said;
    EXPECT_EQ(said.find(reason, said.find(reason) + 1), std::string::npos) << "said once\n" << said;
    EXPECT_NE(said.find("3 refused by the broker"), std::string::npos) << said;
}

// The broker's acknowledgements are held, then the connection is cut: libmosquitto sends what
// it held again after the reconnection, and nothing is handed to it a second time.
TEST_F(PublisherFixture, AfterACutEverySampleArrivesAtLeastOnceAtMostTwiceFirstArrivalsInOrder)
{
    test::HoldingProxy proxy(broker.port);
    auto p = publisher(proxy.port, "run-cut");
    constexpr int kSamplesSent = 200;
    int sent = 0;
    auto sendFor = [&](std::chrono::milliseconds duration) {
        const auto end = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < end && sent < kSamplesSent) {
            ++sent;
            now += 50;
            p->lineRecorded(recordOf(kSamples[0], ControllerVersion::Version2, now));
            std::this_thread::sleep_for(20ms);
        }
    };
    ASSERT_EQ(received("status", 1).size(), 1u) << log.text();
    sendFor(600ms);
    proxy.hold();
    sendFor(1500ms); // sent, never acknowledged: libmosquitto holds them
    proxy.cut();
    sendFor(10s);
    ASSERT_EQ(sent, kSamplesSent);
    // Until every sample has come once and nothing waits; then a moment for late repeats.
    auto distinct = [&] {
        std::set<qint64> sequences;
        for (const auto &m : subscriber->messages("site/sample"))
            sequences.insert(json(QByteArray::fromStdString(m.payload)).value("sequence").toInteger());
        return sequences.size();
    };
    for (int i = 0; i < 400 && (distinct() < kSamplesSent || p->queued() > 0); ++i)
        std::this_thread::sleep_for(25ms);
    std::this_thread::sleep_for(300ms);
    const std::vector<QJsonObject> samples = received("sample", 0);
    EXPECT_GE(proxy.connections(), 2);
    EXPECT_NE(log.text().find("mqtt: broker back"), std::string::npos) << log.text();

    std::map<qint64, int> arrivals;
    qint64 lastFirst = 0;
    for (const QJsonObject &sample : samples) {
        const qint64 sequence = sample.value("sequence").toInteger();
        if (arrivals[sequence]++ == 0) {
            EXPECT_EQ(sequence, lastFirst + 1) << "first arrivals in order, none missing";
            lastFirst = sequence;
        }
    }
    EXPECT_EQ(arrivals.size(), static_cast<std::size_t>(kSamplesSent));
    int twice = 0;
    for (const auto &[sequence, times] : arrivals) {
        EXPECT_LE(times, 2) << "sample " << sequence;
        twice += times == 2;
    }
    EXPECT_LE(twice, 20) << "at most the in-flight window comes again";
    EXPECT_GT(twice, 0) << "the held acknowledgements left messages to send again";
    // Every message handed again reached the broker the first time (the proxy passes what the
    // client sends at once): the repeats the subscriber saw are the ones counted.
    EXPECT_EQ(p->repeated(), static_cast<std::uint64_t>(twice));
    EXPECT_EQ(p->delivered(), arrivals.size());
    EXPECT_EQ(p->reconnects(), static_cast<std::uint64_t>(proxy.connections() - 1));
    EXPECT_EQ(p->queued(), 0u);
    p->stop();
}

// What an earlier run left in the spool goes out once in this run: not counted as repeated
// (whether it went out before is not known), and delivered as the subscriber has it.
TEST_F(PublisherFixture, MessagesReadBackFromTheSpoolAreNotCountedAsRepeated)
{
    QTemporaryDir dir;
    MqttConfig config = configFor(test::freeLoopbackPort(), "run-spool");
    config.spoolFolder = dir.path().toStdString() + "/spool";
    {
        MqttPublisher away(config, log, [this] { return now.load(); }, [this] { return steady.load(); });
        ASSERT_EQ(away.start(), "");
        for (int i = 0; i < 30; ++i) {
            now += 50;
            away.lineRecorded(recordOf(kSamples[0], ControllerVersion::Version2, now));
        }
        std::this_thread::sleep_for(200ms);
        away.stop();
    }
    ASSERT_NE(log.text().find("30 left in the spool for the next start"), std::string::npos) << log.text();
    config.port = broker.port;
    MqttPublisher back(config, log, [this] { return now.load(); }, [this] { return steady.load(); });
    ASSERT_EQ(back.start(), "");
    const std::vector<QJsonObject> samples = received("sample", 30);
    for (int i = 0; i < 200 && back.queued() > 0; ++i)
        std::this_thread::sleep_for(25ms);
    EXPECT_EQ(samples.size(), 30u);
    EXPECT_EQ(back.delivered(), samples.size());
    EXPECT_EQ(back.repeated(), 0u);
    EXPECT_EQ(back.reconnects(), 0u);
    back.stop();
}

// A broker that cannot be reached is named with the system's reason, by TLS as without it
// (libmosquitto's TLS path lost it: "no answer ... within 15 s"); what waits is said where it
// waits: in the spool, or in memory when there is none.
TEST(MqttUnreachable, TheReasonByTlsOrNotAndWhereTheMessagesWait)
{
    QTemporaryDir dir;
    const struct Case {
        bool tls;
        bool spool;
        std::string says;
    } cases[] = {
        {false, true, ": Connection refused — retrying; messages wait in the spool"},
        {true, true, ": Connection refused — retrying; messages wait in the spool"},
        {false, false, ": Connection refused — retrying; messages wait in memory, up to 50 (no spool)"},
        {true, false, ": Connection refused — retrying; messages wait in memory, up to 50 (no spool)"},
    };
    int i = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE("case " + std::to_string(i));
        test::TextLog log;
        MqttConfig config = configFor(test::freeLoopbackPort(), "run-" + std::to_string(i++), 50);
        config.tls = c.tls; // against the system's CAs: no handshake is reached
        if (c.spool)
            config.spoolFolder = dir.path().toStdString() + "/spool-" + std::to_string(i);
        MqttPublisher publisher(config, log);
        ASSERT_EQ(publisher.start(), "");
        const std::string expected = "mqtt: cannot reach the broker 127.0.0.1:" + std::to_string(config.port) + c.says;
        for (int wait = 0; wait < 200 && log.text().find("cannot reach") == std::string::npos; ++wait)
            std::this_thread::sleep_for(25ms); // 5 s, a third of the connection's own time-out
        publisher.stop();
        EXPECT_NE(log.text().find(expected), std::string::npos) << log.text();
    }
}

// Runs openssl with `arguments`; false, with the reason in `said`, when it fails or is missing.
bool openssl(const QStringList &arguments, std::string &said)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("openssl", arguments);
    if (!process.waitForStarted()) {
        said = "openssl is not installed, and this test needs it: ./scripts/deps.sh installs it";
        return false;
    }
    const bool ok = process.waitForFinished(30000) && process.exitCode() == 0;
    said = process.readAll().toStdString();
    return ok;
}

// A client key that is not the certificate's would fail every handshake for ever: the start
// refuses it naming both files; the certificate's own key is taken.
TEST(MqttStart, AClientKeyOfAnotherCertificateIsRefusedNamingBoth)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    std::string said;
    ASSERT_TRUE(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "/client.key", "-out",
                         d + "/client.pem", "-days", "2", "-subj", "/CN=svg-logger site"}, said)) << said;
    ASSERT_TRUE(openssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", d + "/other.key"},
                        said)) << said;
    const std::string cert = d.toStdString() + "/client.pem";
    const struct Case {
        std::string key;
        std::string error;
    } cases[] = {
        {d.toStdString() + "/client.key", ""},
        {d.toStdString() + "/other.key", "the client key " + d.toStdString() + "/other.key does not belong to the client "
                                         "certificate " + cert + " (its public key is another): give the key the "
                                         "certificate was made for"},
    };
    for (const Case &c : cases) {
        test::TextLog log;
        MqttConfig config = configFor(test::freeLoopbackPort(), "run-key", 50);
        config.tls = true;
        config.certFile = cert;
        config.keyFile = c.key;
        MqttPublisher publisher(config, log);
        EXPECT_EQ(publisher.start(), c.error) << c.key;
        publisher.stop();
    }
}

} // namespace
} // namespace svglogger
