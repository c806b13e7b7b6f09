#include "tools/VirtualPort.h"

#include "platform/PortInventory.h"

#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace svglogger {

namespace {

bool makeRaw(int fd, bool setSpeed)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (setSpeed) {
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

std::string lastError(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

VirtualPort::~VirtualPort()
{
    removeLink();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

std::string VirtualPort::portsFolder()
{
    const QString folder = PortInventory::virtualPortsFolder();
    if (!folder.isEmpty())
        return folder.toStdString();
    // No runtime folder set: Qt's stand-in, which the logger started from the same shell
    // does not look at; the simulator says where its link went.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath("svg-logger/ports").toStdString();
}

bool VirtualPort::openPseudoTerminal(const std::string &linkPath, std::string &error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        error = lastError("pseudo-terminal");
        return false;
    }
    const char *name = ptsname(m_master);
    if (!name) {
        error = lastError("ptsname");
        return false;
    }
    m_device = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0 || !makeRaw(m_slave, false)) {
        error = lastError("raw mode");
        return false;
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);

    const std::string folder = linkPath.substr(0, linkPath.rfind('/'));
    if (!QDir().mkpath(QString::fromStdString(folder))) {
        error = "cannot create " + folder;
        return false;
    }
    // A link of the same name is replaced: left behind by a simulator that was killed, or
    // pointing nowhere.
    ::unlink(linkPath.c_str());
    if (::symlink(name, linkPath.c_str()) != 0) {
        error = lastError(linkPath.c_str());
        return false;
    }
    m_link = linkPath;
    return true;
}

bool VirtualPort::openDevice(const std::string &devicePath, std::string &error)
{
    m_master = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || !makeRaw(m_master, true)) {
        error = lastError(devicePath.c_str());
        return false;
    }
    m_device = devicePath;
    return true;
}

void VirtualPort::removeLink()
{
    if (!m_link.empty()) {
        ::unlink(m_link.c_str());
        m_link.clear();
    }
}

} // namespace svglogger
