#pragma once

#include "recording/RecordingEvents.h"

#include <string>
#include <vector>

namespace svglogger::test {

// The recording's events as lines of text, in their order ("opened <path>", "closed <path>
// <rows>", "fired", "line <voltage>").
class EventLog final : public RecordingEvents
{
public:
    std::vector<std::string> lines;

    void lineRecorded(const LocalDateTime &, const MeasurementSample &sample, ControllerVersion) override
    {
        lines.push_back("line " + std::to_string(static_cast<int>(sample[MeasurementSample::GridVoltage])));
    }
    void fileOpened(std::string_view path) override { lines.push_back("opened " + std::string(path)); }
    void fileClosed(std::string_view path, std::int64_t rows) override
    {
        lines.push_back("closed " + std::string(path) + " " + std::to_string(rows));
    }
    void triggerFired() override { lines.push_back("fired"); }
};

} // namespace svglogger::test
