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
// any set), their rows in one table, what was left out and why.
class RecordSet
{
public:
    // A file's place in the joined table.
    struct Part {
        std::string path;
        RowLayout layout;
        std::size_t firstRow = 0;
        std::size_t rows = 0;
        double firstTime = 0.0, lastTime = 0.0; // its rows' times
        std::size_t skipped = 0; // its first rows, the same as rows of a file before it: kept once
        // What was read of the file, up to its last line end: a file still being written is
        // read on from there.
        std::uint64_t bytesRead = 0;
        std::size_t linesRead = 0;
    };

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
    // "path:line: reason" for each row left out, "path: reason" for each file without rows.
    const std::vector<std::string> &problems() const { return m_problems; }
    // Files that gave no row.
    std::size_t unreadableFiles() const { return m_unreadable; }
    // Per column slot over every file.
    const std::array<ColumnStats, recordColumn::kSlots> &stats() const { return m_stats; }
    // The columns any file holds, in the order of their first appearance.
    const std::vector<int> &columns() const { return m_columns; }
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
    std::vector<std::string> m_problems;
    std::size_t m_unreadable = 0;
    std::array<ColumnStats, recordColumn::kSlots> m_stats;
    std::vector<int> m_columns;
    double m_samplePeriod = 0.2;
    std::unordered_set<std::string> m_seen; // every file read or passed over, so that growing reads only new ones
};

} // namespace svglogger
