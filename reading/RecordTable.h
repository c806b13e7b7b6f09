#pragma once

#include "reading/RecordColumns.h"

#include <array>
#include <cstddef>
#include <vector>

namespace svglogger {

// Whether a row at `time` standing for `span` seconds (0: a continuous row) lies in
// [from, before): a continuous row when its time does; an interval row when its whole span
// (time − span, time] does, its end at `before` included.
bool rowWithin(double time, double span, double from, double before);

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
    // The rows `order` names, in its order (a permutation of the rows, or some of them once each).
    void reorder(const std::vector<std::size_t> &order);
    std::vector<double> &mutableTimes() { return m_times; }
    // The column of `slot`, made (NaN in every row) when no row has it.
    std::vector<float> &mutableColumn(int slot) { return columnFor(slot); }

    // The seconds row `row` stands for, ending at its time: an interval row's interval (the
    // span), 0 for a continuous row (an instant).
    double span(std::size_t row) const;
    // Whether row `row` lies in [from, before): see rowWithin.
    bool within(std::size_t row, double from, double before) const { return rowWithin(m_times[row], span(row), from, before); }
    // Whether any row lies in [from, before) by that rule (an interval row's stamp in it is not
    // enough: its whole span must be).
    bool anyWithin(double from, double before) const;
    // The time by which the row is placed in a block of the clock (an hour, a day): a
    // continuous row's own; an interval row's just before its stamp, so that a row of
    // (0:59, 1:00] is the hour before 1:00's.
    double blockTime(std::size_t row) const;

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
