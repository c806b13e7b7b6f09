#include "platform/ShiftJisLogFile.h"

#include <QDir>
#include <QFileInfo>

namespace svglogger {

namespace {

bool isAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

ShiftJisLogFile::ShiftJisLogFile()
    : m_encoder("windows-31j")
{
}

ShiftJisLogFile::~ShiftJisLogFile()
{
    close();
}

LogFileWriter::OpenResult ShiftJisLogFile::createNew(const std::string &path)
{
    close();
    const QString name = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    const QFileInfo info(name);
    if (info.exists() || info.isSymLink())
        return OpenResult::NameTaken;
    if (!QDir().mkpath(info.absolutePath()))
        return OpenResult::Failed;
    m_file.setFileName(name);
    // NewOnly never replaces a file, even one that appeared since the check above;
    // Unbuffered hands every write straight to the operating system.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        m_length = 0;
        return OpenResult::Opened;
    }
    return QFileInfo::exists(name) ? OpenResult::NameTaken : OpenResult::Failed;
}

bool ShiftJisLogFile::writeLine(std::string_view text)
{
    if (!m_file.isOpen())
        return false;
    m_bytes.clear();
    if (isAscii(text)) {
        // The rows: ASCII is the same in Shift-JIS, so no conversion is needed.
        m_bytes.append(text.data(), static_cast<qsizetype>(text.size()));
    } else {
        m_bytes = m_encoder.encode(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    m_bytes.append("\r\n", 2);
    if (m_file.write(m_bytes) == m_bytes.size()) {
        m_length += m_bytes.size();
        return true;
    }
    // A disk that filled up mid-line: the part written goes again, so the file ends with
    // its last whole row.
    m_file.resize(m_length);
    m_file.seek(m_length);
    return false;
}

void ShiftJisLogFile::close()
{
    if (m_file.isOpen())
        m_file.close();
}

} // namespace svglogger
