#include "link/DeviceLink.h"

#include "link/LinkTrace.h"
#include "link/PortNamespace.h"
#include "link/SerialPortIo.h"

#include <QElapsedTimer>
#include <algorithm>

DeviceLink::DeviceLink(std::unique_ptr<PortIo> port, int readTimeoutMs)
    : port_(port ? std::move(port) : std::make_unique<SerialPortIo>()), readTimeoutMs_(readTimeoutMs)
{
}

void DeviceLink::OpenPort(int portNumber)
{
    closePort();
    openFailure_ = {};
    const QString path = PortNamespace::devicePath(portNumber);
    if (path.isEmpty())
        return;
    if (port_->open(path)) {
        devicePath_ = path;
        portNumber_ = portNumber;
    } else {
        openFailure_ = {portNumber, path, port_->openError(), QString()};
    }
}

void DeviceLink::closePort()
{
    port_->close();
    devicePath_.clear();
    portNumber_ = 0;
    leftover_ = Leftover::None;
}

bool DeviceLink::portHandleValid() const
{
    return port_->isOpen() || portNumber_ != 0;
}

bool DeviceLink::reopenPort()
{
    if (!deviceGone())
        return false;
    // The device went away under the open port; it may be back under the
    // same number, possibly at another path (a new adapter, a new pty).
    const QString path = PortNamespace::devicePath(portNumber_);
    if (path.isEmpty() || !port_->open(path))
        return false;
    devicePath_ = path;
    leftover_ = Leftover::Tail;
    return true;
}

TransactResult DeviceLink::Transact(const QByteArray &command, int expectedLength)
{
    if (expectedLength < 0 || expectedLength + FrameLength > IoBufferSize - 1
        || command.size() + 1 > IoBufferSize) {
        return TransactResult{};
    }
    if (!port_->isOpen())
        return TransactResult{};
    QElapsedTimer taken;
    taken.start();
    // Whatever is left of an earlier reply must not become this one's answer.
    discardLeftover();
    port_->write(command + '\r');
    const int readLength = expectedLength + FrameLength;
    const QByteArray received = port_->read(readLength, readTimeoutMs_, QuietGapMs);
    const TransactResult result = classifyReply(received);
    noteLeftover(received, readLength, result.status);
    traceTransaction(portNumber_, devicePath_, command, received, result.status, taken.elapsed());
    return result;
}

bool DeviceLink::answeredLate()
{
    if (!port_->isOpen() || leftover_ != Leftover::LateReply)
        return false;
    const int listen = int(std::max<qint64>(0, LateReplyListenMs - sinceRead_.elapsed()));
    leftover_ = Leftover::None;
    return port_->drain(QuietGapMs, listen, listen + DrainBoundMs) > 0;
}

void DeviceLink::discardLeftover()
{
    int listen = 0;
    switch (leftover_) {
    case Leftover::None:
        break;
    case Leftover::Tail:
        listen = QuietGapMs;
        break;
    case Leftover::LateReply:
        listen = std::max<qint64>(0, LateReplyListenMs - sinceRead_.elapsed());
        break;
    }
    // Bytes already waiting make the drain wait for quiet even without a
    // known leftover: noise between commands is still arriving.
    port_->drain(QuietGapMs, listen, listen + DrainBoundMs);
    leftover_ = Leftover::None;
}

void DeviceLink::noteLeftover(const QByteArray &received, int readLength, int status)
{
    sinceRead_.start();
    if (received.size() < readLength && !holdsFrameEnd(received))
        leftover_ = Leftover::LateReply;   // cut short by the time-out: the rest may yet come
    else if (received.size() >= readLength && !received.endsWith('\r'))
        leftover_ = Leftover::Tail;        // longer than asked for
    else if (status == StatusNoReply)
        leftover_ = Leftover::Tail;        // garbled
    else
        leftover_ = Leftover::None;
}
