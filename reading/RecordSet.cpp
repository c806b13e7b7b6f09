#include "reading/RecordSet.h"

#include "reading/MappedFile.h"
#include "reading/RecordTime.h"
#include "recording/LogFileName.h"

#include <algorithm>
#include <chrono>
#include <cassert>
#include <cmath>
#include <filesystem>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <numeric>
#include <thread>
#include <unordered_set>

namespace svglogger {

namespace {

// The logger's own names, "Tarmin<day>D<hour>H<minute>M<second>[G][-n].csv", with any n.
bool isLogFileName(const std::string &name)
{
    const std::optional<ParsedLogFileName> parsed = parseLogFileName(name);
    return parsed && parsed->exact;
}

// How a file's first rows meet the rows taken before it, second by second: its rows of the
// seconds the taken rows reach, whether each is the same as the taken row at its place in
// that second (same time, same numbers), and the seconds they span.
struct Overlap {
    std::size_t rows = 0;       // the file's rows in the overlap, from its first
    bool same = true;
    std::size_t firstTaken = 0; // the first taken row it meets
    std::int64_t from = 0, to = 0;
};

bool sameNumber(float a, float b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

Overlap overlapOf(const RecordTable &taken, const RecordTable &file, const std::vector<int> &columns)
{
    Overlap overlap;
    const double end = std::floor(taken.times().back()) + 1.0;
    const std::vector<double> &times = file.times();
    while (overlap.rows < times.size() && times[overlap.rows] < end)
        ++overlap.rows;
    overlap.from = static_cast<std::int64_t>(std::floor(times.front()));
    overlap.to = static_cast<std::int64_t>(std::floor(times[overlap.rows - 1]));
    overlap.firstTaken = std::min(taken.lowerBound(std::floor(times.front())), taken.rows() - 1);
    for (std::size_t i = 0; i < overlap.rows && overlap.same;) {
        const double second = std::floor(times[i]);
        std::size_t j = i;
        while (j < overlap.rows && std::floor(times[j]) == second)
            ++j;
        const std::size_t at = taken.lowerBound(second);
        const std::size_t upTo = taken.lowerBound(second + 1.0);
        overlap.same = upTo - at == j - i;
        for (std::size_t k = 0; overlap.same && k < j - i; ++k)
            for (int column : columns)
                overlap.same = overlap.same && sameNumber(taken.value(column, at + k), file.value(column, i + k));
        i = j;
    }
    return overlap;
}

} // namespace

std::vector<std::string> RecordSet::logFilesIn(const std::string &folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error) && isLogFileName(entry.path().filename().string()))
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Builds a set file by file, each file's rows piece by piece in order, each piece joined as
// soon as it comes: a file's piece table is freed once appended, so a set peaks at about its
// own table. Files must come in the order of their first rows.
class RecordSetBuilder
{
public:
    // `rowsBound`: at most that many rows will come (untouched room costs no memory).
    RecordSetBuilder(std::vector<int> columns, std::size_t rowsBound)
    {
        m_set.m_columns = std::move(columns);
        m_set.m_table.reserve(rowsBound, m_set.m_columns);
    }

    // `bytesRead`: the file's bytes up to its last line end (0: not to be read on).
    void beginFile(const std::string &path, const RowLayout &layout, std::uint64_t bytesRead = 0)
    {
        m_file = File{};
        m_file.path = path;
        m_file.layout = layout;
        m_file.bytesRead = bytesRead;
        m_file.columns = columnsOf(layout);
        m_file.firstRow = m_set.m_table.rows();
    }

