#pragma once

#include <string>
#include <string_view>

namespace svglogger {

// The one log file: a new Shift-JIS text file with CR LF line ends, each line handed to the
// operating system as it is written. Implemented by the platform layer.
class LogFileWriter
{
public:
    enum class OpenResult {
        Opened,    // created; any previous file was closed first
        NameTaken, // a file of that name exists: it is left untouched
        Failed     // cannot be created (folder not creatable, no permission, ...)
    };

    virtual ~LogFileWriter() = default;

    // Creates the file, and its missing folders, without ever replacing an existing file.
    virtual OpenResult createNew(const std::string &path) = 0;
    // Writes one line (UTF-8 in, Shift-JIS out) and its CR LF; false when it did not go out.
    virtual bool writeLine(std::string_view text) = 0;
    // Closing when no file is open is harmless.
    virtual void close() = 0;
    // Closes the file just created and removes it, when nothing went into it: a file whose
    // header could not be written is never left for rows.
    virtual void discard() { close(); }
    // The system's reason for the last failure ("Read-only file system"), or empty.
    virtual std::string errorString() const { return {}; }
};

} // namespace svglogger
