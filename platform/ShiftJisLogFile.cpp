#include "platform/ShiftJisLogFile.h"

#include "recording/ShiftJisText.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace svglogger {

namespace {

// The folder's entry of a file just created reaches the disk too (no such call on Windows,
// where the file system keeps it).
void syncFolder(const QString &folder)
{
#ifndef _WIN32
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
#else
    (void)folder;
#endif
}

} // namespace

ShiftJisLogFile::ShiftJisLogFile(const char *converterName)
    : m_encoder(converterName)
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
    errno = 0;
    if (!QDir().mkpath(info.absolutePath())) {
        // The folder's reason: the failing mkdir's errno ("Read-only file system", "Not a directory").
        m_error = errno != 0 ? std::strerror(errno) : "the folder cannot be made";
        return OpenResult::Failed;
    }
    m_file.setFileName(name);
    // NewOnly never replaces a file, even one that appeared since the check above;
    // Unbuffered hands every write straight to the operating system.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        m_length = 0;
        m_error.clear();
        m_lastSync = std::chrono::steady_clock::now();
        syncFolder(info.absolutePath());
        return OpenResult::Opened;
    }
    m_error = m_file.errorString().toStdString();
    return QFileInfo::exists(name) ? OpenResult::NameTaken : OpenResult::Failed;
}

bool ShiftJisLogFile::writeLine(std::string_view text)
{
    if (!m_file.isOpen())
        return false;
    m_bytes.clear();
    // The rows are ASCII, the same in Shift-JIS; the headers come from the table of the
    // system's own characters. Neither needs a converter, so both come out the same on every
    // Qt build; other text goes through Qt's, and a line it cannot encode is not written.
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        m_bytes.append(text.data(), static_cast<qsizetype>(text.size()));
    } else if (const std::optional<std::string> own = toShiftJis(text)) {
        m_bytes.append(own->data(), static_cast<qsizetype>(own->size()));
    } else {
        if (!m_encoder.isValid())
            return false;
        m_bytes = m_encoder.encode(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        if (m_encoder.hasError()) {
            m_encoder.resetState();
            return false;
        }
    }
    m_bytes.append("\r\n", 2);
    qint64 written = m_file.write(m_bytes);
    // A short write (the disk filled up within the row) sets no error: the rest is written
    // again, which either fits or fails with the system's reason.
    if (written >= 0 && written < m_bytes.size() && m_file.error() == QFileDevice::NoError) {
        errno = 0;
        const qint64 rest = m_file.write(m_bytes.constData() + written, m_bytes.size() - written);
        written = rest < 0 ? rest : written + rest;
    }
    if (written == m_bytes.size()) {
        m_length += m_bytes.size();
        if (m_syncSeconds <= 0 || std::chrono::steady_clock::now() - m_lastSync >= std::chrono::seconds(m_syncSeconds))
            syncToDisk();
        return true;
    }
    const int reason = errno;
    m_error = m_file.error() != QFileDevice::NoError ? m_file.errorString().toStdString()
                                                     : std::strerror(reason != 0 ? reason : ENOSPC);
    m_file.unsetError();
    // A disk that filled up mid-line: the part written goes again, so the file ends with
    // its last whole row.
    m_file.resize(m_length);
    m_file.seek(m_length);
    return false;
}

void ShiftJisLogFile::discard()
{
    if (m_file.isOpen() && m_length == 0)
        m_file.remove(); // closes it first
    close();
}

void ShiftJisLogFile::syncToDisk()
{
#ifdef _WIN32
    (void)::_commit(m_file.handle());
#else
    (void)::fdatasync(m_file.handle());
#endif
    m_lastSync = std::chrono::steady_clock::now();
}

void ShiftJisLogFile::close()
{
    if (m_file.isOpen()) {
        syncToDisk();
        m_file.close();
    }
}

} // namespace svglogger
