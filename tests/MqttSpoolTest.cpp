#include "mqtt/MqttSpool.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace svglogger {
namespace {

using Kind = MqttSpool::Kind;

MqttSpool::Message message(Kind kind, int n)
{
    return {kind, kind == Kind::Sample ? "site/sample" : "site/event",
            QByteArray("{\"sequence\":") + QByteArray::number(n) + "}", false};
}

// What `next` hands over until nothing is left, as payload texts.
std::vector<std::string> handAll(MqttSpool &spool, std::vector<std::uint64_t> *numbers = nullptr)
{
    std::vector<std::string> out;
    while (std::optional<MqttSpool::Entry> entry = spool.next()) {
        out.push_back(entry->message.payload.toStdString());
        if (numbers)
            numbers->push_back(entry->number);
    }
    return out;
}

std::vector<std::string> sequences(int from, int to)
{
    std::vector<std::string> out;
    for (int n = from; n <= to; ++n)
        out.push_back("{\"sequence\":" + std::to_string(n) + "}");
    return out;
}

std::size_t segmentFiles(const QTemporaryDir &dir)
{
    std::size_t n = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path().toStdString()))
        n += entry.path().extension() == ".seg";
    return n;
}

// Memory, disk, and memory only: each hands the messages over in the order they came,
// whatever part of them memory had to give to the disk.
TEST(MqttSpoolOrder, InOrderWhereverTheyWait)
{
    struct Case {
        const char *name;
        bool disk;
        std::size_t memory;
    } cases[] = {{"memory only", false, 100}, {"disk, all in memory", true, 100}, {"disk, memory of 3", true, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        MqttSpool spool({1 << 20, c.memory, 64});
        if (c.disk) {
            ASSERT_EQ(spool.open(dir.path().toStdString()).error, "");
        }
        for (int n = 1; n <= 10; ++n)
            spool.append(message(Kind::Sample, n));
        std::vector<std::uint64_t> numbers;
        EXPECT_EQ(handAll(spool, &numbers), sequences(1, 10));
        EXPECT_EQ(numbers.front(), 0u);
        EXPECT_EQ(numbers.back(), 9u);
        EXPECT_EQ(spool.pending(), 10u);
        EXPECT_EQ(spool.droppedSamples(), 0u);
    }
}

// After a lost connection only what the broker did not acknowledge is handed over again,
// oldest first; a message acknowledged out of order is never sent a second time.
TEST(MqttSpoolOrder, ALostConnectionResendsOnlyTheUnacknowledged)
{
    MqttSpool spool({1 << 20, 100, 1 << 20});
    for (int n = 1; n <= 6; ++n)
        spool.append(message(Kind::Sample, n));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(spool.next());
    spool.acknowledge(0);
    spool.acknowledge(2);
    spool.acknowledge(2); // a repeat of the acknowledgement settles nothing more
    EXPECT_EQ(spool.delivered(), 2u);
    EXPECT_EQ(spool.pending(), 4u);
    spool.rewind();
    EXPECT_EQ(handAll(spool), (std::vector<std::string>{"{\"sequence\":2}", "{\"sequence\":4}", "{\"sequence\":5}",
                                                       "{\"sequence\":6}"}));
    spool.acknowledge(99); // never handed over: ignored
    EXPECT_EQ(spool.pending(), 4u);
}

// What the broker had not acknowledged at stop is the next run's first, under its old
// numbers; the acknowledged is not sent again; new messages follow.
TEST(MqttSpoolRestart, TheUnacknowledgedAreTheNextRunsFirst)
{
    QTemporaryDir dir;
    {
        MqttSpool spool({1 << 20, 100, 200});
        ASSERT_EQ(spool.open(dir.path().toStdString()).error, "");
        for (int n = 1; n <= 10; ++n)
            spool.append(message(n % 4 == 0 ? Kind::Event : Kind::Sample, n));
        for (int i = 0; i < 6; ++i)
            ASSERT_TRUE(spool.next());
        for (std::uint64_t number = 0; number < 4; ++number)
            spool.acknowledge(number);
        ASSERT_EQ(spool.flush(), "");
        EXPECT_GE(segmentFiles(dir), 1u);
    }
    MqttSpool again({1 << 20, 100, 200});
    const MqttSpool::Opened opened = again.open(dir.path().toStdString());
    ASSERT_EQ(opened.error, "");
    EXPECT_EQ(opened.pending, 6u);
    EXPECT_EQ(opened.tornBytes, 0u);
    again.append(message(Kind::Sample, 11));
    std::vector<std::uint64_t> numbers;
    EXPECT_EQ(handAll(again, &numbers), sequences(5, 11));
    EXPECT_EQ(numbers.back(), 10u);
    for (std::uint64_t number : numbers)
        again.acknowledge(number);
    ASSERT_EQ(again.flush(), "");
    EXPECT_EQ(segmentFiles(dir), 0u) << "every segment acknowledged is removed";
    EXPECT_EQ(again.pending(), 0u);
}

// A record cut short by a crash ends its segment: the whole records before it are kept.
TEST(MqttSpoolRestart, ARecordCutShortIsDroppedAndTheRestKept)
{
    QTemporaryDir dir;
    {
        MqttSpool spool({1 << 20, 100, 1 << 20});
        ASSERT_EQ(spool.open(dir.path().toStdString()).error, "");
        for (int n = 1; n <= 3; ++n)
            spool.append(message(Kind::Sample, n));
        ASSERT_EQ(spool.flush(), "");
    }
    std::string path;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path().toStdString()))
        if (entry.path().extension() == ".seg")
            path = entry.path().string();
    ASSERT_FALSE(path.empty());
    const auto whole = std::filesystem::file_size(path);
    std::ofstream(path, std::ios::app | std::ios::binary) << std::string("\x30\x00\x00\x00\x12\x34", 6);
    MqttSpool again({1 << 20, 100, 1 << 20});
    const MqttSpool::Opened opened = again.open(dir.path().toStdString());
    EXPECT_EQ(opened.pending, 3u);
    EXPECT_EQ(opened.tornBytes, 6u);
    EXPECT_EQ(std::filesystem::file_size(path), whole);
    EXPECT_EQ(handAll(again), sequences(1, 3));
}

