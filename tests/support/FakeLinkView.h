#pragma once

#include "LinkView.h"
#include "MeasurementSample.h"

#include <string>
#include <vector>

namespace svglogger::test {

// Records what the receive side shows, and mirrors the communication log from the
// insert and trim calls alone, as the window does.
class FakeLinkView final : public LinkView
{
public:
    std::vector<std::string> times;
    std::string mirroredLog;
    std::vector<bool> rowsEnabledCalls;
    std::vector<MeasurementSample> readouts;
    std::vector<MeasurementSample> negativeSequenceReadouts;

    void showMeasurementTime(std::string_view text) override { times.emplace_back(text); }
    void communicationLogInserted(std::int32_t position, std::string_view text) override
    {
        mirroredLog.insert(static_cast<std::size_t>(position), text);
    }
    void communicationLogTrimmed(std::int32_t count) override
    {
        mirroredLog.erase(0, static_cast<std::size_t>(count));
    }
    void showReadout(const MeasurementSample &sample) override { readouts.push_back(sample); }
    void showNegativeSequenceReadout(const MeasurementSample &sample) override
    {
        negativeSequenceReadouts.push_back(sample);
    }
    void setNegativeSequenceRowsEnabled(bool enabled) override { rowsEnabledCalls.push_back(enabled); }
};

} // namespace svglogger::test
