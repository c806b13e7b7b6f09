#pragma once

#include "reading/RecordTable.h"

#include <optional>
#include <string>
#include <vector>

namespace svglogger {

// The time window a plot shows and its two cursors: zoom around a point, pan, everything;
// the readout of the row at a time and the figures between the cursors.
class ViewWindow
{
public:
    // Everything the table holds (a little margin either side); nothing for an empty table.
    void showAll(const RecordTable &table);
    void setRange(double from, double to);
    // Zooms by `factor` (below 1 in, above 1 out) keeping `at` where it is on the screen.
    void zoom(double factor, double at);
    // Moves by `fraction` of the width (negative: earlier).
    void pan(double fraction);

    double from() const { return m_from; }
    double to() const { return m_to; }

    std::optional<double> cursorA, cursorB;

    // Between the cursors (either order), per column slot: the change from the row at A to the
    // row at B (rows at or before each), and the minimum, maximum and mean of the rows between.
    struct Between {
        double seconds = 0.0; // B - A
        struct Slot {
            int slot = 0;
            double delta = 0.0, min = 0.0, max = 0.0, mean = 0.0;
            std::size_t count = 0;
        };
        std::vector<Slot> figures;
    };
    std::optional<Between> between(const RecordTable &table, const std::vector<int> &slots) const;

    // The times of the rows an export takes, [from, before): with both cursors exactly the rows
    // the figures between them use (at or after the earlier, at or before the later), else the
    // rows of the visible range.
    struct Span {
        double from = 0.0, before = 0.0;
    };
    Span rowSpan() const;

private:
    double m_from = 0.0, m_to = 1.0;
};

} // namespace svglogger
