#pragma once

#include "reading/RecordReader.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace svglogger {

// What was loaded, as one timeline: the files joined in time order (a day's hourly files, or
// any set), their rows in one table, what was left out and why. Continuous rows always win over
// interval rows of the same time: an interval row is used only where no continuous row is.
class RecordSet
{
public:
    // The controller's sample period (five samples a second) where no continuous row tells it.
    static constexpr double kControllerSamplePeriod = 0.2;

    // A run of a file's rows in the joined table, in the file's order: a file whose rows meet
    // rows of another mode (interval rows around continuous ones) has a part for each run.
    struct Part {
        std::string path;
        RowLayout layout;
        std::size_t firstRow = 0;
        std::size_t rows = 0;
        double firstTime = 0.0, lastTime = 0.0; // its rows' times
        std::size_t skipped = 0; // its first rows, the same as rows of a file before it: kept once (its first run)
        std::size_t fileRow = 0; // the file's readable row (from 0) that is the part's first
        // An interval file's interval, which each of its rows stands for (the table's span):
        // inferred from its rows (see RecordSetBuilder); 0 for a continuous file.
        int intervalSeconds = 0;
        std::size_t source = 0; // its file in sources()
        // What was read of the file, up to its last line end: a file still being written is
        // read on from there.
        std::uint64_t bytesRead = 0;
        std::size_t linesRead = 0;
    };

    // A file named (in a folder or by its path), what of it was used and what was left out.
    struct Source {
        enum class Reason {
            Used,           // rows of it are in the table (some may be left out, each range says why)
            Unreadable,     // no readable row
            SameRows,       // the same rows as a file before it: kept once
            OtherRecording, // other rows of the same time in a file of the same mode
            ContinuousRows, // interval rows of a time that continuous rows cover
        };
        struct LeftOut {
            Reason reason = Reason::SameRows;
            double from = 0.0, to = 0.0; // the time its rows cover, seconds of the local clock
            std::size_t rows = 0;
            std::string by; // the file whose rows are used for that time
        };
        std::string path;
        RowLayout layout;            // no samplingMode when it is no log file of the logger
        std::size_t rowsUsed = 0;    // rows of it in the table
        std::size_t rowsLeftOut = 0; // readable rows not used, each in a range of leftOut
        std::size_t linesUnreadable = 0; // lines that are no readable row (torn, garbled)
        int intervalSeconds = 0;         // an interval file's interval, as its parts have it; else 0
        // The time its readable rows cover: continuous rows [first, last second's end),
        // interval rows (first stamp − interval, last stamp]; 0 to 0 without a readable row.
        double from = 0.0, to = 0.0;
        std::vector<LeftOut> leftOut;
        Reason reason = Reason::Used; // Used, or why none of it is used
    };
    // "used", "no readable row", ...: the reason as the report says it.
    static std::string reasonText(Source::Reason reason);

    // A large file is read in pieces of about this many bytes, each cut where a second ends.
    static constexpr std::size_t kPieceBytes = std::size_t{8} << 20;

    // Files and folders (a folder: every file in it the logger names "Tarmin…csv"), read in
    // pieces by one worker per core and joined as they come, in time order, so a set takes
    // little more memory than its table. `progress` hears bytes read so far of the total;
    // `cancel` set stops reading (what was read is kept).
    static RecordSet load(const std::vector<std::string> &inputs,
                          const std::function<void(std::uint64_t done, std::uint64_t total)> &progress = {},
                          const std::atomic<bool> *cancel = nullptr, std::size_t pieceBytes = kPieceBytes);
    // Files read already (each its own timeline piece), joined.
    static RecordSet join(std::vector<RecordFile> files);

    const RecordTable &table() const { return m_table; }
    const std::vector<Part> &parts() const { return m_parts; }
    // Every file named, in the order of their first rows, the unreadable ones last.
    const std::vector<Source> &sources() const { return m_sources; }
    // Those whose time meets [from, to), and those without a readable row.
    std::vector<Source> sourcesBetween(double from, double to) const;
    // "path:line: reason" for each row left out, "path: reason" for each file without rows.
    const std::vector<std::string> &problems() const { return m_problems; }
    // Files that gave no row.
    std::size_t unreadableFiles() const { return m_unreadable; }
    // Per column slot over every file.
    const std::array<ColumnStats, recordColumn::kSlots> &stats() const { return m_stats; }
    // The columns any file holds, in the order of their first appearance.
    const std::vector<int> &columns() const { return m_columns; }
    // The slots the table holds: columns(), then the span where interval rows are.
    std::vector<int> tableColumns() const;
    // The part the row belongs to.
    const Part &partOf(std::size_t row) const;
    // The typical step between rows (the median), for telling a gap from a sample period.
    double samplePeriod() const { return m_samplePeriod; }

    // What a logger still writing has added since the set was read: rows appended to the last
    // file and new files of the folders among `inputs` (the next hourly file), joined after
    // the last row. Reload when they do not fit after it (a clock set back, a file replaced):
    // only reading everything anew places them.
    enum class Growth { None, Appended, Reload };
    Growth grow(const std::vector<std::string> &inputs);

    // The files a folder holds that the logger wrote, by their names.
    static std::vector<std::string> logFilesIn(const std::string &folder);

private:
    friend class RecordSetBuilder;

    RecordTable m_table;
    std::vector<Part> m_parts;
    std::vector<Source> m_sources;
    std::vector<std::string> m_problems;
    std::size_t m_unreadable = 0;
    std::array<ColumnStats, recordColumn::kSlots> m_stats;
    std::vector<int> m_columns;
    double m_samplePeriod = kControllerSamplePeriod;
    double m_continuousPeriod = kControllerSamplePeriod; // of the continuous rows: an interval row's count × it is the time it sampled
    std::unordered_set<std::string> m_seen; // every file read or passed over, so that growing reads only new ones
};

} // namespace svglogger