    // The file's next piece, whose first line is line `firstLine` of the file.
    void addRows(RecordRows rows, std::size_t firstLine)
    {
        File &f = m_file;
        for (const RecordRows::Problem &p : rows.problems) {
            if (f.problems.size() < kProblemsSaid)
                f.problems.push_back(f.path + ":" + std::to_string(p.line + firstLine - 1) + ": " + p.reason);
            else
                ++f.unsaid;
        }
        f.unsaid += rows.unsaid;
        f.rowsSeen += rows.table.rows();
        f.lines = firstLine - 1 + rows.lineCount;
        if (f.leftOut || rows.table.rows() == 0)
            return;
        const std::vector<double> &times = rows.table.times();
        if (f.anyRow && times.front() < f.lastSecond && f.problems.size() < kProblemsSaid)
            f.problems.push_back(f.path + ":" + std::to_string(rows.firstRowLine + firstLine - 1)
                                 + ": the clock goes back from " + rowTimeText(static_cast<std::int64_t>(f.lastSecond))
                                 + " to " + rowTimeText(static_cast<std::int64_t>(times.front()))
                                 + " (the row is kept, in time order)");
        f.anyRow = true;
        f.lastSecond = times.back();
        // A file that starts before what is taken ends: its rows of those seconds are the
        // same rows (a copy, a file named under two names) and are kept once, or they are
        // another recording, which is never interleaved into one trace: it is left out.
        std::size_t skip = 0;
        const std::vector<double> &taken = m_set.m_table.times();
        if (f.appended == 0 && !taken.empty() && times.front() < std::floor(taken.back()) + 1.0
            && std::is_sorted(taken.begin(), taken.end())) {
            const Overlap overlap = overlapOf(m_set.m_table, rows.table, f.columns);
            if (f.skipped == 0) {
                f.overlapWith = m_set.partOf(overlap.firstTaken).path;
                f.overlapFrom = overlap.from;
            }
            f.overlapTo = overlap.to;
            if (!overlap.same) {
                f.leftOut = true;
                return;
            }
            skip = overlap.rows;
            f.skipped += skip;
            // The same rows are counted once: the file before holds them.
            for (std::size_t r = 0; r < skip; ++r)
                for (int column : f.columns)
                    if (const float v = rows.table.value(column, r); !std::isnan(v)) {
                        rows.stats[static_cast<std::size_t>(column)].sum -= v;
                        --rows.stats[static_cast<std::size_t>(column)].count;
                    }
        }
        f.appended += rows.table.rows() - skip;
        m_set.m_table.append(rows.table, skip);
        for (std::size_t s = 0; s < rows.stats.size(); ++s)
            f.stats[s].add(rows.stats[s]);
    }

    // Problems named already, each as a whole line.
    void lastLineCutShort() { m_file.cutShort = true; }
    // The file's pieces stop short of its end (a cancel): reading on from its end would leave a hole.
    void notReadWhole() { m_file.bytesRead = 0; }

    void addProblems(const std::vector<std::string> &problems)
    {
        m_file.problems.insert(m_file.problems.end(), problems.begin(), problems.end());
    }

    void endFile()
    {
        File &f = m_file;
        if (f.rowsSeen == 0) {
            // One message for the file (a header that fits none of its rows): the count and the first.
            m_set.m_problems.push_back(f.path + ": no readable row"
                                       + (f.problems.empty() ? ""
                                                             : " (" + std::to_string(f.problems.size() + f.unsaid)
                                                                   + " rows left out; the first: " + f.problems.front() + ")"));
            ++m_set.m_unreadable;
            return;
        }
        m_set.m_problems.insert(m_set.m_problems.end(), f.problems.begin(), f.problems.end());
        if (f.unsaid != 0)
            m_set.m_problems.push_back(f.path + ": " + std::to_string(f.unsaid) + " more rows left out");
        const std::string span = f.overlapWith.empty() ? "" : rowTimeText(f.overlapFrom) + "–" + rowTimeText(f.overlapTo);
        if (f.leftOut) {
            assert(f.appended == 0);
            m_set.m_problems.push_back(f.path + ": overlaps " + f.overlapWith + " " + span
                                       + " with other rows (two recordings at once, or a clock set back): left "
                                         "out; open it alone to see it");
            ++m_set.m_unreadable;
            return;
        }
        if (f.skipped != 0)
            m_set.m_problems.push_back(f.overlapWith + " and " + f.path + " overlap " + span + ": "
                                       + std::to_string(f.skipped) + " rows kept once");
        if (f.appended == 0)
            return;
        std::vector<double> &times = m_set.m_table.mutableTimes();
        spreadWithinSeconds(times, f.firstRow, times.size());
        const auto [early, late] = std::minmax_element(times.begin() + static_cast<std::ptrdiff_t>(f.firstRow), times.end());
        // A last line cut short is read again when the file is read on.
        const std::size_t linesRead = f.bytesRead == 0 ? 0 : f.lines - (f.cutShort ? 1 : 0);
        m_set.m_parts.push_back({f.path, f.layout, f.firstRow, f.appended, *early, *late, f.skipped, f.bytesRead, linesRead});
        for (std::size_t s = 0; s < f.stats.size(); ++s)
            m_set.m_stats[s].add(f.stats[s]);
    }

