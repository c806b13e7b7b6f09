#include "reading/RecordTable.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace svglogger {

namespace {
constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();
}

float RecordTable::value(int slot, std::size_t row) const
{
    const std::vector<float> &c = column(slot);
    return row < c.size() ? c[row] : kMissing;
}

bool rowWithin(double time, double span, double from, double before)
{
    if (span > 0.0)
        return time - span >= from && time <= before;
    return time >= from && time < before;
}

double RecordTable::span(std::size_t row) const
{
    const float span = value(recordColumn::kSpan, row);
    return std::isnan(span) ? 0.0 : double{span};
}

bool RecordTable::anyWithin(double from, double before) const
{
    // Only a row stamped in [from, before] can lie within; of those, only the first ones (an
    // interval reaching back before `from`) and a continuous row at `before` do not.
    for (std::size_t row = lowerBound(from); row < rows() && m_times[row] <= before; ++row)
        if (within(row, from, before))
            return true;
    return false;
}

double RecordTable::blockTime(std::size_t row) const
{
    // Half a second before the stamp's second: within the span (at least a second) whichever
    // way two rows of one second were spread over it.
    return span(row) > 0.0 ? std::floor(m_times[row]) - 0.5 : m_times[row];
}

std::vector<float> &RecordTable::columnFor(int slot)
{
    std::vector<float> &c = m_columns[static_cast<std::size_t>(slot)];
    if (c.size() < m_times.size())
        c.resize(m_times.size(), kMissing);
    return c;
}

void RecordTable::reserve(std::size_t rows)
{
    m_times.reserve(rows);
}

void RecordTable::reserve(std::size_t rows, const std::vector<int> &slots)
{
    m_times.reserve(rows);
    for (int slot : slots)
        m_columns[static_cast<std::size_t>(slot)].reserve(rows);
}

void RecordTable::append(double time, const std::vector<int> &slots, const float *values)
{
    for (std::size_t i = 0; i < slots.size(); ++i) {
        std::vector<float> &c = columnFor(slots[i]);
        c.push_back(values[i]);
    }
    m_times.push_back(time);
    for (std::vector<float> &c : m_columns)
        if (!c.empty() && c.size() < m_times.size())
            c.push_back(kMissing);
}

void RecordTable::append(const RecordTable &other, std::size_t from)
{
    from = std::min(from, other.m_times.size());
    const auto skip = static_cast<std::ptrdiff_t>(from);
    const std::size_t before = m_times.size();
    m_times.insert(m_times.end(), other.m_times.begin() + skip, other.m_times.end());
    for (std::size_t s = 0; s < m_columns.size(); ++s) {
        std::vector<float> &c = m_columns[s];
        const std::vector<float> &o = other.m_columns[s];
        if (c.empty() && o.empty())
            continue;
        c.resize(before, kMissing);
        if (o.empty())
            c.resize(m_times.size(), kMissing);
        else
            c.insert(c.end(), o.begin() + skip, o.end());
    }
}

void RecordTable::reorder(const std::vector<std::size_t> &order)
{
    std::vector<double> times(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        times[i] = m_times[order[i]];
    m_times = std::move(times);
    for (std::vector<float> &c : m_columns) {
        if (c.empty())
            continue;
        std::vector<float> moved(order.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            moved[i] = c[order[i]];
        c = std::move(moved);
    }
}

std::size_t RecordTable::lowerBound(double time) const
{
    return static_cast<std::size_t>(std::lower_bound(m_times.begin(), m_times.end(), time) - m_times.begin());
}

std::size_t RecordTable::atOrBefore(double time) const
{
    const auto after = std::upper_bound(m_times.begin(), m_times.end(), time);
    return after == m_times.begin() ? rows() : static_cast<std::size_t>(after - m_times.begin()) - 1;
}

} // namespace svglogger
