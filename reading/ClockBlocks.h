#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

namespace svglogger {

// A block of the local clock (see blockStart) as a range or a table's rows meet it.
struct ClockBlock {
    std::int64_t start = 0;             // see blockStart: where the wall clock's block began
    double from = 0.0, to = 0.0;        // the block's part of the range: [from, to)
    std::size_t firstRow = 0, endRow = 0; // over rows: those of the block, [firstRow, endRow)
};

// The clock-aligned blocks of `length` seconds (600: ten minutes, 86400: a day), in time order:
// every block that meets [from, to), or only those that hold rows of `times` there, each with
// its rows. An empty range has no block.
class ClockBlocks
{
public:
    // Every block of [from, to) (finite), rows or none; no rows are named.
    ClockBlocks(double from, double to, std::int64_t length);
    // The blocks of the rows of `times` (in time order) in [from, to), without those holding
    // none; `times` must outlive the loop.
    ClockBlocks(const std::vector<double> &times, std::int64_t length,
                double from = -std::numeric_limits<double>::infinity(),
                double to = std::numeric_limits<double>::infinity());

    class Iterator
    {
    public:
        using value_type = ClockBlock;
        using difference_type = std::ptrdiff_t;

        const ClockBlock &operator*() const { return m_block; }
        const ClockBlock *operator->() const { return &m_block; }
        Iterator &operator++();
        void operator++(int) { ++*this; }
        bool operator==(std::default_sentinel_t) const { return m_done; }

    private:
        friend class ClockBlocks;
        void settle(); // the block at m_block.start, or the one of the row at m_block.firstRow

        const std::vector<double> *m_times = nullptr;
        std::int64_t m_length = 1;
        double m_from = 0.0, m_to = 0.0;
        std::size_t m_endRow = 0;
        ClockBlock m_block;
        bool m_done = true;
    };

    Iterator begin() const;
    std::default_sentinel_t end() const { return {}; }

private:
    const std::vector<double> *m_times = nullptr;
    std::int64_t m_length = 1;
    double m_from = 0.0, m_to = 0.0;
};

} // namespace svglogger
