#include "reading/RecordSet.h"

#include "reading/LocalClock.h"
#include "reading/MappedFile.h"
#include "reading/RecordTime.h"
#include "recording/LogFileName.h"

#include <algorithm>
#include <chrono>
#include <cassert>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <numeric>
#include <thread>
#include <unordered_set>

namespace svglogger {

namespace {

// A piece of a large file, read on its own, took a stamp of the repeated hour as its first
// reading; after the rows before it (the last at `last`) it may be the second: its leading
// rows read again, up to the first that reads as it did.
void readOnAfter(std::vector<double> &times, std::int64_t last)
{
    const LocalClock &clock = localClock();
    if (!clock.keepsDaylightSaving())
        return;
    std::int64_t previous = last;
    for (double &time : times) {
        const auto second = static_cast<std::int64_t>(std::floor(time));
        const std::int64_t again = clock.standardOf(clock.wallOf(second), previous);
        if (again == second)
            break;
        time = static_cast<double>(again);
        previous = again;
    }
}

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

namespace {

// An interval file's interval from its rows' stamps: the median of the steps between
// consecutive rows that go forward, in whole seconds (a stop of the logger is one step among
// many); 0 when no step goes forward (one row, or rows of one second).
int intervalOfRows(const std::vector<double> &times, std::size_t from, std::size_t to)
{
    std::vector<double> steps;
    for (std::size_t i = from + 1; i < to; ++i)
        if (const double step = std::floor(times[i]) - std::floor(times[i - 1]); step > 0.0)
            steps.push_back(step);
    if (steps.empty())
        return 0;
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return static_cast<int>(std::min(*middle, double{std::numeric_limits<int>::max()}));
}

// Whether an interval row's sample count "DT数" fits an interval of `seconds`: count × the
// sample period within half to five quarters of it (no more samples than the interval holds,
// and not a logger that ran for less than half of it).
// The seconds `count` samples of `samplePeriod` span; a count not given or negative spans none.
double countSpan(float count, double samplePeriod)
{
    return std::isnan(count) || count < 0.0f ? 0.0 : double{count} * samplePeriod;
}

bool countFits(float count, double samplePeriod, double seconds)
{
    const double sampled = countSpan(count, samplePeriod);
    return seconds > 0.0 && sampled >= 0.5 * seconds && sampled <= 1.25 * seconds;
}

// The seconds an interval row of `count` samples sampled, whole, at least 1.
int sampledSeconds(float count, double samplePeriod)
{
    return static_cast<int>(std::clamp(std::round(countSpan(count, samplePeriod)), 1.0, double{std::numeric_limits<int>::max()}));
}

// The index of the part holding `row`: the last one starting at or before it.
std::size_t partIndexOf(const std::vector<RecordSet::Part> &parts, std::size_t row)
{
    assert(!parts.empty() && parts.front().firstRow <= row);
    const auto after = std::upper_bound(parts.begin(), parts.end(), row,
                                        [](std::size_t r, const RecordSet::Part &p) { return r < p.firstRow; });
    return static_cast<std::size_t>(after - parts.begin()) - 1;
}

// The typical step between rows in time order (the median of a sample of them, to the
// microsecond); none for fewer than two rows or no step forward.
std::optional<double> medianStep(const std::vector<double> &times)
{
    if (times.size() < 2)
        return std::nullopt;
    std::vector<double> steps;
    const std::size_t stride = std::max<std::size_t>(1, times.size() / 4096);
    for (std::size_t i = stride; i < times.size(); i += stride)
        steps.push_back(times[i] - times[i - 1]);
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
    // To the microsecond: steps between times near 1.8e9 s carry 1e-7 s of rounding.
    if (steps[steps.size() / 2] <= 0.0)
        return std::nullopt;
    return std::max(1e-6, std::round(steps[steps.size() / 2] * 1e6) / 1e6);
}

// Rows in time order (a clock set back within a file leaves them out of it): the order kept
// for rows of one time.
void sortByTime(RecordTable &table)
{
    const std::vector<double> &times = table.times();
    if (std::is_sorted(times.begin(), times.end()))
        return;
    std::vector<std::size_t> order(times.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
    table.reorder(order);
}

} // namespace

// Builds a set file by file, each file's rows piece by piece in order, each piece joined as
// soon as it comes: a file's piece table is freed once appended, so a set peaks at about its
// own table. Files must come in the order of their first rows.
//
// Continuous and interval files are joined each in a lane of their own, by the same rules (a
// file's first rows the same as those before it kept once, other rows of the same time left
// out); the lanes are merged at the end, where continuous rows win: an interval row whose
// span (stamp − interval, stamp] meets a second that holds continuous rows is left out, also
// when the continuous rows cover only part of it (its figures would count that time twice);
// the rest of its span is then without rows.
class RecordSetBuilder
{
public:
    // `continuousRows`, `intervalRows`: at most that many rows of each mode will come
    // (untouched room costs no memory).
    RecordSetBuilder(std::vector<int> columns, std::size_t continuousRows, std::size_t intervalRows)
    {
        m_set.m_columns = std::move(columns);
        m_lanes[kContinuous].table.reserve(continuousRows, m_set.m_columns);
        if (intervalRows != 0) {
            std::vector<int> slots = m_set.m_columns;
            slots.push_back(recordColumn::kSpan);
            m_lanes[kInterval].table.reserve(intervalRows, slots);
        }
    }

