#include "recording/CsvLayout.h"

#include "link/Quantity.h"
#include "recording/CsvText.h"
#include "recording/LineRecord.h"

namespace svglogger {

namespace {

// The header of a layout, from the table of quantities.
std::string makeHeader(bool interval, ControllerVersion version)
{
    const std::size_t k = quantitiesSentBy(version);
    std::string header(kTimeHeader);
    for (std::size_t q = 0; q < k; ++q)
        header += "," + kQuantities[q].csvHeader();
    if (interval) {
        for (std::string_view which : {kMaximumSuffix, kMinimumSuffix})
            for (std::size_t q = 0; q < k; ++q)
                header += "," + std::string(kQuantities[q].csvName) + std::string(which);
        header += "," + std::string(kSampleCountHeader);
    }
    return header + "," + std::string(kStatusWordHeader);
}

} // namespace

const std::string &headerLine(SamplingMode samplingMode, ControllerVersion controllerVersion)
{
    static const std::string headers[2][2] = {
        {makeHeader(false, ControllerVersion::Older), makeHeader(false, ControllerVersion::Version2)},
        {makeHeader(true, ControllerVersion::Older), makeHeader(true, ControllerVersion::Version2)}};
    return headers[samplingMode == SamplingMode::Continuous ? 0 : 1][controllerVersion == ControllerVersion::Older ? 0 : 1];
}

std::string continuousRow(const LocalDateTime &time, const MeasurementSample &sample,
                          ControllerVersion controllerVersion)
{
    std::string row;
    row.reserve(120);
    appendDateTimeText(row, time);
    // An unknown version writes an older controller's columns (no such row is recorded).
    const std::size_t k = quantitiesSentBy(
        controllerVersion == ControllerVersion::Unknown ? ControllerVersion::Older : controllerVersion);
    for (std::size_t q = 0; q < k; ++q) {
        row += ',';
        appendNumberText(row, sample[kQuantities[q].index], kQuantities[q].continuousDecimals);
    }
    row += ',';
    appendNumberText(row, sample[MeasurementSample::StatusWord], 0);
    return row;
}

std::string intervalRow(const IntervalFigures &figures)
{
    std::string row;
    row.reserve(256);
    appendDateTimeText(row, figures.time);
    for (const auto *column : {&figures.average, &figures.maximum, &figures.minimum}) {
        for (std::size_t q = 0; q < figures.quantities; ++q) {
            row += ',';
            appendNumberText(row, (*column)[q], kQuantities[q].intervalDecimals);
        }
    }
    row += ',';
    row += std::to_string(figures.sampleCount);
    row += ',';
    appendNumberText(row, figures.statusWord, 0);
    return row;
}

} // namespace svglogger
