#include "mqtt/MqttSpool.h"

#include <zlib.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace svglogger {

namespace {

namespace fs = std::filesystem;

// A segment file: a header of 16 bytes ("SVGSPOOL", the format version and the header's length,
// 32 bits each), then records: a marker "\xF5rec", the body's length, a CRC-32 of the length and
// the body (32 bits each), and the body: number (64 bits), kind (8 bits), topic length (16 bits),
// topic, payload. Little-endian. After a damaged record the reader goes on at the next marker
// whose record's CRC holds. Segments of the first release (no header; records of length, CRC of
// the body alone and body, without marker) are still read, never written.
constexpr std::string_view kMagic("SVGSPOOL");
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kSegmentHeaderBytes = 16;
constexpr std::string_view kMarker("\xf5rec", 4);
constexpr std::size_t kRecordHeadBytes = 12;
constexpr std::size_t kLegacyHeadBytes = 8;
constexpr std::size_t kBodyFixedBytes = 8 + 1 + 2;
constexpr std::uint32_t kLargestBody = 64u << 20;
constexpr const char *kMarkFile = "acknowledged";
// What the last stop lost (not on disk, not delivered), for the next start's figures: a number
// of fixed width, written over in place, so that a full disk takes it too.
constexpr const char *kLossFile = "lost";
constexpr int kLossDigits = 20;
constexpr const char *kSegmentSuffix = ".seg";

enum class Layout { Legacy, Current };

void putLittle(std::string &out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

std::uint64_t getLittle(const char *in, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return value;
}

std::uint32_t crcOf(const char *data, std::size_t size, std::uint32_t crc = 0)
{
    return static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef *>(data), static_cast<uInt>(size)));
}

std::string segmentHeader()
{
    std::string header(kMagic);
    putLittle(header, kFormatVersion, 4);
    putLittle(header, kSegmentHeaderBytes, 4);
    return header;
}

std::string encode(std::uint64_t number, const MqttOutbox::Message &message)
{
    std::string record(kMarker);
    putLittle(record, kBodyFixedBytes + message.topic.size() + static_cast<std::size_t>(message.payload.size()), 4);
    putLittle(record, 0, 4); // the CRC, once the body is there
    putLittle(record, number, 8);
    putLittle(record, message.kind == MqttOutbox::Kind::Event ? 2 : 1, 1);
    putLittle(record, message.topic.size(), 2);
    record += message.topic;
    record.append(message.payload.constData(), static_cast<std::size_t>(message.payload.size()));
    const std::uint32_t crc = crcOf(record.data() + 4, 4);
    const std::uint32_t whole = crcOf(record.data() + kRecordHeadBytes, record.size() - kRecordHeadBytes, crc);
    for (int i = 0; i < 4; ++i)
        record[8 + static_cast<std::size_t>(i)] = static_cast<char>((whole >> (8 * i)) & 0xff);
    return record;
}

std::size_t headBytes(Layout layout)
{
    return layout == Layout::Current ? kRecordHeadBytes : kLegacyHeadBytes;
}

bool markerAt(std::string_view data, std::size_t at)
{
    return data.substr(at, kMarker.size()) == kMarker;
}

// The length a record at `at` gives its body, when it is one a record can have (0 when not).
std::uint32_t bodyLength(std::string_view data, std::size_t at, Layout layout)
{
    const std::size_t lengthAt = at + (layout == Layout::Current ? kMarker.size() : 0);
    if (data.size() - at < headBytes(layout) || (layout == Layout::Current && !markerAt(data, at)))
        return 0;
    const auto length = static_cast<std::uint32_t>(getLittle(data.data() + lengthAt, 4));
    return length < kBodyFixedBytes || length > kLargestBody ? 0 : length;
}

// The bytes of the whole record whose checksum holds at `at`, or 0.
std::size_t wholeRecordAt(std::string_view data, std::size_t at, Layout layout)
{
    const std::uint32_t length = bodyLength(data, at, layout);
    const std::size_t head = headBytes(layout);
    if (length == 0 || data.size() - at - head < length)
        return 0;
    const char *record = data.data() + at;
    const char *body = record + head;
    const auto crc = static_cast<std::uint32_t>(getLittle(body - 4, 4));
    const std::uint32_t seed = layout == Layout::Current ? crcOf(record + 4, 4) : 0;
    if (crcOf(body, length, seed) != crc || kBodyFixedBytes + getLittle(body + 9, 2) > length)
        return 0;
    return head + length;
}

