#pragma once

#include "pipeline/RunEvents.h"

#include <string>
#include <vector>

namespace svglogger::test {

// A run's events as lines of text, in their order: the recording's in `lines` ("opened <path>",
// "closed <path> <rows>", "fired", "line <voltage>"), the run's own in `run` ("link <n>" with
// LinkCondition's number, "status <text>", "port lost", "port back", "ended").
class EventLog final : public RunEvents
{
public:
    std::vector<std::string> lines;
    std::vector<std::string> run;

    void lineRecorded(const LineRecord &record) override
    {
        lines.push_back("line " + std::to_string(static_cast<int>(record.sample[MeasurementSample::GridVoltage])));
    }
    void fileOpened(std::string_view path) override { lines.push_back("opened " + std::string(path)); }
    void fileClosed(std::string_view path, std::int64_t rows) override
    {
        lines.push_back("closed " + std::string(path) + " " + std::to_string(rows));
    }
    void triggerFired() override { lines.push_back("fired"); }
    void runEnded() override { run.push_back("ended"); }
    void portLost() override { run.push_back("port lost"); }
    void portBack() override { run.push_back("port back"); }
    void linkChanged(LinkCondition condition) override
    {
        run.push_back("link " + std::to_string(static_cast<int>(condition)));
    }
    void statusChanged(const RunStatus &status) override { run.push_back("status " + status.text); }
};

} // namespace svglogger::test
