#include "reading/RecordSet.h"

#include "reading/MappedFile.h"
#include "reading/RecordTime.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <thread>

namespace svglogger {

namespace {

// "Tarmin<day>D<hour>H<minute>M<second>[G][-n].csv"
bool isLogFileName(const std::string &name)
{
    std::string_view n = name;
    if (!n.starts_with("Tarmin") || !n.ends_with(".csv"))
        return false;
    n = n.substr(6, n.size() - 10);
    for (char mark : {'D', 'H', 'M'}) {
        std::size_t digits = 0;
        while (digits < n.size() && n[digits] >= '0' && n[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 2 || digits >= n.size() || n[digits] != mark)
            return false;
        n = n.substr(digits + 1);
    }
    std::size_t digits = 0;
    while (digits < n.size() && n[digits] >= '0' && n[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 2)
        return false;
    n = n.substr(digits);
    if (n.starts_with("G"))
        n = n.substr(1);
    if (n.empty())
        return true;
    if (!n.starts_with("-") || n.size() < 2)
        return false;
    return std::all_of(n.begin() + 1, n.end(), [](char c) { return c >= '0' && c <= '9'; });
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

RecordSet RecordSet::load(const std::vector<std::string> &inputs,
                          const std::function<void(std::size_t, std::size_t)> &progress,
                          const std::atomic<bool> *cancel)
{
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
    // A file named twice (by two paths, or again inside a folder named) is read once.
    {
        std::vector<std::string> unique;
        std::vector<std::filesystem::path> seen;
        for (const std::string &path : paths) {
            std::error_code error;
            std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
            if (error)
                canonical = path;
            if (std::find(seen.begin(), seen.end(), canonical) != seen.end())
                continue;
            seen.push_back(std::move(canonical));
            unique.push_back(path);
        }
        paths = std::move(unique);
    }
    std::vector<RecordFile> files(paths.size());
    std::atomic<std::size_t> next{0}, done{0};
    std::mutex progressLock;
    auto work = [&] {
        for (std::size_t i = next++; i < paths.size(); i = next++) {
            if (cancel && *cancel)
                return;
            const MappedFile mapped(paths[i]);
            if (!mapped.ok()) {
                files[i].path = paths[i];
                files[i].error = paths[i] + ": " + mapped.error();
            } else {
                files[i] = readRecord(paths[i], mapped.bytes());
            }
            const std::size_t count = ++done;
            if (progress) {
                const std::lock_guard lock(progressLock);
                progress(count, paths.size());
            }
        }
    };
    const unsigned workers = std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(),
                                                             static_cast<unsigned>(paths.size())));
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    for (std::thread &t : threads)
        t.join();
    files.erase(std::remove_if(files.begin(), files.end(), [](const RecordFile &f) { return f.path.empty(); }),
                files.end()); // cancelled before being read
    for (RecordFile &f : failed)
        files.push_back(std::move(f));
    return join(std::move(files));
}

RecordSet RecordSet::join(std::vector<RecordFile> files)
{
    RecordSet set;
    // Readable files by the time of their first row; the unreadable ones named in input order.
    std::stable_sort(files.begin(), files.end(), [](const RecordFile &a, const RecordFile &b) {
        if (a.readable() != b.readable())
            return a.readable();
        return a.readable() && a.table.times().front() < b.table.times().front();
    });
    std::size_t rows = 0;
    for (const RecordFile &f : files) {
        rows += f.table.rows();
        if (f.readable())
            for (int column : columnsOf(f.layout))
                if (std::find(set.m_columns.begin(), set.m_columns.end(), column) == set.m_columns.end())
                    set.m_columns.push_back(column);
    }
    set.m_table.reserve(rows, set.m_columns);
    for (RecordFile &f : files) {
        set.m_problems.insert(set.m_problems.end(), f.problems.begin(), f.problems.end());
        if (!f.readable()) {
            set.m_problems.push_back(f.error);
            ++set.m_unreadable;
            continue;
        }
        // A file that starts before what is taken ends: its rows of those seconds are the
        // same rows (a copy, a file named under two names) and are kept once, or they are
        // another recording, which is never interleaved into one trace: it is left out.
        std::size_t skip = 0;
        const std::vector<double> &taken = set.m_table.times();
        if (!taken.empty() && f.table.times().front() < std::floor(taken.back()) + 1.0
            && std::is_sorted(taken.begin(), taken.end())) {
            const Overlap overlap = overlapOf(set.m_table, f.table, columnsOf(f.layout));
            const std::string other = set.partOf(overlap.firstTaken).path;
            const std::string span = rowTimeText(overlap.from) + "–" + rowTimeText(overlap.to);
            if (!overlap.same) {
                set.m_problems.push_back(f.path + ": overlaps " + other + " " + span
                                         + " with other rows (two recordings at once, or a clock set back): left "
                                           "out; open it alone to see it");
                ++set.m_unreadable;
                continue;
            }
            skip = overlap.rows;
            set.m_problems.push_back(other + " and " + f.path + " overlap " + span + ": " + std::to_string(skip)
                                     + " rows kept once");
            if (skip == f.table.rows())
                continue;
        }
        const auto [early, late] = std::minmax_element(f.table.times().begin() + static_cast<std::ptrdiff_t>(skip),
                                                       f.table.times().end());
        set.m_parts.push_back({f.path, f.layout, set.m_table.rows(), f.table.rows() - skip, *early, *late, skip});
        set.m_table.append(f.table, skip);
        for (std::size_t s = 0; s < f.stats.size(); ++s)
            set.m_stats[s].add(f.stats[s]);
        f.table = RecordTable(); // its memory goes as soon as it is joined
    }
    // Files that overlap in time (two runs at once, a clock set back): rows in time order.
    const std::vector<double> &times = set.m_table.times();
    if (!std::is_sorted(times.begin(), times.end())) {
        std::vector<std::size_t> order(times.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
        set.m_table.reorder(order);
    }
    // The median step between rows.
    if (times.size() >= 2) {
        std::vector<double> steps;
        const std::size_t stride = std::max<std::size_t>(1, times.size() / 4096);
        for (std::size_t i = stride; i < times.size(); i += stride)
            steps.push_back(times[i] - times[i - 1]);
        std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
        if (steps[steps.size() / 2] > 0.0)
            set.m_samplePeriod = steps[steps.size() / 2];
    }
    return set;
}

const RecordSet::Part &RecordSet::partOf(std::size_t row) const
{
    const auto after = std::upper_bound(m_parts.begin(), m_parts.end(), row,
                                        [](std::size_t r, const Part &p) { return r < p.firstRow; });
    return *(after - 1);
}

} // namespace svglogger