// Where the next whole record after a bad one at `at` begins; npos when none does.
std::size_t nextRecord(std::string_view data, std::size_t at, Layout layout)
{
    for (std::size_t from = at + 1; from < data.size(); ++from) {
        // The first release's records carry no marker: every byte may begin one, but the
        // length check passes few of them on to the checksum.
        if (layout == Layout::Current && (from = data.find(kMarker, from)) == std::string_view::npos)
            return std::string_view::npos;
        if (wholeRecordAt(data, from, layout) != 0)
            return from;
    }
    return std::string_view::npos;
}

// Whether the bad bytes from `at` to the end are a last record that a crash or a power cut
// cut short (its start, its length running past the end, or zeros), rather than damage.
bool cutShort(std::string_view data, std::size_t at, Layout layout)
{
    const std::string_view rest = data.substr(at);
    if (rest.find_first_not_of('\0') == std::string_view::npos)
        return true;
    if (rest.size() < headBytes(layout))
        return layout == Layout::Legacy || kMarker.substr(0, rest.size()) == rest.substr(0, kMarker.size());
    const std::uint32_t length = bodyLength(data, at, layout);
    return length != 0 && rest.size() < headBytes(layout) + length
        && (layout == Layout::Legacy || rest.find(kMarker, 1) == std::string_view::npos);
}

// The records lost in bad bytes from `at` to `end`: one per marker found there, one at least
// (the first release's records have no marker to count).
std::uint64_t recordsLost(std::string_view data, std::size_t at, std::size_t end, Layout layout)
{
    std::uint64_t markers = 0;
    if (layout == Layout::Current)
        for (std::size_t p = data.find(kMarker, at); p < end; p = data.find(kMarker, p + 1))
            ++markers;
    return std::max<std::uint64_t>(markers, 1);
}

// The system's reason for the last failed call; a short write sets none, and on a full disk
// that is what it means.
std::string systemReason(int error)
{
    return std::strerror(error != 0 ? error : ENOSPC);
}

// 0 when all of `data` was written, else the error (ENOSPC for a write that wrote nothing).
int writeAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        errno = 0;
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return errno != 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

std::string segmentName(std::uint64_t first)
{
    char name[32];
    std::snprintf(name, sizeof name, "%016llx%s", static_cast<unsigned long long>(first), kSegmentSuffix);
    return name;
}

