#pragma once

#include "recording/LogFileWriter.h"

#include <QFile>
#include <QStringEncoder>

#include <chrono>

namespace svglogger {

// The log file on disk: Shift-JIS (code page 932), CR LF line ends, no byte-order mark.
// Every line is handed to the operating system as it is written, so a crash loses no row
// that was counted; a line that does not fit on the disk is taken back whole. The rows reach
// the disk itself (fdatasync) at most every few seconds and when the file is closed, and a new
// file's folder entry as it is created, so a power cut loses at most those seconds.
class ShiftJisLogFile final : public LogFileWriter
{
public:
    // `converterName`: Qt's converter for text beyond the system's own (which needs none).
    explicit ShiftJisLogFile(const char *converterName = "windows-31j");
    ~ShiftJisLogFile() override;

    static constexpr int kDefaultSyncSeconds = 10;
    // 0: every row goes to the disk as it is written.
    void setSyncSeconds(int seconds) { m_syncSeconds = seconds; }

    OpenResult createNew(const std::string &path) override;
    bool writeLine(std::string_view text) override;
    void close() override;
    void discard() override;
    std::string errorString() const override { return m_error; }

private:
    QFile m_file;
    QStringEncoder m_encoder;
    QByteArray m_bytes;   // the encoded line, reused
    qint64 m_length = 0;  // bytes of whole lines in the file
    std::string m_error;  // the system's reason for the last failure
    int m_syncSeconds = kDefaultSyncSeconds;
    std::chrono::steady_clock::time_point m_lastSync;
    void syncToDisk();
};

} // namespace svglogger
