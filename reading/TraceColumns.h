#pragma once

#include "reading/MinMaxPyramid.h"
#include "reading/RecordSet.h"

#include <array>
#include <cstdint>
#include <vector>

namespace svglogger {

// What a plot of width pixels shows of [from, to) seconds: for each pixel column the rows it
// covers and, per column slot, the exact minimum and maximum of those rows (from the
// pyramids), so a one-sample event stays visible at any zoom. A column that holds no row
// after a longer silence than three sample periods is a gap: no line is drawn across it.
class TraceColumns
{
public:
    struct Column {
        std::size_t first = 0, last = 0; // rows [first, last)
        bool gapBefore = false;          // the step from the previous row is longer than a gap
    };

    // The pyramids of every slot of `set` (about a sixteenth of its memory), and of the
    // status word's bits.
    explicit TraceColumns(const RecordSet &set);

    void layout(double from, double to, int width);

    const std::vector<Column> &columns() const { return m_columns; }
    MinMaxPyramid::Range range(int slot, int pixel) const;
    const MinMaxPyramid &pyramid(int slot) const { return m_pyramids[static_cast<std::size_t>(slot)]; }
    // The status bits set in any row of the pixel column.
    std::uint16_t bitsSet(int pixel) const;
    const RecordSet &set() const { return m_set; }
    // The whole timeline in `width` columns for an overview: per column its rows and the
    // extremes of `slot`; kept until the width changes.
    struct OverviewColumn {
        std::size_t first = 0, last = 0;
        MinMaxPyramid::Range range;
    };
    const std::vector<OverviewColumn> &overview(int slot, int width);

    // Two rows further apart than this are not joined by a line.
    double gapSeconds() const { return 3.0 * m_set.samplePeriod(); }

private:
    const RecordSet &m_set;
    std::array<MinMaxPyramid, recordColumn::kSlots> m_pyramids;
    std::vector<std::uint16_t> m_bitBlocks; // OR of the status bits of each 64 rows
    std::vector<Column> m_columns;
    std::vector<OverviewColumn> m_overview;
    int m_overviewSlot = -1;
};

} // namespace svglogger
