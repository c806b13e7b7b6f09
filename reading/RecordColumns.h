#pragma once

#include "link/ControllerVersion.h"
#include "link/Quantity.h"
#include "recording/CsvLayout.h"

#include <cassert>
#include <string>
#include <vector>

namespace svglogger {

// Every column a recorded file can hold, whatever its layout, as one numbering: the averages
// (a continuous row's values), maxima and minima of the eight quantities of kQuantities, the
// sample count of an interval, the status word; then what the reading derives: the span.
namespace recordColumn {
inline constexpr int kQuantityColumns = static_cast<int>(svglogger::kQuantities.size());
inline constexpr int kValue = 0;                       // + the quantity's index
inline constexpr int kMax = kValue + kQuantityColumns; // + the quantity's index
inline constexpr int kMin = kMax + kQuantityColumns;   // + the quantity's index
inline constexpr int kCount = kMin + kQuantityColumns; // "DT数"
inline constexpr int kStatus = kCount + 1;
// No column of a file: the seconds an interval row stands for, (stamp − span, stamp] (its row
// is written at the interval's end); a continuous row has none (NaN, or the slot absent).
inline constexpr int kSpan = kStatus + 1;
inline constexpr int kSlots = kSpan + 1;

// The columns of a recorded quantity (one of kQuantities): its value (an interval row's
// average), its maximum and its minimum. A quantity's index is its place in kQuantities.
static_assert([] {
    for (std::size_t i = 0; i < svglogger::kQuantities.size(); ++i)
        if (svglogger::kQuantities[i].index != i)
            return false;
    return true;
}());
constexpr int value(MeasurementSample::Index quantity)
{
    assert(static_cast<int>(quantity) < kQuantityColumns);
    return kValue + static_cast<int>(quantity);
}
constexpr int max(MeasurementSample::Index quantity)
{
    assert(static_cast<int>(quantity) < kQuantityColumns);
    return kMax + static_cast<int>(quantity);
}
constexpr int min(MeasurementSample::Index quantity)
{
    assert(static_cast<int>(quantity) < kQuantityColumns);
    return kMin + static_cast<int>(quantity);
}
} // namespace recordColumn

// The columns after the time of a file of `layout`, in the order of its header.
std::vector<int> columnsOf(const RowLayout &layout);

// The header's name of column `slot`: "系統電圧(V)", "系統電圧(Max)", "DT数", "状態(10進)"; the
// span, no file's column, is "interval_s".
std::string columnName(int slot);
// The quantity of a value, maximum or minimum column (0 to 7), -1 for the count and status.
int quantityOf(int slot);

} // namespace svglogger
