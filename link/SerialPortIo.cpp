#include "link/SerialPortIo.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {
// EIO, ENXIO or a hang-up on the device: a pulled adapter, a closed
// pseudo-terminal. Every later call on it would fail the same way.
bool deviceGone(QSerialPort::SerialPortError e)
{
    return e == QSerialPort::ResourceError || e == QSerialPort::ReadError || e == QSerialPort::WriteError;
}
} // namespace

SerialPortIo::SerialPortIo()
{
    // Between transactions the event loop may be the first to see the
    // device go; release it there too, once the signal has returned.
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_, [this](QSerialPort::SerialPortError e) {
        if (deviceGone(e))
            QMetaObject::invokeMethod(&port_, [this] { releaseIfGone(); }, Qt::QueuedConnection);
    });
}

PortOpenError SerialPortIo::classifyOpenError(QSerialPort::SerialPortError error,
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
        openError_ = classifyOpenError(port_.error(), port_.errorString(), !denied);
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

int SerialPortIo::drain(int quietMs, int listenMs, int boundMs)
{
    if (!port_.isOpen())
        return 0;
    const QDeadlineTimer listen(listenMs);
    const QDeadlineTimer bound(boundMs);
    QElapsedTimer sinceLast;
    int dropped = 0;
    // What the driver holds already, then what is still on its way.
    port_.waitForReadyRead(0);
    for (;;) {
        const qint64 n = port_.readAll().size();
        if (n > 0) {
            dropped += int(n);
            sinceLast.start();
        }
        if (releaseIfGone())
            return dropped;
        qint64 wait = listen.remainingTime();
        if (sinceLast.isValid())
            wait = std::max(wait, quietMs - sinceLast.elapsed());
        wait = std::min(wait, bound.remainingTime());
        if (wait <= 0)
            break;
        port_.waitForReadyRead(int(wait));
    }
    port_.clear(QSerialPort::Input);
    port_.clearError();
    return dropped;
}

void SerialPortIo::write(const QByteArray &bytes)
{
    if (!port_.isOpen())
        return;
    port_.write(bytes);
    port_.waitForBytesWritten(750);
    releaseIfGone();
}

QByteArray SerialPortIo::read(int maxBytes, int timeoutMs, int quietMs)
{
    QByteArray got;
    if (!port_.isOpen())
        return got;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        got.append(port_.read(maxBytes - got.size()));
        if (got.size() >= maxBytes)
            break;
        qint64 wait = deadline.remainingTime();
        const bool frameEnd = holdsFrameEnd(got);
        if (frameEnd)
            wait = std::min<qint64>(wait, quietMs);
        if (wait <= 0)
            break;
        if (!port_.waitForReadyRead(int(wait))) {
            // A vanished peer fails every wait at once; stop instead of spinning.
            if (releaseIfGone() || frameEnd)
                break;
        }
    }
    return got;
}

bool SerialPortIo::releaseIfGone()
{
    if (!port_.isOpen() || !deviceGone(port_.error()))
        return false;
    // The device has gone: an open port would retry its pending output from
    // the event loop for ever. Closing drops it and releases the device.
    port_.close();
    port_.clearError();
    return true;
}
