#pragma once

#include "mqtt/MqttOutbox.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace svglogger {

// The samples and events the broker has not acknowledged, in the order they were made, each
// with its number. They wait in memory; every sync period, when memory is full and at stop,
// those still unacknowledged are appended to segment files of the spool folder, so that a
// stop, a crash or a power cut with the broker away loses at most one sync period, and the
// next start sends them first. Bounded on disk, by its bound and by the free space it leaves
// its file system (the CSV files come first): beyond, the oldest samples go first and are
// counted; events stay until only events are left. What finds no room waits in memory, where
// beyond its bound the oldest waiting sample goes. A damaged record is skipped and counted,
// the records after it are sent; a segment file of a format it does not know is moved aside
// into set-aside/, never deleted. The network thread's alone.
class MqttSpool
{
public:
    using Kind = MqttOutbox::Kind;
    using Message = MqttOutbox::Message;
    struct Entry {
        std::uint64_t number = 0;
        Message message;
    };
    struct Limits {
        std::uint64_t diskBytes = 100ull << 20;
        std::size_t memoryMessages = 18000;
        std::uint64_t segmentBytes = 1ull << 20; // a segment file is closed beyond this
        // The free space the spool leaves on its file system: it writes nothing that would take
        // it below, and gives back its oldest samples when the disk has less. 0: none.
        std::uint64_t minFreeBytes = 0;
    };
    // Free bytes for a user without privilege on the file system that holds a folder; -1 when
    // it cannot be asked (the floor is then not looked at).
    using FreeSpace = std::function<std::int64_t(const std::string &folder)>;
    static std::int64_t systemFreeSpace(const std::string &folder);
    // Why the folder cannot serve: it cannot be made, its lock cannot be opened (no write
    // permission), or another program holds the lock. The spool keeps to memory.
    enum class OpenFailure { None, CannotMake, CannotUse, InUse };
    struct Opened {
        OpenFailure failure = OpenFailure::None;
        std::string error;          // the failure in the journal's words; empty without one
        std::uint64_t pending = 0;  // left by an earlier run, to be sent first
        std::uint64_t tornBytes = 0; // a message cut short by a crash, dropped
        struct Damage {
            std::string path;
            std::uint64_t records = 0; // skipped, not sent; the file is kept until the rest is sent
        };
        std::vector<Damage> damaged;
        // A segment file this program cannot read: moved to `to`, or left where it was (`to`
        // empty, `error` why it could not be moved); either way never read, never deleted.
        struct SetAside {
            std::string path;
            std::string why;
            std::string to;
            std::string error;
        };
        std::vector<SetAside> setAside;
    };
    // Where the segment files this program cannot read go, inside the spool folder.
    static constexpr const char *kSetAsideFolder = "set-aside";
    // The acknowledged mark reaches the disk at least every this many acknowledgements of
    // messages read back from disk, and as soon as none of them is left.
    static constexpr std::uint64_t kMarkEvery = 256;

    explicit MqttSpool(Limits limits, FreeSpace freeSpace = systemFreeSpace)
        : m_limits(limits)
        , m_freeSpace(std::move(freeSpace))
    {
    }
    ~MqttSpool();
    MqttSpool(const MqttSpool &) = delete;
    MqttSpool &operator=(const MqttSpool &) = delete;

    // Takes the folder (made when missing, locked against a second program) and what an
    // earlier run left in it.
    Opened open(const std::string &folder);
    const std::string &folder() const { return m_folder; }
    bool onDisk() const { return m_lock >= 0; }

    void append(Message message);
    // The next message for the broker, in order, skipping what it has acknowledged; none
    // when every waiting message is handed over.
    std::optional<Entry> next();
    // The broker has the message (or refused it for good): it is never sent again.
    void acknowledge(std::uint64_t number);
    // The connection was lost: what was handed over and not acknowledged is next again.
    void rewind();
    // Appends to disk what is not acknowledged and not yet there, syncs it, records how far
    // the broker has acknowledged and removes segments it has all of. An error text or empty.
    std::string flush();

    std::uint64_t pending() const { return m_pending; }
    std::uint64_t delivered() const { return m_delivered; }
    std::uint64_t droppedSamples() const { return m_droppedSamples; }
    std::uint64_t droppedEvents() const { return m_droppedEvents; }
    std::size_t inFlight() const { return m_inFlight.size(); }
    // Records found damaged (skipped, never sent) and segment files set aside, since open.
    std::uint64_t damaged() const { return m_damaged; }
    std::uint64_t segmentsSetAside() const { return m_setAside; }