// Writes a small file whole or not at all: a copy beside it, synced, renamed over it.
int replaceFile(const std::string &path, const std::string &data)
{
    const std::string copy = path + ".new";
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    int error = writeAll(fd, data);
    if (error == 0 && ::fdatasync(fd) != 0)
        error = errno;
    ::close(fd);
    if (error == 0 && ::rename(copy.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(copy.c_str());
    return error;
}

} // namespace

std::int64_t MqttSpool::systemFreeSpace(const std::string &folder)
{
    struct statvfs space {};
    if (::statvfs(folder.c_str(), &space) != 0)
        return -1;
    return static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
}

MqttSpool::~MqttSpool()
{
    closeTail();
    if (m_lock >= 0)
        ::close(m_lock);
}

MqttSpool::Opened MqttSpool::open(const std::string &folder)
{
    assert(m_lock < 0 && m_next == 0);
    Opened opened;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        opened.failure = OpenFailure::CannotMake;
        opened.error = "cannot make the spool folder " + folder + ": " + error.message();
        return opened;
    }
    const std::string lockPath = folder + "/lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        opened.failure = OpenFailure::CannotUse;
        opened.error = "cannot use the spool folder " + folder + ": " + systemReason(errno);
        return opened;
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        opened.failure = OpenFailure::InUse;
        opened.error = "the spool folder " + folder + " is in use by another svg-logger-headless with the same "
                       "client id";
        ::close(lock);
        return opened;
    }
    m_lock = lock;
    m_folder = folder;

    std::uint64_t mark = 0;
    if (std::ifstream in(folder + "/" + kMarkFile); in)
        in >> mark;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error); // the site's data, the service's alone
    std::vector<std::string> paths;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() == kSegmentSuffix)
            paths.push_back(entry.path().string());
        else if (entry.path().extension() == ".new")
            fs::remove(entry.path(), error); // a copy a crash left half-written: its original stands
    }
    std::sort(paths.begin(), paths.end()); // the names are their first numbers in fixed-width hex
    std::uint64_t next = mark;
    for (const std::string &path : paths) {
        SegmentContents contents = readSegment(path);
        if (contents.format == SegmentContents::Format::Unknown) {
            opened.setAside.push_back(setAside(path, contents.unknownWhy));
            continue;
        }
        if (contents.damaged != 0) {
            m_damaged += contents.damaged;
            opened.damaged.push_back({path, contents.damaged});
            if (contents.records.empty()) {
                opened.setAside.push_back(setAside(path, "none of its records can be read"));
                continue;
            }
        }
        // A record cut short ends the file; damage in the middle stays, the file being removed
        // once the broker has the rest of it.
        const std::uint64_t size = fs::file_size(path, error);
        if (!error && contents.goodBytes < size) {
            opened.tornBytes += size - contents.goodBytes;
            ::truncate(path.c_str(), static_cast<off_t>(contents.goodBytes));
        }
        Segment segment{path, 0, 0, contents.goodBytes, true};
        std::uint64_t waiting = 0;
        for (const Record &record : contents.records) {
            next = std::max(next, record.number + 1);
            if (record.number < mark)
                continue;
            if (waiting++ == 0)
                segment.first = record.number;
            segment.last = record.number;
            segment.eventsOnly = segment.eventsOnly && record.message.kind == Kind::Event;
        }
        if (waiting == 0) {
            fs::remove(path, error);
            continue;
        }
        opened.pending += waiting;
        m_segments.push_back(segment);
    }
    m_next = next;
    m_written = next;
    m_cursor = mark;
    m_savedMark = mark;
    m_pending = opened.pending;
    m_lostEarlier = takeEarlierLoss();
    m_limitBytes = currentLimit();
    return opened;
}

void MqttSpool::append(Message message)
{
    assert(message.kind != Kind::Health);
    m_memory.push_back({m_next++, std::move(message)});
    ++m_pending;
    if (m_memory.size() <= m_limits.memoryMessages)
        return;
    // Memory is full: what waits goes to disk and is read back from there when its turn
    // comes. Where it finds no room or fails, the oldest sample waiting goes; the next
    // flush tries the disk again.
    if (onDisk() && !m_heldBack && m_writeFailure.empty()) {
        if (const std::string problem = write(); !problem.empty())
            failed(problem);
        while (!m_memory.empty() && m_memory.front().number < m_written)
            m_memory.pop_front();
        m_readSegment.reset();
        if (m_memory.size() <= m_limits.memoryMessages)
            return;
    }
    dropOldestInMemory();
}

std::optional<MqttSpool::Entry> MqttSpool::next()
{
    const std::uint64_t memoryFirst = m_memory.empty() ? m_next : m_memory.front().number;
    if (m_cursor < memoryFirst) {
        if (std::optional<Entry> entry = nextFromDisk(memoryFirst)) {
            m_backlog = true;
            m_cursor = entry->number + 1;
            m_inFlight.push_back(entry->number);
            return entry;
        }
        m_cursor = memoryFirst;
    }
    auto it = std::lower_bound(m_memory.begin(), m_memory.end(), m_cursor,
                               [](const Entry &e, std::uint64_t n) { return e.number < n; });
    while (it != m_memory.end() && m_acknowledgedAhead.count(it->number) != 0)
        ++it;
    if (it == m_memory.end()) {
        m_cursor = m_next;
        return std::nullopt;
    }
    m_backlog = m_backlog || it->number < m_written; // on disk before it was handed over
    m_cursor = it->number + 1;
    m_inFlight.push_back(it->number);
    return *it;
}