    // `bytesRead`: the file's bytes up to its last line end (0: not to be read on).
    void beginFile(const std::string &path, const RowLayout &layout, std::uint64_t bytesRead = 0)
    {
        m_file = File{};
        m_file.path = path;
        m_file.layout = layout;
        m_file.lane = layout.samplingMode == SamplingMode::Interval ? kInterval : kContinuous;
        m_file.bytesRead = bytesRead;
        m_file.columns = columnsOf(layout);
        m_file.firstRow = m_lanes[m_file.lane].table.rows();
    }

    // The file's next piece, whose first line is line `firstLine` of the file.
    void addRows(RecordRows rows, std::size_t firstLine)
    {
        File &f = m_file;
        Lane &lane = m_lanes[f.lane];
        for (const RecordRows::Problem &p : rows.problems) {
            if (f.problems.size() < kProblemsSaid)
                f.problems.push_back(f.path + ":" + std::to_string(p.line + firstLine - 1) + ": " + p.reason);
            else
                ++f.unsaid;
        }
        f.unsaid += rows.unsaid;
        f.unreadable += rows.unreadable;
        f.rowsSeen += rows.table.rows();
        f.lines = firstLine - 1 + rows.lineCount;
        if (rows.table.rows() == 0)
            return;
        if (f.anyRow)
            readOnAfter(rows.table.mutableTimes(), static_cast<std::int64_t>(f.lastSecond));
        const std::vector<double> &times = rows.table.times();
        const auto [earliest, latest] = std::minmax_element(times.begin(), times.end());
        f.earliest = std::min(f.earliest, std::floor(*earliest));
        f.latest = std::max(f.latest, std::floor(*latest));
        if (f.leftOut)
            return;
        if (f.anyRow && times.front() < f.lastSecond && f.problems.size() < kProblemsSaid)
            f.problems.push_back(f.path + ":" + std::to_string(rows.firstRowLine + firstLine - 1)
                                 + ": the clock goes back from " + rowTimeText(static_cast<std::int64_t>(f.lastSecond))
                                 + " to " + rowTimeText(static_cast<std::int64_t>(times.front()))
                                 + " (the row is kept, in time order)");
        f.anyRow = true;
        f.lastSecond = times.back();
        // A file that starts before what is taken of its mode ends: its rows of those seconds
        // are the same rows (a copy, a file named under two names) and are kept once, or they
        // are another recording, which is never interleaved into one trace: it is left out.
        std::size_t skip = 0;
        const std::vector<double> &taken = lane.table.times();
        if (f.appended == 0 && !taken.empty() && times.front() < std::floor(taken.back()) + 1.0
            && std::is_sorted(taken.begin(), taken.end())) {
            const Overlap overlap = overlapOf(lane.table, rows.table, f.columns);
            if (f.skipped == 0) {
                f.overlapWith = lane.parts[lane.partOf(overlap.firstTaken)].path;
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
        lane.table.append(rows.table, skip);
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
    // Lines of a file read already that are no readable row.
    void addUnreadable(std::size_t lines) { m_file.unreadable += lines; }

    void endFile()
    {
        File &f = m_file;
        using Reason = RecordSet::Source::Reason;
        RecordSet::Source source;
        source.path = f.path;
        source.layout = f.layout;
        source.linesUnreadable = f.unreadable;
        if (f.rowsSeen == 0) {
            // One message for the file (a header that fits none of its rows): the count and the first.
            m_set.m_problems.push_back(f.path + ": no readable row"
                                       + (f.problems.empty() ? ""
                                                             : " (" + std::to_string(f.problems.size() + f.unsaid)
                                                                   + " rows left out; the first: " + f.problems.front() + ")"));
            ++m_set.m_unreadable;
            source.reason = Reason::Unreadable;
            m_set.m_sources.push_back(std::move(source));
            return;
        }
        // Stamps until the intervals are known (finish).
        source.from = f.earliest;
        source.to = f.latest;
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
            source.rowsLeftOut = f.rowsSeen;
            source.leftOut.push_back({Reason::OtherRecording, f.earliest, f.latest, f.rowsSeen, f.overlapWith});
            source.reason = Reason::OtherRecording;
            m_set.m_sources.push_back(std::move(source));
            return;
        }
        if (f.skipped != 0) {
            m_set.m_problems.push_back(f.overlapWith + " and " + f.path + " overlap " + span + ": "
                                       + std::to_string(f.skipped) + " rows kept once");
            source.rowsLeftOut = f.skipped;
            source.leftOut.push_back({Reason::SameRows, static_cast<double>(f.overlapFrom),
                                      static_cast<double>(f.overlapTo), f.skipped, f.overlapWith});
        }
        source.rowsUsed = f.appended;
        if (f.appended == 0) {
            source.reason = Reason::SameRows;
            m_set.m_sources.push_back(std::move(source));
            return;
        }
        Lane &lane = m_lanes[f.lane];
        std::vector<double> &times = lane.table.mutableTimes();
        spreadWithinSeconds(times, f.firstRow, times.size());
        const auto [early, late] = std::minmax_element(times.begin() + static_cast<std::ptrdiff_t>(f.firstRow), times.end());
        // A last line cut short is read again when the file is read on.
        const std::size_t linesRead = f.bytesRead == 0 ? 0 : f.lines - (f.cutShort ? 1 : 0);
        RecordSet::Part part;
        part.path = f.path;
        part.layout = f.layout;
        part.firstRow = f.firstRow;
        part.rows = f.appended;
        part.firstTime = *early;
        part.lastTime = *late;
        part.skipped = f.skipped;
        part.fileRow = f.skipped;
        part.source = m_set.m_sources.size();
        part.bytesRead = f.bytesRead;
        part.linesRead = linesRead;
        if (f.lane == kInterval) {
            part.intervalSeconds = intervalOfRows(times, f.firstRow, times.size());
            // Added once its rows are known to be used (continuous rows win).
            lane.stats.push_back(f.stats);
        } else {
            for (std::size_t s = 0; s < f.stats.size(); ++s)
                m_set.m_stats[s].add(f.stats[s]);
        }
        lane.parts.push_back(std::move(part));
        m_set.m_sources.push_back(std::move(source));
    }

    // A file that could not be read at all.
    void failed(const RecordFile &file)
    {
        m_set.m_problems.insert(m_set.m_problems.end(), file.problems.begin(), file.problems.end());
        m_set.m_problems.push_back(file.error);
        ++m_set.m_unreadable;
        RecordSet::Source source;
        source.path = file.path;
        source.layout = file.layout;
        source.linesUnreadable = file.unreadableLines;
        source.reason = RecordSet::Source::Reason::Unreadable;
        m_set.m_sources.push_back(std::move(source));
    }

    RecordSet finish()
    {
        Lane &continuous = m_lanes[kContinuous], &interval = m_lanes[kInterval];
        sortByTime(continuous.table);
        // Each interval row's span, from its file's interval; then in time order.
        m_set.m_continuousPeriod = medianStep(continuous.table.times()).value_or(RecordSet::kControllerSamplePeriod);
        inferIntervals(m_set.m_continuousPeriod);
        // Each interval file's interval, those whose rows continuous rows all cover too.
        std::vector<int> intervals(m_set.m_sources.size(), 0);
        for (const RecordSet::Part &part : interval.parts)
            intervals[part.source] = part.intervalSeconds;
        sortByTime(interval.table);
        if (interval.table.rows() == 0) {
            m_set.m_table = std::move(continuous.table);
            m_set.m_parts = std::move(continuous.parts);
        } else if (continuous.table.rows() == 0) {
            addIntervalStats(std::vector<bool>(interval.table.rows(), true));
            m_set.m_table = std::move(interval.table);
            m_set.m_parts = std::move(interval.parts);
        } else {
            merge();
        }
        // The time each file's rows cover, now that the intervals are known.
        for (std::size_t i = 0; i < m_set.m_sources.size(); ++i) {
            RecordSet::Source &source = m_set.m_sources[i];
            source.intervalSeconds = intervals[i];
            if (source.reason == RecordSet::Source::Reason::Unreadable)
                continue;
            const auto covered = [&](double &from, double &to) {
                if (source.layout.samplingMode == SamplingMode::Interval)
                    from -= intervals[i];
                else
                    to = std::floor(to) + 1.0;
            };
            covered(source.from, source.to);
            for (RecordSet::Source::LeftOut &range : source.leftOut)
                if (range.reason != RecordSet::Source::Reason::ContinuousRows)
                    covered(range.from, range.to);
            std::stable_sort(source.leftOut.begin(), source.leftOut.end(),
                             [](const auto &a, const auto &b) { return a.from < b.from; });
        }
        if (const std::optional<double> step = medianStep(m_set.m_table.times()))
            m_set.m_samplePeriod = *step;
        return std::move(m_set);
    }

private:
    static constexpr std::size_t kProblemsSaid = 10; // rows left out named one by one per file; the rest counted
    static constexpr std::size_t kContinuous = 0, kInterval = 1;

    // The rows of one mode joined so far, their files' parts, and (interval files) each
    // part's figures, added once its rows are known to be used.
    struct Lane {
        RecordTable table;
        std::vector<RecordSet::Part> parts;
        std::vector<std::array<ColumnStats, recordColumn::kSlots>> stats;

        std::size_t partOf(std::size_t row) const { return partIndexOf(parts, row); }
    };

    struct File {
        std::string path;
        RowLayout layout;
        std::size_t lane = kContinuous;
        std::vector<int> columns;
        std::size_t firstRow = 0, appended = 0, skipped = 0, rowsSeen = 0, unsaid = 0, unreadable = 0, lines = 0;
        std::uint64_t bytesRead = 0;
        bool cutShort = false;
        std::vector<std::string> problems;
        std::array<ColumnStats, recordColumn::kSlots> stats;
        bool anyRow = false, leftOut = false;
        double lastSecond = 0.0;
        double earliest = std::numeric_limits<double>::infinity(), latest = -std::numeric_limits<double>::infinity();
        std::string overlapWith;
        std::int64_t overlapFrom = 0, overlapTo = 0;
    };

    // Every interval part's interval, and its rows' spans. A file of one row (or of rows of one
    // second) has no step to tell it: it takes the interval of the nearest file that has one,
    // else the step to the interval row before or after it (files of an hour's interval hold
    // one row each), the first of these that its sample count "DT数" fits (count × the sample
    // period within half to five quarters of it: no more samples than the interval holds, and
    // not a logger that ran for less than half of it: countFits); else, no such interval, its
    // count × the sample period in whole seconds, at least 1: the time it sampled.
    // `samplePeriod`: the continuous rows' typical step, else the controller's.
    void inferIntervals(double samplePeriod)
    {
        Lane &lane = m_lanes[kInterval];
        std::vector<RecordSet::Part> &parts = lane.parts;
        const std::vector<double> &times = lane.table.times();
        const std::size_t none = parts.size();
        // The nearest part before and after each that has an interval of its own.
        std::vector<std::size_t> before(parts.size(), none), after(parts.size(), none);
        for (std::size_t i = 1; i < parts.size(); ++i)
            before[i] = parts[i - 1].intervalSeconds > 0 ? i - 1 : before[i - 1];
        for (std::size_t i = parts.size(); i-- > 1;)
            after[i - 1] = parts[i].intervalSeconds > 0 ? i : after[i];
        std::vector<int> fallback(parts.size(), 0);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const RecordSet::Part &part = parts[i];
            if (part.intervalSeconds > 0)
                continue;
            const float count = lane.table.value(recordColumn::kCount, part.firstRow);
            const auto fits = [&](double seconds) { return countFits(count, samplePeriod, seconds); };
            std::vector<std::pair<double, double>> candidates; // distance, seconds
            if (before[i] != none)
                candidates.emplace_back(part.firstTime - parts[before[i]].lastTime, parts[before[i]].intervalSeconds);
            if (after[i] != none)
                candidates.emplace_back(parts[after[i]].firstTime - part.lastTime, parts[after[i]].intervalSeconds);
            std::sort(candidates.begin(), candidates.end());
            std::vector<double> steps;
            if (part.firstRow > 0)
                steps.push_back(std::floor(times[part.firstRow]) - std::floor(times[part.firstRow - 1]));
            if (part.firstRow + part.rows < times.size())
                steps.push_back(std::floor(times[part.firstRow + part.rows]) - std::floor(times[part.firstRow + part.rows - 1]));
            std::sort(steps.begin(), steps.end());
            std::vector<double> tries;
            for (const auto &candidate : candidates)
                tries.push_back(candidate.second);
            tries.insert(tries.end(), steps.begin(), steps.end());
            const auto fitting = std::find_if(tries.begin(), tries.end(), fits);
            fallback[i] = fitting != tries.end() ? static_cast<int>(*fitting) : sampledSeconds(count, samplePeriod);
        }
        std::vector<float> &spans = lane.table.mutableColumn(recordColumn::kSpan);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].intervalSeconds == 0)
                parts[i].intervalSeconds = fallback[i];
            std::fill_n(spans.begin() + static_cast<std::ptrdiff_t>(parts[i].firstRow), parts[i].rows,
                        static_cast<float>(parts[i].intervalSeconds));
        }
    }

