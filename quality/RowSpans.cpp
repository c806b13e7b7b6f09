#include "quality/RowSpans.h"

#include "reading/RecordColumns.h"

#include <algorithm>
#include <cassert>

namespace svglogger {

RowSpans::RowSpans(const RecordTable &table, double samplePeriod, double gapSeconds)
    : m_table(&table)
    , m_spans(&table.column(recordColumn::kSpan))
    , m_samplePeriod(samplePeriod)
    , m_gapSeconds(gapSeconds)
{
    assert(samplePeriod > 0.0 && gapSeconds > 0.0);
}

double RowSpans::ownEnd(std::size_t row) const
{
    const std::vector<double> &times = m_table->times();
    const double time = times[row];
    if (isInterval(row))
        return time;
    if (row + 1 < times.size() && !gapBefore(row + 1))
        return std::max(time, ownBegin(row + 1));
    double step = m_samplePeriod;
    if (row > 0 && !isInterval(row - 1) && time - times[row - 1] > 0.0 && time - times[row - 1] <= m_gapSeconds)
        step = time - times[row - 1];
    return time + std::min(step, m_gapSeconds);
}

RowSpans::Span RowSpans::span(std::size_t row) const
{
    assert(row < rows());
    Span span;
    span.begin = row > 0 ? std::max(ownBegin(row), ownEnd(row - 1)) : ownBegin(row);
    span.end = std::max(span.begin, ownEnd(row));
    return span;
}

double RowSpans::secondsWithin(std::size_t row, double from, double to) const
{
    const Span s = span(row);
    return std::max(0.0, std::min(s.end, to) - std::max(s.begin, from));
}

} // namespace svglogger