std::optional<MqttSpool::Entry> MqttSpool::nextFromDisk(std::uint64_t below)
{
    for (std::size_t i = 0; i < m_segments.size(); ++i) {
        const Segment &segment = m_segments[i];
        if (segment.last < m_cursor)
            continue;
        if (segment.first >= below)
            break;
        if (m_readSegment != i) {
            m_readRecords = readSegment(segment.path).records;
            m_readSegment = i;
        }
        for (Record &record : m_readRecords)
            if (record.number >= m_cursor && record.number < below && m_acknowledgedAhead.count(record.number) == 0)
                return Entry{record.number, record.message};
    }
    return std::nullopt;
}

bool MqttSpool::isInFlight(std::uint64_t number) const
{
    return std::find(m_inFlight.begin(), m_inFlight.end(), number) != m_inFlight.end();
}

void MqttSpool::acknowledge(std::uint64_t number)
{
    const auto it = std::find(m_inFlight.begin(), m_inFlight.end(), number);
    if (it == m_inFlight.end())
        return; // not handed over in this connection: nothing to settle
    const bool first = it == m_inFlight.begin();
    m_inFlight.erase(it);
    if (!first)
        m_acknowledgedAhead.insert(number);
    --m_pending;
    ++m_delivered;
    const std::uint64_t below = mark();
    m_acknowledgedAhead.erase(m_acknowledgedAhead.begin(), m_acknowledgedAhead.lower_bound(below));
    while (!m_memory.empty() && m_memory.front().number < below)
        m_memory.pop_front();
    // A backlog the disk holds, once delivered, must not be sent again after a crash: the mark
    // goes to disk once none of it is left, and every kMarkEvery messages on the way (an error
    // here is said by the next flush, which writes the mark again).
    const std::uint64_t delivered = std::min(below, m_written);
    if (onDisk() && m_backlog && delivered > m_savedMark
        && (below >= m_written || delivered - m_savedMark >= kMarkEvery))
        saveMark(below);
}

void MqttSpool::rewind()
{
    if (m_inFlight.empty())
        return;
    m_cursor = m_inFlight.front();
    m_inFlight.clear();
}

// A message that can be sent no more: counted, and out of memory.
void MqttSpool::forget(std::uint64_t number, Kind kind)
{
    ++(kind == Kind::Sample ? m_droppedSamples : m_droppedEvents);
    --m_pending;
    const auto it = std::lower_bound(m_memory.begin(), m_memory.end(), number,
                                     [](const Entry &e, std::uint64_t n) { return e.number < n; });
    if (it != m_memory.end() && it->number == number)
        m_memory.erase(it);
}

void MqttSpool::dropOldestInMemory()
{
    auto first = std::lower_bound(m_memory.begin(), m_memory.end(), m_cursor,
                                  [](const Entry &e, std::uint64_t n) { return e.number < n; });
    auto sample = std::find_if(first, m_memory.end(), [](const Entry &e) { return e.message.kind == Kind::Sample; });
    const auto victim = sample != m_memory.end() ? sample : first;
    if (victim == m_memory.end())
        return; // everything in memory is with the broker already
    forget(victim->number, victim->message.kind);
}

std::string MqttSpool::openTail()
{
    if (m_tail >= 0 && !m_segments.empty() && m_segments.back().bytes < segmentCloseBytes())
        return {};
    closeTail();
    const std::string path = m_folder + "/" + segmentName(m_written);
    const bool again = !m_segments.empty() && m_segments.back().path == path;
    if (again)
        m_segments.pop_back(); // emptied by a failed write: taken up again
    // Any other file of the name is not this run's to overwrite (one left where it was, unread).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (again ? O_TRUNC : O_EXCL), 0600);
    if (fd < 0)
        return "cannot write the spool " + path + ": " + systemReason(errno);
    if (const int error = writeAll(fd, segmentHeader()); error != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return "cannot write the spool " + path + ": " + systemReason(error);
    }
    m_tail = fd;
    m_segments.push_back({path, m_written, m_written, kSegmentHeaderBytes, false});
    return {};
}

void MqttSpool::closeTail()
{
    if (m_tail < 0)
        return;
    ::fdatasync(m_tail);
    ::close(m_tail);
    m_tail = -1;
}