// Beyond the disk's bound the oldest samples go, counted; every event stays, in order.
TEST(MqttSpoolBound, TheOldestSamplesGoFirstAndEventsStay)
{
    QTemporaryDir dir;
    MqttSpool spool({4000, 10, 1000});
    ASSERT_EQ(spool.open(dir.path().toStdString()).error, "");
    std::vector<std::string> events;
    for (int n = 1; n <= 400; ++n) {
        const Kind kind = n % 50 == 0 ? Kind::Event : Kind::Sample;
        spool.append(message(kind, n));
        if (kind == Kind::Event)
            events.push_back("{\"sequence\":" + std::to_string(n) + "}");
    }
    ASSERT_EQ(spool.flush(), "");
    std::uint64_t bytes = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path().toStdString()))
        if (entry.path().extension() == ".seg")
            bytes += std::filesystem::file_size(entry.path());
    EXPECT_LE(bytes, 4000u);
    EXPECT_GT(spool.droppedSamples(), 200u);
    EXPECT_EQ(spool.droppedEvents(), 0u);
    const std::vector<std::string> handed = handAll(spool);
    EXPECT_EQ(handed.size(), spool.pending());
    EXPECT_EQ(handed.size() + spool.droppedSamples(), 400u);
    // The events first (all of them), then the newest samples without a gap, to the last.
    std::vector<std::string> expected;
    const std::size_t samplesKept = handed.size() - events.size();
    int n = 400;
    std::vector<std::string> newest;
    while (newest.size() < samplesKept) {
        if (n % 50 != 0)
            newest.insert(newest.begin(), "{\"sequence\":" + std::to_string(n) + "}");
        --n;
    }
    std::vector<std::string> handedSamples;
    std::vector<std::string> handedEvents;
    for (const std::string &h : handed) {
        const int sequence = std::stoi(h.substr(12));
        (sequence % 50 == 0 ? handedEvents : handedSamples).push_back(h);
    }
    EXPECT_EQ(handedEvents, events);
    EXPECT_EQ(handedSamples, newest);
}