    // The bytes of its segment files.
    std::uint64_t bytes() const;
    // The most its segment files could take at the last write: the bound, or less where its
    // free-space floor is reached.
    std::uint64_t limitBytes() const { return m_limitBytes; }
    // The free-space floor made the last write drop samples or leave messages in memory, and
    // there has not been a segment's room above it since.
    bool atFloor() const { return m_atFloor; }
    // Why the last flush (or a write for a full memory) failed; empty once a flush succeeds.
    const std::string &writeFailure() const { return m_writeFailure; }
    std::uint64_t writeErrors() const { return m_writeErrors; } // failed flushes and writes, all told
    // Waiting messages that are not on disk: lost if the program ends now.
    std::uint64_t notOnDisk() const;
    // At stop, after the last flush: those not on disk are lost; their number is kept in the
    // folder for the next start's figures, and returned.
    std::uint64_t settleLoss();
    // What the previous run's stop counted as lost, read at open.
    std::uint64_t lostByEarlierRun() const { return m_lostEarlier; }

private:
    struct Segment {
        std::string path;
        std::uint64_t first = 0; // the numbers it holds, first to last
        std::uint64_t last = 0;
        std::uint64_t bytes = 0;
        bool eventsOnly = false; // its samples were dropped for the bound
    };
    struct Record {
        std::uint64_t number = 0;
        Message message;
        std::uint64_t bytes = 0; // on disk
    };
    // What a segment file holds. Unknown: a file of another program or of a newer format.
    struct SegmentContents {
        enum class Format { Unknown, Legacy, Current };
        Format format = Format::Unknown;
        std::string unknownWhy;
        std::vector<Record> records;
        std::uint64_t damaged = 0;  // records skipped
        std::uint64_t goodBytes = 0; // the file's size, or where a record cut short at its end begins
    };

    // Everything below it is acknowledged or dropped.
    std::uint64_t mark() const { return m_inFlight.empty() ? m_cursor : m_inFlight.front(); }
    bool isInFlight(std::uint64_t number) const;
    bool settled(std::uint64_t number) const
    {
        return number < mark() || m_acknowledgedAhead.count(number) != 0;
    }
    std::optional<Entry> nextFromDisk(std::uint64_t below);
    std::string write();
    std::uint64_t currentLimit() const;
    std::uint64_t segmentCloseBytes() const;
    std::string keepToBound(std::uint64_t limit, std::uint64_t extra);
    std::string writeAndMark();
    void failed(const std::string &problem);
    std::uint64_t takeEarlierLoss();
    void writeLoss(std::uint64_t lost);
    std::string openTail();
    void closeTail();
    void dropOldestInMemory();
    void forget(std::uint64_t number, Kind kind);
    int saveMark(std::uint64_t below);
    Opened::SetAside setAside(const std::string &path, std::string why);
    static SegmentContents readSegment(const std::string &path);

    const Limits m_limits;
    const FreeSpace m_freeSpace;
    std::string m_folder;
    int m_lock = -1;                  // the folder's lock; -1: memory only
    std::deque<Entry> m_memory;       // ascending numbers
    std::vector<Segment> m_segments;  // oldest first; the last one is appended to
    int m_tail = -1;                  // the last segment's file, open for appending
    std::uint64_t m_next = 0;         // the number the next message gets
    std::uint64_t m_written = 0;      // messages below it are on disk, acknowledged or dropped
    std::uint64_t m_cursor = 0;       // the next message to hand over is the first at or above
    std::deque<std::uint64_t> m_inFlight; // handed over, not acknowledged, ascending
    std::set<std::uint64_t> m_acknowledgedAhead; // acknowledged above the mark
    std::uint64_t m_savedMark = 0;
    // Messages on disk before they were handed over (read back at start, or kept through an
    // outage) were handed over, not all of them marked yet. A steady stream is handed over first.
    bool m_backlog = false;
    // The segment being read back: its index and records.
    std::optional<std::size_t> m_readSegment;
    std::vector<Record> m_readRecords;
    std::uint64_t m_pending = 0;
    std::uint64_t m_delivered = 0;
    std::uint64_t m_droppedSamples = 0;
    std::uint64_t m_droppedEvents = 0;
    std::uint64_t m_damaged = 0;
    std::uint64_t m_setAside = 0;
    std::uint64_t m_limitBytes = 0;
    bool m_atFloor = false;
    bool m_heldBack = false; // the last write left messages in memory for want of room
    std::string m_writeFailure;
    std::uint64_t m_writeErrors = 0;
    std::uint64_t m_lostEarlier = 0;
};

} // namespace svglogger
