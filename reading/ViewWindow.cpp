#include "reading/ViewWindow.h"

#include <limits>

#include <algorithm>
#include <cmath>

namespace svglogger {

namespace {
constexpr double kNarrowest = 0.05; // seconds across: a quarter of a sample period
}

void ViewWindow::showAll(const RecordTable &table)
{
    if (table.rows() == 0)
        return;
    const double first = table.times().front(), last = table.times().back();
    const double margin = std::max((last - first) * 0.01, 1.0);
    setRange(first - margin, last + margin);
}

void ViewWindow::setRange(double from, double to)
{
    if (!(to - from >= kNarrowest)) {
        const double middle = (from + to) / 2.0;
        from = middle - kNarrowest / 2.0;
        to = middle + kNarrowest / 2.0;
    }
    m_from = from;
    m_to = to;
}

void ViewWindow::zoom(double factor, double at)
{
    setRange(at - (at - m_from) * factor, at + (m_to - at) * factor);
}

void ViewWindow::pan(double fraction)
{
    const double shift = (m_to - m_from) * fraction;
    m_from += shift;
    m_to += shift;
}

ViewWindow::Span ViewWindow::rowSpan() const
{
    const double infinity = std::numeric_limits<double>::infinity();
    if (cursorA && cursorB)
        return {std::min(*cursorA, *cursorB), std::nextafter(std::max(*cursorA, *cursorB), infinity)};
    return {m_from, std::nextafter(m_to, infinity)};
}

std::optional<ViewWindow::Between> ViewWindow::between(const RecordTable &table, const std::vector<int> &slots) const
{
    if (!cursorA || !cursorB || table.rows() == 0)
        return std::nullopt;
    const double a = std::min(*cursorA, *cursorB);
    const std::size_t rowA = table.atOrBefore(*cursorA), rowB = table.atOrBefore(*cursorB);
    // The rows between: from the first at or after the earlier cursor to the later's own row.
    const std::size_t atLater = *cursorA > *cursorB ? rowA : rowB;
    const std::size_t first = table.lowerBound(a), last = atLater == table.rows() ? 0 : atLater + 1;
    Between result;
    result.seconds = *cursorB - *cursorA;
    for (int slot : slots) {
        Between::Slot s;
        s.slot = slot;
        if (rowA < table.rows() && rowB < table.rows())
            s.delta = double{table.value(slot, rowB)} - double{table.value(slot, rowA)};
        else
            s.delta = std::nan("");
        double sum = 0.0;
        for (std::size_t r = first; r < last; ++r) {
            const float v = table.value(slot, r);
            if (std::isnan(v))
                continue;
            s.min = s.count == 0 ? v : std::min<double>(s.min, v);
            s.max = s.count == 0 ? v : std::max<double>(s.max, v);
            sum += v;
            ++s.count;
        }
        s.mean = s.count ? sum / static_cast<double>(s.count) : std::nan("");
        result.figures.push_back(s);
    }
    return result;
}

} // namespace svglogger
