#pragma once

#include <string>

namespace svglogger {

// Why a status text shows; None while none does.
enum class StatusCause {
    None,
    NoPort,              // the port list is empty
    CannotOpenPort,      // busy, missing, no permission
    PortLost,            // waited for and reopened every second
    NoAnswer,            // no prompt since the last ESC: ESC again
    NoData,              // lines stopped: the controller woken again
    CannotCreateFile,    // the log file could not be made
    CannotWriteFile,     // a row did not go out
    NoTriggerConditions, // the trigger window was closed while armed
};

// The run's status: why, and the text the window shows for it. One value reaches the window,
// the journal and the health message alike.
struct RunStatus {
    StatusCause cause = StatusCause::None;
    std::string text; // empty with None

    // Rows are not recorded while it stands (no file, no port), as opposed to a wait that the
    // run retries by itself.
    bool rowsLost() const
    {
        return cause == StatusCause::NoPort || cause == StatusCause::CannotOpenPort
            || cause == StatusCause::CannotCreateFile || cause == StatusCause::CannotWriteFile;
    }

    friend bool operator==(const RunStatus &, const RunStatus &) = default;
};

} // namespace svglogger
