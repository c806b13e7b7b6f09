#include "reading/RecordSet.h"

#include "reading/MappedFile.h"

#include <algorithm>
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
        const auto [early, late] = std::minmax_element(f.table.times().begin(), f.table.times().end());
        set.m_parts.push_back({f.path, f.layout, set.m_table.rows(), f.table.rows(), *early, *late});
        set.m_table.append(f.table);
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
