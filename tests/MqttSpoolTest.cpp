#include "mqtt/MqttSpool.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
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

// A segment's header; a record's bytes for message(Kind::Sample, n): marker, length, CRC,
// number, kind, topic length, "site/sample", the payload.
constexpr std::size_t kHeaderBytes = 16;
std::size_t recordBytes(int n)
{
    return 12 + 8 + 1 + 2 + std::string("site/sample").size() + ("{\"sequence\":" + std::to_string(n) + "}").size();
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void flip(std::string &data, std::size_t at, std::size_t count)
{
    for (std::size_t i = at; i < at + count; ++i)
        data[i] = static_cast<char>(~data[i]);
}

// CRC-32 (IEEE, reflected), bit by bit: the test's own, not the spool's zlib.
std::uint32_t crc32Of(const std::string &data)
{
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string little(std::uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    return out;
}

// A record as the first release wrote it: body length and CRC-32 of the body (32 bits each),
// then the body: number (64 bits), kind (8 bits: 1 sample, 2 event), topic length (16 bits),
// topic, payload.
std::string legacyRecord(std::uint64_t number, const std::string &topic, const std::string &payload, int kind = 1)
{
    const std::string body = little(number, 8) + little(static_cast<std::uint64_t>(kind), 1) + little(topic.size(), 2)
        + topic + payload;
    return little(body.size(), 4) + little(crc32Of(body), 4) + body;
}

std::string onlySegment(const QTemporaryDir &dir)
{
    std::vector<std::string> paths;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path().toStdString()))
        if (entry.path().extension() == ".seg")
            paths.push_back(entry.path().string());
    EXPECT_EQ(paths.size(), 1u);
    return paths.empty() ? std::string() : paths.front();
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

// A record cut short by a crash ends its segment: the whole records before it are kept, and it
// is said as a torn end, not as damage.
TEST(MqttSpoolRestart, ARecordCutShortIsDroppedAndTheRestKept)
{
    // The bytes of a fourth record, as the spool writes it.
    std::string fourth;
    {
        QTemporaryDir dir;
        MqttSpool spool({1 << 20, 100, 1 << 20});
        ASSERT_EQ(spool.open(dir.path().toStdString()).error, "");
        spool.append(message(Kind::Sample, 4));
        ASSERT_EQ(spool.flush(), "");
        fourth = readFile(onlySegment(dir)).substr(kHeaderBytes);
        ASSERT_EQ(fourth.size(), recordBytes(4));
    }
    struct Case {
        const char *name;
        std::string tail;
    } cases[] = {{"its first bytes", fourth.substr(0, 6)},
                 {"half of it", fourth.substr(0, fourth.size() / 2)},
                 {"all but its last byte", fourth.substr(0, fourth.size() - 1)},
                 {"zeros where a power cut left its block unwritten", std::string(4096, '\0')}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        {
            MqttSpool spool({1 << 20, 100, 1 << 20});
            ASSERT_EQ(spool.open(dir.path().toStdString()).error, "");
            for (int n = 1; n <= 3; ++n)
                spool.append(message(Kind::Sample, n));
            ASSERT_EQ(spool.flush(), "");
        }
        const std::string path = onlySegment(dir);
        const auto whole = std::filesystem::file_size(path);
        std::ofstream(path, std::ios::app | std::ios::binary) << c.tail;
        MqttSpool again({1 << 20, 100, 1 << 20});
        const MqttSpool::Opened opened = again.open(dir.path().toStdString());
        EXPECT_EQ(opened.pending, 3u);
        EXPECT_EQ(opened.tornBytes, c.tail.size());
        EXPECT_TRUE(opened.damaged.empty());
        EXPECT_EQ(again.damaged(), 0u);
        EXPECT_EQ(std::filesystem::file_size(path), whole);
        EXPECT_EQ(handAll(again), sequences(1, 3));
    }
}

// A damaged record is skipped and counted; the records after it are sent, and the file keeps
// its bytes until the broker has the rest of it. Segments of the first release (no header,
// no marker) are read too, and their damage skipped alike.
TEST(MqttSpoolDamage, ADamagedRecordIsSkippedAndTheRestSent)
{
    constexpr int kMessages = 101;
    struct Case {
        const char *name;
        bool legacy;
        // Damages the segment `data`, whose record n (1-based) begins at `start(n)`.
        void (*damage)(std::string &data, const std::function<std::size_t(int)> &start);
        std::vector<int> lost;
    } cases[] = {
        {"8 bytes of record 51's body flipped", false,
         [](std::string &d, const auto &start) { flip(d, start(51) + 20, 8); }, {51}},
        {"record 51's length flipped", false, [](std::string &d, const auto &start) { flip(d, start(51) + 4, 4); }, {51}},
        {"record 51's length made larger, within the file", false,
         [](std::string &d, const auto &start) { d[start(51) + 5] = '\x04'; }, {51}},
        {"record 51's marker and body", false, [](std::string &d, const auto &start) { flip(d, start(51), 16); }, {51}},
        {"records 51 to 53, a body each", false,
         [](std::string &d, const auto &start) {
             for (int n = 51; n <= 53; ++n)
                 flip(d, start(n) + 20, 1);
         },
         {51, 52, 53}},
        {"record 51's body, and 99's length", false,
         [](std::string &d, const auto &start) {
             flip(d, start(51) + 30, 8);
             flip(d, start(99) + 4, 2);
         },
         {51, 99}},
        {"the last record's body, whole in length", false,
         [](std::string &d, const auto &start) { flip(d, start(kMessages) + 14, 8); }, {kMessages}},
        {"the first release's segment, record 51's body", true,
         [](std::string &d, const auto &start) { flip(d, start(51) + 16, 8); }, {51}},
        {"the first release's segment, record 51's length", true,
         [](std::string &d, const auto &start) { flip(d, start(51), 3); }, {51}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string path = dir.path().toStdString() + "/0000000000000000.seg";
        if (c.legacy) {
            std::string data;
            for (int n = 1; n <= kMessages; ++n)
                data += legacyRecord(static_cast<std::uint64_t>(n - 1), "site/sample", "{\"sequence\":" + std::to_string(n) + "}");
            std::ofstream(path, std::ios::binary) << data;
        } else {
            MqttSpool spool({1 << 20, 1000, 1 << 20});
            ASSERT_EQ(spool.open(dir.path().toStdString()).error, "");
            for (int n = 1; n <= kMessages; ++n)
                spool.append(message(Kind::Sample, n));
            ASSERT_EQ(spool.flush(), "");
            ASSERT_EQ(onlySegment(dir), path);
        }
        std::string data = readFile(path);
        const std::size_t headBytes = c.legacy ? 8 : 12;
        const auto start = [&](int n) {
            std::size_t at = c.legacy ? 0 : kHeaderBytes;
            for (int k = 1; k < n; ++k)
                at += recordBytes(k) - 12 + headBytes;
            return at;
        };
        ASSERT_EQ(start(kMessages + 1), data.size()) << "the records where the test expects them";
        c.damage(data, start);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << data;

        MqttSpool again({1 << 20, 1000, 1 << 20});
        const MqttSpool::Opened opened = again.open(dir.path().toStdString());
        ASSERT_EQ(opened.error, "");
        std::vector<std::string> expected;
        for (int n = 1; n <= kMessages; ++n)
            if (std::find(c.lost.begin(), c.lost.end(), n) == c.lost.end())
                expected.push_back("{\"sequence\":" + std::to_string(n) + "}");
        EXPECT_EQ(opened.pending, expected.size());
        EXPECT_EQ(opened.tornBytes, 0u) << "damage, not a torn end";
        ASSERT_EQ(opened.damaged.size(), 1u);
        EXPECT_EQ(opened.damaged[0].path, path);
        EXPECT_EQ(opened.damaged[0].records, c.lost.size());
        EXPECT_EQ(again.damaged(), c.lost.size());
        EXPECT_TRUE(opened.setAside.empty());
        EXPECT_EQ(readFile(path), data) << "the damaged file is kept as it is";
        std::vector<std::uint64_t> numbers;
        EXPECT_EQ(handAll(again, &numbers), expected);
        for (std::uint64_t number : numbers)
            again.acknowledge(number);
        ASSERT_EQ(again.flush(), "");
        EXPECT_EQ(segmentFiles(dir), 0u) << "once the broker has the rest, the file goes";
    }
}

// A segment file this program does not know (another program's, a newer format's) is moved
// into set-aside/ whole and counted, never read, truncated or deleted; the spool's own
// segments are sent as before.
TEST(MqttSpoolFolder, AnUnknownSegmentIsSetAsideWhole)
{
    std::string lines;
    for (int n = 1; n <= 101; ++n)
        lines += "{\"sequence\":" + std::to_string(n) + ",\"from\":\"another program\"}\n";
    std::string newer = std::string("SVGSPOOL") + std::string("\x02\0\0\0\x18\0\0\0", 8) + std::string(8, '\0');
    for (int n = 1; n <= 101; ++n)
        newer += "a record of a newer format " + std::to_string(n) + ";";
    struct Case {
        const char *name;
        std::string bytes;
        bool nameTaken; // set-aside/ has a file of the name already
        const char *why;
    } cases[] = {
        {"another program's file", lines, false, "not a spool segment this program knows"},
        {"a newer format version", newer, false, "format version 2, which this program does not read (it reads 1)"},
        {"a header without its records' room", std::string("SVGSPOOL\x01\0\0\0\xff\0\0\0", 16), false,
         "header is damaged"},
        {"its name taken in set-aside/", lines, true, "not a spool segment this program knows"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        {
            MqttSpool spool({1 << 20, 100, 1 << 20});
            ASSERT_EQ(spool.open(folder).error, "");
            for (int n = 1; n <= 3; ++n)
                spool.append(message(Kind::Sample, n));
            ASSERT_EQ(spool.flush(), "");
        }
        const std::string unknown = folder + "/0000000000001000.seg";
        std::ofstream(unknown, std::ios::binary) << c.bytes;
        std::string to = folder + "/set-aside/0000000000001000.seg";
        if (c.nameTaken) {
            std::filesystem::create_directories(folder + "/set-aside");
            std::ofstream(to) << "an earlier one";
            to += ".1";
        }
        MqttSpool again({1 << 20, 100, 1 << 20});
        const MqttSpool::Opened opened = again.open(folder);
        ASSERT_EQ(opened.error, "");
        ASSERT_EQ(opened.setAside.size(), 1u);
        EXPECT_EQ(opened.setAside[0].path, unknown);
        EXPECT_EQ(opened.setAside[0].to, to);
        EXPECT_NE(opened.setAside[0].why.find(c.why), std::string::npos) << opened.setAside[0].why;
        EXPECT_EQ(opened.setAside[0].error, "");
        EXPECT_EQ(again.segmentsSetAside(), 1u);
        EXPECT_EQ(opened.tornBytes, 0u);
        EXPECT_EQ(readFile(to), c.bytes) << "kept whole";
        EXPECT_FALSE(std::filesystem::exists(unknown));
        EXPECT_EQ(opened.pending, 3u);
        EXPECT_EQ(handAll(again), sequences(1, 3));
    }
}

// A segment the first release wrote (no header; records of length, CRC-32 of the body, body),
// byte by byte: an upgrade sends it, in order, and new messages follow under new numbers.
TEST(MqttSpoolRestart, TheFirstReleasesSegmentsAreSent)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    std::string data;
    for (int n = 1; n <= 5; ++n)
        data += legacyRecord(static_cast<std::uint64_t>(n + 9), n == 3 ? "site/event" : "site/sample",
                             "{\"sequence\":" + std::to_string(n) + "}", n == 3 ? 2 : 1);
    std::ofstream(folder + "/000000000000000a.seg", std::ios::binary) << data;
    std::ofstream(folder + "/acknowledged") << "11\n"; // the first one was delivered
    MqttSpool spool({1 << 20, 100, 1 << 20});
    const MqttSpool::Opened opened = spool.open(folder);
    ASSERT_EQ(opened.error, "");
    EXPECT_EQ(opened.pending, 4u);
    EXPECT_TRUE(opened.setAside.empty());
    EXPECT_EQ(opened.tornBytes, 0u);
    spool.append(message(Kind::Sample, 6));
    std::vector<std::uint64_t> numbers;
    std::vector<std::string> topics;
    while (std::optional<MqttSpool::Entry> entry = spool.next()) {
        numbers.push_back(entry->number);
        topics.push_back(entry->message.topic + " " + entry->message.payload.toStdString());
        EXPECT_EQ(entry->message.kind, entry->message.topic == "site/event" ? Kind::Event : Kind::Sample);
    }
    EXPECT_EQ(topics, (std::vector<std::string>{"site/sample {\"sequence\":2}", "site/event {\"sequence\":3}",
                                                "site/sample {\"sequence\":4}", "site/sample {\"sequence\":5}",
                                                "site/sample {\"sequence\":6}"}));
    EXPECT_EQ(numbers, (std::vector<std::uint64_t>{11, 12, 13, 14, 15}));
    for (std::uint64_t number : numbers)
        spool.acknowledge(number);
    ASSERT_EQ(spool.flush(), "");
    EXPECT_EQ(segmentFiles(dir), 0u);
}

// Two kills soon after a backlog is delivered: the next start finds none of it again, and on
// the way at most kMarkEvery - 1 of what the broker has. The backlog waits on disk, read back
// at start, or in memory and on disk through an outage. The spool is dropped without a flush,
// as a kill leaves it.
TEST(MqttSpoolRestart, ADeliveredBacklogIsNotSentAgainAfterAKill)
{
    constexpr std::uint64_t kBacklog = 514;
    for (const bool readBack : {true, false}) {
        for (const std::uint64_t acknowledged : {kBacklog, std::uint64_t{300}, std::uint64_t{100}, std::uint64_t{0}}) {
            SCOPED_TRACE(std::string(readBack ? "read back at start, " : "kept through an outage, ")
                         + std::to_string(acknowledged) + " acknowledged");
            QTemporaryDir dir;
            const std::string folder = dir.path().toStdString();
            auto spool = std::make_unique<MqttSpool>(MqttSpool::Limits{1 << 20, 1000, 1 << 20});
            ASSERT_EQ(spool->open(folder).error, "");
            for (std::uint64_t n = 1; n <= kBacklog; ++n)
                spool->append(message(Kind::Sample, static_cast<int>(n)));
            ASSERT_EQ(spool->flush(), ""); // a sync period with the broker away
            if (readBack) {
                spool = std::make_unique<MqttSpool>(MqttSpool::Limits{1 << 20, 1000, 1 << 20});
                ASSERT_EQ(spool->open(folder).pending, kBacklog);
            }
            std::vector<std::uint64_t> numbers;
            EXPECT_EQ(handAll(*spool, &numbers).size(), kBacklog);
            for (std::uint64_t i = 0; i < acknowledged; ++i)
                spool->acknowledge(numbers[i]);
            spool.reset(); // killed: no flush
            MqttSpool next({1 << 20, 1000, 1 << 20});
            const std::uint64_t pending = next.open(folder).pending;
            const std::uint64_t undelivered = kBacklog - acknowledged;
            EXPECT_GE(pending, undelivered) << "nothing the broker lacks is lost";
            if (acknowledged == kBacklog)
                EXPECT_EQ(pending, 0u) << "a delivered backlog is not sent again";
            else
                EXPECT_LT(pending - undelivered, MqttSpool::kMarkEvery) << "repeated";
        }
    }
}

// A steady stream, each message delivered before the next sync, writes the mark only at the
// sync: delivering does not cost a write each.
TEST(MqttSpoolRestart, AStreamDeliveredAsItComesWritesTheMarkAtTheSync)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string markPath = folder + "/acknowledged";
    MqttSpool spool({1 << 20, 1000, 1 << 20});
    ASSERT_EQ(spool.open(folder).error, "");
    for (int n = 1; n <= 600; ++n) {
        spool.append(message(Kind::Sample, n));
        const std::optional<MqttSpool::Entry> entry = spool.next();
        ASSERT_TRUE(entry);
        spool.acknowledge(entry->number);
    }
    EXPECT_FALSE(std::filesystem::exists(markPath)) << "no write before the sync";
    ASSERT_EQ(spool.flush(), "");
    EXPECT_EQ(readFile(markPath), "600\n");
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
// and not the text decides. A segment it cannot read is no failure: it is set aside.
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