// A segment is also closed beyond an eighth of what the spool may take: room is made a whole
// segment at a time, so a spool near its floor gives back its oldest eighth, not all.
std::uint64_t MqttSpool::segmentCloseBytes() const
{
    return std::min(m_limits.segmentBytes, std::max<std::uint64_t>(m_limitBytes / 8, 4096));
}

std::uint64_t MqttSpool::bytes() const
{
    std::uint64_t total = 0;
    for (const Segment &segment : m_segments)
        total += segment.bytes;
    return total;
}

// The bound, or what the spool holds and the free space above its floor if that is less:
// below the floor, less than it holds.
std::uint64_t MqttSpool::currentLimit() const
{
    const std::int64_t free = m_freeSpace(m_folder);
    if (free < 0)
        return m_limits.diskBytes;
    const std::int64_t room =
        static_cast<std::int64_t>(bytes()) + free - static_cast<std::int64_t>(m_limits.minFreeBytes);
    return std::min(m_limits.diskBytes, static_cast<std::uint64_t>(std::max<std::int64_t>(room, 0)));
}

// Appends what waits in memory, within the limit: room is made first by dropping the oldest
// samples on disk; what still finds none stays in memory, in order, for the next write.
std::string MqttSpool::write()
{
    auto unwritten = [this] {
        return std::lower_bound(m_memory.begin(), m_memory.end(), m_written,
                                [](const Entry &e, std::uint64_t n) { return e.number < n; });
    };
    std::uint64_t needed = 0;
    for (auto it = unwritten(); it != m_memory.end(); ++it)
        if (!settled(it->number))
            needed += encode(it->number, it->message).size();
    const std::uint64_t limit = currentLimit();
    m_limitBytes = limit;
    const std::uint64_t droppedBefore = m_droppedSamples + m_droppedEvents;
    std::string problem = keepToBound(limit, needed); // may take dropped messages out of memory
    std::uint64_t room = limit > bytes() ? limit - bytes() : 0;
    bool heldBack = false;
    bool whole = problem.empty();
    for (auto it = unwritten(); whole && it != m_memory.end(); ++it) {
        if (settled(it->number))
            continue;
        const std::string record = encode(it->number, it->message);
        if (record.size() > room) {
            heldBack = true;
            whole = false;
            break;
        }
        if (problem = openTail(); !problem.empty()) {
            whole = false;
            break;
        }
        Segment &tail = m_segments.back();
        if (const int error = writeAll(m_tail, record); error != 0) {
            // Nothing half-written stays behind: the segment ends after its last whole record.
            ::ftruncate(m_tail, static_cast<off_t>(tail.bytes));
            problem = "cannot write the spool " + tail.path + ": " + systemReason(error);
            whole = false;
            break;
        }
        if (tail.bytes == kSegmentHeaderBytes)
            tail.first = it->number;
        tail.last = it->number;
        tail.bytes += record.size();
        room -= record.size();
        m_written = it->number + 1;
    }
    if (whole)
        m_written = m_next;
    m_readSegment.reset();
    m_heldBack = heldBack;
    // At the floor while it costs samples or room; off again once a segment fits above it.
    const bool floorLimits = limit < m_limits.diskBytes;
    const bool dropped = m_droppedSamples + m_droppedEvents != droppedBefore;
    if (floorLimits && (dropped || heldBack))
        m_atFloor = true;
    else if (!floorLimits || limit - std::min(limit, bytes()) >= segmentCloseBytes())
        m_atFloor = false;
    return problem;
}

