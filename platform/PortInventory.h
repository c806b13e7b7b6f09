#pragma once

#include <QString>
#include <QStringList>

namespace svglogger {

// The serial ports present, as port-list entries that end in "(COMn)". Elsewhere than on
// Windows the virtual ports (links in <runtime folder>/svg-logger/ports, by name) come first,
// then the system's ports in the order Qt's inventory gives them; n counts 1, 2, … down the
// list and maps back to the device noted here.
class PortInventory
{
public:
    // Asks the inventory; the result is kept until the next call.
    void discover();
    // The entries separated by CR LF, nothing before the first or after the last.
    QString discoverSerialPorts();
    // The entries of the last discovery, in the list's order.
    const QStringList &entries() const { return m_entries; }
    // The device to open for port number n; empty when n names no discovered port.
    QString deviceForPort(int number) const;
    // Where `device` stands in the list (0 first), -1 when it is not there.
    int indexOfDevice(const QString &device) const { return static_cast<int>(m_devices.indexOf(device)); }

    // <runtime folder>/svg-logger/ports, the runtime folder being $XDG_RUNTIME_DIR or Qt's.
    static QString virtualPortsFolder();

private:
    QStringList m_entries;
    QStringList m_devices; // m_devices[n - 1] is the device of port n
};

} // namespace svglogger