    // A file that could not be read at all.
    void failed(const RecordFile &file)
    {
        m_set.m_problems.insert(m_set.m_problems.end(), file.problems.begin(), file.problems.end());
        m_set.m_problems.push_back(file.error);
        ++m_set.m_unreadable;
    }

    RecordSet finish()
    {
        // Files that overlap in time (a clock set back within a file): rows in time order.
        const std::vector<double> &times = m_set.m_table.times();
        if (!std::is_sorted(times.begin(), times.end())) {
            std::vector<std::size_t> order(times.size());
            std::iota(order.begin(), order.end(), std::size_t{0});
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
            m_set.m_table.reorder(order);
        }
        // The median step between rows.
        if (times.size() >= 2) {
            std::vector<double> steps;
            const std::size_t stride = std::max<std::size_t>(1, times.size() / 4096);
            for (std::size_t i = stride; i < times.size(); i += stride)
                steps.push_back(times[i] - times[i - 1]);
            std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
            // To the microsecond: steps between times near 1.8e9 s carry 1e-7 s of rounding.
            if (steps[steps.size() / 2] > 0.0)
                m_set.m_samplePeriod = std::max(1e-6, std::round(steps[steps.size() / 2] * 1e6) / 1e6);
        }
        return std::move(m_set);
    }

private:
    static constexpr std::size_t kProblemsSaid = 10; // rows left out named one by one per file; the rest counted

    struct File {
        std::string path;
        RowLayout layout;
        std::vector<int> columns;
        std::size_t firstRow = 0, appended = 0, skipped = 0, rowsSeen = 0, unsaid = 0, lines = 0;
        std::uint64_t bytesRead = 0;
        bool cutShort = false;
        std::vector<std::string> problems;
        std::array<ColumnStats, recordColumn::kSlots> stats;
        bool anyRow = false, leftOut = false;
        double lastSecond = 0.0;
        std::string overlapWith;
        std::int64_t overlapFrom = 0, overlapTo = 0;
    };

