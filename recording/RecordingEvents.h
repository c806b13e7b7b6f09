#pragma once

#include "recording/LineRecord.h"

#include <cstdint>
#include <string_view>

namespace svglogger {

// What keeps rows from the log file, as its status text says.
enum class FileProblem { None, CannotCreate, CannotWrite };

// What the recording does, for whoever follows it (a journal, a publisher, a test). Each
// call happens on the engine's thread as the event happens; the defaults ignore it.
class RecordingEvents
{
public:
    virtual ~RecordingEvents() = default;
    // A decoded measurement line's record, with its row when it made one, before the trigger
    // routes that row.
    virtual void lineRecorded(const LineRecord &record) { (void)record; }
    virtual void fileOpened(std::string_view path) { (void)path; }
    // `rows`: the rows written into it, its header not counted.
    virtual void fileClosed(std::string_view path, std::int64_t rows) { (void)path, (void)rows; }
    // The trigger fired: a capture starts with this line.
    virtual void triggerFired() {}
    // The log file's problem changed; `text` is its status text ("ログファイルを作成できません:
    // …"), empty with None.
    virtual void fileProblemChanged(FileProblem problem, std::string_view text) { (void)problem, (void)text; }
};

} // namespace svglogger