// Within `limit` with room for `extra` bytes more, oldest first: a segment keeps only its
// events (and what the broker has been handed); once only events are left, the oldest of them
// go, but only to keep within the limit, never to make room for newer messages.
std::string MqttSpool::keepToBound(std::uint64_t limit, std::uint64_t extra)
{
    while (!m_segments.empty()) {
        const std::uint64_t total = bytes();
        if (total + extra <= limit)
            break;
        // The segment being appended to is compacted only when no other one can be.
        const std::size_t closed = m_tail >= 0 ? m_segments.size() - 1 : m_segments.size();
        std::size_t victim = 0;
        while (victim < closed && m_segments[victim].eventsOnly)
            ++victim;
        const bool compact = victim < closed;
        if (!compact) {
            if (m_tail >= 0 && !m_segments.back().eventsOnly) {
                closeTail();
                continue;
            }
            if (total <= limit)
                break;
            victim = 0; // only events are left: the oldest go
            if (m_tail >= 0 && m_segments.size() == 1)
                closeTail();
        }
        // What a compacted segment keeps joins the events-only segment before it: one small file
        // for them, not one a segment, each taking at least a block of the disk.
        const bool join = compact && victim > 0 && m_segments[victim - 1].eventsOnly;
        Segment &segment = m_segments[victim];
        std::string kept;
        std::uint64_t first = 0;
        std::uint64_t lastKept = 0;
        auto keep = [&](const Record &record) {
            if (kept.empty())
                first = record.number;
            lastKept = record.number;
            kept += encode(record.number, record.message);
        };
        if (join)
            for (const Record &record : readSegment(m_segments[victim - 1].path).records)
                if (!settled(record.number))
                    keep(record);
        for (const Record &record : readSegment(segment.path).records) {
            if (settled(record.number))
                continue;
            if (compact && (record.message.kind == Kind::Event || isInFlight(record.number))) {
                keep(record);
                continue;
            }
            if (!isInFlight(record.number))
                forget(record.number, record.message.kind);
        }
        const std::size_t into = join ? victim - 1 : victim;
        Segment &target = m_segments[into];
        std::error_code error;
        if (kept.empty()) {
            fs::remove(segment.path, error);
            if (join)
                fs::remove(target.path, error);
            m_segments.erase(m_segments.begin() + static_cast<std::ptrdiff_t>(into),
                             m_segments.begin() + static_cast<std::ptrdiff_t>(victim) + 1);
        } else {
            kept.insert(0, segmentHeader());
            if (const int failure = replaceFile(target.path, kept); failure != 0)
                return "cannot shorten the spool " + target.path + ": " + systemReason(failure);
            target = {target.path, first, lastKept, kept.size(), true};
            if (join) {
                fs::remove(segment.path, error);
                m_segments.erase(m_segments.begin() + static_cast<std::ptrdiff_t>(victim));
            }
        }
        m_readSegment.reset();
    }
    return {};
}

int MqttSpool::saveMark(std::uint64_t below)
{
    const int error = replaceFile(m_folder + "/" + kMarkFile, std::to_string(below) + "\n");
    if (error == 0) {
        m_savedMark = below;
        m_backlog = m_backlog && below < m_written;
    }
    return error;
}

std::string MqttSpool::flush()
{
    const std::string problem = writeAndMark();
    if (!problem.empty())
        failed(problem);
    else
        m_writeFailure.clear();
    return problem;
}

void MqttSpool::failed(const std::string &problem)
{
    ++m_writeErrors;
    m_writeFailure = problem;
}

std::uint64_t MqttSpool::notOnDisk() const
{
    std::uint64_t count = 0;
    for (const Entry &entry : m_memory)
        count += (!onDisk() || entry.number >= m_written) && !settled(entry.number);
    return count;
}

std::uint64_t MqttSpool::settleLoss()
{
    const std::uint64_t lost = notOnDisk();
    if (onDisk())
        writeLoss(lost);
    return lost;
}

// The previous stop's loss, read once; the file says 0 again, so that it is counted once.
std::uint64_t MqttSpool::takeEarlierLoss()
{
    std::uint64_t lost = 0;
    if (std::ifstream in(m_folder + "/" + kLossFile); in)
        in >> lost;
    writeLoss(0);
    return lost;
}

// Over the file's own bytes: a full disk has no room for a new file, but these need none.
void MqttSpool::writeLoss(std::uint64_t lost)
{
    char text[kLossDigits + 2];
    std::snprintf(text, sizeof text, "%0*llu\n", kLossDigits, static_cast<unsigned long long>(lost));
    const std::string path = m_folder + "/" + kLossFile;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (::pwrite(fd, text, kLossDigits + 1, 0) == kLossDigits + 1)
        ::fdatasync(fd);
    ::close(fd);
}