    RecordSet m_set;
    File m_file;
};

namespace {

// A file to be read: its layout and first row from a look at its start, and the pieces it is
// cut into (byte ranges of its rows, each beginning at a line start and a new second).
struct Input {
    std::string path;
    RecordFile failed; // its error when it cannot be read at all
    RowLayout layout;
    double firstTime = 0.0;
    struct Piece {
        std::size_t offset = 0, length = 0;
    };
    std::vector<Piece> pieces;
    std::size_t rowsBound = 0;
    std::uint64_t bytesRead = 0; // up to the last line end
    bool cutShort = false;       // the last line has no end yet
};

std::string_view timeField(std::string_view line)
{
    return line.substr(0, line.find(','));
}

Input lookAt(const std::string &path, std::size_t pieceBytes)
{
    Input input;
    input.path = path;
    const MappedFile mapped(path);
    if (!mapped.ok()) {
        input.failed.path = path;
        input.failed.error = path + ": " + mapped.error();
        return input;
    }
    std::string_view bytes = mapped.bytes();
    if (bytes.ends_with('\x1a'))
        bytes.remove_suffix(1);
    // The header and the rows of the first 4 KiB tell the layout and the first time (the
    // whole file is read only when they hold no row).
    constexpr std::size_t kLook = 4 * 1024;
    std::size_t lookEnd = bytes.size();
    if (bytes.size() > kLook) {
        const std::size_t lf = bytes.rfind('\n', kLook);
        lookEnd = lf == std::string_view::npos ? bytes.size() : lf + 1;
    }
    RecordFile look = readRecord(path, bytes.substr(0, lookEnd));
    if (!look.readable() && (!look.layout.samplingMode || lookEnd == bytes.size())) {
        input.failed = std::move(look);
        return input;
    }
    input.layout = look.layout;
    if (look.readable()) {
        input.firstTime = std::floor(look.table.times().front());
    } else {
        // No row near the start: the first is found by reading the whole file.
        const RecordFile whole = readRecord(path, bytes);
        if (!whole.readable()) {
            input.failed = whole;
            return input;
        }
        input.firstTime = std::floor(whole.table.times().front());
    }
    input.cutShort = !bytes.ends_with('\n');
    const std::size_t lastEnd = bytes.rfind('\n');
    input.bytesRead = lastEnd == std::string_view::npos ? 0 : lastEnd + 1;
    // Rows have at least a time of 8 characters and a character and a comma per number.
    input.rowsBound = bytes.size() / (9 + 2 * columnsOf(input.layout).size()) + 1;
    // Pieces from the line after the header, each cut after the last row of a second.
    std::size_t at = bytes.find('\n');
    at = at == std::string_view::npos ? bytes.size() : at + 1;
    while (at < bytes.size()) {
        std::size_t cut = at + pieceBytes;
        if (cut < bytes.size()) {
            std::size_t lf = bytes.find('\n', cut);
            cut = lf == std::string_view::npos ? bytes.size() : lf + 1;
            // Rows of the second the line before the cut names stay with it: their times are
            // spread over that second together.
            const std::size_t before = bytes.rfind('\n', cut >= 2 ? cut - 2 : 0);
            const std::string_view second = timeField(bytes.substr(before == std::string_view::npos ? 0 : before + 1));
            while (cut < bytes.size() && timeField(bytes.substr(cut)) == second) {
                lf = bytes.find('\n', cut);
                cut = lf == std::string_view::npos ? bytes.size() : lf + 1;
            }
        } else {
            cut = bytes.size();
        }
        input.pieces.push_back({at, cut - at});
        at = cut;
    }
    return input;
}

} // namespace

RecordSet RecordSet::load(const std::vector<std::string> &inputs,
                          const std::function<void(std::uint64_t, std::uint64_t)> &progress,
                          const std::atomic<bool> *cancel, std::size_t pieceBytes)
{
    assert(pieceBytes > 0);
    std::vector<std::string> paths;
    std::vector<RecordFile> failed;
    for (const std::string &input : inputs) {
        std::error_code error;
        if (std::filesystem::is_directory(input, error)) {
            const std::vector<std::string> inFolder = logFilesIn(input);
            if (inFolder.empty()) {
                RecordFile none;
                none.path = input;
                none.error = input + ": no log file of the logger in this folder";
                failed.push_back(std::move(none));
            }
            paths.insert(paths.end(), inFolder.begin(), inFolder.end());
        } else {
            paths.push_back(input);
        }
    }
    // A file named twice (by two paths, or again inside a folder named) is read once: a
    // hashed set, as a folder may hold tens of thousands of files.
    {
        std::vector<std::string> unique;
        std::unordered_set<std::string> seen;
        seen.reserve(paths.size());
        for (const std::string &path : paths) {
            std::error_code error;
            std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
            if (error)
                canonical = path;
            if (seen.insert(canonical.string()).second)
                unique.push_back(path);
        }
        paths = std::move(unique);
    }
    // A look at each file's start, then the files in the order of their first rows (the
    // unreadable ones named last, in input order).
    std::vector<Input> files;
    files.reserve(paths.size());
    for (const std::string &path : paths)
        files.push_back(lookAt(path, pieceBytes));
    std::stable_sort(files.begin(), files.end(), [](const Input &a, const Input &b) {
        const bool aReadable = a.failed.error.empty(), bReadable = b.failed.error.empty();
        if (aReadable != bReadable)
            return aReadable;
        return aReadable && a.firstTime < b.firstTime;
    });
    std::vector<int> columns;
    std::size_t rowsBound = 0;
    std::uint64_t totalBytes = 0;
    struct Piece {
        std::size_t file = 0;
        Input::Piece range;
    };
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].failed.error.empty())
            continue;
        for (int column : columnsOf(files[i].layout))
            if (std::find(columns.begin(), columns.end(), column) == columns.end())
                columns.push_back(column);
        rowsBound += files[i].rowsBound;
        for (const Input::Piece &range : files[i].pieces) {
            pieces.push_back({i, range});
            totalBytes += range.length;
        }
    }
    RecordSetBuilder builder(columns, rowsBound);

    // Workers read pieces ahead of the joining, at most a few each, so that what waits to be
    // joined stays small; the joining takes them in order.
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t ahead = 2 * workers;
    std::vector<std::optional<RecordRows>> read(pieces.size());
    std::vector<std::shared_ptr<const MappedFile>> mapped(files.size());
    std::vector<std::size_t> piecesLeft(files.size(), 0);
    for (const Piece &piece : pieces)
        ++piecesLeft[piece.file];
    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0, joined = 0;
    bool stop = false;
    auto work = [&] {
        std::unique_lock hold(lock);
        while (true) {
            const auto cancelled = [&] { return cancel && cancel->load(); };
            changed.wait(hold, [&] { return stop || cancelled() || next >= pieces.size() || next < joined + ahead; });
            if (stop || next >= pieces.size() || cancelled()) {
                changed.notify_all();
                return;
            }
            const std::size_t i = next++;
            std::shared_ptr<const MappedFile> &file = mapped[pieces[i].file];
            if (!file)
                file = std::make_shared<const MappedFile>(files[pieces[i].file].path);
            const std::shared_ptr<const MappedFile> bytes = file;
            hold.unlock();
            RecordRows rows;
            if (bytes->ok() && pieces[i].range.offset + pieces[i].range.length <= bytes->bytes().size()) {
                rows = readRows(files[pieces[i].file].layout, bytes->bytes().substr(pieces[i].range.offset, pieces[i].range.length));
                bytes->release(pieces[i].range.offset, pieces[i].range.length);
            } else {
                rows.problems.push_back({1, "the file changed while it was read"});
            }
            hold.lock();
            read[i] = std::move(rows);
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w)
        threads.emplace_back(work);

    std::uint64_t done = 0;
    std::size_t lastFile = files.size();
    std::size_t lineOfPiece = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::optional<RecordRows> rows;
        {
            std::unique_lock hold(lock);
            // Cancelling wakes nobody: it is looked at every 50 ms.
            while (!changed.wait_for(hold, std::chrono::milliseconds(50),
                                     [&] { return read[i].has_value() || (cancel && *cancel && i >= next); })) {
            }
            if (!read[i]) {
                builder.notReadWhole(); // cancelled: what was read is kept, never read on
                break;
            }
            rows = std::move(read[i]);
            read[i].reset();
            ++joined;
            if (--piecesLeft[pieces[i].file] == 0)
                mapped[pieces[i].file].reset(); // its pages go with the mapping
            changed.notify_all();
        }
        const Input &file = files[pieces[i].file];
        if (pieces[i].file != lastFile) {
            if (lastFile != files.size())
                builder.endFile();
            builder.beginFile(file.path, file.layout, file.bytesRead);
            if (file.cutShort)
                builder.lastLineCutShort();
            lastFile = pieces[i].file;
            lineOfPiece = 2; // after the header
        }
        const std::size_t lines = rows->lineCount;
        builder.addRows(std::move(*rows), lineOfPiece);
        lineOfPiece += lines;
        done += pieces[i].range.length;
        if (progress)
            progress(done, totalBytes);
    }
    if (lastFile != files.size())
        builder.endFile();
    {
        const std::lock_guard hold(lock);
        stop = true;
        changed.notify_all();
    }
    for (std::thread &t : threads)
        t.join();
    for (const Input &file : files)
        if (!file.failed.error.empty())
            builder.failed(file.failed);
    for (const RecordFile &f : failed)
        builder.failed(f);
    RecordSet set = builder.finish();
    for (const std::string &path : paths)
        set.m_seen.insert(std::filesystem::path(path).lexically_normal().string());
    return set;
}

