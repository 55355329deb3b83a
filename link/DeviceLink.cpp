#include "link/DeviceLink.h"

#include "link/LinkTrace.h"
#include "link/PortNamespace.h"
#include "link/SerialPortIo.h"

#include <QElapsedTimer>

DeviceLink::DeviceLink(std::unique_ptr<PortIo> port)
    : port_(port ? std::move(port) : std::make_unique<SerialPortIo>())
{
}

void DeviceLink::OpenPort(int portNumber)
{
    ClosePort();
    openFailure_ = {};
    const QString path = PortNamespace::devicePath(portNumber);
    if (path.isEmpty())
        return;
    if (port_->open(path)) {
        devicePath_ = path;
        portNumber_ = portNumber;
    } else {
        openFailure_ = {portNumber, path, port_->openError()};
    }
}

void DeviceLink::ClosePort()
{
    port_->close();
    devicePath_.clear();
    portNumber_ = 0;
}

bool DeviceLink::PortHandleValid() const
{
    return port_->isOpen();
}

TransactResult DeviceLink::Transact(const QByteArray &command, int expectedLength)
{
    if (expectedLength < 0 || expectedLength + FrameLength > IoBufferSize - 1
        || command.size() + 1 > IoBufferSize || !port_->isOpen()) {
        return TransactResult{};
    }
    QElapsedTimer taken;
    taken.start();
    // A late reply of an earlier command must not become this one's answer.
    port_->clearInput();
    port_->write(command + '\r');
    const QByteArray received = port_->read(expectedLength + FrameLength, ReadTimeoutMs);
    const TransactResult result = ClassifyReply(received);
    TraceTransaction(portNumber_, devicePath_, command, received, result.status, taken.elapsed());
    return result;
}
