#pragma once

#include "recording/LogFileWriter.h"

#include <QFile>
#include <QStringEncoder>

namespace svglogger {

// The log file on disk: Shift-JIS (code page 932), CR LF line ends, no byte-order mark.
// Every line is handed to the operating system as it is written, so a crash or power cut
// loses no row that was counted; a line that does not fit on the disk is taken back whole.
class ShiftJisLogFile final : public LogFileWriter
{
public:
    // `converterName`: Qt's converter for text beyond the system's own (which needs none).
    explicit ShiftJisLogFile(const char *converterName = "windows-31j");
    ~ShiftJisLogFile() override;

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
};

} // namespace svglogger
