#pragma once

#include "reading/RecordTable.h"

#include <cstddef>
#include <vector>

namespace svglogger {

// The time each row of a table stands for, [begin, end) in seconds of the local clock: an
// interval row its interval (its stamp is the interval's end); a continuous row the time to
// the next row, never across a gap (more than `gapSeconds` to where the next row's time
// begins): before a gap and at the last row its own step, the one from the row before, or the
// sample period. A row's time that reaches back over the row before begins where that one's
// ends, so the rows' times never overlap and never go back: no second is counted twice.
// Computed row by row from the rows beside it; the table must outlive it.
class RowSpans
{
public:
    struct Span {
        double begin = 0.0, end = 0.0;
        double seconds() const { return end - begin; }
    };

    RowSpans(const RecordTable &table, double samplePeriod, double gapSeconds);

    const RecordTable &table() const { return *m_table; }
    std::size_t rows() const { return m_table->rows(); }
    double samplePeriod() const { return m_samplePeriod; }
    double gapSeconds() const { return m_gapSeconds; }

    Span span(std::size_t row) const;
    // The seconds of the row's time within [from, to).
    double secondsWithin(std::size_t row, double from, double to) const;
    // An interval row (its span set): its values are an interval's mean, maximum and minimum.
    bool isInterval(std::size_t row) const { return intervalSpan(row) > 0.0; }
    // Where the row's own time begins: its stamp, an interval row's stamp − its span.
    double ownBegin(std::size_t row) const { return m_table->times()[row] - intervalSpan(row); }
    // More than gapSeconds from the row before's stamp to where this row's time begins.
    bool gapBefore(std::size_t row) const { return row > 0 && ownBegin(row) - m_table->times()[row - 1] > m_gapSeconds; }

private:
    // 0 for a continuous row (no span, NaN).
    double intervalSpan(std::size_t row) const
    {
        return row < m_spans->size() && (*m_spans)[row] > 0.0f ? (*m_spans)[row] : 0.0;
    }
    double ownEnd(std::size_t row) const; // before the rows after reach back over it

    const RecordTable *m_table = nullptr;
    const std::vector<float> *m_spans = nullptr; // the span column, empty without interval rows
    double m_samplePeriod = 0.2, m_gapSeconds = 0.6;
};

} // namespace svglogger
