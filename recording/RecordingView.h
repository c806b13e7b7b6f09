#pragma once

#include <string_view>

namespace svglogger {

// What the recording side shows on the main window.
class RecordingView
{
public:
    virtual ~RecordingView() = default;

    // The output path "出力ファイル名". Set by the program; the window does not echo it back.
    virtual void setOutputPath(std::string_view path) = 0;
    // Rows written to the current file, or the capture's rows (Label8(0)).
    virtual void setRecordCount(std::string_view text) = 0;
    // Samples in the running interval (Label10).
    virtual void setSampleCount(std::string_view text) = 0;
    // The capture indicator "トリガー計測中": shown exactly while a capture is being written.
    virtual void setCaptureIndicatorVisible(bool visible) = 0;
};

} // namespace svglogger
