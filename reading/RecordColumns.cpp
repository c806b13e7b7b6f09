#include "reading/RecordColumns.h"

#include "common/Settings.h"
#include "link/Quantity.h"

namespace svglogger {

std::vector<int> columnsOf(const RowLayout &layout)
{
    namespace c = recordColumn;
    const int k = static_cast<int>(quantitiesSentBy(layout.controllerVersion));
    std::vector<int> columns;
    for (int q = 0; q < k; ++q)
        columns.push_back(c::kValue + q);
    if (layout.samplingMode == SamplingMode::Interval) {
        for (int q = 0; q < k; ++q)
            columns.push_back(c::kMax + q);
        for (int q = 0; q < k; ++q)
            columns.push_back(c::kMin + q);
        columns.push_back(c::kCount);
    }
    columns.push_back(c::kStatus);
    return columns;
}

int quantityOf(int slot)
{
    return slot < recordColumn::kCount ? slot % recordColumn::kQuantityColumns : -1;
}

std::string columnName(int slot)
{
    namespace c = recordColumn;
    if (slot == c::kCount)
        return std::string(kSampleCountHeader);
    if (slot == c::kStatus)
        return std::string(kStatusWordHeader);
    if (slot == c::kSpan)
        return "interval_s";
    const Quantity &q = kQuantities[static_cast<std::size_t>(quantityOf(slot))];
    if (slot < c::kMax)
        return q.csvHeader();
    return std::string(q.csvName) + std::string(slot < c::kMin ? kMaximumSuffix : kMinimumSuffix);
}

} // namespace svglogger
