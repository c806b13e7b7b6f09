#pragma once

#include <string>

namespace svglogger {

// The controller's end of a serial line: a pseudo-terminal registered as a virtual port
// (a link <runtime folder>/svg-logger/ports/<name> to its device), or a real serial device.
class VirtualPort
{
public:
    VirtualPort() = default;
    ~VirtualPort();
    VirtualPort(const VirtualPort &) = delete;
    VirtualPort &operator=(const VirtualPort &) = delete;

    // Opens a raw pseudo-terminal and links it as `linkPath`, replacing a link of that name.
    bool openPseudoTerminal(const std::string &linkPath, std::string &error);
    // Opens a real serial device at 9600 baud, 8 data bits, no parity, 1 stop bit, raw.
    bool openDevice(const std::string &devicePath, std::string &error);

    int fd() const { return m_master; }
    const std::string &devicePath() const { return m_device; }
    const std::string &linkPath() const { return m_link; }
    // Removes the link (also called from the signal handler through removeLinkNow).
    void removeLink();

    // The folder the virtual ports are linked in: <runtime folder>/svg-logger/ports.
    static std::string portsFolder();

private:
    int m_master = -1;
    int m_slave = -1; // kept open so the line stays up while the logger has it closed
    std::string m_device;
    std::string m_link;
};

} // namespace svglogger