    // The figures of the interval rows used: a file's as read when all its rows are, else
    // those of its rows used, from the table.
    void addIntervalStats(const std::vector<bool> &used)
    {
        const Lane &lane = m_lanes[kInterval];
        for (std::size_t i = 0; i < lane.parts.size(); ++i) {
            const RecordSet::Part &part = lane.parts[i];
            const auto first = used.begin() + static_cast<std::ptrdiff_t>(part.firstRow);
            if (std::all_of(first, first + static_cast<std::ptrdiff_t>(part.rows), [](bool u) { return u; })) {
                for (std::size_t s = 0; s < lane.stats[i].size(); ++s)
                    m_set.m_stats[s].add(lane.stats[i][s]);
                continue;
            }
            for (int column : columnsOf(part.layout))
                for (std::size_t row = part.firstRow; row < part.firstRow + part.rows; ++row)
                    if (const float v = lane.table.value(column, row); used[row] && !std::isnan(v))
                        m_set.m_stats[static_cast<std::size_t>(column)].add(v);
        }
    }

    // Both lanes, in time order, into the set's table: every continuous row, and the interval
    // rows whose span holds no continuous row's second; each run of a file's rows a part.
    void merge()
    {
        using Reason = RecordSet::Source::Reason;
        Lane &continuous = m_lanes[kContinuous], &interval = m_lanes[kInterval];
        const RecordTable &taken = continuous.table;
        const std::vector<double> &times = interval.table.times();
        std::vector<bool> used(times.size(), true);
        std::vector<std::size_t> kept;
        kept.reserve(times.size());
        for (std::size_t row = 0; row < times.size(); ++row) {
            const double stamp = std::floor(times[row]);
            const std::size_t at = taken.lowerBound(stamp - interval.table.span(row));
            used[row] = at == taken.rows() || taken.times()[at] >= stamp;
            if (used[row])
                kept.push_back(row);
        }
        // What each file lost, in runs of its rows.
        for (std::size_t i = 0; i < interval.parts.size(); ++i) {
            const RecordSet::Part &part = interval.parts[i];
            RecordSet::Source &source = m_set.m_sources[part.source];
            std::size_t lost = 0;
            for (std::size_t row = part.firstRow; row < part.firstRow + part.rows;) {
                if (used[row]) {
                    ++row;
                    continue;
                }
                std::size_t end = row;
                while (end < part.firstRow + part.rows && !used[end])
                    ++end;
                const double from = std::floor(times[row]) - interval.table.span(row);
                const std::string &by = continuous.parts[continuous.partOf(taken.lowerBound(from))].path;
                source.leftOut.push_back({Reason::ContinuousRows, from, std::floor(times[end - 1]), end - row, by});
                lost += end - row;
                row = end;
            }
            if (lost == 0)
                continue;
            source.rowsUsed -= lost;
            source.rowsLeftOut += lost;
            if (source.rowsUsed == 0)
                source.reason = Reason::ContinuousRows;
            const auto first = std::find_if(source.leftOut.begin(), source.leftOut.end(),
                                            [](const auto &l) { return l.reason == Reason::ContinuousRows; });
            m_set.m_problems.push_back(part.path + ": " + std::to_string(lost) + " interval rows left out, continuous rows of "
                                       + first->by + " cover their time ("
                                       + rowTimeText(static_cast<std::int64_t>(first->from)) + "–"
                                       + rowTimeText(static_cast<std::int64_t>(source.leftOut.back().to)) + ")");
        }
        addIntervalStats(used);

        // The merged order: interval rows before continuous rows of the same time (their
        // span ends there).
        const std::size_t continuousRows = taken.rows();
        std::vector<std::size_t> order;
        order.reserve(continuousRows + kept.size());
        for (std::size_t c = 0, k = 0; c < continuousRows || k < kept.size();) {
            if (k < kept.size() && (c == continuousRows || times[kept[k]] <= taken.times()[c]))
                order.push_back(continuousRows + k++);
            else
                order.push_back(c++);
        }
        // Runs of consecutive rows of one part of a lane.
        std::vector<RecordSet::Part> parts;
        std::vector<bool> firstRun(m_set.m_sources.size(), true);
        std::size_t lastLane = 2, lastPart = 0, lastRow = 0;
        for (std::size_t at = 0; at < order.size(); ++at) {
            const bool isContinuous = order[at] < continuousRows;
            const std::size_t laneIndex = isContinuous ? kContinuous : kInterval;
            const std::size_t row = isContinuous ? order[at] : kept[order[at] - continuousRows];
            const Lane &lane = m_lanes[laneIndex];
            const std::size_t partIndex = lane.partOf(row);
            const double time = lane.table.times()[row];
            if (laneIndex != lastLane || partIndex != lastPart || row != lastRow + 1) {
                RecordSet::Part part = lane.parts[partIndex];
                part.fileRow += row - part.firstRow;
                part.firstRow = at;
                part.rows = 0;
                part.firstTime = part.lastTime = time;
                if (!firstRun[part.source])
                    part.skipped = 0;
                firstRun[part.source] = false;
                parts.push_back(std::move(part));
            }
            RecordSet::Part &part = parts.back();
            ++part.rows;
            part.firstTime = std::min(part.firstTime, time);
            part.lastTime = std::max(part.lastTime, time);
            lastLane = laneIndex;
            lastPart = partIndex;
            lastRow = row;
        }
        interval.table.reorder(kept);
        continuous.table.append(interval.table);
        continuous.table.reorder(order);
        m_set.m_table = std::move(continuous.table);
        m_set.m_parts = std::move(parts);
    }