// Without a disk, memory's bound drops the oldest waiting sample, never one with the broker.
TEST(MqttSpoolBound, MemoryOnlyDropsTheOldestWaitingSample)
{
    MqttSpool spool({1 << 20, 3, 1 << 20});
    spool.append(message(Kind::Sample, 1));
    ASSERT_TRUE(spool.next()); // with the broker
    spool.append(message(Kind::Event, 2));
    spool.append(message(Kind::Sample, 3));
    spool.append(message(Kind::Sample, 4)); // beyond the bound: 3 goes
    EXPECT_EQ(spool.droppedSamples(), 1u);
    EXPECT_EQ(spool.droppedEvents(), 0u);
    EXPECT_EQ(spool.pending(), 3u);
    spool.rewind();
    EXPECT_EQ(handAll(spool), (std::vector<std::string>{"{\"sequence\":1}", "{\"sequence\":2}", "{\"sequence\":4}"}));
}

TEST(MqttSpoolFolder, ASecondProgramOnTheSameFolderIsRefused)
{
    QTemporaryDir dir;
    MqttSpool first({1 << 20, 10, 1 << 20});
    ASSERT_EQ(first.open(dir.path().toStdString()).error, "");
    MqttSpool second({1 << 20, 10, 1 << 20});
    EXPECT_NE(second.open(dir.path().toStdString()).error.find("in use by another svg-logger-headless"),
              std::string::npos);
    EXPECT_FALSE(second.onDisk());
    MqttSpool unmade({1 << 20, 10, 1 << 20});
    EXPECT_NE(unmade.open("/proc/no-such/spool").error.find("cannot make the spool folder /proc/no-such/spool"),
              std::string::npos);
}

// Each way a folder fails the spool, by its kind: only InUse makes the start fail, so the kind
// and not the text decides. A damaged segment is no failure: its torn end is dropped.
TEST(MqttSpoolFolder, EachFailureHasItsKindAndItsText)
{
    using Failure = MqttSpool::OpenFailure;
    struct Case {
        const char *name;
        // Makes what the case needs under `root`; the folder to open. `holder` may keep a
        // spool open beside the one tested.
        std::string (*prepare)(const std::string &root, std::unique_ptr<MqttSpool> &holder);
        Failure failure;
        const char *textStart; // then the folder
    } cases[] = {
        {"a new folder",
         [](const std::string &root, std::unique_ptr<MqttSpool> &) { return root + "/new/spool"; }, Failure::None, ""},
        {"below a file: it cannot be made",
         [](const std::string &root, std::unique_ptr<MqttSpool> &) {
             std::ofstream(root + "/file") << "x";
             return root + "/file/spool";
         },
         Failure::CannotMake, "cannot make the spool folder "},
        {"its lock cannot be opened for writing",
         [](const std::string &root, std::unique_ptr<MqttSpool> &) {
             std::filesystem::create_directories(root + "/locked/lock"); // a folder where the lock file goes
             return root + "/locked";
         },
         Failure::CannotUse, "cannot use the spool folder "},
        {"held by another program",
         [](const std::string &root, std::unique_ptr<MqttSpool> &holder) {
             holder = std::make_unique<MqttSpool>(MqttSpool::Limits{1 << 20, 10, 1 << 20});
             EXPECT_EQ(holder->open(root + "/held").failure, Failure::None);
             return root + "/held";
         },
         Failure::InUse, "the spool folder "},
        {"a damaged segment",
         [](const std::string &root, std::unique_ptr<MqttSpool> &) {
             std::filesystem::create_directories(root + "/damaged");
             std::ofstream(root + "/damaged/0000000000000000.seg", std::ios::binary) << std::string("\x30\x00\x12", 3);
             return root + "/damaged";
         },
         Failure::None, ""},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        std::unique_ptr<MqttSpool> holder;
        const std::string folder = c.prepare(dir.path().toStdString(), holder);
        MqttSpool spool({1 << 20, 10, 1 << 20});
        const MqttSpool::Opened opened = spool.open(folder);
        EXPECT_EQ(opened.failure, c.failure) << c.name;
        EXPECT_EQ(spool.onDisk(), c.failure == Failure::None) << c.name;
        if (c.failure == Failure::None)
            EXPECT_EQ(opened.error, "") << c.name;
        else
            EXPECT_EQ(opened.error.rfind(c.textStart + folder, 0), 0u) << c.name << ": " << opened.error;
    }
}

} // namespace
} // namespace svglogger
