#pragma once

#include "recording/CsvLayout.h"
#include "recording/IntervalAggregator.h"
#include "recording/LineRecord.h"
#include "recording/LogFileName.h"
#include "recording/RecordingEvents.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace svglogger {

class Clock;
class LogFileWriter;
class RecordingView;
struct Settings;
struct MeasurementSample;

// The log file and the rows that go into it: file names from the clock, opening with the
// header for the mode and the controller's version, the hourly change, building the row of
// each decoded line. Where a row goes is the trigger's decision (TriggerControl).
class LogRecorder
{
public:
    static constexpr std::string_view kCannotCreate = "ログファイルを作成できません: ";
    static constexpr std::string_view kCannotWrite = "ログファイルに書き込めません: ";
    // While no file is open although one should be, opening is tried again with a decoded
    // line at most this often.
    static constexpr double kRetrySeconds = 10.0;

    LogRecorder(const Settings &settings, const Clock &clock, LogFileWriter &file, RecordingView &view);

    // The controller's version as its last version line announced it: the header of the
    // next file and the columns of the next rows.
    void setControllerVersion(ControllerVersion version) { m_controllerVersion = version; }
    ControllerVersion controllerVersion() const { return m_controllerVersion; }

    // Who follows the recording; none by default.
    void setEvents(RecordingEvents *events) { m_events = events; }
    RecordingEvents *events() const { return m_events; }

    // "Tarmin<day>D<hour>H<minute>M<second>[G].csv" from the clock; G with power-flow correction.
    std::string fileName() const;
    // Opens a new log file and writes its header; nothing while the version is unknown. A log
    // file that could not be made is tried again (see decodedLine).
    void openLogFile();
    // The same for a capture file, which is not tried again: the next firing tries.
    void openCaptureFile();
    // Closes the current file and opens the next one.
    void startNextFile();
    // Closes the file (at Stop and at the end of a capture); harmless when none is open.
    void closeLogFile();

    // The program sets the output path; its folder part becomes LogFolder.
    void setOutputPath(const std::string &path);
    // The output path changed (typed, browsed or set): LogFolder follows. A file message
    // goes when the folder changes: the next file is tried in the new one.
    void outputPathEdited(std::string_view path);
    // The output path becomes LogFolder followed by a fresh name from the clock.
    void refreshOutputPath();

    // Per decoded measurement line: the hourly file change (or, when the trigger owns the
    // run, the path refresh), then the line's record with the row for the sampling mode.
    LineRecord recordLine(const MeasurementSample &sample, bool triggerOwnsTheRun);
    // A record's row, in a run without trigger, into the log file: a row of another layout
    // (another controller version) first opens a new file whose header fits it, as at a new hour.
    void writeLogRow(const LineRecord &record);
    // Writes one line into the open file; false (and a status text) when it did not go out.
    bool writeLine(const std::string &line);

    // Rows written into files since the program started.
    std::int64_t rowsWritten() const { return m_rowsWritten; }
    // Rows a line made that no file took (none could be made, or the write failed).
    std::int64_t rowsFailed() const { return m_rowsFailed; }
    // The record count shown: rows of the current file, or of the capture.
    std::int64_t recordCount() const { return m_recordCount; }
    void setRecordCount(std::int64_t count);

    // The layout of the open file's header.
    const RowLayout &fileLayout() const { return m_fileLayout; }
    const std::string &logFolder() const { return m_logFolder; }
    std::int16_t fileHour() const { return m_fileHour; }
    bool logFileOpen() const { return m_logFileOpen; }
    // The path of the open log file; empty while none is open.
    std::string openPath() const { return m_logFileOpen ? m_openPath : std::string(); }
    IntervalAggregator &intervals() { return m_intervals; }
    const IntervalAggregator &intervals() const { return m_intervals; }

    // The folder part of an output path: up to and including the last path separator ("/",
    // and on Windows "\" as well).
    static std::string folderOf(std::string_view path);
    // The folder log files go to at start-up: "c:\temp\" on Windows, ~/temp/ elsewhere.
    static std::string defaultLogFolder(const std::string &homeDirectory);

private:
    // The name of a file opened now.
    LogFileName nameNow() const;
    void open(bool retryWhenRefused);
    void showFileError(FileProblem problem, const std::string &path);
    void clearFileError();

    const Settings &m_settings;
    const Clock &m_clock;
    LogFileWriter &m_file;
    RecordingView &m_view;
    RecordingEvents *m_events = nullptr;
    IntervalAggregator m_intervals;

    std::string m_logFolder;
    std::string m_openPath;       // the file actually open (LogFolder + FName, or with -2, -3, ...)
    std::int16_t m_fileHour = 0;
    bool m_logFileOpen = false;
    std::int64_t m_recordCount = 0;
    std::int64_t m_fileRows = 0;    // rows written into the open file
    std::int64_t m_rowsWritten = 0; // rows written into all files
    std::int64_t m_rowsFailed = 0;
    ControllerVersion m_controllerVersion = ControllerVersion::Unknown;
    RowLayout m_fileLayout; // the layout of the open file's header
    FileProblem m_fileProblem = FileProblem::None; // the one the status text shows
    bool m_openWanted = false;   // a log file should be open but could not be made
    double m_lastOpenTry = 0.0;  // when openLogFile last tried, as a date serial
};

} // namespace svglogger