RecordSet RecordSet::join(std::vector<RecordFile> files)
{
    // Readable files by the time of their first row; the unreadable ones named in input order.
    std::stable_sort(files.begin(), files.end(), [](const RecordFile &a, const RecordFile &b) {
        if (a.readable() != b.readable())
            return a.readable();
        return a.readable() && a.table.times().front() < b.table.times().front();
    });
    std::vector<int> columns;
    std::size_t rows = 0;
    for (const RecordFile &f : files) {
        rows += f.table.rows();
        if (f.readable())
            for (int column : columnsOf(f.layout))
                if (std::find(columns.begin(), columns.end(), column) == columns.end())
                    columns.push_back(column);
    }
    RecordSetBuilder builder(columns, rows);
    for (RecordFile &f : files) {
        if (!f.readable()) {
            builder.failed(f);
            continue;
        }
        // Already read whole and named: its problems go as they are.
        RecordRows rows;
        rows.table = std::move(f.table);
        rows.stats = f.stats;
        builder.beginFile(f.path, f.layout);
        builder.addRows(std::move(rows), 1);
        builder.addProblems(f.problems);
        builder.endFile();
    }
    return builder.finish();
}

RecordSet::Growth RecordSet::grow(const std::vector<std::string> &inputs)
{
    if (m_parts.empty())
        return Growth::None;
    std::vector<double> &times = m_table.mutableTimes();
    const auto fitsAfter = [&](double first) { return first >= std::floor(times.back()); };
    Growth growth = Growth::None;
    // Rows appended to the last file, whole lines only.
    Part &last = m_parts.back();
    if (last.bytesRead != 0) {
        const MappedFile mapped(last.path);
        std::string_view bytes = mapped.ok() ? mapped.bytes() : std::string_view();
        if (bytes.size() < last.bytesRead)
            return Growth::Reload; // shortened: another file now
        bytes = bytes.substr(last.bytesRead);
        const std::size_t end = bytes.rfind('\n');
        if (end != std::string_view::npos) {
            bytes = bytes.substr(0, end + 1);
            RecordRows rows = readRows(last.layout, bytes);
            if (rows.table.rows() != 0 && !fitsAfter(rows.table.times().front()))
                return Growth::Reload;
            for (const RecordRows::Problem &p : rows.problems)
                m_problems.push_back(last.path + ":" + std::to_string(last.linesRead + p.line) + ": " + p.reason);
            if (rows.table.rows() != 0) {
                // The last second may get more rows: spread anew from its first.
                const std::size_t from = m_table.lowerBound(std::floor(times.back()));
                m_table.append(rows.table);
                spreadWithinSeconds(times, std::max(from, last.firstRow), times.size());
                last.rows += rows.table.rows();
                last.lastTime = times.back();
                for (std::size_t s = 0; s < rows.stats.size(); ++s)
                    m_stats[s].add(rows.stats[s]);
                growth = Growth::Appended;
            }
            last.bytesRead += bytes.size();
            last.linesRead += rows.lineCount;
        }
    }
    // New files in the folders: each read whole once it holds a row.
    for (const std::string &input : inputs) {
        std::error_code error;
        if (!std::filesystem::is_directory(input, error))
            continue;
        for (const std::string &path : logFilesIn(input)) {
            const std::string normal = std::filesystem::path(path).lexically_normal().string();
            if (m_seen.contains(normal))
                continue;
            const MappedFile mapped(path);
            std::string_view bytes = mapped.ok() ? mapped.bytes() : std::string_view();
            const std::size_t end = bytes.rfind('\n');
            if (end == std::string_view::npos)
                continue; // not a whole line yet
            bytes = bytes.substr(0, end + 1);
            RecordFile file = readRecord(path, bytes);
            if (!file.layout.samplingMode) {
                m_seen.insert(normal); // not the logger's: named once
                m_problems.push_back(file.error);
                continue;
            }
            if (!file.readable())
                continue; // a header alone so far
            if (!fitsAfter(std::floor(file.table.times().front())))
                return Growth::Reload;
            const std::size_t firstRow = m_table.rows();
            m_problems.insert(m_problems.end(), file.problems.begin(), file.problems.end());
            m_table.append(file.table);
            m_parts.push_back({path, file.layout, firstRow, file.table.rows(), file.table.times().front(),
                               file.table.times().back(), 0, bytes.size(),
                               static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'))});
            for (std::size_t s = 0; s < file.stats.size(); ++s)
                m_stats[s].add(file.stats[s]);
            for (int column : columnsOf(file.layout))
                if (std::find(m_columns.begin(), m_columns.end(), column) == m_columns.end())
                    m_columns.push_back(column);
            m_seen.insert(normal);
            growth = Growth::Appended;
        }
    }
    return growth;
}

const RecordSet::Part &RecordSet::partOf(std::size_t row) const
{
    const auto after = std::upper_bound(m_parts.begin(), m_parts.end(), row,
                                        [](std::size_t r, const Part &p) { return r < p.firstRow; });
    return *(after - 1);
}

} // namespace svglogger
