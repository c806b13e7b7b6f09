#pragma once

#include "link/ControllerVersion.h"
#include "link/Quantity.h"
#include "recording/CsvLayout.h"

#include <string>
#include <vector>

namespace svglogger {

// Every column a recorded file can hold, whatever its layout, as one numbering: the averages
// (a continuous row's values), maxima and minima of the eight quantities of kQuantities, the
// sample count of an interval, the status word.
namespace recordColumn {
inline constexpr int kQuantityColumns = static_cast<int>(svglogger::kQuantities.size());
inline constexpr int kValue = 0;  // + quantity
inline constexpr int kMax = 8;    // + quantity
inline constexpr int kMin = 16;   // + quantity
inline constexpr int kCount = 24; // "DT数"
inline constexpr int kStatus = 25;
inline constexpr int kSlots = 26;
} // namespace recordColumn

// The columns after the time of a file of `layout`, in the order of its header.
std::vector<int> columnsOf(const RowLayout &layout);

// The header's name of column `slot`: "系統電圧(V)", "系統電圧(Max)", "DT数", "状態(10進)".
std::string columnName(int slot);
// The quantity of a value, maximum or minimum column (0 to 7), -1 for the count and status.
int quantityOf(int slot);

} // namespace svglogger