// Appends what waits, syncs it, records the broker's mark and removes what it has all of.
std::string MqttSpool::writeAndMark()
{
    if (!onDisk())
        return {};
    std::string problem = write();
    if (m_tail >= 0 && ::fdatasync(m_tail) != 0 && problem.empty())
        problem = "cannot sync the spool: " + systemReason(errno);
    const std::uint64_t below = mark();
    if (below != m_savedMark) {
        if (const int error = saveMark(below); error != 0) {
            return problem.empty() ? "cannot record the broker's acknowledgements in " + m_folder + ": "
                    + systemReason(error)
                                   : problem;
        }
    }
    // Segments the broker has all of go, once the mark that says so is on disk.
    while (!m_segments.empty() && m_segments.front().last < m_savedMark) {
        if (m_segments.size() == 1)
            closeTail();
        std::error_code error;
        fs::remove(m_segments.front().path, error);
        m_segments.erase(m_segments.begin());
        m_readSegment.reset();
    }
    return problem;
}

MqttSpool::SegmentContents MqttSpool::readSegment(const std::string &path)
{
    using Format = SegmentContents::Format;
    SegmentContents contents;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string_view data = bytes;
    std::size_t at = 0;
    Layout layout = Layout::Current;
    if (data.size() < kSegmentHeaderBytes && kMagic.substr(0, data.size()) == data.substr(0, kMagic.size())) {
        contents.format = Format::Current; // a header cut short: no record yet
        return contents;
    }
    if (data.substr(0, kMagic.size()) == kMagic) {
        const std::uint64_t version = getLittle(data.data() + kMagic.size(), 4);
        at = getLittle(data.data() + kMagic.size() + 4, 4);
        if (version != kFormatVersion) {
            contents.unknownWhy = "a spool segment of format version " + std::to_string(version)
                + ", which this program does not read (it reads " + std::to_string(kFormatVersion) + ")";
            return contents;
        }
        if (at < kSegmentHeaderBytes || at > data.size()) {
            contents.unknownWhy = "a spool segment whose header is damaged";
            return contents;
        }
    } else if (wholeRecordAt(data, 0, Layout::Legacy) != 0) {
        layout = Layout::Legacy; // the first release's, without a header
    } else {
        contents.unknownWhy = "not a spool segment this program knows (no SVGSPOOL header, no record it can read "
                              "at its start)";
        return contents;
    }
    contents.format = layout == Layout::Current ? Format::Current : Format::Legacy;
    const std::size_t head = headBytes(layout);
    while (at < data.size()) {
        const std::size_t size = wholeRecordAt(data, at, layout);
        if (size == 0) {
            const std::size_t next = nextRecord(data, at, layout);
            if (next == std::string_view::npos && cutShort(data, at, layout))
                break;
            const std::size_t end = std::min(next, data.size());
            contents.damaged += recordsLost(data, at, end, layout);
            at = end;
            continue;
        }
        const char *body = data.data() + at + head;
        const std::size_t length = size - head;
        const std::uint64_t topicLength = getLittle(body + 9, 2);
        Record record;
        record.number = getLittle(body, 8);
        record.message.kind = body[8] == 2 ? Kind::Event : Kind::Sample;
        record.message.topic.assign(body + kBodyFixedBytes, topicLength);
        record.message.payload = QByteArray(body + kBodyFixedBytes + topicLength,
                                            static_cast<qsizetype>(length - kBodyFixedBytes - topicLength));
        record.bytes = size;
        contents.records.push_back(std::move(record));
        at += size;
    }
    contents.goodBytes = at;
    return contents;
}

// Moved into set-aside/ under its own name (numbered when the name is taken there), for a
// program that can read it; never deleted.
MqttSpool::Opened::SetAside MqttSpool::setAside(const std::string &path, std::string why)
{
    Opened::SetAside aside{path, std::move(why), {}, {}};
    const fs::path folder = fs::path(m_folder) / kSetAsideFolder;
    std::error_code error;
    fs::create_directory(folder, error);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
    const std::string name = fs::path(path).filename().string();
    fs::path to = folder / name;
    for (int n = 1; fs::exists(to, error); ++n)
        to = folder / (name + "." + std::to_string(n));
    fs::rename(path, to, error);
    if (error) {
        aside.error = error.message();
        return aside;
    }
    aside.to = to.string();
    ++m_setAside;
    return aside;
}

} // namespace svglogger
