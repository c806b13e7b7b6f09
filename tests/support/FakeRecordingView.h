#pragma once

#include "recording/RecordingEvents.h"
#include "recording/RecordingView.h"

#include <string>
#include <vector>

namespace svglogger::test {

// Holds what the recording side shows, as the window's controls would; as the recorder's
// follower it also holds the log file's status text, as the status line would.
class FakeRecordingView final : public RecordingView, public RecordingEvents
{
public:
    std::string outputPath;
    std::string recordCount;
    std::string sampleCount;
    std::string status;
    bool captureIndicatorShown = false;
    std::vector<std::string> statusHistory;

    void setOutputPath(std::string_view path) override { outputPath = path; }
    void setRecordCount(std::string_view text) override { recordCount = text; }
    void setSampleCount(std::string_view text) override { sampleCount = text; }
    void setCaptureIndicatorVisible(bool visible) override { captureIndicatorShown = visible; }
    void fileProblemChanged(FileProblem, std::string_view text) override
    {
        status = text;
        statusHistory.emplace_back(text);
    }
};

} // namespace svglogger::test
