#include "mqtt/MqttSession.h"
#include "mqtt/MqttSpool.h"
#include "mqtt/RepeatedWarning.h"
#include "support/Broker.h"
#include "support/SmallDisk.h"
#include "support/TextLog.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace svglogger {
namespace {

using namespace std::chrono_literals;
using Kind = MqttSpool::Kind;
namespace fs = std::filesystem;

// A message of about `bytes` of payload whose text starts with its sequence.
MqttSpool::Message numbered(Kind kind, int n, int bytes = 200)
{
    QByteArray payload = "{\"sequence\":" + QByteArray::number(n) + ",\"pad\":\"";
    payload += QByteArray(std::max(0, bytes - static_cast<int>(payload.size()) - 2), 'x');
    payload += "\"}";
    return {kind, kind == Kind::Sample ? "site/sample" : "site/event", payload, false};
}

int sequenceOf(const QByteArray &payload)
{
    return std::stoi(payload.toStdString().substr(12));
}

std::int64_t bytesOfFiles(const std::string &folder, const char *extension = nullptr)
{
    std::int64_t bytes = 0;
    for (const auto &entry : fs::directory_iterator(folder))
        if (!extension || entry.path().extension() == extension)
            bytes += static_cast<std::int64_t>(entry.file_size());
    return bytes;
}

// A disk of the test's own arithmetic: its capacity less the CSV files' bytes and the spool
// folder's files as they are on disk now.
struct FakeDisk {
    std::string folder;
    std::int64_t capacity = 0;
    std::int64_t csv = 0;
    std::int64_t free() const { return capacity - csv - bytesOfFiles(folder); }
};

// The floor: the spool writes nothing that would take its disk below it and gives back its
// oldest samples first when the disk has less (the CSV files grew into the room it left),
// events last; what finds no room waits in memory. Checked against the disk's own count after
// every flush. Records of 230 bytes, every 25th an event.
TEST(MqttSpoolFloor, TheSpoolLeavesItsFloorFreeGivingBackItsOldestSamplesFirst)
{
    QTemporaryDir dir;
    FakeDisk disk{dir.path().toStdString() + "/spool", 300'000};
    constexpr std::uint64_t kFloor = 50'000;
    MqttSpool spool({1 << 20, 1000, 8'000, kFloor}, [&disk](const std::string &) { return disk.free(); });
    ASSERT_EQ(spool.open(disk.folder).error, "");
    struct Row {
        const char *name;
        int append;          // messages appended before the flush
        std::int64_t csv;    // the CSV files' bytes at the flush
        bool samplesDropped; // more samples dropped at this flush
        bool eventsDropped;
        bool atFloor;
        bool inMemory;       // some wait in memory, not on disk
    } rows[] = {
        {"room enough", 300, 0, false, false, false, false},
        {"the spool reaches its floor: 207 kB for 150 kB of room", 600, 100'000, true, false, true, false},
        {"the CSV files take 40 kB of the 50 kB left: the spool gives back", 0, 140'000, true, false, true, false},
        {"45 kB more", 0, 185'000, true, false, true, false},
        {"the disk full: the spool gives back its floor", 0, 235'000, true, false, true, false},
        {"5 kB of room left for 8 kB of events: every sample goes, then the oldest events", 0, 245'000, true, true,
         true, false},
        {"no room: new messages wait in memory, no event goes for them", 40, 245'000, false, false, true, true},
        {"retention made room: they are written", 0, 0, false, false, false, false},
    };
    int appended = 0;
    std::vector<int> events;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < row.append; ++i) {
            ++appended;
            const Kind kind = appended % 25 == 0 ? Kind::Event : Kind::Sample;
            if (kind == Kind::Event)
                events.push_back(appended);
            spool.append(numbered(kind, appended));
        }
        disk.csv = row.csv;
        const std::uint64_t samplesBefore = spool.droppedSamples();
        const std::uint64_t eventsBefore = spool.droppedEvents();
        EXPECT_EQ(spool.flush(), "");
        EXPECT_EQ(spool.droppedSamples() > samplesBefore, row.samplesDropped);
        EXPECT_EQ(spool.droppedEvents() > eventsBefore, row.eventsDropped);
        EXPECT_EQ(spool.atFloor(), row.atFloor);
        EXPECT_EQ(spool.notOnDisk() != 0, row.inMemory);
        const std::int64_t segments = bytesOfFiles(disk.folder, ".seg");
        EXPECT_EQ(spool.bytes(), static_cast<std::uint64_t>(segments));
        // Above the floor, or nothing of the spool's left to give back.
        EXPECT_TRUE(disk.free() >= static_cast<std::int64_t>(kFloor) || segments == 0)
            << disk.free() << " free with " << segments << " bytes of segments";
        EXPECT_EQ(spool.pending() + spool.droppedSamples() + spool.droppedEvents(),
                  static_cast<std::uint64_t>(appended));
    }
    // What is left: the newest events and the newest samples, each without a gap, in order.
    std::vector<int> handedSamples;
    std::vector<int> handedEvents;
    while (std::optional<MqttSpool::Entry> entry = spool.next()) {
        std::vector<int> &handed = entry->message.kind == Kind::Event ? handedEvents : handedSamples;
        handed.push_back(sequenceOf(entry->message.payload));
    }
    ASSERT_FALSE(handedSamples.empty());
    ASSERT_FALSE(handedEvents.empty());
    EXPECT_EQ(handedSamples.back(), appended - (appended % 25 == 0 ? 1 : 0));
    for (std::size_t i = 1; i < handedSamples.size(); ++i)
        EXPECT_EQ(handedSamples[i] - handedSamples[i - 1], handedSamples[i] % 25 == 1 ? 2 : 1) << handedSamples[i];
    EXPECT_TRUE(std::equal(handedEvents.rbegin(), handedEvents.rend(), events.rbegin()))
        << "the newest events, in order";
    EXPECT_EQ(handedSamples.size() + handedEvents.size(), spool.pending());
}

// At stop the loss is what is neither delivered nor on disk, counted by the spool and checked
// against a second spool that opens the folder; the next start reads it back once. On a real
// small disk: full as statvfs says (the floor makes room by dropping the oldest samples, none
// lost), or full although statvfs said there was room (the writes fail: lost, counted).
TEST(MqttSpoolStop, TheLossIsWhatIsNeitherDeliveredNorOnDisk)
{
    struct Case {
        const char *name;
        bool freeSpaceLies;
    } cases[] = {{"the disk is as full as it says", false}, {"a write fails where the disk said it had room", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::SmallDisk disk(2);
        ASSERT_EQ(disk.error(), "");
        disk.leaveFree(400 * 1024);
        const std::string folder = disk.path() + "/spool";
        const MqttSpool::Limits limits{1 << 20, 100'000, 64 * 1024, 64 * 1024};
        MqttSpool::FreeSpace freeSpace = MqttSpool::systemFreeSpace;
        if (c.freeSpaceLies)
            freeSpace = [](const std::string &) { return std::int64_t(1) << 30; };
        constexpr int kPut = 3000;
        std::uint64_t delivered = 0;
        std::uint64_t dropped = 0;
        std::uint64_t lost = 0;
        std::uint64_t pending = 0;
        {
            MqttSpool spool(limits, freeSpace);
            ASSERT_EQ(spool.open(folder).error, "");
            for (int n = 1; n <= kPut; ++n) {
                spool.append(numbered(n % 50 == 0 ? Kind::Event : Kind::Sample, n, 300));
                if (n == 200) { // the broker takes the first 150 before it goes away
                    for (int i = 0; i < 150; ++i)
                        spool.acknowledge(spool.next()->number);
                    spool.rewind();
                }
                if (n % 200 == 0)
                    spool.flush(); // a sync period
            }
            const std::string problem = spool.flush();
            lost = spool.settleLoss();
            delivered = spool.delivered();
            dropped = spool.droppedSamples() + spool.droppedEvents();
            pending = spool.pending();
            if (c.freeSpaceLies) {
                EXPECT_NE(problem.find("No space left on device"), std::string::npos) << problem;
                EXPECT_GT(spool.writeErrors(), 0u);
                EXPECT_GT(lost, 0u);
                EXPECT_EQ(dropped, 0u);
            } else {
                EXPECT_EQ(problem, "");
                EXPECT_EQ(spool.writeErrors(), 0u);
                EXPECT_EQ(lost, 0u);
                EXPECT_GT(dropped, 0u) << "the oldest samples made room";
                EXPECT_TRUE(spool.atFloor());
            }
        }
        EXPECT_EQ(delivered, 150u);
        EXPECT_LT(lost, pending) << "what is on disk is not lost";
        {
            // Counted another way: what a second spool finds in the folder.
            MqttSpool again(limits);
            const MqttSpool::Opened opened = again.open(folder);
            ASSERT_EQ(opened.error, "");
            EXPECT_EQ(opened.pending, pending - lost) << "left in the spool for the next start";
            EXPECT_EQ(kPut - delivered - dropped - opened.pending, lost);
            EXPECT_EQ(again.lostByEarlierRun(), lost);
        }
        MqttSpool third(limits);
        ASSERT_EQ(third.open(folder).error, "");
        EXPECT_EQ(third.lostByEarlierRun(), 0u) << "read back once";
    }
}

// A condition is said once, at most hourly with its count while it lasts, and when it ends;
// the counts are the occurrences since it was last said and, at the end, since it began.
TEST(RepeatedWarningSteps, OnceThenHourlyWithItsCountThenItsEnd)
{
    using Say = RepeatedWarning::Say;
    struct Row {
        bool holds; // else cleared
        std::int64_t seconds;
        std::uint64_t times;
        Say say;
        std::uint64_t count;
    } rows[] = {
        {false, 0, 0, Say::Nothing, 0},   // nothing to end
        {true, 10, 1, Say::Began, 1},
        {true, 20, 1, Say::Nothing, 0},   // every sync period: quiet
        {true, 3000, 5, Say::Nothing, 0},
        {true, 3609, 2, Say::Nothing, 0}, // an hour after it was said, less a second
        {true, 3610, 0, Say::Still, 8},   // 1 + 5 + 2 since it was said
        {true, 7209, 3, Say::Nothing, 0},
        {true, 7210, 1, Say::Still, 4},
        {false, 7300, 0, Say::Ended, 13}, // all since it began
        {false, 7400, 0, Say::Nothing, 0},
        {true, 7500, 2, Say::Began, 2},   // anew
        {false, 7510, 0, Say::Ended, 2},
    };
    RepeatedWarning warning;
    int i = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE("row " + std::to_string(i++));
        const RepeatedWarning::Verdict verdict = row.holds ? warning.holds(row.seconds, row.times) : warning.cleared();
        EXPECT_EQ(verdict.say, row.say);
        if (row.say != Say::Nothing) {
            EXPECT_EQ(verdict.count, row.count);
        }
        EXPECT_EQ(warning.active(), row.holds);
    }
}

// The session on a small real disk with the broker away: the floor is one warning, not one a
// sync period; a line when room comes back; and the stop line's numbers add up, checked
// against a second spool that opens the folder.
TEST(MqttSessionSpoolDisk, TheFloorIsSaidOnceAndTheStopLineHasTheTrueNumbers)
{
    test::SmallDisk disk(4);
    ASSERT_EQ(disk.error(), "");
    disk.leaveFree(700 * 1024);
    test::TextLog log;
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = test::freeLoopbackPort(); // nobody there: the broker is away
    config.topicPrefix = "site";
    config.clientId = "spool-disk";
    config.run = "run";
    config.queueBound = 100'000;
    config.spoolFolder = disk.path() + "/spool";
    config.spoolMinFreeBytes = 512 * 1024;
    config.syncSeconds = 1;
    constexpr int kPut = 2400;
    {
        MqttSession session(config, log, [] { return std::int64_t(1796611877234); });
        ASSERT_EQ(session.start(), "");
        for (int n = 1; n <= kPut; ++n) {
            session.put(numbered(n % 100 == 0 ? Kind::Event : Kind::Sample, n, 400));
            if (n % 400 == 0)
                std::this_thread::sleep_for(1100ms); // beyond a sync period
        }
        std::this_thread::sleep_for(1200ms);
        EXPECT_GE(disk.free(), 512 * 1024 - 8 * 1024) << "the floor, within a couple of pages";
        disk.leaveFree(2 * 1024 * 1024); // the retention removed a file: room again
        std::this_thread::sleep_for(2200ms);
        session.stop();
    }
    const std::string text = log.text();
    auto times = [&text](const std::string &what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(times("mqtt: spool at its free-space floor"), 1u) << text;
    EXPECT_EQ(times("mqtt: the spool has room again above its free-space floor"), 1u) << text;
    EXPECT_EQ(times("cannot write the spool"), 0u) << text;
    std::smatch match;
    const std::regex stopLine("mqtt: stop: (\\d+) messages delivered, (\\d+) left in the spool for the next start "
                              "\\([^)]*\\), (\\d+) lost, (\\d+) dropped, ");
    ASSERT_TRUE(std::regex_search(text, match, stopLine)) << text;
    const std::uint64_t delivered = std::stoull(match[1]);
    const std::uint64_t left = std::stoull(match[2]);
    const std::uint64_t lost = std::stoull(match[3]);
    const std::uint64_t dropped = std::stoull(match[4]);
    EXPECT_EQ(delivered, 0u);
    EXPECT_EQ(lost, 0u);
    EXPECT_GT(dropped, 0u);
    MqttSpool again({config.spoolBytes, config.queueBound, 1 << 20});
    const MqttSpool::Opened opened = again.open(config.spoolFolder);
    EXPECT_EQ(opened.pending, left);
    EXPECT_EQ(kPut - delivered - opened.pending - dropped, lost);
}

} // namespace
} // namespace svglogger
