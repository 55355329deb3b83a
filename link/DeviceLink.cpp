#include "link/DeviceLink.h"

#include "link/LinkTrace.h"
#include "link/PortNamespace.h"
#include "link/SerialPortIo.h"

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
    throwIfCancelled();
    if (!port_->isOpen()) {
        ++generation_;
        lastHeard_ = false;
        return TransactResult{};
    }
    const qint64 started = port_->nowMs();
    // Whatever is left of an earlier reply must not become this one's answer.
    discardLeftover();
    port_->write(command + '\r');
    const int readLength = expectedLength + FrameLength;
    const PortRead read = port_->read(readLength, readTimeoutMs_, QuietGapMs, FrameConfirmMs);
    TransactResult result = classifyReply(read.bytes);
    // Whole only when the line fell quiet after the frame: not at the
    // deadline, not with more bytes behind it, not with the device gone.
    if (read.end != ReadEnd::Quiet)
        result.complete = false;
    if (!result.complete || result.status == StatusNoReply)
        ++generation_;
    lastHeard_ = result.heard();
    // A whole frame with more right behind it: the more may be a reply
    // that belongs to no command. Bytes a read took that were not one whole
    // reply (noise before the status field, a garbled or cut reply, a read
    // that ended at its deadline or its length with bytes in it) may be the
    // rest of an earlier command's reply, and this command's own reply may
    // then come late and be taken for the next one's: both void the group
    // as bytes waiting before a command do. A silent read is a lost reply,
    // and an ERR or busy reply is the controller's own answer.
    if (!read.bytes.isEmpty() && (read.end != ReadEnd::Quiet || result.status == StatusNoReply))
        displaced_ = true;
    noteLeftover(read, result.status);
    traceTransaction(portNumber_, devicePath_, command, read.bytes, result.status, port_->nowMs() - started);
    return result;
}

bool DeviceLink::answeredLate()
{
    if (!port_->isOpen() || leftover_ != Leftover::LateReply)
        return false;
    throwIfCancelled();
    const int listen = int(std::max<qint64>(0, LateReplyListenMs - (port_->nowMs() - readEndedAtMs_)));
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
        listen = int(std::max<qint64>(0, LateReplyListenMs - (port_->nowMs() - readEndedAtMs_)));
        break;
    }
    // Bytes already waiting make the drain wait for quiet even without a
    // known leftover: noise between commands is still arriving.
    const int discarded = port_->drain(QuietGapMs, listen, listen + DrainBoundMs);
    // Nothing was owed, or bytes came behind a reply: something arrived that
    // no command of ours was waiting for, so the reply before may have been
    // taken for the wrong command. (A late reply is owed.)
    if (discarded > 0 && leftover_ != Leftover::LateReply)
        displaced_ = true;
    leftover_ = Leftover::None;
}

bool DeviceLink::probe()
{
    const int usual = readTimeoutMs_;
    readTimeoutMs_ = std::min(usual, ProbeTimeoutMs);
    const bool heard = Transact("QV", 0).heard();
    readTimeoutMs_ = usual;
    return heard;
}

bool DeviceLink::checkpoint()
{
    throwIfCancelled();
    // A late reply still owed is discarded before the next command as
    // usual: its value was not counted, and it belongs to no other.
    if (port_->isOpen() && leftover_ != Leftover::LateReply) {
        const int quiet = leftover_ == Leftover::Tail ? QuietGapMs : CheckpointQuietMs;
        const int listen = int(std::max<qint64>(0, quiet - (port_->nowMs() - readEndedAtMs_)));
        const bool strays = port_->drain(quiet, listen, listen + DrainBoundMs) > 0;
        displaced_ = displaced_ || strays;
        // Stray bytes may still be arriving past the drain's bound: the next
        // command waits for quiet again, and what it drains counts as stray.
        leftover_ = strays ? Leftover::Tail : Leftover::None;
    }
    const bool clean = !displaced_;
    displaced_ = false;
    return clean;
}

void DeviceLink::noteLeftover(const PortRead &read, int status)
{
    readEndedAtMs_ = port_->nowMs();
    switch (read.end) {
    case ReadEnd::Deadline:
        leftover_ = Leftover::LateReply;   // cut by the time-out: the rest may yet come
        break;
    case ReadEnd::Length:
    case ReadEnd::Overrun:
        leftover_ = Leftover::Tail;        // more than the frame asked for
        break;
    case ReadEnd::Gone:
        leftover_ = Leftover::None;        // released; a reopen starts with a tail
        break;
    case ReadEnd::Quiet:
        leftover_ = status == StatusNoReply ? Leftover::Tail : Leftover::None;   // garbled, or whole
        break;
    }
}
