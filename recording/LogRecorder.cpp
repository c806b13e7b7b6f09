#include "recording/LogRecorder.h"

#include "common/Clock.h"
#include "common/Settings.h"
#include "common/TextNumber.h"
#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "recording/LogFileWriter.h"
#include "recording/RecordingEvents.h"
#include "recording/RecordingView.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace svglogger {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr std::string_view kPathSeparators = "\\/"; // Qt's file dialog answers with "/"
#else
constexpr char kPathSeparator = '/';
constexpr std::string_view kPathSeparators = "/";
#endif

// Further names tried when a name is taken: Tarmin24D9H5M3-2.csv, -3, ...
constexpr int kMaxNameSuffix = 9999;

} // namespace

LogRecorder::LogRecorder(const Settings &settings, const Clock &clock, LogFileWriter &file, RecordingView &view)
    : m_settings(settings)
    , m_clock(clock)
    , m_file(file)
    , m_view(view)
    , m_intervals(view)
{
}

LogFileName LogRecorder::nameNow() const
{
    const LocalDateTime now = m_clock.now();
    return {now.day, now.hour, now.minute, now.second, m_settings.powerFlow};
}

std::string LogRecorder::fileName() const
{
    return nameNow().text();
}

void LogRecorder::openLogFile()
{
    open(true);
}

void LogRecorder::openCaptureFile()
{
    open(false);
}

void LogRecorder::open(bool retryWhenRefused)
{
    if (m_controllerVersion == ControllerVersion::Unknown)
        return;
    LogFileName name = nameNow();
    const std::string requested = m_logFolder + name.text();
    setOutputPath(requested);
    const LocalDateTime now = m_clock.now();
    m_fileHour = static_cast<std::int16_t>(now.hour);

    // At most one log file is open: a file still open is closed before the next one.
    closeLogFile();
    m_lastOpenTry = toDateSerial(now);
    m_openWanted = retryWhenRefused;
    std::string path;
    LogFileWriter::OpenResult result = LogFileWriter::OpenResult::NameTaken;
    for (name.copy = 1; name.copy <= kMaxNameSuffix && result == LogFileWriter::OpenResult::NameTaken; ++name.copy) {
        path = m_logFolder + name.text();
        result = m_file.createNew(path);
    }
    if (result != LogFileWriter::OpenResult::Opened) {
        showFileError(FileProblem::CannotCreate, path);
        return;
    }
    const SamplingMode mode = m_settings.sampling;
    if (!m_file.writeLine(headerLine(mode, m_controllerVersion))) {
        // A file without its header is never used for rows: it goes, and is tried again.
        showFileError(FileProblem::CannotWrite, path);
        m_file.discard();
        return;
    }
    m_openPath = path;
    m_fileRows = 0;
    m_openWanted = false;
    if (path != requested)
        setOutputPath(path);
    clearFileError();
    if (m_events)
        m_events->fileOpened(m_openPath);
    m_fileLayout = {mode, m_controllerVersion};
    if (mode != SamplingMode::Continuous)
        m_intervals.setIntervalStart(toDateSerial(now));
    m_logFileOpen = true;
}

void LogRecorder::startNextFile()
{
    closeLogFile();
    setOutputPath(m_logFolder + fileName());
    openLogFile();
}

void LogRecorder::closeLogFile()
{
    m_openWanted = false;
    m_file.close();
    if (m_logFileOpen && m_events)
        m_events->fileClosed(m_openPath, m_fileRows);
    m_logFileOpen = false;
}

void LogRecorder::setOutputPath(const std::string &path)
{
    m_logFolder = folderOf(path);
    m_view.setOutputPath(path);
}

void LogRecorder::outputPathEdited(std::string_view path)
{
    std::string folder = folderOf(path);
    if (folder != m_logFolder)
        clearFileError();
    m_logFolder = std::move(folder);
}

void LogRecorder::refreshOutputPath()
{
    // The folder stays LogFolder: only the name is new.
    std::string path = m_logFolder;
    path += fileName();
    m_view.setOutputPath(path);
}

void LogRecorder::setRecordCount(std::int64_t count)
{
    m_recordCount = count;
    m_view.setRecordCount(std::to_string(count));
}

LineRecord LogRecorder::recordLine(const MeasurementSample &sample, bool triggerOwnsTheRun)
{
    const LocalDateTime now = m_clock.now();
    if (triggerOwnsTheRun) {
        refreshOutputPath();
    } else if (now.hour != m_fileHour) {
        setRecordCount(0);
        startNextFile();
    } else if (m_openWanted && !m_logFileOpen
               && std::fabs(std::round((toDateSerial(now) - m_lastOpenTry) * 86400.0)) >= kRetrySeconds) {
        // The folder may be back (remounted, permissions mended): a file by the usual rules.
        startNextFile();
    }

    LineRecord record;
    record.time = now;
    record.epochMilliseconds = m_clock.epochMilliseconds();
    record.sample = sample;
    const SamplingMode mode = m_settings.sampling;
    record.layout = {mode, m_controllerVersion};
    if (mode == SamplingMode::Continuous) {
        record.row = continuousRow(now, sample, m_controllerVersion);
    } else {
        const double length = readTextNumber(m_settings.interval);
        record.interval = m_intervals.addSample(sample, m_controllerVersion, toDateSerial(now), length);
        if (record.interval)
            record.row = intervalRow(*record.interval);
    }
    return record;
}

void LogRecorder::writeLogRow(const LineRecord &record)
{
    assert(record.hasRow());
    if (m_logFileOpen && record.layout != m_fileLayout) {
        setRecordCount(0);
        startNextFile();
    }
    if (!m_logFileOpen) {
        ++m_rowsFailed; // no file could be made for it
        return;
    }
    if (writeLine(record.row))
        setRecordCount(m_recordCount + 1);
}

bool LogRecorder::writeLine(const std::string &line)
{
    if (m_file.writeLine(line)) {
        ++m_fileRows;
        ++m_rowsWritten;
        if (m_fileProblem == FileProblem::CannotWrite)
            clearFileError(); // the disk took a row again
        return true;
    }
    ++m_rowsFailed;
    showFileError(FileProblem::CannotWrite, m_openPath);
    return false;
}

void LogRecorder::showFileError(FileProblem problem, const std::string &path)
{
    const std::string reason = m_file.errorString();
    m_fileProblem = problem;
    if (m_events)
        m_events->fileProblemChanged(problem, std::string(problem == FileProblem::CannotCreate ? kCannotCreate : kCannotWrite)
                                                  + path + (reason.empty() ? "" : ": " + reason));
}

void LogRecorder::clearFileError()
{
    if (m_fileProblem == FileProblem::None)
        return;
    m_fileProblem = FileProblem::None;
    if (m_events)
        m_events->fileProblemChanged(FileProblem::None, {});
}

std::string LogRecorder::folderOf(std::string_view path)
{
    const std::size_t separator = path.find_last_of(kPathSeparators);
    return separator == std::string_view::npos ? std::string() : std::string(path.substr(0, separator + 1));
}

std::string LogRecorder::defaultLogFolder(const std::string &homeDirectory)
{
#ifdef _WIN32
    (void)homeDirectory;
    return "c:\\temp\\";
#else
    std::string folder = homeDirectory;
    if (folder.empty() || folder.back() != kPathSeparator)
        folder += kPathSeparator;
    return folder + "temp" + kPathSeparator;
#endif
}

} // namespace svglogger
