#include "platform/SerialPort.h"

namespace svglogger {

SerialPort::SerialPort(QObject *parent)
    : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::readWaiting);
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        const bool fault = error == QSerialPort::ResourceError || error == QSerialPort::ReadError
            || error == QSerialPort::WriteError;
        if (fault && m_port.isOpen())
            emit lost();
    });
}

bool SerialPort::open(const std::string &device)
{
    close();
    m_port.setPortName(QString::fromStdString(device));
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        return false;
    // A pseudo-terminal has no modem lines: failing to set them is no reason to refuse.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    return true;
}

void SerialPort::close()
{
    if (!m_port.isOpen())
        return;
    readWaiting();
    // What was written last (the ESC of a Stop) goes out before the port closes.
    if (m_port.bytesToWrite() > 0 && !m_port.flush())
        m_port.waitForBytesWritten(200);
    m_port.close();
}

void SerialPort::output(std::string_view bytes)
{
    if (!m_port.isOpen())
        return;
    m_port.write(bytes.data(), static_cast<qint64>(bytes.size()));
    m_port.flush(); // out now, not at the next turn of the event loop
}

void SerialPort::readWaiting()
{
    if (!m_port.isOpen() || m_port.bytesAvailable() <= 0)
        return;
    const QByteArray bytes = m_port.readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
}

} // namespace svglogger
