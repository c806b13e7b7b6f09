#pragma once

#include "link/PortWriter.h"

#include <QObject>
#include <QSerialPort>

namespace svglogger {

// The serial port to the controller: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, DTR and RTS on while open. Received bytes come out in arrival order on the
// user-interface thread, one character per byte.
class SerialPort final : public QObject, public PortWriter
{
    Q_OBJECT

public:
    explicit SerialPort(QObject *parent = nullptr);

    bool open(const QString &device);
    // Hands over what is still waiting, then closes; harmless when closed.
    void close();
    bool isOpen() const { return m_port.isOpen(); }

    void output(std::string_view bytes) override;

signals:
    void received(const QByteArray &bytes);
    // The device went away while open (adapter unplugged, the other end gone).
    void lost();

private:
    void readWaiting();

    QSerialPort m_port;
};

} // namespace svglogger
