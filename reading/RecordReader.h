#pragma once

#include "reading/RecordColumns.h"
#include "reading/RecordTable.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace svglogger {

// Per column of a file or a set: the extremes as the file wrote them, the mean's sum and the
// count of readable values.
struct ColumnStats {
    double min = 0.0, max = 0.0, sum = 0.0;
    std::string minText, maxText;
    std::size_t count = 0;

    void add(double value, std::string_view text);
    void add(const ColumnStats &other);
    // A value read back from a table: the logger writes at most 7 significant digits, so the
    // float's shortest text is the file's.
    void add(float value);
};

// One recorded file as read: its layout from the header, its rows, and what was left out.
struct RecordFile {
    std::string path;
    RowLayout layout;                  // no samplingMode: not a file of the logger
    RecordTable table;                 // its readable rows, times spread within their seconds
    std::vector<std::string> problems; // "path:line: reason" for each row left out
    std::string error;                 // "path: reason" when no row could be read
    std::size_t unreadableLines = 0;   // lines that are no readable row, named or not
    std::array<ColumnStats, recordColumn::kSlots> stats;
    // With keepLines: each readable row's line as the file holds it (views into the bytes read,
    // without the line end), for copying rows out.
    std::vector<std::string_view> lines;

    bool readable() const { return error.empty(); }
};

// Rows of a run of a file's lines, their times the whole seconds the rows name (not yet
// spread within their seconds): a large file is read as such runs, one per worker. Line
// numbers count from the run's first line (1).
struct RecordRows {
    struct Problem {
        std::size_t line = 0;
        std::string reason;
    };
    RecordTable table;
    std::vector<Problem> problems; // the first ten rows left out, and each step back of the clock
    std::size_t unsaid = 0;        // rows left out beyond those named
    std::size_t unreadable = 0;    // lines that are no readable row, named or not
    std::array<ColumnStats, recordColumn::kSlots> stats;
    std::vector<std::string_view> lines; // with keepLines, as in RecordFile
    std::size_t firstRowLine = 0;        // the line of the first readable row
    std::size_t lineCount = 0;
};

// Reads `bytes`, lines of rows in `layout` from a line start (the last line may be cut short
// only at the file's end). The rows' wall-clock stamps go onto standard time in recording
// order (see LocalClock): a stamp of the repeated hour is the one not before the row before,
// the first row's not before `notBefore`.
RecordRows readRows(const RowLayout &layout, std::string_view bytes, bool keepLines = false,
                    std::int64_t notBefore = std::numeric_limits<std::int64_t>::min());

// Times of rows [from, to) that share a whole second spread evenly over it, in their order.
void spreadWithinSeconds(std::vector<double> &times, std::size_t from, std::size_t to);

// The layout whose header line `line` is, in Shift-JIS or in UTF-8 (a byte-order mark and a
// CR before the line end allowed); no samplingMode when it is none of the four.
RowLayout layoutOfHeader(std::string_view line);

// Reads the bytes of a file the logger wrote. Never throws for what the bytes hold.
RecordFile readRecord(std::string path, std::string_view bytes, bool keepLines = false);

} // namespace svglogger
