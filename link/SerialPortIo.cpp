#include "link/SerialPortIo.h"

#include "link/LineReading.h"

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

// The QSerialPort under the shared reading rules.
class SerialPortIo::Line : public LineReading::Line {
public:
    explicit Line(SerialPortIo &io) : io_(io) {}
    qint64 nowMs() const override { return io_.nowMs(); }
    QByteArray take(int maxBytes) override { return maxBytes > 0 ? io_.port_.read(maxBytes) : QByteArray(); }
    bool waitForBytes(int ms) override
    {
        if (!io_.port_.isOpen())
            return false;
        if (io_.port_.bytesAvailable() > 0)
            return true;
        if (io_.port_.waitForReadyRead(ms))
            return true;
        // A vanished peer fails every wait at once; released, it stops the read.
        io_.releaseIfGone();
        return false;
    }
    bool gone() override { return !io_.port_.isOpen() || io_.releaseIfGone(); }
    void discardWaiting() override
    {
        io_.port_.clear(QSerialPort::Input);
        io_.port_.clearError();
    }

private:
    SerialPortIo &io_;
};

int SerialPortIo::drain(int quietMs, int listenMs, int boundMs)
{
    if (!port_.isOpen())
        return 0;
    Line line(*this);
    return LineReading::drain(line, quietMs, listenMs, boundMs);
}

void SerialPortIo::write(const QByteArray &bytes)
{
    if (!port_.isOpen())
        return;
    port_.write(bytes);
    port_.waitForBytesWritten(750);
    releaseIfGone();
}

PortRead SerialPortIo::read(int maxBytes, int timeoutMs, int quietMs, int confirmMs)
{
    if (!port_.isOpen())
        return {QByteArray(), ReadEnd::Gone};
    Line line(*this);
    return LineReading::read(line, maxBytes, timeoutMs, quietMs, confirmMs);
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
