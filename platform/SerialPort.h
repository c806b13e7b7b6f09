#pragma once

#include "pipeline/PortControl.h"

#include <QObject>
#include <QSerialPort>

namespace svglogger {

// The serial port to the controller: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, DTR and RTS on while open. Received bytes come out in arrival order on the
// user-interface thread, one character per byte.
class SerialPort final : public QObject, public PortControl
{
    Q_OBJECT

public:
    explicit SerialPort(QObject *parent = nullptr);

    bool open(const std::string &device) override;
    void handOverWaiting() override { readWaiting(); }
    // Hands over what is still waiting, then closes; harmless when closed.
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    std::string errorString() const override { return m_port.errorString().toStdString(); }

    void output(std::string_view bytes) override;

signals:
    void received(const QByteArray &bytes);
    // The device went away or failed while open (adapter unplugged, the other end gone, a
    // read or write error).
    void lost();

private:
    void readWaiting();

    QSerialPort m_port;
};

} // namespace svglogger
