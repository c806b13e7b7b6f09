#pragma once

#include "reading/RecordColumns.h"
#include "reading/RecordSet.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace svglogger::test {

// A run of rows as one of the logger's files holds it, for a version-2 controller: continuous
// rows, second s holding perSecond[s % size] of them spread over it (5: five a second; {5, 5,
// 5, 5, 4}: 4.8; {5, 5, 4}: 4.67), or with `span` interval rows of that many seconds, each
// stamped at its interval's end and holding the mean, maximum and minimum of the samples five
// a second within it (what the recorder writes of the same signal); the status word, no
// quantity, as its last sample has it.
struct RowRun {
    double from = 0.0, to = 0.0; // seconds of the local clock: rows in [from, to), interval ends in (from, to]
    std::vector<int> perSecond{5};
    double span = 0.0;
};

// The value of each of `slots` (value columns) at time t, into `values`.
using Signal = std::function<void(double t, float *values)>;

inline RecordFile fileOfRun(const RowRun &run, const std::vector<int> &slots, const Signal &signal)
{
    RecordFile file;
    file.path = (run.span > 0.0 ? "i" : "c") + std::to_string(static_cast<long long>(run.from)) + ".csv";
    file.layout = {run.span > 0.0 ? SamplingMode::Interval : SamplingMode::Continuous, ControllerVersion::Version2};
    std::vector<float> values(slots.size());
    if (run.span <= 0.0) {
        for (double second = std::floor(run.from); second < run.to; ++second) {
            const int n = run.perSecond[static_cast<std::size_t>(second) % run.perSecond.size()];
            for (int k = 0; k < n; ++k) {
                signal(second + static_cast<double>(k) / n, values.data());
                file.table.append(second + static_cast<double>(k) / n, slots, values.data());
            }
        }
        return file;
    }
    const auto quantity = [](int slot) { return slot < recordColumn::kCount; };
    std::vector<int> columns = slots;
    std::vector<std::size_t> extremes; // the slots' places with a maximum and minimum column
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (quantity(slots[i])) {
            extremes.push_back(i);
            columns.push_back(recordColumn::kMax + slots[i]);
            columns.push_back(recordColumn::kMin + slots[i]);
        }
    columns.push_back(recordColumn::kSpan);
    std::vector<float> row(columns.size());
    const int samples = static_cast<int>(std::lround(run.span * 5.0));
    for (double end = run.from + run.span; end <= run.to + 1e-9; end += run.span) {
        std::vector<double> sums(slots.size(), 0.0), highs(slots.size(), -INFINITY), lows(slots.size(), INFINITY);
        for (int k = 0; k < samples; ++k) {
            signal(end - run.span + k * 0.2, values.data());
            for (std::size_t i = 0; i < slots.size(); ++i) {
                sums[i] += values[i];
                highs[i] = std::max<double>(highs[i], values[i]);
                lows[i] = std::min<double>(lows[i], values[i]);
            }
        }
        for (std::size_t i = 0; i < slots.size(); ++i)
            row[i] = quantity(slots[i]) ? static_cast<float>(sums[i] / samples) : values[i];
        for (std::size_t e = 0; e < extremes.size(); ++e) {
            row[slots.size() + 2 * e] = static_cast<float>(highs[extremes[e]]);
            row[slots.size() + 2 * e + 1] = static_cast<float>(lows[extremes[e]]);
        }
        row.back() = static_cast<float>(run.span);
        file.table.append(end, columns, row.data());
    }
    return file;
}

// The runs as files of one set, as if read from a folder.
inline RecordSet setOfRuns(const std::vector<RowRun> &runs, const std::vector<int> &slots, const Signal &signal)
{
    std::vector<RecordFile> files;
    for (const RowRun &run : runs)
        files.push_back(fileOfRun(run, slots, signal));
    return RecordSet::join(std::move(files));
}

} // namespace svglogger::test
