#pragma once

#include "reading/RecordColumns.h"

#include <array>
#include <cstddef>
#include <vector>

namespace svglogger {

// Rows of recorded files as columns: one time column (seconds of the local clock, rows that
// share a second spread evenly over it in file order) and a float column per column slot the
// files hold; a slot a file lacks reads NaN for its rows. About 4 bytes a value.
class RecordTable
{
public:
    std::size_t rows() const { return m_times.size(); }
    const std::vector<double> &times() const { return m_times; }
    bool has(int slot) const { return !m_columns[static_cast<std::size_t>(slot)].empty(); }
    // The column of `slot`: empty when no row has it.
    const std::vector<float> &column(int slot) const { return m_columns[static_cast<std::size_t>(slot)]; }
    float value(int slot, std::size_t row) const;

    // A row: its time and a value for each of `slots` (the rest read NaN).
    void append(double time, const std::vector<int> &slots, const float *values);
    // The rows of `other` from its row `from` on, after these.
    void append(const RecordTable &other, std::size_t from = 0);
    void reserve(std::size_t rows);
    // Room for `rows` rows in the time column and in each of `slots`: joined files take no more.
    void reserve(std::size_t rows, const std::vector<int> &slots);
    // Rows in the order of `order` (a permutation of the rows).
    void reorder(const std::vector<std::size_t> &order);
    std::vector<double> &mutableTimes() { return m_times; }

    // The first row at or after `time`, rows() when none.
    std::size_t lowerBound(double time) const;
    // The last row at or before `time`; none (rows()) when every row is later.
    std::size_t atOrBefore(double time) const;

private:
    std::vector<float> &columnFor(int slot);

    std::vector<double> m_times;
    std::array<std::vector<float>, recordColumn::kSlots> m_columns;
};

} // namespace svglogger
