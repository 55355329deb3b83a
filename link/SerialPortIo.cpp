#include "link/SerialPortIo.h"

#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>
#include <unistd.h>

PortOpenError SerialPortIo::ClassifyOpenError(QSerialPort::SerialPortError error,
                                              const QString &systemText, bool userMayReadWrite)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::DeviceNotFoundError: // gone since it was resolved: nothing to open
        return {};
    case QSerialPort::PermissionError:
        if (!userMayReadWrite)
            return {PortOpenError::PermissionDenied, systemText};
        return {PortOpenError::InUse, systemText};
    default:
        return {PortOpenError::Other, systemText};
    }
}

bool SerialPortIo::open(const QString &devicePath)
{
    if (port_.isOpen())
        port_.close();
    port_.setPortName(devicePath);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setParity(QSerialPort::NoParity);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    openError_ = {};
    if (!port_.open(QIODevice::ReadWrite)) {
        const bool denied = ::access(QFile::encodeName(devicePath).constData(), R_OK | W_OK) != 0
            && errno == EACCES;
        openError_ = ClassifyOpenError(port_.error(), port_.errorString(), !denied);
        return false;
    }
    // Pseudo-terminals refuse these ioctls and stay usable; not an error.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
    return true;
}

void SerialPortIo::close()
{
    if (port_.isOpen())
        port_.close();
}

bool SerialPortIo::isOpen() const
{
    return port_.isOpen();
}

void SerialPortIo::clearInput()
{
    if (!port_.isOpen())
        return;
    // What the driver holds and what QSerialPort has buffered already.
    port_.waitForReadyRead(0);
    port_.readAll();
    port_.clear(QSerialPort::Input);
    port_.clearError();
}

void SerialPortIo::write(const QByteArray &bytes)
{
    if (!port_.isOpen())
        return;
    port_.write(bytes);
    port_.waitForBytesWritten(750);
}

QByteArray SerialPortIo::read(int maxBytes, int timeoutMs)
{
    QByteArray got;
    if (!port_.isOpen())
        return got;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        got.append(port_.read(maxBytes - got.size()));
        if (got.size() >= maxBytes)
            break;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        if (!port_.waitForReadyRead(int(left))) {
            // A vanished peer fails every wait at once; stop instead of spinning.
            if (port_.error() != QSerialPort::NoError && port_.error() != QSerialPort::TimeoutError)
                break;
        }
    }
    return got;
}
