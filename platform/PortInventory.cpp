#include "platform/PortInventory.h"

#include "link/PortEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace svglogger {

QString PortInventory::virtualPortsFolder()
{
    // Only where the runtime folder is set: a system service has none, and asking Qt for a
    // stand-in prints a warning at every start.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : QDir(runtime).filePath("svg-logger/ports");
}

void PortInventory::discover()
{
    m_entries.clear();
    m_devices.clear();
#ifdef _WIN32
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        m_entries << QString::fromStdString(
            windowsPortEntry(info.description().toStdString(), info.portName().toStdString()));
        m_devices << info.portName();
    }
#else
    auto add = [this](const QString &name, const QString &device) {
        m_devices << device;
        m_entries << QString("%1 %2 (COM%3)").arg(name, device).arg(m_devices.size());
    };
    const QString virtualPorts = virtualPortsFolder();
    const QFileInfoList links = virtualPorts.isEmpty()
        ? QFileInfoList()
        : QDir(virtualPorts).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && link.exists()) // a link left pointing nowhere is no port
            add(link.fileName() + " (virtual)", link.absoluteFilePath());
    }
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        add(info.description().isEmpty() ? info.portName() : info.description(), info.systemLocation());
#endif
}

QString PortInventory::discoverSerialPorts()
{
    discover();
    return m_entries.join("\r\n");
}

QString PortInventory::deviceForPort(int number) const
{
#ifdef _WIN32
    if (number >= 1)
        return QString("COM%1").arg(number);
    return {};
#else
    if (number < 1 || number > m_devices.size())
        return {};
    return m_devices[number - 1];
#endif
}

} // namespace svglogger
