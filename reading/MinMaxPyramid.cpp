#include "reading/MinMaxPyramid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace svglogger {

namespace {

void merge(MinMaxPyramid::Range &range, float min, float max)
{
    if (std::isnan(min))
        return;
    if (!range.any) {
        range = {min, max, true};
        return;
    }
    range.min = std::min(range.min, min);
    range.max = std::max(range.max, max);
}

} // namespace

MinMaxPyramid::MinMaxPyramid(const std::vector<float> &column)
    : m_column(&column)
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const std::size_t blocks = column.size() / kBlock;
    if (blocks == 0)
        return;
    std::vector<float> mins(blocks, nan), maxs(blocks, nan);
    for (std::size_t b = 0; b < blocks; ++b) {
        Range r;
        scan(b * kBlock, (b + 1) * kBlock, r);
        if (r.any) {
            mins[b] = r.min;
            maxs[b] = r.max;
        }
    }
    m_min.push_back(std::move(mins));
    m_max.push_back(std::move(maxs));
    while (m_min.back().size() >= 2) {
        const std::vector<float> &lowerMin = m_min.back();
        const std::vector<float> &lowerMax = m_max.back();
        std::vector<float> upperMin(lowerMin.size() / 2), upperMax(lowerMin.size() / 2);
        for (std::size_t b = 0; b < upperMin.size(); ++b) {
            Range r;
            merge(r, lowerMin[2 * b], lowerMax[2 * b]);
            merge(r, lowerMin[2 * b + 1], lowerMax[2 * b + 1]);
            upperMin[b] = r.any ? r.min : nan;
            upperMax[b] = r.any ? r.max : nan;
        }
        m_min.push_back(std::move(upperMin));
        m_max.push_back(std::move(upperMax));
    }
}

void MinMaxPyramid::scan(std::size_t first, std::size_t last, Range &range) const
{
    // Comparisons with NaN are false: a NaN never becomes an extreme, and the loop has no
    // branch for it.
    const float *values = m_column->data();
    float low = std::numeric_limits<float>::infinity(), high = -std::numeric_limits<float>::infinity();
    for (std::size_t i = first; i < last; ++i) {
        const float v = values[i];
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
    if (low <= high)
        merge(range, low, high);
}

MinMaxPyramid::Range MinMaxPyramid::range(std::size_t first, std::size_t last) const
{
    Range range;
    if (!m_column)
        return range;
    last = std::min(last, m_column->size());
    if (first >= last)
        return range;
    // The ragged head and tail value by value, whole blocks from the highest level that fits.
    const std::size_t headEnd = std::min(last, (first + kBlock - 1) / kBlock * kBlock);
    scan(first, headEnd, range);
    std::size_t at = headEnd;
    const std::size_t blocksEnd = last / kBlock * kBlock;
    while (at < blocksEnd) {
        std::size_t level = 0;
        while (level + 1 < m_min.size()) {
            const std::size_t span = kBlock << (level + 1);
            if (at % span != 0 || at + span > blocksEnd)
                break;
            ++level;
        }
        const std::size_t index = at / (kBlock << level);
        merge(range, m_min[level][index], m_max[level][index]);
        at += kBlock << level;
    }
    scan(std::max(at, headEnd), last, range);
    return range;
}

} // namespace svglogger
