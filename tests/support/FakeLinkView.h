#pragma once

#include "link/LinkView.h"

#include <string>
#include <utility>
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
    std::string readout[8];                                // DTLabel(0) .. DTLabel(7)
    std::vector<std::pair<int, std::string>> readoutCalls; // every update, in order

    void showMeasurementTime(std::string_view text) override { times.emplace_back(text); }
    void communicationLogInserted(std::int32_t position, std::string_view text) override
    {
        mirroredLog.insert(static_cast<std::size_t>(position), text);
    }
    void communicationLogTrimmed(std::int32_t count) override
    {
        mirroredLog.erase(0, static_cast<std::size_t>(count));
    }
    void setReadoutValue(int row, std::string_view text) override
    {
        readout[row] = text;
        readoutCalls.emplace_back(row, std::string(text));
    }
    // The grid voltage texts shown, one per decoded line.
    std::vector<std::string> voltages() const
    {
        std::vector<std::string> out;
        for (const auto &[row, text] : readoutCalls)
            if (row == 0)
                out.push_back(text);
        return out;
    }
    void setNegativeSequenceRowsEnabled(bool enabled) override { rowsEnabledCalls.push_back(enabled); }
};

} // namespace svglogger::test
