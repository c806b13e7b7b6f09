#include "reading/TraceColumns.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace svglogger {

namespace {

std::uint16_t bitsOf(float status)
{
    return std::isnan(status) ? 0 : static_cast<std::uint16_t>(static_cast<std::int32_t>(status) & 0xFFFF);
}

} // namespace

TraceColumns::TraceColumns(const RecordSet &set)
    : m_set(set)
{
    // The span is drawn by no trace.
    for (int slot = 0; slot < recordColumn::kSlots; ++slot)
        if (slot != recordColumn::kSpan && set.table().has(slot))
            m_pyramids[static_cast<std::size_t>(slot)] = MinMaxPyramid(set.table().column(slot));
    const std::vector<float> &status = set.table().column(recordColumn::kStatus);
    m_bitBlocks.assign(status.size() / MinMaxPyramid::kBlock, 0);
    for (std::size_t b = 0; b < m_bitBlocks.size(); ++b)
        for (std::size_t i = b * MinMaxPyramid::kBlock; i < (b + 1) * MinMaxPyramid::kBlock; ++i)
            m_bitBlocks[b] |= bitsOf(status[i]);
}

void TraceColumns::layout(double from, double to, int width)
{
    const RecordTable &table = m_set.table();
    m_columns.assign(static_cast<std::size_t>(std::max(width, 0)), Column{});
    if (width <= 0 || !(to > from))
        return;
    const double perPixel = (to - from) / width;
    const double gap = gapSeconds();
    std::size_t row = table.lowerBound(from);
    for (int x = 0; x < width; ++x) {
        Column &c = m_columns[static_cast<std::size_t>(x)];
        const double end = from + perPixel * (x + 1);
        c.first = row;
        row = std::max(row, table.lowerBound(end));
        c.last = row;
        if (c.first < c.last && c.first > 0)
            c.gapBefore = table.times()[c.first] - table.times()[c.first - 1] > gap;
    }
}

const std::vector<TraceColumns::OverviewColumn> &TraceColumns::overview(int slot, int width)
{
    const RecordTable &table = m_set.table();
    if (slot == m_overviewSlot && m_overview.size() == static_cast<std::size_t>(std::max(width, 0)))
        return m_overview;
    m_overviewSlot = slot;
    m_overview.assign(static_cast<std::size_t>(std::max(width, 0)), OverviewColumn{});
    if (table.rows() == 0 || width <= 0)
        return m_overview;
    const double first = table.times().front(), last = std::max(table.times().back(), first + 1.0);
    for (int x = 0; x < width; ++x) {
        OverviewColumn &c = m_overview[static_cast<std::size_t>(x)];
        c.first = table.lowerBound(first + (last - first) * x / width);
        c.last = x + 1 == width ? table.rows() : table.lowerBound(first + (last - first) * (x + 1) / width);
        c.range = m_pyramids[static_cast<std::size_t>(slot)].range(c.first, c.last);
    }
    return m_overview;
}

MinMaxPyramid::Range TraceColumns::range(int slot, int pixel) const
{
    assert(pixel >= 0 && static_cast<std::size_t>(pixel) < m_columns.size());
    const Column &c = m_columns[static_cast<std::size_t>(pixel)];
    return m_pyramids[static_cast<std::size_t>(slot)].range(c.first, c.last);
}

std::uint16_t TraceColumns::bitsSet(int pixel) const
{
    const Column &c = m_columns[static_cast<std::size_t>(pixel)];
    const std::vector<float> &status = m_set.table().column(recordColumn::kStatus);
    if (status.empty())
        return 0;
    std::uint16_t bits = 0;
    std::size_t i = c.first;
    constexpr std::size_t block = MinMaxPyramid::kBlock;
    for (; i < c.last && i % block != 0; ++i)
        bits |= bitsOf(status[i]);
    for (; i + block <= c.last; i += block)
        bits |= m_bitBlocks[i / block];
    for (; i < c.last; ++i)
        bits |= bitsOf(status[i]);
    return bits;
}

} // namespace svglogger
