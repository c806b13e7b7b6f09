#include "reading/ClockBlocks.h"

#include "reading/RecordTime.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace svglogger {

ClockBlocks::ClockBlocks(double from, double to, std::int64_t length)
    : m_length(length)
    , m_from(from)
    , m_to(to)
{
    assert(length > 0 && std::isfinite(from) && std::isfinite(to));
}

ClockBlocks::ClockBlocks(const std::vector<double> &times, std::int64_t length, double from, double to)
    : m_times(&times)
    , m_length(length)
    , m_from(from)
    , m_to(to)
{
    assert(length > 0);
}

ClockBlocks::Iterator ClockBlocks::begin() const
{
    Iterator it;
    it.m_times = m_times;
    it.m_length = m_length;
    it.m_from = m_from;
    it.m_to = m_to;
    if (m_times) {
        it.m_block.firstRow = static_cast<std::size_t>(std::lower_bound(m_times->begin(), m_times->end(), m_from) - m_times->begin());
        it.m_endRow = static_cast<std::size_t>(std::lower_bound(m_times->begin(), m_times->end(), m_to) - m_times->begin());
        it.m_done = it.m_block.firstRow >= it.m_endRow;
    } else {
        it.m_block.start = m_from < m_to ? blockStart(m_from, m_length) : 0;
        it.m_done = !(m_from < m_to);
    }
    if (!it.m_done)
        it.settle();
    return it;
}

ClockBlocks::Iterator &ClockBlocks::Iterator::operator++()
{
    if (m_times) {
        m_block.firstRow = m_block.endRow;
        m_done = m_block.firstRow >= m_endRow;
    } else {
        m_block.start = nextBlockStart(m_block.start, m_length);
        m_done = !(static_cast<double>(m_block.start) < m_to);
    }
    if (!m_done)
        settle();
    return *this;
}

void ClockBlocks::Iterator::settle()
{
    if (m_times) {
        const std::vector<double> &times = *m_times;
        m_block.start = blockStart(times[m_block.firstRow], m_length);
        // A row is the block's while its time is within it: its whole second's block start is
        // the block's exactly then.
        const auto first = static_cast<double>(m_block.start),
                   end = static_cast<double>(nextBlockStart(m_block.start, m_length));
        m_block.endRow = m_block.firstRow + 1;
        while (m_block.endRow < m_endRow && times[m_block.endRow] >= first && times[m_block.endRow] < end)
            ++m_block.endRow;
    }
    m_block.from = std::max(m_from, static_cast<double>(m_block.start));
    m_block.to = std::min(m_to, static_cast<double>(nextBlockStart(m_block.start, m_length)));
}

} // namespace svglogger