    RecordSet m_set;
    std::array<Lane, 2> m_lanes;
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
    std::size_t continuousBound = 0, intervalBound = 0;
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
        (files[i].layout.samplingMode == SamplingMode::Interval ? intervalBound : continuousBound) += files[i].rowsBound;
        for (const Input::Piece &range : files[i].pieces) {
            pieces.push_back({i, range});
            totalBytes += range.length;
        }
    }
    RecordSetBuilder builder(columns, continuousBound, intervalBound);

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
    std::size_t continuousRows = 0, intervalRows = 0;
    for (const RecordFile &f : files) {
        (f.layout.samplingMode == SamplingMode::Interval ? intervalRows : continuousRows) += f.table.rows();
        if (f.readable())
            for (int column : columnsOf(f.layout))
                if (std::find(columns.begin(), columns.end(), column) == columns.end())
                    columns.push_back(column);
    }
    RecordSetBuilder builder(columns, continuousRows, intervalRows);
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
        builder.addUnreadable(f.unreadableLines);
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
    // Interval rows from `stamp` on, of `span`, meet continuous rows already taken: only
    // reading everything anew leaves them out as the load does.
    const auto meetsContinuous = [&](double stamp, double span) {
        for (std::size_t row = m_table.lowerBound(stamp - span); row < m_table.rows(); ++row)
            if (m_table.span(row) == 0.0 && times[row] < stamp)
                return true;
        return false;
    };
    const auto setSpans = [&](std::size_t from, int seconds) {
        std::vector<float> &spans = m_table.mutableColumn(recordColumn::kSpan);
        std::fill(spans.begin() + static_cast<std::ptrdiff_t>(from), spans.end(), static_cast<float>(seconds));
    };
    const auto rowsCover = [](const Source &source, double lastStamp) {
        return source.layout.samplingMode == SamplingMode::Interval ? lastStamp : lastStamp + 1.0;
    };
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
            RecordRows rows = readRows(last.layout, bytes, false, static_cast<std::int64_t>(std::floor(times.back())));
            if (rows.table.rows() != 0
                && (!fitsAfter(rows.table.times().front())
                    || (last.intervalSeconds > 0 && meetsContinuous(rows.table.times().front(), last.intervalSeconds))))
                return Growth::Reload;
            for (const RecordRows::Problem &p : rows.problems)
                m_problems.push_back(last.path + ":" + std::to_string(last.linesRead + p.line) + ": " + p.reason);
            Source &source = m_sources[last.source];
            source.linesUnreadable += rows.unreadable;
            if (rows.table.rows() != 0) {
                // The last second may get more rows: spread anew from its first.
                const std::size_t from = m_table.lowerBound(std::floor(times.back()));
                const std::size_t firstNew = m_table.rows();
                m_table.append(rows.table);
                if (last.intervalSeconds > 0)
                    setSpans(firstNew, last.intervalSeconds);
                spreadWithinSeconds(times, std::max(from, last.firstRow), times.size());
                last.rows += rows.table.rows();
                last.lastTime = times.back();
                source.rowsUsed += rows.table.rows();
                source.to = rowsCover(source, std::floor(times.back()));
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
                Source source;
                source.path = path;
                source.reason = Source::Reason::Unreadable;
                m_sources.push_back(std::move(source));
                continue;
            }
            if (!file.readable())
                continue; // a header alone so far
            const std::vector<double> &fileTimes = file.table.times();
            if (!fitsAfter(std::floor(fileTimes.front())))
                return Growth::Reload;
            Part part;
            part.path = path;
            part.layout = file.layout;
            part.firstRow = m_table.rows();
            part.rows = file.table.rows();
            part.firstTime = fileTimes.front();
            part.lastTime = fileTimes.back();
            part.source = m_sources.size();
            part.bytesRead = bytes.size();
            part.linesRead = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
            if (file.layout.samplingMode == SamplingMode::Interval) {
                // A file of one row: the interval of the interval file before it where its
                // count fits, else the time it sampled (see RecordSetBuilder::inferIntervals).
                part.intervalSeconds = intervalOfRows(fileTimes, 0, fileTimes.size());
                if (part.intervalSeconds == 0) {
                    const auto before = std::find_if(m_parts.rbegin(), m_parts.rend(), [](const Part &p) { return p.intervalSeconds > 0; });
                    const float count = file.table.value(recordColumn::kCount, 0);
                    part.intervalSeconds = before != m_parts.rend() && countFits(count, m_continuousPeriod, before->intervalSeconds)
                        ? before->intervalSeconds
                        : sampledSeconds(count, m_continuousPeriod);
                }
                if (meetsContinuous(std::floor(fileTimes.front()), part.intervalSeconds))
                    return Growth::Reload;
            }
            m_problems.insert(m_problems.end(), file.problems.begin(), file.problems.end());
            m_table.append(file.table);
            if (part.intervalSeconds > 0)
                setSpans(part.firstRow, part.intervalSeconds);
            Source source;
            source.path = path;
            source.layout = file.layout;
            source.rowsUsed = part.rows;
            source.linesUnreadable = file.unreadableLines;
            source.intervalSeconds = part.intervalSeconds;
            source.from = std::floor(fileTimes.front()) - part.intervalSeconds;
            source.to = rowsCover(source, std::floor(fileTimes.back()));
            m_sources.push_back(std::move(source));
            m_parts.push_back(std::move(part));
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

std::vector<RecordSet::Source> RecordSet::sourcesBetween(double from, double to) const
{
    std::vector<Source> sources;
    for (const Source &source : m_sources)
        if (source.reason == Source::Reason::Unreadable || (source.from < to && source.to > from))
            sources.push_back(source);
    return sources;
}

std::vector<int> RecordSet::tableColumns() const
{
    std::vector<int> columns = m_columns;
    if (m_table.has(recordColumn::kSpan))
        columns.push_back(recordColumn::kSpan);
    return columns;
}

std::string RecordSet::reasonText(Source::Reason reason)
{
    static constexpr const char *kTexts[] = {
        "used",
        "no readable row",
        "the same rows as another file: kept once",
        "other rows of the same time (two recordings at once, or a clock set back)",
        "continuous rows of the same time are used",
    };
    static_assert(std::size(kTexts) == static_cast<std::size_t>(Source::Reason::ContinuousRows) + 1, "a text for each reason");
    return kTexts[static_cast<std::size_t>(reason)];
}

const RecordSet::Part &RecordSet::partOf(std::size_t row) const
{
    return m_parts[partIndexOf(m_parts, row)];
}

} // namespace svglogger
