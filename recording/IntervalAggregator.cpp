#include "recording/IntervalAggregator.h"

#include "common/TextNumber.h"
#include "link/Quantity.h"
#include "recording/DateSerial.h"
#include "recording/RecordingView.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace svglogger {

IntervalAggregator::IntervalAggregator(RecordingView &view)
    : m_view(view)
{
}

std::optional<IntervalFigures> IntervalAggregator::addSample(const MeasurementSample &sample, ControllerVersion controllerVersion,
                                          double nowSerial, double intervalSeconds)
{
    const int k = static_cast<int>(quantitiesSentBy(controllerVersion));
    const double seconds = (nowSerial - m_intervalStart) * 86400.0;
    const double roundedLength = roundHalfEven(intervalSeconds);
    // An interval that rounds to no whole second cannot be divided by: the step is skipped.
    if (!std::isfinite(seconds) || !std::isfinite(roundedLength) || roundedLength == 0.0)
        return std::nullopt;
    // Whole intervals elapsed. Both numbers are whole; kept within ranges where converting
    // them is exact (an elapsed time beyond 1e15 s divided by a length beyond 2e15 s is 0
    // either way), whatever the clock or the typed length.
    const auto elapsed = static_cast<std::int64_t>(std::clamp(roundHalfEven(seconds), -1e15, 1e15));
    const auto length = static_cast<std::int64_t>(std::clamp(roundedLength, -2e15, 2e15));
    const std::int64_t quotient = elapsed / length;
    const auto n = static_cast<std::int16_t>(std::clamp<std::int64_t>(quotient, -32768, 32767));

    if (n >= 1 && m_dtCount >= 1) {
        IntervalFigures figures = completed(sample, k, completedStamp(nowSerial, intervalSeconds));
        advanceStart(quotient, seconds, intervalSeconds);
        startWith(sample, k, nowSerial);
        return figures;
    }
    if (m_dtCount >= kMaxCount) {
        // The count cannot grow further: the interval is written now, stamped with the
        // current time, and a new one starts with this sample.
        IntervalFigures figures = completed(sample, k, nowSerial);
        m_intervalStart = nowSerial;
        startWith(sample, k, nowSerial);
        return figures;
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
        return std::nullopt;
    }
    // First sample after program start.
    advanceStart(quotient, seconds, intervalSeconds);
    startWith(sample, k, nowSerial);
    return std::nullopt;
}

// IntervalStart moves on by the whole intervals elapsed. More of them than the 16-bit count
// holds means the clock jumped forward: the start goes to the last boundary before now.
void IntervalAggregator::advanceStart(std::int64_t quotient, double seconds, double intervalSeconds)
{
    if (quotient > kMaxCount)
        m_intervalStart += std::floor(seconds / intervalSeconds) * intervalSeconds / 86400.0;
    else if (quotient >= 1)
        m_intervalStart += static_cast<double>(quotient) * intervalSeconds / 86400.0;
}

// The end of the completed interval, but never later than now (a length of 2.5 s tests
// whole intervals with 2 s) and never earlier than the interval's first sample.
double IntervalAggregator::completedStamp(double nowSerial, double intervalSeconds) const
{
    const double end = std::max(m_intervalStart + intervalSeconds / 86400.0, m_firstSample);
    return std::min(end, nowSerial);
}

void IntervalAggregator::startWith(const MeasurementSample &sample, int k, double nowSerial)
{
    m_dtCount = 1;
    m_firstSample = nowSerial;
    for (int q = 0; q < k; ++q) {
        const float value = sample[static_cast<std::size_t>(q)];
        m_intervalStats[q] = {value, value, value};
    }
}

IntervalFigures IntervalAggregator::completed(const MeasurementSample &sample, int k, double stampSerial) const
{
    assert(k >= 0 && static_cast<std::size_t>(k) <= kQuantities.size());
    IntervalFigures figures;
    figures.time = fromDateSerial(stampSerial);
    figures.quantities = static_cast<std::size_t>(k);
    const float count = m_dtCount;
    for (std::size_t q = 0; q < figures.quantities; ++q) {
        figures.average[q] = m_intervalStats[q].sum / count;
        figures.maximum[q] = m_intervalStats[q].maximum;
        figures.minimum[q] = m_intervalStats[q].minimum;
    }
    figures.sampleCount = m_dtCount;
    figures.statusWord = sample[MeasurementSample::StatusWord];
    return figures;
}

std::string IntervalAggregator::validatedIntervalText(std::string_view text)
{
    return atLeastOneText(text);
}

} // namespace svglogger
