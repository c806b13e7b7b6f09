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
    std::string text1;
    std::string label8;
    std::string label10;
    std::string status;
    bool label12 = false;
    std::vector<std::string> statusHistory;

    void setOutputPath(std::string_view path) override { text1 = path; }
    void setRecordCount(std::string_view text) override { label8 = text; }
    void setSampleCount(std::string_view text) override { label10 = text; }
    void setCaptureIndicatorVisible(bool visible) override { label12 = visible; }
    void fileProblemChanged(FileProblem, std::string_view text) override
    {
        status = text;
        statusHistory.emplace_back(text);
    }
};

} // namespace svglogger::test
