#include "recording/IntervalAggregator.h"

#include "recording/CsvText.h"
#include "recording/DateSerial.h"
#include "recording/RecordingView.h"
#include "common/TextNumber.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

IntervalAggregator::IntervalAggregator(RecordingView &view)
    : m_view(view)
{
}

std::string IntervalAggregator::addSample(const MeasurementSample &sample, int controllerVersion,
                                          double nowSerial, double intervalSeconds)
{
    const int k = std::clamp(4 * controllerVersion, 0, kQuantities);
    const double seconds = (nowSerial - m_intervalStart) * 86400.0;
    const double roundedLength = roundHalfEven(intervalSeconds);
    // An interval that rounds to no whole second cannot be divided by: the step is skipped.
    if (!std::isfinite(seconds) || !std::isfinite(roundedLength) || roundedLength == 0.0)
        return {};
    // Whole intervals elapsed, limited to the 16-bit range so that a clock jump of years
    // neither overflows nor loops.
    const double elapsed = std::clamp(roundHalfEven(seconds), -1e15, 1e15);
    const auto quotient = static_cast<std::int64_t>(elapsed) / static_cast<std::int64_t>(roundedLength);
    const auto n = static_cast<std::int16_t>(std::clamp<std::int64_t>(quotient, -32768, 32767));

    if (n >= 1 && m_dtCount >= 1) {
        std::string row = buildRow(sample, k, intervalSeconds);
        m_intervalStart += n * intervalSeconds / 86400.0;
        startWith(sample, k);
        return row;
    }
    if (m_dtCount >= kMaxCount) {
        // The count cannot grow further: the full interval is written now, stamped with the
        // end of the running interval, and the sample starts the next one.
        std::string row = buildRow(sample, k, intervalSeconds);
        startWith(sample, k);
        return row;
    }
    if (m_dtCount != 0) {
        ++m_dtCount;
        for (int q = 0; q < k; ++q) {
            Column &c = m_intervalStats[q];
            const float value = sample[static_cast<std::size_t>(q)];
            c.sum += value;
            if (value > c.maximum)
                c.maximum = value;
            if (value < c.minimum)
                c.minimum = value;
        }
        m_view.setSampleCount(std::to_string(m_dtCount));
        return {};
    }
    // First sample after program start.
    m_intervalStart += n * intervalSeconds / 86400.0;
    startWith(sample, k);
    return {};
}

void IntervalAggregator::startWith(const MeasurementSample &sample, int k)
{
    m_dtCount = 1;
    for (int q = 0; q < k; ++q) {
        const float value = sample[static_cast<std::size_t>(q)];
        m_intervalStats[q] = {value, value, value};
    }
}

std::string IntervalAggregator::buildRow(const MeasurementSample &sample, int k, double intervalSeconds) const
{
    std::string row;
    row.reserve(256);
    appendDateTimeText(row, fromDateSerial(m_intervalStart + intervalSeconds / 86400.0));
    const float count = m_dtCount;
    auto put = [&row](float value, int q) {
        row += ',';
        appendNumberText(row, value, q == 0 ? 0 : 1);
    };
    for (int q = 0; q < k; ++q)
        put(m_intervalStats[q].sum / count, q);
    for (int q = 0; q < k; ++q)
        put(m_intervalStats[q].maximum, q);
    for (int q = 0; q < k; ++q)
        put(m_intervalStats[q].minimum, q);
    row += ',';
    row += std::to_string(m_dtCount);
    row += ',';
    appendNumberText(row, sample[MeasurementSample::StatusWord], 0);
    return row;
}

std::string IntervalAggregator::validatedIntervalText(std::string_view text)
{
    return atLeastOneText(text);
}

} // namespace svglogger
